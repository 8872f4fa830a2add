#!/usr/bin/python3
"""Captures real routing-netlink messages from a throwaway network namespace as
seed corpora for the fuzz targets. Run once as root; the files are kept in
fuzz/corpus/.

    fuzz/capture_corpus.py
"""

import os
import socket
import struct
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")
NLM_F_REQUEST, NLM_F_DUMP, NLM_F_DUMP_FILTERED = 0x1, 0x300, 0x20
RTM_GETLINK, RTM_GETROUTE, RTM_GETNEXTHOP, NLMSG_DONE = 18, 26, 106, 3
RTM_F_FIB_MATCH, RTA_DST, NHA_ID = 0x2000, 1, 1
IFLA_EXT_MASK, RTEXT_FILTER_SKIP_STATS = 29, 8
AF_INET6 = 10
MONITOR_GROUPS = 0x81040505  # links, neighbours, IPv6 addresses, routes, rules and netconf, nexthop objects


def save(target, name, data):
    os.makedirs(os.path.join(CORPUS, target), exist_ok=True)
    with open(os.path.join(CORPUS, target, name), "wb") as file:
        file.write(data)


def ip(*args):
    subprocess.run(["ip", *args], check=True, capture_output=True)


def netlink(groups=0):
    sock = socket.socket(socket.AF_NETLINK, socket.SOCK_RAW, 0)
    sock.bind((0, groups))
    return sock


def capture_dump():
    sock = netlink()
    sock.send(struct.pack("=IHHII", 28, RTM_GETROUTE, NLM_F_REQUEST | NLM_F_DUMP, 0, 0)
              + struct.pack("=BBBBBBBBI", AF_INET6, 0, 0, 0, 0, 0, 0, 0, 0))
    for number in range(64):
        datagram = sock.recv(65536)
        save("route_dump", f"dump-{number}", datagram)
        if struct.unpack_from("=IH", datagram)[1] == NLMSG_DONE or b"" == datagram:
            break
        if any(struct.unpack_from("=IH", datagram, offset)[1] == NLMSG_DONE
               for offset in message_offsets(datagram)):
            break


def message_offsets(datagram):
    offset = 0
    while offset + 16 <= len(datagram):
        length = struct.unpack_from("=I", datagram, offset)[0]
        if length < 16:
            return
        yield offset
        offset += (length + 3) & ~3


def capture_link_replies():
    for name in ("up0", "quiet0", "missing0"):
        sock = netlink()
        index = socket.if_nametoindex(name) if name != "missing0" else 0
        sock.send(struct.pack("=IHHII", 32, RTM_GETLINK, NLM_F_REQUEST | NLM_F_DUMP_FILTERED, 0, 0)
                  + struct.pack("=BBHiII", socket.AF_NETLINK, 0, 0, index, 0, 0))
        reply = sock.recv(65536)
        save("link_reply", f"reply-{name}", reply)
        save("link_reply", f"reply-{name}-cut", reply[:100])
        sock.close()


def capture_notifications():
    sock = netlink(MONITOR_GROUPS)
    sock.settimeout(0.5)
    ip("-6", "route", "add", "default", "via", "fe80::2", "dev", "up1", "metric", "50")
    ip("-6", "route", "del", "default", "via", "fe80::2", "dev", "up1", "metric", "50")
    ip("-6", "route", "add", "2001:db9::/64", "via", "fe80::1", "dev", "up0")
    ip("link", "set", "tavro1", "up")
    ip("link", "set", "ptavro1", "down")
    ip("-6", "neigh", "replace", "fe80::1", "lladdr", "02:00:00:00:00:01", "dev", "up0", "router", "nud", "failed")
    ip("-6", "neigh", "del", "fe80::1", "dev", "up0")
    ip("neigh", "replace", "192.0.2.1", "lladdr", "02:00:00:00:00:02", "dev", "up0", "nud", "reachable")
    ip("-6", "rule", "add", "pref", "100", "lookup", "100")
    ip("-6", "route", "add", "default", "via", "fe80::3", "dev", "up1", "metric", "60", "expires", "30")
    number = 0
    while True:
        try:
            datagram = sock.recv(65536)
        except socket.timeout:
            break
        # The first byte is the fuzz target's role byte: a plain node, then a POP.
        for role in (0x00, 0x0f):
            save("notifications", f"notification-{number}-role{role:02x}", bytes([role]) + datagram)
        number += 1


