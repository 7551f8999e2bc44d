#pragma once
// Starting other programs: the engine's batches, the system's tools and what the user
// chose to launch at the end. Every handle of a started process is closed here.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "foundation/unique_handle_win.h"

namespace halvard {

struct ProcessLaunch {
  std::string directory;     // empty: the engine's current folder
  bool hidden = false;       // its window starts hidden
  bool new_console = false;  // a console of its own, not the engine's
  int show = -1;             // a SW_ value for its first window; -1: its own choice
  DWORD priority = NORMAL_PRIORITY_CLASS;
  bool inherit_handles = false;
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

// The launch flags of the package's own commands (the components' tools, for one).
namespace launch_flag {
inline constexpr uint32_t wait = 0x1;          // wait and give the exit code
inline constexpr uint32_t new_console = 0x2;
inline constexpr uint32_t idle_priority = 0x4;
inline constexpr uint32_t high_priority = 0x8;
inline constexpr uint32_t hidden = 0x10;
inline constexpr uint32_t maximized = 0x20;
inline constexpr uint32_t minimized = 0x40;
inline constexpr uint32_t pump_messages = 0x100;  // while waiting, every 75 ms
inline constexpr uint32_t inherit_handles = 0x200;
inline constexpr uint32_t program_folder = 0x800;  // no directory given: the program's own
}  // namespace launch_flag

// What launch_program gives when the process did not start.
inline constexpr DWORD launch_not_started = 0x80000000;

// Starts `command` as `flags` say, in `directory` (empty: see launch_flag::program_folder).
// With launch_flag::wait the exit code, otherwise 0; launch_not_started when it did not
// start. `pump` runs while waiting with launch_flag::pump_messages.
DWORD launch_program(const std::string& command, uint32_t flags, const std::string& directory = {},
                     const std::function<void()>& pump = {});

}  // namespace halvard
