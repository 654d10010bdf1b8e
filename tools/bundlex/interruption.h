// interruption.h - Ctrl-C (and a request to terminate) during a walk: a flag the walk's operations
// look at, so that the walk stops at its next step and cleans up, and then the signal's own ending.
#pragma once

namespace bundlex {

// From now on SIGINT, SIGTERM and SIGHUP only set the flag.
void catch_interruptions();

// The signal that arrived, or 0.
int interruption();

// Ends the process as the signal that arrived would have, so that a shell sees it; returns only
// when none did.
void end_if_interrupted();

}  // namespace bundlex
