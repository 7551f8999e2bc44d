#include "installer/version_compare.h"

#include <gtest/gtest.h>

#include <string>

namespace halvard {
namespace {

struct VersionCase {
  const char* newer;
  const char* older;  // equal to `newer` when `equal`
  bool equal;
};

// Each row is checked both ways round, so that the order is antisymmetric.
TEST(VersionCompare, OrdersVersionTexts) {
  const VersionCase cases[] = {
      {"1.2", "1.2", true},
      {"2.5.0.1", "2.5.0.1", true},
      {"1.10", "1.9", false},                // numbers, not text
      {"1.2.1", "1.2", false},               // a prefix is older
      {"1.2", "", false},
      {"1.2a", "1.2", false},                // no letter is the lowest
      {"1.2b", "1.2a", false},
      {"1.2a", "1.2B", false},               // by character code
      {"1.1", "1.0z", false},                // numbers before letters
      {"1a.2b", "1b.2a", false},             // the last letter seen wins
      {".5", "0.5", true},                   // a leading dot stands for 0
      {"1.0.5", ".5", false},
      {"1..2", "1.2", true},                 // dots between numbers add nothing
      {"Version 3 (build 12)", "3.11", false},
      {"007", "7", true},
      {"18446744073709551616", "18446744073709551614", false},  // saturates, no wrap to 0
  };
  for (const VersionCase& c : cases) {
    SCOPED_TRACE(std::string(c.newer) + " / " + c.older);
    if (c.equal) {
      EXPECT_EQ(compare_versions(c.newer, c.older), 0);
      EXPECT_EQ(compare_versions(c.older, c.newer), 0);
    } else {
      EXPECT_GT(compare_versions(c.newer, c.older), 0);
      EXPECT_LT(compare_versions(c.older, c.newer), 0);
    }
  }
}

TEST(VersionCompare, ParsesNumbersAndSuffix) {
  VersionNumbers version = parse_version(".4.12c-rc7");
  EXPECT_EQ(version.numbers, (std::vector<uint64_t>{0, 4, 12, 7}));
  EXPECT_EQ(version.suffix, 'c');
  EXPECT_TRUE(parse_version("").numbers.empty());
  EXPECT_EQ(parse_version("").suffix, 0);
}

}  // namespace
}  // namespace halvard
