"""Following the kernel's notifications between refreshes."""

import json
import os
import shutil
import signal
import subprocess
import sys
import time

import pytest

from node import GUARD, MONITOR_GROUPS, REFRESH_LINE, run, wait_until

NOT_A_POP = dict(pop_addr=None, pop_iface=None, prefixes=None)
NEW_GATEWAY = ["Detected gateway change, flushing the fastpath entry",
               "Updating the upstream port with default gateway as the device is not a pop"]


def link_lines(name):
    return [f"Interface {name} Link: 1", "Detected link state change, flushing the fastpath entry",
            f"Updating the upstream port as {name} as the device is a pop"]


def kernel_uplink(node):
    """The interface the kernel itself sends internet traffic through, as ip finds
    it; over a multipath route, that of the first member it lists for the
    daemon's own probe."""
    route = json.loads(node.ip("-6", "-j", "route", "get", "fibmatch", "3000::").stdout)[0]
    return route.get("dev") or route["nexthops"][0]["dev"]


def primary_and_backup(node):
    """Two uplinks, each with a default route: the primary through up1, by metric
    before the backup through up2."""
    node.veth("up1")
    node.veth("up2")
    node.batch(["route add default via fe80::1 dev up1 metric 100", "route add default via fe80::2 dev up2 metric 200"])


def started(node, capabilities="all", **config):
    node.configure(**config)
    node.start(capabilities=capabilities)
    node.wait_line("NetLink Thread started..")
    return node


def test_a_plain_node_follows_its_default_gateway(node):
    node.veth("up1")
    node.veth("up2")
    started(node, **NOT_A_POP)
    node.wait_line("Default gateway not set")

    node.default_route("up1")
    node.wait_line(NEW_GATEWAY[1])
    assert node.lines()[-3:] == ["Default gateway dev is up1"] + NEW_GATEWAY
    assert node.wait_writes(2) == [("fpe", b"flush\n"), ("upstream_port", b"up1\n")]

    # Another default route through the same interface, with another gateway: nothing.
    node.ip("-6", "route", "add", "default", "via", "fe80::2", "dev", "up1", "metric", "2048")
    # Then a move to another interface, which also marks that the one before was handled.
    node.ip("-6", "route", "add", "default", "via", "fe80::3", "dev", "up2", "metric", "512")
    node.wait_line(NEW_GATEWAY[1], 2)
    assert node.lines()[-3:] == ["Default gateway dev is up2"] + NEW_GATEWAY
    assert node.lines().count("Default gateway dev is up1") == 1
    assert node.wait_writes(4)[2:] == [("fpe", b"flush\n"), ("upstream_port", b"up2\n")]

    # Deleting another default route is not reported.
    node.ip("-6", "route", "del", "default", "via", "fe80::1", "dev", "up1")
    handled_so_far(node, "up2")
    # Deleting the current one is; the kernel then uses the backup through up1.
    node.ip("-6", "route", "del", "default", "via", "fe80::3", "dev", "up2", "metric", "512")
    node.wait_line(NEW_GATEWAY[1], 3)
    assert node.lines()[-4:] == ["Default gateway deleted on up2", "Default gateway dev is up1"] + NEW_GATEWAY
    assert "Default gateway deleted on up1" not in node.lines()
    assert node.wait_writes(7)[4:] == [("upstream_port", b"up2\n"), ("fpe", b"flush\n"), ("upstream_port", b"up1\n")]
    # With no default route left, the port stays where it was.
    node.ip("-6", "route", "del", "default", "via", "fe80::2", "dev", "up1", "metric", "2048")
    node.wait_line("Default gateway deleted on up1")
    # After a delete, a default route through the same interface counts as new.
    node.ip("-6", "route", "add", "default", "via", "fe80::2", "dev", "up1", "metric", "512")
    node.wait_line("Default gateway dev is up1", 2)
    assert node.wait_writes(9)[7:] == [("fpe", b"flush\n"), ("upstream_port", b"up1\n")]

    # A better router on the same link: the kernel moves to it, and it is the
    # gateway followed, silently. Its route goes: that is told, and the router
    # before takes over, silently too, since the port stays.
    # (No refresh between the two: it would record the better router itself.)
    node.ip("-6", "route", "add", "default", "via", "fe80::4", "dev", "up1", "metric", "100")
    wait_until(node.drained, what="the daemon to read the better router's route")
    node.ip("-6", "route", "del", "default", "via", "fe80::4", "dev", "up1", "metric", "100")
    node.wait_line("Default gateway deleted on up1", 2)
    handled_so_far(node, "up1")
    assert node.lines()[-4:] == ["Default gateway deleted on up1", REFRESH_LINE, "Gateway dev is up1",
                                 "Updating the upstream port as up1"]
    assert node.announced_writes()[7:] == [("fpe", b"flush\n")] + [("upstream_port", b"up1\n")] * 2


def test_a_gateway_whose_link_goes_is_forgotten_and_its_index_is_a_new_link(node):
    """The gateway's link is deleted: it is named as it was, and a link later made
    with the same index carries a new gateway."""
    node.veth("va")
    node.veth("vb")
    started(node, **NOT_A_POP)
    node.default_route("va")
    node.wait_line(NEW_GATEWAY[1])
    index = node.ifindex("va")
    node.ip("link", "del", "va")
    node.wait_line("Default gateway deleted on va")
    node.ip("link", "add", "name", "vc", "index", str(index), "type", "veth", "peer", "name", "pvc")
    node.ip("link", "set", "pvc", "up")
    node.ip("link", "set", "vc", "up")
    node.default_route("vc")
    node.wait_line("Default gateway dev is vc")
    assert node.wait_writes(4)[2:] == [("fpe", b"flush\n"), ("upstream_port", b"vc\n")]


def test_a_gateway_forgotten_leaves_the_port_on_its_interface_among_a_multipath_routes(node):
    node.veth("va")
    node.veth("vb")
    # The kernel lists first the member its flow hash picks for the daemon's probe:
    # the members go in the order that has it list vb first.
    members = [["nexthop", "via", "fe80::2", "dev", "vb"], ["nexthop", "via", "fe80::1", "dev", "va"]]
    node.ip("-6", "route", "add", "default", *members[0], *members[1])
    if kernel_uplink(node) == "va":
        members.reverse()
    node.ip("-6", "route", "del", "default")
    started(node, **NOT_A_POP)
    node.default_route("va")
    node.wait_port(b"va\n")
    node.ip("-6", "route", "del", "default", "via", "fe80::1", "dev", "va")
    node.wait_line("Default gateway deleted on va")
    node.ip("-6", "route", "add", "default", *members[0], *members[1])
    assert kernel_uplink(node) == "vb"
    node.wait_line("Default gateway dev is va", 2)
    assert "Default gateway dev is vb" not in node.lines()
    node.wait_port(b"va\n")


