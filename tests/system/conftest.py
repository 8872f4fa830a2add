import os
import shutil

import pytest

from node import BINARY, Node


def pytest_configure(config):
    config.addinivalue_line("markers", "needs_build: needs the source tree's build, beyond the daemon")


def _missing():
    if os.geteuid() != 0:
        return "needs root for network and mount namespaces"
    if not BINARY or not os.access(BINARY, os.X_OK):
        return "UPLINKWATCH_BINARY does not name the built daemon"
    for tool in ("ip", "unshare", "chroot", "jq"):
        if shutil.which(tool) is None:
            return f"{tool} is not installed"
    return None


@pytest.fixture
def node(tmp_path):
    reason = _missing()
    if reason:
        if os.environ.get("CI") == "true":
            pytest.fail(reason)
        pytest.skip(reason)
    made = Node(tmp_path)
    yield made
    made.stop()
