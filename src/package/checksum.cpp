#include "package/checksum.h"

namespace halvard {
namespace {

uint32_t load_le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

uint32_t Checksum32(std::span<const uint8_t> bytes) {
  Checksum32Builder builder;
  builder.add(bytes);
  return builder.result();
}

void Checksum32Builder::add(std::span<const uint8_t> bytes) {
  length_ += bytes.size();
  size_t i = 0;
  while (pending_count_ > 0 && pending_count_ < 4 && i < bytes.size()) pending_[pending_count_++] = bytes[i++];
  if (pending_count_ == 4) {
    sum_ += load_le32(pending_);
    pending_count_ = 0;
  }
  for (; bytes.size() - i >= 4; i += 4) sum_ += load_le32(&bytes[i]);
  while (i < bytes.size()) pending_[pending_count_++] = bytes[i++];
}

uint32_t Checksum32Builder::result() const {
  if (length_ == 0) return checksum_seed;
  uint32_t sum = sum_;
  for (size_t i = 0; i < pending_count_; ++i) sum += uint32_t(int32_t(int8_t(pending_[i])));
  // The format counts the length as a 32-bit number.
  return sum + uint32_t(length_);
}

}  // namespace halvard
