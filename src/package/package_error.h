#pragma once
// The numbered "installation program is corrupt" failure that every package reader
// raises. Ends the process through the fatal-error path; never returns.

#include <string>

namespace halvard {

inline constexpr char package_error_builtin_text[] =
    "This installation program is corrupt.  This is usually caused by a faulty download, but it can also be "
    "caused by a virus on your computer.  The installation cannot proceed.\r\n\r\nDelete the corrupted installer "
    "(to prevent caching), then re-download it.  If the problem persists, check your system for viruses.\r\n\r\n"
    "Error code: %d";

[[noreturn]] void package_error(int code);

// The package's own text for the failure (message 13), once its message table is
// read; empty until then, and an empty text keeps the built-in one.
void set_package_error_message(std::string text);

// The failure text: `message` (or the built-in text when empty) with its "%d" filled
// with the code. The package's text is data, not a format: nothing but "%d" is
// replaced, so a stray "%s" in a translation cannot crash the engine.
std::string package_error_text(const std::string& message, int code);

}  // namespace halvard
