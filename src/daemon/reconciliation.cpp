#include "daemon/reconciliation.h"

#include <cstdio>
#include <cstring>

#include "daemon/fastpath.h"
#include "daemon/kernel_gateway.h"
#include "daemon/links_and_neighbours.h"
#include "daemon/pop_uplink.h"
#include "daemon/upstream_port.h"
#include "netlink/default_route.h"
#include "netlink/interface_name.h"
#include "netlink/route_dump.h"

namespace {

// The gateway a decision goes by.
struct Choice {
    int ifindex = -1;  // -1: none
    GatewayAddress via;
};

// The kernel's answer; when it cannot tell, the default route just announced, or
// in a refresh the table's usable default route with the lowest metric. While
// the kernel probes a failed router, the gateway followed stands.
Choice choice_of(const UplinkState& state, const KernelGateway& kernel, const Cue& cue) {
    if (kernel.probe) return {state.gateway_ifindex, state.gateway_address};
    if (kernel.answer != GatewayAnswer::unknown) return {kernel.ifindex, kernel.gateway};
    if (cue.refresh) {
        DumpedDefault best;
        return {dump_default_routes(best) == 0 ? best.ifindex : -1, {}};
    }
    return {cue.announced.empty() ? -1 : parse_default_route(cue.announced, state.names_socket), {}};
}

// The chosen interface carries the default route from now on: it becomes the
// recorded gateway and, on a node that is not a POP, the port. A refresh reports
// it in its own words, and flushes only when asked to and the port moves.
void take_gateway(UplinkState& state, const Choice& choice, const Cue& cue) {
    InterfaceName name;
    // The interface went since the kernel named it: nothing to point the port at.
    if (!interface_name(state.names_socket, choice.ifindex, name)) return;
    if (cue.refresh) {
        std::printf("Gateway dev is %s\n", name);
    } else {
        std::printf("Default gateway dev is %s\n", name);
    }
    if (!state.config.is_pop) {
        const bool port_moves = state.upstream_port[0] != '\0' && std::strcmp(name, state.upstream_port) != 0;
        if (!cue.refresh || (cue.flush_moves && port_moves)) {
            std::fputs("Detected gateway change, flushing the fastpath entry\n", stdout);
            flush_fastpath();
        }
        if (cue.refresh) {
            std::printf("Updating the upstream port as %s\n", name);
        } else {
            std::fputs("Updating the upstream port with default gateway as the device is not a pop\n", stdout);
        }
        write_upstream_port(state, name, PortFor::gateway, choice.ifindex);
    }
    record_gateway(state, choice.ifindex, name, choice.via);
}

// Whether a gateway just deleted (through `deleted_ifindex`) leaves its traffic
// to a successor on the port's own link, on a node that is not a POP: then the
// port stays, as for a change of router on that link.
bool successor_on_port_link(const UplinkState& state, const Choice& choice, int deleted_ifindex) {
    return deleted_ifindex > 0 && choice.ifindex == deleted_ifindex && state.port_follows_gateway &&
           choice.ifindex == state.port_ifindex && !state.config.is_pop;
}

// After a change: the port moves when the gateway's interface does, and on a
// node that has just stopped being a POP, whose port still is a POP's. Another
// router on the same link moves no port, but is the one followed now, whether
// the one before was deleted or not. The configuration is read only when the
// port may move, unless it has been already.
void follow_choice(UplinkState& state, const Choice& choice, const Cue& cue, bool config_read, int deleted_ifindex) {
    if (choice.ifindex <= 0) return;
    if (choice.ifindex == state.gateway_ifindex) {
        if (choice.via.known()) state.gateway_address = choice.via;
        if (state.port_follows_gateway || state.config.is_pop) return;
        if (!config_read) read_node_config(state);
        if (state.config.is_pop) return;
    } else if (!config_read) {
        // A POP's gateway moves no port while the role stays.
        read_node_config_for(state, !state.config.is_pop);
    }
    if (successor_on_port_link(state, choice, deleted_ifindex)) {
        InterfaceName name;
        if (interface_name(state.names_socket, choice.ifindex, name)) {
            record_gateway(state, choice.ifindex, name, choice.via);
        }
        return;
    }
    take_gateway(state, choice, cue);
}

void decide(UplinkState& state, const Cue& cue) {
    // Read before the decision, as if it could not move the port: one that may is
    // read for again if the read was put off.
    const bool read_first = cue.read_config && read_node_config_for(state, false);
    const bool config_read = follow_link_news(state, cue.link) || read_first;
    if (!cue.ask_kernel) return;
    const int socket_fd = lookup_socket(state.route_lookup);
    // Which links run and which neighbours failed, before the kernel is asked: a
    // change after the dumps is told by its own notification, queued behind the
    // refresh.
    if (cue.refresh) learn_links_and_neighbours(state, socket_fd);
    const KernelGateway kernel = kernel_gateway(state, socket_fd);
    int deleted_ifindex = -1;
    if (gateway_gone(state, cue.went, kernel)) {
        // Named as it was recorded: its link may be gone.
        std::printf("Default gateway deleted on %s\n", state.gateway_name);
        deleted_ifindex = state.gateway_ifindex;
        forget_gateway(state);
    }
    const Choice choice = choice_of(state, kernel, cue);
    if (!cue.refresh) {
        follow_choice(state, choice, cue, config_read, deleted_ifindex);
        return;
    }
    if (choice.ifindex > 0) take_gateway(state, choice, cue);
    // Whether or not the gateway was found.
    if (state.config.is_pop) select_pop_uplink(state, cue.flush_moves);
}

}  // namespace

void reconcile(UplinkState& state, const Cue& cue) {
    decide(state, cue);
    std::fflush(stdout);
}
