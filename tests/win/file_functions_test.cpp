// Whole-file functions, Windows error texts and drive queries under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "file_test_support.h"
#include "foundation/disk.h"
#include "foundation/file.h"
#include "foundation/file_functions.h"
#include "foundation/windows_error.h"

namespace halvard {
namespace {

using test::bar_name;
using test::exists;
using test::read_all;
using test::ScratchFolder;
using test::write_all;

class FileFunctionsTest : public ::testing::Test {
 protected:
  ScratchFolder folder;
};

TEST_F(FileFunctionsTest, AppendTextWithHeaderNewLineAndLimit) {
  std::string log = folder.file("log.txt");
  ASSERT_TRUE(append_text(log, "one\r\n", 0, 0, "HEADER\r\n"));
  ASSERT_TRUE(append_text(log, "two", 0, 0, "HEADER\r\n"));
  EXPECT_EQ(read_all(log), "HEADER\r\none\r\ntwo");

  // Option 1 starts a fresh line only where the last byte is not a line end.
  ASSERT_TRUE(append_text(log, "three\n", append_new_line));
  ASSERT_TRUE(append_text(log, "four", append_new_line));
  EXPECT_EQ(read_all(log), "HEADER\r\none\r\ntwo\r\nthree\nfour");

  // Past the limit the file is left alone and the call still succeeds.
  std::string before = read_all(log);
  EXPECT_TRUE(append_text(log, "five", 0, 10));
  EXPECT_EQ(read_all(log), before);
  EXPECT_TRUE(append_text(log, "five", 0, static_cast<std::int64_t>(before.size())));
  EXPECT_EQ(read_all(log), before + "five");

  // Option 4: the file must exist.
  std::string absent = folder.file("absent.txt");
  EXPECT_FALSE(append_text(absent, "x", append_must_exist));
  EXPECT_FALSE(exists(absent));
  EXPECT_TRUE(append_text(absent, "x"));
  EXPECT_EQ(read_all(absent), "x");

  EXPECT_FALSE(append_text("", "x"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
  EXPECT_FALSE(append_text(folder.file("no such folder\\x.txt"), "x"));
}

TEST_F(FileFunctionsTest, AppendTextToALockedFileFails) {
  std::string log = folder.file("locked-log.txt");
  write_all(log, "held");
  test::LockingProcess locker(log);
  ASSERT_TRUE(locker.holds_lock());
  EXPECT_FALSE(append_text(log, "x", append_no_retry));
  EXPECT_FALSE(append_text(log, "x"));  // after its hundred retries
  locker.release();
  EXPECT_TRUE(append_text(log, "x", append_no_retry));
  EXPECT_EQ(read_all(log), "heldx");
}

TEST_F(FileFunctionsTest, SaveLoadAndCompare) {
  std::string name = folder.file("data.bin");
  const std::string data = test::pattern_bytes(10000, 3);  // spans three compare blocks
  ASSERT_EQ(save_file(name, data), FileError::Success);
  std::string loaded = "stale";
  ASSERT_EQ(load_file(name, loaded), FileError::Success);
  EXPECT_TRUE(loaded == data);
  EXPECT_TRUE(compare_file(name, data));

  std::string changed = data;
  changed[9000] ^= 1;  // in the last block
  EXPECT_FALSE(compare_file(name, changed));
  EXPECT_FALSE(compare_file(name, data.substr(0, 9999)));
  EXPECT_FALSE(compare_file(name, data + "x"));
  EXPECT_FALSE(compare_file(folder.file("missing.bin"), ""));

  // Saving replaces the whole file.
  ASSERT_EQ(save_file(name, "short"), FileError::Success);
  EXPECT_EQ(read_all(name), "short");
  ASSERT_EQ(save_file(name, ""), FileError::Success);
  ASSERT_EQ(load_file(name, loaded), FileError::Success);
  EXPECT_TRUE(loaded.empty());
  EXPECT_TRUE(compare_file(name, ""));

  EXPECT_EQ(load_file(folder.file("missing.bin"), loaded), FileError::NotFound);
  EXPECT_TRUE(loaded.empty());
  EXPECT_EQ(save_file(folder.file("no such folder\\a.bin"), "x"), FileError::NoDirectory);
  write_all(folder.file("ro.bin"), "old");
  {
    test::ReadOnlyFile read_only(folder.file("ro.bin"));
    if (read_only.holds()) {
      EXPECT_EQ(save_file(folder.file("ro.bin"), "new"), FileError::ReadOnly);
    }
  }

  // A wide name, and a file held open by a writer that shares reading is still loaded.
  std::wstring wide(name.begin(), name.end());
  ASSERT_EQ(save_file(name, "wide"), FileError::Success);
  File writer;
  ASSERT_EQ(writer.open(name, open_flags::OpenExisting | open_flags::ShareRead), FileError::Success);
  ASSERT_EQ(load_file(wide, loaded), FileError::Success);
  EXPECT_EQ(loaded, "wide");
}

DateTime date_time(int year, int month, int day, int hour, int minute, int second) {
  DateTime time;
  time.year = year;
  time.month = month;
  time.day = day;
  time.hour = hour;
  time.minute = minute;
  time.second = second;
  return time;
}

SYSTEMTIME write_time_of(const std::string& name, bool as_local) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &data);
  FILETIME time = data.ftLastWriteTime;
  if (as_local) FileTimeToLocalFileTime(&data.ftLastWriteTime, &time);
  SYSTEMTIME system = {};
  FileTimeToSystemTime(&time, &system);
  return system;
}

TEST_F(FileFunctionsTest, SetFileTimeAsUtcOrLocal) {
  std::string name = folder.file("stamped.txt");
  write_all(name, "x");

  ASSERT_TRUE(set_file_time(name, date_time(2020, 5, 17, 13, 45, 30), file_time_utc));
  SYSTEMTIME utc = write_time_of(name, false);
  EXPECT_EQ(utc.wYear, 2020);
  EXPECT_EQ(utc.wMonth, 5);
  EXPECT_EQ(utc.wDay, 17);
  EXPECT_EQ(utc.wHour, 13);
  EXPECT_EQ(utc.wMinute, 45);
  EXPECT_EQ(utc.wSecond, 30);

  ASSERT_TRUE(set_file_time(name, date_time(2021, 1, 2, 3, 4, 5), file_time_local));
  SYSTEMTIME local = write_time_of(name, true);
  EXPECT_EQ(local.wYear, 2021);
  EXPECT_EQ(local.wDay, 2);
  EXPECT_EQ(local.wHour, 3);
  EXPECT_EQ(local.wSecond, 5);

  EXPECT_FALSE(set_file_time(name, date_time(1999, 1, 1, 0, 0, 0), 2));
  EXPECT_EQ(write_time_of(name, true).wYear, 2021);
  EXPECT_FALSE(set_file_time(name, date_time(2020, 13, 1, 0, 0, 0), file_time_utc));
  EXPECT_FALSE(set_file_time(folder.file("missing.txt"), date_time(2020, 1, 1, 0, 0, 0), 1));
}

TEST_F(FileFunctionsTest, DeleteFileOptions) {
  struct Row {
    const char* description;
    std::string content;
    bool read_only;
    unsigned options;
    bool deleted;
  };
  const Row rows[] = {
      {"plain", "x", false, 0, true},
      {"read-only attribute is cleared", "x", true, 0, true},
      {"0x1 keeps the read-only attribute", "x", true, delete_keep_read_only, false},
      {"0x100 refuses a non-empty file", "x", false, delete_only_empty, false},
      {"0x100 deletes an empty file", "", false, delete_only_empty, true},
      {"0x10 with a deletable file deletes now", "x", false, delete_or_at_restart, true},
  };
  int serial = 0;
  for (const Row& row : rows) {
    std::string name = folder.file("delete" + std::to_string(++serial) + ".txt");
    write_all(name, row.content);
    if (row.read_only) SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(delete_file(name, row.options), row.deleted) << row.description;
    EXPECT_EQ(exists(name), !row.deleted) << row.description;
  }

  EXPECT_FALSE(delete_file(folder.file("missing.txt"), delete_or_at_restart));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(delete_file(folder.file("missing folder\\a.txt")));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(delete_file(""));

  // Options 0x2 and 0x10 with a file in use register for the next restart: tested with
  // the deferred operations, which put the system's pending list back afterwards.

  const std::wstring wide_leaf = L"\u00E9t\u00E9.txt";
  std::wstring wide_name = std::wstring(folder.path().begin(), folder.path().end()) + L"\\" + wide_leaf;
  HANDLE made = CreateFileW(wide_name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  CloseHandle(made);
  ASSERT_TRUE(exists(wide_name));
  EXPECT_TRUE(delete_file(bar_name(folder.file("\xC3\xA9t\xC3\xA9.txt"))));
  EXPECT_FALSE(exists(wide_name));
}

TEST_F(FileFunctionsTest, DeleteToRecycleBinMovesTheFileThere) {
  // Wine keeps its recycle bin in the host's trash folder, found through XDG_DATA_HOME
  // and HOME; the helper process inherits both pointing into the scratch folder, so
  // that the host's own trash is left alone.
  std::string host_folder = test::host_path(folder.path());
  if (host_folder.empty()) GTEST_SKIP() << "not under Wine: the real recycle bin stays untouched";
  std::string name = folder.file("recycled.txt");
  write_all(name, "bin");
  SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_READONLY);  // cleared first

  char home[MAX_PATH] = {};
  DWORD home_length = GetEnvironmentVariableA("HOME", home, MAX_PATH);
  SetEnvironmentVariableA("XDG_DATA_HOME", host_folder.c_str());
  SetEnvironmentVariableA("HOME", host_folder.c_str());
  DWORD exit_code = test::run_helper("file_recycler.exe", test::quoted(name));
  DWORD missing_exit_code =
      test::run_helper("file_recycler.exe", test::quoted(folder.file("missing.txt")));
  SetEnvironmentVariableA("XDG_DATA_HOME", nullptr);
  SetEnvironmentVariableA("HOME", home_length ? home : nullptr);

  EXPECT_EQ(exit_code, 0u);
  EXPECT_FALSE(exists(name));
  EXPECT_EQ(read_all(folder.file("Trash\\files\\recycled.txt")), "bin");
  EXPECT_NE(missing_exit_code, 0u);
}

std::vector<std::string> names_of(const std::vector<FoundFile>& found) {
  std::vector<std::string> names;
  for (const FoundFile& entry : found) names.push_back(entry.ansi_name);
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(FileFunctionsTest, ListFilesFollowsTheSystemWildcards) {
  write_all(folder.file("a.txt"), "1");
  write_all(folder.file("b.txt"), "22");
  write_all(folder.file("ab.log"), "333");
  CreateDirectoryA(folder.file("sub").c_str(), nullptr);
  using Names = std::vector<std::string>;

  EXPECT_EQ(names_of(list_files(folder.file("*.txt"))), (Names{"a.txt", "b.txt"}));
  EXPECT_EQ(names_of(list_files(folder.file("?.txt"))), (Names{"a.txt", "b.txt"}));
  EXPECT_EQ(names_of(list_files(folder.file("a*"))), (Names{"a.txt", "ab.log"}));
  EXPECT_EQ(names_of(list_files(folder.file("*"))),
            (Names{".", "..", "a.txt", "ab.log", "b.txt", "sub"}));
  EXPECT_TRUE(list_files(folder.file("*.none")).empty());
  EXPECT_TRUE(list_files(folder.file("missing\\*")).empty());

  std::vector<FoundFile> found = list_files(folder.file("ab.log"));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].size, 3);
  EXPECT_FALSE(found[0].is_directory());
  EXPECT_NE(found[0].write_time, 0u);
  found = list_files(folder.file("sub"));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_TRUE(found[0].is_directory());

