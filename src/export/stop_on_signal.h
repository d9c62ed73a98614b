// The window program's answer to SIGINT and SIGTERM (see common/stop_signals.h).
#pragma once

class QObject;

namespace exporting {

// Watches the stop signals from the event loop (after common::CatchStopSignals), with a
// notifier owned by parent; each arrival calls StopRunsForSignal.
void WatchStopSignals(QObject* parent);

// Stops every run going on as its stop button does (before its next document; the store is
// written, the report and the final message follow, its temporary files go) and ends the
// event loops with the status 128 + signal, so that the program ends once the run has.
void StopRunsForSignal(int signal);

} // namespace exporting
