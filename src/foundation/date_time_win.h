#pragma once
// The system's clock as the date library's record.

#include <windows.h>

#include <optional>
#include <string>

#include "foundation/date_time.h"

namespace halvard {

// The current local time.
DateTime local_now();
DateTime from_system_time(const SYSTEMTIME& time);
// When the file was last written, in local time by the rules of that date; nothing when
// the system cannot say.
std::optional<DateTime> last_write_local(const std::wstring& path);

}  // namespace halvard
