#include "installer/version_compare.h"

#include <algorithm>
#include <limits>

namespace halvard {

namespace {
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
}  // namespace

VersionNumbers parse_version(std::string_view text) {
  constexpr uint64_t most = std::numeric_limits<uint64_t>::max();
  VersionNumbers version;
  for (size_t i = 0; i < text.size();) {
    char c = text[i];
    if (is_digit(c)) {
      uint64_t value = 0;
      for (; i < text.size() && is_digit(text[i]); ++i) {
        uint64_t digit = uint64_t(text[i] - '0');
        value = value > (most - digit) / 10 ? most : value * 10 + digit;
      }
      version.numbers.push_back(value);
      continue;
    }
    if (c == '.' && version.numbers.empty()) version.numbers.push_back(0);
    if (is_letter(c)) version.suffix = c;
    ++i;
  }
  return version;
}

int compare_versions(std::string_view a, std::string_view b) {
  VersionNumbers left = parse_version(a);
  VersionNumbers right = parse_version(b);
  size_t common = std::min(left.numbers.size(), right.numbers.size());
  for (size_t i = 0; i < common; ++i) {
    if (left.numbers[i] != right.numbers[i]) return left.numbers[i] < right.numbers[i] ? -1 : 1;
  }
  if (left.numbers.size() != right.numbers.size()) return left.numbers.size() < right.numbers.size() ? -1 : 1;
  unsigned char l = static_cast<unsigned char>(left.suffix), r = static_cast<unsigned char>(right.suffix);
  return l == r ? 0 : (l < r ? -1 : 1);
}

}  // namespace halvard
