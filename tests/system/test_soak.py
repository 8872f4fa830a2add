"""A bounded soak: route churn, link flaps and SIGUSR1 in a seeded random
interleaving, on a plain node and on a POP. The daemon must come out alive, with
as many descriptors and about as much memory as it went in with, no jq left
running, and the right upstream port."""

import os
import random
import time

from node import REFRESH_LINE, wait_until

SEED = 20261207
ROUTE_NOTIFICATIONS = 200_000
CHUNK = 1000  # route notifications per ip -batch run: 500 added, the 500 before deleted
FLAPS = 300
SIGNALS = 300
MOVES = 20  # default-route moves on the plain node
RSS_SLACK_KIB = 512
FIGURES = os.environ.get("SOAK_FIGURES")  # a file to append the figures to


def descriptors(pid):
    return len(os.listdir(f"/proc/{pid}/fd"))


def rss_kib(pid):
    for line in open(f"/proc/{pid}/status"):
        if line.startswith("VmRSS"):
            return int(line.split()[1])
    raise AssertionError("no VmRSS")


def children(pid):
    found = []
    for task in os.listdir(f"/proc/{pid}/task"):
        found += open(f"/proc/{pid}/task/{task}/children").read().split()
    return found


def cpu_seconds(pid):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return sum(int(value) for value in fields[11:13]) / os.sysconf("SC_CLK_TCK")


def wait_idle(node):
    """Until the daemon has used no CPU for a while and runs no jq: it has worked
    through everything sent so far."""
    def idle():
        before = cpu_seconds(node.pid)
        time.sleep(0.5)
        return cpu_seconds(node.pid) == before and not children(node.pid)
    wait_until(idle, timeout=240, what="the daemon to catch up")


def final_refresh(node):
    wait_idle(node)
    count = node.lines().count(REFRESH_LINE)
    node.signal()
    node.wait_line(REFRESH_LINE, count + 1)
    wait_idle(node)


def schedule(rng, extra):
    # The first chunk only adds, so one more chunk makes the count.
    actions = ["routes"] * (ROUTE_NOTIFICATIONS // CHUNK + 1) + ["flap"] * FLAPS + ["signal"] * SIGNALS + extra
    rng.shuffle(actions)
    return actions


def soak(node, flap_links, extra, on_move=None):
    rng = random.Random(SEED)
    node.start()
    wait_idle(node)
    fds, rss = descriptors(node.pid), rss_kib(node.pid)
    started = time.monotonic()
    chunk = 0
    counts = {"route notifications": 0, "flaps": 0, "signals": 0}
    for action in schedule(rng, extra):
        if action == "routes":
            add = [f"route add 2001:db8:{chunk:x}:{i:x}::/64 via fe80::1 dev up0" for i in range(CHUNK // 2)]
            delete = [f"route del 2001:db8:{chunk - 1:x}:{i:x}::/64 via fe80::1 dev up0"
                      for i in range(CHUNK // 2)] if chunk else []
            node.batch(add + delete)
            counts["route notifications"] += len(add) + len(delete)
            chunk += 1
        elif action == "flap":
            link = rng.choice(flap_links)
            node.ip("link", "set", link, "down")
            node.ip("link", "set", link, "up")
            counts["flaps"] += 1
        elif action == "signal":
            node.signal()
            counts["signals"] += 1
        else:
            on_move(rng)
    final_refresh(node)
    figures = dict(counts, seconds=round(time.monotonic() - started, 1),
                   descriptors=(fds, descriptors(node.pid)), rss_kib=(rss, rss_kib(node.pid)),
                   refreshes=node.lines().count(REFRESH_LINE),
                   link_moves=sum(line.startswith("Interface ") for line in node.lines()),
                   gateway_moves=sum(line.startswith("Default gateway dev is ") for line in node.lines()))
    if FIGURES:
        with open(FIGURES, "a") as file:
            file.write(f"{figures}\n")
    assert node.alive()
    assert counts["route notifications"] >= ROUTE_NOTIFICATIONS
    assert figures["descriptors"][1] == fds, figures
    assert figures["rss_kib"][1] - rss <= RSS_SLACK_KIB, figures
    assert children(node.pid) == []
    return figures


def test_soak_on_a_plain_node(node):
    node.veth("up0")
    node.veth("up1")
    node.veth("up2")
    node.ip("-6", "route", "add", "default", "via", "fe80::1", "dev", "up0")
    node.configure(pop_addr=None, pop_iface=None, prefixes=None)
    current = {"dev": "up0"}

    def move(rng):
        target = "up1" if current["dev"] == "up0" else "up0"
        node.ip("-6", "route", "replace", "default", "via", "fe80::1", "dev", target)
        current["dev"] = target

    soak(node, ["up2"], ["move"] * MOVES, move)
    assert node.upstream_port() == f"{current['dev']}\n".encode()
    assert node.lines()[-2:] == [f"Gateway dev is {current['dev']}", f"Updating the upstream port as {current['dev']}"]


def test_soak_on_a_pop(node):
    node.veth("up0")
    node.quiet_links()
    for number in range(4):
        node.veth(f"tavro{number}")
    node.configure(pop_addr="2001:db8::1", pop_iface="nic0", prefixes="tavro")
    soak(node, [f"tavro{number}" for number in range(4)], [])
    # Every flap ends with the link up again: the refresh keeps to the first.
    assert node.upstream_port() == b"tavro0\n"
    assert node.lines()[-1] == "Updating the upstream port as tavro0"
