#pragma once
// The checks a folder must pass before it becomes the installation directory, in the
// order the user hears of them. Pure: what the system says about the folder's drive is
// gathered by the caller (folder_checks_win.h).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvard {

// What the system says about the drive or share a folder lies on.
struct FolderVolume {
  bool exists = true;      // a drive letter names a drive
  bool remote = false;     // a network drive
  bool removable = false;  // a removable drive
  bool unusable = false;   // its volume information cannot be read, or it is read-only (a CD)
};

struct FolderRules {
  bool refuse_network = false;
  bool refuse_removable = false;
  // The Program Files folders, none of which may itself be the installation directory.
  std::vector<std::string> program_files;
};

enum class FolderProblem {
  none,
  invalid,           // not a valid absolute path, or it holds "." or ".." elements
  drive_missing,     // its drive letter names no drive
  network,           // a UNC path or a network drive, where the package refuses them
  too_short,         // three characters or fewer: a drive root
  program_files,     // a Program Files folder itself
  unsuitable_drive,  // a CD, an unreadable volume, or a refused removable drive
};

// The first check the folder fails; `folder` is already trimmed.
FolderProblem check_folder(std::string_view folder, const FolderVolume& volume, const FolderRules& rules);

// The drive letter of "X:..." in upper case.
std::optional<char> folder_drive_letter(std::string_view folder);

// Where the volume facts are asked: "X:\" for a drive letter, "\\server\share\" for a
// UNC path, empty for anything else.
std::string folder_volume_root(std::string_view folder);

// The Program Files folder `folder` is, compared without trailing backslashes and in
// any letter case; empty when it is none of them.
std::string matching_folder(std::string_view folder, const std::vector<std::string>& candidates);

}  // namespace halvard
