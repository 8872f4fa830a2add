#include "netlink/default_route.h"

#include "netlink/interface_name.h"
#include "netlink/route_message.h"

int parse_default_route(Bytes message) {
    RouteMessage route;
    if (!read_route_message(message, route) || route.dst_len != 0) return -1;
    if (!route.has_gateway || route.output_index <= 0) return -1;
    InterfaceName name;
    return interface_name(route.output_index, name) ? route.output_index : -1;
}
