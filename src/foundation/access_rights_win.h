#pragma once
// Giving Everyone full access to a file or folder.

#include <cstdint>
#include <string>

namespace halvard {

// Adds to the access list of `path` (a "|" name is UTF-8) an entry that grants Everyone
// full access; with `inherited`, folders and files below get it too. The system's
// result: 0 on success, 1319 when Everyone's SID cannot be made.
std::uint32_t grant_everyone_full_access_entry(const std::string& path, bool inherited);

}  // namespace halvard
