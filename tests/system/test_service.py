"""The packaged service under a real systemd: booted as PID 1 in new PID, mount,
UTS, network, IPC and cgroup namespaces, over an overlay of the root filesystem
whose upper layer is a tmpfs, with fresh /run and /tmp, after pivot_root into the
overlay. Nothing it writes reaches the machine: /proc/sys and /sys are read-only
inside but for the settings of its own network namespace, and it cannot load
kernel modules or set the clock. The fastpath module is absent and procfs cannot
be faked there, so the daemon's failure to open the upstream port is expected."""

import os
import re
import shutil
import subprocess
import time

import pytest

from node import GUARD, REFRESH_LINE, run, wait_until
from test_shipping import built_package

SYSTEMD = "/lib/systemd/systemd"
UNIT = "uplinkwatch.service"
NO_FASTPATH = "Failed to open /proc/net/gre6_fastpath/upstream_port: No such file or directory"

# Runs as PID 1 of the new namespaces, then becomes systemd.
_BOOT = r"""
set -e
work=$1
mount --make-rprivate /
mount -t tmpfs -o mode=755 tmpfs "$work"
mkdir "$work/upper" "$work/work" "$work/root"
mount -t overlay overlay -o "lowerdir=/,upperdir=$work/upper,workdir=$work/work" "$work/root"
r=$work/root
mount -t proc proc "$r/proc"
mount --bind "$r/proc/sys" "$r/proc/sys"
# Only the system's own network namespace's settings may change, as on a testbed.
mount --bind "$r/proc/sys/net" "$r/proc/sys/net"
mount -o remount,bind,ro "$r/proc/sys"
if [ -e "$r/proc/sysrq-trigger" ]; then mount --bind /dev/null "$r/proc/sysrq-trigger"; fi
mount -t sysfs -o ro sysfs "$r/sys"
mount -t cgroup2 cgroup2 "$r/sys/fs/cgroup"
mount -t tmpfs -o mode=755,nosuid tmpfs "$r/dev"
for node in null zero full random urandom tty; do
  : > "$r/dev/$node"
  mount --bind "/dev/$node" "$r/dev/$node"
done
mkdir "$r/dev/pts" "$r/dev/shm"
mount -t devpts -o newinstance,ptmxmode=0666 devpts "$r/dev/pts"
ln -s pts/ptmx "$r/dev/ptmx"
ln -s /proc/self/fd "$r/dev/fd"
mount -t tmpfs -o mode=755,nosuid,nodev tmpfs "$r/run"
mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$r/tmp"
# Boot no further than the basic system, and mount nothing of the machine's.
: > "$r/etc/fstab"
mkdir -p "$r/etc/systemd/system"
printf '[Unit]\nDescription=uplinkwatch test system\nRequires=basic.target\nAfter=basic.target\n' \
  > "$r/etc/systemd/system/uplinkwatch-test.target"
cd "$r"
mkdir .oldroot
pivot_root . .oldroot
umount -l /.oldroot
rmdir /.oldroot
exec setpriv --bounding-set -sys_module,-sys_time,-sys_rawio \
  env -i container=uplinkwatch-test /lib/systemd/systemd --unit=uplinkwatch-test.target
"""


def _own_cgroup2():
    """The cgroup2 directory this process is in, or None."""
    mount = None
    for line in open("/proc/self/mountinfo"):
        fields = line.split()
        if fields[fields.index("-") + 1] == "cgroup2":
            mount = fields[4]
            break
    if mount is None:
        return None
    for line in open("/proc/self/cgroup"):
        if line.startswith("0::"):
            return os.path.join(mount, line.strip()[3:].lstrip("/"))
    return None


