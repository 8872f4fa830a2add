"""A POP chooses its upstream port by asking the kernel which uplink is running."""

from node import REFRESH_LINE


def test_the_link_query_asks_the_kernel(node):
    node.veth("both", peer="bothp")
    node.veth("nocarrier", peer="nocarrierp", peer_up=False)
    node.ip("tuntap", "add", "dev", "tap0", "mode", "tap")
    node.ip("link", "set", "tap0", "up")
    for name, expected in (("both", "1"), ("nocarrier", "0"), ("tap0", "0"), ("lo", "1"), ("missing0", "0")):
        result = node.probe("query", name)
        assert (name, result.stdout.strip(), result.stderr) == (name, expected, "")


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


def wait_refresh(node, count=1):
    """Waits for the count-th requested refresh and a flushed line after it."""
    node.signal()
    node.wait_line(REFRESH_LINE, count)


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


def test_without_a_routed_nic_the_first_running_tavro_wins(node):
    node.quiet_links()
    node.veth("tavro0", peer_up=False)
    node.veth("tavro2")
    node.veth("tavro3")
    pop(node, "tavro")
    node.wait_line("Updating the upstream port as tavro2")
    node.wait_port(b"tavro2\n")

    # The links change without a notification the monitor acts on: tavro2 loses its
    # carrier. The next refresh makes the same choice again, from the new states.
    assert node.set_link("ptavro2", "down", watched="tavro2") != "UP"
    wait_refresh(node)
    node.wait_line("Updating the upstream port as tavro3")
    node.wait_port(b"tavro3\n")
    assert ("fpe", b"flush\n") not in node.writes()


def test_a_pop_without_tavro_links_writes_nothing(node):
    node.quiet_links()
    node.veth("eth0")
    pop(node, "tavro")
    wait_refresh(node)
    # A second refresh ends after the first one's scan: nothing came of either.
    wait_refresh(node, 2)
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
    assert node.errors() == []
