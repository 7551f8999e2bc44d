#pragma once
// Closing the product's running programs on the desktop: the top-level windows are
// walked, and each one that an entry of the automatic-close list takes for `phase` is
// closed, told to quit, or left to the user to close.

#include <cstdint>

#include "ui/user_interface_win.h"

namespace halvard {

// False only when the user answered Cancel to the ask mode's question; the caller then
// ends the run through its cancel path. Nothing is walked when no entry is meant for
// `phase`. In an automatic run the ask mode asks nobody: its windows are left as they are.
bool close_applications(const UserInterface& ui, uint8_t phase);

}  // namespace halvard
