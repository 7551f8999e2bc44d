#include "text_encoding.h"

#include <cstdint>
#include <cstdio>
#include <vector>

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

// One UTF-8 sequence at `i`: its code point and length; false when the bytes there are
// not UTF-8.
bool decode(std::string_view utf8, size_t i, uint32_t& cp, size_t& length) {
  const auto b = uint8_t(utf8[i]);
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
    return false;
  }
  if (extra && i + extra >= utf8.size()) return false;
  for (size_t k = 1; k <= extra; ++k) {
    const auto c = uint8_t(utf8[i + k]);
    if ((c & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (c & 0x3F);
  }
  length = extra + 1;
  return true;
}

// The combining marks that decomposed Latin names use, by name (no Unicode database).
struct MarkName {
  uint32_t mark;
  const char* name;
};
constexpr MarkName mark_names[] = {
    {0x0300, "COMBINING GRAVE ACCENT"}, {0x0301, "COMBINING ACUTE ACCENT"},
    {0x0302, "COMBINING CIRCUMFLEX ACCENT"}, {0x0303, "COMBINING TILDE"},
    {0x0304, "COMBINING MACRON"}, {0x0306, "COMBINING BREVE"},
    {0x0307, "COMBINING DOT ABOVE"}, {0x0308, "COMBINING DIAERESIS"},
    {0x030A, "COMBINING RING ABOVE"}, {0x030B, "COMBINING DOUBLE ACUTE ACCENT"},
    {0x030C, "COMBINING CARON"}, {0x0323, "COMBINING DOT BELOW"},
    {0x0327, "COMBINING CEDILLA"}, {0x0328, "COMBINING OGONEK"},
};

// Letter + mark = a character Windows-1252 has.
struct Composition {
  char base;
  uint32_t mark;
  uint32_t composed;
};
constexpr Composition compositions[] = {
    {'A', 0x300, 0xC0}, {'E', 0x300, 0xC8}, {'I', 0x300, 0xCC}, {'O', 0x300, 0xD2}, {'U', 0x300, 0xD9},
    {'a', 0x300, 0xE0}, {'e', 0x300, 0xE8}, {'i', 0x300, 0xEC}, {'o', 0x300, 0xF2}, {'u', 0x300, 0xF9},
    {'A', 0x301, 0xC1}, {'E', 0x301, 0xC9}, {'I', 0x301, 0xCD}, {'O', 0x301, 0xD3}, {'U', 0x301, 0xDA},
    {'Y', 0x301, 0xDD}, {'a', 0x301, 0xE1}, {'e', 0x301, 0xE9}, {'i', 0x301, 0xED}, {'o', 0x301, 0xF3},
    {'u', 0x301, 0xFA}, {'y', 0x301, 0xFD}, {'A', 0x302, 0xC2}, {'E', 0x302, 0xCA}, {'I', 0x302, 0xCE},
    {'O', 0x302, 0xD4}, {'U', 0x302, 0xDB}, {'a', 0x302, 0xE2}, {'e', 0x302, 0xEA}, {'i', 0x302, 0xEE},
    {'o', 0x302, 0xF4}, {'u', 0x302, 0xFB}, {'A', 0x303, 0xC3}, {'N', 0x303, 0xD1}, {'O', 0x303, 0xD5},
    {'a', 0x303, 0xE3}, {'n', 0x303, 0xF1}, {'o', 0x303, 0xF5}, {'A', 0x308, 0xC4}, {'E', 0x308, 0xCB},
    {'I', 0x308, 0xCF}, {'O', 0x308, 0xD6}, {'U', 0x308, 0xDC}, {'Y', 0x308, 0x178}, {'a', 0x308, 0xE4},
    {'e', 0x308, 0xEB}, {'i', 0x308, 0xEF}, {'o', 0x308, 0xF6}, {'u', 0x308, 0xFC}, {'y', 0x308, 0xFF},
    {'A', 0x30A, 0xC5}, {'a', 0x30A, 0xE5}, {'C', 0x327, 0xC7}, {'c', 0x327, 0xE7}, {'S', 0x30C, 0x160},
    {'s', 0x30C, 0x161}, {'Z', 0x30C, 0x17D}, {'z', 0x30C, 0x17E},
};

uint32_t compose(uint32_t base, uint32_t mark) {
  for (const Composition& c : compositions)
    if (uint32_t(uint8_t(c.base)) == base && c.mark == mark) return c.composed;
  return 0;
}

std::string code_point_text(uint32_t cp) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", unsigned(cp));
  std::string out = text;
  for (const MarkName& m : mark_names)
    if (m.mark == cp) out += std::string(" ") + m.name;
  return out;
}

}  // namespace

std::string cp1252_refusal(std::string_view utf8, std::string* composed) {
  if (composed) composed->clear();
  std::string first;
  std::string whole;
  bool composable = true;
  uint32_t previous = 0;  // the last character taken whole, 0 after a composed one
  size_t characters = 0;
  for (size_t i = 0; i < utf8.size();) {
    uint32_t cp = 0;
    size_t length = 0;
    ++characters;
    if (!decode(utf8, i, cp, length)) {
      char text[64];
      std::snprintf(text, sizeof text, "byte %zu (0x%02X) is not UTF-8", i + 1, unsigned(uint8_t(utf8[i])));
      return first.empty() ? text : first;
    }
    if (encode(cp)) {
      append_utf8(whole, cp);
      previous = cp;
    } else {
      if (first.empty()) first = "character " + std::to_string(characters) + " is " + code_point_text(cp);
      if (const uint32_t c = previous ? compose(previous, cp) : 0) {
        // Take the letter back and put the composed character in its place.
        whole.pop_back();
        append_utf8(whole, c);
        previous = 0;
      } else {
        composable = false;
      }
    }
    i += length;
  }
  if (composed && !first.empty() && composable) *composed = whole;
  return first;
}

std::string escape_for_cp1252(std::string_view utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    uint32_t cp = 0;
    size_t length = 0;
    char text[16];
    if (!decode(utf8, i, cp, length)) {
      std::snprintf(text, sizeof text, "\\x%02X", unsigned(uint8_t(utf8[i])));
      out += text;
      ++i;
      continue;
    }
    if (encode(cp)) {
      out.append(utf8.substr(i, length));
    } else {
      std::snprintf(text, sizeof text, cp > 0xFFFF ? "\\U%08X" : "\\u%04X", unsigned(cp));
      out += text;
    }
    i += length;
  }
  return out;
}

std::optional<std::string> utf8_to_cp1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    uint32_t cp = 0;
    size_t length = 0;
    if (!decode(utf8, i, cp, length)) return std::nullopt;
    const auto ch = encode(cp);
    if (!ch) return std::nullopt;
    out += *ch;
    i += length;
  }
  return out;
}

bool is_utf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    uint32_t cp = 0;
    size_t length = 0;
    if (!decode(text, i, cp, length))
      return false;
    i += length;
  }
  return true;
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
