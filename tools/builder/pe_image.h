#pragma once
// What the builder needs to know of the engine image to append the ".setup" section,
// and the header changes that add it.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace halvard {

// The two engines: PE32 for i386 and PE32+ for AMD64. Nothing else runs the package.
enum class EngineArch : uint8_t { x86, x64 };

std::string_view arch_name(EngineArch arch);         // "x86", "x64"
std::string arch_description(EngineArch arch);       // "x64 (PE32+, AMD64)"
std::optional<EngineArch> parse_arch(std::string_view name);  // exactly "x86" or "x64"
inline constexpr char arch_names[] = "x86, x64";

// The executable's kind from its MZ and PE headers alone; `headers` needs to reach only
// the optional header's magic. Refuses anything that is not PE32/i386 or PE32+/AMD64.
bool read_pe_arch(std::span<const uint8_t> headers, EngineArch& arch, std::string& error);

struct PeLayout {
  EngineArch arch = EngineArch::x86;
  uint32_t e_lfanew = 0;
  uint16_t section_count = 0;
  uint32_t section_table_offset = 0;
  uint32_t file_alignment = 0;
  uint32_t section_alignment = 0;
  uint32_t size_of_headers = 0;
  uint32_t raw_end = 0;           // end of the last section's raw data: the file's length
  uint32_t next_virtual_address = 0;
};

// Reads the layout and refuses an engine the section cannot be added to: not a PE32 or
// PE32+ image of the engine's machines, data behind its last section, a ".setup" section
// already, or no room in the headers for one more section entry and the spare entry
// behind it.
bool read_pe_layout(std::span<const uint8_t> engine, PeLayout& layout, std::string& error);

// The section's raw size for `content` bytes: a multiple of the section alignment, so
// that the image without the section (the uninstaller) keeps a valid SizeOfImage.
uint32_t setup_section_raw_size(const PeLayout& layout, uint64_t content);

// Adds the section entry (initialised, readable data) and updates NumberOfSections,
// SizeOfInitializedData and SizeOfImage in `image`, the engine's bytes. These fields sit
// at the same offsets in PE32 and PE32+.
void add_setup_section_entry(std::vector<uint8_t>& image, const PeLayout& layout, uint32_t raw_size);

}  // namespace halvard
