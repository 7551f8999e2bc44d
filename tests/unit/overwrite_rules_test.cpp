#include "installer/overwrite_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace halvard {
namespace {

constexpr char dest[] = "C:\\Program Files\\Product\\file.dll";

constexpr FileDate packaged{2020, 5, 6, 10, 20, 30};
constexpr FileDate second_older{2020, 5, 6, 10, 20, 29};
constexpr FileDate day_newer{2020, 5, 7, 10, 20, 30};
constexpr FileDate no_time{2020, 5, 6, -1, 0, 0};
constexpr FileDate no_date{0, 0, 0, 10, 20, 30};

ExistingFile missing() { return {}; }
ExistingFile present(FileDate date, std::string version = {}) { return {true, true, date, std::move(version)}; }
ExistingFile undated(std::string version = {}) { return {true, false, {}, std::move(version)}; }

struct OverwriteCase {
  const char* name;
  uint32_t kind;
  uint32_t flags;
  FileDate date;             // the record's FileDate
  std::string version;       // the record's VersionText
  ExistingFile existing;
  bool write;
  std::string_view log;      // written after the path; empty: no line
  bool record_existing;
  bool existed;              // what the writer is told
};

// Every overwrite mode and every kind rule against a file that is (or is not) there,
// with the line each writes to the installation log.
TEST(OverwriteRules, PlanPerModeAndKind) {
  const OverwriteCase cases[] = {
      // Mode 0x04: never written, never logged, whatever lies there.
      {"never, file there", 0, 0x04, packaged, "", present(second_older), false, "", false, false},
      {"never, nothing there", 0, 0x04, packaged, "", missing(), false, "", false, false},
      {"never, shared kind", 1, 0x04, packaged, "", present(second_older), false, "", false, false},
      // Mode 0x08: only over an existing file.
      {"only existing, nothing there", 0, 0x08, packaged, "", missing(), false, "", false, false},
      {"only existing, file there", 0, 0x08, packaged, "", present(day_newer), true, "", false, false},
      // Mode 0x0C: an existing file stays; kinds 0, 5, 9-12 without bit 5 are still recorded.
      {"keep existing, kind 0", 0, 0x0C, packaged, "", present(packaged), false, log_already_exists, true, false},
      {"keep existing, kind 5", 5, 0x0C, packaged, "", present(packaged), false, log_already_exists, true, false},
      {"keep existing, kind 12", 12, 0x0C, packaged, "", present(packaged), false, log_already_exists, true, false},
      {"keep existing, kind 0 kept", 0, 0x0C | 0x20, packaged, "", present(packaged), false, log_already_exists,
       false, false},
      {"keep existing, kind 6", 6, 0x0C, packaged, "", present(packaged), false, log_already_exists, false, false},
      {"keep existing, kind 1", 1, 0x0C, packaged, "", present(packaged), false, log_already_exists, false, false},
      {"keep existing, nothing there", 0, 0x0C, packaged, "", missing(), true, "", false, false},
      // Mode 0x10: an existing file with a later complete date stays.
      {"keep newer, existing newer", 0, 0x10, packaged, "", present(day_newer), false, log_existing_newer, false,
       false},
      {"keep newer, same date", 0, 0x10, packaged, "", present(packaged), true, "", false, false},
      {"keep newer, existing older", 0, 0x10, packaged, "", present(second_older), true, "", false, false},
      {"keep newer, date unreadable", 0, 0x10, packaged, "", undated(), true, "", false, false},
      {"keep newer, package without time", 0, 0x10, no_time, "", present(day_newer), true, "", false, false},
      {"keep newer, existing incomplete", 0, 0x10, packaged, "", present(no_time), true, "", false, false},
      {"keep newer before the shared rule", 1, 0x10, packaged, "", present(day_newer), false, log_existing_newer,
       false, false},
      // Kinds 1 and 4: up to date unless older than the packaged date and time.
      {"shared, same date", 1, 0, packaged, "", present(packaged), false, log_up_to_date, false, true},
      {"shared, existing newer", 1, 0, packaged, "", present(day_newer), false, log_up_to_date, false, true},
      {"shared, one second older", 1, 0, packaged, "", present(second_older), true, log_out_of_date, false, true},
      {"shared, package without time", 1, 0, no_time, "", present(day_newer), true, log_out_of_date, false, true},
      {"font, date unreadable", 4, 0, packaged, "", undated(), true, log_out_of_date, false, true},
      {"font, same date", 4, 0, packaged, "", present(packaged), false, log_up_to_date, false, true},
      {"shared, nothing there", 1, 0, packaged, "", missing(), true, "", false, false},
      {"shared after only-existing", 1, 0x08, packaged, "", present(second_older), true, log_out_of_date, false,
       true},
      // Kinds 6 to 9: the version rule, then the date rule.
      {"system, newer version and date", 6, 0, packaged, "2.5.0.2", present(second_older, "2.5.0.1"), true,
       log_out_of_date, false, true},
      {"com server, same version", 7, 0, packaged, "2.5.0.1", present(second_older, "2.5.0.1"), false,
       log_version_not_newer, false, true},
      {"type library, older version", 8, 0, packaged, "2.4", present(second_older, "2.5.0.1"), false,
       log_version_not_newer, false, true},
      {"com server, newer version, older date", 7, 0, packaged, "3.0", present(day_newer, "2.5"), false,
       log_date_not_newer, false, true},
      {"system, same date", 6, 0, packaged, "", present(packaged), false, log_date_not_newer, false, true},
      {"system, no existing version", 6, 0, packaged, "1.0", present(second_older), true, log_out_of_date, false,
       true},
      {"system, no package version", 6, 0, packaged, "", present(second_older, "9.9"), true, log_out_of_date, false,
       true},
      {"system, date unreadable", 6, 0, packaged, "", undated(), true, log_out_of_date, false, true},
      {"system, package without date", 6, 0, no_date, "", present(day_newer), true, log_out_of_date, false, true},
      {"system, nothing there", 6, 0, packaged, "1.0", missing(), true, "", false, false},
      {"versioned, version not newer", 9, 0, packaged, "1.0", present(second_older, "1.0"), false,
       log_version_not_newer, true, true},
      {"versioned, date not newer", 9, 0, packaged, "", present(day_newer), false, log_date_not_newer, true, true},
      {"versioned kept, version not newer", 9, 0x20, packaged, "1.0", present(second_older, "1.0a"), false,
       log_version_not_newer, false, true},
      {"versioned, replaced", 9, 0x20, packaged, "1.1", present(second_older, "1.0"), true, log_out_of_date, false,
       true},
      // Other kinds: no rule, and the writer hears "did not exist".
      {"plain, file there", 0, 0, packaged, "9.9", present(day_newer, "10.0"), true, "", false, false},
      {"shortcut file, file there", 5, 0, packaged, "", present(day_newer), true, "", false, false},
      {"msi, file there", 11, 0, packaged, "", present(day_newer), true, "", false, false},
      {"unknown mode bits", 0, 0x18, packaged, "", present(day_newer), true, "", false, false},
  };
  for (const OverwriteCase& c : cases) {
    SCOPED_TRACE(c.name);
    FileRecord record;
    record.Kind = c.kind;
    record.Flags = c.flags;
    record.FileDate = c.date;
    record.VersionText = c.version;
    OverwritePlan plan = plan_overwrite(record, dest, c.existing);
    EXPECT_EQ(plan.write, c.write);
    EXPECT_EQ(plan.log, c.log.empty() ? std::string() : std::string(dest) + std::string(c.log));
    EXPECT_EQ(plan.record_existing, c.record_existing);
    EXPECT_EQ(plan.existed, c.existed);
  }
}

TEST(OverwriteRules, ExactLogTexts) {
  EXPECT_EQ(log_already_exists, " was not installed because it already exists.\r\n");
  EXPECT_EQ(log_existing_newer, " was not installed because the existing file is newer.\r\n");
  EXPECT_EQ(log_up_to_date, " is up to date.\r\n");
  EXPECT_EQ(log_out_of_date, " is out of date and will be replaced.\r\n");
  EXPECT_EQ(log_version_not_newer, " was not installed because its version is not newer.\r\n");
  EXPECT_EQ(log_date_not_newer, " was not installed because its date is not newer.\r\n");
}

TEST(OverwriteRules, FactsAreGatheredOnlyWhenARuleReadsThem) {
  auto needs = [](uint32_t kind, uint32_t flags, std::string version) {
    FileRecord record;
    record.Kind = kind;
    record.Flags = flags;
    record.VersionText = std::move(version);
    NeededFacts facts = needed_facts(record);
    return std::string(facts.existence ? "e" : "-") + (facts.date ? "d" : "-") + (facts.version ? "v" : "-");
  };
  EXPECT_EQ(needs(0, 0, "1.0"), "---");
  EXPECT_EQ(needs(6, 0x04, "1.0"), "---");
  EXPECT_EQ(needs(0, 0x08, ""), "e--");
  EXPECT_EQ(needs(0, 0x0C, ""), "e--");
  EXPECT_EQ(needs(0, 0x10, ""), "ed-");
  EXPECT_EQ(needs(4, 0, "1.0"), "ed-");
  EXPECT_EQ(needs(7, 0, "1.0"), "edv");
  EXPECT_EQ(needs(9, 0, ""), "ed-");
}

TEST(OverwriteRules, FileDateOrder) {
  struct DateCase {
    FileDate a, b;
    int expected;  // sign of compare(a, b)
  };
  const DateCase cases[] = {
      {packaged, packaged, 0},
      {second_older, packaged, -1},
      {day_newer, packaged, 1},
      {{2021, 1, 1, 0, 0, 0}, {2020, 12, 31, 23, 59, 59}, 1},  // the date decides before the time
      {no_date, packaged, 1},                                  // without a date counts as newer
      {packaged, no_date, -1},
      {no_time, packaged, 1},                                  // same date, without a time counts as newer
      {{2020, 5, 5, -1, 0, 0}, packaged, -1},                  // an earlier date still decides
      {{0, 0, 0, -1, 0, 0}, {0, 0, 0, -5, 1, 1}, 0},           // nothing on either side
      {{0, 0, 0, 10, 0, 0}, {0, 0, 0, 9, 59, 59}, 1},          // times alone
  };
  for (const DateCase& c : cases) {
    int sign = compare_file_dates(c.a, c.b);
    EXPECT_EQ((sign > 0) - (sign < 0), c.expected) << c.a.year << "-" << c.a.month << "-" << c.a.day << " "
                                                   << c.a.hour;
  }
  EXPECT_TRUE(is_complete(packaged));
  EXPECT_FALSE(is_complete(no_time));
  EXPECT_FALSE(is_complete(no_date));
}

TEST(OverwriteRules, RemovalRecordsByKindAndFlag) {
  // kind -> {file recorded, folder recorded} with bit 5 clear.
  const struct {
    uint32_t kind;
    bool file, folder;
  } cases[] = {{0, true, true},  {1, false, true},  {4, false, false}, {5, true, true},   {6, false, false},
               {7, false, false}, {8, false, false}, {9, true, true},   {10, true, true},  {11, true, true},
               {12, true, true}};
  for (const auto& c : cases) {
    FileRecord record;
    record.Kind = c.kind;
    EXPECT_EQ(records_file_for_removal(record), c.file) << c.kind;
    EXPECT_EQ(records_folder_for_removal(record), c.folder) << c.kind;
    record.Flags = file_flag::keep_at_uninstall;
    EXPECT_FALSE(records_file_for_removal(record)) << c.kind;
    EXPECT_FALSE(records_folder_for_removal(record)) << c.kind;
  }
}

TEST(OverwriteRules, VersionTextFromTheResource) {
  EXPECT_EQ(clean_version_text(" 2, 5, 0, 1 \r\n"), "2. 5. 0. 1");
  EXPECT_EQ(clean_version_text("\t1.0\t"), "1.0");
  EXPECT_EQ(clean_version_text(" \r\n\t"), "");
  EXPECT_EQ(clean_version_text(""), "");
}

TEST(OverwriteRules, AttributesTakeOnlyTheMaskedBits) {
  // Current, wanted, result.
  EXPECT_EQ(applied_attributes(0x20, 0x1), 0x1u);              // archive cleared, read-only set
  EXPECT_EQ(applied_attributes(0x20, 0x0), 0x80u);             // none left: normal
  EXPECT_EQ(applied_attributes(0x80, 0x7), 0x7u);              // normal never beside other bits
  EXPECT_EQ(applied_attributes(0x2020, 0x2), 0x2002u);         // not-indexed (0x2000) stays
  EXPECT_EQ(applied_attributes(0x20, 0xFFFFEED8), 0x80u);      // bits outside 0x1127 are not given
  EXPECT_EQ(applied_attributes(0x20, 0x1127), 0x1127u);
}

TEST(OverwriteRules, DriveLetter) {
  EXPECT_EQ(drive_letter("q:\\a\\b"), 'q');
  EXPECT_EQ(drive_letter("|Z:\\x"), 'Z');
  EXPECT_EQ(drive_letter("\\\\server\\share\\x"), std::nullopt);
  EXPECT_EQ(drive_letter("1:\\x"), std::nullopt);
  EXPECT_EQ(drive_letter("C"), std::nullopt);
}

TEST(OverwriteRules, FailureTexts) {
  EXPECT_EQ(file_failure_line("Could not create", "C:\\a.dll", "Access denied."),
            "Could not create C:\\a.dll\r\nAccess denied.\r\n\r\n");
  EXPECT_EQ(folder_failure_text("No folder", "C:\\P\\sub", folder_is_file_reason, "C:\\P\\sub\\a.txt"),
            "No folder C:\\P\\sub\r\nCannot create directory because there is a file with the same name.\r\n\r\n"
            "Not installed: C:\\P\\sub\\a.txt\r\n\r\n");
  EXPECT_EQ(replacement_registered_text("C:\\a.dll", "C:\\FKT1.tmp"),
            "\"C:\\a.dll\" was successfully registered for replacement.\r\nTemporary file is \"C:\\FKT1.tmp\"\r\n"
            "Reboot will be required.\r\n\r\n");
  EXPECT_EQ(no_temporary_file_text("C:\\a.dll", "Disk full."),
            "Failed to register 'C:\\a.dll' for replacement because no temporary file could be created.\r\n"
            "Disk full.\r\n\r\n");
  EXPECT_EQ(replacement_failed_text("C:\\a.dll", "C:\\FKT1.tmp", "Denied."),
            "Failed to register 'C:\\a.dll' for replacement with temporary file 'C:\\FKT1.tmp'\r\nDenied.\r\n\r\n");
}

TEST(OverwriteRules, InUseDecision) {
  struct InUseCase {
    const char* name;
    const char* destination;
    InUseFacts facts;
    bool replace;
    std::string report;
  };
  const std::string head = "\r\nNot created C:\\P\\a.dll\r\n";
  const InUseCase cases[] = {
      {"existed", "C:\\P\\a.dll", {true, false, 32, "In use.", true}, true, head + "In use.\r\n\r\n"},
      {"new, bit 11 clear", "C:\\P\\a.dll", {false, false, 32, "In use.", true}, false, head + "In use.\r\n\r\n"},
      {"new, bit 11 set", "C:\\P\\a.dll", {false, true, 32, "In use.", true}, true, head + "In use.\r\n\r\n"},
      {"invalid name", "C:\\P\\a.dll", {true, true, 123, "Bad name.", true}, false, head + "Bad name.\r\n\r\n"},
      {"no error text", "C:\\P\\a.dll", {true, false, 9999, "", true}, true, head},
      {"drive missing", "Q:\\P\\a.dll", {true, true, 3, "No path.", false}, false,
       "\r\nNot created Q:\\P\\a.dll\r\nDrive Q: is not present.\r\n"},
  };
  for (const InUseCase& c : cases) {
    SCOPED_TRACE(c.name);
    InUsePlan plan = plan_in_use("Not created", c.destination, c.facts);
    EXPECT_EQ(plan.replace, c.replace);
    EXPECT_EQ(plan.report, c.report);
  }
}

}  // namespace
}  // namespace halvard
