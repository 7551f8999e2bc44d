#include "text_encoding.h"

#include <cstdint>

namespace halvard::builder {
namespace {

// Code points of the bytes 0x80 to 0x9F; 0 where the code page has no character.
constexpr char16_t high_block[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

std::optional<char> encode(uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return char(cp);
  for (int i = 0; i < 32; ++i)
    if (high_block[i] && high_block[i] == cp) return char(0x80 + i);
  return std::nullopt;
}

void append_utf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::optional<std::string> utf8_to_cp1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const auto b = uint8_t(utf8[i]);
    uint32_t cp = 0;
    size_t extra = 0;
    if (b < 0x80) {
      cp = b;
    } else if ((b & 0xE0) == 0xC0) {
      cp = b & 0x1F, extra = 1;
    } else if ((b & 0xF0) == 0xE0) {
      cp = b & 0x0F, extra = 2;
    } else if ((b & 0xF8) == 0xF0) {
      cp = b & 0x07, extra = 3;
    } else {
      return std::nullopt;
    }
    if (extra && i + extra >= utf8.size()) return std::nullopt;
    for (size_t k = 1; k <= extra; ++k) {
      const auto c = uint8_t(utf8[i + k]);
      if ((c & 0xC0) != 0x80) return std::nullopt;
      cp = (cp << 6) | (c & 0x3F);
    }
    const auto ch = encode(cp);
    if (!ch) return std::nullopt;
    out += *ch;
    i += extra + 1;
  }
  return out;
}

std::string cp1252_to_utf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto b = uint8_t(c);
    uint32_t cp = b;
    if (b >= 0x80 && b < 0xA0) cp = high_block[b - 0x80] ? high_block[b - 0x80] : 0xFFFD;
    append_utf8(out, cp);
  }
  return out;
}

}  // namespace halvard::builder
