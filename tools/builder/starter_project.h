#pragma once
// `new DIR`: a starter project that builds at once, with comments for a newcomer.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace halvard::builder {

struct StarterFile {
  std::string_view path;  // relative to the new project's folder
  std::string_view text;
};

std::vector<StarterFile> starter_files();

// Writes the starter project into `folder` (created when missing). Refuses to overwrite
// an existing file; false with the reason.
bool write_starter_project(const std::filesystem::path& folder, std::string& error);

}  // namespace halvard::builder
