#include "foundation/windows_error.h"

#include <windows.h>

namespace halvard {

std::string windows_error_text(std::uint32_t code) {
  if (code == 0) return {};
  // Two numbers have fixed texts of their own, whatever the system would say.
  if (code == 1124) return "Unknown";
  if (code == ERROR_INVALID_PASSWORD) return "Incorrect password.";

  char* buffer = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0x400, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text;
  if (length != 0 && buffer) text.assign(buffer, length);
  if (buffer) LocalFree(buffer);

  const char* blanks = " \t\r\n";
  std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  std::size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

std::string last_windows_error_text() {
  DWORD code = GetLastError();
  std::string text = windows_error_text(code);
  SetLastError(code);
  return text;
}

}  // namespace halvard
