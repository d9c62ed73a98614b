// SIGINT and SIGTERM end a conversion as the stop button does. The handler only records the
// signal and writes a byte to a pipe (both async-signal-safe); the program acts on it where
// that is safe: the window program's event loop watches the pipe, ferrymark-convert looks at
// each event-loop yield of the run.
#pragma once

namespace common {

// Takes SIGINT and SIGTERM over. False when they cannot be (no pipe); they then end the
// process as before. A second signal ends the process at once.
bool CatchStopSignals();

// The first stop signal received since CatchStopSignals (SIGINT or SIGTERM), or 0.
int StopSignalReceived();

// The pipe's reading end, readable while a signal's byte waits there; -1 before
// CatchStopSignals. DrainStopSignals empties it.
int StopSignalDescriptor();
void DrainStopSignals();

} // namespace common
