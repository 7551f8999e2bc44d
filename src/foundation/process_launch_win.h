#pragma once
// Starting other programs: the engine's batches, the system's tools and what the user
// chose to launch at the end. Every handle of a started process is closed here.

#include <windows.h>

#include <functional>
#include <string>

#include "foundation/unique_handle_win.h"

namespace halvard {

struct ProcessLaunch {
  std::string directory;     // empty: the engine's current folder
  bool hidden = false;       // its window starts hidden
  bool new_console = false;  // a console of its own, not the engine's
};

// Starts `command` without waiting. False when it could not; GetLastError says why.
bool start_process(const std::wstring& command, const ProcessLaunch& how);
bool start_process(const std::string& command, const ProcessLaunch& how);

// Starts `command` and waits for it to end; `while_waiting`, when given, runs each
// `interval_ms` meanwhile (to keep windows answering). False when it could not start.
bool run_process(const std::wstring& command, const ProcessLaunch& how, const std::function<void()>& while_waiting = {},
                 DWORD interval_ms = 100);
bool run_process(const std::string& command, const ProcessLaunch& how, const std::function<void()>& while_waiting = {},
                 DWORD interval_ms = 100);

}  // namespace halvard
