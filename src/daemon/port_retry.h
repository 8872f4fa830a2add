#pragma once

#include <cstdint>

// A port the fastpath did not take is written again until it does: the module may
// be loaded after the daemon, at boot, or reloaded. The daemon's one timer writes
// it again 1 s after the failure, then at twice the interval each time, up to a
// minute apart; nothing else does, so that no flood of notifications or router
// advertisements (anyone on a link may send those) fills the journal with
// rewrites. A decision that moves the port writes it at once.
struct PortRetry {
    int64_t due_ms = 0;      // when the timer writes again, on the monotonic clock; 0: never
    int64_t backoff_ms = 0;  // the interval that led to due_ms
};

constexpr int64_t port_retry_first_ms = 1000;
constexpr int64_t port_retry_longest_ms = 60000;

// After each write of the port (`written`: the fastpath took it), at `now_ms`.
// A failure while a retry is pending keeps its time, unless that time has come.
void schedule_port_retry(PortRetry& retry, bool written, int64_t now_ms);
