// Granting Everyone full rights to a folder, inherited by everything below it.
#pragma once

#include <cstdint>
#include <string>

namespace halvard {

// Makes the current user the owner of `directory` (with the take-ownership and restore
// privileges enabled just for that), then adds to its access list an entry that grants
// Everyone GENERIC_ALL, inherited by sub-folders and files. 0, or the first failing
// system code (rights_path_not_found when the folder does not exist).
std::uint32_t grant_everyone_full_access(const std::string& directory);

// The same, as the installation runs it: the log text of the attempt (see
// directory_rights_log_text). Never stops anything.
std::string grant_directory_rights(const std::string& directory);

}  // namespace halvard
