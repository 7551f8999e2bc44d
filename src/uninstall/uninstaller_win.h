#pragma once
// The uninstaller: removes a product that this engine installed, as its registration
// under the Uninstall key and its "Uninstall.DAT" describe it. When something cannot be
// removed, the registration stays and "Uninstall.DAT" is rewritten with what is left, so
// that a later run can finish the job.
#include <string>

#include "ui/user_interface_win.h"

namespace halvard {

// True when everything was removed. The interface's settings come in with the command
// line's options and leave with what the registration held (the caller's notification
// and self-deleting batch need the product's folders).
bool uninstall_product(const std::string& name, UserInterface& ui);

}  // namespace halvard
