#include "records/background_picture.h"

#include <algorithm>

namespace halvard {

namespace {

uint32_t read_u32(const std::vector<uint8_t>& bytes, size_t at) {
  if (at + 4 > bytes.size()) return 0;
  return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
         uint32_t(bytes[at + 3]) << 24;
}

uint16_t read_u16(const std::vector<uint8_t>& bytes, size_t at) {
  if (at + 2 > bytes.size()) return 0;
  return uint16_t(bytes[at] | bytes[at + 1] << 8);
}

void put_u32(std::string& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(char(value >> shift & 0xFF));
}

// Bytes from the start of the picture to its pixels.
uint64_t pixel_offset(const std::vector<uint8_t>& picture) {
  constexpr uint32_t core_header = 12, info_header = 40, bitfields = 3;
  const uint32_t header = read_u32(picture, 0);
  uint64_t offset = header;
  if (header == core_header) {
    const uint16_t bits = read_u16(picture, 10);
    if (bits <= 8) offset += 3ull << bits;
    return offset;
  }
  const uint16_t bits = read_u16(picture, 14);
  const uint32_t compression = read_u32(picture, 16);
  const uint32_t colours_used = read_u32(picture, 32);
  if (header == info_header && compression == bitfields) offset += 12;
  if (colours_used) {
    offset += 4ull * colours_used;
  } else if (bits <= 8) {
    offset += 4ull << bits;
  }
  return offset;
}

}  // namespace

std::string bitmap_file(const std::vector<uint8_t>& picture) {
  std::string file = "BM";
  const uint64_t size = bitmap_file_header_size + picture.size();
  put_u32(file, uint32_t(std::min<uint64_t>(size, UINT32_MAX)));
  put_u32(file, 0);
  put_u32(file, uint32_t(std::min<uint64_t>(bitmap_file_header_size + pixel_offset(picture), size)));
  file.append(picture.begin(), picture.end());
  return file;
}

std::vector<uint8_t> picture_of_bitmap_file(std::string_view file) {
  if (file.size() <= bitmap_file_header_size || !file.starts_with("BM")) return {};
  return std::vector<uint8_t>(file.begin() + bitmap_file_header_size, file.end());
}

}  // namespace halvard
