"""A throwaway node for one test: its own network namespace, and a private mount
namespace in which the daemon sees test-owned directories at its real paths
(/data/cfg and /proc/net/gre6_fastpath), through a chroot built from bind mounts."""

import ctypes
import itertools
import json
import os
import re
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

BINARY = os.environ.get("UPLINKWATCH_BINARY", "")
LINK_PROBE = os.environ.get("LINK_PROBE", "")
GUARD = 30.0  # seconds: a generous ceiling for anything awaited, never a measurement

_counter = itertools.count()

# Runs inside the node: private mounts, then the daemon in the chroot. It execs all
# the way down, so the process the test started is the daemon itself.
_LAUNCH = r"""
set -e
root=$1 fastpath=$2 cfg=$3 binary=$4 tools=$5 fastpath_mode=$6 daemon_path=$7 keep_caps=$8 open_files=$9
mount --make-rprivate /
for d in usr etc dev; do mount --rbind "/$d" "$root/$d"; done
for d in bin sbin lib lib32 lib64; do
  if [ -L "/$d" ]; then ln -sfn "$(readlink "/$d")" "$root/$d";
  elif [ -d "/$d" ]; then mkdir -p "$root/$d"; mount --rbind "/$d" "$root/$d"; fi
done
mkdir -p "$root/proc"
if [ "$fastpath_mode" != missing ]; then
  mkdir -p "$root/proc/net/gre6_fastpath"
  mount --bind "$fastpath" "$root/proc/net/gre6_fastpath"
  [ "$fastpath_mode" = ro ] && mount -o remount,bind,ro "$root/proc/net/gre6_fastpath"
fi
mount --bind "$cfg" "$root/data/cfg"
# /proc/self, for runtimes that read their own maps (sanitizers), and /proc/sys,
# for the node's own settings, from a procfs mounted beside the stand-in /proc.
mkdir -p "$root/.proc"
mount -t proc proc "$root/.proc"
ln -sfn ../.proc/self "$root/proc/self"
ln -sfn ../.proc/sys "$root/proc/sys"
mount --bind "$tools" "$root/usr/local/bin"
: > "$root/uplinkwatch"
mount --bind "$binary" "$root/uplinkwatch"
# Of the environment the daemon reads only where its service manager listens, as a
# service's would be; sanitizer runs pass their options on.
set -- PATH="$daemon_path" NOTIFY_SOCKET=/tmp/notify
for option in ASAN_OPTIONS UBSAN_OPTIONS TSAN_OPTIONS LSAN_OPTIONS; do
  eval "value=\${$option:-}"
  [ -n "$value" ] && set -- "$@" "$option=$value"
done
# A small descriptor table, for the daemon alone.
limit=
[ -n "$open_files" ] && limit="$(command -v prlimit) --nofile=$open_files:"
if [ "$keep_caps" = all ]; then
  exec env -i "$@" $limit "$(command -v chroot)" "$root" /uplinkwatch
fi
# Root with only the capabilities named (comma-separated, or none).
exec env -i "$@" $limit "$(command -v chroot)" "$root" /usr/bin/setpriv \
  --inh-caps=-all --bounding-set="-all${keep_caps:+,+$keep_caps}" /uplinkwatch
"""


# Runs inside the node, as any root process there could: sends routing netlink
# datagrams that claim a default route through interface argv[1] (gateway
# fe80::66). With groups (argv[2]), one datagram to those multicast groups. With
# a port of "stdin", one datagram every 100 microseconds to the port id read from
# stdin, marked as part of a dump, until stdin closes.
_FORGE = r"""
import select, socket, struct, sys
ifindex, groups, port = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
def route(flags):
    attributes = (struct.pack("HH", 20, 5) + socket.inet_pton(socket.AF_INET6, "fe80::66")
                  + struct.pack("HHI", 8, 4, ifindex))
    body = struct.pack("BBBBBBBBI", 10, 0, 0, 0, 254, 3, 0, 1, 0) + attributes
    return struct.pack("IHHII", 16 + len(body), 24, flags, 0, 0) + body
sender = socket.socket(socket.AF_NETLINK, socket.SOCK_RAW, 0)
sender.bind((0, 0))
if port != "stdin":
    sender.sendto(route(0), (0, groups))
    sys.exit(0)
target = int(sys.stdin.readline())
message = route(2)  # NLM_F_MULTI
while not select.select([sys.stdin], [], [], 0.0001)[0]:
    try:
        sender.sendto(message, (target, 0))
    except OSError:
        pass  # no socket has that port id right now
"""


