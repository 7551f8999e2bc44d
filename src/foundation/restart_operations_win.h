#pragma once
// Deleting and moving files at the next restart of Windows. Names that begin with "|"
// are UTF-8 after the bar.

#include <string>

namespace halvard {

// Registers `path` for deletion at the next restart: MoveFileEx with no destination
// on NT, where "wininit.ini" stands in when that fails and "wininit.exe" exists; the
// "wininit.ini" entry "NUL=<short path>" on the 9x line. False with the system's error.
bool delete_at_reboot(const std::string& path);

// Registers replacing `destination` by `source` at the next restart, in the same ways.
// On success the last-error value is ERROR_BUSY (170), which callers may report.
bool move_at_reboot(const std::string& source, const std::string& destination);

// Adds "name=value" to the "[rename]" section of "wininit.ini" in the Windows folder.
bool write_wininit_entry(const std::string& name, const std::string& value);
// The same for the file `ini_path`; false when it cannot be read or written back.
bool write_wininit_entry_at(const std::string& ini_path, const std::string& name,
                            const std::string& value);

}  // namespace halvard
