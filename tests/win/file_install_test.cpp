// Installing files against real destinations under Wine: the overwrite rules over files
// that are really there (dates set on disk, versions from a real version resource),
// dates and attributes given to what is written, and destinations held open by another
// process. Every test puts the system's pending list back as it found it.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "file_test_support.h"
#include "foundation/file_functions.h"
#include "foundation/windows_error.h"
#include "installer/file_install_win.h"
#include "package/message_numbers.h"
#include "package/package_error_codes.h"
#include "records/deferred_operations.h"
#include "records/deferred_operations_win.h"

namespace halvard {
namespace {

using test::exists;
using test::read_all;
using test::ScratchFolder;
using test::write_all;

constexpr char file_not_created_text[] = "Could not create";
constexpr char folder_not_created_text[] = "Could not make folder";
constexpr char installing_files_text[] = "Copying files...";

constexpr FileDate packaged{2021, 1, 14, 9, 30, 15};
constexpr FileDate second_older{2021, 1, 14, 9, 30, 14};
constexpr FileDate day_newer{2021, 1, 15, 9, 30, 15};

// The system's pending list, kept and put back around each test.
class PendingListGuard {
 public:
  PendingListGuard() : saved_(read_pending_operations()) { write_pending_operations({}); }
  ~PendingListGuard() { write_pending_operations(saved_); }

 private:
  std::vector<PendingOperation> saved_;
};

std::u16string lower16(const std::string& ascii) {
  return pending_path(std::u16string(ascii.begin(), ascii.end()), true);
}

// Pending moves onto `destination` (stripped, lower case), as (source, destination).
std::vector<PendingOperation> moves_onto(const std::string& destination) {
  std::vector<PendingOperation> found;
  for (const PendingOperation& operation : read_pending_operations())
    if (!operation.is_deletion() && pending_path(operation.destination, true) == lower16(destination))
      found.push_back(operation);
  return found;
}

std::string between(const std::string& text, const std::string& before, const std::string& after) {
  size_t start = text.find(before);
  if (start == std::string::npos) return {};
  start += before.size();
  size_t end = text.find(after, start);
  return end == std::string::npos ? std::string() : text.substr(start, end - start);
}

class FileInstallTest : public ::testing::Test {
 protected:
  FileInstallTest() : context(settings, log, failure_summary, removal, written, reboot_wanted) {
    settings.InstallDir = folder.path();
    settings.Messages.resize(60, std::vector<std::string>(1));
    settings.Messages[message_number::folder_not_created][0] = folder_not_created_text;
    settings.Messages[message_number::file_not_created][0] = file_not_created_text;
    settings.Messages[message_number::installing_files_status][0] = installing_files_text;
  }

  FileDestination destination(const std::string& name, bool under_install_dir = true) {
    FileDestination result;
    result.path = folder.file(name);
    result.under_install_dir = under_install_dir;
    result.log_line = name + " >>> " + result.path;
    return result;
  }

  bool install(const FileDestination& where, const FileRecord& record, const std::string& data) {
    return install_file(context, where, {reinterpret_cast<const uint8_t*>(data.data()), data.size()}, record);
  }

  static FileRecord record(uint32_t kind, uint32_t flags = 0, FileDate date = packaged, std::string version = {}) {
    FileRecord result;
    result.Name = "file";
    result.Kind = kind;
    result.Flags = flags;
    result.FileDate = date;
    result.VersionText = std::move(version);
    return result;
  }

  // An existing file: plain bytes, or the version-resource program; dated on disk.
  void place_existing(const std::string& path, FileDate date, bool with_version) {
    if (with_version) {
      ASSERT_TRUE(CopyFileA(test::beside_this_program("version_resource.exe").c_str(), path.c_str(), FALSE));
    } else {
      write_all(path, "old bytes");
    }
    ASSERT_TRUE(set_file_time(path, date_time_of(date), file_time_local));
  }

