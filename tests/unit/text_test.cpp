#include "foundation/text.h"

#include <gtest/gtest.h>

namespace halvard {
namespace {

TEST(FormatMessage, ConversionsFilledInOrderWithoutPrintf) {
  EXPECT_EQ(format_message("Needs %s on drive %c:, only %s free.", {"12 MB", "D", "3 MB"}),
            "Needs 12 MB on drive D:, only 3 MB free.");
  EXPECT_EQ(format_message("100%% of %s", {"C:\\x"}), "100% of C:\\x");
  // More conversions than values (a translator's slip) give empty text, never a crash.
  EXPECT_EQ(format_message("%s and %s and %d", {"one"}), "one and  and ");
  // A value's own percent signs are not read again.
  EXPECT_EQ(format_message("Folder %s exists", {"C:\\100%s"}), "Folder C:\\100%s exists");
  // Conversions printf would take differently stay as text.
  EXPECT_EQ(format_message("%x %5s %", {"a"}), "%x %5s %");
}

}  // namespace
}  // namespace halvard
