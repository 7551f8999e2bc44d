#pragma once
// A small, valid PE image for tests of the section search, the builder's section
// writer and the engine copy: three sections of 0x200 bytes each. PE32 for i386 (the
// x86 engine) by default, or PE32+ for AMD64 (the x64 engine) with the same sections.

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

enum class Image { pe32, pe32_plus };

inline std::vector<uint8_t> small_engine(Image image = Image::pe32) {
  const bool plus = image == Image::pe32_plus;
  const uint16_t optional_size = plus ? 240 : 224;  // the data directories sit 16 bytes later
  std::vector<uint8_t> b(0xA00, 0);
  b[0] = 'M', b[1] = 'Z';
  const uint32_t pe = 128, optional = pe + 24;
  put32(b, 60, pe);
  std::memcpy(&b[pe], "PE\0\0", 4);
  put16(b, pe + 4, plus ? 0x8664 : 0x14C);
  put16(b, pe + 6, 3);
  put16(b, pe + 20, optional_size);
  put16(b, optional, plus ? 0x20B : 0x10B);
  if (plus) put32(b, optional + 28, 0x1);  // the high half of a 64-bit ImageBase
  put32(b, optional + 8, 0x400);      // SizeOfInitializedData
  put32(b, optional + 32, 0x1000);    // SectionAlignment
  put32(b, optional + 36, 0x200);     // FileAlignment
  put32(b, optional + 56, 0x4000);    // SizeOfImage
  put32(b, optional + 60, 0x400);     // SizeOfHeaders
  put32(b, optional + (plus ? 108 : 92), 16);  // NumberOfRvaAndSizes
  const char* names[] = {".text", ".rdata", ".data"};
  for (uint32_t i = 0; i < 3; ++i) {
    size_t entry = optional + optional_size + i * 40;
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
