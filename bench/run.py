#!/usr/bin/python3
"""Measures uplinkwatch against the real kernel, each figure in a throwaway node.

    sudo /usr/bin/python3 bench/run.py [--quick]

Builds the daemon first if build/uplinkwatch is missing, and the kernel floor
(bench/kernel_floor.c: receive a notification, write the two files, nothing else)
beside it. Each node's files, the fastpath stand-ins included, are on tmpfs.
Prints what one jq run costs; failover (the default route moved, the primary
deleted under a standing backup, a move between nexthop objects with the
kernel's compatibility view off, a route that runs out of lifetime, and a router
whose neighbour entry fails) and POP link-up latency, each for uplinkwatch and
for the floor, with their ratio; a router advertisement that revives an expired
route, and forwarding switched with a failed primary (no route notification
tells of either, so the floor cannot follow); forged advertisement pairs on the
port's link, which must move nothing; failover while the configuration
changes before every move; default-route notifications that cannot move the
port under a missing configuration; a route storm, a neighbour storm of failing
hosts and one of hosts that never fail, and a burst of link changes; startup on
an empty and on a full table; and the idle cost.
"""

import glob
import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)
BINARY = os.path.join(TOP, "build", "uplinkwatch")
FLOOR = os.path.join(TOP, "build", "kernel_floor")
os.environ.setdefault("UPLINKWATCH_BINARY", BINARY)
sys.path.insert(0, os.path.join(TOP, "tests", "system"))

import node as node_module  # noqa: E402
from node import Node, REFRESH_LINE  # noqa: E402

NOT_A_POP = dict(pop_addr=None, pop_iface=None, prefixes=None)
A_POP = dict(pop_addr="2001:db8::1", pop_iface="nic0", prefixes="tavro")
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
MOVED = "Updating the upstream port with default gateway as the device is not a pop"


def cpu_seconds(pid, children=True):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    ticks = int(fields[11]) + int(fields[12])
    if children:
        ticks += int(fields[13]) + int(fields[14])
    return ticks / CLOCK_TICKS


def context_switches(pid):
    total = 0
    for status in glob.glob(f"/proc/{pid}/task/*/status"):
        for line in open(status):
            if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                total += int(line.split()[1])
    return total


def cpu_ns(pid):
    """The process's threads' time on a CPU, in nanoseconds (schedstat): finer than
    the clock ticks of /proc/PID/stat, for costs of microseconds a message."""
    return sum(int(open(path).read().split()[0]) for path in glob.glob(f"/proc/{pid}/task/*/schedstat"))


def once_still(measure):
    """The value of `measure` once it has stopped growing: the daemon is done."""
    value = measure()
    while True:
        time.sleep(0.3)
        now = measure()
        if now == value:
            return value
        value = now


def config_bytes_read(pid):
    """What the process has read from files (rchar): the configuration, for the
    daemon; notifications arrive by recvmsg(), which this does not count."""
    for line in open(f"/proc/{pid}/io"):
        if line.startswith("rchar"):
            return int(line.split()[1])
    return 0


def rss_kib(pid):
    for line in open(f"/proc/{pid}/status"):
        if line.startswith("VmRSS"):
            return int(line.split()[1])
    return 0


def routes(prefix, count):
    return [f"route add {prefix}:{i >> 16:x}:{i & 0xffff:x}::/64 via fe80::1 dev up0" for i in range(count)]


class Bench:
    def __init__(self):
        self.workdirs = []

    def node(self, config=NOT_A_POP, uplinks=True):
        # On tmpfs, as the module's procfs files are: a truncating write to a disk
        # file costs the filesystem's own work, which the real files never do.
        workdir = tempfile.mkdtemp(prefix="uplinkwatch-bench-", dir="/dev/shm")
        self.workdirs.append(workdir)
        made = Node(workdir)
        if uplinks:
            made.veth("up0")
            made.veth("up1")
        made.configure(**config)
        return made


def port_written(made, after, name):
    """When the first write of `name` to upstream_port at or after write number
    `after` was seen."""
    wanted = ("upstream_port", f"{name}\n".encode())

    def seen():
        for stamp, write in made.watch.timed()[after:]:
            if write == wanted:
                return stamp
        return None

    return node_module.wait_until(seen, what=f"{name} written; have {made.writes()[after:]}")


def percentiles(latencies):
    latencies = sorted(latencies)
    return {
        "p50_ms": statistics.median(latencies),
        "p99_ms": latencies[min(len(latencies) - 1, int(len(latencies) * 0.99))],
    }


