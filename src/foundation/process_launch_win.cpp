#include "foundation/process_launch_win.h"

#include "foundation/file.h"

namespace halvard {

namespace {

UniqueHandle launch(const std::wstring& command, const ProcessLaunch& how) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (how.hidden) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  }
  // CreateProcessW may write into the command line.
  std::wstring line = command;
  const std::wstring directory = ansi_to_wide(how.directory);
  PROCESS_INFORMATION process{};
  const DWORD flags = NORMAL_PRIORITY_CLASS | (how.new_console ? CREATE_NEW_CONSOLE : 0);
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, flags, nullptr,
                      directory.empty() ? nullptr : directory.c_str(), &startup, &process)) {
    return {};
  }
  CloseHandle(process.hThread);
  return UniqueHandle(process.hProcess);
}

}  // namespace

bool start_process(const std::wstring& command, const ProcessLaunch& how) { return bool(launch(command, how)); }

bool start_process(const std::string& command, const ProcessLaunch& how) {
  return start_process(ansi_to_wide(command), how);
}

bool run_process(const std::wstring& command, const ProcessLaunch& how, const std::function<void()>& while_waiting,
                 DWORD interval_ms) {
  UniqueHandle process = launch(command, how);
  if (!process) return false;
  if (!while_waiting) {
    WaitForSingleObject(process.get(), INFINITE);
    return true;
  }
  while (WaitForSingleObject(process.get(), interval_ms) == WAIT_TIMEOUT) while_waiting();
  return true;
}

bool run_process(const std::string& command, const ProcessLaunch& how, const std::function<void()>& while_waiting,
                 DWORD interval_ms) {
  return run_process(ansi_to_wide(command), how, while_waiting, interval_ms);
}

}  // namespace halvard
