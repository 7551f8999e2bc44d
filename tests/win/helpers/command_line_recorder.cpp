// Test helper: appends the command line it was started with, as the system handed it
// over, and a line break to the file named by HV_RECORD_FILE.
// Usage: command_line_recorder [anything]; exit code 0 when the line was written.
#include <windows.h>

#include <cstring>

int main() {
  char file[MAX_PATH] = "";
  if (!GetEnvironmentVariableA("HV_RECORD_FILE", file, sizeof file)) return 2;
  HANDLE out = CreateFileA(file, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return 1;
  const char* line = GetCommandLineA();
  DWORD written = 0;
  bool ok =
      WriteFile(out, line, DWORD(std::strlen(line)), &written, nullptr) && WriteFile(out, "\n", 1, &written, nullptr);
  CloseHandle(out);
  return ok ? 0 : 1;
}
