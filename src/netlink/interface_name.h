#pragma once

#include <net/if.h>

// A kernel interface name: at most 15 characters and a NUL.
using InterfaceName = char[IF_NAMESIZE];

// Fills `name` with the name of interface `index`, or leaves it empty when the
// kernel has no interface by that index (it may have just gone). Returns whether
// a name was found.
bool interface_name(int index, InterfaceName& name);
