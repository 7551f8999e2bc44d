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
// CheckSum field) to the start of the section.
uint32_t engine_checksum(std::span<const uint8_t> before_section, uint32_t e_lfanew);

// Where the bytes that follow the section into the copy end. With the file data on
// disk, the region behind the section belongs to the package, not to the engine: it is
// left out, or every uninstaller would carry the whole product (and a 32-bit process
// could not even hold it).
uint64_t engine_copy_tail_end(const SetupSectionLocation& section, uint64_t data_offset, bool data_on_disk,
                              uint64_t file_size);

// False when the headers to adjust do not lie inside `before_section`.
bool build_engine_copy(std::span<const uint8_t> before_section, std::span<const uint8_t> tail,
                       const SetupSectionLocation& section, std::vector<uint8_t>& copy);

}  // namespace halvard
