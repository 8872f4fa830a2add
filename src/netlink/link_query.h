#pragma once

#include "netlink/message_walk.h"

// Whether the kernel's reply to a link request says the link is running: 1 or 0,
// the last link message deciding. A reply with no link message (an error for an
// unknown name) or shorter than a header gives 0. A link message cut by the
// receive buffer still counts when its fixed header arrived.
int link_reply_running(Bytes reply);

// Asks the kernel whether interface `name` is up and running: 1 if so, 0 if not
// or if no interface has that name, -1 (after its stderr line) when a socket
// operation failed.
int query_link_running(const char* name);
