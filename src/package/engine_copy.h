#pragma once
// The engine without its package: the uninstaller file. Made from the executable's
// bytes before the ".setup" section and those behind it, with the headers adjusted
// so that the copy is a valid image without the section.

#include <cstdint>
#include <span>
#include <vector>

#include "package/setup_section.h"

namespace halvard {

// Checksum32 of the bytes from e_lfanew + 92 (right behind the optional header's
// CheckSum field) to the start of the section, with the 8 bytes of the security
// directory entry at `security_entry` (0: none) counted as zeros. Signing writes that
// entry after the build, so a signed installer keeps the checksum of its build; for an
// unsigned one the entry is zero and nothing differs.
uint32_t engine_checksum(std::span<const uint8_t> before_section, uint32_t e_lfanew, uint32_t security_entry);

// Where the executable's own bytes end: at a signature's certificate table when one
// lies behind the section's start, else at the end of the file. Nothing behind it
// belongs to the engine or the package.
uint64_t signed_content_end(const SetupSectionLocation& section, uint64_t file_size);

// The end of the file-data region read from disk, which starts at `region_start` and
// runs to the executable's own end. Signing pads the file to a multiple of 8 before
// the certificate table; those fewer than 8 bytes behind a region of `data_size` bytes
// are not part of it.
uint64_t disk_region_end(const SetupSectionLocation& section, uint64_t file_size, uint64_t region_start,
                         int64_t data_size);

// Where the bytes that follow the section into the copy end. With the file data on
// disk, the region behind the section belongs to the package, not to the engine: it is
// left out, or every uninstaller would carry the whole product (and a 32-bit process
// could not even hold it).
uint64_t engine_copy_tail_end(const SetupSectionLocation& section, uint64_t data_offset, bool data_on_disk,
                              uint64_t file_size);

// A signed installer's signature does not cover the copy: the copy gets no
// certificate table (the tail ends before it, see signed_content_end) and a cleared
// security directory entry, and a CheckSum field that was set is computed afresh.
// False when the headers to adjust do not lie inside `before_section`.
bool build_engine_copy(std::span<const uint8_t> before_section, std::span<const uint8_t> tail,
                       const SetupSectionLocation& section, std::vector<uint8_t>& copy);

}  // namespace halvard
