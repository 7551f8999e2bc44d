#pragma once
// The text side of operations deferred to the next restart of Windows.

#include <string>
#include <string_view>

namespace halvard {

// ---- The 9x platform's pending list ("[rename]" in "wininit.ini") ----

// The file text with "name=value" added as the first line of its "[rename]" section.
// The section is found without regard to case where it begins a line; without one, the
// text (ended by a line break unless empty) gets "[rename]\r\n" + the entry appended.
std::string add_wininit_entry(std::string_view text, std::string_view name, std::string_view value);

}  // namespace halvard
