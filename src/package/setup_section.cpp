#include "package/setup_section.h"

#include <cstring>

#include "package/package_error_codes.h"

namespace halvard {

namespace code = package_error_code;

namespace {

constexpr uint32_t section_entry_size = 40;

bool read_u16(const ReadAt& read, uint64_t offset, uint16_t& value) {
  uint8_t b[2];
  if (!read(offset, b, 2)) return false;
  value = uint16_t(b[0] | b[1] << 8);
  return true;
}

bool read_u32(const ReadAt& read, uint64_t offset, uint32_t& value) {
  uint8_t b[4];
  if (!read(offset, b, 4)) return false;
  value = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
  return true;
}

SetupSectionLocation failed(int code) {
  SetupSectionLocation location;
  location.outcome = SetupSectionLocation::Outcome::package_error;
  location.package_error = code;
  return location;
}

}  // namespace

uint32_t security_entry_offset(const ReadAt& read, uint32_t e_lfanew) {
  constexpr uint32_t security_index = 4;
  uint16_t magic = 0, optional_header_size = 0;
  if (!read_u16(read, e_lfanew + 20, optional_header_size) || !read_u16(read, e_lfanew + 24, magic)) return 0;
  // PE32 and PE32+ differ in where the data directories start.
  uint32_t directories = 0;
  if (magic == 0x10b)
    directories = 96;
  else if (magic == 0x20b)
    directories = 112;
  else
    return 0;
  uint32_t count = 0;
  if (!read_u32(read, e_lfanew + 24 + directories - 4, count) || count <= security_index) return 0;
  const uint32_t entry = directories + security_index * 8;
  if (entry + 8 > optional_header_size) return 0;
  return e_lfanew + 24 + entry;
}

SetupSectionLocation locate_setup_section(const ReadAt& read) {
  SetupSectionLocation location;

  // e_lfanew is a 32-bit field; reading it whole keeps a large value from passing
  // the range check through its low half.
  if (!read_u32(read, 60, location.e_lfanew) || location.e_lfanew < 64 || location.e_lfanew > 4096)
    return failed(code::bad_pe_header_offset);
  if (!read_u16(read, location.e_lfanew + 6, location.section_count) || location.section_count < 4 ||
      location.section_count > 99) {
    return failed(code::bad_section_count);
  }
  uint16_t optional_header_size = 0;
  if (!read_u16(read, location.e_lfanew + 20, optional_header_size)) return failed(code::bad_section_count);
  location.section_table_offset = location.e_lfanew + 24 + optional_header_size;

  for (int i = 0; i < location.section_count; ++i) {
    uint64_t entry = location.section_table_offset + uint64_t(i) * section_entry_size;
    char name[9] = {};
    if (!read(entry, name, 8)) break;
    if (std::strcmp(name, setup_section_name) != 0) continue;
    if (!read_u32(read, entry + 8, location.VirtualSize) || !read_u32(read, entry + 12, location.VirtualAddress) || !read_u32(read, entry + 16, location.SizeOfRawData) ||
        !read_u32(read, entry + 20, location.PointerToRawData)) {
      break;
    }
    if (location.PointerToRawData == 0) return failed(code::section_offset_zero);
    location.section_index = i;
    location.outcome = SetupSectionLocation::Outcome::found;
    location.security_entry = security_entry_offset(read, location.e_lfanew);
    if (location.security_entry && (!read_u32(read, location.security_entry, location.CertificateTable) ||
                                    !read_u32(read, location.security_entry + 4, location.CertificateSize))) {
      location.CertificateTable = location.CertificateSize = 0;
    }
    return location;
  }
  location.outcome = SetupSectionLocation::Outcome::not_present;
  return location;
}

}  // namespace halvard
