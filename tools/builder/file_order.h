#pragma once
// The order of the files in the package, chosen for the block codec: a file whose
// bytes equal an earlier one's costs almost nothing when it follows that one in the
// same block, and data that is already compressed (archives, images) or is code
// compresses better apart from text. Files whose place matters to the installation
// stay where the project put them, and so does everything around them (see
// keeps_its_place). The order depends only on the project and the files' contents,
// never on the machine: the same inputs give the same package.

#include <string>
#include <vector>

#include "file_gatherer.h"

namespace halvard::builder {

// Files whose order the engine acts on: MSI packages, fonts and control-panel applets
// act as they land; shared files, system files, COM servers, type libraries and INF
// drivers are registered after the files in the order they came; a file shortcut is
// made in that order too. Only plain and versioned files without a shortcut move.
bool keeps_its_place(const FileRecord& record);

// Reorders `files`: within each run of movable files between two that keep their
// place, a repeated content joins its first copy, and the files fall into three groups
// by the extension of that first copy: other files (text, data), code (exe, dll, ...),
// then already-compressed data (gz, zip, png, ...); inside a group they keep the order
// given. False and `error` when a file that needs its contents compared cannot be read.
bool order_for_compression(std::vector<GatheredFile>& files, std::string& error);

}  // namespace halvard::builder