class BootedSystem:
    def __init__(self, workdir):
        parent = _own_cgroup2()
        if parent is None:
            raise RuntimeError("no cgroup2 hierarchy to give systemd")
        self.cgroup = os.path.join(parent, f"uplinkwatch-test-{os.getpid()}-{time.monotonic_ns()}")
        os.mkdir(self.cgroup)
        self.console = open(os.path.join(workdir, "console"), "w+")
        upper = os.path.join(workdir, "overlay")
        os.mkdir(upper)
        self.launcher = subprocess.Popen(
            ["sh", "-c", 'echo $$ > "$1/cgroup.procs" && exec unshare --pid --fork --mount --uts --net --ipc '
             '--cgroup sh -c "$2" boot "$3"', "launch", self.cgroup, _BOOT, upper],
            stdin=subprocess.DEVNULL, stdout=self.console, stderr=subprocess.STDOUT)
        self.pid1 = wait_until(self._first_child, what="PID 1 of the new namespaces")

    def _first_child(self):
        if self.launcher.poll() is not None:
            raise RuntimeError(f"the boot ended at once: {self.boot_log()}")
        children = open(f"/proc/{self.launcher.pid}/task/{self.launcher.pid}/children").read().split()
        return int(children[0]) if children else None

    def boot_log(self):
        self.console.seek(0)
        return self.console.read()

    def run(self, *args, check=True):
        """Runs a command inside, as root in every one of its namespaces."""
        return run("nsenter", "-t", str(self.pid1), "-a", *args, check=check)

    def wait_booted(self):
        def settled():
            if self.launcher.poll() is not None:
                raise RuntimeError(f"systemd ended: {self.boot_log()}")
            state = self.run("systemctl", "is-system-running", check=False).stdout.strip()
            return state if state in ("running", "degraded") else None
        return wait_until(settled, timeout=60, what="systemd to finish booting")

    def put(self, source, inside):
        """Copies a file of the machine's into the booted system (its /tmp is its own)."""
        shutil.copyfile(source, f"/proc/{self.pid1}/root{inside}")
        return inside

    def put_tree(self, source, inside):
        """Copies a folder of the machine's into the booted system."""
        shutil.copytree(source, f"/proc/{self.pid1}/root{inside}")
        return inside

    def show(self, *properties):
        out = self.run("systemctl", "show", UNIT, *(f"--property={name}" for name in properties)).stdout
        return dict(line.split("=", 1) for line in out.splitlines())

    def journal(self):
        """The service's own lines, in the order the journal holds them."""
        return self.run("journalctl", "--no-pager", "-o", "cat", f"_SYSTEMD_UNIT={UNIT}").stdout.splitlines()

    def stop(self):
        if self.launcher.poll() is None:
            os.kill(self.pid1, 9)  # the kernel then ends every process of the namespace
            self.launcher.wait(timeout=GUARD)
        self.console.close()
        # The cgroups systemd made, deepest first, once their processes are gone.
        def removed():
            for directory, _, _ in sorted(os.walk(self.cgroup), key=lambda entry: -entry[0].count("/")):
                try:
                    os.rmdir(directory)
                except OSError:
                    return False
            return True
        wait_until(removed, what="the test system's cgroups to empty")


def _cannot_boot(reason):
    if os.environ.get("CI") == "true":
        pytest.fail(reason)
    pytest.skip(reason)


@pytest.fixture
def booted(tmp_path):
    if os.geteuid() != 0:
        _cannot_boot("booting systemd needs root")
    for tool in (SYSTEMD, "/usr/bin/nsenter", "/usr/bin/setpriv"):
        if not os.access(tool, os.X_OK):
            _cannot_boot(f"{tool} is not installed")
    try:
        system = BootedSystem(tmp_path)
    except RuntimeError as error:
        _cannot_boot(f"systemd cannot boot here: {error}")
    try:
        try:
            system.wait_booted()
        except (RuntimeError, AssertionError) as error:
            _cannot_boot(f"systemd cannot boot here: {error}")
        yield system
    finally:
        system.stop()


def newer_version(package, tmp_path):
    """The same package with a higher version, as the next release would be."""
    tree = tmp_path / "newer"
    subprocess.run(["dpkg-deb", "-R", package, str(tree)], check=True)
    control = tree / "DEBIAN" / "control"
    text = control.read_text()
    version = re.search(r"^Version: (\S+)$", text, re.M).group(1)
    control.write_text(text.replace(f"Version: {version}", f"Version: {version}+1"))
    newer = str(tmp_path / "uplinkwatch-newer.deb")
    subprocess.run(["dpkg-deb", "--root-owner-group", "-b", str(tree), newer], check=True, capture_output=True)
    return newer


def processes(booted):
    return booted.run("ps", "-e", "-o", "comm=").stdout.split()


