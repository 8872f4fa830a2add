#include "fuzz/doubles.h"

#include <linux/nexthop.h>
#include <linux/rtnetlink.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "config/config_reader.h"
#include "daemon/fastpath.h"
#include "netlink/interface_name.h"
#include "netlink/link_query.h"
#include "netlink/route_lookup.h"
#include "netlink/routes_through.h"

namespace {

// Index 1 is lo, as on every node; 2 to 17 are the tavro links; then a POP's own
// links and two uplinks. Every other index has no interface.
constexpr const char* names[] = {
    "lo",      "tavro0",  "tavro1",  "tavro2",  "tavro3", "tavro4", "tavro5", "tavro6",
    "tavro7",  "tavro8",  "tavro9",  "tavro10", "tavro11", "tavro12", "tavro13", "tavro14",
    "tavro15", "nic0",    "nic1",    "up0",     "up1",
};
constexpr int name_count = sizeof names / sizeof names[0];

uint8_t role = 0;
int writes = 0;

void check_name(const char* name) {
    // A port name is never empty and always fits an interface name.
    const size_t length = strnlen(name, IF_NAMESIZE);
    if (length == 0 || length >= IF_NAMESIZE) std::abort();
}

}  // namespace

void set_fuzzed_role(uint8_t chosen) { role = chosen; }
int fuzzed_writes() { return writes; }
void reset_fuzzed_writes() { writes = 0; }

bool interface_name(int /*socket_fd*/, int index, InterfaceName& name) {
    std::memset(name, 0, sizeof name);
    if (index < 1 || index > name_count) return false;
    std::snprintf(name, sizeof name, "%s", names[index - 1]);
    return true;
}

unsigned interface_index(int /*socket_fd*/, const char* name) {
    for (int i = 0; i < name_count; ++i) {
        if (std::strcmp(name, names[i]) == 0) return static_cast<unsigned>(i + 1);
    }
    return 0;
}

int load_node_config(NodeConfig& config, ConfigMemory& /*memory*/, const char* /*path*/) {
    // Bits of the role: is a POP, POP interface nic0 or none, routed nic nic1 or nic0.
    config.is_pop = (role & 1) != 0;
    std::snprintf(config.pop_iface, sizeof config.pop_iface, "%s", (role & 2) ? "nic0" : "");
    std::snprintf(config.routed_nic, sizeof config.routed_nic, "%s", (role & 4) ? "nic1" : "nic0");
    return config.is_pop ? 1 : 0;
}

// The role comes from the input, never from a read that failed.
bool config_still_unclean(ConfigMemory& /*memory*/, const char* /*path*/) { return false; }

bool set_upstream_port(const char* name) {
    check_name(name);
    ++writes;
    return true;
}

void flush_fastpath() { ++writes; }

// The kernel's answers: bit 4 of the role makes every lookup fail (decisions keep
// to the message at hand), bit 5 says there is no default route, bit 7 covers the
// first probe with a route that is not a default one; otherwise the route in use
// is a multipath route over up0 (without carrier) and up1, with a lifetime, and
// every nexthop object is a group of objects 1 and 2, whose nexthops are up1 and
// tavro3.
namespace {

constexpr int fake_socket = 1000;
constexpr int up0 = 20;
constexpr int up1 = 21;
constexpr int tavro3 = 5;
HeapBuffer made;

template <class T>
void put(HeapBuffer& into, const T& value) {
    if (!into.append(&value, sizeof value)) std::abort();
}

void put_attribute(HeapBuffer& into, uint16_t type, const void* payload, uint16_t length) {
    const rtattr header{static_cast<unsigned short>(sizeof(rtattr) + length), type};
    put(into, header);
    if (!into.append(payload, length)) std::abort();
    const size_t padding = align4(length) - length;
    const uint32_t zero = 0;
    if (!into.append(&zero, padding)) std::abort();
}

void finish(HeapBuffer& into, uint16_t type, Bytes& answer) {
    nlmsghdr header{};
    header.nlmsg_len = static_cast<uint32_t>(into.used);
    header.nlmsg_type = type;
    std::memcpy(into.data, &header, sizeof header);
    answer = into.view();
}

}  // namespace

int lookup_socket(RouteLookup& /*lookup*/) { return fake_socket; }

KernelAnswer lookup_route_to(RouteLookup& /*lookup*/, int /*socket_fd*/, const unsigned char (&destination)[16],
                             Bytes& route) {
    if (role & 16) return KernelAnswer::failed;
    if (role & 32) return KernelAnswer::refused;
    made.used = 0;
    put(made, nlmsghdr{});
    rtmsg matched{};
    matched.rtm_dst_len = (role & 128) != 0 && destination[0] == internet_probe_addresses[0][0] ? 3 : 0;
    put(made, matched);
    const unsigned char gateway[16] = {0xfe, 0x80};
    HeapBuffer nexthops;
    for (const int index : {up0, up1}) {
        const unsigned char flags = index == up0 ? RTNH_F_LINKDOWN : 0;
        const rtnexthop nexthop{static_cast<unsigned short>(sizeof(rtnexthop) + 20), flags, 0, index};
        put(nexthops, nexthop);
        put_attribute(nexthops, RTA_GATEWAY, gateway, sizeof gateway);
    }
    put_attribute(made, RTA_MULTIPATH, nexthops.data, static_cast<uint16_t>(nexthops.used));
    rta_cacheinfo lifetime{};
    lifetime.rta_expires = role;
    put_attribute(made, RTA_CACHEINFO, &lifetime, sizeof lifetime);
    finish(made, RTM_NEWROUTE, route);
    return KernelAnswer::found;
}

KernelAnswer lookup_nexthop(RouteLookup& /*lookup*/, int /*socket_fd*/, uint32_t id, HeapBuffer& into, Bytes& object) {
    if (role & 16) return KernelAnswer::failed;
    into.used = 0;
    put(into, nlmsghdr{});
    put(into, nhmsg{});
    put_attribute(into, NHA_ID, &id, sizeof id);
    if (id == 1 || id == 2) {
        const uint32_t index = id == 1 ? up1 : tavro3;
        const unsigned char gateway[16] = {0xfe, 0x80};
        put_attribute(into, NHA_OIF, &index, sizeof index);
        put_attribute(into, NHA_GATEWAY, gateway, sizeof gateway);
    } else {
        const nexthop_grp members[2] = {{1, 0, 0, 0}, {2, 0, 0, 0}};
        put_attribute(into, NHA_GROUP, members, sizeof members);
    }
    finish(into, RTM_NEWNEXTHOP, object);
    return KernelAnswer::found;
}

// The node forwards when the gateway is recorded (bit 3 of the role).
KernelAnswer lookup_forwarding(RouteLookup& /*lookup*/, int /*socket_fd*/, bool& forwards) {
    forwards = (role & 8) != 0;
    return (role & 16) ? KernelAnswer::failed : KernelAnswer::found;
}

// No default route is left through any link, once it has gone (bit 5 of the role)
// or not.
KernelAnswer dump_default_routes_through(RouteLookup& /*lookup*/, int /*socket_fd*/, int /*ifindex*/,
                                         HeapBuffer& routes) {
    routes.used = 0;
    if (role & 16) return KernelAnswer::failed;
    return (role & 32) ? KernelAnswer::refused : KernelAnswer::found;
}

int query_link_running(const char* name) {
    // tavro2 runs on a node whose role has bit 6.
    return (role & 64) != 0 && std::strcmp(name, "tavro2") == 0 ? 1 : 0;
}