  std::wstring wide_folder(folder.path().begin(), folder.path().end());
  CloseHandle(CreateFileW((wide_folder + L"\\caf\u00E9.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                          CREATE_ALWAYS, 0, nullptr));
  found = list_files(bar_name(folder.file("caf\xC3\xA9.txt")));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, L"caf\u00E9.txt");
}

TEST(WindowsErrorTextTest, FixedTextsAndSystemTexts) {
  EXPECT_EQ(windows_error_text(0), "");
  EXPECT_EQ(windows_error_text(86), "Incorrect password.");
  EXPECT_EQ(windows_error_text(1124), "Unknown");
  EXPECT_EQ(windows_error_text(0x2FFFFFFF), "");
  for (std::uint32_t code : {2u, 3u, 5u, 32u}) {
    std::string text = windows_error_text(code);
    ASSERT_FALSE(text.empty()) << code;
    EXPECT_EQ(std::string(" \t\r\n").find(text.front()), std::string::npos) << code;
    EXPECT_EQ(std::string(" \t\r\n").find(text.back()), std::string::npos) << code;
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(last_windows_error_text(), windows_error_text(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(DiskQueryTest, FreeSpaceAndKindOfDriveC) {
  std::uint64_t free = 0, total = 0;
  ASSERT_TRUE(free_space('C', free, total));
  EXPECT_GT(total, 0u);
  EXPECT_LE(free, total);
  std::uint64_t free_lower = 0, total_lower = 0;
  EXPECT_TRUE(free_space('c', free_lower, total_lower));
  EXPECT_EQ(total_lower, total);
  EXPECT_FALSE(free_space('1', free, total));
  EXPECT_FALSE(free_space('\0', free, total));

  EXPECT_EQ(drive_kind('C'), drive_exists | drive_fixed);
  EXPECT_EQ(drive_kind('c'), drive_exists | drive_fixed);
  EXPECT_EQ(drive_kind('1'), 0u);
}

}  // namespace
}  // namespace halvard
