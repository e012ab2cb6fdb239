// SIGINT, SIGTERM and SIGHUP while a media graph runs: they end the program's wait as a key press
// does, so the graph is stopped and its output finished; when the program has done that and exits,
// the process ends by the same signal. A second one meanwhile ends the process at once.
#pragma once

namespace console {

// Starts watching for the signals; the media framework calls this when a graph starts running.
// Idempotent.
void WatchTerminationSignals();

// The terminating signal received since watching began, or 0.
int PendingTerminationSignal();

}  // namespace console
