#pragma once
// Turns the project's [[files]] rules into the package's file table: each glob is
// walked, matches are sorted by their path bytes (the same order on every machine and
// file system), and every file gets its stored name and record fields.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "project.h"
#include "project_loader.h"

namespace halvard::builder {

struct GatheredFile {
  std::filesystem::path source;
  FileRecord record;
  uint64_t size = 0;
  std::string where;  // the rule's 'source' line and the file, for messages: p.toml:4:10 ("files/a.txt")
};

struct GatherResult {
  bool ok = false;
  std::vector<std::string> errors;  // each names the rule's line, or the file
  // What builds but is likely a mistake: a name stored twice (Windows ignores case), a
  // wildcard entry whose every file an earlier entry already stores.
  std::vector<std::string> warnings;
  std::vector<GatheredFile> files;  // table order: rules in project order, matches sorted
};

// `skip` are files never packed even when a glob matches them (the output itself).
GatherResult gather_files(const Project& project, const std::vector<std::filesystem::path>& skip = {},
                          Environment environment = process_environment);

// A file's modification time as the record's six fields, in UTC. When
// SOURCE_DATE_EPOCH is set, later times are clamped to it.
FileDate file_date_of(const std::filesystem::path& file, Environment environment);

}  // namespace halvard::builder
