#pragma once
// The uninstaller: removes a product that this engine installed, as its registration
// under the Uninstall key and its "Uninstall.DAT" describe it. When something cannot be
// removed, the registration stays and "Uninstall.DAT" is rewritten with what is left, so
// that a later run can finish the job.
#include <string>
#include <vector>

#include "ui/user_interface_win.h"

namespace halvard {

struct UninstallOutcome {
  bool removed = false;  // everything was removed
  // The product's own folders around the installation directory, deepest first: still
  // there because the running uninstaller keeps the directory, for the batch that
  // deletes it to remove after it.
  std::vector<std::string> outer_folders;
};

// The interface's settings come in with the command line's options and leave with what
// the registration held (the caller's notification and self-deleting batch need the
// product's folders).
UninstallOutcome uninstall_product(const std::string& name, UserInterface& ui);

}  // namespace halvard
