"""A POP chooses its upstream port by asking the kernel which uplink is running."""

import pytest

from node import REFRESH_LINE, wait_until


@pytest.mark.needs_build
def test_the_link_query_asks_the_kernel(node):
    node.veth("both", peer="bothp")
    node.veth("nocarrier", peer="nocarrierp", peer_up=False)
    node.ip("tuntap", "add", "dev", "tap0", "mode", "tap")
    node.ip("link", "set", "tap0", "up")
    for name, expected in (("both", "1"), ("nocarrier", "0"), ("tap0", "0"), ("lo", "1"), ("missing0", "0")):
        result = node.probe("query", name)
        assert (name, result.stdout.strip(), result.stderr) == (name, expected, "")


@pytest.mark.needs_build
def test_a_query_without_a_socket_says_why_and_the_scan_goes_on(node):
    node.veth("tavro0")
    result = node.probe("--exhaust", "select", "nic0", "")
    lines = result.stderr.splitlines()
    assert lines == ["Netlink socket create failed: Too many open files"] * 16
    assert result.stdout == ""
    assert node.probe("--exhaust", "query", "tavro0").stdout.strip() == "-1"


def pop(node, prefixes, pop_iface="nic0"):
    node.configure(pop_addr="2001:db8::1", pop_iface=pop_iface, prefixes=prefixes)
    node.start()
    node.wait_line("NetLink Thread started..")
    return node


def wait_refresh(node):
    """Asks for a refresh and waits until it has ended."""
    node.settle()


def test_a_running_routed_nic_wins_over_tavro(node):
    node.quiet_links()
    node.veth("nic1")
    node.veth("tavro0")
    pop(node, "tavro,nic1")
    node.wait_line("Updating the upstream port as nic1")
    node.wait_port(b"nic1\n")
    assert node.wait_writes(1) == [("upstream_port", b"nic1\n")], "no flush from a refresh"


def test_a_routed_nic_that_is_not_running_keeps_the_port_and_tavro_is_not_tried(node):
    node.quiet_links()
    node.veth("nic1", peer_up=False)
    node.veth("tavro0")
    node.veth("tavro1", up=False)
    pop(node, "tavro,nic1")
    # tavro1 coming up is a marker: its notification is handled after the startup.
    node.ip("link", "set", "tavro1", "up")
    node.wait_line("Updating the upstream port as tavro1 as the device is a pop")
    assert not any(line.startswith("Updating the upstream port as tavro0") for line in node.lines())
    assert "Updating the upstream port as nic1" not in node.lines()


def lost_lines(stopped, taken):
    return [f"Interface {stopped} Link: 0", "Detected link state change, flushing the fastpath entry",
            f"Updating the upstream port as {taken} as the device is a pop"]


def test_without_a_routed_nic_the_first_running_tavro_wins(node):
    node.quiet_links()
    node.veth("tavro0", peer_up=False)
    node.veth("tavro2")
    node.veth("tavro3")
    node.veth("tavro5", up=False)
    pop(node, "tavro")
    node.wait_line("Updating the upstream port as tavro2")
    node.wait_port(b"tavro2\n")

    # The port's link loses its carrier: the first running tavro link takes over.
    assert node.set_link("ptavro2", "down", watched="tavro2") != "UP"
    node.wait_line(lost_lines("tavro2", "tavro3")[2])
    assert node.lines()[-3:] == lost_lines("tavro2", "tavro3")
    node.wait_port(b"tavro3\n")
    assert node.wait_writes(3)[1:] == [("fpe", b"flush\n"), ("upstream_port", b"tavro3\n")]

    # A link that is not the port stops: nothing moves. A link that comes up
    # running takes the port, as it always did.
    assert node.set_link("ptavro0", "up", watched="tavro0") == "UP"
    node.wait_line("Updating the upstream port as tavro0 as the device is a pop")
    node.set_link("ptavro3", "down", watched="tavro3")
    node.ip("link", "set", "tavro5", "up")
    node.wait_line("Updating the upstream port as tavro5 as the device is a pop")
    assert "Interface tavro3 Link: 0" not in node.lines()

    # The port's link is deleted: its message still names it.
    node.ip("link", "del", "tavro5")
    node.wait_line(lost_lines("tavro5", "tavro0")[2])
    node.wait_port(b"tavro0\n")

    # With no other tavro link running, the port stays on the one that stopped.
    node.set_link("ptavro0", "down", watched="tavro0")
    wait_refresh(node)
    assert "Interface tavro0 Link: 0" not in node.lines()
    assert node.upstream_port() == b"tavro0\n"
    # Back up, it is taken again; a refresh chooses from the kernel's states.
    node.set_link("ptavro2", "up", watched="tavro2")
    node.wait_line("Updating the upstream port as tavro2 as the device is a pop")
    wait_refresh(node)
    node.wait_line("Updating the upstream port as tavro2", 2)


