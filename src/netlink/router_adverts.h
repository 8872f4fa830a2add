#pragma once

// A window on the router advertisements the node receives: a raw ICMPv6 socket
// that lets nothing else through. The kernel changes the default route it uses on
// an advertisement without a route notification when the advertisement shortens a
// route's lifetime or revives a route that had run out, so each one is a cue to
// ask the kernel again. Nothing of the advertisement is read: the kernel's answer
// stays the only truth, and a forged one costs a lookup.

// Opens the socket (it needs CAP_NET_RAW). Returns its descriptor, or -1 with
// errno set.
int open_router_advert_socket();

// Takes every advertisement queued, without waiting. Returns how many.
int drain_router_adverts(int socket_fd);

// How long the kernel keeps an expired route before it collects it
// (net.ipv6.route.gc_interval, read from `path`), in milliseconds; `fallback_ms`
// when it cannot be read.
long long route_collection_interval_ms(const char* path, long long fallback_ms);

constexpr const char* route_gc_interval_path = "/proc/sys/net/ipv6/route/gc_interval";
