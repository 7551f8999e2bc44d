#include "installer/shortcut_rules.h"

#include <gtest/gtest.h>

#include "foundation/disk.h"

namespace halvard {
namespace {

TEST(ShortcutRules, LinkNamesAndFolders) {
  EXPECT_EQ(link_file_path("C:\\Menu\\Tool"), "C:\\Menu\\Tool.LNK");
  EXPECT_EQ(link_file_path("C:\\Menu\\Tool.lnk"), "C:\\Menu\\Tool.lnk");
  EXPECT_EQ(link_file_path("C:\\Menu\\My.Lnk files\\Tool"), "C:\\Menu\\My.Lnk files\\Tool");  // "anywhere"
  EXPECT_EQ(link_file_path("C:\\Menu\\Tool.url"), "C:\\Menu\\Tool.url.LNK");

  EXPECT_EQ(link_working_folder("  C:\\App\\\\ "), "C:\\App");
  EXPECT_EQ(link_working_folder("C:\\"), "C:\\");
  EXPECT_EQ(link_working_folder("C:"), "C:\\");
  EXPECT_EQ(link_working_folder(""), "");
  EXPECT_EQ(unquoted_folder(" \" C:\\App \" "), "C:\\App");
  EXPECT_EQ(unquoted_folder("\"C:\\App"), "\"C:\\App");

  EXPECT_EQ(link_flags(0, false), 0u);
  EXPECT_EQ(link_flags(1, true), link_all_users | link_minimised);
  EXPECT_EQ(link_flags(2, false), link_maximised);
}

TEST(ShortcutRules, TildeArgumentsNameTheProgram) {
  auto split = split_tilde_arguments("~\"C:\\Program Files\\Tool\\tool.exe\" /open \"a b\"");
  ASSERT_TRUE(split);
  EXPECT_EQ(split->target, "C:\\Program Files\\Tool\\tool.exe");
  EXPECT_EQ(split->arguments, "/open \"a b\"");
  split = split_tilde_arguments("~\"tool.exe\"");
  ASSERT_TRUE(split);
  EXPECT_EQ(split->target, "tool.exe");
  EXPECT_EQ(split->arguments, "");
  EXPECT_FALSE(split_tilde_arguments("/open ~\"x\""));
  EXPECT_FALSE(split_tilde_arguments("~tool.exe"));
  EXPECT_FALSE(split_tilde_arguments("~\"unclosed"));
}

TEST(ShortcutRules, RootShortcutOnlyOnAUsbDrive) {
  const unsigned usb = drive_exists | drive_removable;
  struct Case {
    unsigned kind;
    std::optional<int> bus;
    char letter;
    bool allowed;
  };
  const Case cases[] = {
      {usb, 7, 'E', true},
      {usb, std::nullopt, 'E', true},  // bus unknown: any letter but A and B
      {usb, std::nullopt, 'a', false},
      {usb, std::nullopt, 'B', false},
      {usb, 7, 'A', true},    // the bus says USB, whatever the letter
      {usb, 11, 'E', false},  // an SD card reader's bus
      {drive_exists | drive_fixed, 7, 'C', false},
      {drive_exists | drive_remote, std::nullopt, 'N', false},
      {drive_exists | drive_read_only_media, std::nullopt, 'D', false},
      {usb | drive_fixed, 7, 'E', false},
      {0, std::nullopt, 'E', false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(usb_root_shortcut_allowed(c.kind, c.bus, c.letter), c.allowed) << c.kind << " " << c.letter;
}

}  // namespace
}  // namespace halvard