def test_routes_that_cover_every_probe_leave_the_announced_default_route_to_follow(node):
    """A VPN client's ::/1 and 8000::/1 carry every address a default route would:
    the kernel cannot tell which default route it uses, and the one announced or
    deleted is followed."""
    node.veth("up1")
    node.veth("tun0")
    node.ip("-6", "route", "add", "::/1", "dev", "tun0")
    node.ip("-6", "route", "add", "8000::/1", "dev", "tun0")
    started(node, **NOT_A_POP)
    node.default_route("up1")
    node.wait_port(b"up1\n")
    node.ip("-6", "route", "del", "default", "via", "fe80::1", "dev", "up1")
    node.wait_line("Default gateway deleted on up1")
    # A new router on the same link is a new gateway.
    node.default_route("up1", gateway="fe80::2")
    node.wait_line(NEW_GATEWAY[1], 2)
    assert node.lines()[-3:] == ["Default gateway dev is up1"] + NEW_GATEWAY
    assert node.wait_writes(4)[2:] == [("fpe", b"flush\n"), ("upstream_port", b"up1\n")]


def test_a_pop_takes_a_tavro_link_that_comes_up_running(node):
    node.quiet_links()
    node.veth("tavro3", up=False)
    node.veth("tavro4", up=False)
    started(node, pop_addr="2001:db8::1", pop_iface="nic0", prefixes="tavro")
    node.ip("link", "set", "tavro3", "up")
    node.wait_line(link_lines("tavro3")[2])
    assert node.lines()[-3:] == link_lines("tavro3")
    writes = node.wait_writes(2)
    assert writes[:2] == [("fpe", b"flush\n"), ("upstream_port", b"tavro3\n")]

    # Going down says nothing; tavro4 coming up afterwards shows it was handled.
    taken = node.lines().count(link_lines("tavro3")[0])
    node.ip("link", "set", "ptavro3", "down")
    node.ip("link", "set", "tavro4", "up")
    node.wait_line(link_lines("tavro4")[2])
    assert node.lines().count(link_lines("tavro3")[0]) == taken
    node.wait_port(b"tavro4\n")


@pytest.mark.parametrize("prefixes, taken", [("tavro,nic1", "nic1"), ("nic0", "tavro1")])
def test_a_pop_never_takes_its_own_interface(node, prefixes, taken):
    """With pop_iface nic0, a routed nic nic1 is taken; a routed nic nic0 is not,
    and then only tavro links are."""
    node.quiet_links()
    node.veth("nic0", up=False)
    node.veth(taken, up=False)
    started(node, pop_addr="2001:db8::1", pop_iface="nic0", prefixes=prefixes)
    node.ip("link", "set", "nic0", "up")
    node.ip("link", "set", taken, "up")
    node.wait_line(link_lines(taken)[2])
    assert "Interface nic0 Link: 1" not in node.lines()
    node.wait_port(f"{taken}\n".encode())


def test_a_change_of_role_counts_from_the_next_message(node):
    node.veth("up0")
    node.veth("tavro2", up=False)
    started(node, **NOT_A_POP)
    node.wait_line("Default gateway not set")

    node.configure(pop_addr="2001:db8::1", pop_iface="nic0", prefixes="tavro")
    node.ip("link", "set", "tavro2", "up")
    node.wait_line(link_lines("tavro2")[2])
    node.default_route("up0")
    node.wait_line("Default gateway dev is up0")

    # No longer a POP: the next decision puts the port on the gateway, although the
    # gateway has not moved (a standby route appears).
    node.configure(**NOT_A_POP)
    node.ip("-6", "route", "add", "default", "via", "fe80::8", "dev", "up0", "metric", "2048")
    node.wait_line(NEW_GATEWAY[1])
    assert node.lines()[-3:] == ["Default gateway dev is up0"] + NEW_GATEWAY
    assert node.lines().count(NEW_GATEWAY[0]) == 1, "as a POP the move to up0 flushed nothing"
    node.wait_port(b"up0\n")
    node.ip("-6", "route", "add", "default", "via", "fe80::9", "dev", "tavro2", "metric", "512")
    node.wait_line("Default gateway dev is tavro2")
    node.wait_port(b"tavro2\n")


def test_a_datagram_from_another_process_moves_nothing(node):
    node.veth("up0")
    node.veth("up1")
    node.veth("up2")
    node.default_route("up0")
    started(node, **NOT_A_POP)
    node.wait_line("Updating the upstream port as up0")

    # Root in the node may send to the route group; only the kernel speaks for it.
    node.forge_route("up1", groups=MONITOR_GROUPS)
    node.ip("-6", "route", "add", "default", "via", "fe80::2", "dev", "up2", "metric", "10")
    node.wait_line(NEW_GATEWAY[1])
    assert "Default gateway dev is up1" not in node.lines()
    assert node.lines()[-3:] == ["Default gateway dev is up2"] + NEW_GATEWAY
    assert node.wait_writes(3) == [("upstream_port", b"up0\n"), ("fpe", b"flush\n"), ("upstream_port", b"up2\n")]


def test_an_unchanged_configuration_costs_no_jq_run_per_decision(node):
    node.veth("up0")
    node.veth("up1")
    node.count_jq_runs()
    started(node, **NOT_A_POP)
    node.wait_line("Default gateway not set")
    assert node.jq_runs() == 1, "the startup refresh asks jq, for POP_ADDR alone"

    for number, uplink in enumerate(("up0", "up1", "up0")):
        node.ip("-6", "route", "add", "default", "via", f"fe80::{number + 1}", "dev", uplink,
                "metric", str(1000 - 100 * number))
        node.wait_line(NEW_GATEWAY[1], number + 1)
    assert node.jq_runs() == 1, "three decisions on bytes jq has answered"

    # A refresh always asks again.
    node.signal()
    node.wait_line(REFRESH_LINE)
    node.wait_line("Updating the upstream port as up0")
    assert node.jq_runs() == 2

    # A broken configuration: jq is asked, and complains, once, not again at each
    # decision that cannot move the port while the file stays as it is. A refresh
    # asks again, as does a change of the bytes.
    path = os.path.join(node.cfg, "node_config.json")
    for broken in ("malformed", "missing"):
        if broken == "missing":
            os.remove(path)
        else:
            node.configure(raw='{"popParams": ')
        runs, complaints = node.jq_runs(), len(node.errors())
        for _ in range(5):
            node.ip("-6", "route", "add", "default", "via", "fe80::9", "dev", "up1", "metric", "2000")
            node.ip("-6", "route", "del", "default", "via", "fe80::9", "dev", "up1", "metric", "2000")
        handled_so_far(node, "up0")
        # Two reads, the first decision's and the refresh's, each of the three
        # keys, none of which has an answer.
        assert node.jq_runs() - runs == 2 * 3, broken
        assert len(node.errors()) - complaints == 2 * 3, node.errors()[complaints:]
    # A decision that may move the port asks again: the role stays.
    runs = node.jq_runs()
    node.ip("-6", "route", "del", "default", "via", "fe80::3", "dev", "up0")
    node.wait_port(b"up1\n")
    assert node.jq_runs() - runs == 3


