#pragma once
// Writes InstallSettings as the package stream that the engine's reader reads: every
// item in its order, the optional items exactly when the reader expects them, both list
// terminators and the end marker. Counts are written as they are, so a record that breaks
// a limit gives a stream that the reader rejects; checking limits is the caller's job.
// A ztext item ends at its first NUL; an entry whose first text equals its list's
// terminator cannot be represented.

#include <cstdint>
#include <vector>

#include "package/install_settings.h"

namespace halvard {

std::vector<uint8_t> write_settings(const InstallSettings& settings);

}  // namespace halvard