def test_a_port_link_that_flaps_twice_takes_the_port_back_twice(node):
    node.quiet_links()
    node.veth("tavro1")
    node.veth("tavro2")
    pop(node, "tavro")
    node.wait_port(b"tavro1\n")
    for flap in (1, 2):
        assert node.set_link("ptavro1", "down", watched="tavro1") != "UP"
        node.wait_line(lost_lines("tavro1", "tavro2")[2], flap)
        node.wait_port(b"tavro2\n")
        assert node.set_link("ptavro1", "up", watched="tavro1") == "UP"
        node.wait_line("Updating the upstream port as tavro1 as the device is a pop", flap)
        node.wait_port(b"tavro1\n")


def test_a_port_link_renamed_keeps_the_port_while_the_pops_rules_take_its_name(node):
    node.quiet_links()
    node.veth("tavro1")
    node.veth("tavro2")
    pop(node, "tavro")
    node.wait_port(b"tavro1\n")
    node.ip("link", "set", "tavro1", "name", "tavro7")
    node.wait_port(b"tavro7\n")
    node.wait_line("Updating the upstream port as tavro7")
    # Renamed to a name no rule takes, the port's link counts as gone.
    node.ip("link", "set", "tavro7", "name", "spare7")
    node.wait_line(lost_lines("tavro7", "tavro2")[2])
    assert node.lines()[-3:] == lost_lines("tavro7", "tavro2")
    node.wait_port(b"tavro2\n")
    assert node.wait_writes(4)[1:] == [("upstream_port", b"tavro7\n"), ("fpe", b"flush\n"),
                                       ("upstream_port", b"tavro2\n")]


def test_a_pop_turned_plain_moves_its_port_at_a_refresh_without_a_flush(node):
    node.veth("up0")
    node.quiet_links()
    node.veth("tavro0")
    node.default_route("up0")
    pop(node, "tavro")
    node.wait_port(b"tavro0\n")
    writes = len(node.announced_writes())
    node.configure(pop_addr=None, pop_iface=None, prefixes=None)
    wait_refresh(node)
    assert node.lines()[-2:] == ["Gateway dev is up0", "Updating the upstream port as up0"]
    assert node.wait_writes(writes + 1)[writes:] == [("upstream_port", b"up0\n")]


def test_a_running_link_that_changes_moves_nothing(node):
    """The kernel says a link runs after every change to it: only a start counts."""
    node.quiet_links()
    # A POP that terminates hundreds of tunnels: every one runs before tavro3.
    node.batch([command for number in range(150) for command in (
        f"link add name tun{number} type veth peer name ptun{number}",
        f"link set ptun{number} up", f"link set tun{number} up")])
    node.veth("tavro0")
    node.veth("tavro3")
    node.veth("tavro5", up=False)
    node.ip("link", "add", "br0", "type", "bridge")
    pop(node, "tavro")
    node.wait_port(b"tavro0\n")
    node.ip("link", "set", "tavro3", "mtu", "1400")
    node.ip("link", "set", "tavro3", "mtu", "1300")
    node.ip("link", "set", "tavro0", "address", "02:00:00:00:00:01")
    # A bridge port's messages are not the link's own: leaving the bridge is no
    # link going away.
    node.ip("link", "set", "tavro0", "master", "br0")
    node.ip("link", "set", "tavro0", "nomaster")
    node.ip("link", "set", "tavro5", "up")
    node.wait_line("Updating the upstream port as tavro5 as the device is a pop")
    assert [line for line in node.lines() if line.startswith("Interface")] == ["Interface tavro5 Link: 1"]
    assert node.wait_writes(3) == [("upstream_port", b"tavro0\n"), ("fpe", b"flush\n"), ("upstream_port", b"tavro5\n")]


