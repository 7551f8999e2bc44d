#include "installer/folder_checks.h"

#include "foundation/path_rules.h"
#include "foundation/text.h"

namespace halvard {
namespace {

std::string_view without_trailing_backslashes(std::string_view text) {
  while (!text.empty() && text.back() == '\\') text.remove_suffix(1);
  return text;
}

// "." and ".." would let a folder that names a drive root or a system folder pass as
// another one. Windows drops trailing dots and blanks of an element, so "..." and ". ."
// are the same.
bool has_relative_element(std::string_view folder) {
  size_t start = 0;
  while (start <= folder.size()) {
    size_t end = folder.find('\\', start);
    if (end == std::string_view::npos) end = folder.size();
    std::string_view element = folder.substr(start, end - start);
    if (!element.empty() && element.find_first_not_of(". ") == std::string_view::npos &&
        element.find('.') != std::string_view::npos)
      return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

std::optional<char> folder_drive_letter(std::string_view folder) {
  if (folder.size() < 2 || folder[1] != ':') return std::nullopt;
  char letter = ascii_upper(folder[0]);
  if (letter < 'A' || letter > 'Z') return std::nullopt;
  return letter;
}

std::string folder_volume_root(std::string_view folder) {
  if (std::optional<char> letter = folder_drive_letter(folder)) return std::string(1, *letter) + ":\\";
  if (!folder.starts_with("\\\\")) return {};
  size_t server_end = folder.find('\\', 2);
  if (server_end == std::string_view::npos) return {};
  size_t share_end = folder.find('\\', server_end + 1);
  return std::string(folder.substr(0, share_end)) + "\\";
}

std::string matching_folder(std::string_view folder, const std::vector<std::string>& candidates) {
  std::string_view bare = without_trailing_backslashes(folder);
  for (const std::string& candidate : candidates) {
    if (!candidate.empty() && equal_ignoring_case(bare, without_trailing_backslashes(candidate))) return candidate;
  }
  return {};
}

FolderProblem check_folder(std::string_view folder, const FolderVolume& volume, const FolderRules& rules) {
  if (!is_valid_path(folder, 0) || !is_absolute_path(folder) || has_relative_element(folder))
    return FolderProblem::invalid;
  const bool has_letter = folder_drive_letter(folder).has_value();
  if (has_letter && !volume.exists) return FolderProblem::drive_missing;
  if (rules.refuse_network && (folder.starts_with("\\\\") || volume.remote)) return FolderProblem::network;
  if (folder.size() <= 3) return FolderProblem::too_short;
  if (!matching_folder(folder, rules.program_files).empty()) return FolderProblem::program_files;
  if (volume.unusable || (rules.refuse_removable && volume.removable)) return FolderProblem::unsuitable_drive;
  return FolderProblem::none;
}

}  // namespace halvard
