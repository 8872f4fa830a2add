#pragma once

#include <net/if.h>

// A kernel interface name: at most 15 characters and a NUL.
using InterfaceName = char[IF_NAMESIZE];

// Fills `name` with the name of interface `index`, asked of the kernel over
// `socket_fd`, any socket the caller holds (so a full descriptor table costs no
// name), or leaves it empty when the kernel has no interface by that index (it
// may have just gone). Returns whether a name was found; any other failure says
// why on stderr.
bool interface_name(int socket_fd, int index, InterfaceName& name);

// The index of interface `name`, asked over `socket_fd`; 0 when no interface has
// that name.
unsigned interface_index(int socket_fd, const char* name);
