#pragma once

#include "netlink/heap_buffer.h"
#include "netlink/message_walk.h"

enum class DumpProgress { more, done, failed, out_of_memory };

// Walks one datagram of an IPv6 route dump. Each usable default route's output
// index is appended to `defaults` (as an int), in dump order. NLMSG_DONE ends the
// dump wherever it stands, NLMSG_ERROR or a datagram that does not begin with a
// whole message fails it, and a datagram whose first message lacks NLM_F_MULTI is
// the last one.
DumpProgress take_dump_datagram(Bytes datagram, HeapBuffer& defaults);

// Asks the kernel for its whole IPv6 routing table and collects the output index
// of every usable default route into `defaults`. Returns 0, or -1 after writing
// the failure's lines on stderr; nothing collected counts then.
int dump_default_routes(HeapBuffer& defaults);
