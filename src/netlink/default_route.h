#pragma once

#include "netlink/message_walk.h"

// From one route message (header, rtmsg, attributes), the index of the default
// route's output interface, or -1. A route counts only when it has a zero-length
// destination, a gateway and an output interface the kernel can name (asked over
// `names_socket`, any socket the caller holds). `message` may be cut short: only
// the bytes it holds are read.
int parse_default_route(Bytes message, int names_socket);
