// Free space and kind of a drive, by its letter.
#pragma once

#include <cstdint>

namespace halvard {

// drive_kind bits.
inline constexpr unsigned drive_exists = 0x1;
inline constexpr unsigned drive_fixed = 0x2;
inline constexpr unsigned drive_removable = 0x4;
inline constexpr unsigned drive_read_only_media = 0x8;
inline constexpr unsigned drive_ram_disk = 0x10;
inline constexpr unsigned drive_remote = 0x20;

// A GetDriveType result (DRIVE_REMOVABLE 2 ... DRIVE_RAMDISK 6) as drive_kind bits.
unsigned drive_kind_from_type(unsigned drive_type);

// Windows only. The letter must be A-Z or a-z. `free` is all free bytes on the volume,
// not only what the caller may use.
bool free_space(char letter, std::uint64_t& free, std::uint64_t& total);
unsigned drive_kind(char letter);
// Bytes per cluster of the drive; 0 when the system does not say.
std::int64_t cluster_size(char letter);

}  // namespace halvard