def test_an_in_place_edit_of_the_same_length_is_seen_at_the_next_decision(node):
    node.veth("up0")
    node.quiet_links()
    node.veth("tavro1", up=False)
    started(node, pop_addr="2001:db8::1", pop_iface="nic0", prefixes="tavro")
    node.ip("link", "set", "tavro1", "up")
    node.wait_line(link_lines("tavro1")[2])

    # The file stops naming a POP address: same inode, same size, same times.
    path = os.path.join(node.cfg, "node_config.json")
    before = os.stat(path)
    text = open(path).read()
    with open(path, "r+") as file:
        file.write(text.replace('"POP_ADDR"', '"POP_ADDX"'))
    os.utime(path, ns=(before.st_atime_ns, before.st_mtime_ns))
    after = os.stat(path)
    assert (after.st_ino, after.st_size, after.st_mtime_ns) == (before.st_ino, before.st_size, before.st_mtime_ns)

    node.default_route("up0")
    node.wait_line(NEW_GATEWAY[1])
    node.wait_port(b"up0\n")


def parse_groups(lines):
    """Splits the output into the units the daemon writes; fails on anything torn."""
    groups, i = [], 0
    while i < len(lines):
        line = lines[i]
        if line in (REFRESH_LINE, "NetLink Thread started.."):
            i += 1
            while i < len(lines) and lines[i].startswith("Gateway dev is "):
                name = lines[i].removeprefix("Gateway dev is ")
                assert lines[i + 1] == f"Updating the upstream port as {name}", lines[i:i + 2]
                i += 2
            groups.append("refresh" if line == REFRESH_LINE else "startup")
        elif line.startswith("Default gateway dev is "):
            assert lines[i + 1:i + 3] == NEW_GATEWAY, lines[i:i + 3]
            groups.append("move")
            i += 3
        elif line.startswith("Default gateway deleted on "):
            groups.append("delete")
            i += 1
        else:
            raise AssertionError(f"unexpected line {line!r} in {lines}")
    return groups


def test_sigusr1_during_a_burst_refreshes_between_messages(node):
    node.veth("up0")
    node.veth("up1")
    node.veth("up2")
    node.ip("-6", "route", "add", "default", "via", "fe80::1", "dev", "up0", "metric", "100")
    started(node, **NOT_A_POP)
    node.wait_line("Updating the upstream port as up0")
    gateway = {"up0": "fe80::1 dev up0 metric 100", "up1": "fe80::2 dev up1 metric 200"}
    commands = []
    for round_number in range(40):
        commands += [f"route add 2001:db8:{round_number:x}:{i:x}::/64 via fe80::1 dev up0" for i in range(50)]
        new, old = ("up1", "up0") if round_number % 2 == 0 else ("up0", "up1")
        commands += [f"route add default via {gateway[new]}", f"route del default via {gateway[old]}"]
    path = f"{node.workdir}/burst"
    with open(path, "w") as file:
        file.write("\n".join(commands) + "\n")
    burst = subprocess.Popen(["ip", "-n", node.name, "-6", "-batch", path])
    signals = 0
    while burst.poll() is None and signals < 20:
        node.signal()
        signals += 1
        wait_until(lambda: node.lines().count(REFRESH_LINE) >= signals, what="each refresh")
    assert burst.wait(timeout=60) == 0
    # Each decision asks the kernel what holds now, so no line marks the end of the
    # burst: once the daemon has read all of it, one more refresh comes after it.
    # Round 39 left the default route on up0.
    wait_until(node.drained, what="the daemon to read the whole burst")
    node.signal()
    node.wait_line(REFRESH_LINE, signals + 1)
    wait_until(lambda: node.lines()[-1] == "Updating the upstream port as up0", what="the last refresh")
    groups = parse_groups(node.lines())
    assert signals >= 1, "the burst ended before a signal could be sent"
    assert groups.count("refresh") == signals + 1
    node.wait_port(b"up0\n")


def test_the_port_follows_the_default_route_the_kernel_uses(node):
    node.veth("up1")
    node.veth("up2")
    started(node, **NOT_A_POP)
    node.wait_line("Default gateway not set")
    primary = ["default", "via", "fe80::1", "dev", "up1", "metric", "100"]
    backup = ["default", "via", "fe80::2", "dev", "up2", "metric", "200"]
    node.ip("-6", "route", "add", *primary)
    node.wait_line(NEW_GATEWAY[1])

    # A backup appears: the kernel keeps to the primary, and so does the port. The
    # primary goes (once the backup is handled: a daemon that looks only after
    # both sees the backup alone): the backup carries the traffic, and the port
    # follows at once.
    node.ip("-6", "route", "add", *backup)
    handled_so_far(node, "up1")
    node.ip("-6", "route", "del", *primary)
    node.wait_line(NEW_GATEWAY[1], 2)
    assert node.lines()[-4:] == ["Default gateway deleted on up1", "Default gateway dev is up2"] + NEW_GATEWAY
    node.wait_port(b"up2\n")
    assert kernel_uplink(node) == "up2"

    # The primary comes back.
    node.ip("-6", "route", "add", *primary)
    node.wait_line(NEW_GATEWAY[1], 3)
    assert node.lines()[-3:] == ["Default gateway dev is up1"] + NEW_GATEWAY
    node.wait_port(b"up1\n")

    # The primary's link is set down, and the kernel drops its routes with it.
    node.set_link("up1", "down")
    node.wait_line(NEW_GATEWAY[1], 4)
    assert node.lines()[-3:] == ["Default gateway dev is up2"] + NEW_GATEWAY
    node.wait_port(b"up2\n")
    assert kernel_uplink(node) == "up2"
    moves = [("fpe", b"flush\n"), ("upstream_port", b"up1\n"), ("fpe", b"flush\n"), ("upstream_port", b"up2\n")]
    assert node.wait_writes(9) == moves[:2] + [("upstream_port", b"up1\n")] + moves[2:] + moves


def started_with_a_backup(node):
    """A plain node on two uplinks with a standing backup route through up2, whose
    kernel collects expired routes ten minutes apart: no collection meanwhile."""
    node.veth("up1")
    node.veth("up2")
    node.sysctl(node.name, "net.ipv6.route.gc_interval=600")
    started(node, **NOT_A_POP)
    node.ip("-6", "route", "add", "default", "via", "fe80::2", "dev", "up2", "metric", "200")


def test_a_route_given_a_lifetime_hands_over_when_it_runs_out(node):
    started_with_a_backup(node)
    node.ip("-6", "route", "add", "default", "via", "fe80::1", "dev", "up1", "metric", "100", "expires", "2")
    node.wait_port(b"up1\n")
    node.wait_port(b"up2\n", timeout=10)
    assert kernel_defaults(node) == {"up1", "up2"}, "the route that ran out is not collected yet"
    assert node.lines()[-3:] == ["Default gateway dev is up2"] + NEW_GATEWAY


def test_a_question_in_the_last_hundredth_of_a_lifetime_keeps_its_end(node):
    """The kernel gives the lifetime left in whole hundredths, rounded down: asked
    in the route's last one, it says 0. A policy rule, added just then, has the
    daemon ask; the end must still hand over."""
    started_with_a_backup(node)
    shell = subprocess.Popen(["ip", "-n", node.name, "-6", "-batch", "-"], stdin=subprocess.PIPE, text=True)
    try:
        # Asked about 6 ms before the end, the kernel reads 0 left on any tick of
        # 4 ms or less; the later rounds ask on either side of that.
        for round_number, before_end_ms in enumerate((6, 3, 9)):
            given = time.monotonic()
            shell.stdin.write("route replace default via fe80::1 dev up1 metric 100 expires 1\n")
            shell.stdin.flush()
            node.wait_port(b"up1\n")
            time.sleep(max(0.0, given + 1 - before_end_ms / 1000 - time.monotonic()))
            shell.stdin.write(f"rule {'add' if round_number % 2 == 0 else 'del'} pref 100 lookup main\n")
            shell.stdin.flush()
            node.wait_port(b"up2\n")
    finally:
        shell.stdin.close()
        shell.wait()


