#include "foundation/byte_size.h"

#include <cstdio>

namespace halvard {

std::string format_byte_size(std::int64_t size) {
  char buffer[64];
  if (size < 1024) {
    // Negative sizes come out as plain bytes of their low 32 bits.
    auto low = static_cast<std::int32_t>(static_cast<std::uint32_t>(size));
    std::snprintf(buffer, sizeof buffer, "%d bytes", static_cast<int>(low));
    return buffer;
  }
  static const char* const units[] = {"KB", "MB", "GB", "TB"};
  int unit = 0;
  while (unit < 3 && size >> (10 * (unit + 2)) != 0) ++unit;
  // Hundredths in whole numbers, a half rounded up: the same text whatever C runtime
  // formats it, and no binary fraction in between.
  const int shift = 10 * (unit + 1);
  const std::int64_t whole = size >> shift;
  const std::int64_t part = size & ((std::int64_t(1) << shift) - 1);
  std::int64_t hundredths = whole * 100 + ((part * 100 + (std::int64_t(1) << (shift - 1))) >> shift);
  std::snprintf(buffer, sizeof buffer, "%lld.%02lld %s", static_cast<long long>(hundredths / 100),
                static_cast<long long>(hundredths % 100), units[unit]);
  return buffer;
}

}  // namespace halvard
