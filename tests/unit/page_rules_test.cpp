#include "ui/page_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/option_bits.h"
#include "ui/page_controls.h"

namespace halvard {
namespace {

TEST(PageRules, StyleChoosesTheResource) {
  InstallSettings s;
  s.DialogOptions = {0, 0, 1, 2, 7, -1, 1, 0, 5};
  struct Case {
    Page page;
    PageStyle style;
    std::string_view resource;
  };
  const Case cases[] = {
      {Page::greeting, PageStyle::plain, ""},  // a message box
      {Page::language, PageStyle::side_picture, "LanguageDlg"},
      {Page::license, PageStyle::banner, "LicenseDlg3"},
      {Page::readme, PageStyle::banner, "ReadmeDlg3"},        // 7 counts as the banner
      {Page::directory, PageStyle::banner, "ChooseDirDlg3"},  // so does -1
      {Page::start_menu, PageStyle::side_picture, "StartMenuDlg"},
      {Page::progress, PageStyle::plain, "ProgressDlg2"},
      {Page::summary, PageStyle::banner, "SummaryDlg3"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(page_style(s, c.page), c.style) << int(c.page);
    EXPECT_EQ(page_resource(c.page, c.style), c.resource) << int(c.page);
  }
  // The language and summary pages have no plain layout of their own.
  EXPECT_EQ(page_resource(Page::language, PageStyle::plain), "LanguageDlg3");
  EXPECT_EQ(page_resource(Page::summary, PageStyle::plain), "SummaryDlg3");
}

TEST(PageRules, LanguagePreselection) {
  const std::vector<std::string> with_english = {"Deutsch", "English",
                                                 "Fran\xE7"
                                                 "ais",
                                                 "English (UK)"};
  const std::vector<std::string> without_english = {"Deutsch",
                                                    "Fran\xE7"
                                                    "ais"};
  struct Case {
    const std::vector<std::string>* names;
    std::string_view native;
    size_t expected;
  };
  const Case cases[] = {
      {&with_english, "Deutsch (Deutschland)", 0},  // cut before "(" and trimmed
      {&with_english,
       "Fran\xE7"
       "ais",
       2},
      {&with_english, "English", 1},  // the first that begins with it
      {&with_english, "Suomi", 1},    // not listed: English
      {&with_english, "", 1},         // nothing known: English
      {&with_english, "  (x)", 1},
      {&without_english, "Suomi", 0},  // nor English: the first
      {&without_english,
       "Fran\xE7"
       "ais (France)",
       1},
  };
  for (const Case& c : cases) EXPECT_EQ(preselected_language(*c.names, c.native), c.expected) << c.native;
}

TEST(PageRules, StartMenuFolderRule) {
  const std::pair<std::string_view, bool> cases[] = {
      {"", true},
      {"Maker\\Product", true},
      {"Product 2.0 (beta)", true},
      {"\\Product", false},
      {"Maker\\\\Product", false},
      {"Maker\\", true},
      {"a/b", false},
      {"a\"b", false},
      {"a<b", false},
      {"a>b", false},
      {"a|b", false},
      {"a*b", false},
      {"a?b", false},
      {"C:b", false},
      {"a;b", false},
  };
  for (const auto& [folder, ok] : cases) EXPECT_EQ(start_menu_folder_acceptable(folder), ok) << folder;
}

TEST(PageRules, SummaryChoicesStackInTheirOrder) {
  InstallSettings s;
  s.ExitLaunchProgram = "app.exe";
  s.ExitOpenFile = "site.url";
  s.SetupOptions = setup_option::check_launch_program | setup_option::check_view_file;
  s.ProductFlags.high = product_flag::high_offer_view_log;
  s.ProductFlags.low = product_flag::low_keep_log;
  for (PageStyle style : {PageStyle::plain, PageStyle::side_picture, PageStyle::banner}) {
    const bool banner = style == PageStyle::banner;
    std::vector<SummaryChoice> choices = summary_choices(s, style);
    ASSERT_EQ(choices.size(), 4u);
    EXPECT_EQ(choices[0].control, PAGE_LAUNCH_PROGRAM);
    EXPECT_EQ(choices[1].control, PAGE_VIEW_FILE);
    EXPECT_EQ(choices[2].control, PAGE_OPEN_FILE);
    EXPECT_EQ(choices[3].control, PAGE_VIEW_LOG);
    EXPECT_TRUE(choices[0].present && choices[0].checked);
    EXPECT_FALSE(choices[1].present || choices[1].checked) << "absent items are also unchecked";
    EXPECT_TRUE(choices[2].present && !choices[2].checked);
    EXPECT_TRUE(choices[3].present && !choices[3].checked);
    const int x = banner ? 20 : 102, y = banner ? 78 : 52;
    EXPECT_EQ(choices[0].x, x);
    EXPECT_EQ(choices[0].y, y);
    EXPECT_EQ(choices[2].y, y + 14) << "the absent item takes no row";
    EXPECT_EQ(choices[3].y, y + 28);
    EXPECT_EQ(choices[3].width, 173);
    EXPECT_EQ(choices[3].height, 9);
  }
  // Without a kept log there is nothing to view.
  s.ProductFlags.low = 0;
  EXPECT_FALSE(summary_choices(s, PageStyle::plain)[3].present);
}

TEST(PageRules, SummaryPageOrCompletionBox) {
  InstallSettings s;
  EXPECT_FALSE(summary_page_wanted(s)) << "no choice at all: the completion box";
  s.ProductFlags.high = product_flag::high_offer_view_log;
  EXPECT_FALSE(summary_page_wanted(s)) << "a log offer without a kept log is withdrawn";
  s.ProductFlags.low = product_flag::low_keep_log;
  EXPECT_TRUE(summary_page_wanted(s));
  s.ProductFlags.low |= product_flag::low_reboot;
  EXPECT_FALSE(summary_page_wanted(s));
  s = {};
  s.ExitViewFile = "readme.txt";
  EXPECT_TRUE(summary_page_wanted(s));
}

TEST(PageRules, ViewTextByteOrderMarks) {
  ViewText utf16 =
      view_text(std::string("\xFF\xFE"
                            "A\0\xE9\0",
                            6));
  EXPECT_EQ(utf16.code_page, 0u);
  EXPECT_EQ(utf16.utf16, u"A\u00E9") << "shown without its mark";
  ViewText odd =
      view_text(std::string("\xFF\xFE"
                            "A\0B",
                            5));
  EXPECT_EQ(odd.utf16, u"A") << "a dangling last byte is dropped";
  ViewText utf8 = view_text(
      "\xEF\xBB\xBF"
      "caf\xC3\xA9");
  EXPECT_EQ(utf8.code_page, 65001u);
  EXPECT_EQ(utf8.bytes, "caf\xC3\xA9");
  ViewText ansi = view_text("caf\xE9");
  EXPECT_EQ(ansi.code_page, 1252u);
  EXPECT_EQ(ansi.bytes, "caf\xE9");
  EXPECT_EQ(view_text("").code_page, 1252u);
}

TEST(PageRules, DirectoryDrive) {
  EXPECT_EQ(directory_drive("C:\\Program Files\\X"), 'C');
  EXPECT_EQ(directory_drive("|d:\\caf\xC3\xA9"), 'd');
  EXPECT_EQ(directory_drive("\\\\server\\share"), std::nullopt);
  EXPECT_EQ(directory_drive("1:\\x"), std::nullopt);
  EXPECT_EQ(directory_drive("C"), std::nullopt);
}

TEST(PageRules, ProgressWindowPlacement) {
  const WindowPlace here{50, 60};
  struct Case {
    uint32_t placement;
    WindowPlace expected;
  };
  // Work area (0,0)-(1000,800), window 200 x 100.
  const Case cases[] = {
      {0, {50, 60}},   {1, {0, 60}},         {2, {800, 60}},
      {3, {400, 60}},  {8, {50, 0}},         {16, {50, 700}},
      {24, {50, 350}}, {3 | 24, {400, 350}}, {2 | 16 | 0x80, {800, 700}},  // other bits are not placement
  };
  for (const Case& c : cases) {
    WindowPlace got = progress_window_place(c.placement, here, 200, 100, 0, 0, 1000, 800);
    EXPECT_EQ(got.left, c.expected.left) << c.placement;
    EXPECT_EQ(got.top, c.expected.top) << c.placement;
  }
}

TEST(PageRules, MessageBoxLabelsKeepTheSystemsWhereEmpty) {
  InstallSettings s;
  s.LanguageNames = {"English"};
  s.Messages.assign(101, {std::string()});
  s.Messages[79] = {"&Ja"};
  s.Messages[49] = {"Abbrechen"};
  std::vector<ButtonLabel> labels = message_box_labels(s);
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_EQ(labels[0].button, 6);  // IDYES
  EXPECT_EQ(labels[0].message, 79);
  EXPECT_EQ(labels[1].button, 2);  // IDCANCEL
  EXPECT_EQ(labels[1].message, 49);
  s.Messages[80] = {"&Nein"};
  s.Messages[100] = {"&Wiederholen"};
  labels = message_box_labels(s);
  ASSERT_EQ(labels.size(), 4u);
  EXPECT_EQ(labels[1].button, 7);  // IDNO
  EXPECT_EQ(labels[3].button, 4);  // IDRETRY
  EXPECT_EQ(labels[3].message, 100);
}

}  // namespace
}  // namespace halvard