def test_a_route_lifetime_that_ends_in_a_route_storm_hands_over_at_once(node):
    """The end of the route's lifetime is not put off until a storm's notifications
    are all read: the daemon, made to crawl, has thousands queued when it comes."""
    started_with_a_backup(node)
    node.ip("-6", "route", "add", "default", "via", "fe80::1", "dev", "up1", "metric", "100", "expires", "1")
    node.wait_port(b"up1\n")
    node.signal(signal.SIGSTOP)
    node.batch([f"route add 2001:db8:{i >> 16:x}:{i & 0xffff:x}::/64 via fe80::2 dev up2" for i in range(3000)])
    wait_until(lambda: kernel_uplink(node) == "up2", what="the route to run out")
    # The daemon's threads on the lowest scheduling class, on a core kept busy.
    busy = subprocess.Popen(["taskset", "-c", "0", sys.executable, "-c", "while True: pass"])
    try:
        for task in os.listdir(f"/proc/{node.pid}/task"):
            os.sched_setaffinity(int(task), {0})
            os.sched_setscheduler(int(task), os.SCHED_IDLE, os.sched_param(0))
        node.signal(signal.SIGCONT)
        node.wait_port(b"up2\n")
        assert not node.drained(), "the port moved only once the storm was read"
    finally:
        busy.kill()
        busy.wait()


def test_routes_without_carrier_count_as_the_kernel_is_told_to_count_them(node):
    """A route whose link has no carrier is passed over only where the kernel is
    told to ignore such routes, for the node or for that link; the kernel says
    nothing of the route when the setting changes, nor when the carrier returns."""
    primary_and_backup(node)
    started(node, **NOT_A_POP)
    node.wait_port(b"up1\n")
    assert node.set_link("pup1", "down", watched="up1") != "UP"
    assert kernel_uplink(node) == "up1", "a route without carrier still counts"
    for setting, uplink in (("all", "up2"), ("all", "up1"), ("up1", "up2")):
        ignored = int(uplink == "up2")
        node.sysctl(node.name, f"net.ipv6.conf.{setting}.ignore_routes_with_linkdown={ignored}")
        node.wait_port(f"{uplink}\n".encode())
        assert kernel_uplink(node) == uplink
    assert node.set_link("pup1", "up", watched="up1") == "UP"
    node.wait_port(b"up1\n")
    assert node.set_link("pup1", "down", watched="up1") != "UP"
    node.wait_port(b"up2\n")
    assert kernel_uplink(node) == "up2"


def test_policy_rules_weigh_in_and_a_table_no_rule_reaches_moves_nothing(node):
    node.veth("up1")
    node.veth("up2")
    started(node, **NOT_A_POP)
    node.wait_line("Default gateway not set")
    # The kernel refuses the lookup: it has no route for the internet at all.
    node.ip("-6", "route", "add", "default", "via", "fe80::2", "dev", "up2", "table", "100")
    node.default_route("up1")
    node.wait_port(b"up1\n")
    assert "Default gateway dev is up2" not in node.lines()
    assert node.wait_writes(2) == [("fpe", b"flush\n"), ("upstream_port", b"up1\n")]

    node.ip("-6", "rule", "add", "pref", "100", "lookup", "100")
    node.wait_port(b"up2\n")
    assert kernel_uplink(node) == "up2"
    node.ip("-6", "rule", "del", "pref", "100")
    node.wait_port(b"up1\n")

    # A rule that passes over a result through a link of its group: a link's
    # group changes with no word but the link's own message.
    node.ip("-6", "rule", "add", "pref", "100", "lookup", "100", "suppress_ifgroup", "7")
    node.wait_port(b"up2\n")
    for group, uplink in (("7", "up1"), ("0", "up2")):
        node.ip("link", "set", "up2", "group", group)
        node.wait_port(f"{uplink}\n".encode())
        assert kernel_uplink(node) == uplink
    node.ip("-6", "rule", "del", "pref", "100")
    node.wait_port(b"up1\n")

    # A rule that matches the source address the lookup would take (which ip
    # cannot make): an address added makes it match.
    run("ip", "netns", "exec", node.name, sys.executable, "-c", _SOURCE_RULE)
    assert kernel_uplink(node) == "up1"
    node.ip("-6", "addr", "add", "2001:db8:1::5/64", "dev", "up2", "nodad")
    node.wait_port(b"up2\n")
    assert kernel_uplink(node) == "up2"


# Adds, by a netlink request, an IPv6 rule from 2001:db8:1::/64 to table 100 that
# weighs the source address of lookups that name none (FIB_RULE_FIND_SADDR).
_SOURCE_RULE = r"""
import socket, struct
body = (struct.pack("8BI", socket.AF_INET6, 0, 64, 0, 100, 0, 0, 1, 0x10000) + struct.pack("HH", 20, 2)
        + socket.inet_pton(socket.AF_INET6, "2001:db8:1::") + struct.pack("HHIHHI", 8, 6, 100, 8, 15, 100))
sender = socket.socket(socket.AF_NETLINK, socket.SOCK_RAW, socket.NETLINK_ROUTE)
sender.send(struct.pack("IHHII", 16 + len(body), 32, 0x405, 1, 0) + body)  # RTM_NEWRULE, ack, create
assert struct.unpack_from("i", sender.recv(4096), 16)[0] == 0
"""


def test_a_multipath_default_route_keeps_the_port_while_it_is_a_member(node):
    for uplink in ("up1", "up2", "up3"):
        node.veth(uplink)
    started(node, **NOT_A_POP)
    node.default_route("up1")
    node.wait_line(NEW_GATEWAY[1])
    node.ip("-6", "route", "replace", "default", "nexthop", "via", "fe80::2", "dev", "up2",
            "nexthop", "via", "fe80::1", "dev", "up1")
    node.ip("-6", "route", "replace", "default", "nexthop", "via", "fe80::2", "dev", "up2",
            "nexthop", "via", "fe80::3", "dev", "up3")
    node.wait_line(NEW_GATEWAY[1], 2)
    # Once up1 is no member, a member takes the port: the first the kernel lists
    # for the daemon's lookup, which depends on its flow hash.
    taken = node.lines()[-3].removeprefix("Default gateway dev is ")
    other = {"up2": "up3", "up3": "up2"}[taken]
    assert [line for line in node.lines() if line.startswith("Default gateway dev is ")] == \
        ["Default gateway dev is up1", f"Default gateway dev is {taken}"]
    node.wait_port(f"{taken}\n".encode())

    # The port's link goes down: the kernel keeps the route, marks that member dead
    # and says nothing of the route; the live member takes the port.
    node.set_link(taken, "down")
    node.wait_line(f"Default gateway dev is {other}")
    node.wait_port(f"{other}\n".encode())
    assert "dead" in node.ip("-6", "route", "show", "default").stdout

    # A route of forty members, whose notifications run to kilobytes, is read
    # whole: its deletion is told.
    members = [word for number in range(1, 41) for word in ("nexthop", "via", f"fe80::{number:x}", "dev", other)]
    node.ip("-6", "route", "replace", "default", *members)
    node.ip("-6", "route", "del", "default")
    node.wait_line(f"Default gateway deleted on {other}")


