#include "records/deferred_operations.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace halvard {
namespace {

// UTF-16LE bytes of `units`, written as a u16 literal with its zeros spelled out.
std::vector<std::uint8_t> le_bytes(std::u16string_view units) {
  std::vector<std::uint8_t> bytes;
  for (char16_t unit : units) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return bytes;
}

using Texts = std::vector<std::u16string>;

TEST(PendingCleaner, WrittenFileKeyLowersAsciiLettersOnly) {
  EXPECT_EQ(written_file_key("C:\\Program Files\\ABC\xC4.DLL"), "c:\\program files\\abc\xC4.dll");
}

TEST(PendingList, ParsesWellFormedAndDamagedMultiStrings) {
  using namespace std::string_view_literals;
  struct Case {
    const char* description;
    std::vector<std::uint8_t> bytes;
    Texts expected;
  };
  std::vector<std::uint8_t> odd = le_bytes(u"a\0\0"sv);
  odd.push_back('X');
  const Case cases[] = {
      {"nothing", {}, {}},
      {"only the closing zero", le_bytes(u"\0"sv), {}},
      {"a move", le_bytes(u"a\0b\0\0"sv), {u"a", u"b"}},
      {"a deletion keeps its empty destination", le_bytes(u"a\0\0\0"sv), {u"a", u""}},
      {"deletion then move", le_bytes(u"a\0\0c\0d\0\0"sv), {u"a", u"", u"c", u"d"}},
      {"padding zeros become empty texts", le_bytes(u"a\0b\0\0\0\0"sv), {u"a", u"b", u"", u""}},
      {"no closing zero", le_bytes(u"a\0b\0"sv), {u"a", u"b"}},
      {"last text cut short", le_bytes(u"a\0bc"sv), {u"a", u"bc"}},
      {"odd last byte ignored", odd, {u"a"}},
      {"one stray byte", {0x41}, {}},
      {"non-ASCII units kept", le_bytes(u"\u00e9\u4e2d\0x\0\0"sv), {u"\u00e9\u4e2d", u"x"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(parse_multi_string(c.bytes.data(), c.bytes.size()), c.expected) << c.description;
  EXPECT_TRUE(parse_multi_string(nullptr, 8).empty());
}

TEST(PendingList, PairsAndWritesBackWhatItRead) {
  // An odd count is read as if it ended with an empty destination.
  EXPECT_EQ(pair_pending_texts({u"a", u"b", u"c"}),
            (std::vector<PendingOperation>{{u"a", u"b"}, {u"c", u""}}));
  EXPECT_TRUE(pair_pending_texts({}).empty());

  const std::vector<PendingOperation> list = {
      {u"\\??\\C:\\tmp\\new.dll", u"!\\??\\C:\\app\\lib.dll"},
      {u"\\??\\C:\\old.txt", u""},
      {u"\\??\\C:\\\u00e9t\u00e9", u""},
  };
  std::vector<std::uint8_t> bytes = multi_string_bytes(list);
  EXPECT_EQ(pair_pending_texts(parse_multi_string(bytes.data(), bytes.size())), list);
  // Every text ends with its zero, the list with one more.
  ASSERT_GE(bytes.size(), 6u);
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.end() - 6, bytes.end()),
            std::vector<std::uint8_t>(6, 0));

  bytes = multi_string_bytes({});
  EXPECT_EQ(bytes, std::vector<std::uint8_t>(2, 0));
  EXPECT_TRUE(parse_multi_string(bytes.data(), bytes.size()).empty());
}

TEST(PendingList, PathsAreComparedWithoutPrefixOrCase) {
  struct Case {
    std::u16string text;
    bool lower;
    std::u16string expected;
  };
  const Case cases[] = {
      {u"\\??\\C:\\App\\A.DLL", true, u"c:\\app\\a.dll"},
      {u"!\\??\\C:\\App\\A.DLL", true, u"c:\\app\\a.dll"},
      {u"\\??\\C:\\App\\A.DLL", false, u"C:\\App\\A.DLL"},
      {u"C:\\\u00c9T\u00c9", true, u"c:\\\u00c9t\u00c9"},  // only ASCII letters change
      {u"\\??\\", true, u""},
      {u"", true, u""},
  };
  for (const Case& c : cases) EXPECT_EQ(pending_path(c.text, c.lower), c.expected);
}

TEST(PendingList, CleanerDropsWhatThisRunWroteOrDeleted) {
  const std::unordered_set<std::u16string> files = {u"c:\\app\\lib.dll", u"c:\\app\\gone.txt"};
  const std::vector<PendingOperation> list = {
      {u"\\??\\C:\\Tmp\\Upd1.tmp", u"!\\??\\C:\\APP\\Lib.dll"},  // move onto a fresh file
      {u"\\??\\C:\\other\\x.tmp", u"!\\??\\C:\\other\\x.dll"},    // someone else's move
      {u"\\??\\C:\\App\\Gone.TXT", u""},                          // deletion of a file we removed
      {u"", u""},                                                 // deletion of nothing
      {u"\\??\\C:\\other\\old.txt", u""},                         // someone else's deletion
      {u"\\??\\C:\\app\\lib.dll", u"\\??\\C:\\elsewhere.dll"},    // our file as a source stays
  };
  CleanedPendingList cleaned = clean_pending_list(list, files);
  EXPECT_EQ(cleaned.kept, (std::vector<PendingOperation>{list[1], list[4], list[5]}));
  ASSERT_EQ(cleaned.dropped.size(), 3u);
  EXPECT_TRUE(cleaned.dropped[0].was_move);
  EXPECT_EQ(cleaned.dropped[0].path, u"c:\\app\\lib.dll");
  EXPECT_EQ(cleaned.dropped[0].recycle, u"C:\\Tmp\\Upd1.tmp");
  EXPECT_FALSE(cleaned.dropped[1].was_move);
  EXPECT_EQ(cleaned.dropped[1].path, u"c:\\app\\gone.txt");
  EXPECT_TRUE(cleaned.dropped[1].recycle.empty());
  EXPECT_FALSE(cleaned.dropped[2].was_move);
  EXPECT_EQ(cleaned.dropped[2].path, u"");

  // An empty set still drops the deletions of nothing, and only those.
  cleaned = clean_pending_list(list, {});
  EXPECT_EQ(cleaned.kept.size(), list.size() - 1);
  ASSERT_EQ(cleaned.dropped.size(), 1u);
  EXPECT_EQ(cleaned.dropped[0].path, u"");
}

TEST(PendingList, DroppedPairLogLines) {
  EXPECT_EQ(dropped_operation_log_line(true, "c:\\app\\lib.dll"),
            "File \"c:\\app\\lib.dll\" was removed from the list of pending moves.\r\n");
  EXPECT_EQ(dropped_operation_log_line(false, "c:\\x"),
            "File \"c:\\x\" was removed from the list of pending deletions.\r\n");
}

TEST(Wininit, EntryGoesFirstInTheSectionOrInANewOneAtTheEnd) {
  struct Case {
    const char* description;
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"empty file", "", "[rename]\r\nNUL=C:\\A.TXT"},
      {"no section, ended line", "[boot]\r\nx=1\r\n", "[boot]\r\nx=1\r\n[rename]\r\nNUL=C:\\A.TXT"},
      {"no section, open line", "[boot]\r\nx=1", "[boot]\r\nx=1\r\n[rename]\r\nNUL=C:\\A.TXT"},
      {"section in other case", "[Rename]\r\nNUL=C:\\OLD\r\n",
       "[Rename]\r\nNUL=C:\\A.TXT\r\nNUL=C:\\OLD\r\n"},
      {"section after another", "[boot]\r\n[RENAME]\r\nC:\\B=C:\\C\r\n",
       "[boot]\r\n[RENAME]\r\nNUL=C:\\A.TXT\r\nC:\\B=C:\\C\r\n"},
      {"section written last without line end", "[rename]\r\nNUL=C:\\OLD",
       "[rename]\r\nNUL=C:\\A.TXT\r\nNUL=C:\\OLD"},
      {"header text inside a value is no section", "[boot]\r\nx=[rename]\r\n",
       "[boot]\r\nx=[rename]\r\n[rename]\r\nNUL=C:\\A.TXT"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(add_wininit_entry(c.text, "NUL", "C:\\A.TXT"), c.expected) << c.description;
}

DateTime day(int year, int month, int d, int hour = 0, int minute = 0, int second = 0) {
  DateTime dt{year, month, d, 0, hour, minute, second};
  dt.weekday = weekday_of(dt);
  return dt;
}

TEST(ConditionalDelete, ComparisonDates) {
  struct Case {
    const char* text;
    bool valid;
    DateTime date;
    bool has_time;
  };
  const Case cases[] = {
      {"12/8/2026", true, day(2026, 12, 8), false},
      {"12/08/26", true, day(2026, 12, 8), false},
      {"1/2/99", true, day(1999, 1, 2), false},
      {"2026-12-08", true, day(2026, 12, 8), false},
      {" 2026-12-08 17:05 ", true, day(2026, 12, 8, 17, 5), true},
      {"12/8/26 5:05:09p", true, day(2026, 12, 8, 17, 5, 9), true},
      {"12/8/26 12:00:00a", true, day(2026, 12, 8, 0, 0, 0), true},
      {"12/8/26 12:30 P.M.", true, day(2026, 12, 8, 12, 30), true},
      {"2/29/2024", true, day(2024, 2, 29), false},
      {"", false, {}, false},
      {"2/29/2023", false, {}, false},
      {"13/1/2026", false, {}, false},
      {"0/1/2026", false, {}, false},
      {"1/0/2026", false, {}, false},
      {"1/1/026", false, {}, false},
      {"1/1/0000", false, {}, false},
      {"2026-1-1x", false, {}, false},
      {"1/1/2026 24:00", false, {}, false},
      {"1/1/2026 13:00pm", false, {}, false},
      {"1/1/2026 1:60", false, {}, false},
      {"1/1/2026 1:5", false, {}, false},
      {"1/1/2026 10:00 xm", false, {}, false},
      {"1/1/2026x", false, {}, false},
      {"yesterday", false, {}, false},
      {"123456789/1/2026", false, {}, false},
  };
  for (const Case& c : cases) {
    std::optional<ComparisonDate> parsed = parse_comparison_date(c.text);
    ASSERT_EQ(parsed.has_value(), c.valid) << c.text;
    if (!parsed) continue;
    EXPECT_EQ(parsed->date, c.date) << c.text;
    EXPECT_EQ(parsed->has_time, c.has_time) << c.text;
  }
  // The library's own default texts read back.
  const DateTime evening = day(2026, 12, 8, 17, 5, 9);
  EXPECT_EQ(parse_comparison_date(format(evening, default_date_time_format))->date, evening);
  EXPECT_EQ(parse_comparison_date(format(evening, default_date_format))->date, day(2026, 12, 8));
}

TEST(ConditionalDelete, ComparisonSizesReadLikeTheCLibrary) {
  struct Case {
    const char* text;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"0", 0},          {"1024", 1024},     {" +7", 7},       {"-5", -5},
      {"12kb", 12},      {"", 0},            {"abc", 0},       {"2147483647", 2147483647},
      {"99999999999", 2147483647},           {"-99999999999", -2147483647 - 1},
  };
  for (const Case& c : cases) EXPECT_EQ(parse_comparison_size(c.text), c.expected) << c.text;
}

TEST(ConditionalDelete, VerdictsByKind) {
  const FileFacts empty{0, day(2026, 3, 10, 14, 30, 0)};
  const FileFacts small{100, day(2026, 3, 10, 14, 30, 0)};
  const FileFacts huge{5'000'000'000LL, day(2026, 3, 10, 14, 30, 0)};
  constexpr auto D = ConditionVerdict::Delete;
  constexpr auto K = ConditionVerdict::Keep;
  constexpr auto B = ConditionVerdict::BadDate;
  struct Case {
    std::uint8_t kind;
    const char* value;
    const FileFacts* facts;
    ConditionVerdict expected;
  };
  const Case cases[] = {
      {0, "ignored", &small, D},
      {7, "", &small, D},
      {255, "x", &small, D},
      // Dates without a time compare the day only.
      {1, "3/10/2026", &small, D},
      {1, "3/11/2026", &small, K},
      {2, "3/10/2026", &small, D},
      {2, "3/11/2026", &small, K},
      {3, "3/10/2026", &small, D},
      {3, "3/9/2026", &small, K},
      // With a time, the time of day counts on the same day.
      {1, "3/10/2026 14:30:00", &small, D},
      {1, "3/10/2026 14:30:01", &small, K},
      {2, "3/10/2026 14:30:01", &small, K},
      {2, "3/10/2026 2:30p", &small, D},
      {3, "3/10/2026 14:29", &small, K},
      {3, "3/9/2026 23:59", &small, K},
      {2, "3/9/2026 23:59", &small, D},
      // No date at all makes the package corrupt.
      {1, "", &small, B},
      {2, "not a date", &small, B},
      {3, "2/30/2026", &small, B},
      // Sizes, 64-bit on the file's side.
      {4, "100", &small, D},
      {4, "101", &small, K},
      {4, "", &empty, D},
      {5, "0", &small, D},
      {5, "0", &empty, D},
      {5, "101", &small, K},
      {5, "2147483647", &huge, D},
      {6, "0", &small, K},
      {6, "0", &empty, D},
      {6, "2147483647", &huge, K},
      {6, "-1", &empty, K},
  };
  for (const Case& c : cases) {
    ConditionalDelete entry{"*.tmp", c.kind, c.value, conditional_installing};
    EXPECT_EQ(conditional_verdict(entry, *c.facts), c.expected)
        << "kind " << int(c.kind) << " value \"" << c.value << "\"";
  }
}

TEST(ConditionalDelete, PhasesPatternsAndLogLines) {
  const ConditionalDelete both{"a", 0, "", conditional_installing | conditional_uninstalling};
  const ConditionalDelete install_only{"a", 0, "", conditional_installing | conditional_at_reboot};
  const ConditionalDelete uninstall_only{"a", 0, "", conditional_uninstalling};
  EXPECT_TRUE(applies_in(both, DeletionPhase::Installing));
  EXPECT_TRUE(applies_in(both, DeletionPhase::Uninstalling));
  EXPECT_TRUE(applies_in(install_only, DeletionPhase::Installing));
  EXPECT_FALSE(applies_in(install_only, DeletionPhase::Uninstalling));
  EXPECT_FALSE(applies_in(uninstall_only, DeletionPhase::Installing));
  EXPECT_FALSE(applies_in(ConditionalDelete{"a", 0, "", conditional_at_reboot}, DeletionPhase::Installing));

  EXPECT_TRUE(is_relative_pattern("logs\\*.log"));
  EXPECT_TRUE(is_relative_pattern("*.tmp"));
  EXPECT_FALSE(is_relative_pattern("C:\\x\\*.tmp"));
  EXPECT_FALSE(is_relative_pattern("\\\\server\\share\\*.tmp"));
  EXPECT_FALSE(is_relative_pattern("\\x\\*.tmp"));

  EXPECT_EQ(deleted_file_log_line("C:\\a.tmp"), "Deleted file: C:\\a.tmp\r\n");
  EXPECT_EQ(failed_delete_log_line("C:\\a.tmp", "Access is denied."),
            "Failed to delete file 'C:\\a.tmp': Access is denied.\r\n");
  EXPECT_EQ(delete_after_reboot_log_line("C:\\a.tmp", "In use."),
            "File 'C:\\a.tmp' will be deleted after rebooting: In use.\r\n");
  EXPECT_EQ(failed_registration_line("C:\\a.tmp", "Denied."),
            "Failed to register 'C:\\a.tmp' for deletion: Denied.\r\n");
}

}  // namespace
}  // namespace halvard
