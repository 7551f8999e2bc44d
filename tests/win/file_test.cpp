// The file object against Wine's real file system: what Windows decides (errors,
// sharing, attributes, names) is observed, not simulated.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "file_test_support.h"
#include "foundation/file.h"

namespace halvard {
namespace {

using namespace open_flags;
using test::bar_name;
using test::exists;
using test::read_all;
using test::ScratchFolder;
using test::write_all;

class FileTest : public ::testing::Test {
 protected:
  ScratchFolder folder;
};

TEST_F(FileTest, FailedOpensGiveTheirCodeAndText) {
  write_all(folder.file("present.txt"), "x");
  struct Row {
    std::string name;
    std::uint32_t flags;
    FileError expected;
    DWORD windows_error;
  };
  const Row rows[] = {
      {folder.file("missing.txt"), OpenExisting, FileError::NotFound, ERROR_FILE_NOT_FOUND},
      {folder.file("no such folder\\a.txt"), OpenAlways, FileError::NoDirectory,
       ERROR_PATH_NOT_FOUND},
      {folder.file("present.txt"), CreateNew, FileError::AlreadyExists, ERROR_FILE_EXISTS},
      {"", OpenAlways, FileError::InvalidName, ERROR_INVALID_NAME},
      {folder.file("bad<name>.txt"), OpenAlways, FileError::InvalidName, ERROR_INVALID_NAME},
      {folder.file("missing.txt"), OpenExisting | CloseAfterOpen | ShareRead | ShareWrite,
       FileError::NotFound, ERROR_FILE_NOT_FOUND},
  };
  for (const Row& row : rows) {
    File file;
    EXPECT_EQ(file.open(row.name, row.flags), row.expected) << row.name;
    EXPECT_EQ(GetLastError(), row.windows_error) << row.name;
    EXPECT_EQ(file.last_error(), error_text(row.expected)) << row.name;
    EXPECT_FALSE(file.is_open());
    EXPECT_EQ(file.last_open_attempts(), row.name.empty() ? 0 : 1);
  }
  EXPECT_EQ(std::string(error_text(FileError::NotFound)), "The file was not found.");
}

TEST_F(FileTest, ReadOnlyAttributeRefusesWritingButAllowsReading) {
  std::string name = folder.file("read-only.txt");
  write_all(name, "kept");
  test::ReadOnlyFile read_only(name);
  if (!read_only.holds()) GTEST_SKIP() << "this system lets the read-only file be written";

  File file;
  EXPECT_EQ(file.open(name, OpenExisting), FileError::ReadOnly);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(file.last_error(), "The file's Read-Only attribute is set.");
  EXPECT_EQ(file.open(name, NoRead | OpenExisting), FileError::ReadOnly);

  ASSERT_EQ(file.open(name, 0x111), FileError::Success);
  char text[4];
  ASSERT_TRUE(file.read(text, 4));
  EXPECT_EQ(std::string(text, 4), "kept");
  EXPECT_FALSE(file.write("no", 2));
  EXPECT_EQ(file.last_error(), "Write access denied");
}

TEST_F(FileTest, LockedFileIsTriedSixTimesFourWithRetryOnceOnceWithNoSharingRetry) {
  std::string name = folder.file("locked.txt");
  write_all(name, "busy");
  test::LockingProcess locker(name);
  ASSERT_TRUE(locker.holds_lock());

  struct Row {
    std::uint32_t flags;
    int attempts;
  };
  const Row rows[] = {
      {OpenExisting, 6},
      {OpenExisting | NoWrite | ShareRead, 6},
      {OpenExisting | RetryOnce, 4},
      {OpenExisting | NoSharingRetry, 1},
      {OpenExisting | RetryOnce | NoSharingRetry, 2},
  };
  for (const Row& row : rows) {
    File file;
    EXPECT_EQ(file.open(name, row.flags), FileError::Locked) << std::hex << row.flags;
    EXPECT_EQ(file.last_open_attempts(), row.attempts) << std::hex << row.flags;
    EXPECT_EQ(file.last_error(), "The file is locked by another application.");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  }

  locker.release();
  File file;
  EXPECT_EQ(file.open(name, OpenExisting), FileError::Success);
  EXPECT_EQ(file.last_open_attempts(), 1);
}

TEST_F(FileTest, RetryOnceTriesAMissingFileTwice) {
  File file;
  EXPECT_EQ(file.open(folder.file("missing.txt"), OpenExisting | RetryOnce), FileError::NotFound);
  EXPECT_EQ(file.last_open_attempts(), 2);
}

std::string folder_of(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }
std::string leaf_of(const std::string& path) { return path.substr(path.find_last_of('\\') + 1); }

TEST_F(FileTest, TemporaryFileModesMakeNewUniqueFiles) {
  std::string temp = test::temp_folder();
  if (!temp.empty() && temp.back() == '\\') temp.pop_back();
  struct Row {
    std::uint32_t flags;
    std::string name;
    std::string expected_folder;
  };
  const Row rows[] = {
      {TempFileInTempDir, "", temp},
      {TempFileInTempDir, "ignored.txt", temp},
      {TempFileInDir, folder.path(), folder.path()},
      {TempFileInDir | OpenExisting, folder.path(), folder.path()},
      {TempFileBesidePath, folder.file("beside.txt"), folder.path()},
      {TempFileInDir, folder.file("no such folder"), temp},  // falls back to the temp folder
  };
  std::vector<std::string> made;
  for (const Row& row : rows) {
    File file;
    ASSERT_EQ(file.open(row.name, row.flags), FileError::Success) << row.name;
    EXPECT_TRUE(file.is_open());
    EXPECT_TRUE(_stricmp(folder_of(file.name()).c_str(), row.expected_folder.c_str()) == 0)
        << file.name() << " for " << row.name;
    std::string leaf = leaf_of(file.name());
    EXPECT_EQ(_strnicmp(leaf.c_str(), "FKT", 3), 0) << leaf;
    EXPECT_EQ(file.size(), 0);
    EXPECT_TRUE(file.write("t", 1));
    for (const std::string& earlier : made) EXPECT_NE(earlier, file.name());
    made.push_back(file.name());
    file.close();
    EXPECT_EQ(read_all(made.back()), "t");
  }
  for (const std::string& name : made) DeleteFileA(name.c_str());
}

TEST_F(FileTest, InTempDirJoinsTheNameToTheTempFolder) {
  std::string leaf = "hv_in_temp_" + std::to_string(GetCurrentProcessId()) + ".txt";
  std::string expected = test::temp_folder() + leaf;
  {
    File file;
    ASSERT_EQ(file.open(leaf, InTempDir | CreateAlways), FileError::Success);
    EXPECT_EQ(file.name(), expected);
    EXPECT_TRUE(file.write("in temp", 7));
  }
  EXPECT_EQ(read_all(expected), "in temp");
  File again;
  std::wstring wide_leaf(leaf.begin(), leaf.end());
  EXPECT_EQ(again.open(wide_leaf.c_str(), InTempDir | OpenExisting), FileError::Success);
  EXPECT_EQ(again.name(), expected);
  again.close();
  DeleteFileA(expected.c_str());
}

TEST_F(FileTest, BarNamesAreUtf8AndWideNamesWork) {
  // "Grüße-日本.txt" as UTF-8 after the bar, and the same name as UTF-16.
  const std::string utf8_leaf = "Gr\xC3\xBC\xC3\x9F" "e-\xE6\x97\xA5\xE6\x9C\xAC.txt";
  const std::wstring wide_leaf = L"Gr\u00FC\u00DFe-\u65E5\u672C.txt";
  std::wstring wide_folder(folder.path().begin(), folder.path().end());
  std::wstring wide_name = wide_folder + L"\\" + wide_leaf;

  File file;
  ASSERT_EQ(file.open(bar_name(folder.file(utf8_leaf)), CreateAlways), FileError::Success);
  EXPECT_EQ(file.wide_name(), wide_name);
  EXPECT_EQ(file.name().find('|'), std::string::npos);
  EXPECT_TRUE(file.write("utf-8", 5));
  file.close();
  EXPECT_TRUE(exists(wide_name));

  ASSERT_EQ(file.open(wide_name.c_str(), OpenExisting), FileError::Success);
  EXPECT_EQ(file.wide_name(), wide_name);
  char text[5];
  ASSERT_TRUE(file.read(text, 5));
  EXPECT_EQ(std::string(text, 5), "utf-8");
  EXPECT_EQ(file.open(L"", OpenAlways), FileError::InvalidName);
}

TEST_F(FileTest, RenamingTheOpenFileReplacesTheTargetOnlyWhenAllowed) {
  auto put = [](const std::string& name, const std::string& data) {
    File file;
    return file.open(name, CreateAlways) == FileError::Success && file.write(data);
  };
  auto get = [](const std::string& name) {
    File file;
    std::string data(16, '\0');
    if (file.open(name, OpenExisting | NoWrite) != FileError::Success) return std::string("<missing>");
    data.resize(static_cast<size_t>(file.read_some(data.data(), 16)));
    return data;
  };
  const std::string plain = folder.file("plain.dll");
  const std::string utf8 = bar_name(folder.file("Gr\xC3\xBC\xC3\x9F" "e-\xE6\x97\xA5.dll"));
  const std::string partial = folder.file("new.partial");
  for (const std::string& name : {plain, utf8}) {
    ASSERT_TRUE(put(name, "old"));
    File file;
    ASSERT_EQ(file.open(partial, CreateAlways | MayRename), FileError::Success);
    ASSERT_TRUE(file.write("new", 3));
    EXPECT_FALSE(file.rename_open(name, false));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(get(name), "old");
    ASSERT_TRUE(file.rename_open(name, true)) << name << ": " << file.last_error();
    EXPECT_EQ(file.name(), name);
    // The handle goes on working under its new name.
    EXPECT_TRUE(file.write("+", 1));
    EXPECT_TRUE(file.close());
    EXPECT_FALSE(exists(partial));
    EXPECT_EQ(get(name), "new+") << name;
  }

  // Onto a file that another handle holds, the rename fails and both files stay as
  // they were. (Windows also refuses a handle opened without MayRename; Wine does not.)
  ASSERT_TRUE(put(partial, "x"));
  File file;
  File held;
  ASSERT_EQ(held.open(plain, OpenExisting | NoWrite | ShareRead), FileError::Success);
  ASSERT_EQ(file.open(partial, OpenExisting | MayRename), FileError::Success);
  EXPECT_FALSE(file.rename_open(plain, true));
  // A name that nothing has is taken without replacing.
  EXPECT_TRUE(file.rename_open(folder.file("fresh.dll"), false));
  file.close();
  held.close();
  EXPECT_EQ(get(plain), "new+");
  EXPECT_EQ(get(folder.file("fresh.dll")), "x");
  EXPECT_FALSE(file.rename_open(plain, true)) << "a closed file has nothing to rename";
}

TEST_F(FileTest, MemoryModeReadsWritesAndWritesBackWhenChanged) {
  std::string name = folder.file("memory.txt");
  write_all(name, "hello world");
  File file;
  ASSERT_EQ(file.open(name, OpenExisting | LoadIntoMemory | ShareRead), FileError::Success);
  ASSERT_TRUE(file.in_memory());
  EXPECT_FALSE(file.is_dirty());
  EXPECT_EQ(file.size(), 11);

  char text[16] = {};
  ASSERT_TRUE(file.read(text, 5));
  EXPECT_EQ(std::string(text, 5), "hello");
  EXPECT_EQ(file.position(), 5);
  EXPECT_FALSE(file.read(text, 7));
  EXPECT_EQ(file.last_error(), "Read past end of file");
  EXPECT_EQ(file.position(), 5);
  EXPECT_EQ(file.read_some(text, 16), 6);
  EXPECT_EQ(std::string(text, 6), " world");
  EXPECT_EQ(file.read_some(text, 16), 0);

  ASSERT_TRUE(file.seek_from_end(5));
  EXPECT_EQ(file.position(), 6);
  ASSERT_TRUE(file.write("WORLD!", 6));
  EXPECT_TRUE(file.is_dirty());
  EXPECT_EQ(file.size(), 12);
  EXPECT_EQ(read_all(name), "hello world");  // nothing reaches the file before closing
  ASSERT_TRUE(file.skip(-12));
  EXPECT_FALSE(file.skip(-1));
  EXPECT_EQ(file.position(), 0);
  EXPECT_TRUE(file.close());
  EXPECT_EQ(read_all(name), "hello WORLD!");

  // Shorter on write-back: the end of the file moves too.
  ASSERT_EQ(file.open(name, OpenExisting | LoadIntoMemory), FileError::Success);
  ASSERT_TRUE(file.seek(5));
  ASSERT_TRUE(file.truncate());
  EXPECT_TRUE(file.close());
  EXPECT_EQ(read_all(name), "hello");

  // Writing past the end leaves zeros between, as a file does.
  ASSERT_EQ(file.open(name, OpenExisting | LoadIntoMemory), FileError::Success);
  ASSERT_TRUE(file.seek(7));
  ASSERT_TRUE(file.write("!", 1));
  EXPECT_TRUE(file.close());
  EXPECT_EQ(read_all(name), std::string("hello\0\0!", 8));
}

TEST_F(FileTest, MemoryModeLeavesTheFileAloneWhenUnchanged) {
  // Another writer changes the file while a clean buffer is held; closing the buffer
  // must not put the old bytes back.
  std::string name = folder.file("shared.txt");
  write_all(name, "abc");
  File held;
  ASSERT_EQ(held.open(name, OpenExisting | LoadIntoMemory | ShareRead | ShareWrite),
            FileError::Success);
  char text[3];
  ASSERT_TRUE(held.read(text, 3));
  ASSERT_TRUE(held.seek(0));

  File other;
  ASSERT_EQ(other.open(name, OpenExisting | ShareRead | ShareWrite), FileError::Success);
  ASSERT_TRUE(other.write("XYZW", 4));
  other.close();

  EXPECT_FALSE(held.is_dirty());
  EXPECT_TRUE(held.close());
  EXPECT_EQ(read_all(name), "XYZW");
}

TEST_F(FileTest, MemoryModeEdges) {
  std::string empty = folder.file("empty.txt");
  write_all(empty, "");
  File file;
  ASSERT_EQ(file.open(empty, OpenExisting | LoadIntoMemory), FileError::Success);
  EXPECT_TRUE(file.in_memory());
  EXPECT_EQ(file.size(), 0);
  char byte;
  EXPECT_FALSE(file.read(&byte, 1));
  EXPECT_EQ(file.last_error(), "Read past end of file");
  file.close();

  // Loading needs read access: the failure closes the file and gives 6.
  write_all(empty, "data");
  EXPECT_EQ(file.open(empty, OpenExisting | LoadIntoMemory | NoRead), FileError::LoadFailed);
  EXPECT_EQ(file.last_error(), "Failed to read the file into memory.");
  EXPECT_FALSE(file.is_open());

  // Appending in memory.
  ASSERT_EQ(file.open(empty, OpenExisting | LoadIntoMemory | SeekToEnd), FileError::Success);
  EXPECT_EQ(file.position(), 4);
  ASSERT_TRUE(file.write("+", 1));
  file.close();
  EXPECT_EQ(read_all(empty), "data+");
}

TEST_F(FileTest, LargeWritesArriveWhole) {
  // Larger than one write piece and not a multiple of it.
  const std::string data = test::pattern_bytes(3 * file_write_piece + file_write_piece / 2 + 7, 7);
  std::string name = folder.file("large.bin");
  File file;
  ASSERT_EQ(file.open(name, CreateAlways), FileError::Success);
  ASSERT_TRUE(file.write(data));
  EXPECT_EQ(file.position(), static_cast<std::int64_t>(data.size()));
  file.close();
  EXPECT_TRUE(read_all(name) == data);

  // The same through a memory buffer written back on close.
  const std::string more = test::pattern_bytes(2 * file_write_piece + 3, 8);
  ASSERT_EQ(file.open(name, OpenExisting | LoadIntoMemory), FileError::Success);
  ASSERT_TRUE(file.write(more));
  ASSERT_TRUE(file.close());
  std::string expected = more + data.substr(more.size());
  EXPECT_TRUE(read_all(name) == expected);
}

TEST_F(FileTest, BlockOperationFailuresLeaveTheirReason) {
  std::string name = folder.file("blocks.txt");
  write_all(name, "0123456789");
  char buffer[4];
  File file;
  ASSERT_EQ(file.open(name, OpenExisting), FileError::Success);

  EXPECT_TRUE(file.write(nullptr, 0));
  EXPECT_TRUE(file.write("", 0));
  EXPECT_EQ(file.position(), 0);
  EXPECT_EQ(file.size(), 10);
  EXPECT_TRUE(file.read(nullptr, 0));

  EXPECT_FALSE(file.read(buffer, -3));
  EXPECT_EQ(file.last_error(), "Illegal block size -3");
  EXPECT_FALSE(file.read(nullptr, 1));
  EXPECT_EQ(file.last_error(), "read(NULL)");
  EXPECT_EQ(file.read_some(buffer, 0), 0);
  EXPECT_EQ(file.last_error(), "Illegal block size 0");
  EXPECT_EQ(file.read_some(nullptr, 1), 0);
  EXPECT_EQ(file.last_error(), "NULL block pointer");
  EXPECT_FALSE(file.write("x", -1));
  EXPECT_EQ(file.last_error(), "Illegal block size");

  ASSERT_TRUE(file.seek(8));
  EXPECT_FALSE(file.read(buffer, 4));
  EXPECT_EQ(file.last_error(), "Read past end of file");
  ASSERT_TRUE(file.seek(8));
  EXPECT_EQ(file.read_some(buffer, 4), 2);
  EXPECT_TRUE(file.is_open());

  ASSERT_EQ(file.open(name, OpenExisting | NoRead), FileError::Success);
  EXPECT_FALSE(file.read(buffer, 1));
  EXPECT_EQ(file.last_error(), "Read access denied");
  ASSERT_EQ(file.open(name, OpenExisting | NoWrite), FileError::Success);
  EXPECT_FALSE(file.write("x", 1));
  EXPECT_EQ(file.last_error(), "Write access denied");
  EXPECT_FALSE(file.truncate());
  EXPECT_EQ(file.last_error(), "Write access denied");
  file.close();
  EXPECT_EQ(read_all(name), "0123456789");
  EXPECT_EQ(file.size(), -1);
  EXPECT_FALSE(file.write("x", 1));
}

TEST_F(FileTest, PositionsSizeAndTruncate) {
  std::string name = folder.file("positions.txt");
  File file;
  ASSERT_EQ(file.open(name, CreateAlways), FileError::Success);
  ASSERT_TRUE(file.write("0123456789"));
  EXPECT_EQ(file.size(), 10);
  ASSERT_TRUE(file.seek(2));
  ASSERT_TRUE(file.skip(3));
  EXPECT_EQ(file.position(), 5);
  ASSERT_TRUE(file.seek_from_end(2));
  EXPECT_EQ(file.position(), 8);
  EXPECT_FALSE(file.seek(-1));
  EXPECT_FALSE(file.last_error().empty());
  ASSERT_TRUE(file.seek(4));
  ASSERT_TRUE(file.truncate());
  EXPECT_EQ(file.size(), 4);
  EXPECT_TRUE(file.flush());
  file.close();
  EXPECT_EQ(read_all(name), "0123");

  // Append mode: open or create, positioned at the end.
  ASSERT_EQ(file.open(name, 0x500), FileError::Success);
  EXPECT_EQ(file.position(), 4);
  ASSERT_TRUE(file.write("45"));
  file.close();
  EXPECT_EQ(read_all(name), "012345");

  // Existence tests close again at once.
  ASSERT_EQ(file.open(name, 0xB19), FileError::Success);
  EXPECT_FALSE(file.is_open());
  ASSERT_EQ(file.open(folder.file("made.txt"), CloseAfterOpen), FileError::Success);
  EXPECT_FALSE(file.is_open());
  EXPECT_TRUE(exists(folder.file("made.txt")));

  // CreateAlways empties an existing file.
  ASSERT_EQ(file.open(name, 3), FileError::Success);
  EXPECT_EQ(file.size(), 0);
}

TEST_F(FileTest, SetTimesStampsTheLastWriteTime) {
  std::string name = folder.file("times.txt");
  File file;
  ASSERT_EQ(file.open(name, CreateAlways), FileError::Success);
  DateTime local;
  local.year = 2019;
  local.month = 11;
  local.day = 23;
  local.hour = 8;
  local.minute = 9;
  local.second = 10;
  ASSERT_TRUE(file.set_times(local));
  file.close();

  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &data));
  FILETIME local_time;
  SYSTEMTIME back;
  ASSERT_TRUE(FileTimeToLocalFileTime(&data.ftLastWriteTime, &local_time));
  ASSERT_TRUE(FileTimeToSystemTime(&local_time, &back));
  EXPECT_EQ(back.wYear, 2019);
  EXPECT_EQ(back.wMonth, 11);
  EXPECT_EQ(back.wDay, 23);
  EXPECT_EQ(back.wHour, 8);
  EXPECT_EQ(back.wMinute, 9);
  EXPECT_EQ(back.wSecond, 10);
}

TEST_F(FileTest, ReopeningClosesTheFileHeldBefore) {
  std::string first = folder.file("first.txt");
  File file;
  ASSERT_EQ(file.open(first, CreateAlways), FileError::Success);
  ASSERT_EQ(file.open(folder.file("second.txt"), CreateAlways), FileError::Success);
  // An exclusive open elsewhere works only if the first handle was closed.
  File other;
  EXPECT_EQ(other.open(first, OpenExisting | NoSharingRetry), FileError::Success);
}

TEST(FileRequiredTest, RequiredFileEndsTheProgram) {
  std::string name =
      test::temp_folder() + "hv_required_" + std::to_string(GetCurrentProcessId()) + ".txt";
  EXPECT_EXIT(
      {
        File file;
        file.open(name, OpenExisting | Required);
      },
      ::testing::ExitedWithCode(1),
      "Failed to open required file:\r\n.*hv_required_\\d+\\.txt\r\n\r\nThe file was not found\\.");
}

}  // namespace
}  // namespace halvard
