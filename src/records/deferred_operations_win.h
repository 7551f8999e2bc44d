#pragma once
// Operations deferred to the next restart of Windows: deleting and moving files then,
// the package's conditional deletions, and keeping the system's pending list clear of
// operations that would undo this run's work. Names that begin with "|" are UTF-8
// after the bar.

#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "foundation/restart_operations_win.h"
#include "package/install_settings.h"
#include "records/deferred_operations.h"

namespace halvard {

// The system's pending list; empty when the key or value is missing.
std::vector<PendingOperation> read_pending_operations();
// Writes the list back as REG_MULTI_SZ. False when the key cannot be opened or written.
bool write_pending_operations(const std::vector<PendingOperation>& operations);

// Drops from the system's pending list the moves onto, and the deletions of, the
// files in `files` (full paths in lower case, ANSI or "|" + UTF-8), and the deletions
// of nothing; a dropped move's temporary source goes to the recycle bin. With `log`,
// a line break and one line per dropped pair are appended to it. Returns how many
// pairs were dropped; a missing key or value leaves everything as it is.
int clean_pending_operations(const std::unordered_set<std::string>& files, std::string* log);

// What the conditional deletions did.
struct ConditionalDeleteOutcome {
  std::string log;              // installation-log lines (installing only)
  std::string failures;         // failure-summary lines (installing only)
  bool reboot_registered = false;  // the caller sets its reboot flag (ProductFlags low
                                   // bit 14 installing, high bit 13 uninstalling)
  int package_error = 0;        // 65: a date rule without a date; the run must end
};

// Runs the rules of `phase` in list order. `install_dir` anchors relative patterns;
// `expand` replaces the variables of a pattern (none when empty). Stops at the first
// rule that makes the package corrupt.
ConditionalDeleteOutcome apply_conditional_deletions(
    const std::vector<ConditionalDelete>& entries, DeletionPhase phase,
    const std::string& install_dir,
    const std::function<std::string(const std::string&)>& expand = {});

}  // namespace halvard
