#include "machine/notification.h"

#include <gtest/gtest.h>

namespace halvard {
namespace {

TEST(Notification, AddressByOutcomeFirstMatchWins) {
  InstallSettings s;
  s.NotifyURL1 = "plain";
  s.NotifyURL2 = "upgrade";
  s.NotifyURL3 = "downgrade";
  s.NotifyURL4 = "over";
  EXPECT_EQ(notification_address(s, {}), "plain");
  EXPECT_EQ(notification_address(s, {.upgrade = true, .over_earlier_folder = true}), "upgrade");
  EXPECT_EQ(notification_address(s, {.downgrade = true, .over_earlier_folder = true}), "downgrade");
  EXPECT_EQ(notification_address(s, {.over_earlier_folder = true}), "over");
}

TEST(Notification, VersionPlaceholderInAnyCaseEveryTime) {
  EXPECT_EQ(with_version("http://h/n?v=%version%&again=%VERSION%", "2.5"), "http://h/n?v=2.5&again=2.5");
  EXPECT_EQ(with_version("http://h/%VeRsIoN%%version%", "1"), "http://h/11");
  EXPECT_EQ(with_version("http://h/n", "2.5"), "http://h/n");
  EXPECT_EQ(with_version("%version", "2.5"), "%version");
  EXPECT_EQ(with_version("%%version%%", ""), "%%");
  EXPECT_EQ(with_version("", "2.5"), "");
}

}  // namespace
}  // namespace halvard