def hashed_uplinks(node):
    """The links the kernel sends a spread of internet flows through."""
    return {json.loads(node.ip("-6", "-j", "route", "get", f"3000::{number:x}").stdout)[0]["dev"]
            for number in range(1, 65)}


@pytest.mark.parametrize("route, forwarding", [("plain", "0"), ("group", "1")])
def test_a_multipath_member_whose_gateway_failed_gets_no_flows_and_loses_the_port(node, route, forwarding):
    """The kernel hashes no flow onto a member whose gateway's entry has failed: a
    plain route's while the node does not forward, a nexthop group's whatever it
    does. Its recovery moves nothing, for every live member carries traffic."""
    node.veth("up1")
    node.veth("up2")
    node.sysctl(node.name, f"net.ipv6.conf.all.forwarding={forwarding}")
    if route == "plain":
        node.ip("-6", "route", "add", "default", "nexthop", "via", "fe80::1", "dev", "up1",
                "nexthop", "via", "fe80::2", "dev", "up2")
    else:
        node.batch(["nexthop add id 1 via fe80::1 dev up1", "nexthop add id 2 via fe80::2 dev up2"])
        node.ip("nexthop", "add", "id", "10", "group", "1/2")
        node.ip("-6", "route", "add", "default", "nhid", "10")
    def entry(uplink, state):
        node.ip("-6", "neigh", "replace", f"fe80::{uplink[-1]}", "lladdr", "02:00:00:00:00:01", "dev", uplink,
                "nud", state)

    # Entries that fail from a valid state, as neighbour discovery makes them:
    # the kernel says nothing of an entry made failed.
    entry("up1", "reachable")
    entry("up2", "reachable")
    assert hashed_uplinks(node) == {"up1", "up2"}
    started(node, **NOT_A_POP)
    taken = wait_until(lambda: next((line[len("Gateway dev is "):] for line in node.lines()
                                     if line.startswith("Gateway dev is ")), None), what="the startup's gateway")
    node.wait_port(f"{taken}\n".encode())
    other = {"up1": "up2", "up2": "up1"}[taken]
    entry(taken, "failed")
    assert hashed_uplinks(node) == {other}
    node.wait_port(f"{other}\n".encode())
    assert node.lines()[-3:] == [f"Default gateway dev is {other}"] + NEW_GATEWAY
    writes = len(node.announced_writes())

    entry(taken, "reachable")
    assert hashed_uplinks(node) == {"up1", "up2"}
    handled_so_far(node, other)
    assert node.announced_writes()[writes:] == [("upstream_port", f"{other}\n".encode())]

    entry(other, "failed")
    assert hashed_uplinks(node) == {taken}
    node.wait_port(f"{taken}\n".encode())
    assert node.lines()[-3:] == [f"Default gateway dev is {taken}"] + NEW_GATEWAY


@pytest.mark.parametrize("route, loss", [("multipath", "disabled"), ("plain", "disabled"), ("multipath", "mtu")])
def test_a_link_that_loses_ipv6_loses_the_port(node, route, loss):
    """IPv6 disabled on the port's link, or gone with an MTU below its minimum: the
    kernel takes the link out of a multipath route, or, where it skips
    notifications on links going down, drops a plain route through it; it
    announces neither."""
    node.sysctl(node.name, "net.ipv6.route.skip_notify_on_dev_down=1")
    if route == "multipath":
        for uplink in ("up1", "up2"):
            node.veth(uplink)
        node.ip("-6", "route", "add", "default", "nexthop", "via", "fe80::1", "dev", "up1",
                "nexthop", "via", "fe80::2", "dev", "up2")
    else:
        primary_and_backup(node)
    started(node, **NOT_A_POP)
    taken = kernel_uplink(node)
    other = {"up1": "up2", "up2": "up1"}[taken]
    node.wait_port(f"{taken}\n".encode())
    if loss == "disabled":
        node.sysctl(node.name, f"net.ipv6.conf.{taken}.disable_ipv6=1")
    else:
        node.ip("link", "set", taken, "mtu", "1200")
    node.wait_port(f"{other}\n".encode())
    assert kernel_uplink(node) == other
    # A plain route is gone, and so is the gateway; a multipath route keeps its
    # member, dead, while IPv6 is only disabled, and the gateway is only passed
    # over; below IPv6's minimum MTU the member goes.
    gone = [f"Default gateway deleted on {taken}"] if route == "plain" or loss == "mtu" else []
    moved = [f"Default gateway dev is {other}"] + NEW_GATEWAY
    wait_until(lambda: node.lines()[-len(gone + moved):] == gone + moved and
               node.lines().count(f"Default gateway deleted on {taken}") == len(gone),
               what=f"the lines of the gateway gone; have {node.lines()}")


@pytest.mark.parametrize("compat", ["1", "0"])
def test_a_gateway_gone_with_its_link_over_nexthop_objects(node, compat):
    """Over nexthop objects with the compatibility view off, as routing daemons run,
    the kernel drops the objects and routes through a link set down or deleted
    without a word of either: the gateway is reported gone all the same, as with
    the view on, and a route through the link afterwards is a new gateway."""
    node.sysctl(node.name, f"net.ipv4.nexthop_compat_mode={compat}")
    node.veth("up1")
    node.veth("up2")
    objects = ["nexthop add id 1 via fe80::1 dev up1", "route add default nhid 1 metric 100"]
    node.batch(objects + ["nexthop add id 2 via fe80::2 dev up2", "route add default nhid 2 metric 200"])
    started(node, **NOT_A_POP)
    node.wait_port(b"up1\n")
    gone = ["Default gateway deleted on up1", "Default gateway dev is up2"] + NEW_GATEWAY
    node.set_link("up1", "down")
    node.wait_line(NEW_GATEWAY[1])
    assert node.lines()[-4:] == gone
    node.wait_port(b"up2\n")

    node.set_link("up1", "up")
    node.batch(objects)
    node.wait_line(NEW_GATEWAY[1], 2)
    assert node.lines()[-3:] == ["Default gateway dev is up1"] + NEW_GATEWAY
    node.ip("link", "del", "up1")
    node.wait_line(NEW_GATEWAY[1], 3)
    assert node.lines()[-4:] == gone
    assert node.wait_writes(7)[1:] == [("fpe", b"flush\n"), ("upstream_port", b"up2\n"),
                                       ("fpe", b"flush\n"), ("upstream_port", b"up1\n")] + \
        [("fpe", b"flush\n"), ("upstream_port", b"up2\n")]


