#pragma once
// Reads a project file (TOML) into a Project. Every problem is collected, each naming
// the file, line and column and the key concerned; nothing is thrown.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "project.h"

namespace halvard::builder {

struct LoadResult {
  bool ok = false;
  std::vector<std::string> errors;  // "project.toml:12:9: 'kind': unknown name ..."
  // Kept also when loading fails: "project.toml:20:1: 'item53' is now ..."
  std::vector<std::string> warnings;
};

// `environment` stands in for getenv (SOURCE_DATE_EPOCH); tests pass their own.
using Environment = std::string (*)(const char* name);
std::string process_environment(const char* name);

LoadResult load_project(const std::filesystem::path& file, Project& project,
                        Environment environment = process_environment);

// The same from text already in memory; `file` names it in errors and relative paths
// start at `folder`.
LoadResult load_project_text(std::string_view text, const std::string& file, const std::filesystem::path& folder,
                             Project& project, Environment environment = process_environment);

// Whether a [build] engine value names a file rather than an arch: it holds '/' or '\\'
// or ends in ".exe" (in any case). Projects named their engine by path before there
// were two, so every such value must stay a path.
bool engine_value_is_path(std::string_view value);

// The defaults a project starts from before its file is read.
Project default_project();

}  // namespace halvard::builder
