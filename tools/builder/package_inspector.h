#pragma once
// `inspect`: reads a setup.exe the way the engine does, with the engine's own readers
// and in the engine's order, and keeps everything it read. A package that fails a
// check ends the reading with the engine's PackageError code (or its version message);
// what was read before stays available.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "code_signing.h"
#include "package/file_record.h"
#include "package/install_settings.h"
#include "package/package_header.h"
#include "package/setup_section.h"
#include "pe_image.h"
#include "report_tree.h"

namespace halvard::builder {

struct InspectedFile {
  FileRecord record;
  int32_t data_size = 0;
  std::string destination;
  uint32_t data_checksum = 0;  // Checksum32 of the data, as checked
};

struct Inspection {
  bool opened = false;              // the file could be read at all
  std::string failure;              // why reading stopped; empty when the package is sound. Not
                                    // opened: follows the file name (" is a folder, not an installer")
  int package_error = 0;            // the engine's code, when that is why
  uint64_t file_size = 0;
  std::optional<EngineArch> engine_arch;  // which engine carries the package
  std::string engine_unknown;             // why it is neither, when it is not
  SetupSectionLocation section;
  SignatureState signature;  // the engine never checks it; for the publisher
  bool header_read = false;
  PackageHeader header;
  bool settings_read = false;
  InstallSettings settings;
  uint64_t engine_copy_size = 0;
  bool files_read = false;
  std::vector<InspectedFile> files;

  bool sound() const { return opened && failure.empty(); }
};

Inspection inspect_package(const std::filesystem::path& file);

// Everything read, by name, for the text and JSON views.
ReportNode inspection_report(const Inspection& inspection, const std::filesystem::path& file);

}  // namespace halvard::builder