# Runs in a router's namespace: sends argv[1] router advertisements of lifetime 0
# (they add no route) from its eth0, evenly over argv[2] seconds.
_ADVERTISE = r"""
import socket, struct, sys, time
count, seconds = int(sys.argv[1]), float(sys.argv[2])
sender = socket.socket(socket.AF_INET6, socket.SOCK_RAW, socket.IPPROTO_ICMPV6)
sender.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_MULTICAST_HOPS, 255)
index = socket.if_nametoindex("eth0")
# Type 134, code 0, checksum (the kernel's), hop limit 64, no flags, lifetime 0.
advert = struct.pack("!BBHBBHII", 134, 0, 0, 64, 0, 0, 0, 0)
start = time.monotonic()
for number in range(count):
    time.sleep(max(0.0, start + number * seconds / count - time.monotonic()))
    sender.sendto(advert, ("ff02::1", 0, 0, index))
"""


# Runs in a router's namespace: sends argv[1] pairs of router advertisements from
# fe80::dead, an address nobody on the link has, at argv[2] pairs a second: one
# of high preference that makes it a default router, then one of lifetime 0 that
# withdraws it.
_FORGE_ADVERTS = r"""
import socket, struct, sys, time
pairs, rate = int(sys.argv[1]), float(sys.argv[2])
sender = socket.socket(socket.AF_INET6, socket.SOCK_RAW, socket.IPPROTO_ICMPV6)
sender.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_MULTICAST_HOPS, 255)
sender.setsockopt(socket.IPPROTO_IPV6, 78, 1)  # IPV6_FREEBIND
index = socket.if_nametoindex("eth0")
sender.bind(("fe80::dead", 0, 0, index))
start = time.monotonic()
for number in range(2 * pairs):
    time.sleep(max(0.0, start + number / (2 * rate) - time.monotonic()))
    lifetime = 1800 if number % 2 == 0 else 0
    # Type 134, code 0, checksum (the kernel's), hop limit 64, high preference.
    advert = struct.pack("!BBHBBHII", 134, 0, 0, 64, 0x08, lifetime, 0, 0)
    sender.sendto(advert, ("ff02::1", 0, 0, index))
"""


def run(*args, check=True, **kwargs):
    return subprocess.run(list(args), check=check, capture_output=True, text=True, **kwargs)


def wait_until(predicate, timeout=GUARD, what="condition"):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.02)


class _Lines:
    """Collects a stream's lines as they come. Each look at them first takes
    whatever the stream holds already, so that a line the daemon wrote before
    it told anything else (its readiness, a write) is there, however far behind
    the reading thread is on a busy machine."""

    def __init__(self, stream):
        self.lines = []
        self.times = []  # when each line was read, on the monotonic clock
        self.partial = ""
        self._fd = stream.fileno()
        self._ended = False
        os.set_blocking(self._fd, False)
        self._lock = threading.Lock()
        self._thread = threading.Thread(target=self._read, daemon=True)
        self._thread.start()

    def _take(self):
        """Takes what the stream holds now; called with the lock held."""
        while not self._ended:
            try:
                chunk = os.read(self._fd, 65536)
            except BlockingIOError:
                return
            self._ended = not chunk
            text = self.partial + chunk.decode(errors="replace")
            *complete, self.partial = text.split("\n")
            self.lines.extend(complete)
            self.times.extend([time.monotonic()] * len(complete))

    def _read(self):
        while not self._ended:
            select.select([self._fd], [], [], 0.1)
            with self._lock:
                self._take()

    def snapshot(self):
        with self._lock:
            self._take()
            return list(self.lines)

    def timed(self):
        with self._lock:
            self._take()
            return list(zip(self.times, self.lines))


