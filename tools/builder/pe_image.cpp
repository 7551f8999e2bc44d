#include "pe_image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "package/setup_section.h"

namespace halvard {
namespace {

constexpr uint32_t entry_size = 40;
constexpr uint16_t machine_i386 = 0x14C, machine_amd64 = 0x8664;
constexpr uint16_t magic_pe32 = 0x10B, magic_pe32_plus = 0x20B;
// The optional header up to and with its 16 data directories.
constexpr uint32_t optional_size_pe32 = 224, optional_size_pe32_plus = 240;
constexpr uint32_t initialized_readable_data = 0x40000040;  // IMAGE_SCN_CNT_INITIALIZED_DATA | MEM_READ

uint16_t get16(std::span<const uint8_t> b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }
uint32_t get32(std::span<const uint8_t> b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
void put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}
uint64_t align_up(uint64_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

std::string hex(uint16_t v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%X", unsigned(v));
  return buf;
}

}  // namespace

std::string_view arch_name(EngineArch arch) { return arch == EngineArch::x64 ? "x64" : "x86"; }

std::string arch_description(EngineArch arch) {
  return arch == EngineArch::x64 ? "x64 (PE32+, AMD64)" : "x86 (PE32, i386)";
}

std::optional<EngineArch> parse_arch(std::string_view name) {
  if (name == "x86") return EngineArch::x86;
  if (name == "x64") return EngineArch::x64;
  return std::nullopt;
}

bool read_pe_arch(std::span<const uint8_t> headers, EngineArch& arch, std::string& error) {
  if (headers.size() < 64 || headers[0] != 'M' || headers[1] != 'Z') {
    error = "not a Windows executable (no MZ header)";
    return false;
  }
  const uint32_t e_lfanew = get32(headers, 60);
  if (e_lfanew < 64 || e_lfanew > 4096 || e_lfanew + 26 > headers.size() ||
      std::memcmp(&headers[e_lfanew], "PE\0\0", 4) != 0) {
    error = "not a Windows executable (no PE header where e_lfanew points)";
    return false;
  }
  const uint16_t machine = get16(headers, e_lfanew + 4), magic = get16(headers, e_lfanew + 24);
  if (magic != magic_pe32 && magic != magic_pe32_plus) {
    error = "unknown optional-header magic " + hex(magic) + "; an engine is PE32 (0x10B) or PE32+ (0x20B)";
    return false;
  }
  if (machine != machine_i386 && machine != machine_amd64) {
    error = "made for machine " + hex(machine) + "; an engine is made for i386 (0x14C, x86) or AMD64 (0x8664, x64)";
    return false;
  }
  if ((magic == magic_pe32_plus) != (machine == machine_amd64)) {
    error = std::string(magic == magic_pe32_plus ? "a PE32+" : "a PE32") + " image for " +
            (machine == machine_amd64 ? "AMD64" : "i386") +
            "; the x86 engine is PE32 for i386 and the x64 engine PE32+ for AMD64";
    return false;
  }
  arch = machine == machine_amd64 ? EngineArch::x64 : EngineArch::x86;
  return true;
}

bool read_pe_layout(std::span<const uint8_t> engine, PeLayout& layout, std::string& error) {
  if (!read_pe_arch(engine, layout.arch, error)) return false;
  layout.e_lfanew = get32(engine, 60);
  const size_t optional = layout.e_lfanew + 24;
  if (optional + (layout.arch == EngineArch::x64 ? optional_size_pe32_plus : optional_size_pe32) > engine.size()) {
    error = "not a Windows executable (its optional header is cut short)";
    return false;
  }
  // From SectionAlignment on, PE32+ keeps PE32's offsets: its wider ImageBase takes
  // the place of BaseOfData. Only the data directories (not read here) move.
  layout.section_count = get16(engine, layout.e_lfanew + 6);
  layout.section_table_offset = uint32_t(optional + get16(engine, layout.e_lfanew + 20));
  layout.section_alignment = get32(engine, optional + 32);
  layout.file_alignment = get32(engine, optional + 36);
  layout.size_of_headers = get32(engine, optional + 60);
  if (layout.section_alignment == 0 || layout.file_alignment == 0 ||
      layout.section_alignment % layout.file_alignment != 0) {
    error = "the executable's alignments are not usable";
    return false;
  }
  // The engine reads at most 99 sections, and at least 4 with ours.
  if (layout.section_count < 3 || layout.section_count > 98) {
    error = "the executable has " + std::to_string(layout.section_count) + " sections; 3 to 98 are needed";
    return false;
  }
  const uint64_t table_end = uint64_t(layout.section_table_offset) + uint64_t(layout.section_count) * entry_size;
  if (table_end + 2 * entry_size > layout.size_of_headers || layout.size_of_headers > engine.size()) {
    error = "no room in the executable's headers for one more section entry";
    return false;
  }

  uint64_t raw_end = layout.size_of_headers, virtual_end = 0;
  for (uint32_t i = 0; i < layout.section_count; ++i) {
    size_t entry = layout.section_table_offset + i * entry_size;
    char name[9] = {};
    std::memcpy(name, &engine[entry], 8);
    if (std::strcmp(name, setup_section_name) == 0) {
      error = "the executable already carries a package";
      return false;
    }
    uint32_t virtual_size = get32(engine, entry + 8), virtual_address = get32(engine, entry + 12);
    uint32_t raw_size = get32(engine, entry + 16), raw_offset = get32(engine, entry + 20);
    virtual_end = std::max<uint64_t>(virtual_end, uint64_t(virtual_address) + std::max(virtual_size, raw_size));
    if (raw_size) raw_end = std::max<uint64_t>(raw_end, uint64_t(raw_offset) + raw_size);
  }
  if (raw_end != engine.size()) {
    error = raw_end < engine.size() ? "the executable has data behind its last section (a signature or an overlay)"
                                    : "the executable is shorter than its sections say";
    return false;
  }
  if (engine.size() % layout.file_alignment != 0) {
    error = "the executable's length is not a multiple of its file alignment";
    return false;
  }
  layout.raw_end = uint32_t(raw_end);
  layout.next_virtual_address = uint32_t(align_up(virtual_end, layout.section_alignment));
  return true;
}

uint32_t setup_section_raw_size(const PeLayout& layout, uint64_t content) {
  return uint32_t(align_up(std::max<uint64_t>(content, 1), layout.section_alignment));
}

void add_setup_section_entry(std::vector<uint8_t>& image, const PeLayout& layout, uint32_t raw_size) {
  size_t entry = layout.section_table_offset + size_t(layout.section_count) * entry_size;
  std::memset(&image[entry], 0, entry_size);
  std::memcpy(&image[entry], setup_section_name, sizeof setup_section_name - 1);
  put32(image, entry + 8, raw_size);
  put32(image, entry + 12, layout.next_virtual_address);
  put32(image, entry + 16, raw_size);
  put32(image, entry + 20, layout.raw_end);
  put32(image, entry + 36, initialized_readable_data);

  put16(image, layout.e_lfanew + 6, uint16_t(layout.section_count + 1));
  put32(image, layout.e_lfanew + 32, get32(image, layout.e_lfanew + 32) + raw_size);
  put32(image, layout.e_lfanew + 80, layout.next_virtual_address + raw_size);
}

}  // namespace halvard
