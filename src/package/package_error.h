#pragma once
// The numbered "installation program is corrupt" failure that every package reader
// raises. Ends the process through the fatal-error path; never returns.

namespace halvard {

[[noreturn]] void package_error(int code);

}  // namespace halvard