def test_a_usable_routed_nic_that_stops_has_no_fallback(node):
    node.quiet_links()
    node.veth("nic1")
    node.veth("tavro0")
    pop(node, "tavro,nic1")
    node.wait_port(b"nic1\n")
    assert node.set_link("pnic1", "down", watched="nic1") != "UP"
    wait_refresh(node)
    assert not any(line.startswith("Interface nic1 Link") for line in node.lines())
    assert node.writes() == [("upstream_port", b"nic1\n")]


def test_a_pop_records_the_gateway_the_kernel_uses(node):
    node.veth("up0")
    node.veth("up1")
    node.quiet_links()
    node.veth("tavro0")
    node.ip("-6", "route", "add", "default", "via", "fe80::1", "dev", "up0", "metric", "100")
    pop(node, "tavro")
    node.wait_line("Gateway dev is up0")
    # A backup is no new gateway; the primary's end is, and moves no port on a POP.
    # (The end comes once the backup is handled: a daemon that looks only after
    # both sees the backup alone.)
    node.ip("-6", "route", "add", "default", "via", "fe80::2", "dev", "up1", "metric", "200")
    wait_until(node.drained, what="the daemon to read the backup's notification")
    wait_refresh(node)
    node.ip("-6", "route", "del", "default", "via", "fe80::1", "dev", "up0", "metric", "100")
    node.wait_line("Default gateway dev is up1")
    assert node.lines()[-2:] == ["Default gateway deleted on up0", "Default gateway dev is up1"]
    wait_refresh(node)
    assert node.lines()[-3:] == [REFRESH_LINE, "Gateway dev is up1", "Updating the upstream port as tavro0"]
    assert node.announced_writes() == [("upstream_port", b"tavro0\n")] * 3


def test_a_pop_without_tavro_links_writes_nothing(node):
    node.quiet_links()
    node.veth("eth0")
    pop(node, "tavro")
    wait_refresh(node)
    # A second refresh ends after the first one's scan: nothing came of either.
    wait_refresh(node)
    assert not any(line.startswith("Updating") for line in node.lines())
    assert node.writes() == []


def test_a_routed_nic_that_begins_with_the_pop_interface_goes_to_the_tavro_scan(node):
    node.quiet_links()
    node.veth("nic0")
    node.veth("tavro1")
    pop(node, "tavro,nic0")
    node.wait_line("Updating the upstream port as tavro1")
    assert "Updating the upstream port as nic0" not in node.lines()


def test_the_whole_job_needs_no_capability(node):
    node.configure(pop_addr=None, pop_iface=None, prefixes=None)
    node.veth("up0")
    node.veth("up1")
    node.veth("tavro0")
    node.default_route("up0")
    node.start(capabilities="")
    status = open(f"/proc/{node.pid}/status").read()
    assert "CapEff:\t0000000000000000" in status
    node.wait_line("Updating the upstream port as up0")
    node.ip("-6", "route", "add", "default", "via", "fe80::2", "dev", "up1", "metric", "10")
    node.wait_line("Updating the upstream port with default gateway as the device is not a pop")
    node.configure(pop_addr="2001:db8::1", pop_iface="nic0", prefixes="tavro")
    wait_refresh(node)
    node.wait_line("Updating the upstream port as tavro0")
    node.wait_port(b"tavro0\n")
    # Only router advertisements are out of sight, and it says so once.
    assert len(node.errors()) == 1 and node.errors()[0].startswith("Cannot watch router advertisements")
