#include "records/product_lock.h"

#include <cstdint>

#include "foundation/text.h"

namespace halvard {
namespace {

constexpr char prefix[] = "Halvard Setup product ";
constexpr size_t longest_kept = 160;

uint64_t fnv1a(std::string_view text) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (unsigned char c : text) hash = (hash ^ c) * 0x100000001b3ull;
  return hash;
}

}  // namespace

std::string product_lock_name(std::string_view key_name) {
  std::string name = ascii_lowered(key_name);
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  if (name.size() > longest_kept) {
    uint64_t hash = fnv1a(name);
    name.resize(longest_kept);
    name += '#';
    for (int shift = 60; shift >= 0; shift -= 4) name += "0123456789abcdef"[(hash >> shift) & 0xf];
  }
  return prefix + name;
}

std::string product_busy_text(std::string_view product) {
  return std::string(product) +
         " is being installed or removed by another program.\r\n\r\nPlease try again when it has finished.";
}

}  // namespace halvard