def capture_kernel_replies():
    """The answers to a route lookup and to nexthop requests, in every form."""
    def lookup(name, first=0x30):
        sock = netlink()
        sock.send(struct.pack("=IHHII", 48, RTM_GETROUTE, NLM_F_REQUEST, 1, 0)
                  + struct.pack("=BBBBBBBBI", AF_INET6, 128, 0, 0, 0, 0, 0, 0, RTM_F_FIB_MATCH)
                  + struct.pack("=HH", 20, RTA_DST) + bytes([first]) + bytes(15))
        save("kernel_reply", f"route-{name}", sock.recv(65536))

    def nexthop(number):
        sock = netlink()
        sock.send(struct.pack("=IHHII", 32, RTM_GETNEXTHOP, NLM_F_REQUEST, 1, 0)
                  + struct.pack("=BBBBI", 0, 0, 0, 0, 0) + struct.pack("=HHI", 8, NHA_ID, number))
        save("kernel_reply", f"nexthop-{number}", sock.recv(65536))

    lookup("plain")
    ip("-6", "route", "add", "default", "via", "fe80::4", "dev", "up1", "metric", "10", "expires", "60")
    lookup("lifetime")
    ip("-6", "route", "del", "default", "via", "fe80::4", "dev", "up1", "metric", "10")
    ip("-6", "route", "add", "2000::/3", "via", "fe80::5", "dev", "up1")
    lookup("covered")
    lookup("beside", 0x40)
    ip("-6", "route", "del", "2000::/3")
    sock = netlink()
    sock.send(struct.pack("=IHHII", 40, RTM_GETLINK, NLM_F_REQUEST | NLM_F_DUMP, 1, 0)
              + struct.pack("=BBHiII", 0, 0, 0, 0, 0, 0) + struct.pack("=HHI", 8, IFLA_EXT_MASK, RTEXT_FILTER_SKIP_STATS))
    for number in range(4):
        datagram = sock.recv(65536)
        save("kernel_reply", f"link-dump-{number}", datagram)
        if any(struct.unpack_from("=IH", datagram, offset)[1] == NLMSG_DONE for offset in message_offsets(datagram)):
            break
    ip("-6", "route", "replace", "default", "nexthop", "via", "fe80::1", "dev", "up0",
       "nexthop", "via", "fe80::2", "dev", "up1")
    lookup("multipath")
    subprocess.run(["sysctl", "-qw", "net.ipv4.nexthop_compat_mode=0"], check=True)
    ip("nexthop", "add", "id", "1", "via", "fe80::1", "dev", "up0")
    ip("nexthop", "add", "id", "2", "via", "fe80::2", "dev", "up1")
    ip("nexthop", "add", "id", "3", "group", "1/2")
    ip("-6", "route", "replace", "default", "nhid", "3")
    lookup("object")
    for number in (1, 3, 9):
        nexthop(number)
    ip("-6", "route", "del", "default")
    lookup("none")


def inside():
    ip("link", "set", "lo", "up")
    for name in ("up0", "up1", "quiet0"):
        ip("link", "add", "name", name, "type", "veth", "peer", "name", f"p{name}")
        ip("link", "set", name, "up")
        if name != "quiet0":
            ip("link", "set", f"p{name}", "up")
    ip("link", "add", "name", "tavro1", "type", "veth", "peer", "name", "ptavro1")
    ip("link", "set", "ptavro1", "up")
    ip("-6", "route", "add", "default", "via", "fe80::1", "dev", "up0")
    for i in range(40):
        ip("-6", "route", "add", f"2001:db8:{i:x}::/64", "via", "fe80::1", "dev", "up0")
    time.sleep(0.5)
    capture_dump()
    capture_link_replies()
    capture_notifications()
    capture_kernel_replies()


def main():
    if sys.argv[1:] == ["--inside"]:
        inside()
        return
    name = f"uwcapture{os.getpid()}"
    subprocess.run(["ip", "netns", "add", name], check=True)
    try:
        subprocess.run(["ip", "netns", "exec", name, sys.executable, os.path.abspath(__file__), "--inside"],
                       check=True)
    finally:
        subprocess.run(["ip", "netns", "del", name])


if __name__ == "__main__":
    main()
