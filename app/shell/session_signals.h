// The signals a session ends with, turned into an event of the loop, and a closed standard
// output made harmless.
#pragma once

namespace quenda {

// Ignores SIGPIPE, so writing to a closed pipe (standard output read by `head`, say) fails
// with EPIPE instead of ending the program; and makes SIGTERM, SIGINT and SIGHUP (the terminal
// or session going away) each put one byte on the descriptor SessionEndDescriptor() returns.
// False, with errno set, when the descriptor or a handler could not be set up. Call once.
bool CatchSessionEndSignals();

// The read side that becomes readable when a session-end signal arrived; -1 before
// CatchSessionEndSignals succeeded.
int SessionEndDescriptor();

// Takes one byte off the descriptor; the signal's number, or 0 when none was waiting.
int TakeSessionEndSignal();

}  // namespace quenda