def test_a_renamed_port_link_is_written_by_its_new_name(node):
    """The kernel's answers name a renamed link anew: the port follows the name
    without a flush, and a new link given the old name is another link."""
    primary_and_backup(node)
    started(node, **NOT_A_POP)
    node.wait_port(b"up1\n")
    node.ip("link", "set", "up1", "name", "wan1")
    node.wait_port(b"wan1\n")
    wait_until(lambda: node.lines()[-1] == "Updating the upstream port as wan1", what="the update line")
    assert node.wait_writes(2) == [("upstream_port", b"up1\n"), ("upstream_port", b"wan1\n")]
    # A new link takes the old name; then the renamed one goes, and is told gone
    # by the name it has, not by the new link's.
    node.veth("up1", peer="pnew1")
    node.ip("link", "del", "wan1")
    node.wait_line(NEW_GATEWAY[1])
    assert node.lines()[-4:] == ["Default gateway deleted on wan1", "Default gateway dev is up2"] + NEW_GATEWAY
    node.wait_port(b"up2\n")
    assert ("upstream_port", b"up1\n") not in node.announced_writes()[2:]


@pytest.mark.parametrize("compat", ["1", "0"])
def test_routes_over_nexthop_objects(node, compat):
    """With the compatibility view off, a route names its nexthop object only, and an
    object replaced under a route is announced only as a nexthop notification."""
    run("ip", "netns", "exec", node.name, "sysctl", "-qw", f"net.ipv4.nexthop_compat_mode={compat}")
    for uplink in ("up1", "up2", "up3"):
        node.veth(uplink)
    node.ip("nexthop", "add", "id", "1", "via", "fe80::1", "dev", "up1")
    node.ip("nexthop", "add", "id", "2", "via", "fe80::2", "dev", "up2")
    started(node, **NOT_A_POP)
    node.ip("-6", "route", "add", "default", "nhid", "1")
    node.wait_port(b"up1\n")

    # The route moves to another object.
    node.ip("-6", "route", "replace", "default", "nhid", "2")
    node.wait_port(b"up2\n")
    # The object under the route is replaced in place.
    node.ip("nexthop", "replace", "id", "2", "via", "fe80::3", "dev", "up3")
    node.wait_port(b"up3\n")
    # A group that holds the port's interface keeps it; once it no longer does,
    # its first member takes the port.
    node.ip("nexthop", "add", "id", "10", "group", "1/2")
    node.ip("-6", "route", "replace", "default", "nhid", "10")
    node.ip("nexthop", "replace", "id", "2", "via", "fe80::2", "dev", "up2")
    node.wait_line(NEW_GATEWAY[1], 4)
    gateways = [line for line in node.lines() if line.startswith("Default gateway dev is ")]
    assert gateways == [f"Default gateway dev is {name}" for name in ("up1", "up2", "up3", "up1")]
    node.wait_port(b"up1\n")
    # The group is deleted, and the route over it with it.
    node.ip("nexthop", "del", "id", "10")
    node.wait_line("Default gateway deleted on up1")
    assert kernel_defaults(node) == set()


# Real route sources. The kernel's answer is the judge: after each step the port
# must be the interface it sends internet traffic through.

def need(*programs):
    for program in programs:
        if shutil.which(program) is None and not os.access(program, os.X_OK):
            if os.environ.get("CI") == "true":
                pytest.fail(f"{program} is not installed")
            pytest.skip(f"{program} is not installed")


def radvd(node, router, preference, lifetime=None):
    """A router advertising itself as a default router of the given preference,
    and of the given lifetime in seconds (three advertisement intervals if None)."""
    config = os.path.join(node.workdir, f"radvd-{router}.conf")
    with open(config, "w") as file:
        file.write("interface eth0 {\n AdvSendAdvert on;\n MinRtrAdvInterval 3;\n MaxRtrAdvInterval 4;\n"
                   f" AdvDefaultPreference {preference};\n"
                   + (f" AdvDefaultLifetime {lifetime};\n" if lifetime else "") + "};\n")
    node.sysctl(router, "net.ipv6.conf.all.forwarding=1")
    return node.spawn(router, "radvd", "--nodaemon", "--config", config, "--logmethod", "stderr",
                      "--pidfile", os.path.join(node.workdir, f"radvd-{router}.pid"))


def kernel_defaults(node):
    return {route.get("dev") for route in json.loads(node.ip("-6", "-j", "route", "show", "default").stdout)}


def kernel_gateways(node):
    """The default routes in the node's table, expired ones included, as (interface, gateway)."""
    return {(route.get("dev"), route.get("gateway"))
            for route in json.loads(node.ip("-6", "-j", "route", "show", "default").stdout)}


def router_address(node, router):
    """The link-local address a router advertises from."""
    shown = json.loads(run("ip", "-n", router, "-6", "-j", "addr", "show", "dev", "eth0", "scope", "link").stdout)
    return shown[0]["addr_info"][0]["local"]


def handled_so_far(node, port):
    """Returns once the daemon has handled every notification queued for it: a
    refresh asked for after it has read them all runs after the last one, and
    ends writing `port`."""
    wait_until(node.drained, what="the daemon to read its notifications")
    written = node.lines().count(f"Updating the upstream port as {port}")
    node.settle()
    node.wait_line(f"Updating the upstream port as {port}", written + 1)


def test_router_advertisements_of_two_preferences(node):
    need("radvd")
    up1, up2 = node.router("up1"), node.router("up2")
    for uplink in ("up1", "up2"):
        # Accepted even when the node forwards, as mesh nodes do.
        node.sysctl(node.name, f"net.ipv6.conf.{uplink}.accept_ra=2")
    started(node, **NOT_A_POP)
    node.wait_line("Default gateway not set")

    high = radvd(node, up1, "high")
    wait_until(lambda: kernel_defaults(node) == {"up1"}, what="the high-preference router's default route")
    node.wait_port(b"up1\n")

    # A low-preference router appears: the kernel keeps to the high one.
    radvd(node, up2, "low")
    wait_until(lambda: kernel_defaults(node) == {"up1", "up2"}, what="the low-preference router's default route")
    handled_so_far(node, "up1")
    assert "Default gateway dev is up2" not in node.lines()
    assert kernel_uplink(node) == "up1"
    node.wait_port(b"up1\n")

    # The high-preference router stops, with a last advertisement of lifetime 0.
    node.end(high)
    wait_until(lambda: kernel_defaults(node) == {"up2"}, what="the kernel to drop the stopped router")
    node.wait_port(b"up2\n")
    assert kernel_uplink(node) == "up2"
    assert node.lines()[-4:] == ["Default gateway deleted on up1", "Default gateway dev is up2"] + NEW_GATEWAY