class _FastpathWatch:
    """Records, in the order the kernel saw them, each close of a written fastpath
    file, with what the file held right then."""

    IN_CLOSE_WRITE = 0x8

    def __init__(self, directory):
        self.directory = directory
        self.writes = []
        self.times = []  # when each write was seen, on the monotonic clock
        self._lock = threading.Lock()
        libc = ctypes.CDLL(None, use_errno=True)
        self._fd = libc.inotify_init1(os.O_CLOEXEC)
        assert self._fd >= 0
        assert libc.inotify_add_watch(self._fd, directory.encode(), self.IN_CLOSE_WRITE) >= 0
        self._stopping = threading.Event()
        self._thread = threading.Thread(target=self._read, daemon=True)
        self._thread.start()

    def _read(self):
        while not self._stopping.is_set():
            ready, _, _ = select.select([self._fd], [], [], 0.1)
            if not ready:
                continue
            data = os.read(self._fd, 65536)
            seen = time.monotonic()
            offset = 0
            while offset < len(data):
                _, _, _, length = struct.unpack_from("iIII", data, offset)
                name = data[offset + 16: offset + 16 + length].rstrip(b"\0").decode()
                offset += 16 + length
                try:
                    with open(os.path.join(self.directory, name), "rb") as file:
                        content = file.read()
                except OSError:
                    content = None
                with self._lock:
                    self.writes.append((name, content))
                    self.times.append(seen)

    def snapshot(self):
        with self._lock:
            return list(self.writes)

    def timed(self):
        with self._lock:
            return list(zip(self.times, self.writes))

    def close(self):
        # The descriptor is closed only once its reader is gone, so that a later
        # watch that gets the same number is read by its own thread alone.
        self._stopping.set()
        self._thread.join()
        os.close(self._fd)


class _Notices:
    """The service manager's end of the daemon's notify socket: keeps every notice
    as it comes, so that none is dropped for want of a reader."""

    def __init__(self, path):
        self.path = path
        self.notices = []
        self._lock = threading.Lock()
        self._socket = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self._socket.bind(path)
        self._stopping = threading.Event()
        self._thread = threading.Thread(target=self._read, daemon=True)
        self._thread.start()

    def _read(self):
        while not self._stopping.is_set():
            if select.select([self._socket], [], [], 0.1)[0]:
                notice = self._socket.recv(4096).decode(errors="replace")
                with self._lock:
                    self.notices.append(notice)

    def readies(self):
        """How many times the daemon has said READY=1: once at startup, then once
        at the end of each requested refresh."""
        with self._lock:
            return sum("READY=1" in notice.split("\n") for notice in self.notices)

    def close(self):
        self._stopping.set()
        self._thread.join()
        self._socket.close()
        os.unlink(self.path)


