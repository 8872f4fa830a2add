"""Injected faults: each shows on stderr, the daemon keeps its last good state
through it, and acts right again once the fault is gone."""

import os
import subprocess
import time

from node import REFRESH_LINE, wait_until

NOT_A_POP = dict(pop_addr=None, pop_iface=None, prefixes=None)
A_POP = dict(pop_addr="2001:db8::1", pop_iface="nic0", prefixes="tavro")


def link_acted_on(name):
    return f"Updating the upstream port as {name} as the device is a pop"


def uplinks_then_quiet_links(node):
    """Two uplinks that carry IPv6 for markers; links made later carry none."""
    node.veth("up0")
    node.veth("up1")
    node.quiet_links()


def mark(node):
    """Returns once the daemon has handled every notification sent before (for a
    link, once set_link has seen the kernel announce it): a default route through
    the other uplink is always reported, on any node. Every decision asks the
    kernel what holds now, so an earlier notification may already report it: the
    marker is passed once the daemon has also read its own notification."""
    marks = sum(line.startswith("Default gateway dev is ") for line in node.lines())
    uplink = ("up0", "up1")[marks % 2]
    # Each marker outranks the ones before it, so the kernel takes it.
    node.ip("-6", "route", "add", "default", "via", f"fe80::{marks + 1:x}", "dev", uplink, "metric", str(1000 - marks))
    wait_until(lambda: sum(line.startswith("Default gateway dev is ") for line in node.lines()) > marks,
               what="the marker route")
    wait_until(node.drained, what="the daemon to read the marker's notification")


def test_a_fastpath_module_loaded_later_gets_the_port_unasked(node):
    node.configure(**NOT_A_POP)
    router = node.router("up0")
    node.veth("up1")
    node.default_route("up0")
    node.start(fastpath_mode="missing")
    failed = "Failed to open /proc/net/gre6_fastpath/upstream_port: No such file or directory"
    node.wait_error(failed)
    first_failure = node.timed_errors()[0][0]

    # Anyone on a link may send router advertisements, each of which asks the
    # kernel: the port is written again on its backoff alone, 1, 3, 7 s after the
    # first failure.
    node.advertise(router, 200, 2)
    elapsed = time.monotonic() - first_failure
    rewrites = sum(2 ** (step + 1) - 1 <= elapsed for step in range(8))
    assert node.lines().count("Updating the upstream port as up0") <= 1 + rewrites
    assert node.errors().count(failed) <= 1 + rewrites

    # The module comes (its directory appears where the daemon looks), and nothing
    # else happens: the daemon writes the port again on its own.
    module = os.path.join(node.root, "proc", "net", "gre6_fastpath")
    os.makedirs(module)
    def port():
        try:
            return open(os.path.join(module, "upstream_port"), "rb").read()
        except FileNotFoundError:
            return None
    wait_until(lambda: port() == b"up0\n", what="the port written again")
    assert node.lines()[-1] == "Updating the upstream port as up0"
    node.ip("-6", "route", "add", "default", "via", "fe80::2", "dev", "up1", "metric", "10")
    node.wait_line("Updating the upstream port with default gateway as the device is not a pop")
    # The line comes before the write it announces.
    wait_until(lambda: port() == b"up1\n", what="the port write")
    assert open(os.path.join(module, "fpe"), "rb").read() == b"flush\n"
    for name in ("fpe", "upstream_port"):
        os.remove(os.path.join(module, name))


def test_a_configuration_that_never_answers_costs_a_few_seconds_not_the_daemon(node):
    """A FIFO in the configuration's place is not read; a jq that hangs is killed."""
    uplinks_then_quiet_links(node)
    for number in (1, 2, 3):
        node.veth(f"tavro{number}", up=False)
    node.configure(**A_POP)
    node.start()
    config = os.path.join(node.cfg, "node_config.json")
    os.remove(config)
    os.mkfifo(config)
    node.ip("link", "set", "tavro1", "up")
    node.wait_line(link_acted_on("tavro1"))
    node.wait_error("Configuration /data/cfg/node_config.json is not a regular file, not read")

    # A jq that never answers, first on the daemon's PATH.
    os.remove(config)
    node.configure(**NOT_A_POP)
    hanging = os.path.join(node.tools, "jq")
    with open(hanging, "w") as file:
        file.write("#!/bin/sh\necho $$ >> /usr/local/bin/jq-pids\nexec sleep 1000\n")
    os.chmod(hanging, 0o755)
    node.ip("link", "set", "tavro2", "up")
    node.wait_error("jq gave no answer about /data/cfg/node_config.json within 5 s, stopped")
    node.wait_line(link_acted_on("tavro2"))  # still a POP
    # One that trickles a line each second is stopped all the same: its time
    # counts from its start, not from its last line.
    with open(hanging, "w") as file:
        file.write("#!/bin/sh\necho $$ >> /usr/local/bin/jq-pids\nwhile :; do echo 2001:db8::1; sleep 1; done\n")
    node.ip("link", "set", "tavro3", "up")
    stopped = "jq gave no answer about /data/cfg/node_config.json within 5 s, stopped"
    try:
        wait_until(lambda: node.errors().count(stopped) >= 2, what="the trickling jq stopped")
    except AssertionError as error:
        raise AssertionError(f"{error}; have {node.errors()} / {node.lines()}") from None
    node.wait_line(link_acted_on("tavro3"))
    for pid in open(os.path.join(node.tools, "jq-pids")).read().split():
        wait_until(lambda: not os.path.exists(f"/proc/{pid}"), what=f"the hanging jq {pid} to be gone")
    os.remove(hanging)
    mark(node)
    node.wait_port(b"up0\n")


