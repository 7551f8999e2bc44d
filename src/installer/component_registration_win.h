#pragma once
// Making installed components known to Windows. Fonts, MSI packages, control-panel
// applets and binding happen as each file lands; shared counts, COM servers, type
// libraries and drivers once all files are in. Each outcome goes to the log (and the
// failures the user must see to the failure summary); nothing here stops the run, and
// only what succeeded is recorded for the uninstaller to undo.

#include <windows.h>

#include <string>

#include "installer/run_state.h"
#include "package/file_record.h"
#include "package/install_settings.h"

namespace halvard {

// The actions that run right after `record`'s file was written to `destination`, and the
// collecting of it for the steps after the file phase. `owner`: the window that owns
// an MSI package's own windows.
void register_installed_file(const InstallSettings& settings, const FileRecord& record, const std::string& destination,
                             RunState& state, HWND owner);

// A shared file that this run did not write (the one there is up to date, or newer)
// is still this product's to count: otherwise the other product's removal would take
// it away from under this one. Counted when its destination exists.
void collect_skipped_shared_file(const FileRecord& record, const std::string& destination, RunState& state);

// Tells every window that the fonts changed, once, when the file phase brought any.
void announce_fonts(const RunState& state);

// The shared-DLL counts of this run's shared files, and the "SharedFiles" value that
// records them (RunState::shared_files_value).
void raise_shared_counts(RunState& state);

// COM servers, then type libraries. `product_64bit`: the servers are 64-bit programs.
void register_servers_and_type_libraries(RunState& state, bool product_64bit);

// Copies each INF file into the system's driver store and records where it went.
void install_drivers(RunState& state);

}  // namespace halvard
