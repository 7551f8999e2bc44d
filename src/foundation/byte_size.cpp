#include "foundation/byte_size.h"

#include <cstdio>

namespace halvard {

std::string format_byte_size(std::int64_t size) {
  char buffer[64];
  constexpr std::int64_t kilo = 1024;
  constexpr std::int64_t mega = kilo * 1024;
  constexpr std::int64_t giga = mega * 1024;
  constexpr std::int64_t tera = giga * 1024;
  const double value = static_cast<double>(size);
  if (size < kilo) {
    // Negative sizes come out as plain bytes of their low 32 bits.
    auto low = static_cast<std::int32_t>(static_cast<std::uint32_t>(size));
    std::snprintf(buffer, sizeof buffer, "%d bytes", static_cast<int>(low));
  } else if (size < mega) {
    std::snprintf(buffer, sizeof buffer, "%.2f KB", value / static_cast<double>(kilo));
  } else if (size < giga) {
    std::snprintf(buffer, sizeof buffer, "%.2f MB", value / static_cast<double>(mega));
  } else if (size < tera) {
    std::snprintf(buffer, sizeof buffer, "%.2f GB", value / static_cast<double>(giga));
  } else {
    std::snprintf(buffer, sizeof buffer, "%.2f TB", value / static_cast<double>(tera));
  }
  return buffer;
}

}  // namespace halvard