class Node:
    def __init__(self, workdir):
        self.name = f"uwt{os.getpid()}n{next(_counter)}"
        self.workdir = str(workdir)
        self.root = os.path.join(self.workdir, "root")
        self.fastpath = os.path.join(self.workdir, "fastpath")
        self.cfg = os.path.join(self.workdir, "cfg")
        self.tools = os.path.join(self.workdir, "tools")
        for directory in (self.fastpath, self.cfg, self.tools):
            os.makedirs(directory)
        for directory in ("usr", "etc", "dev", "data/cfg", "tmp"):
            os.makedirs(os.path.join(self.root, directory))
        self.process = None
        self.notices = None  # where the daemon's service-manager notices arrive
        self.stdout = self.stderr = None
        self.routers = []  # namespaces of routers beyond the node's uplinks
        self.open_dirs = []  # directories other users may enter
        self.spawned = []  # route sources the test started
        self.watch = _FastpathWatch(self.fastpath)
        run("ip", "netns", "add", self.name)
        self.ip("link", "set", "lo", "up")

    # The node's network -------------------------------------------------------

    def ip(self, *args, check=True):
        return run("ip", "-n", self.name, *args, check=check)

    def batch(self, commands, family="-6"):
        """Runs many ip commands (without their "ip -6") in one process."""
        path = os.path.join(self.workdir, f"batch{next(_counter)}")
        with open(path, "w") as file:
            file.write("\n".join(commands) + "\n")
        return run("ip", "-n", self.name, family, "-batch", path)

    def veth(self, name, peer=None, up=True, peer_up=True):
        """An uplink: a veth pair in the node, running when both ends are up. It
        returns once the kernel has made it running (and so has already told the
        link group), so that no late notification about it reaches a daemon
        started afterwards."""
        peer = peer or f"p{name}"[:15]  # never begins with tavro or nic
        self.ip("link", "add", "name", name, "type", "veth", "peer", "name", peer)
        if peer_up:
            self.ip("link", "set", peer, "up")
        if up:
            self.ip("link", "set", name, "up")
        if up and peer_up:
            wait_until(lambda: self.operstate(name) == "UP", what=f"{name} to run")
        return name

    def _namespace(self, name):
        """A namespace beside the node's, removed with it, whose links and the
        node's have their addresses usable at once (no duplicate address
        detection)."""
        run("ip", "netns", "add", name)
        self.routers.append(name)
        for namespace in (self.name, name):
            self.sysctl(namespace, "net.ipv6.conf.default.accept_dad=0")
        run("ip", "-n", name, "link", "set", "lo", "up")
        return name

    def router(self, uplink):
        """An uplink with a router beyond it: the router is a network namespace of
        its own, whose eth0 is the veth peer of `uplink` in the node, both ends up.
        Returns the router's namespace."""
        router = self._namespace(f"{self.name}{uplink}")
        self.ip("link", "add", "name", uplink, "type", "veth", "peer", "name", "eth0", "netns", router)
        run("ip", "-n", router, "link", "set", "eth0", "up")
        self.ip("link", "set", uplink, "up")
        wait_until(lambda: self.operstate(uplink) == "UP", what=f"{uplink} to run")
        return router

    def lan(self, uplink, count):
        """An uplink whose link holds `count` routers: a bridge, in a namespace of its
        own, joins `uplink` in the node and each router's eth0. Returns the
        routers' namespaces."""
        switch = self._namespace(f"{self.name}{uplink}sw")
        run("ip", "-n", switch, "link", "add", "br0", "type", "bridge", "mcast_snooping", "0")
        run("ip", "-n", switch, "link", "set", "br0", "up")
        routers = [self._namespace(f"{self.name}{uplink}r{number}") for number in range(count)]
        ports = [(self.name, uplink)] + [(router, "eth0") for router in routers]
        for number, (namespace, name) in enumerate(ports):
            run("ip", "-n", namespace, "link", "add", "name", name, "type", "veth", "peer", "name", f"port{number}",
                "netns", switch)
            run("ip", "-n", switch, "link", "set", f"port{number}", "master", "br0", "up")
            run("ip", "-n", namespace, "link", "set", name, "up")
        wait_until(lambda: self.operstate(uplink) == "UP", what=f"{uplink} to run")
        return routers

    def advertise(self, router, count, seconds):
        """Router `router` sends `count` advertisements that add no route, over
        `seconds`; returns once they are sent."""
        run("ip", "netns", "exec", router, sys.executable, "-c", _ADVERTISE, str(count), str(seconds))

    def forge_advert_pairs(self, router, pairs, rate):
        """From `router`'s link, a router that does not exist comes and goes
        `pairs` times, `rate` times a second; returns once its advertisements are
        sent."""
        run("ip", "netns", "exec", router, sys.executable, "-c", _FORGE_ADVERTS, str(pairs), str(rate))

    def sysctl(self, namespace, setting):
        run("ip", "netns", "exec", namespace, "sysctl", "-qw", setting)

    def spawn(self, namespace, *command):
        """Starts a route source in `namespace`, for the test's life; its output goes
        to a file in the test's directory."""
        log = open(os.path.join(self.workdir, f"spawned{len(self.spawned)}.log"), "w")
        process = subprocess.Popen(["ip", "netns", "exec", namespace, *command], stdin=subprocess.DEVNULL,
                                   stdout=log, stderr=subprocess.STDOUT)
        log.close()
        self.spawned.append(process)
        return process

    def open_dir(self, owner):
        """A directory that a route source running as `owner` may use: the test's
        own directory is open to root alone."""
        directory = tempfile.mkdtemp(prefix="uplinkwatch-")
        os.chmod(directory, 0o755)
        shutil.chown(directory, owner, owner)
        self.open_dirs.append(directory)
        return directory

    def end(self, process, timeout=GUARD):
        """Ends a process that spawn() started, as its service manager would."""
        if process.poll() is None:
            process.terminate()
        try:
            process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()

    def operstate(self, name):
        return json.loads(self.ip("-j", "link", "show", "dev", name).stdout)[0]["operstate"]

    def set_link(self, name, updown, watched=None):
        """Sets link `name` up or down, and returns the new operational state of
        link `watched` (`name` itself by default) once the kernel has announced it
        to the link group: the daemon has that notification queued by then, ahead
        of anything that follows. "UP" is the state IFF_RUNNING follows."""
        watched = watched or name
        monitor = subprocess.Popen(["ip", "-n", self.name, "monitor", "link"], stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE)
        try:
            wait_until(lambda: any(groups & 1 for groups in self._route_socket_groups(monitor.pid)),
                       what="ip monitor to listen to the link group")
            before = self.operstate(watched)
            self.ip("link", "set", name, updown)
            announced = re.compile(rf"^\d+: {re.escape(watched)}(@\S+)?: .* state (\S+) ")
            deadline = time.monotonic() + GUARD
            text = ""
            while True:
                for line in text.split("\n")[:-1]:
                    found = announced.match(line)
                    if found and found.group(2) != before:
                        return found.group(2)
                text = text[text.rfind("\n") + 1:]
                ready, _, _ = select.select([monitor.stdout], [], [], max(0.0, deadline - time.monotonic()))
                if not ready:
                    raise AssertionError(f"timed out waiting for the kernel to announce {watched}")
                chunk = os.read(monitor.stdout.fileno(), 65536)
                if not chunk:
                    raise AssertionError("ip monitor ended")
                text += chunk.decode(errors="replace")
        finally:
            monitor.kill()
            monitor.wait()

    def drained(self):
        """Whether the daemon has read every notification queued for it: the
        receive queue of its monitor socket is empty."""
        table = run("ip", "netns", "exec", self.name, "cat", "/proc/net/netlink").stdout.splitlines()[1:]
        queues = [int(fields[4]) for fields in (row.split() for row in table)
                  if fields[1] == "0" and fields[2] == str(self.pid)]
        return queues == [0]

    def _route_socket_groups(self, pid):
        """The multicast groups of each routing netlink socket in the node whose
        port id is `pid`."""
        table = run("ip", "netns", "exec", self.name, "cat", "/proc/net/netlink").stdout.splitlines()[1:]
        return [int(fields[3], 16) for fields in (row.split() for row in table)
                if fields[1] == "0" and fields[2] == str(pid)]

    def quiet_links(self):
        """Links made from now on carry no IPv6, so the kernel sends no late link
        notifications of its own about them (address configuration, router
        solicitation) that a POP would act on."""
        run("ip", "netns", "exec", self.name, "sysctl", "-qw", "net.ipv6.conf.default.disable_ipv6=1")

    def forge_route(self, device, groups):
        """Another process in the node sends the daemon's multicast groups a
        default route through `device` that the kernel never made."""
        run("ip", "netns", "exec", self.name, sys.executable, "-c", _FORGE, str(self.ifindex(device)), str(groups), "")

    def forger(self, device):
        """A process in the node, ready to send dump-like datagrams claiming a
        default route through `device` to the port id it is given on stdin, until
        its stdin closes."""
        return subprocess.Popen(["ip", "netns", "exec", self.name, sys.executable, "-c", _FORGE,
                                 str(self.ifindex(device)), "0", "stdin"], stdin=subprocess.PIPE, text=True)

    def probe(self, *args):
        """Runs the daemon's link query or POP uplink choice alone inside the node."""
        assert LINK_PROBE and os.access(LINK_PROBE, os.X_OK), "LINK_PROBE does not name the built link probe"
        return run("ip", "netns", "exec", self.name, LINK_PROBE, *args)

    def ifindex(self, name):
        out = self.ip("-j", "link", "show", "dev", name).stdout
        return json.loads(out)[0]["ifindex"]

    def default_route(self, device, gateway="fe80::1", verb="add", table=None):
        extra = ["table", str(table)] if table else []
        return self.ip("-6", "route", verb, "default", "via", gateway, "dev", device, *extra)

    # The node's configuration -------------------------------------------------

    def configure(self, pop_addr=None, pop_iface=None, prefixes=None, raw=None):
        if raw is None:
            raw = json.dumps({
                "popParams": {"POP_ADDR": pop_addr, "POP_IFACE": pop_iface},
                "envParams": {"OPENR_IFACE_PREFIXES": prefixes},
            })
        path = os.path.join(self.cfg, "node_config.json")
        with open(path + ".new", "w") as file:
            file.write(raw)
        os.replace(path + ".new", path)

    def count_jq_runs(self):
        """Puts a jq that counts its runs first on the daemon's PATH."""
        wrapper = os.path.join(self.tools, "jq")
        with open(wrapper, "w") as file:
            file.write("#!/bin/sh\necho run >> /usr/local/bin/jq-runs\nexec /usr/bin/jq \"$@\"\n")
        os.chmod(wrapper, 0o755)

    def jq_runs(self):
        try:
            with open(os.path.join(self.tools, "jq-runs")) as file:
                return len(file.readlines())
        except FileNotFoundError:
            return 0

    # The daemon ---------------------------------------------------------------

    def start(self, fastpath_mode="rw", path=None, listening=True, capabilities="all",
              open_files=None, binary=None, announces=True):
        """capabilities: "all", or the only ones the daemon keeps (comma-separated,
        "" for none), as a hardened service would run it. open_files: the size of
        the daemon's descriptor table. binary: another program to run in the
        daemon's place (the benchmark's contenders). listening: returns once the
        daemon is ready, as it tells its service manager (after its startup
        refresh, listening to the kernel); for a program that tells no manager
        (announces False), once it listens."""
        # The test is the daemon's service manager: its notices arrive here.
        self._close_notices()
        self.notices = _Notices(os.path.join(self.root, "tmp", "notify"))
        daemon_path = path or "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
        self.process = subprocess.Popen(
            ["ip", "netns", "exec", self.name, "unshare", "--mount", "sh", "-c", _LAUNCH, "launch",
             self.root, self.fastpath, self.cfg, binary or BINARY, self.tools, fastpath_mode, daemon_path, capabilities,
             str(open_files or "")],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.stdout = _Lines(self.process.stdout)
        self.stderr = _Lines(self.process.stderr)
        if listening:
            wait_until(self.ready if announces else self.listening,
                       what=f"the daemon to be ready; have {self.lines()} / {self.errors()}")
        return self

    def _close_notices(self):
        if self.notices is not None:
            self.notices.close()
            self.notices = None

    def ready(self):
        """Whether the daemon has told its service manager it is ready: its
        startup refresh has decided, and it listens to the kernel."""
        if self.notices.readies() > 0:
            return True
        if self.process.poll() is not None:
            raise AssertionError(f"the daemon exited with {self.process.returncode}: {self.errors()}")
        return False

    def listening(self):
        """Whether the daemon's monitor has bound its subscription socket: a routing
        netlink socket whose port id is the daemon's pid, in the daemon's groups.
        Notifications sent before that are not seen."""
        if MONITOR_GROUPS in self._route_socket_groups(self.pid):
            return True
        if self.process.poll() is not None:
            raise AssertionError(f"the daemon exited with {self.process.returncode}: {self.errors()}")
        return False

    @property
    def pid(self):
        return self.process.pid

    def signal(self, number=signal.SIGUSR1):
        os.kill(self.pid, number)

    def alive(self):
        return self.process.poll() is None

    def lines(self):
        return self.stdout.snapshot() if self.stdout else []

    def errors(self):
        return self.stderr.snapshot() if self.stderr else []

    def timed_lines(self):
        return self.stdout.timed() if self.stdout else []

    def timed_errors(self):
        return self.stderr.timed() if self.stderr else []

    def wait_line(self, text, count=1, timeout=GUARD):
        wait_until(lambda: self.lines().count(text) >= count, timeout,
                   f"{count} x {text!r} on stdout; have {self.lines()} / {self.errors()}")

    def settle(self):
        """Asks for a refresh and returns once it has ended, lines and writes
        included, as the daemon tells its service manager: it runs after whatever
        the daemon was doing."""
        ended = self.notices.readies()
        self.signal()
        wait_until(lambda: self.notices.readies() > ended, what=f"the refresh to end; have {self.lines()}")

    def wait_error(self, fragment, timeout=GUARD):
        wait_until(lambda: any(fragment in line for line in self.errors()), timeout,
                   f"{fragment!r} on stderr; have {self.errors()}")

    def writes(self):
        return self.watch.snapshot()

    def wait_writes(self, count, timeout=GUARD):
        wait_until(lambda: len(self.writes()) >= count, timeout,
                   f"{count} fastpath writes; have {self.writes()} / {self.lines()} / {self.errors()}")
        return self.writes()

    def announced_writes(self, timeout=GUARD):
        """Every fastpath write the daemon's lines have announced so far, once the
        watcher has seen them all: each line that says the port is updated or the
        entry flushed comes before its write."""
        count = sum(line.startswith("Updating the upstream port") or line.endswith("flushing the fastpath entry")
                    for line in self.lines())
        return self.wait_writes(count, timeout)

    def wait_port(self, expected, timeout=GUARD):
        """Waits until upstream_port holds `expected` and the write watcher has
        seen it written: a line saying the port is set comes before the write it
        announces, and a write the watcher reads only after the next one would
        be recorded with the next one's name."""
        def written():
            ports = [content for name, content in self.writes() if name == "upstream_port"]
            return self.upstream_port() == expected and ports[-1:] == [expected]
        wait_until(written, timeout, f"upstream_port to hold {expected!r}, written; it holds "
                   f"{self.upstream_port()!r}; {self.writes()[-4:]}; {self.lines()}")

    def upstream_port(self):
        try:
            with open(os.path.join(self.fastpath, "upstream_port"), "rb") as file:
                return file.read()
        except FileNotFoundError:
            return None

    def stop(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
        if self.process is not None:
            self.process.wait(timeout=GUARD)
        for process in self.spawned:
            self.end(process)
        self.watch.close()
        self._close_notices()
        for router in self.routers:
            run("ip", "netns", "del", router, check=False)
        for directory in self.open_dirs:
            shutil.rmtree(directory)
        run("ip", "netns", "del", self.name, check=False)
        self._remove_root()
        reports = [line for line in self.errors() if any(mark in line for mark in SANITIZER_MARKS)]
        assert not reports, "\n".join(self.errors())

    def _remove_root(self):
        """Takes the chroot skeleton apart entry by entry, never recursing: rmdir
        fails on a directory that is not empty, so not even a bind mount that had
        leaked out of the node could lose a byte."""
        entries = ["uplinkwatch", "proc/self", "proc/sys", ".proc", "proc/net/gre6_fastpath", "proc/net", "proc", "data/cfg", "data", "tmp",
                   "usr", "etc", "dev", "bin", "sbin", "lib", "lib32", "lib64"]
        for entry in entries:
            path = os.path.join(self.root, entry)
            try:
                if os.path.islink(path) or os.path.isfile(path):
                    os.unlink(path)
                else:
                    os.rmdir(path)
            except FileNotFoundError:
                pass
        os.rmdir(self.root)


SANITIZER_MARKS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:", "WARNING: ThreadSanitizer")
MONITOR_GROUPS = 0x81040505  # links, neighbours, IPv6 addresses, routes, rules and netconf, nexthop objects
REFRESH_LINE = "Received SIGUSR1 signal from meshwarden. Updating the upstream port.."
