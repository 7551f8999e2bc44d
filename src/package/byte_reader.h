#pragma once
// Bounded little-endian reading of package bytes. Every read compares the length it
// wants with what remains, so no input, however damaged, is read outside its span.
// A failed read returns false (or an empty text) and leaves the position unchanged.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

namespace halvard {

class ByteReader {
 public:
  ByteReader() = default;
  explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  size_t position() const { return position_; }
  size_t remaining() const { return bytes_.size() - position_; }
  bool at_end() const { return position_ == bytes_.size(); }
  std::span<const uint8_t> rest() const { return bytes_.subspan(position_); }

  bool raw(void* out, size_t n) {
    if (n > remaining()) return false;
    if (n) std::memcpy(out, bytes_.data() + position_, n);
    position_ += n;
    return true;
  }
  bool skip(size_t n) {
    if (n > remaining()) return false;
    position_ += n;
    return true;
  }
  // A view of the next n bytes, moved past; empty span and false when they are not there.
  bool take(size_t n, std::span<const uint8_t>& out) {
    if (n > remaining()) return false;
    out = bytes_.subspan(position_, n);
    position_ += n;
    return true;
  }

  bool u8(uint8_t& v) { return raw(&v, 1); }
  bool u16(uint16_t& v) {
    uint8_t b[2];
    if (!raw(b, 2)) return false;
    v = uint16_t(b[0] | b[1] << 8);
    return true;
  }
  bool u32(uint32_t& v) {
    uint8_t b[4];
    if (!raw(b, 4)) return false;
    v = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return true;
  }
  bool i32(int32_t& v) {
    uint32_t u;
    if (!u32(u)) return false;
    v = int32_t(u);
    return true;
  }
  bool f64(double& v) {
    uint8_t b[8];
    if (!raw(b, 8)) return false;
    uint64_t u = 0;
    for (int i = 7; i >= 0; --i) u = u << 8 | b[i];
    std::memcpy(&v, &u, 8);
    return true;
  }

  // Bytes up to a NUL, which is consumed; at the end of the input the text ends there.
  // Returns false only when nothing at all was left to read.
  bool ztext(std::string& out) {
    out.clear();
    if (at_end()) return false;
    const uint8_t* start = bytes_.data() + position_;
    const void* nul = std::memchr(start, 0, remaining());
    size_t length = nul ? size_t(static_cast<const uint8_t*>(nul) - start) : remaining();
    out.assign(reinterpret_cast<const char*>(start), length);
    position_ += length + (nul ? 1 : 0);
    return true;
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t position_ = 0;
};

}  // namespace halvard