def ip_shell(made):
    """One ip process for the whole run, so no process start lands in a figure."""
    return subprocess.Popen(["ip", "-n", made.name, "-6", "-batch", "-"], stdin=subprocess.PIPE, text=True)


def timed_command(made, shell, command, name):
    before = len(made.writes())
    started = time.monotonic()
    shell.stdin.write(command + "\n")
    shell.stdin.flush()
    return (port_written(made, before, name) - started) * 1000


def start_contender(made, binary, first_line):
    """Starts uplinkwatch or the floor in `made`; for uplinkwatch, returns once it
    has said `first_line` too."""
    made.start(binary=binary, announces=binary == BINARY)
    if binary == BINARY:
        made.wait_line(first_line)
    return ip_shell(made)


def latency_figures(made, shell, counted, count, latencies):
    shell.stdin.close()
    shell.wait()
    return {counted: count, **percentiles(latencies), "alive": made.process.poll() is None}


def failover(bench, changes, binary=BINARY, churn=False):
    """The default route moved to the other uplink, until upstream_port holds it.
    With churn, the configuration is rewritten with new bytes before each move."""
    made = bench.node()
    try:
        made.ip("-6", "route", "add", "default", "via", "fe80::1", "dev", "up0")
        shell = start_contender(made, binary, "Updating the upstream port as up0")
        latencies = []
        for change in range(changes):
            target = ("up1", "fe80::2") if change % 2 == 0 else ("up0", "fe80::1")
            if churn:
                made.configure(raw=json.dumps({"popParams": {"POP_ADDR": None}, "churn": change}))
            latencies.append(timed_command(made, shell, f"route replace default via {target[1]} dev {target[0]}",
                                           target[0]))
        return latency_figures(made, shell, "changes", changes, latencies)
    finally:
        made.stop()


def backup_failover(bench, changes, binary=BINARY):
    """A primary default route and a standing backup: the primary deleted, until
    upstream_port holds the backup's interface; then the primary is put back."""
    made = bench.node()
    try:
        primary = "default via fe80::1 dev up0 metric 100"
        # The floor knows only what it was told: the routes come after it listens.
        shell = start_contender(made, binary, "Default gateway not set")
        timed_command(made, shell, f"route add {primary}", "up0")
        shell.stdin.write("route add default via fe80::2 dev up1 metric 200\n")
        latencies = []
        for _ in range(changes):
            latencies.append(timed_command(made, shell, f"route del {primary}", "up1"))
            timed_command(made, shell, f"route add {primary}", "up0")
        return latency_figures(made, shell, "changes", changes, latencies)
    finally:
        made.stop()


def nexthop_failover(bench, changes, binary=BINARY):
    """With the kernel's compatibility view off, the default route moved from one
    nexthop object to another, until upstream_port holds the new one's interface:
    the route names its object only."""
    made = bench.node()
    try:
        made.sysctl(made.name, "net.ipv4.nexthop_compat_mode=0")
        shell = start_contender(made, binary, "Default gateway not set")
        shell.stdin.write("nexthop add id 1 via fe80::1 dev up0\nnexthop add id 2 via fe80::2 dev up1\n")
        timed_command(made, shell, "route add default nhid 1", "up0")
        latencies = []
        for change in range(changes):
            target = ("2", "up1") if change % 2 == 0 else ("1", "up0")
            latencies.append(timed_command(made, shell, f"route replace default nhid {target[0]}", target[1]))
        return latency_figures(made, shell, "changes", changes, latencies)
    finally:
        made.stop()


def expiry_handover(bench, rounds, binary=BINARY):
    """A default route given a lifetime of one second beside a standing backup:
    from the moment it runs out (one second after the command that gave it) until
    upstream_port holds the backup's interface. The kernel announces nothing then,
    and collects the route only later; the next round gives it a new lifetime."""
    made = bench.node()
    try:
        made.sysctl(made.name, "net.ipv6.route.gc_interval=600")
        shell = start_contender(made, binary, "Default gateway not set")
        timed_command(made, shell, "route add default via fe80::2 dev up1 metric 200", "up1")
        latencies = []
        for _ in range(rounds):
            before = len(made.writes())
            given = time.monotonic()
            shell.stdin.write("route replace default via fe80::1 dev up0 metric 100 expires 1\n")
            shell.stdin.flush()
            port_written(made, before, "up0")
            latencies.append((port_written(made, len(made.writes()), "up1") - (given + 1.0)) * 1000)
        return latency_figures(made, shell, "rounds", rounds, latencies)
    finally:
        made.stop()


