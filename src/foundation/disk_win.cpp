#include <windows.h>

#include "foundation/disk.h"

namespace halvard {

static_assert(DRIVE_REMOVABLE == 2 && DRIVE_FIXED == 3 && DRIVE_REMOTE == 4 &&
              DRIVE_CDROM == 5 && DRIVE_RAMDISK == 6);

namespace {

bool is_drive_letter(char letter) {
  return (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
}

}  // namespace

bool free_space(char letter, std::uint64_t& free, std::uint64_t& total) {
  if (!is_drive_letter(letter)) return false;
  const char root[] = {letter, ':', '\\', '\0'};

  // The 64-bit query is missing from the first systems of the 9x line.
  using FreeSpaceEx = BOOL(WINAPI*)(const char*, ULARGE_INTEGER*, ULARGE_INTEGER*, ULARGE_INTEGER*);
  auto free_space_ex = reinterpret_cast<FreeSpaceEx>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetDiskFreeSpaceExA")));
  if (free_space_ex) {
    ULARGE_INTEGER available, volume_total, volume_free;
    if (free_space_ex(root, &available, &volume_total, &volume_free)) {
      free = volume_free.QuadPart;
      total = volume_total.QuadPart;
      return true;
    }
    if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return false;
  }

  DWORD sectors_per_cluster, bytes_per_sector, free_clusters, total_clusters;
  if (!GetDiskFreeSpaceA(root, &sectors_per_cluster, &bytes_per_sector, &free_clusters,
                         &total_clusters))
    return false;
  std::uint64_t cluster = static_cast<std::uint64_t>(sectors_per_cluster) * bytes_per_sector;
  free = cluster * free_clusters;
  total = cluster * total_clusters;
  return true;
}

unsigned drive_kind(char letter) {
  if (!is_drive_letter(letter)) return 0;
  const char root[] = {letter, ':', '\\', '\0'};
  return drive_kind_from_type(GetDriveTypeA(root));
}

std::int64_t cluster_size(char letter) {
  const char root[] = {letter, ':', '\\', '\0'};
  DWORD sectors = 0, bytes = 0, free_clusters = 0, clusters = 0;
  if (!GetDiskFreeSpaceA(root, &sectors, &bytes, &free_clusters, &clusters)) return 0;
  return std::int64_t(sectors) * bytes;
}

}  // namespace halvard
