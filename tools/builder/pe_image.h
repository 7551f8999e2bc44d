#pragma once
// What the builder needs to know of the engine image to append the ".setup" section,
// and the header changes that add it.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace halvard {

struct PeLayout {
  uint32_t e_lfanew = 0;
  uint16_t section_count = 0;
  uint32_t section_table_offset = 0;
  uint32_t file_alignment = 0;
  uint32_t section_alignment = 0;
  uint32_t size_of_headers = 0;
  uint32_t raw_end = 0;           // end of the last section's raw data: the file's length
  uint32_t next_virtual_address = 0;
};

// Reads the layout and refuses an engine the section cannot be added to: not a PE
// image, data behind its last section, a ".setup" section already, or no room in the
// headers for one more section entry and the spare entry behind it.
bool read_pe_layout(std::span<const uint8_t> engine, PeLayout& layout, std::string& error);

// The section's raw size for `content` bytes: a multiple of the section alignment, so
// that the image without the section (the uninstaller) keeps a valid SizeOfImage.
uint32_t setup_section_raw_size(const PeLayout& layout, uint64_t content);

// Adds the section entry (initialised, readable data) and updates NumberOfSections,
// SizeOfInitializedData and SizeOfImage in `image`, the engine's bytes.
void add_setup_section_entry(std::vector<uint8_t>& image, const PeLayout& layout, uint32_t raw_size);

}  // namespace halvard
