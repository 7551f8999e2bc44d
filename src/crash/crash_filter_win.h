#pragma once
// The process-wide unhandled-exception filter. It decides which exceptions get a
// report and hands those to the installer's handler, which writes, records, shows and
// sends the report; this layer knows nothing of how.

#include <windows.h>

namespace halvard {

// The handler's answer: 1 ends the process quietly, 0 leaves the exception to the
// system's default handling.
using CrashHandler = LONG (*)(EXCEPTION_POINTERS* exception);

// Installs the filter; `handler` null: every exception goes on to the system, as in a
// process without a filter. The thread that installs it counts as the main thread.
void install_crash_handler(CrashHandler handler = nullptr);

// The thread that installed the filter.
DWORD main_thread_id();

// A thread of the engine's own whose faults end the process without a report (the
// notification request: a report for it would interrupt a finished installation).
void mark_worker_thread(DWORD thread_id);

}  // namespace halvard
