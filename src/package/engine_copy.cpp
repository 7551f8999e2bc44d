#include "package/engine_copy.h"

#include <algorithm>
#include <cstring>

#include "package/checksum.h"

namespace halvard {
namespace {

constexpr size_t section_entry_size = 40;

uint32_t get32(std::span<const uint8_t> b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// The image checksum Windows computes: 16-bit words with end-around carry, the field
// itself left out, plus the file length.
uint32_t pe_checksum(const std::vector<uint8_t>& b, size_t field) {
  uint64_t sum = 0;
  for (size_t i = 0; i < b.size(); i += 2) {
    if (i >= field && i < field + 4) continue;
    sum += b[i] | (i + 1 < b.size() ? b[i + 1] << 8 : 0);
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return uint32_t(sum) + uint32_t(b.size());
}

}  // namespace

uint32_t engine_checksum(std::span<const uint8_t> before_section, uint32_t e_lfanew, uint32_t security_entry) {
  size_t start = size_t(e_lfanew) + 92;
  if (start > before_section.size()) start = before_section.size();
  uint32_t sum = Checksum32(before_section.subspan(start));
  // The sum adds whole words from `start` on; the entry's two words take no part.
  if (security_entry >= start && (security_entry - start) % 4 == 0 && security_entry + 8 <= before_section.size()) {
    sum -= get32(before_section, security_entry) + get32(before_section, security_entry + 4);
  }
  return sum;
}

uint64_t signed_content_end(const SetupSectionLocation& section, uint64_t file_size) {
  const uint64_t table = section.CertificateTable;
  if (table == 0 || section.CertificateSize == 0 || table < section.PointerToRawData || table > file_size)
    return file_size;
  return table;
}

uint64_t disk_region_end(const SetupSectionLocation& section, uint64_t file_size, uint64_t region_start,
                         int64_t data_size) {
  const uint64_t end = signed_content_end(section, file_size);
  if (end == file_size || data_size < 0 || end % 8 != 0) return end;
  const uint64_t data_end = region_start + uint64_t(data_size);
  return data_end < end && end - data_end < 8 ? data_end : end;
}

uint64_t engine_copy_tail_end(const SetupSectionLocation& section, uint64_t data_offset, bool data_on_disk,
                              uint64_t file_size) {
  const uint64_t end = signed_content_end(section, file_size);
  if (!data_on_disk) return end;
  return std::min<uint64_t>(end, uint64_t(section.PointerToRawData) + data_offset);
}

bool build_engine_copy(std::span<const uint8_t> before_section, std::span<const uint8_t> tail,
                       const SetupSectionLocation& section, std::vector<uint8_t>& copy) {
  const size_t e_lfanew = section.e_lfanew;
  const size_t count = section.section_count;
  const size_t index = size_t(section.section_index);
  const size_t table_end = size_t(section.section_table_offset) + count * section_entry_size;
  if (section.section_index < 0 || index >= count || e_lfanew + 84 > before_section.size() ||
      table_end > before_section.size()) {
    return false;
  }

  copy.assign(before_section.begin(), before_section.end());
  copy.insert(copy.end(), tail.begin(), tail.end());

  const uint32_t removed = section.SizeOfRawData;
  copy[e_lfanew + 6] = uint8_t(count - 1);
  copy[e_lfanew + 7] = uint8_t((count - 1) >> 8);
  put32(copy, e_lfanew + 32, get32(copy, e_lfanew + 32) - removed);
  put32(copy, e_lfanew + 80, get32(copy, e_lfanew + 80) - removed);

  // Close the gap in the section table. Only the table's own entries move, and the
  // freed last entry is cleared, so nothing outside the headers is read or kept.
  for (size_t i = index; i + 1 < count; ++i) {
    size_t entry = section.section_table_offset + i * section_entry_size;
    std::memmove(&copy[entry], &copy[entry + section_entry_size], section_entry_size);
    // Sections behind the removed one now start that much earlier in the file;
    // entries without raw data (offset 0) stay as they are.
    uint32_t raw_offset = get32(copy, entry + 20);
    if (raw_offset > section.PointerToRawData) put32(copy, entry + 20, raw_offset - removed);
  }
  std::memset(&copy[section.section_table_offset + (count - 1) * section_entry_size], 0, section_entry_size);

  if (section.security_entry && section.security_entry + 8 <= table_end)
    std::memset(&copy[section.security_entry], 0, 8);
  constexpr size_t checksum_field = 88;
  if (get32(copy, e_lfanew + checksum_field))
    put32(copy, e_lfanew + checksum_field, pe_checksum(copy, e_lfanew + checksum_field));
  return true;
}

}  // namespace halvard
