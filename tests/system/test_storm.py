"""Route storms: tens of thousands of notifications that are not about the default
route must cost no jq run, and lost notifications must not leave a stale port."""

import signal

from node import wait_until

NOT_A_POP = dict(pop_addr=None, pop_iface=None, prefixes=None)
LOST = "Netlink notifications were lost, refreshing the upstream port"


def routes(prefix, count):
    return [f"route add {prefix}:{i >> 16:x}:{i & 0xffff:x}::/64 via fe80::1 dev up0" for i in range(count)]


def overflow_while_stopped(node, commands, prefix="2001:db8"):
    """Stopped, the daemon cannot drain its queue: a burst overflows it, and
    `commands` run only after the overflow, so no notification tells of them."""
    node.signal(signal.SIGSTOP)
    try:
        node.batch(routes(prefix, 30000) + commands)
    finally:
        node.signal(signal.SIGCONT)


def uplinks_with_default_on_up0(node):
    node.veth("up0")
    node.veth("up1")
    node.ip("-6", "route", "add", "default", "via", "fe80::1", "dev", "up0", "metric", "100")
    node.configure(**NOT_A_POP)
    node.count_jq_runs()


def test_a_storm_moves_the_port_once_and_runs_no_jq_for_other_routes(node):
    uplinks_with_default_on_up0(node)
    node.start()
    node.wait_line("Updating the upstream port as up0")
    startup_runs = node.jq_runs()

    writes = len(node.announced_writes())
    node.batch(routes("2001:db8", 25000)
               + ["route add default via fe80::2 dev up1 metric 50",
                  "route del default via fe80::1 dev up0 metric 100"]
               + routes("2001:db9", 25000))
    # The daemon follows the two messages, or, on a machine too busy for it to
    # keep up, loses notifications to the storm and refreshes: either way the
    # port moves once, flushed once.
    node.wait_port(b"up1\n", timeout=120)
    wait_until(node.drained, timeout=120, what="the daemon to read the storm")
    node.settle()
    assert node.alive()
    assert node.announced_writes()[writes:] in ([("fpe", b"flush\n"), ("upstream_port", b"up1\n")],
                                                [("fpe", b"flush\n")] + [("upstream_port", b"up1\n")] * 2)
    lost = node.errors().count(LOST)
    # One run for the refresh and one per resync: none for the 50,000 other routes,
    # nor for the two default-route messages, whose configuration bytes jq had
    # already answered about.
    assert node.jq_runs() - startup_runs == 1 + lost, node.errors()


def test_lost_notifications_are_made_good_by_a_resync(node):
    uplinks_with_default_on_up0(node)
    node.start()
    node.wait_line("Updating the upstream port as up0")

    # The gateway moves after the overflow: no notification tells of the move.
    overflow_while_stopped(node, ["route add default via fe80::2 dev up1 metric 50",
                                  "route del default via fe80::1 dev up0 metric 100"])
    node.wait_error(LOST, timeout=120)
    node.wait_line("Updating the upstream port as up1", timeout=120)
    node.wait_port(b"up1\n")
    assert node.alive()
    assert "Default gateway dev is up1" not in node.lines()
    # The notifications the resync stands for would have flushed the entry.
    assert node.lines()[-3:] == ["Gateway dev is up1", "Detected gateway change, flushing the fastpath entry",
                                 "Updating the upstream port as up1"]
    assert node.wait_writes(3)[1:] == [("fpe", b"flush\n"), ("upstream_port", b"up1\n")]

    # Lost again while the gateway moves to another router on the same link: the
    # port stays, and nothing is flushed.
    overflow_while_stopped(node, ["route add default via fe80::3 dev up1 metric 40",
                                  "route del default via fe80::2 dev up1 metric 50"], "2001:db9")
    wait_until(lambda: node.errors().count(LOST) >= 2, timeout=120, what="the second loss")
    node.wait_line("Updating the upstream port as up1", 2, timeout=120)
    assert node.lines()[-2:] == ["Gateway dev is up1", "Updating the upstream port as up1"]
    assert node.announced_writes()[3:] == [("upstream_port", b"up1\n")]


def test_a_pop_port_that_stops_while_notifications_are_lost_is_taken_back_when_it_runs(node):
    node.veth("up0")
    node.quiet_links()
    node.veth("tavro1")
    node.veth("tavro2")
    node.configure(pop_addr="2001:db8::1", pop_iface="nic0", prefixes="tavro")
    node.start()
    node.wait_port(b"tavro1\n")

    overflow_while_stopped(node, ["link set ptavro1 down"])
    node.wait_error(LOST, timeout=120)
    node.wait_line("Updating the upstream port as tavro2", timeout=120)
    assert node.lines()[-2:] == ["Detected link state change, flushing the fastpath entry",
                                 "Updating the upstream port as tavro2"]
    assert node.wait_writes(3)[1:] == [("fpe", b"flush\n"), ("upstream_port", b"tavro2\n")]
    node.ip("link", "set", "ptavro1", "up")
    node.wait_line("Updating the upstream port as tavro1 as the device is a pop")
    node.wait_port(b"tavro1\n")
