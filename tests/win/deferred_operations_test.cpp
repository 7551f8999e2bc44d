// Operations deferred to the next restart, against Wine's real registry and files.
// Every test puts the system's pending list back as it found it.
#include "records/deferred_operations.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "file_test_support.h"
#include "foundation/file_functions.h"
#include "foundation/windows_error.h"
#include "package/package_error_codes.h"
#include "records/deferred_operations_win.h"

namespace halvard {
namespace {

using test::exists;
using test::read_all;
using test::ScratchFolder;
using test::write_all;

constexpr wchar_t session_manager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t pending_value[] = L"PendingFileRenameOperations";

// The raw value, so that a test can restore it byte for byte or write damaged data.
using test::RawValue;

RawValue read_raw() { return test::read_raw_value(session_manager, pending_value); }
void write_raw(const RawValue& value) { ASSERT_TRUE(test::write_raw_value(session_manager, pending_value, value)); }

std::u16string u16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }
std::u16string lower(const std::string& ascii) { return pending_path(u16(ascii), true); }

// The pairs of the list whose source (stripped, lower case) is `path`.
std::vector<PendingOperation> pairs_from(const std::string& path) {
  std::vector<PendingOperation> found;
  for (const PendingOperation& operation : read_pending_operations())
    if (pending_path(operation.source, true) == lower(path)) found.push_back(operation);
  return found;
}

class DeferredOperationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = read_raw();
    write_raw(RawValue{});
  }
  void TearDown() override { write_raw(saved_); }

  ScratchFolder folder;

 private:
  RawValue saved_;
};

