#include "daemon/notifications.h"

#include <net/if.h>

#include <cstdio>

#include "config/node_config.h"
#include "daemon/fastpath.h"
#include "daemon/uplink_rules.h"
#include "netlink/default_route.h"
#include "netlink/interface_name.h"
#include "netlink/link_message.h"
#include "netlink/notification_walk.h"

namespace {

void handle_route_message(UplinkState& state, uint16_t type, Bytes message) {
    const int ifindex = parse_default_route(message);
    // Most route traffic is not about the default route: it costs no configuration read.
    if (ifindex == -1) return;
    load_node_config(state.config, state.config_memory, node_config_path);
    const RouteEvent event = route_event(type, ifindex, state.gateway_ifindex);
    if (event == RouteEvent::ignored) return;
    InterfaceName name;
    interface_name(ifindex, name);
    if (event == RouteEvent::gateway_deleted) {
        state.gateway_ifindex = -1;
        std::printf("Default gateway deleted on %s\n", name);
        return;
    }
    // The interface went between the message and now: nothing to point the port at.
    if (name[0] == '\0') return;
    std::printf("Default gateway dev is %s\n", name);
    if (!state.config.is_pop) {
        std::fputs("Detected gateway change, flushing the fastpath entry\n", stdout);
        flush_fastpath();
        std::fputs("Updating the upstream port with default gateway as the device is not a pop\n", stdout);
        record_upstream_port(state, name, set_upstream_port(name));
    }
    state.gateway_ifindex = ifindex;
}

void handle_link_message(UplinkState& state, Bytes message) {
    int ifindex = 0;
    uint32_t flags = 0;
    // Only a link that is running can become the uplink: the others cost no
    // configuration read.
    if (!read_link_header(message, ifindex, flags) || (flags & IFF_RUNNING) == 0) return;
    InterfaceName name;
    interface_name(ifindex, name);
    load_node_config(state.config, state.config_memory, node_config_path);
    if (!link_takes_uplink(name, flags, state.config)) return;
    std::printf("Interface %s Link: %d\n", name, 1);
    std::fputs("Detected link state change, flushing the fastpath entry\n", stdout);
    flush_fastpath();
    std::printf("Updating the upstream port as %s as the device is a pop\n", name);
    record_upstream_port(state, name, set_upstream_port(name));
}

}  // namespace

void handle_notifications(UplinkState& state, Bytes datagram) {
    Notification found[max_notifications];
    const size_t count = notifications_in(datagram, found);
    for (size_t i = 0; i < count; ++i) {
        if (found[i].kind == NotificationKind::route) {
            handle_route_message(state, found[i].type, found[i].message);
        } else {
            handle_link_message(state, found[i].message);
        }
        std::fflush(stdout);
    }
}