  PendingListGuard pending;
  ScratchFolder folder;
  InstallSettings settings;
  InstallLog log;
  std::string failure_summary;
  RemovalList removal;
  std::unordered_set<std::string> written;
  bool reboot_wanted = false;
  FileInstallContext context;
};

TEST_F(FileInstallTest, ExistingFilesFactsComeFromTheDisk) {
  const std::string plain = folder.file("plain.txt");
  const std::string versioned = folder.file("versioned.exe");
  place_existing(plain, packaged, false);
  place_existing(versioned, second_older, true);

  EXPECT_EQ(file_version_text(versioned), "2. 5. 0. 1");  // commas read as dots, blanks trimmed
  EXPECT_EQ(file_version_text(plain), "");
  EXPECT_EQ(file_version_text(folder.file("missing.exe")), "");

  ExistingFile facts = existing_file(versioned, {true, true, true});
  EXPECT_TRUE(facts.exists);
  EXPECT_TRUE(facts.date_known);
  EXPECT_EQ(facts.date, second_older);  // the local time that was set
  EXPECT_EQ(facts.version, "2. 5. 0. 1");

  EXPECT_FALSE(existing_file(folder.path(), {true, true, true}).exists);  // a folder is not a file
  EXPECT_FALSE(existing_file(folder.file("missing.exe"), {true, true, true}).exists);
}

// Each overwrite mode and kind rule against a file that is really there.
TEST_F(FileInstallTest, ModesAndKindsAgainstRealFiles) {
  struct Case {
    const char* name;
    uint32_t kind;
    uint32_t flags;
    FileDate date;
    const char* version;
    bool existing;               // a file is there before
    FileDate existing_date;
    bool existing_has_version;   // the version-resource program (FileVersion 2.5.0.1)
    bool written;
    std::string_view log;        // after the path; empty: none
    bool recorded;               // the path is in the removal list
  };
  const Case cases[] = {
      {"never", 0, 0x04, packaged, "", true, second_older, false, false, "", false},
      {"only existing, nothing there", 0, 0x08, packaged, "", false, {}, false, false, "", false},
      {"only existing, file there", 0, 0x08, packaged, "", true, day_newer, false, true, "", true},
      {"keep existing", 0, 0x0C, packaged, "", true, second_older, false, false, log_already_exists, true},
      {"keep existing, kept at uninstall", 0, 0x0C | 0x20, packaged, "", true, second_older, false, false,
       log_already_exists, false},
      {"keep newer, existing newer", 0, 0x10, packaged, "", true, day_newer, false, false, log_existing_newer, false},
      {"keep newer, existing older", 0, 0x10, packaged, "", true, second_older, false, true, "", true},
      {"shared, same date", 1, 0, packaged, "", true, packaged, false, false, log_up_to_date, false},
      {"shared, one second older", 1, 0, packaged, "", true, second_older, false, true, log_out_of_date, false},
      {"font, newer", 4, 0, packaged, "", true, day_newer, false, false, log_up_to_date, false},
      {"com server, newer version and date", 7, 0, packaged, "2.5.0.2", true, second_older, true, true,
       log_out_of_date, false},
      {"com server, same version", 7, 0, packaged, "2.5.0.1", true, second_older, true, false,
       log_version_not_newer, false},
      {"com server, newer version, older date", 7, 0, packaged, "3.0", true, day_newer, true, false,
       log_date_not_newer, false},
      {"system, older version", 6, 0, packaged, "2.4.9", true, second_older, true, false, log_version_not_newer,
       false},
      {"versioned, version not newer", 9, 0, packaged, "2.5.0.1", true, second_older, true, false,
       log_version_not_newer, true},
      {"versioned, date not newer", 9, 0, packaged, "", true, packaged, false, false, log_date_not_newer, true},
      {"plain, no rule", 0, 0, packaged, "1.0", true, day_newer, true, true, "", true},
      {"plain, new", 0, 0, packaged, "", false, {}, false, true, "", true},
  };
  // A cancelled run takes away only what it brought.
  std::vector<std::string> brought;
  context.created_files = &brought;
  int serial = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    log = InstallLog();
    removal.clear();
    const bool under_install_dir = !(c.kind == 1 || c.kind == 4 || (c.kind >= 6 && c.kind <= 8));
    FileDestination where = destination("case" + std::to_string(++serial) + ".bin", under_install_dir);
    if (c.existing) place_existing(where.path, c.existing_date, c.existing_has_version);
    const std::string before = c.existing ? read_all(where.path) : "<missing>";

    EXPECT_EQ(install(where, record(c.kind, c.flags, c.date, c.version), "new bytes"), c.written);
    EXPECT_EQ(read_all(where.path), c.written ? "new bytes" : before);
    EXPECT_EQ(log.text(), c.log.empty() ? std::string() : where.path + std::string(c.log));
    bool recorded = false;
    for (const RemovalEntry& entry : removal.entries()) recorded |= entry.path == where.path;
    EXPECT_EQ(recorded, c.recorded);
    EXPECT_EQ(written.count(written_file_key(where.path)), c.written ? 1u : 0u);
    EXPECT_EQ(std::count(brought.begin(), brought.end(), where.path), c.written && !c.existing ? 1 : 0);
  }
  EXPECT_EQ(failure_summary, "");
}

TEST_F(FileInstallTest, DatesAndAttributesAreApplied) {
  FileDestination dated = destination("dated.txt");
  FileRecord given = record(0, 0, packaged);
  given.Attributes = 0x1 | 0x20 | 0x4000;  // read-only and archive; 0x4000 is not ours to give
  ASSERT_TRUE(install(dated, given, "data"));
  FileDate on_disk;
  ASSERT_TRUE(file_local_date(dated.path, on_disk));
  EXPECT_EQ(on_disk, packaged);
  DWORD attributes = GetFileAttributesA(dated.path.c_str());
  EXPECT_EQ(attributes & 0x1, 0x1u);
  EXPECT_EQ(attributes & 0x4000, 0u);

  // Without a time the file keeps the time of writing; all bits set leaves the attributes.
  FileDestination undated = destination("undated.txt");
  FileRecord plain = record(0, 0, {2021, 1, 14, -1, 0, 0});
  plain.Attributes = file_attributes_unchanged;
  ASSERT_TRUE(install(undated, plain, "data"));
  ASSERT_TRUE(file_local_date(undated.path, on_disk));
  EXPECT_GT(on_disk.year, 2021);
  EXPECT_EQ(GetFileAttributesA(undated.path.c_str()) & 0x1, 0u);

  // Attributes 0 (as the uninstaller is written) clears a read-only file left before.
  FileDestination cleared = destination("cleared.txt");
  write_all(cleared.path, "old");
  FileRecord zero = record(0);
  zero.Attributes = 0;
  ASSERT_TRUE(install(cleared, zero, "new"));
  EXPECT_EQ(GetFileAttributesA(cleared.path.c_str()) & 0x1, 0u);
  EXPECT_EQ(read_all(cleared.path), "new");
}

TEST_F(FileInstallTest, FoldersRecordsShortcutAndDetailedLog) {
  settings.ProductFlags.low = product_flag::low_detailed_log;
  std::vector<std::string> shown;
  context.show_progress = [&shown](const std::string& text, bool fixed) { shown.push_back((fixed ? "*" : "") + text); };

  FileDestination nested = destination("Sub\\Deeper\\App.exe");
  ASSERT_TRUE(install(nested, record(file_kind::shortcut), "exe"));
  EXPECT_EQ(read_all(nested.path), "exe");
  ASSERT_EQ(removal.entries().size(), 2u);
  EXPECT_EQ(removal.entries()[0], (RemovalEntry{RemovalKind::Folder, folder.file("Sub\\Deeper")}));
  EXPECT_EQ(removal.entries()[1], (RemovalEntry{RemovalKind::File, nested.path}));
  EXPECT_EQ(log.text(), nested.log_line + "\r\n");
  EXPECT_TRUE(written.count(written_file_key(nested.path)));
  ASSERT_EQ(settings.ShortcutEntries.size(), 1u);
  EXPECT_EQ(settings.ShortcutEntries[0].target, nested.path);

  // Straight in the installation folder: no folder record; kept files: no record at all.
  FileDestination top = destination("top.txt");
  settings.ProductFlags.high = product_flag::high_fixed_progress_text;
  ASSERT_TRUE(install(top, record(0, file_flag::keep_at_uninstall), "t"));
  EXPECT_EQ(removal.entries().size(), 2u);
  EXPECT_EQ(shown, (std::vector<std::string>{nested.path, std::string("*") + installing_files_text}));

  // The next file of a folder already checked: a folder taken away in between is made
  // again, and recorded once.
  test::remove_tree(folder.file("Sub"));
  FileDestination sibling = destination("Sub\\Deeper\\App.dll");
  settings.ProductFlags.high = 0;
  ASSERT_TRUE(install(sibling, record(0), "dll"));
  EXPECT_EQ(read_all(sibling.path), "dll");
  ASSERT_EQ(removal.entries().size(), 3u);
  EXPECT_EQ(removal.entries()[2], (RemovalEntry{RemovalKind::File, sibling.path}));
  EXPECT_EQ(failure_summary, "");
}

TEST_F(FileInstallTest, FolderBlockedByAFileEndsInTheFailureSummary) {
  write_all(folder.file("Blocker"), "a file, not a folder");
  FileDestination blocked = destination("Blocker\\inner.txt");
  EXPECT_FALSE(install(blocked, record(0), "x"));
  EXPECT_EQ(failure_summary, folder_failure_text(folder_not_created_text, folder.file("Blocker"), folder_is_file_reason,
                                                 blocked.path));
  EXPECT_TRUE(removal.empty());
  EXPECT_TRUE(written.empty());
}

TEST_F(FileInstallTest, NewFileThatCannotBeWrittenEndsInTheFailureSummary) {
  // A folder stands where the file should go: every attempt is refused, and a file that
  // did not exist before is not left for a restart.
  const std::string path = folder.file("Occupied");
  ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
  FileDestination where = destination("Occupied", false);
  EXPECT_FALSE(install(where, record(file_kind::system), "x"));
  ASSERT_FALSE(failure_summary.empty());
  EXPECT_EQ(failure_summary.rfind("\r\n" + std::string(file_not_created_text) + " " + path + "\r\n", 0), 0u) << failure_summary;
  EXPECT_TRUE(moves_onto(path).empty());
  EXPECT_TRUE(written.empty());
  EXPECT_FALSE(reboot_wanted);
}

TEST_F(FileInstallTest, LockedExistingFileIsReplacedAtRestart) {
  FileDestination where = destination("Locked.dll");
  place_existing(where.path, second_older, false);
  {
    test::LockingProcess locker(where.path);
    ASSERT_TRUE(locker.holds_lock());
    EXPECT_FALSE(install(where, record(file_kind::versioned), "replacement bytes"));
  }
  const std::string temporary = between(log.text(), "Temporary file is \"", "\"");
  ASSERT_FALSE(temporary.empty()) << log.text();
  EXPECT_EQ(log.text(), where.path + std::string(log_out_of_date) + replacement_registered_text(where.path, temporary));
  EXPECT_EQ(failure_summary, "");
  EXPECT_EQ(read_all(temporary), "replacement bytes");
  EXPECT_EQ(temporary.substr(0, temporary.find_last_of('\\')), folder.path());  // beside it, on its drive
  std::vector<PendingOperation> moves = moves_onto(where.path);
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_EQ(pending_path(moves[0].source, true), lower16(temporary));
  EXPECT_TRUE(reboot_wanted);
  EXPECT_TRUE(written.empty());  // not written in this run: the cleaner leaves the move alone
  EXPECT_EQ(read_all(where.path), "old bytes");

  // Wine carries out the list when the prefix restarts, as Windows does at boot.
  if (test::host_path(folder.path()).empty()) return;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  char command[] = "wineboot.exe -r";
  ASSERT_TRUE(CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
  const bool ended = WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0;
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  ASSERT_TRUE(ended);
  EXPECT_EQ(read_all(where.path), "replacement bytes");
  EXPECT_FALSE(exists(temporary));
}

// A plain file is never known to have existed: only low bit 11 lets it wait for a restart.
TEST_F(FileInstallTest, LockedPlainFileWaitsForRestartOnlyWithBit11) {
  for (bool bit11 : {false, true}) {
    SCOPED_TRACE(bit11 ? "bit 11 set" : "bit 11 clear");
    settings.ProductFlags.low = bit11 ? product_flag::low_replace_new_files_at_restart : 0;
    log = InstallLog();
    failure_summary.clear();
    FileDestination where = destination(bit11 ? "with.dat" : "without.dat");
    DWORD sharing_error = ERROR_SHARING_VIOLATION;
    {
      test::LockingProcess locker(where.path);
      ASSERT_TRUE(locker.holds_lock());
      EXPECT_FALSE(install(where, record(file_kind::plain), "new"));
    }
    if (bit11) {
      EXPECT_EQ(failure_summary, "");
      EXPECT_EQ(moves_onto(where.path).size(), 1u);
      EXPECT_NE(log.text().find("\" was successfully registered for replacement.\r\n"), std::string::npos);
    } else {
      EXPECT_EQ(failure_summary, "\r\n" + std::string(file_not_created_text) + " " + where.path + "\r\n" +
                                     windows_error_text(sharing_error) + "\r\n\r\n");
      EXPECT_TRUE(moves_onto(where.path).empty());
      EXPECT_EQ(log.text(), "");
      EXPECT_FALSE(reboot_wanted);
    }
    EXPECT_TRUE(written.empty());
  }
}

TEST_F(FileInstallTest, MissingDriveEndsInTheFailureSummary) {
  DWORD drives = GetLogicalDrives();
  char letter = 0;
  for (char c = 'Z'; c >= 'D' && !letter; --c)
    if (!((drives >> (c - 'A')) & 1)) letter = c;
  ASSERT_NE(letter, 0);
  const std::string path = std::string(1, letter) + ":\\Product\\file.dll";
  settings.ProductFlags.low = product_flag::low_replace_new_files_at_restart;
  WriteResult result = write_file(context, path, "x", 1, packaged, file_attributes_unchanged, true);
  EXPECT_FALSE(result.written);
  EXPECT_FALSE(result.restart_pending);
  EXPECT_EQ(failure_summary, "\r\n" + std::string(file_not_created_text) + " " + path + "\r\nDrive " + std::string(1, letter) +
                                 ": is not present.\r\n");
  EXPECT_TRUE(moves_onto(path).empty());
  EXPECT_EQ(log.text(), "");
}

TEST_F(FileInstallTest, WriterRefusesANegativeSizeAndVerifiesWhenAsked) {
  const std::string path = folder.file("checked.bin");
  WriteResult refused = write_file(context, path, "x", -1, packaged, 0, false);
  EXPECT_EQ(refused.package_error, package_error_code::negative_replacement_size);
  EXPECT_FALSE(exists(path));

  settings.ProductFlags.low = product_flag::low_verify_written_files;
  const std::string data = test::pattern_bytes(300000, 7);
  WriteResult written = write_file(context, path, data.data(), int64_t(data.size()), packaged, 0xFFFFFFFF, false);
  EXPECT_TRUE(written.written);
  EXPECT_TRUE(written.brought);
  EXPECT_EQ(read_all(path), data);
  EXPECT_EQ(failure_summary, "");
  // Verified data takes its name by MoveFileEx, which tells an existing file too.
  WriteResult again = write_file(context, path, "v2", 2, packaged, 0xFFFFFFFF, true);
  EXPECT_TRUE(again.written);
  EXPECT_FALSE(again.brought);
  EXPECT_EQ(read_all(path), "v2");

  WriteResult empty = write_file(context, folder.file("empty.bin"), "", 0, packaged, 0xFFFFFFFF, false);
  EXPECT_TRUE(empty.written);
  EXPECT_EQ(read_all(folder.file("empty.bin")), "");
}

TEST_F(FileInstallTest, MissingFolderIsCreatedOnTheFirstFailedAttempt) {
  // A file outside the installation folder gets its folder from the writer's retry.
  const std::string path = folder.file("System\\Deep\\lib.dll");
  WriteResult result = write_file(context, path, "lib", 3, packaged, 0xFFFFFFFF, false);
  EXPECT_TRUE(result.written);
  EXPECT_EQ(read_all(path), "lib");
}

// Low bit 19 clears the read-only, hidden and system attributes after the first failed
// attempt (Windows refuses to recreate a hidden or system file with plain attributes).
// Seen here on a held file, whose attributes may still be changed.
TEST_F(FileInstallTest, Bit19ClearsProtectingAttributesAfterTheFirstFailure) {
  constexpr DWORD protecting = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  for (bool bit19 : {false, true}) {
    SCOPED_TRACE(bit19 ? "bit 19 set" : "bit 19 clear");
    settings.ProductFlags.low = bit19 ? product_flag::low_clear_attributes_on_retry : 0;
    FileDestination where = destination(bit19 ? "with.sys" : "without.sys");
    write_all(where.path, "old");
    ASSERT_TRUE(SetFileAttributesA(where.path.c_str(), protecting | FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_EQ(GetFileAttributesA(where.path.c_str()) & protecting, protecting);
    {
      test::LockingProcess locker(where.path);
      ASSERT_TRUE(locker.holds_lock());
      EXPECT_FALSE(install(where, record(file_kind::plain), "new"));
    }
    DWORD left = GetFileAttributesA(where.path.c_str());
    EXPECT_EQ(left & protecting, bit19 ? 0u : protecting);
    EXPECT_EQ(left & FILE_ATTRIBUTE_ARCHIVE, static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  }
}

}  // namespace
}  // namespace halvard
