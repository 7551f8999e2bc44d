#pragma once
// The Windows releases a package can refuse (its ExcludedSystems word): one bit per
// release, in order of age. The engine finds the running release's bit; the builder
// names the bits.

#include <cstdint>
#include <span>
#include <string_view>

namespace halvard {

struct WindowsRelease {
  std::string_view key;   // the builder's name
  std::string_view name;  // as message 61 shows it
};

// Bit i of ExcludedSystems refuses release i.
std::span<const WindowsRelease> windows_releases();

// The bit of the running release: from the platform (the 9x line or NT) and the
// version numbers. Anything newer than the table's last release counts as the last.
int windows_release_bit(bool nt_platform, uint32_t major, uint32_t minor);

}  // namespace halvard
