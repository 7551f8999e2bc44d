#pragma once

namespace halvard {

// Registers the common-control window classes that the pages use (progress bars,
// list views). comctl32 is not a known DLL, so it is loaded from the system folder
// at run time. Returns false where the library is missing.
bool init_common_controls();

}  // namespace halvard
