#include "installer/windows_release.h"

namespace halvard {
namespace {

constexpr WindowsRelease releases[] = {
    {"windows_95", "Windows 95"},
    {"windows_98", "Windows 98"},
    {"windows_me", "Windows Me"},
    {"windows_nt4", "Windows NT 4.0"},
    {"windows_2000", "Windows 2000"},
    {"windows_xp", "Windows XP"},
    {"windows_server_2003", "Windows Server 2003"},
    {"windows_vista", "Windows Vista"},
    {"windows_7", "Windows 7"},
    {"windows_8", "Windows 8"},
    {"windows_8_1", "Windows 8.1"},
    {"windows_10", "Windows 10 or later"},
};

}  // namespace

std::span<const WindowsRelease> windows_releases() { return releases; }

int windows_release_bit(bool nt_platform, uint32_t major, uint32_t minor) {
  if (!nt_platform) return minor >= 90 ? 2 : minor >= 10 ? 1 : 0;
  if (major <= 4) return 3;
  if (major == 5) return minor == 0 ? 4 : minor == 1 ? 5 : 6;
  if (major == 6) return minor == 0 ? 7 : minor == 1 ? 8 : minor == 2 ? 9 : 10;
  return 11;
}

}  // namespace halvard
