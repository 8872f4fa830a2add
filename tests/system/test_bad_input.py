"""The daemon keeps running through a bad configuration or fastpath, says what
failed on stderr, and acts as soon as the fault is gone."""

from node import REFRESH_LINE

NOT_A_POP = dict(pop_addr=None, pop_iface=None, prefixes=None)


def start_with_uplink(node, **start):
    node.veth("up0")
    node.default_route("up0")
    return node.start(**start)


def test_a_missing_configuration_leaves_a_plain_node(node):
    start_with_uplink(node)
    node.wait_error("node_config.json")
    node.wait_line("Updating the upstream port as up0")
    node.wait_port(b"up0\n")

    # Once it exists, the next refresh reads it.
    node.configure(pop_addr="2001:db8::1", pop_iface="nic0", prefixes="tavro")
    node.signal()
    node.wait_line(REFRESH_LINE)
    node.wait_line("Gateway dev is up0", 2)
    assert node.lines().count("Updating the upstream port as up0") == 1
    assert node.alive()


def test_a_malformed_configuration_leaves_the_state_as_it_was(node):
    node.configure(pop_addr="2001:db8::1", pop_iface="nic0", prefixes="tavro")
    start_with_uplink(node)
    node.wait_line("Gateway dev is up0")
    node.configure(raw='{"popParams": {"POP_ADDR": ')
    node.signal()
    node.wait_line("Gateway dev is up0", 2)
    node.wait_error("parse error")
    node.settle()
    # Still a POP: the port is not moved to the gateway.
    assert not any(line.startswith("Updating") for line in node.lines())
    assert node.alive()


def test_without_jq_on_the_path_the_node_keeps_its_role(node):
    start_with_uplink(node, path="/nonexistent")
    node.wait_error("jq")
    node.wait_line("Updating the upstream port as up0")
    node.wait_port(b"up0\n")
    assert node.alive()


def test_a_missing_fastpath_directory_is_reported_and_survived(node):
    node.configure(**NOT_A_POP)
    start_with_uplink(node, fastpath_mode="missing")
    node.wait_error("Failed to open /proc/net/gre6_fastpath/upstream_port: No such file or directory")
    node.signal()
    node.wait_line(REFRESH_LINE)
    node.wait_line("Updating the upstream port as up0", 2)
    assert node.alive()


def test_a_read_only_fastpath_directory_is_reported_and_survived(node):
    node.configure(**NOT_A_POP)
    start_with_uplink(node, fastpath_mode="ro")
    node.wait_error("Failed to open /proc/net/gre6_fastpath/upstream_port: Read-only file system")
    assert node.upstream_port() is None
    assert node.alive()
