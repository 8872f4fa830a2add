"""What ships beside the daemon: the demo, the service unit, the manual page and
the Debian package."""

import glob
import os
import re
import shutil
import subprocess
import sys

import pytest

from node import BINARY

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.environ.get("UPLINKWATCH_BUILD_DIR", os.path.join(TOP, "build"))
UNIT = os.path.join(TOP, "dist", "uplinkwatch.service")
MANUAL = os.path.join(TOP, "man", "uplinkwatch.8")


def need(*tools):
    for tool in tools:
        if shutil.which(tool) is None:
            if os.environ.get("CI") == "true":
                pytest.fail(f"{tool} is not installed")
            pytest.skip(f"{tool} is not installed")


def test_the_demo_plays_its_scenario_and_leaves_nothing(node):
    # The node fixture only vouches for root and the tools; the demo makes its own,
    # each named after the demo's process id, as every throwaway node is.
    demo = subprocess.Popen([sys.executable, os.path.join(TOP, "demo", "demo.py"), BINARY],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    out, err = demo.communicate(timeout=120)
    assert demo.returncode == 0, out + err
    assert "fastpath | upstream_port <- b'up1\\n'" in out
    assert "daemon   | Interface tavro1 Link: 1" in out
    # Only the namespaces it made are its to remove: the machine is shared.
    left = subprocess.run(["ip", "netns", "list"], capture_output=True, text=True).stdout.split()
    assert not [name for name in left if name.startswith(f"uwt{demo.pid}n")]


def test_the_unit_verifies_and_is_hardened(tmp_path):
    need("systemd-analyze")
    unit = tmp_path / "uplinkwatch.service"
    unit.write_text(open(UNIT).read().replace("/usr/sbin/uplinkwatch", BINARY))
    # verify also asks man(1) for the page the unit's Documentation= names.
    os.makedirs(tmp_path / "man8")
    shutil.copy(MANUAL, tmp_path / "man8")
    env = dict(os.environ, MANPATH=f"{tmp_path}:")
    verify = subprocess.run(["systemd-analyze", "verify", str(unit)], capture_output=True, text=True, env=env)
    assert (verify.returncode, verify.stdout + verify.stderr) == (0, "")

    text = open(UNIT).read()
    assert "ExecReload=/bin/kill -USR1 $MAINPID" in text
    assert "Restart=on-failure" in text
    security = subprocess.run(["systemd-analyze", "security", "--offline=true", str(unit)],
                              capture_output=True, text=True)
    exposure = float(re.search(r"Overall exposure level for \S+: ([0-9.]+)", security.stdout).group(1))
    assert exposure <= 2.0, security.stdout


def test_the_manual_lints_clean():
    need("mandoc")
    lint = subprocess.run(["mandoc", "-Tlint", "-W", "warning", MANUAL], capture_output=True, text=True)
    assert (lint.returncode, lint.stdout + lint.stderr) == (0, "")


def built_package(name="uplinkwatch"):
    """The package tools/build-package made for this machine's architecture."""
    arch = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True).stdout.strip()
    found = glob.glob(os.path.join(TOP, "build-deb", arch, f"{name}_*_{arch}.deb"))
    if not found:
        if os.environ.get("CI") == "true":
            pytest.fail("no package: tools/build-package has not run")
        pytest.skip("no package: run tools/build-package first")
    return found[0]


def test_install_and_the_package_place_every_file(tmp_path):
    need("dpkg-deb")
    stage = tmp_path / "stage"
    subprocess.run(["cmake", "--install", BUILD, "--prefix", str(stage)], check=True, capture_output=True)
    for path in ("sbin/uplinkwatch", "lib/systemd/system/uplinkwatch.service", "share/man/man8/uplinkwatch.8"):
        assert (stage / path).is_file(), path
    assert os.access(stage / "sbin/uplinkwatch", os.X_OK)

    package = built_package()
    listing = subprocess.run(["dpkg-deb", "-c", package], capture_output=True, text=True, check=True).stdout
    files = {line.split()[-1] for line in listing.splitlines() if not line.startswith("d")}
    # The unit where bookworm's debhelper gives it maintainer scripts, the manual
    # compressed.
    assert files == {"./usr/sbin/uplinkwatch", "./lib/systemd/system/uplinkwatch.service",
                     "./usr/share/man/man8/uplinkwatch.8.gz", "./usr/share/doc/uplinkwatch/changelog.gz",
                     "./usr/share/doc/uplinkwatch/copyright", "./usr/share/lintian/overrides/uplinkwatch"}
    depends = subprocess.run(["dpkg-deb", "-f", package, "Depends"], capture_output=True, text=True).stdout
    assert "jq" in re.split(r",\s*", depends.strip())
    assert "libstdc++" not in depends
    scripts = subprocess.run(["dpkg-deb", "-I", package, "postinst"], capture_output=True, text=True).stdout
    assert "deb-systemd-helper" in scripts and "deb-systemd-invoke" in scripts


def test_the_packaged_binary_is_hardened_and_stripped_with_its_symbols_apart(tmp_path):
    need("dpkg-deb", "readelf")
    package = built_package()
    subprocess.run(["dpkg-deb", "-x", package, str(tmp_path / "root")], check=True)
    subprocess.run(["dpkg-deb", "-x", built_package("uplinkwatch-dbgsym"), str(tmp_path / "root")], check=True)
    binary = str(tmp_path / "root" / "usr" / "sbin" / "uplinkwatch")

    def readelf(*options, file=binary):
        return subprocess.run(["readelf", "--wide", *options, file], capture_output=True, text=True,
                              check=True).stdout

    dynamic = readelf("--dynamic")
    assert re.search(r"\(FLAGS\)\s+BIND_NOW", dynamic) or re.search(r"\(FLAGS_1\).*\bNOW\b", dynamic), dynamic
    assert re.search(r"\(FLAGS_1\).*\bPIE\b", dynamic), dynamic
    assert "GNU_RELRO" in readelf("--program-headers")
    imports = readelf("--dyn-syms")
    assert "__stack_chk_fail" in imports
    assert re.search(r"__\w+_chk\b", imports.replace("__stack_chk_fail", "")), "no fortified libc call"

    # Stripped; its symbols are in the -dbgsym package, under its build id.
    assert ".symtab" not in readelf("--section-headers")
    build_id = re.search(r"Build ID: ([0-9a-f]+)", readelf("--notes")).group(1)
    symbols = tmp_path / "root" / "usr" / "lib" / "debug" / ".build-id" / build_id[:2] / f"{build_id[2:]}.debug"
    assert ".debug_info" in readelf("--section-headers", file=str(symbols))
