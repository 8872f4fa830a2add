#!/usr/bin/python3
"""Plays uplinkwatch's main job in a throwaway node and prints a timeline: each
step, the daemon's own lines, and each write to the stand-in fastpath files.

    demo/demo.py PATH-TO-UPLINKWATCH

The node is a private network namespace with two veth uplinks, and a private
mount namespace where /proc/net/gre6_fastpath and /data/cfg are stand-ins.
Exits non-zero when an expected write did not happen."""

import os
import shutil
import signal
import sys
import tempfile
import time

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(TOP, "tests", "system"))

import node as node_module  # noqa: E402
from node import Node, REFRESH_LINE  # noqa: E402

WAIT = 15.0  # seconds an expected write may take at most

# What each step must write, in order: (file, content).
STEPS = [
    ("start uplinkwatch on a plain node whose default route goes through up0",
     [("upstream_port", b"up0\n")]),
    ("move the default gateway to up1",
     [("fpe", b"flush\n"), ("upstream_port", b"up1\n")]),
    ("delete the default route through up1", []),
    ("make the node a POP in /data/cfg/node_config.json", []),
    ("bring tavro1 up and running", [("fpe", b"flush\n"), ("upstream_port", b"tavro1\n")]),
    ("send SIGUSR1, as meshwarden does", [("upstream_port", b"tavro1\n")]),
]

# A line each step must also show before it counts as done.
STEP_LINES = [
    "Updating the upstream port as up0",
    "Updating the upstream port with default gateway as the device is not a pop",
    "Default gateway deleted on up1",
    None,
    "Updating the upstream port as tavro1 as the device is a pop",
    "Updating the upstream port as tavro1",
]


class Timeline:
    def __init__(self, made):
        self.made = made
        self.start = time.monotonic()
        self.lines_shown = self.errors_shown = self.writes_shown = 0

    def stamp(self, at):
        return f"{at - self.start:7.3f}s"

    def step(self, number, text):
        print(f"{self.stamp(time.monotonic())}  step {number}: {text}", flush=True)

    def show_new(self):
        events = []
        lines, errors, writes = self.made.timed_lines(), self.made.timed_errors(), self.made.watch.timed()
        events += [(at, f"  daemon   | {line}") for at, line in lines[self.lines_shown:]]
        events += [(at, f"  daemon ! | {line}") for at, line in errors[self.errors_shown:]]
        events += [(at, f"  fastpath | {name} <- {content!r}") for at, (name, content) in writes[self.writes_shown:]]
        self.lines_shown, self.errors_shown, self.writes_shown = len(lines), len(errors), len(writes)
        for at, text in sorted(events, key=lambda event: event[0]):
            print(f"{self.stamp(at)}  {text}", flush=True)


def wait_for(made, writes_before, expected, line, lines_before):
    deadline = time.monotonic() + WAIT
    while time.monotonic() < deadline:
        writes = made.writes()[writes_before:]
        line_seen = line is None or line in made.lines()[lines_before:]
        if line_seen and len(writes) >= len(expected):
            return writes[:len(expected)] == expected
        time.sleep(0.02)
    return False


def act(made, number):
    if number == 0:
        made.start()
    elif number == 1:
        made.ip("-6", "route", "add", "default", "via", "fe80::2", "dev", "up1", "metric", "50")
        made.ip("-6", "route", "del", "default", "via", "fe80::1", "dev", "up0")
    elif number == 2:
        made.ip("-6", "route", "del", "default", "via", "fe80::2", "dev", "up1")
    elif number == 3:
        made.configure(pop_addr="2001:db8::1", pop_iface="nic0", prefixes="tavro")
    elif number == 4:
        made.veth("tavro1")
    elif number == 5:
        made.signal()


def play(made):
    made.veth("up0")
    made.veth("up1")
    made.ip("-6", "route", "add", "default", "via", "fe80::1", "dev", "up0")
    made.configure(pop_addr=None, pop_iface=None, prefixes=None)
    # tavro1 will carry no IPv6, so the kernel sends no late notifications about it.
    made.quiet_links()
    timeline = Timeline(made)
    failures = []
    for number, (text, expected) in enumerate(STEPS):
        timeline.step(number + 1, text)
        writes_before, lines_before = len(made.writes()), len(made.lines())
        act(made, number)
        if not wait_for(made, writes_before, expected, STEP_LINES[number], lines_before):
            failures.append(f"step {number + 1}: expected {expected}, got {made.writes()[writes_before:]}")
        timeline.show_new()
    time.sleep(0.2)
    timeline.show_new()
    return failures


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    node_module.BINARY = os.path.abspath(sys.argv[1])
    # Ctrl-C and a polite kill both end in the clean-up below.
    signal.signal(signal.SIGTERM, signal.default_int_handler)
    workdir = tempfile.mkdtemp(prefix="uplinkwatch-demo-")
    made = None
    try:
        made = Node(workdir)
        failures = play(made)
    except KeyboardInterrupt:
        print("interrupted", file=sys.stderr)
        failures = ["interrupted"]
    finally:
        if made is not None:
            made.stop()
        shutil.rmtree(workdir)
    if failures:
        print("\n".join(["demo FAILED:"] + failures), file=sys.stderr)
        return 1
    print("demo passed: every expected fastpath write happened; the node is gone")
    return 0


if __name__ == "__main__":
    sys.exit(main())