def unreachable_router(bench, rounds, binary=BINARY):
    """On a node that does not forward, a primary and a backup router by metric:
    the primary's neighbour entry marked failed, until upstream_port holds the
    backup's interface, then reachable again, until it holds the primary's. The
    kernel announces only the neighbour entry. Both moves count."""
    made = bench.node()
    try:
        made.sysctl(made.name, "net.ipv6.conf.all.forwarding=0")
        entry = "neigh replace fe80::1 lladdr 02:00:00:00:00:01 dev up0 router nud {}"
        shell = start_contender(made, binary, "Default gateway not set")
        shell.stdin.write(entry.format("reachable") + "\nroute add default via fe80::2 dev up1 metric 200\n")
        timed_command(made, shell, "route add default via fe80::1 dev up0 metric 100", "up0")
        latencies = []
        for _ in range(rounds):
            latencies.append(timed_command(made, shell, entry.format("failed"), "up1"))
            latencies.append(timed_command(made, shell, entry.format("reachable"), "up0"))
        return latency_figures(made, shell, "moves", 2 * rounds, latencies)
    finally:
        made.stop()


# Runs in a node's namespace: sets net.ipv6.conf.all.forwarding to each value read
# from stdin, and prints the moment the write returned (monotonic clock, shared
# with the harness).
_FORWARDING = r"""
import sys, time
for line in sys.stdin:
    with open("/proc/sys/net/ipv6/conf/all/forwarding", "w") as setting:
        setting.write(line)
    print(time.monotonic(), flush=True)
"""


