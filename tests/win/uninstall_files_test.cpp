// The uninstaller's file work on Wine's real file system: deleting a tree whose files
// are read-only, and the system folders that no deletion may take.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "file_test_support.h"
#include "foundation/system_info_win.h"
#include "uninstall/uninstall_files_win.h"
#include "records/uninstall_records.h"

namespace halvard {
namespace {

using test::ScratchFolder;
using test::write_all;

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

TEST(UninstallFiles, TreeGoesWithReadOnlyFilesAndDeepFolders) {
  // Also the outcome: a tree that went whole must not be reported as kept.
  ScratchFolder scratch;
  std::string root = scratch.file("product");
  ASSERT_TRUE(CreateDirectoryA(root.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((root + "\\a").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((root + "\\a\\b").c_str(), nullptr));
  write_all(root + "\\top.txt", "top");
  write_all(root + "\\a\\b\\deep.txt", "deep");
  SetFileAttributesA((root + "\\a\\b\\deep.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(delete_directory_tree(root));
  EXPECT_FALSE(exists(root));
}

TEST(UninstallFiles, ProtectedFoldersCoverTheUsersAndTheSystemsFolders) {
  const std::vector<std::string> folders = protected_folders();
  for (int csidl : {CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_PROFILE, CSIDL_PROGRAM_FILES, CSIDL_WINDOWS,
                    CSIDL_SYSTEM, CSIDL_COMMON_APPDATA}) {
    std::string folder = special_folder(csidl);
    ASSERT_FALSE(folder.empty()) << csidl;
    EXPECT_TRUE(std::any_of(folders.begin(), folders.end(), [&](const std::string& f) { return same_folder(f, folder); }))
        << folder;
    EXPECT_FALSE(whole_directory_deletion_allowed(folder, folders)) << folder;
  }
  // The folder that holds every profile holds protected folders, so it is refused too.
  std::string profile = special_folder(CSIDL_PROFILE);
  EXPECT_FALSE(whole_directory_deletion_allowed(parent_folder(profile), folders)) << profile;
  EXPECT_TRUE(whole_directory_deletion_allowed(special_folder(CSIDL_PROGRAM_FILES) + "\\Maker\\Product", folders));
}

}  // namespace
}  // namespace halvard