def test_a_routing_daemon_over_nexthop_objects(node):
    """zebra installs its routes over nexthop objects; with the compatibility view
    off, a route names its object only."""
    need("/usr/lib/frr/zebra", "/usr/lib/frr/staticd", "vtysh")
    node.sysctl(node.name, "net.ipv4.nexthop_compat_mode=0")
    node.veth("up1")
    node.veth("up2")
    frr = node.open_dir("frr")
    with open(os.path.join(frr, "staticd.conf"), "w") as file:
        file.write("ipv6 route ::/0 fe80::1 up1\nipv6 route ::/0 fe80::2 up2 200\n")
    started(node, **NOT_A_POP)
    node.wait_line("Default gateway not set")

    zserv = os.path.join(frr, "zserv.api")
    common = ["--vty_socket", frr, "-z", zserv, "-u", "frr", "-g", "frr", "-P", "0", "--log", "stdout"]
    node.spawn(node.name, "/usr/lib/frr/zebra", "-i", os.path.join(frr, "zebra.pid"), *common)
    wait_until(lambda: os.path.exists(zserv), what="zebra to listen")
    node.spawn(node.name, "/usr/lib/frr/staticd", "-f", os.path.join(frr, "staticd.conf"),
               "-i", os.path.join(frr, "staticd.pid"), *common)
    wait_until(lambda: kernel_defaults(node) == {None}, what="zebra's default route over a nexthop object")
    node.wait_port(b"up1\n")

    # The operator withdraws the primary: zebra installs the backup in its place.
    run("ip", "netns", "exec", node.name, "vtysh", "--vty_socket", frr,
        "-c", "configure terminal", "-c", "no ipv6 route ::/0 fe80::1 up1")
    node.wait_port(b"up2\n")
    route = json.loads(node.ip("-6", "-j", "route", "get", "fibmatch", "2001:4860:4860::8888").stdout)[0]
    assert "nhid" in route and "dev" not in route
    assert "up2" in node.ip("nexthop", "show", "id", str(route["nhid"])).stdout


def routers_of_two_preferences(node, high_lifetime, capabilities="all"):
    """A node behind a high-preference router whose route lasts `high_lifetime`
    seconds (up1) and a low-preference one (up2), with the kernel's collections
    far apart, so that only route lifetimes move the port; returns once the port
    is on up1, with the high router's radvd and namespace."""
    need("radvd")
    up1, up2 = node.router("up1"), node.router("up2")
    for uplink in ("up1", "up2"):
        node.sysctl(node.name, f"net.ipv6.conf.{uplink}.accept_ra=2")
    node.sysctl(node.name, "net.ipv6.route.gc_interval=600")
    started(node, capabilities, **NOT_A_POP)
    high = radvd(node, up1, "high", lifetime=high_lifetime)
    radvd(node, up2, "low", lifetime=9000)
    wait_until(lambda: kernel_defaults(node) == {"up1", "up2"}, what="both routers' default routes")
    node.wait_port(b"up1\n")
    return high, up1


def test_a_router_that_dies_hands_over_when_its_route_runs_out(node):
    """A router that dies sends no last advertisement: its route runs out of lifetime
    and the kernel passes it over at once, but announces the deletion only at its
    next collection. A router that comes back before that revives the route without
    a word."""
    high, up1 = routers_of_two_preferences(node, 8)
    high.kill()  # no last advertisement
    high.wait()
    node.wait_port(b"up2\n", timeout=15)
    assert kernel_uplink(node) == "up2"
    assert "up1" in kernel_defaults(node), "the kernel has not collected the route that ran out"
    assert not any(line.startswith("Default gateway deleted") for line in node.lines())
    assert node.lines()[-3:] == ["Default gateway dev is up2"] + NEW_GATEWAY

    # The router is back: its first advertisement revives its route unannounced.
    radvd(node, up1, "high", lifetime=8)
    node.wait_port(b"up1\n")
    assert kernel_uplink(node) == "up1"
    assert node.lines()[-3:] == ["Default gateway dev is up1"] + NEW_GATEWAY


def test_a_late_revival_is_seen_without_seeing_advertisements(node):
    """Without CAP_NET_RAW the daemon sees no advertisement: it asks about a route
    that ran out each second for as long as the kernel may keep it, the node's
    collection interval (ten minutes here), not the default half minute."""
    high, up1 = routers_of_two_preferences(node, 8, capabilities="")
    node.wait_error("Cannot watch router advertisements")
    high.kill()  # no last advertisement
    high.wait()
    node.wait_port(b"up2\n", timeout=15)
    time.sleep(40)
    assert "up1" in kernel_defaults(node), "the kernel has not collected the route that ran out"
    radvd(node, up1, "high", lifetime=8)
    node.wait_port(b"up1\n")
    assert kernel_uplink(node) == "up1"


def test_an_advertisement_that_shortens_the_lifetime_moves_the_end(node):
    """A router's advertisement shortens its route's lifetime, then the router
    falls silent: the kernel changes the route without a notification, and passes
    it over at the new end."""
    first, up1 = routers_of_two_preferences(node, 60)
    first.kill()  # no last advertisement
    first.wait()
    short = radvd(node, up1, "high", lifetime=4)
    wait_until(lambda: route_lifetime(node, "up1") <= 4, what="the shortened lifetime")
    short.kill()
    short.wait()
    # Well before the first lifetime would have ended.
    node.wait_port(b"up2\n", timeout=30)
    assert kernel_uplink(node) == "up2"


def route_lifetime(node, uplink):
    """The seconds left of the default route through `uplink`."""
    for route in json.loads(node.ip("-6", "-j", "-d", "route", "show", "default", "dev", uplink).stdout):
        return route.get("expires", 0)
    return 0


# Sends a datagram to a neighbour every 100 ms, so that neighbour discovery keeps
# checking that it answers: argv[1] is its address, argv[2] the link's name.
_TRAFFIC = r"""
import socket, sys, time
sender = socket.socket(socket.AF_INET6, socket.SOCK_DGRAM)
target = (sys.argv[1], 9, 0, socket.if_nametoindex(sys.argv[2]))
while True:
    try:
        sender.sendto(b"x", target)
    except OSError:
        pass  # unresolved for now
    time.sleep(0.1)
"""


@pytest.mark.parametrize("answers_as_router", [True, False])
def test_a_host_leaves_a_router_that_stops_answering_and_comes_back_to_it(node, answers_as_router):
    """A node that does not forward prefers routers neighbour discovery finds
    reachable, and says nothing when it changes its mind; whether the router's
    answers say it is one plays no part."""
    up1, up2 = node.router("up1"), node.router("up2")
    node.sysctl(node.name, "net.ipv6.conf.all.forwarding=0")
    for setting in ("base_reachable_time_ms=500", "delay_first_probe_time=1", "retrans_time_ms=100"):
        node.sysctl(node.name, f"net.ipv6.neigh.up1.{setting}")
    primary, backup = router_address(node, up1), router_address(node, up2)
    for router in (up1, up2):
        # Its answers say it is a router only while it forwards.
        node.sysctl(router, f"net.ipv6.conf.all.forwarding={int(answers_as_router or router == up2)}")
    node.ip("-6", "route", "add", "default", "via", primary, "dev", "up1", "metric", "100")
    node.ip("-6", "route", "add", "default", "via", backup, "dev", "up2", "metric", "200")
    node.spawn(node.name, sys.executable, "-c", _TRAFFIC, primary, "up1")
    started(node, **NOT_A_POP)
    node.wait_port(b"up1\n")

    # The primary router stops answering, its link up. The traffic to it has the
    # kernel try it again and again: while it does, it counts the router reachable
    # for a moment, without a word, and its failure is told again.
    node.sysctl(up1, "net.ipv6.conf.eth0.disable_ipv6=1")
    node.wait_port(b"up2\n")
    wait_until(lambda: kernel_uplink(node) == "up2", what="the kernel to use the backup")
    assert node.lines()[-3:] == ["Default gateway dev is up2"] + NEW_GATEWAY
    # It answers again.
    node.sysctl(up1, "net.ipv6.conf.eth0.disable_ipv6=0")
    node.wait_port(b"up1\n")
    assert kernel_uplink(node) == "up1"
    assert not any(line.startswith("Default gateway deleted") for line in node.lines())