def test_the_package_lives_as_a_debian_daemon_under_a_real_systemd(booted, tmp_path):
    package = built_package()
    # Container images forbid starting services on install; a real node does not.
    booted.run("rm", "-f", "/usr/sbin/policy-rc.d")
    booted.run("sh", "-c", "mkdir -p /data/cfg && echo '{\"popParams\": {\"POP_ADDR\": null}}' "
                           "> /data/cfg/node_config.json")
    booted.run("ip", "link", "set", "lo", "up")
    booted.run("ip", "link", "add", "va", "type", "veth", "peer", "name", "vb")
    booted.run("ip", "link", "set", "vb", "up")
    booted.run("ip", "link", "set", "va", "up")
    booted.run("ip", "-6", "route", "add", "default", "via", "fe80::1", "dev", "va")

    # Installed, it is enabled and started, with no systemctl of the operator's;
    # ready means decided, so its status is there when dpkg returns.
    booted.run("dpkg", "-i", booted.put(package, "/root/uplinkwatch.deb"))
    files = [path for path in booted.run("dpkg", "-L", "uplinkwatch").stdout.splitlines()
             if not booted.run("test", "-d", path, check=False).returncode == 0]
    assert booted.run("systemctl", "is-enabled", UNIT).stdout.strip() == "enabled"
    shown = booted.show("ActiveState", "SubState", "StatusText", "MainPID", "Type")
    assert (shown["ActiveState"], shown["SubState"], shown["Type"]) == ("active", "running", "notify")
    assert shown["StatusText"] == "not a POP, upstream port va (fastpath write failed)"
    first = ["NetLink Thread started..", "Gateway dev is va", "Updating the upstream port as va", NO_FASTPATH]
    wait_until(lambda: booted.journal()[:4] == first, what=f"the startup lines in order; have {booted.journal()}")

    # A reload is a refresh, with its lines in order after the startup's.
    booted.run("systemctl", "reload", UNIT)
    # (Between them, the port is written again each time the daemon retries.)
    refresh = [REFRESH_LINE, "Gateway dev is va", "Updating the upstream port as va", NO_FASTPATH]
    def refreshed():
        journal = booted.journal()
        return REFRESH_LINE in journal and journal[journal.index(REFRESH_LINE):][:4] == refresh
    wait_until(refreshed, what=f"the refresh lines; have {booted.journal()}")
    # RELOADING=1 put it in "reloading"; READY=1 at the refresh's end takes it back.
    wait_until(lambda: booted.show("ActiveState")["ActiveState"] == "active", what="the reload to end")

    # Killed, it is started again.
    booted.run("kill", "-9", shown["MainPID"])
    def restarted():
        now = booted.show("NRestarts", "ActiveState", "MainPID", "StatusText")
        return now if now["NRestarts"] == "1" and now["ActiveState"] == "active" else None
    now = wait_until(restarted, what="systemd to restart the service")
    assert now["MainPID"] != shown["MainPID"]
    assert now["StatusText"] == "not a POP, upstream port va (fastpath write failed)"

    # Upgraded, the new version runs.
    booted.run("dpkg", "-i", booted.put(newer_version(package, tmp_path), "/root/uplinkwatch-newer.deb"))
    upgraded = booted.show("ActiveState", "MainPID")
    assert upgraded["ActiveState"] == "active"
    assert upgraded["MainPID"] not in (now["MainPID"], "0")

    # Removed in the middle of a refresh (jq takes its time), it stops, and
    # nothing of it is left running.
    booted.run("sh", "-c", "printf '#!/bin/sh\\nsleep 2\\nexec /usr/bin/jq \"$@\"\\n' > /usr/local/bin/jq "
                           "&& chmod 755 /usr/local/bin/jq")
    booted.run("systemctl", "reload", "--no-block", UNIT)
    wait_until(lambda: "jq" in processes(booted), what="the refresh's jq")
    booted.run("dpkg", "-r", "uplinkwatch")
    assert booted.show("ActiveState", "MainPID") == {"ActiveState": "inactive", "MainPID": "0"}
    left = processes(booted)
    assert "uplinkwatch" not in left and "jq" not in left and "sleep" not in left

    # Purged, no file of it is left, nor its enablement.
    booted.run("dpkg", "-P", "uplinkwatch")
    assert [path for path in files if booted.run("test", "-e", path, check=False).returncode == 0] == []
    leftovers = booted.run("sh", "-c", "find /etc/systemd /var/lib/systemd -name 'uplinkwatch.service*'").stdout
    assert leftovers == ""


def test_the_package_passes_its_own_tests_as_debians_ci_runs_them(booted):
    """The package's autopkgtests (debian/tests), run by autopkgtest on the
    installed package in the booted system, which is the testbed: the null
    runner, as on a throwaway machine."""
    if shutil.which("autopkgtest") is None:
        _cannot_boot("autopkgtest is not installed")
    package = built_package()
    booted.run("rm", "-f", "/usr/sbin/policy-rc.d")
    booted.run("ip", "link", "set", "lo", "up")
    installed = booted.put(package, f"/root/{os.path.basename(package)}")
    # The source's debian/ and system tests are all autopkgtest reads of it; the
    # tree itself may be out of the booted system's sight (under /tmp, which is
    # its own there).
    top = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    booted.run("mkdir", "-p", "/root/source/tests")
    booted.put_tree(os.path.join(top, "debian"), "/root/source/debian")
    booted.put_tree(os.path.join(top, "tests", "system"), "/root/source/tests/system")
    # The system tests against the installed daemon: the share chosen for CI,
    # which runs them all against its build already (see doc/reliability.md).
    result = booted.run("autopkgtest", "--output-dir", "/tmp/autopkgtest", "--env=UPLINKWATCH_SYSTEM_TESTS=ci",
                        installed, "/root/source/", "--", "null", check=False)
    # Each test's own output, in the order autopkgtest ran them.
    logs = booted.run("sh", "-c", "tail -n 40 /tmp/autopkgtest/*-std*", check=False).stdout
    assert result.returncode == 0, logs[-6000:] + result.stderr[-2000:]
    summary = re.findall(r"^(\S+) +(PASS|FAIL|SKIP|FLAKY)", result.stdout, re.M)
    assert summary == [(test, "PASS") for test in ("follows-the-kernel", "router-advertisements", "service",
                                                    "system-tests")], result.stdout
    # The system tests' own summary: every one chosen passed, none skipped.
    assert re.search(r"^\d+ passed(, \d+ deselected)? in ", logs, re.M), logs[-6000:]