TEST_F(DeferredOperationsTest, DeleteAndMoveAtRebootRegisterPendingPairs) {
  const std::string doomed = folder.file("Doomed.txt");
  write_all(doomed, "x");
  ASSERT_TRUE(delete_at_reboot(doomed));
  std::vector<PendingOperation> pairs = pairs_from(doomed);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_TRUE(pairs[0].is_deletion());
  EXPECT_TRUE(exists(doomed));  // nothing happens before the restart

  const std::string fresh = folder.file("new.dll.tmp");
  const std::string target = folder.file("lib.dll");
  write_all(fresh, "new");
  write_all(target, "old");
  SetLastError(0);
  ASSERT_TRUE(move_at_reboot(fresh, target));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUSY));
  pairs = pairs_from(fresh);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pending_path(pairs[0].destination, true), lower(target));
  EXPECT_EQ(pairs[0].destination.substr(0, 1), u"!");  // replaces the existing file
  EXPECT_EQ(read_all(target), "old");

  // The file functions' restart options now reach the system's list.
  const std::string later = folder.file("later.txt");
  write_all(later, "x");
  EXPECT_TRUE(delete_file(later, delete_at_restart));
  EXPECT_TRUE(exists(later));
  EXPECT_EQ(pairs_from(later).size(), 1u);

  const std::string busy = folder.file("busy.txt");
  write_all(busy, "x");
  {
    test::LockingProcess locker(busy);
    ASSERT_TRUE(locker.holds_lock());
    EXPECT_TRUE(delete_file(busy, delete_or_at_restart));
  }
  EXPECT_EQ(pairs_from(busy).size(), 1u);

  // A "|" + UTF-8 name keeps a character that the ANSI code page lacks.
  const std::wstring wide_leaf = L"\u4e2d.txt";
  const std::wstring wide_path = std::wstring(folder.path().begin(), folder.path().end()) + L"\\" + wide_leaf;
  CloseHandle(CreateFileW(wide_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(delete_at_reboot(test::bar_name(folder.file("\xE4\xB8\xAD.txt"))));
  bool found = false;
  for (const PendingOperation& operation : read_pending_operations())
    found = found || (operation.is_deletion() &&
                      operation.source.find(u"\\\u4e2d.txt") != std::u16string::npos);
  EXPECT_TRUE(found);
}

TEST_F(DeferredOperationsTest, CleanerDropsOperationsOnTheRunsFiles) {
  const std::string app = folder.path();
  const std::vector<PendingOperation> list = {
      {u16("\\??\\" + app + "\\missing.tmp"), u16("!\\??\\" + app + "\\LIB.DLL")},
      {u16("\\??\\C:\\other\\x.tmp"), u"!\\??\\C:\\other\\\u4e2d.dll"},
      {u16("\\??\\" + app + "\\Gone.txt"), u""},
      {u"", u""},
      {u"\\??\\C:\\other\\old.txt", u""},
  };
  ASSERT_TRUE(write_pending_operations(list));
  // The set holds lower-case paths, as the installation records them.
  std::string lib = app + "\\lib.dll";
  std::string gone = app + "\\gone.txt";
  for (std::string* path : {&lib, &gone}) CharLowerA(path->data());

  std::string log = "before";
  EXPECT_EQ(clean_pending_operations({lib, gone}, &log), 3);
  EXPECT_EQ(log, "before\r\n" + dropped_operation_log_line(true, lib) +
                     dropped_operation_log_line(false, gone) + dropped_operation_log_line(false, ""));
  EXPECT_EQ(read_pending_operations(), (std::vector<PendingOperation>{list[1], list[4]}));

  // Nothing more to drop: the value stays as it is, the log still gets its line break.
  log.clear();
  EXPECT_EQ(clean_pending_operations({lib, gone}, nullptr), 0);
  EXPECT_EQ(clean_pending_operations({lib, gone}, &log), 0);
  EXPECT_EQ(log, "\r\n");

  // No value: no effect, no value made, no log line.
  write_raw(RawValue{});
  log.clear();
  EXPECT_EQ(clean_pending_operations({lib}, &log), 0);
  EXPECT_EQ(log, "");
  EXPECT_FALSE(read_raw().present);
}

TEST_F(DeferredOperationsTest, CleanerReadsAnOddOrCutShortList) {
  const std::string gone = folder.file("gone.txt");
  std::u16string text = u"\\??\\C:\\keep.tmp";
  text.push_back(0);
  text += u"\\??\\C:\\keep.dll";
  text.push_back(0);
  text += u16("\\??\\" + gone);  // a deletion without its empty destination, nor a zero
  RawValue raw{true, REG_MULTI_SZ, {}};
  for (char16_t unit : text) {
    raw.data.push_back(static_cast<BYTE>(unit & 0xFF));
    raw.data.push_back(static_cast<BYTE>(unit >> 8));
  }
  write_raw(raw);
  std::string key = gone;
  CharLowerA(key.data());
  EXPECT_EQ(clean_pending_operations({key}, nullptr), 1);
  EXPECT_EQ(read_pending_operations(),
            (std::vector<PendingOperation>{{u"\\??\\C:\\keep.tmp", u"\\??\\C:\\keep.dll"}}));
  EXPECT_EQ(read_raw().type, static_cast<DWORD>(REG_MULTI_SZ));

  // A value of another type is someone else's business.
  RawValue other{true, REG_SZ, {'x', 0, 0, 0}};
  write_raw(other);
  EXPECT_EQ(clean_pending_operations({key}, nullptr), 0);
  EXPECT_EQ(read_raw().data, other.data);
}

// Runs only in a process of its own (below), so that the recycle bin can be pointed
// into the scratch folder: Wine finds it through the environment at process start.
TEST(DeferredRecycleChild, DISABLED_DroppedMoveSendsItsSourceToTheRecycleBin) {
  char folder[MAX_PATH] = {};
  ASSERT_TRUE(GetEnvironmentVariableA("HV_DEFERRED_RECYCLE_FOLDER", folder, MAX_PATH));
  const std::string base = folder;
  const std::string source = base + "\\Upd1.tmp";
  write_all(source, "temporary");
  ASSERT_TRUE(write_pending_operations({{u16("\\??\\" + source), u16("!\\??\\" + base + "\\App.dll")}}));
  std::string fresh = base + "\\app.dll";
  CharLowerA(fresh.data());
  ASSERT_EQ(clean_pending_operations({fresh}, nullptr), 1);
  EXPECT_FALSE(exists(source));
  EXPECT_TRUE(read_pending_operations().empty());
  if (!HasFailure()) write_all(base + "\\child-passed", "1");
}

TEST_F(DeferredOperationsTest, CleanerRecyclesTheSourceOfADroppedMove) {
  const std::string host_folder = test::host_path(folder.path());
  if (host_folder.empty()) GTEST_SKIP() << "not under Wine: the real recycle bin stays untouched";
  char home[MAX_PATH] = {};
  DWORD home_length = GetEnvironmentVariableA("HOME", home, MAX_PATH);
  SetEnvironmentVariableA("XDG_DATA_HOME", host_folder.c_str());
  SetEnvironmentVariableA("HOME", host_folder.c_str());
  SetEnvironmentVariableA("HV_DEFERRED_RECYCLE_FOLDER", folder.path().c_str());
  DWORD exit_code = test::run_helper("win_tests.exe",
                                     "--gtest_also_run_disabled_tests --gtest_filter=DeferredRecycleChild.*");
  SetEnvironmentVariableA("HV_DEFERRED_RECYCLE_FOLDER", nullptr);
  SetEnvironmentVariableA("XDG_DATA_HOME", nullptr);
  SetEnvironmentVariableA("HOME", home_length ? home : nullptr);

  EXPECT_EQ(exit_code, 0u);
  EXPECT_TRUE(exists(folder.file("child-passed")));
  EXPECT_EQ(read_all(folder.file("Trash\\files\\Upd1.tmp")), "temporary");
}

TEST_F(DeferredOperationsTest, WininitEntriesGoFirstInTheRenameSection) {
  const std::string ini = folder.file("wininit.ini");
  // wininit.exe renames the file after its work, so a missing one is started afresh.
  ASSERT_TRUE(write_wininit_entry_at(ini, "NUL", "C:\\OLD.TXT"));
  EXPECT_EQ(read_all(ini), "[rename]\r\nNUL=C:\\OLD.TXT");
  ASSERT_TRUE(write_wininit_entry_at(ini, "C:\\APP\\LIB.DLL", "C:\\TEMP\\LIB.TMP"));
  EXPECT_EQ(read_all(ini), "[rename]\r\nC:\\APP\\LIB.DLL=C:\\TEMP\\LIB.TMP\r\nNUL=C:\\OLD.TXT");

  const std::string other = folder.file("other.ini");
  write_all(other, "[boot]\r\nshell=x");
  ASSERT_TRUE(write_wininit_entry_at(other, "NUL", "C:\\A"));
  EXPECT_EQ(read_all(other), "[boot]\r\nshell=x\r\n[rename]\r\nNUL=C:\\A");

  // A file that is there but cannot be read, or a folder in its place, fails.
  CreateDirectoryA(folder.file("folder.ini").c_str(), nullptr);
  EXPECT_FALSE(write_wininit_entry_at(folder.file("folder.ini"), "NUL", "C:\\A"));
  EXPECT_FALSE(write_wininit_entry_at(folder.file("no folder\\wininit.ini"), "NUL", "C:\\A"));
}

void set_local_write_time(const std::string& path, WORD year, WORD month, WORD day) {
  SYSTEMTIME local = {};
  local.wYear = year;
  local.wMonth = month;
  local.wDay = day;
  local.wHour = 12;
  FILETIME local_time, utc;
  SystemTimeToFileTime(&local, &local_time);
  LocalFileTimeToFileTime(&local_time, &utc);
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  SetFileTime(file, nullptr, nullptr, &utc);
  CloseHandle(file);
}

TEST_F(DeferredOperationsTest, ConditionalDeletionsByPhaseAndCondition) {
  const std::string dir = folder.path();
  CreateDirectoryA(folder.file("sub").c_str(), nullptr);
  CreateDirectoryA(folder.file("sub\\folder.tmp").c_str(), nullptr);
  write_all(folder.file("sub\\empty.tmp"), "");
  write_all(folder.file("sub\\full.tmp"), "1234");
  write_all(folder.file("sub\\old.tmp"), "12");
  write_all(folder.file("sub\\keep.log"), "log");
  write_all(folder.file("sub\\guarded.dat"), "g");
  set_local_write_time(folder.file("sub\\old.tmp"), 2001, 6, 15);
  SetFileAttributesA(folder.file("sub\\guarded.dat").c_str(),
                     FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);

  const std::vector<ConditionalDelete> rules = {
      {"sub\\*.tmp", 6, "0", conditional_installing},                       // only the empty file
      {dir + "\\sub\\*.tmp", 3, "12/31/2001", conditional_installing},      // only the old file
      {"%SUB%\\guarded.dat", 0, "", conditional_installing},                // protected, still goes
      {"sub\\*.log", 5, "0", conditional_uninstalling},                     // not while installing
      {"nothing\\*.x", 1, "", conditional_installing},                      // no file, no date check
  };
  auto expand = [&](const std::string& pattern) {
    std::string result = pattern;
    if (result.rfind("%SUB%", 0) == 0) result.replace(0, 5, dir + "\\sub");
    return result;
  };
  ConditionalDeleteOutcome outcome =
      apply_conditional_deletions(rules, DeletionPhase::Installing, dir + "\\", expand);
  EXPECT_EQ(outcome.package_error, 0);
  EXPECT_EQ(outcome.log, deleted_file_log_line(dir + "\\sub\\empty.tmp") +
                             deleted_file_log_line(dir + "\\sub\\old.tmp") +
                             deleted_file_log_line(dir + "\\sub\\guarded.dat") + "\r\n");
  EXPECT_EQ(outcome.failures, "");
  EXPECT_FALSE(outcome.reboot_registered);
  EXPECT_TRUE(exists(folder.file("sub\\full.tmp")));
  EXPECT_TRUE(exists(folder.file("sub\\folder.tmp")));
  EXPECT_TRUE(exists(folder.file("sub\\keep.log")));
  EXPECT_FALSE(exists(folder.file("sub\\guarded.dat")));

  // The uninstallation runs only its own rules and writes no log.
  outcome = apply_conditional_deletions(rules, DeletionPhase::Uninstalling, dir);
  EXPECT_EQ(outcome.log, "");
  EXPECT_FALSE(exists(folder.file("sub\\keep.log")));
  EXPECT_TRUE(exists(folder.file("sub\\full.tmp")));

  // Nothing handled: no line break either.
  outcome = apply_conditional_deletions(rules, DeletionPhase::Installing, dir, expand);
  EXPECT_EQ(outcome.log, "");

  // A date rule without a date makes the package corrupt once a file matches.
  outcome = apply_conditional_deletions({{"sub\\*.tmp", 2, "", conditional_installing},
                                         {"sub\\*.tmp", 0, "", conditional_installing}},
                                        DeletionPhase::Installing, dir);
  EXPECT_EQ(outcome.package_error, package_error_code::deletion_without_date);
  EXPECT_TRUE(exists(folder.file("sub\\full.tmp")));  // the run stopped there
}

TEST_F(DeferredOperationsTest, ConditionalDeletionOfAFileInUse) {
  const std::string dir = folder.path();
  const std::string busy = folder.file("busy.dat");
  write_all(busy, "in use");
  test::LockingProcess locker(busy);
  ASSERT_TRUE(locker.holds_lock());
  SetLastError(ERROR_SHARING_VIOLATION);
  const std::string reason = last_windows_error_text();

  ConditionalDeleteOutcome outcome = apply_conditional_deletions(
      {{"busy.dat", 0, "", conditional_installing}}, DeletionPhase::Installing, dir);
  EXPECT_EQ(outcome.log, failed_delete_log_line(busy, reason) + "\r\n");
  EXPECT_FALSE(outcome.reboot_registered);
  EXPECT_TRUE(pairs_from(busy).empty());

  outcome = apply_conditional_deletions(
      {{"busy.dat", 0, "", conditional_installing | conditional_at_reboot}}, DeletionPhase::Installing, dir);
  EXPECT_EQ(outcome.log, delete_after_reboot_log_line(busy, reason) + "\r\n");
  EXPECT_EQ(outcome.failures, "");
  EXPECT_TRUE(outcome.reboot_registered);
  EXPECT_EQ(pairs_from(busy).size(), 1u);

  write_raw(RawValue{});
  outcome = apply_conditional_deletions(
      {{"busy.dat", 0, "", conditional_uninstalling | conditional_at_reboot}}, DeletionPhase::Uninstalling,
      dir);
  EXPECT_EQ(outcome.log, "");
  EXPECT_TRUE(outcome.reboot_registered);
  EXPECT_EQ(pairs_from(busy).size(), 1u);
}

// Wine carries out the pending list when the prefix restarts, as Windows does at boot.
TEST_F(DeferredOperationsTest, RestartCarriesOutThePendingList) {
  if (test::host_path(folder.path()).empty()) GTEST_SKIP() << "restarts only a Wine prefix";
  const std::string fresh = folder.file("new.tmp");
  const std::string target = folder.file("app.dll");
  const std::string doomed = folder.file("doomed.txt");
  write_all(fresh, "new bytes");
  write_all(target, "old bytes");
  write_all(doomed, "x");
  ASSERT_TRUE(move_at_reboot(fresh, target));
  ASSERT_TRUE(delete_at_reboot(doomed));

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  char command[] = "wineboot.exe -r";
  ASSERT_TRUE(CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &process));
  const bool ended = WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0;
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  ASSERT_TRUE(ended);

  EXPECT_EQ(read_all(target), "new bytes");
  EXPECT_FALSE(exists(fresh));
  EXPECT_FALSE(exists(doomed));
  EXPECT_TRUE(pairs_from(fresh).empty());
}

}  // namespace
}  // namespace halvard
