#include "installer/uninstall_registration_icon.h"

namespace halvard {
namespace {

constexpr size_t directory_size = 6;
constexpr size_t file_entry_size = 16;      // IconEntryHeader: 12 bytes as in the group, then the image offset
constexpr size_t shared_entry_bytes = 12;   // width, height, colours, reserved, planes, bit count, byte size

uint32_t le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t le32(const uint8_t* p) { return le16(p) | le16(p + 2) << 16; }

void put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

}  // namespace

std::optional<IconResources> icon_resources(std::span<const uint8_t> icon_file) {
  if (icon_file.size() < directory_size) return std::nullopt;
  const size_t count = le16(icon_file.data() + 4);
  if (count == 0 || (icon_file.size() - directory_size) / file_entry_size < count) return std::nullopt;
  IconResources out;
  out.group.reserve(directory_size + count * 14);
  put16(out.group, 0);
  put16(out.group, 1);
  put16(out.group, uint32_t(count));
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* entry = icon_file.data() + directory_size + i * file_entry_size;
    const uint64_t size = le32(entry + 8);
    const uint64_t offset = le32(entry + 12);
    if (offset > icon_file.size() || size > icon_file.size() - offset) return std::nullopt;
    out.images.push_back(icon_file.subspan(size_t(offset), size_t(size)));
    out.group.insert(out.group.end(), entry, entry + shared_entry_bytes);
    put16(out.group, uint32_t(i + 1));
  }
  return out;
}

}  // namespace halvard