def test_a_failed_primary_counts_only_while_the_node_does_not_forward(node):
    """A failed neighbour entry has a node that does not forward pass over its
    router, whatever the entry's flags (this one's answers said no router); with
    forwarding on, the kernel no longer weighs it. Once the entry is deleted (by
    hand, or collected), the kernel goes back to the router. It says nothing of
    either but the entry and the setting."""
    primary_and_backup(node)
    node.sysctl(node.name, "net.ipv6.conf.all.forwarding=0")
    entry = ["fe80::1", "lladdr", "02:00:00:00:00:01", "dev", "up1"]
    node.ip("-6", "neigh", "replace", *entry, "nud", "failed")
    # Failed before the daemon started, among a hundred failed hosts' entries on
    # both links: its refresh learns them all, whatever order the kernel lists
    # them in.
    node.batch([f"neigh replace 2001:db8::{number:x} lladdr 02:00:00:00:01:{number:02x} "
                f"dev up{1 + number % 2} nud failed" for number in range(1, 101)])
    started(node, **NOT_A_POP)
    node.wait_port(b"up2\n")
    for state, uplink in (("reachable", "up1"), ("failed", "up2")):
        node.ip("-6", "neigh", "replace", *entry, "nud", state)
        node.wait_port(f"{uplink}\n".encode())
    for forwarding, uplink in (("1", "up1"), ("0", "up2")):
        node.sysctl(node.name, f"net.ipv6.conf.all.forwarding={forwarding}")
        node.wait_port(f"{uplink}\n".encode())
        assert kernel_uplink(node) == uplink
    node.ip("-6", "neigh", "del", "fe80::1", "dev", "up1")
    node.wait_port(b"up1\n")
    assert kernel_uplink(node) == "up1"
    wait_until(lambda: node.lines()[-3:] == ["Default gateway dev is up1"] + NEW_GATEWAY, what="the new-gateway lines")


def test_the_kernels_probe_of_a_dead_router_moves_nothing(node):
    """A lookup that passes over a failed router may probe it: the kernel sets its
    entry to INCOMPLETE without a word, and takes that router until the probe
    fails, which it announces. The daemon's own lookups after each of the backup
    router's advertisements open such probes, one a second here."""
    high, up1 = routers_of_two_preferences(node, 9000)
    primary = router_address(node, up1)
    high.kill()  # dead: no last advertisement, and no answer to neighbour discovery
    high.wait()
    node.sysctl(up1, "net.ipv6.conf.eth0.disable_ipv6=1")
    node.sysctl(node.name, "net.ipv6.conf.up1.router_probe_interval=1")
    node.sysctl(node.name, "net.ipv6.neigh.up1.retrans_time_ms=100")
    monitor = node.spawn(node.name, "ip", "monitor", "neigh", "dev", "up1")
    log = os.path.join(node.workdir, f"spawned{len(node.spawned) - 1}.log")

    def probes_ended():
        with open(log) as file:
            return sum(1 for line in file if line.startswith(f"{primary} ") and line.rstrip().endswith("FAILED"))

    node.ip("-6", "neigh", "replace", primary, "lladdr", "02:00:00:00:00:01", "dev", "up1", "nud", "reachable")
    node.ip("-6", "neigh", "replace", primary, "lladdr", "02:00:00:00:00:01", "dev", "up1", "nud", "failed")
    node.wait_port(b"up2\n")
    assert kernel_uplink(node) == "up2"
    lines, writes = len(node.lines()), len(node.announced_writes())

    # A probe opens and fails, opened by a lookup after an advertisement.
    wait_until(lambda: probes_ended() >= 2, timeout=3 * GUARD, what="a probe of the dead router")
    node.end(monitor)
    handled_so_far(node, "up2")
    assert node.lines()[lines:] == [REFRESH_LINE, "Gateway dev is up2", "Updating the upstream port as up2"]
    assert node.announced_writes()[writes:] == [("upstream_port", b"up2\n")]


def test_a_second_router_on_the_link_comes_and_goes_unremarked(node):
    """Only the default route the port follows is reported gone: another router on
    the same link that leaves and returns moves nothing and flushes nothing, and
    when the route followed goes, the one left on the port's link takes over
    without a flush."""
    need("radvd")
    first, second = node.lan("up1", 2)
    node.sysctl(node.name, "net.ipv6.conf.up1.accept_ra=2")
    started(node, **NOT_A_POP)
    radvd(node, first, "high")
    wait_until(lambda: kernel_gateways(node) == {("up1", router_address(node, first))}, what="the first router")
    node.wait_port(b"up1\n")
    lines, writes = len(node.lines()), len(node.announced_writes())

    # The second router comes, leaves with a last advertisement, and comes back.
    both = {("up1", router_address(node, router)) for router in (first, second)}
    standby = radvd(node, second, "low")
    wait_until(lambda: kernel_gateways(node) == both, what="the second router's route")
    node.end(standby)
    # Its last advertisement withdraws the route at once; should a busy machine
    # lose it, the route runs out (12 s) and the kernel collects it (up to 30 s on).
    wait_until(lambda: kernel_gateways(node) == {("up1", router_address(node, first))}, timeout=2 * GUARD,
               what="its route to go")
    standby_again = radvd(node, second, "low")
    wait_until(lambda: kernel_gateways(node) == both, what="its route again")
    handled_so_far(node, "up1")
    assert node.lines()[lines:] == [REFRESH_LINE, "Gateway dev is up1", "Updating the upstream port as up1"]
    assert node.announced_writes()[writes:] == [("upstream_port", b"up1\n")]

    # The route in use goes while the second router stands: it takes over, and
    # the port stays where it is.
    node.end(node.spawned[0])
    wait_until(lambda: kernel_gateways(node) == {("up1", router_address(node, second))}, what="the first to go")
    node.wait_line("Default gateway deleted on up1")
    handled_so_far(node, "up1")
    assert node.lines()[lines + 3:] == ["Default gateway deleted on up1", REFRESH_LINE, "Gateway dev is up1",
                                        "Updating the upstream port as up1"]
    assert node.announced_writes()[writes:] == [("upstream_port", b"up1\n")] * 2

    # A router that does not exist comes and goes, again and again, as anyone on
    # the link can make it: each time, the port stays, and only its going is told.
    lines, writes = len(node.lines()), len(node.announced_writes())
    node.forge_advert_pairs(second, 20, 100)
    wait_until(lambda: ("up1", "fe80::dead") not in kernel_gateways(node), what="the forged router to go")
    handled_so_far(node, "up1")
    told = node.lines()[lines:-3]
    assert set(told) <= {"Default gateway deleted on up1"} and len(told) <= 20, told
    assert node.announced_writes()[writes:] == [("upstream_port", b"up1\n")]

    # It is the gateway followed now: when it goes too, the port is left without one.
    node.end(standby_again)
    wait_until(lambda: kernel_gateways(node) == set(), timeout=2 * GUARD, what="the second to go")
    node.wait_line("Default gateway deleted on up1", 2)
