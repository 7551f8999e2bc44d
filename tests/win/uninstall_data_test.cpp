// "Uninstall.DAT" and "Install.LOG" on disk under Wine: the whole-file replacement that
// never leaves a part of a file in place of a good one, the round trip through the
// file, and the log's appended text.
#include "records/uninstall_data.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "file_test_support.h"
#include "foundation/date_time.h"
#include "foundation/file.h"
#include "records/install_log.h"
#include "records/uninstall_data_win.h"

namespace halvard {
namespace {

using test::exists;
using test::read_all;
using test::ScratchFolder;
using test::write_all;

UninstallData sample_data(const std::string& folder) {
  UninstallData data;
  data.removal.record(folder + "\\app.exe", RemovalKind::File);
  data.removal.record(folder + "\\Data", RemovalKind::Folder);
  data.texts[10] = "Some files could not be removed:\r\n%s";
  data.installing_text = "Installing...";
  data.auto_close.push_back({"AppWindow", "My App, Main", "app.exe", 2, 0x4});
  data.associations.push_back({".hvt", "Halvard.Test", "open"});
  data.msi.push_back(msi_line("C:\\runtime.msi", 3));
  data.registry_script = "\\HKCU\\Software\\HalvardTest\r\n";
  data.conditional_deletes.push_back({"*.log", 1, "", 8});
  return data;
}

class UninstallDataFileTest : public ::testing::Test {
 protected:
  ScratchFolder folder;
  std::string dat = folder.file("Uninstall.DAT");
};

TEST_F(UninstallDataFileTest, RoundTripThroughTheFile) {
  const UninstallData data = sample_data(folder.path());
  ASSERT_TRUE(write_uninstall_data_file(folder.path(), data));
  EXPECT_EQ(read_all(dat), write_uninstall_data(data));
  EXPECT_FALSE(exists(replacement_temp_name(dat)));

  UninstallData read;
  read.inf.push_back("stale");
  ASSERT_EQ(read_uninstall_data_file(dat, read), FileError::Success);
  EXPECT_EQ(read, parse_uninstall_data(write_uninstall_data(data)));
  EXPECT_EQ(read.removal, data.removal);
  EXPECT_EQ(read.auto_close, data.auto_close);
}

TEST_F(UninstallDataFileTest, ALongerOlderFileIsReplacedWhole) {
  write_all(dat, std::string(100000, 'x'));
  UninstallData data;
  data.removal.record("C:\\only\\file.txt", RemovalKind::File);
  ASSERT_TRUE(write_uninstall_data_file(folder.path() + "\\", data));
  EXPECT_EQ(read_all(dat), write_uninstall_data(data));
}

TEST_F(UninstallDataFileTest, AFailedWriteLeavesTheGoodFileAlone) {
  const std::string good = write_uninstall_data(sample_data(folder.path()));
  write_all(dat, good);
  UninstallData shorter;
  shorter.removal.record("C:\\left\\over.txt", RemovalKind::File);

  // The temporary cannot be created: a folder holds its name.
  ASSERT_TRUE(CreateDirectoryA(replacement_temp_name(dat).c_str(), nullptr));
  const WriteOutcome blocked = write_uninstall_data_file(folder.path(), shorter);
  EXPECT_FALSE(blocked);
  EXPECT_NE(blocked.windows_error, 0u);
  EXPECT_EQ(GetLastError(), blocked.windows_error);
  EXPECT_EQ(read_all(dat), good);
  RemoveDirectoryA(replacement_temp_name(dat).c_str());

  // The file cannot be replaced: another process holds it without sharing.
  {
    test::LockingProcess locker(dat);
    ASSERT_TRUE(locker.holds_lock());
    EXPECT_FALSE(write_uninstall_data_file(folder.path(), shorter));
    EXPECT_FALSE(exists(replacement_temp_name(dat)));
  }
  EXPECT_EQ(read_all(dat), good);

  // The folder is missing.
  EXPECT_FALSE(write_uninstall_data_file(folder.file("missing"), shorter));

  ASSERT_TRUE(write_uninstall_data_file(folder.path(), shorter));
  EXPECT_EQ(read_all(dat), write_uninstall_data(shorter));
}

// A write that runs out of disk space half-way. Needs a folder on a small file system
// (such as a 64 KiB tmpfs seen through Z:), named by HALVARD_SMALL_DISK_FOLDER.
TEST(UninstallDataFullDisk, TheGoodFileSurvivesAFullDisk) {
  char small[MAX_PATH] = {};
  if (!GetEnvironmentVariableA("HALVARD_SMALL_DISK_FOLDER", small, MAX_PATH))
    GTEST_SKIP() << "HALVARD_SMALL_DISK_FOLDER is not set";
  ULARGE_INTEGER free_bytes = {};
  ASSERT_TRUE(GetDiskFreeSpaceExA(small, &free_bytes, nullptr, nullptr));
  const std::string dat = uninstall_folder_file(small, uninstall_data_file_name);
  const std::string good = write_uninstall_data(sample_data(small));
  write_all(dat, good);

  UninstallData huge;
  for (int i = 0; huge.removal.entries().size() * 40 < free_bytes.QuadPart * 2; ++i)
    huge.removal.record(std::string(small) + "\\file-number-" + std::to_string(i) + ".dat",
                        RemovalKind::File);
  const WriteOutcome full = write_uninstall_data_file(small, huge);
  EXPECT_FALSE(full);
  EXPECT_NE(full.windows_error, 0u);
  EXPECT_EQ(read_all(dat), good);
  EXPECT_FALSE(exists(replacement_temp_name(dat)));
  DeleteFileA(dat.c_str());
}

TEST_F(UninstallDataFileTest, UnicodeFolderName) {
  const std::string unicode =
      test::bar_name(folder.path() + "\\\xD0\x94\xC3\xA9");  // "Дé" in UTF-8
  const std::wstring wide = name_to_wide(unicode);
  ASSERT_TRUE(CreateDirectoryW(wide.c_str(), nullptr));
  const UninstallData data = sample_data("C:\\App");
  ASSERT_TRUE(write_uninstall_data_file(unicode, data));
  UninstallData read;
  ASSERT_EQ(
      read_uninstall_data_file(uninstall_folder_file(unicode, uninstall_data_file_name), read),
      FileError::Success);
  EXPECT_EQ(read, parse_uninstall_data(write_uninstall_data(data)));
}

TEST_F(UninstallDataFileTest, AMissingFileGivesTheLoadFailure) {
  UninstallData read;
  read.inf.push_back("stale");
  const FileError error = read_uninstall_data_file(dat, read);
  EXPECT_EQ(error, FileError::NotFound);
  EXPECT_EQ(read, UninstallData{});
  EXPECT_EQ(uninstall_data_load_failure("Tool", dat, error),
            "The uninstall information for Tool could not be loaded.\r\n\r\nFilepath: " + dat +
                "\r\nCode 3: The file was not found.");
}

TEST_F(UninstallDataFileTest, InstallLogIsAppendedRunAfterRun) {
  const std::string log = uninstall_folder_file(folder.path(), install_log_file_name);
  LogHeader header;
  header.product_name = "Tool";
  header.now = {2026, 3, 7, 7, 14, 5, 9};
  header.install_dir = folder.path();
  header.os_description = "Test OS";

  ASSERT_TRUE(append_install_log(log, header, "File one\r\n", "", "Setup complete"));
  const std::string first = finish_log_text(header, false, "File one\r\n", "", "Setup complete");
  EXPECT_EQ(read_all(log), first);
  EXPECT_TRUE(
      first.starts_with("Installation log for: Tool\r\nInstall date: 7-Mar-2026 2:05:09p\r\n"));

  ASSERT_TRUE(append_install_log(log, header, "", "C:\\x failed\r\n", "unused"));
  EXPECT_EQ(read_all(log), first + finish_log_text(header, true, "", "C:\\x failed\r\n", "unused"));
  EXPECT_NE(
      read_all(log).find("\r\n\r\n" + std::string(46, '*') + "\r\nInstallation log for: Tool"),
      std::string::npos);

  const std::string nowhere = folder.file("missing\\Install.LOG");
  EXPECT_FALSE(append_install_log(nowhere, header, "", "", "x"));
  EXPECT_FALSE(exists(nowhere));
}

TEST_F(UninstallDataFileTest, TheJournalTakesEachEntryAsItComes) {
  const std::string path = uninstall_folder_file(folder.path(), removal_journal_file_name);
  write_all(path, "C:\\left\\by-an-earlier-run.txt\r\n");
  RemovalList list;
  list.record(folder.path(), RemovalKind::Folder);
  RemovalJournal journal;
  journal.begin(path);
  EXPECT_EQ(read_all(path), "C:\\left\\by-an-earlier-run.txt\r\n");  // nothing written before the first entry
  ASSERT_TRUE(journal.catch_up(list));                               // replaces what was there
  EXPECT_EQ(read_removal_journal_file(path), list);

  list.record(folder.file("one.txt"), RemovalKind::File);
  ASSERT_TRUE(journal.catch_up(list));
  // Read while still open, as the next run finds it after this one was stopped.
  EXPECT_EQ(read_removal_journal_file(path), list);
  list.record(folder.file("two.txt"), RemovalKind::File);
  list.record(folder.file("sub"), RemovalKind::Folder);
  ASSERT_TRUE(journal.catch_up(list));
  ASSERT_TRUE(journal.catch_up(list));  // nothing new: nothing written twice
  EXPECT_EQ(read_all(path), removal_lines(list));
  EXPECT_TRUE(journal.complete());

  journal.close(true);
  EXPECT_FALSE(exists(path));
  EXPECT_TRUE(read_removal_journal_file(path).empty());
  EXPECT_FALSE(journal.catch_up(list));
  EXPECT_FALSE(journal.complete());
}

TEST(LocalNow, IsAValidDateWithItsWeekday) {
  const DateTime now = local_now();
  EXPECT_TRUE(is_valid(now));
  EXPECT_GE(now.year, 2024);
  EXPECT_EQ(now.weekday, weekday_of(now));
}

}  // namespace
}  // namespace halvard
