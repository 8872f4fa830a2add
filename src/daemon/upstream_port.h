#pragma once

#include "daemon/uplink_state.h"

// The port as written to the fastpath and kept in the state: every write of it
// goes through here, so that what is kept always says what was written.

// How a port was chosen: for the default gateway, or by a POP's rules.
enum class PortFor { gateway, pop };

// Writes `name` as the upstream port and keeps it (see record_upstream_port).
void write_upstream_port(UplinkState& state, const char* name, PortFor chosen_for, int ifindex = -1);

// Keeps what was just set as the upstream port, whether the write worked (and
// when to write it again if not), what it was set for and its link's index
// (`ifindex`, or asked of the kernel by name when -1).
void record_upstream_port(UplinkState& state, const char* name, bool written, PortFor chosen_for, int ifindex = -1);

// Writes the recorded port again, with its line, when the last write failed.
void write_port_again(UplinkState& state);
