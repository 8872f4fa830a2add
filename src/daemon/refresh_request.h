#pragma once

// SIGUSR1 asks for a refresh; the monitor thread runs it between two messages.
// The handler only writes one byte to a non-blocking pipe, which is all that is
// safe in a signal handler; the monitor waits on the pipe's read end.

// Creates the pipe. Call before the handler is installed. Returns false on failure.
bool refresh_request_open();

// Async-signal-safe: marks a refresh as wanted.
void refresh_request_post();

// The descriptor that becomes readable while a refresh is wanted.
int refresh_request_fd();

// Clears every pending request. Signals that come after this call ask again.
void refresh_request_take();
