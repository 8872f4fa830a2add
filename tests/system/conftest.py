import os
import shutil

import pytest

from node import BINARY, LINK_PROBE, Node


def _missing():
    if os.geteuid() != 0:
        return "needs root for network and mount namespaces"
    if not BINARY or not os.access(BINARY, os.X_OK):
        return "UPLINKWATCH_BINARY does not name the built daemon"
    if not LINK_PROBE or not os.access(LINK_PROBE, os.X_OK):
        return "LINK_PROBE does not name the built link probe"
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
