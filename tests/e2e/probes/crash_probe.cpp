// Crashes on purpose with the installer's crash handler in place, as the engine would:
// `crash_probe <fault> [endpoint sender]`. The fault is one of write, divide, stack and
// breakpoint and memory (a request that cannot be met). The crash text the handler records goes to "crash-record.txt"
// beside the program, where the engine would add it to its failure summary and log.
#include <windows.h>
// windows.h first: shellapi.h needs its definitions.
#include <shellapi.h>

#include <string>

#include "crash/crash_filter_win.h"
#include "crash/fatal_error.h"
#include "crash/out_of_memory.h"
#include "foundation/system_library_win.h"
#include "installer/crash_handler_win.h"

namespace {

volatile uintptr_t low_address = 0x10;
volatile int zero = 0;
volatile int sink = 0;
volatile int never = -1;

void write_beside(const char* name, const std::string& text) {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string file(path, length);
  file = file.substr(0, file.find_last_of('\\') + 1) + name;
  HANDLE out = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(out, text.data(), DWORD(text.size()), &written, nullptr);
  CloseHandle(out);
}

void record(void*, const std::string& text) { write_beside("crash-record.txt", text); }

// The fatal-error path's text goes to "fatal-text.txt" beside the program.
void show_fatal_text(const char* text) { write_beside("fatal-text.txt", text); }

// Deep enough to overflow any stack; the volatile buffer keeps each frame real.
int recurse(int depth) {
  if (depth == never) return 0;
  volatile char frame[4096];
  frame[depth % sizeof frame] = char(depth);
  return recurse(depth + 1) + frame[0];
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  halvard::harden_dll_search();
  halvard::install_crash_handler(halvard::installer_crash_handler);
  halvard::set_fatal_display(show_fatal_text);
  halvard::set_crash_recorder(record, nullptr);
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  auto narrow = [&](int i) {
    char text[1024] = {};
    if (i < count) WideCharToMultiByte(CP_ACP, 0, args[i], -1, text, sizeof text, nullptr, nullptr);
    return std::string(text);
  };
  std::string fault = narrow(1);
  if (count >= 4) halvard::set_crash_report_destination(narrow(2), narrow(3));
  if (fault == "write") *reinterpret_cast<volatile int*>(low_address) = 1;
  if (fault == "divide") sink = 7 / zero;
  if (fault == "stack") sink = recurse(0);
  if (fault == "breakpoint") DebugBreak();
  if (fault == "memory") {
    // More than the address space can give at once, and caught by nobody.
    volatile size_t huge = size_t(1) << (sizeof(void*) == 8 ? 62 : 31);
    volatile char* memory = new char[huge];
    memory[0] = 1;
  }
  return 3;
}
