#pragma once
// The uninstaller's work on files and folders: the recorded files and folders, the
// Start-menu folder, and the deletion of the whole installation directory, which must
// never reach beyond what the product owns.
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "records/uninstall_data.h"

namespace halvard {

struct FileRemovalOutcome {
  std::unordered_set<std::string> deleted;  // written_file_key of each file deleted
  std::vector<std::string> kept;            // files that exist and could not be deleted
};

// Deletes the list's files in order (a missing file counts as removed); `each` hears of
// every file before it goes, with the share of the list done so far (0 to 1). A file
// behind a link planted in the product's folders (inside `install_dir` or recorded) is
// left alone, and a link where a file was is removed as a link.
FileRemovalOutcome remove_files(const RemovalList& list, const std::string& install_dir,
                                const std::function<void(const std::string& path, double done)>& each = {});

// Removes the list's folders, longest path first, each with its empty parents up to but
// not including `install_dir` or any of `kept` (the system's own folders, which may
// happen to be empty); a folder goes only when empty once "thumbs.db" is gone, and never
// one behind a planted link. Returns the recorded folders that are still there.
std::vector<std::string> remove_folders(const RemovalList& list, const std::string& install_dir,
                                        const std::vector<std::string>& kept);

// Deletes "thumbs.db", which the shell drops into folders it shows, in `folder` (not
// when `folder` is a link).
void delete_thumbnail_cache(const std::string& folder);

// Removes the product's Start-menu folder `relative` under `programs`, then its parents
// while they are empty, at most 20 levels and never `programs` itself.
void remove_start_menu_folder(const std::string& programs, const std::string& relative);

// The folders that a whole-directory deletion must neither be nor contain: drive roots
// aside, the Windows and system folders, the program-files folders, the profiles, every
// shell folder of the user and of all users, and the temporary folder.
std::vector<std::string> protected_folders();

// Deletes `dir` with everything in it. A link or junction inside is removed as a link;
// what it points at is never entered. False when something stayed.
bool delete_directory_tree(const std::string& dir);

}  // namespace halvard