def test_a_broken_configuration_keeps_the_role_until_it_is_restored(node):
    uplinks_then_quiet_links(node)
    for number in range(5):
        node.veth(f"tavro{number}", up=False)
    node.configure(**A_POP)
    node.start()
    config = os.path.join(node.cfg, "node_config.json")
    good = open(config).read()

    faults = [
        ("deleted", lambda: os.remove(config), "Could not open file /data/cfg/node_config.json"),
        ("truncated", lambda: open(config, "w").write(good[:20]), "parse error"),
        ("malformed", lambda: open(config, "w").write(good.replace(":", "=")), "parse error"),
    ]
    for number, (_, inject, complaint) in enumerate(faults):
        seen = len(node.errors())
        inject()
        node.ip("link", "set", f"tavro{number}", "up")
        wait_until(lambda: any(complaint in line for line in node.errors()[seen:]), what=complaint)
        # Still a POP: the running tavro link is taken.
        node.wait_line(link_acted_on(f"tavro{number}"))

    # Restored, as a plain node: running tavro links move nothing any more.
    node.configure(**NOT_A_POP)
    node.set_link("tavro3", "up")
    mark(node)
    node.configure(**A_POP)
    node.ip("link", "set", "tavro4", "up")
    node.wait_line(link_acted_on("tavro4"))
    assert link_acted_on("tavro3") not in node.lines()
    node.wait_port(b"tavro4\n")


def test_an_unparsable_configuration_is_asked_about_at_every_decision(node):
    node.veth("up0")
    node.veth("up1")
    node.configure(raw='{"popParams": ')
    node.count_jq_runs()
    node.start()
    node.wait_line("Default gateway not set")
    runs = node.jq_runs()
    complaints = sum("parse error" in line for line in node.errors())
    assert (runs, complaints) == (3, 3), "no key gives a line, so each is asked"

    # Two decisions, each after a read of the configuration.
    mark(node)
    mark(node)
    assert node.jq_runs() == runs + 6
    wait_until(lambda: sum("parse error" in line for line in node.errors()) == complaints + 6,
               what="jq's complaint at each decision")


def test_jq_gone_from_the_path_keeps_the_role_until_it_is_back(node):
    uplinks_then_quiet_links(node)
    node.veth("tavro1", up=False)
    node.veth("tavro2", up=False)
    node.veth("tavro3", up=False)
    node.configure(**A_POP)
    node.count_jq_runs()  # the only jq on the daemon's PATH
    node.start(path="/usr/local/bin")
    wrapper = os.path.join(node.tools, "jq")
    os.rename(wrapper, wrapper + ".away")
    node.configure(**NOT_A_POP)
    node.ip("link", "set", "tavro1", "up")
    node.wait_error("jq: not found")
    node.wait_line(link_acted_on("tavro1"))

    os.rename(wrapper + ".away", wrapper)
    node.set_link("tavro2", "up")
    mark(node)
    node.configure(**A_POP)
    node.ip("link", "set", "tavro3", "up")
    node.wait_line(link_acted_on("tavro3"))
    assert link_acted_on("tavro2") not in node.lines(), "jq is back: the file says plain node"


def test_a_small_descriptor_table_costs_the_configuration_not_the_routes(node):
    node.veth("up0")
    node.veth("up1")
    node.veth("tavro0")
    node.default_route("up0")
    node.configure(**NOT_A_POP)
    node.start()
    node.wait_port(b"up0\n")
    # Room for one more descriptor: a fastpath file, but no pipe for jq. The node
    # keeps its role, and its routes are still followed: the kernel is asked on the
    # socket the daemon keeps, and interfaces are named over one it holds.
    held = len(os.listdir(f"/proc/{node.pid}/fd"))
    subprocess.run(["prlimit", "--pid", str(node.pid), f"--nofile={held + 1}:"], check=True)
    node.configure(**A_POP)
    node.ip("-6", "route", "add", "default", "via", "fe80::2", "dev", "up1", "metric", "10")
    node.wait_error("Failed to run command")
    node.wait_port(b"up1\n")
    assert node.errors() == ["Failed to run command"]

    subprocess.run(["prlimit", "--pid", str(node.pid), "--nofile=1024:"], check=True)
    node.signal()
    node.wait_line(REFRESH_LINE)
    node.wait_line("Updating the upstream port as tavro0")
    node.wait_port(b"tavro0\n")


def test_without_descriptors_for_its_monitor_the_daemon_fails_for_its_supervisor(node):
    node.configure(**NOT_A_POP)
    # Room for the notices to the service manager and the SIGUSR1 pipe only.
    node.start(open_files=6, listening=False)
    assert node.process.wait(timeout=30) == 1
    assert node.errors() == ["Netlink socket creation failed."]
    assert node.lines() == ["NetLink Thread started.."], "no refresh before the daemon listens"


def test_a_flood_of_sigusr1_ends_in_a_refresh_after_the_last(node):
    node.veth("up0")
    node.veth("tavro0")
    node.default_route("up0")
    node.configure(**NOT_A_POP)
    node.start()
    node.wait_line("Updating the upstream port as up0")
    for _ in range(9999):
        node.signal()
    # Only a refresh that starts after this change can choose a POP uplink.
    node.configure(**A_POP)
    node.signal()
    node.wait_line("Updating the upstream port as tavro0", timeout=120)
    assert node.alive()
    refreshes = node.lines().count(REFRESH_LINE)
    assert 1 <= refreshes <= 10000
    node.wait_port(b"tavro0\n")