def forwarding_switch(bench, rounds):
    """On a node whose primary router's neighbour entry has failed, forwarding
    switched on, until upstream_port holds the primary's interface (a node that
    forwards does not weigh reachability), then off, until it holds the backup's.
    The kernel announces only the setting. Both moves count."""
    made = bench.node()
    try:
        made.sysctl(made.name, "net.ipv6.conf.all.forwarding=0")
        shell = start_contender(made, BINARY, "Default gateway not set")
        shell.stdin.write("neigh replace fe80::1 lladdr 02:00:00:00:00:01 dev up0 nud failed\n"
                          "route add default via fe80::1 dev up0 metric 100\n")
        timed_command(made, shell, "route add default via fe80::2 dev up1 metric 200", "up1")
        switch = subprocess.Popen(["ip", "netns", "exec", made.name, sys.executable, "-c", _FORWARDING],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        latencies = []
        for change in range(2 * rounds):
            value, uplink = ("1", "up0") if change % 2 == 0 else ("0", "up1")
            before = len(made.writes())
            switch.stdin.write(value + "\n")
            switch.stdin.flush()
            written = float(switch.stdout.readline())
            latencies.append((port_written(made, before, uplink) - written) * 1000)
        switch.stdin.close()
        switch.wait()
        return latency_figures(made, shell, "moves", 2 * rounds, latencies)
    finally:
        made.stop()


# Runs in a router's namespace: sends a router advertisement from its eth0 for
# each line on stdin, with the router lifetime in seconds that the line gives, and
# prints the moment it sent it (monotonic clock, shared with the harness).
_ADVERTISE = r"""
import socket, struct, sys, time
sender = socket.socket(socket.AF_INET6, socket.SOCK_RAW, socket.IPPROTO_ICMPV6)
sender.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_MULTICAST_HOPS, 255)
index = socket.if_nametoindex("eth0")
for line in sys.stdin:
    # Type 134, code 0, checksum (the kernel's), hop limit 64, no flags, lifetime.
    advert = struct.pack("!BBHBBHII", 134, 0, 0, 64, 0, int(line), 0, 0)
    sent = time.monotonic()
    sender.sendto(advert, ("ff02::1", 0, 0, index))
    print(sent, flush=True)
"""


def advert_revival(bench, rounds):
    """A router whose route ran out and was passed over for a standing backup
    (the kernel has not collected it): its next advertisement revives the route
    without a notification. From the advertisement until upstream_port holds the
    router's interface again."""
    made = bench.node()
    try:
        made.sysctl(made.name, "net.ipv6.route.gc_interval=600")
        router = made.router("ra0")
        made.sysctl(made.name, "net.ipv6.conf.ra0.accept_ra=2")
        # Advertisements leave from the router's link-local address.
        for namespace, link in ((router, "eth0"), (made.name, "ra0")):
            node_module.wait_until(lambda: "scope link" in node_module.run("ip", "-n", namespace, "-6", "addr", "show",
                                                                            "dev", link).stdout,
                                   what=f"{link}'s link-local address")
        advertise = subprocess.Popen(["ip", "netns", "exec", router, sys.executable, "-c", _ADVERTISE],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        shell = start_contender(made, BINARY, "Default gateway not set")
        timed_command(made, shell, "route add default via fe80::2 dev up1 metric 2000", "up1")
        latencies = []
        for _ in range(rounds):
            # A lifetime of one second: the route runs out and the port goes to the backup.
            before = len(made.writes())
            advertise.stdin.write("1\n")
            advertise.stdin.flush()
            advertise.stdout.readline()
            port_written(made, before, "up1")
            before = len(made.writes())
            advertise.stdin.write("1800\n")
            advertise.stdin.flush()
            sent = float(advertise.stdout.readline())
            latencies.append((port_written(made, before, "ra0") - sent) * 1000)
        advertise.stdin.close()
        advertise.wait()
        return latency_figures(made, shell, "rounds", rounds, latencies)
    finally:
        made.stop()


def forged_adverts(bench, pairs):
    """Anyone on the port's link makes a router that does not exist come and go,
    `pairs` times at 100 a second: a default route of high preference, then its
    withdrawal. The kernel's choice moves to the forged router and back to the
    real one on the same link: the port never moves."""
    made = bench.node(uplinks=False)
    try:
        router = made.router("ra0")
        made.sysctl(made.name, "net.ipv6.conf.ra0.accept_ra=2")
        made.ip("-6", "route", "add", "default", "via", "fe80::2", "dev", "ra0")
        made.start()
        made.wait_port(b"ra0\n")
        lines, writes = len(made.lines()), len(made.announced_writes())
        started = time.monotonic()
        made.forge_advert_pairs(router, pairs, 100)
        node_module.wait_until(made.drained, timeout=120, what="the daemon to read every notification")
        seconds = time.monotonic() - started
        written = made.writes()[writes:]
        return {
            "pairs": pairs,
            "seconds": seconds,
            "lines_per_pair": (len(made.lines()) - lines) / pairs,
            "flushes": sum(name == "fpe" for name, _ in written),
            "port_writes": sum(name == "upstream_port" for name, _ in written),
            "alive": made.alive(),
        }
    finally:
        made.stop()


def quiet_cost(made, commands):
    """Runs `commands` in one ip batch and what it cost the daemon, once it has
    read every notification: its own CPU per command, its route lookups (send
    system calls, counted by perf where it can trace them), the configuration
    bytes it read, and the notifications it lost."""
    counter = None
    if shutil.which("perf"):
        counter = subprocess.Popen(["perf", "stat", "-x,", "-e", "syscalls:sys_enter_sendto", "-p", str(made.pid)],
                                   stderr=subprocess.PIPE, text=True)
        time.sleep(0.5)  # attached
    cpu, read, switches = cpu_ns(made.pid), config_bytes_read(made.pid), context_switches(made.pid)
    writes, runs = len(made.writes()), made.jq_runs()
    made.batch(commands, family="-6")
    node_module.wait_until(made.drained, timeout=120, what="the daemon to read every notification")
    spent = once_still(lambda: cpu_ns(made.pid))
    lookups = "not counted"
    if counter is not None:
        counter.send_signal(signal.SIGINT)
        counted = counter.communicate()[1].strip().splitlines()[-1].split(",")[0]
        lookups = int(counted) if counted.isdigit() else counted
    return {
        "commands": len(commands),
        "cpu_us_per_command": (spent - cpu) / len(commands) / 1000,
        "wakeups_per_command": (context_switches(made.pid) - switches) / len(commands),
        "lookups": lookups,
        "config_bytes_read": config_bytes_read(made.pid) - read,
        "jq_runs": made.jq_runs() - runs,
        "writes": len(made.writes()) - writes,
        "lost_notifications": made.errors().count("Netlink notifications were lost, refreshing the upstream port"),
        "alive": made.alive(),
    }


def missing_config(bench, changes):
    """A node whose configuration is missing, under `changes` default-route
    notifications that cannot move the port: a backup route added and deleted in
    turn. jq would only say again that the file is missing."""
    made = neighbour_node(bench, config_missing=True)
    try:
        backup = "route {} default via fe80::2 dev up1 metric 2000"
        return quiet_cost(made, [backup.format("add" if number % 2 == 0 else "del") for number in range(changes)])
    finally:
        made.stop()


def neighbour_storm(bench, hosts):
    """Neighbour entries of hosts (not routers) created, failed and deleted, a
    thousand at a time (the machine's neighbour tables hold 1024 entries that
    may be collected), in one batch. Each failure, and each deletion of a failed
    entry, asks the kernel: on a node that does not forward it passes over a
    failed gateway."""
    made = neighbour_node(bench)
    try:
        commands = []
        for wave in range(hosts // 1000):
            entries = hosts_of(wave)
            commands += [f"neigh add {address} lladdr {mac} dev up0 nud reachable" for address, mac in entries]
            commands += [f"neigh change {address} lladdr {mac} dev up0 nud failed" for address, mac in entries]
            commands += [f"neigh del {address} dev up0" for address, _ in entries]
        return quiet_cost(made, commands)
    finally:
        made.stop()


def quiet_neighbours(bench, changes):
    """A busy LAN whose hosts never fail: a thousand hosts' entries created, then
    made stale and reachable again in turn, `changes` changes in all, in one
    batch. (A deletion by hand passes through the failed state, which the kernel
    announces, so the entries are deleted only once the figures are taken.)"""
    made = neighbour_node(bench)
    try:
        entries = hosts_of(0)
        commands = [f"neigh add {address} lladdr {mac} dev up0 nud reachable" for address, mac in entries]
        for change in range(changes // len(entries) - 1):
            state = "stale" if change % 2 == 0 else "reachable"
            commands += [f"neigh change {address} lladdr {mac} dev up0 nud {state}" for address, mac in entries]
        figures = quiet_cost(made, commands)
        made.batch([f"neigh del {address} dev up0" for address, _ in entries])
        return figures
    finally:
        made.stop()


def neighbour_node(bench, config_missing=False):
    made = bench.node()
    if config_missing:
        os.remove(os.path.join(made.cfg, "node_config.json"))
    made.count_jq_runs()
    made.ip("-6", "route", "add", "default", "via", "fe80::1", "dev", "up0")
    made.start()
    made.wait_line("Updating the upstream port as up0")
    return made


def hosts_of(wave):
    """A thousand hosts' addresses and link-layer addresses, distinct for each wave."""
    return [(f"2001:db8:{wave:x}::{number + 1:x}", f"02:00:00:{wave:02x}:{number >> 8:02x}:{number & 255:02x}")
            for number in range(1000)]


def link_burst(bench, changes):
    """On a POP whose port is tavro0, the MTU of tavro1, running too, changed back
    and forth: the kernel says after each change that the link runs."""
    made = bench.node(A_POP, uplinks=False)
    try:
        made.quiet_links()
        made.veth("tavro0")
        made.veth("tavro1")
        made.count_jq_runs()
        made.start()
        made.wait_line("Updating the upstream port as tavro0")
        return quiet_cost(made, [f"link set tavro1 mtu {1400 if number % 2 else 1500}" for number in range(changes)])
    finally:
        made.stop()


def pop_link_up(bench, rounds, binary=BINARY):
    """On a POP, a tavro link brought up (its peer is up), until upstream_port
    holds it; then down again, and the other one, in turn."""
    made = bench.node(A_POP, uplinks=False)
    try:
        made.quiet_links()
        for name in ("tavro0", "tavro1"):
            made.veth(name, up=False)
        shell = start_contender(made, binary, "NetLink Thread started..")
        latencies = []
        for change in range(rounds):
            name = f"tavro{change % 2}"
            latencies.append(timed_command(made, shell, f"link set {name} up", name))
            shell.stdin.write(f"link set {name} down\n")
            shell.stdin.flush()
        return latency_figures(made, shell, "rounds", rounds, latencies)
    finally:
        made.stop()


def storm(bench, count):
    made = bench.node()
    try:
        made.count_jq_runs()
        made.ip("-6", "route", "add", "default", "via", "fe80::1", "dev", "up0", "metric", "100")
        made.start()
        made.wait_line("Updating the upstream port as up0")
        cpu_before, self_before = cpu_seconds(made.pid), cpu_ns(made.pid)
        switches_before = context_switches(made.pid)
        runs_before = made.jq_runs()
        half = count // 2
        commands = (routes("2001:db8", half)
                    + ["route add default via fe80::2 dev up1 metric 50",
                       "route del default via fe80::1 dev up0 metric 100"]
                    + routes("2001:db9", count - half))
        writes_before = len(made.writes())
        started = time.monotonic()
        made.batch(commands)
        batch_done = time.monotonic()
        made.wait_line(MOVED, timeout=300)
        moved = port_written(made, writes_before, "up1")
        # Drained when the daemon's CPU time stops growing.
        spent = once_still(lambda: cpu_seconds(made.pid))
        notifications_cpu = spent - cpu_before
        self_per_notification = (cpu_ns(made.pid) - self_before) / count / 1000
        wakeups_per_notification = (context_switches(made.pid) - switches_before) / count
        # A refresh after the storm has been worked through.
        made.signal()
        made.wait_line(REFRESH_LINE, timeout=300)
        made.wait_line("Updating the upstream port as up1", timeout=300)
        converged = time.monotonic()
        return {
            "routes": count,
            "final_port_ok": made.upstream_port() == b"up1\n",
            "batch_s": batch_done - started,
            "port_moved_after_s": moved - started,
            "converged_s": converged - started,
            "notifications_cpu_s": notifications_cpu,
            "self_cpu_us_per_notification": self_per_notification,
            "wakeups_per_notification": wakeups_per_notification,
            "refresh_cpu_s": cpu_seconds(made.pid) - spent,
            "jq_runs": made.jq_runs() - runs_before,
            "lost_notifications": made.errors().count(
                "Netlink notifications were lost, refreshing the upstream port"),
            "alive": made.alive(),
        }
    finally:
        made.stop()


def startups(bench, count, starts):
    """From launch to the first write of the port, on a node whose table holds only
    the default route and on one that holds `count` routes besides: the median of
    `starts` starts each, taken in turn, once the kernel has settled after filling
    the table."""
    empty, full = bench.node(), bench.node()
    try:
        empty.ip("-6", "route", "add", "default", "via", "fe80::2", "dev", "up1")
        full.batch(routes("2001:db8", count) + ["route add default via fe80::2 dev up1"])
        time.sleep(2)
        figures = {id(made): ([], [], True) for made in (empty, full)}
        for _ in range(starts):
            for made in (empty, full):
                first_write, from_first_line, _ = figures[id(made)]
                writes_before = len(made.writes())
                started = time.monotonic()
                made.start()
                made.wait_writes(writes_before + 1)
                written = made.watch.times[writes_before]
                first_write.append((written - started) * 1000)
                from_first_line.append((written - made.stdout.times[0]) * 1000)
                ok = made.writes()[writes_before] == ("upstream_port", b"up1\n")
                figures[id(made)] = (first_write, from_first_line, figures[id(made)][2] and ok)
                made.process.kill()
                made.process.wait()
        return [{"routes": routes_in, "first_write_p50_ms": statistics.median(figures[id(made)][0]),
                 "from_first_line_p50_ms": statistics.median(figures[id(made)][1]), "port_ok": figures[id(made)][2]}
                for made, routes_in in ((empty, 0), (full, count))]
    finally:
        empty.stop()
        full.stop()


def idle(bench, seconds, settle):
    made = bench.node()
    try:
        made.ip("-6", "route", "add", "default", "via", "fe80::1", "dev", "up0")
        made.start()
        made.wait_line("Updating the upstream port as up0")
        # The kernel's own IPv6 address configuration on the new uplinks sends link
        # notifications for several seconds; idle means after that.
        time.sleep(settle)
        cpu, switches = cpu_seconds(made.pid, children=False), context_switches(made.pid)
        time.sleep(seconds)
        return {
            "seconds": seconds,
            "cpu_s": cpu_seconds(made.pid, children=False) - cpu,
            "context_switches": context_switches(made.pid) - switches,
            "rss_kib": rss_kib(made.pid),
        }
    finally:
        made.stop()


def jq_run(runs):
    """What one jq run costs here: the floor under every decision's latency."""
    with tempfile.NamedTemporaryFile("w", suffix=".json") as config:
        config.write('{"popParams": {"POP_ADDR": null}}')
        config.flush()
        def median_ms(command):
            times = []
            for _ in range(runs):
                started = time.monotonic()
                subprocess.run(command, capture_output=True, check=True)
                times.append((time.monotonic() - started) * 1000)
            return statistics.median(times)

        return {
            "runs": runs,
            "p50_ms": median_ms(["jq", "-r", ".popParams.POP_ADDR", config.name]),
            # as the daemon runs it: popen() goes through /bin/sh
            "through_sh_p50_ms": median_ms(["sh", "-c", f"jq -r .popParams.POP_ADDR {config.name}"]),
        }


def build():
    if not os.access(BINARY, os.X_OK):
        subprocess.run(["cmake", "-S", TOP, "-B", os.path.join(TOP, "build"), "-G", "Ninja"], check=True)
        subprocess.run(["cmake", "--build", os.path.join(TOP, "build"), "--target", "uplinkwatch"], check=True)
    subprocess.run(["cc", "-O2", "-Wall", "-Wextra", "-o", FLOOR, os.path.join(HERE, "kernel_floor.c")], check=True)


def show(name, figures, floor=None):
    shown = ", ".join(f"{key} {value:.3f}" if isinstance(value, float) else f"{key} {value}"
                      for key, value in figures.items())
    if floor:
        shown += f", p50 x{figures['p50_ms'] / floor['p50_ms']:.2f} of the floor's"
    print(f"{name:18} {shown}")


def main():
    quick = "--quick" in sys.argv
    if os.geteuid() != 0:
        sys.exit("run as root: each figure comes from a throwaway network namespace")
    build()
    # The harness's threads stamp each write as they see it: let a waiting one
    # take the interpreter at once, not after the default 5 ms slice.
    sys.setswitchinterval(0.0001)
    node_module.BINARY = BINARY
    bench = Bench()
    moves, rounds = (20, 20) if quick else (200, 200)
    jq = jq_run(20)
    floor_failover = failover(bench, moves, binary=FLOOR)
    floor_link_up = pop_link_up(bench, rounds, binary=FLOOR)
    floor_backup = backup_failover(bench, moves, binary=FLOOR)
    floor_nexthop = nexthop_failover(bench, moves, binary=FLOOR)
    expiries = 5 if quick else 40
    floor_expiry = expiry_handover(bench, expiries, binary=FLOOR)
    floor_unreachable = unreachable_router(bench, moves // 2, binary=FLOOR)
    full_table = 25000 if quick else 250000
    results = [
        ("failover", failover(bench, moves), floor_failover),
        ("floor failover", floor_failover, None),
        ("backup failover", backup_failover(bench, moves), floor_backup),
        ("floor backup", floor_backup, None),
        ("nexthop failover", nexthop_failover(bench, moves), floor_nexthop),
        ("floor nexthop", floor_nexthop, None),
        ("expiry handover", expiry_handover(bench, expiries), floor_expiry),
        ("floor expiry", floor_expiry, None),
        ("unreachable router", unreachable_router(bench, moves // 2), floor_unreachable),
        ("forwarding switch", forwarding_switch(bench, moves // 2), None),
        ("advert revival", advert_revival(bench, 5 if quick else 40), None),
        ("forged adverts", forged_adverts(bench, 20 if quick else 200), None),
        ("floor unreachable", floor_unreachable, None),
        ("pop link-up", pop_link_up(bench, rounds), floor_link_up),
        ("floor link-up", floor_link_up, None),
        ("churn failover", failover(bench, 20 if quick else 100, churn=True), floor_failover),
        ("storm", storm(bench, 10000 if quick else 100000), None),
        ("neighbour storm", neighbour_storm(bench, 2000 if quick else 10000), None),
        ("quiet neighbours", quiet_neighbours(bench, 2000 if quick else 10000), None),
        ("missing config", missing_config(bench, 1000), None),
        ("link burst", link_burst(bench, 2000 if quick else 10000), None),
        *zip(("startup, empty", "startup, full"), startups(bench, full_table, 3 if quick else 9), (None, None)),
        ("idle", idle(bench, 2 if quick else 10, 1 if quick else 15), None),
    ]
    version = subprocess.run(["jq", "--version"], capture_output=True, text=True).stdout.strip()
    print(f"machine: {os.uname().release}, {os.cpu_count()} cores, {version}, {time.strftime('%Y-%m-%d')}")
    show("jq", jq)
    for name, figures, floor in results:
        show(name, figures, floor)
    for workdir in bench.workdirs:
        subprocess.run(["rm", "-rf", workdir])


if __name__ == "__main__":
    main()
