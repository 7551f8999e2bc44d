#pragma once

namespace halvard {

// Installs the process-wide unhandled-exception filter.
void install_crash_handler();

}  // namespace halvard
