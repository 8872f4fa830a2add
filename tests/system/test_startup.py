"""Startup and the refresh SIGUSR1 asks for, on a node that is not a POP."""

import os

from node import REFRESH_LINE, wait_until

NOT_A_POP = dict(pop_addr=None, pop_iface=None, prefixes=None)


def test_follows_the_default_route_at_startup(node):
    node.configure(**NOT_A_POP)
    node.veth("up0")
    node.default_route("up0")
    node.start()
    node.wait_line("Updating the upstream port as up0")
    assert node.lines()[:3] == ["NetLink Thread started..", "Gateway dev is up0", "Updating the upstream port as up0"]
    node.wait_port(b"up0\n")
    assert "Default gateway not set" not in node.lines()


def test_without_a_usable_default_route_says_so_and_writes_nothing(node):
    node.configure(**NOT_A_POP)
    node.veth("up0")
    node.ip("-6", "route", "add", "default", "dev", "up0")  # device-only: no gateway
    node.ip("-6", "route", "add", "2001:db8::/64", "via", "fe80::1", "dev", "up0")
    node.start()
    node.wait_line("Default gateway not set")
    assert node.lines() == ["NetLink Thread started..", "Default gateway not set"]
    assert node.writes() == []


def test_finds_the_default_route_in_a_large_table(node):
    node.configure(**NOT_A_POP)
    node.veth("up0")
    node.veth("up1")
    routes = [f"route add 2001:db8:{i:x}::/64 via fe80::1 dev up0" for i in range(250)]
    routes.append("route add default via fe80::2 dev up1")
    routes += [f"route add 2001:db9:{i:x}::/64 via fe80::1 dev up0" for i in range(250)]
    node.batch(routes)
    node.start()
    node.wait_line("Updating the upstream port as up1")
    node.wait_port(b"up1\n")
    assert not node.errors()


def test_datagrams_from_another_process_never_join_the_route_dump(node):
    node.configure(**NOT_A_POP)
    node.veth("up0")
    node.veth("up1")
    node.batch([f"route add 2001:db8:{i:x}::/64 via fe80::1 dev up0" for i in range(3000)]
               + ["route add default via fe80::1 dev up0"])
    forger = node.forger("up1")
    try:
        node.start(listening=False)
        # The startup dump's socket takes the daemon's pid as its port id, while jq
        # runs first: from now until the monitor listens, another process sends
        # there a default route of its own, marked as part of a dump.
        forger.stdin.write(f"{node.pid}\n")
        forger.stdin.flush()
        wait_until(node.listening, what="the monitor to listen")
        node.wait_line("Updating the upstream port as up0")
    finally:
        forger.stdin.close()
        forger.wait(timeout=30)
    assert "Gateway dev is up1" not in node.lines()
    assert node.wait_writes(1) == [("upstream_port", b"up0\n")]


def test_a_pop_records_the_gateway_but_leaves_the_port_alone(node):
    node.configure(pop_addr="2001:db8::1", pop_iface="nic0", prefixes="tavro")
    node.veth("up0")
    node.default_route("up0")
    node.start()
    node.wait_line("Gateway dev is up0")
    node.signal()
    node.wait_line(REFRESH_LINE)
    node.wait_line("Gateway dev is up0", 2)
    node.settle()
    assert "Default gateway not set" not in node.lines()
    assert not any(line.startswith("Updating") for line in node.lines())
    assert node.writes() == []


