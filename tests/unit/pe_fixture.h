#pragma once
// A small, valid 32-bit PE image for tests of the section search, the builder's
// section writer and the engine copy: three sections of 0x200 bytes each.

#include <cstdint>
#include <cstring>
#include <vector>

namespace halvard::testing_pe {

inline void put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
inline void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

inline std::vector<uint8_t> small_engine() {
  std::vector<uint8_t> b(0xA00, 0);
  b[0] = 'M', b[1] = 'Z';
  const uint32_t pe = 128, optional = pe + 24;
  put32(b, 60, pe);
  std::memcpy(&b[pe], "PE\0\0", 4);
  put16(b, pe + 4, 0x14C);
  put16(b, pe + 6, 3);
  put16(b, pe + 20, 224);
  put16(b, optional, 0x10B);
  put32(b, optional + 8, 0x400);      // SizeOfInitializedData
  put32(b, optional + 32, 0x1000);    // SectionAlignment
  put32(b, optional + 36, 0x200);     // FileAlignment
  put32(b, optional + 56, 0x4000);    // SizeOfImage
  put32(b, optional + 60, 0x400);     // SizeOfHeaders
  const char* names[] = {".text", ".rdata", ".data"};
  for (uint32_t i = 0; i < 3; ++i) {
    size_t entry = optional + 224 + i * 40;
    std::memcpy(&b[entry], names[i], std::strlen(names[i]));
    put32(b, entry + 8, 0x180);
    put32(b, entry + 12, 0x1000 * (i + 1));
    put32(b, entry + 16, 0x200);
    put32(b, entry + 20, 0x400 + 0x200 * i);
    for (size_t k = 0; k < 0x200; ++k) b[0x400 + 0x200 * i + k] = uint8_t(i * 37 + k);
  }
  return b;
}

}  // namespace halvard::testing_pe
