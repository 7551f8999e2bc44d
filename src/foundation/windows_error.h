// Text of a Windows error number, as the system words it, on one line.
#pragma once

#include <cstdint>
#include <string>

namespace halvard {

// 0 gives the empty string; an unknown number (or a failed lookup) gives "" too.
std::string windows_error_text(std::uint32_t code);
// The same for GetLastError; the thread's last-error value is left as it was.
std::string last_windows_error_text();

}  // namespace halvard
