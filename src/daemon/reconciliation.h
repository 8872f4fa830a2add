#pragma once

#include "daemon/gateway_gone.h"
#include "daemon/link_news.h"
#include "daemon/uplink_state.h"
#include "netlink/message_walk.h"

// The one place that decides. Every trigger (a notification of any kind, the end
// of a route's lifetime, a router advertisement, a refresh) says only whether to
// decide, and what it already knows. The reconciliation asks the kernel which
// default route it uses, compares the answer with the gateway followed, forgets a
// gateway nothing carries any more, takes a new one, and moves the port.

// What a trigger knows. An empty Cue says: the kernel may have changed its choice
// without saying how.
struct Cue {
    bool read_config = false;  // the configuration counts from the start: read it first
    bool ask_kernel = true;    // the kernel's choice may have moved (not after a rename alone)
    Bytes announced;           // a default route just announced: the gateway when the kernel cannot tell
    WhatWent went;             // what went, and may have taken the gateway with it
    LinkNews link;             // a link's news, which may move the port itself
    // A refresh (at startup, on request, after lost notifications): the links that
    // run and the failed neighbours are learnt anew, the gateway is reported and,
    // on a node that is not a POP, written whatever it is (from a table dump when
    // the kernel cannot tell), and a POP chooses its port anew.
    bool refresh = false;
    bool flush_moves = false;  // and a port that moves is flushed first: lost notifications would have
};

// The cue of a router advertisement, and of the second look after it: the
// kernel may have withdrawn a route it has not announced yet.
inline Cue advert_cue() {
    Cue cue;
    cue.went.untold = true;
    return cue;
}

// Decides after a trigger, with its lines, its fastpath writes and the state kept.
void reconcile(UplinkState& state, const Cue& cue);
