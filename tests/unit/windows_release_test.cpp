#include "installer/windows_release.h"

#include <gtest/gtest.h>

namespace halvard {
namespace {

TEST(WindowsReleaseTest, VersionNumbersPickTheirBit) {
  struct Case {
    bool nt;
    uint32_t major, minor;
    std::string_view name;
  } cases[] = {
      {false, 4, 0, "Windows 95"}, {false, 4, 10, "Windows 98"}, {false, 4, 90, "Windows Me"},
      {true, 4, 0, "Windows NT 4.0"}, {true, 5, 0, "Windows 2000"}, {true, 5, 1, "Windows XP"},
      {true, 5, 2, "Windows Server 2003"}, {true, 6, 0, "Windows Vista"}, {true, 6, 1, "Windows 7"},
      {true, 6, 2, "Windows 8"}, {true, 6, 3, "Windows 8.1"}, {true, 10, 0, "Windows 10 or later"},
      {true, 11, 0, "Windows 10 or later"},
  };
  for (const Case& c : cases) {
    int bit = windows_release_bit(c.nt, c.major, c.minor);
    ASSERT_GE(bit, 0);
    ASSERT_LT(size_t(bit), windows_releases().size());
    EXPECT_EQ(windows_releases()[size_t(bit)].name, c.name) << c.major << "." << c.minor;
  }
}

}  // namespace
}  // namespace halvard
