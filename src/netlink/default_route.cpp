#include "netlink/default_route.h"

#include "netlink/interface_name.h"
#include "netlink/route_message.h"

int parse_default_route(Bytes message, int names_socket) {
    RouteMessage route;
    if (!read_route_message(message, route) || route.dst_len != 0) return -1;
    const int index = route.nexthop.ifindex;
    if (!route.nexthop.has_gateway() || index <= 0) return -1;
    InterfaceName name;
    return interface_name(names_socket, index, name) ? index : -1;
}
