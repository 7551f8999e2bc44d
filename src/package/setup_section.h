#pragma once
// Finds the ".setup" section from the executable's own headers. Works on a reader
// callback over the file, so the same code runs on a Windows file and on test bytes.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace halvard {

inline constexpr char setup_section_name[] = ".setup";

// Reads exactly `size` bytes at `offset`; false when the file cannot give them.
using ReadAt = std::function<bool(uint64_t offset, void* out, size_t size)>;

struct SetupSectionLocation {
  enum class Outcome { found, not_present, package_error };
  Outcome outcome = Outcome::not_present;
  int package_error = 0;  // the PackageError code when outcome is package_error

  uint32_t e_lfanew = 0;
  uint16_t section_count = 0;
  uint32_t section_table_offset = 0;
  int section_index = -1;
  uint32_t VirtualSize = 0;
  uint32_t VirtualAddress = 0;
  uint32_t SizeOfRawData = 0;
  uint32_t PointerToRawData = 0;

  // The optional header's security directory entry: where a signature's certificate
  // table lies in the file. Signing fills it in and appends the table behind
  // everything else, after the package was built. `security_entry` is the entry's
  // file offset, 0 when the optional header has no such entry.
  uint32_t security_entry = 0;
  uint32_t CertificateTable = 0;
  uint32_t CertificateSize = 0;
};

SetupSectionLocation locate_setup_section(const ReadAt& read);

// The file offset of the security directory entry of the image whose headers `read`
// gives, or 0 when its optional header has none.
uint32_t security_entry_offset(const ReadAt& read, uint32_t e_lfanew);

}  // namespace halvard
