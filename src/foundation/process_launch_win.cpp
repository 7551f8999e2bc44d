#include "foundation/process_launch_win.h"

#include "foundation/file.h"

namespace halvard {

namespace {

UniqueHandle launch(const std::wstring& command, const ProcessLaunch& how) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (how.hidden || how.show >= 0) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = WORD(how.hidden ? SW_HIDE : how.show);
  }
  // CreateProcessW may write into the command line.
  std::wstring line = command;
  const std::wstring directory = ansi_to_wide(how.directory);
  PROCESS_INFORMATION process{};
  const DWORD flags = how.priority | (how.new_console ? CREATE_NEW_CONSOLE : 0);
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, how.inherit_handles, flags, nullptr,
                      directory.empty() ? nullptr : directory.c_str(), &startup, &process)) {
    return {};
  }
  CloseHandle(process.hThread);
  return UniqueHandle(process.hProcess);
}

// The program's folder: the command's first word, quoted or not, up to its last backslash.
std::string program_folder(const std::string& command) {
  size_t start = command.find_first_not_of(' ');
  if (start == std::string::npos) return {};
  size_t end = command[start] == '"' ? command.find('"', ++start) : command.find(' ', start);
  std::string program = command.substr(start, end == std::string::npos ? std::string::npos : end - start);
  size_t slash = program.find_last_of('\\');
  return slash == std::string::npos ? std::string() : program.substr(0, slash);
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

DWORD launch_program(const std::string& command, uint32_t flags, const std::string& directory,
                     const std::function<void()>& pump) {
  ProcessLaunch how;
  how.directory = directory;
  if (how.directory.empty() && (flags & launch_flag::program_folder)) {
    std::string folder = program_folder(command);
    if (!folder.empty() && (GetFileAttributesA(folder.c_str()) & (FILE_ATTRIBUTE_DIRECTORY | 0x80000000u)) ==
                               FILE_ATTRIBUTE_DIRECTORY)
      how.directory = folder;
  }
  how.hidden = flags & launch_flag::hidden;
  if (flags & launch_flag::maximized) how.show = SW_SHOWMAXIMIZED;
  if (flags & launch_flag::minimized) how.show = SW_SHOWMINIMIZED;
  how.new_console = flags & launch_flag::new_console;
  if (flags & launch_flag::idle_priority) how.priority = IDLE_PRIORITY_CLASS;
  if (flags & launch_flag::high_priority) how.priority = HIGH_PRIORITY_CLASS;
  how.inherit_handles = flags & launch_flag::inherit_handles;
  UniqueHandle process = launch(ansi_to_wide(command), how);
  if (!process) return launch_not_started;
  if (!(flags & launch_flag::wait)) return 0;
  if ((flags & launch_flag::pump_messages) && pump) {
    while (WaitForSingleObject(process.get(), 75) == WAIT_TIMEOUT) pump();
  } else {
    WaitForSingleObject(process.get(), INFINITE);
  }
  DWORD code = 0;
  return GetExitCodeProcess(process.get(), &code) ? code : launch_not_started;
}

}  // namespace halvard
