#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/disk.h"
#include "foundation/file_error.h"

namespace halvard {
namespace {

using namespace open_flags;

TEST(FileErrorTest, EveryCodeHasItsTextAndOthersAreUnknown) {
  const std::vector<std::string> texts = {
      "Success.",
      "An unknown error occurred.",
      "The filename is invalid.",
      "The file was not found.",
      "The directory does not exist.",
      "The file is locked by another application.",
      "Failed to read the file into memory.",
      "Failed to write data to the file.",
      "Too many files are already open.",
      "An invalid parameter was used.",
      "The file already exists.",
      "Too many indexed files exist.",
      "Access denied.",
      "The file's Read-Only attribute is set.",
      "The file's contents are corrupted.",
      "Deletion failed.",
      "The file is too large to load into memory.",
      "Aborted by the user.",
      "Failed to create the directory.",
      "The network path is not valid.",
      "The device is not ready (usually because no disk is inserted).",
  };
  for (int code = 0; code < static_cast<int>(texts.size()); ++code)
    EXPECT_EQ(error_text(code), texts[code]) << "code " << code;
  for (int code : {21, 22, -1, 1000, 0x7FFFFFFF})
    EXPECT_STREQ(error_text(code), "An unknown error occurred.") << "code " << code;
  EXPECT_STREQ(error_text(FileError::ReadOnly), texts[13].c_str());
}

TEST(FileErrorTest, WindowsErrorsMapToFileErrors) {
  struct Row {
    std::uint32_t windows;
    bool read_only_write;
    FileError expected;
  };
  const Row rows[] = {
      {2, false, FileError::NotFound},
      {3, false, FileError::NoDirectory},
      {4, false, FileError::TooManyOpen},
      {5, false, FileError::AccessDenied},
      {5, true, FileError::ReadOnly},
      {21, false, FileError::NotReady},
      {32, false, FileError::Locked},
      {32, true, FileError::Locked},
      {51, false, FileError::BadNetworkPath},
      {53, false, FileError::BadNetworkPath},
      {64, false, FileError::BadNetworkPath},
      {65, false, FileError::BadNetworkPath},
      {67, false, FileError::BadNetworkPath},
      {1203, false, FileError::BadNetworkPath},
      {80, false, FileError::AlreadyExists},
      {87, false, FileError::InvalidParameter},
      {123, false, FileError::InvalidName},
      {0, false, FileError::Unknown},
      {1, false, FileError::Unknown},
      {6, false, FileError::Unknown},
      {183, false, FileError::Unknown},  // ERROR_ALREADY_EXISTS is not ERROR_FILE_EXISTS
      {52, false, FileError::Unknown},
  };
  for (const Row& row : rows)
    EXPECT_EQ(file_error_from_windows(row.windows, row.read_only_write), row.expected)
        << "windows error " << row.windows << " read-only write " << row.read_only_write;
}

TEST(FileErrorTest, FlagWordsGiveAccessShareAndDisposition) {
  constexpr std::uint32_t R = 0x80000000, W = 0x40000000;  // GENERIC_READ, GENERIC_WRITE
  constexpr std::uint32_t D = 0x10000;                      // DELETE
  constexpr std::uint32_t SR = 1, SW = 2;                   // FILE_SHARE_READ, _WRITE
  struct Row {
    std::uint32_t flags;
    std::uint32_t access;
    std::uint32_t share;
    std::uint32_t disposition;  // CREATE_NEW 1, CREATE_ALWAYS 2, OPEN_EXISTING 3, OPEN_ALWAYS 4
  };
  const Row rows[] = {
      // The words the installer uses.
      {0x111, R, SR | SW, 3},      // own executable: read-only implies share write
      {0x2111, R, SR | SW, 3},     // the same with a wide name
      {0x301, R | W, SR | SW, 3},  // read/write, shared, must exist
      {0x500, R | W, SR, 4},       // append
      {0xB01, R | W, SR | SW, 3},  // existence test
      {0xB19, 0, SR | SW, 3},      // existence test without access
      {3, R | W, 0, 2},            // create or truncate, exclusive
      {0x20000000, R | W, 0, 2},   // new temporary file
      // Creation modes, and temp-file modes forcing CreateAlways.
      {0, R | W, 0, 4},
      {2, R | W, 0, 1},
      {TempFileInDir | OpenExisting, R | W, 0, 2},
      {TempFileBesidePath | CreateNew, R | W, 0, 2},
      {InTempDir | OpenExisting, R | W, 0, 3},
      // Sharing implied by one-way opens.
      {NoRead | ShareWrite, W, SR | SW, 4},
      {NoRead, W, 0, 4},
      {NoWrite, R, 0, 4},
      {NoWrite | ShareWrite, R, SW, 4},
      {ShareWrite, R | W, SW, 4},
      // The right to rename through the handle comes on top of the others.
      {CreateAlways | MayRename, R | W | D, 0, 2},
      {NoRead | MayRename, W | D, 0, 4},
  };
  for (const Row& row : rows) {
    OpenRequest request = open_request(row.flags);
    EXPECT_EQ(request.desired_access, row.access) << std::hex << "flags 0x" << row.flags;
    EXPECT_EQ(request.share_mode, row.share) << std::hex << "flags 0x" << row.flags;
    EXPECT_EQ(request.disposition, row.disposition) << std::hex << "flags 0x" << row.flags;
    EXPECT_EQ(request.read, (row.access & R) != 0);
    EXPECT_EQ(request.write, (row.access & W) != 0);
  }
}

TEST(FileErrorTest, OnlyTheThreeUniqueNameModesAreTempFileModes) {
  EXPECT_TRUE(is_temp_file_mode(TempFileInTempDir));
  EXPECT_TRUE(is_temp_file_mode(TempFileInDir | 0x1234));
  EXPECT_TRUE(is_temp_file_mode(TempFileBesidePath));
  EXPECT_FALSE(is_temp_file_mode(InTempDir));
  EXPECT_FALSE(is_temp_file_mode(0x60000000));
  EXPECT_FALSE(is_temp_file_mode(0xE0000000));
  EXPECT_FALSE(is_temp_file_mode(0));
}

// Runs the retry rule against an error that never goes away, as a locked file does.
std::vector<int> pauses_until_giving_up(std::uint32_t flags, std::uint32_t error) {
  std::vector<int> pauses;
  int counter = 0;
  for (int pause; (pause = open_retry_pause(flags, error, counter)) >= 0;) {
    pauses.push_back(pause);
    if (pauses.size() > 100) break;
  }
  return pauses;
}

TEST(FileErrorTest, RetryRuleSharesOneCounter) {
  struct Row {
    std::uint32_t flags;
    std::uint32_t error;
    std::vector<int> pauses;  // attempts = pauses + 1
  };
  const Row rows[] = {
      {0, 32, {100, 100, 100, 100, 100}},          // 6 attempts
      {RetryOnce, 32, {150, 100, 100}},            // 4 attempts
      {NoSharingRetry, 32, {}},                    // 1 attempt
      {RetryOnce | NoSharingRetry, 32, {150}},     // the first retry is for any error
      {0, 2, {}},
      {RetryOnce, 2, {150}},
      {RetryOnce, 5, {150}},
      {0x111, 32, {100, 100, 100, 100, 100}},
  };
  for (const Row& row : rows)
    EXPECT_EQ(pauses_until_giving_up(row.flags, row.error), row.pauses)
        << std::hex << "flags 0x" << row.flags << std::dec << " error " << row.error;
}

TEST(FileErrorTest, RetryOnceFirstFailureThenSharingViolation) {
  // A file missing at first, then locked, spends the RetryOnce pause and then the
  // rest of the shared counter.
  int counter = 0;
  EXPECT_EQ(open_retry_pause(RetryOnce, 2, counter), 150);
  EXPECT_EQ(open_retry_pause(RetryOnce, 32, counter), 100);
  EXPECT_EQ(open_retry_pause(RetryOnce, 32, counter), 100);
  EXPECT_EQ(open_retry_pause(RetryOnce, 32, counter), -1);
}

TEST(FileErrorTest, TempDirJoinHasOneBackslash) {
  struct Row {
    const char* temp;
    const char* name;
    const char* expected;
  };
  const Row rows[] = {
      {"C:\\Temp\\", "a.txt", "C:\\Temp\\a.txt"},
      {"C:\\Temp", "a.txt", "C:\\Temp\\a.txt"},
      {"C:\\Temp\\", "\\a.txt", "C:\\Temp\\a.txt"},
      {"C:\\Temp", "\\sub\\a.txt", "C:\\Temp\\sub\\a.txt"},
      {"", "a.txt", "c:\\temp\\a.txt"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(join_temp_dir(std::string(row.temp), row.name), row.expected);
    std::string temp = row.temp, name = row.name, expected = row.expected;
    EXPECT_EQ(join_temp_dir(std::wstring(temp.begin(), temp.end()),
                            std::wstring(name.begin(), name.end())),
              std::wstring(expected.begin(), expected.end()));
  }
}

TEST(FileErrorTest, DirectoryOfAPath) {
  struct Row {
    const char* path;
    const char* expected;
  };
  const Row rows[] = {
      {"C:\\Program Files\\App\\setup.exe", "C:\\Program Files\\App"},
      {"C:\\setup.exe", "C:\\"},
      {"C:setup.exe", "C:"},
      {"setup.exe", "."},
      {"\\\\server\\share\\f.txt", "\\\\server\\share"},
      {"sub/f.txt", "sub"},
      {"\\f.txt", "\\"},
  };
  for (const Row& row : rows) EXPECT_EQ(directory_of(row.path), row.expected) << row.path;
}

TEST(DiskTest, DriveTypesToKindBits) {
  const unsigned expected[] = {0, 0, 0x5, 0x3, 0x21, 0xD, 0x11, 0};  // by GetDriveType 0..7
  for (unsigned type = 0; type < 8; ++type)
    EXPECT_EQ(drive_kind_from_type(type), expected[type]) << "drive type " << type;
}

}  // namespace
}  // namespace halvard
