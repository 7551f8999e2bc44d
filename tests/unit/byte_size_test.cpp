#include "foundation/byte_size.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace halvard {
namespace {

TEST(FormatByteSize, UnitsOf1024) {
  struct Case {
    std::int64_t size;
    const char* expected;
  };
  constexpr std::int64_t kib = 1024;
  constexpr std::int64_t mib = kib * 1024;
  constexpr std::int64_t gib = mib * 1024;
  constexpr std::int64_t tib = gib * 1024;
  const Case cases[] = {
      {0, "0 bytes"},
      {1, "1 bytes"},
      {1023, "1023 bytes"},
      {kib, "1.00 KB"},
      {kib + 512, "1.50 KB"},
      {kib + 128, "1.13 KB"},  // exactly 1.125: a half rounds up, whatever runtime formats it
      {kib + 127, "1.12 KB"},
      {mib - 1, "1024.00 KB"},  // rounds up without moving to the next unit
      {mib, "1.00 MB"},
      {5 * mib / 2, "2.50 MB"},
      {gib - 1, "1024.00 MB"},
      {gib, "1.00 GB"},
      {3 * gib, "3.00 GB"},
      {tib - 1, "1024.00 GB"},
      {tib, "1.00 TB"},
      {2048 * tib, "2048.00 TB"},
      {-1, "-1 bytes"},
      {-5000000000, "-705032704 bytes"},  // negative: the low 32 bits
  };
  for (const auto& c : cases) {
    EXPECT_EQ(format_byte_size(c.size), c.expected) << c.size;
  }
}

}  // namespace
}  // namespace halvard
