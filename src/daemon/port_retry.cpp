#include "daemon/port_retry.h"

#include <algorithm>

void schedule_port_retry(PortRetry& retry, bool written, int64_t now_ms) {
    if (written) {
        retry = {};
        return;
    }
    if (retry.due_ms == 0) {
        retry.backoff_ms = port_retry_first_ms;
    } else if (now_ms >= retry.due_ms) {
        retry.backoff_ms = std::min(retry.backoff_ms * 2, port_retry_longest_ms);
    } else {
        return;
    }
    retry.due_ms = now_ms + retry.backoff_ms;
}