def test_sigusr1_runs_a_full_refresh(node):
    node.configure(**NOT_A_POP)
    node.veth("up0")
    node.veth("up1")
    node.start()
    node.wait_line("Default gateway not set")

    node.default_route("up1")
    node.signal()
    node.wait_line("Updating the upstream port as up1")
    assert node.lines()[-3:] == [REFRESH_LINE, "Gateway dev is up1", "Updating the upstream port as up1"]
    node.wait_port(b"up1\n")

    # The refresh re-reads the configuration: as a POP the port is left alone.
    node.configure(pop_addr="2001:db8::1", pop_iface="nic0", prefixes="tavro")
    node.default_route("up1", verb="del")
    node.default_route("up0")
    node.signal()
    node.wait_line(REFRESH_LINE, 2)
    node.wait_line("Gateway dev is up0")
    node.settle()
    assert "Updating the upstream port as up0" not in node.lines()
    assert node.upstream_port() == b"up1\n"


def test_signals_during_the_startup_refresh_give_one_more_refresh(node):
    node.configure(**NOT_A_POP)
    node.veth("up0")
    node.default_route("up0")
    node.start(listening=False)
    # The start line comes before the startup refresh, which runs jq for tens of
    # milliseconds: these signals arrive while it runs.
    node.wait_line("NetLink Thread started..")
    for _ in range(5):
        node.signal()
    node.wait_line(REFRESH_LINE)
    node.wait_line("Updating the upstream port as up0", 2)
    assert node.lines()[:3] == ["NetLink Thread started..", "Gateway dev is up0", "Updating the upstream port as up0"]
    assert node.alive()


def test_an_interface_name_reaches_the_fastpath_byte_for_byte(node):
    name = "$(touch${IFS}x)"
    assert len(name) == 15
    node.configure(**NOT_A_POP)
    node.veth(name, peer="evilp")
    node.default_route(name)
    node.start()
    node.wait_line(f"Updating the upstream port as {name}")
    node.wait_port(name.encode() + b"\n")
    assert not os.path.exists(os.path.join(node.root, "x"))
    assert not os.path.exists(os.path.join(node.root, "data", "cfg", "x"))


def test_a_refresh_writes_the_default_route_the_kernel_uses_once(node):
    node.configure(**NOT_A_POP)
    for uplink in ("up0", "up1", "up2"):
        node.veth(uplink)
    node.ip("-6", "route", "add", "default", "via", "fe80::1", "dev", "up1", "metric", "100")
    node.ip("-6", "route", "add", "default", "via", "fe80::2", "dev", "up0", "metric", "200")
    node.ip("-6", "route", "add", "default", "via", "fe80::3", "dev", "up2", "table", "1234")  # no rule reaches it
    # All global unicast space routed elsewhere, as some VPNs do: no default route
    # carries 3000::, but the kernel still sends the rest of the internet by one.
    node.ip("-6", "route", "add", "2000::/3", "via", "fe80::4", "dev", "up2")
    node.start()
    node.wait_line("Updating the upstream port as up1")
    node.signal()
    node.wait_line("Updating the upstream port as up1", 2)
    once = ["Gateway dev is up1", "Updating the upstream port as up1"]
    assert node.lines() == ["NetLink Thread started.."] + once + [REFRESH_LINE] + once
    assert node.wait_writes(2) == [("upstream_port", b"up1\n")] * 2
    # The primary goes: the backup takes over, as the kernel says.
    node.ip("-6", "route", "del", "default", "via", "fe80::1", "dev", "up1", "metric", "100")
    node.wait_port(b"up0\n")
    assert node.lines()[-4:] == ["Default gateway deleted on up1", "Default gateway dev is up0",
                                 "Detected gateway change, flushing the fastpath entry",
                                 "Updating the upstream port with default gateway as the device is not a pop"]


def test_a_plain_node_keeps_to_its_default_route_with_tavro_links_running(node):
    node.configure(**NOT_A_POP)
    node.veth("up0")
    node.veth("tavro0")
    node.default_route("up0")
    node.start()
    node.wait_line("Updating the upstream port as up0")
    for count in (2, 3):
        node.signal()
        node.wait_line("Updating the upstream port as up0", count)
    assert not any("tavro0" in line for line in node.lines())
    assert node.wait_writes(3) == [("upstream_port", b"up0\n")] * 3
