#pragma once
// Reads the package of the running executable: the header and stored stream from the
// image Windows mapped, the settings into InstallSettings, then the checks on the
// engine's own bytes and, when asked for, the engine copy. Every fault is fatal.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "foundation/file.h"
#include "package/install_settings.h"
#include "package/package_header.h"
#include "package/setup_section.h"

namespace halvard {

struct OpenedPackage {
  SetupSectionLocation location;
  PackageHeader header;
  std::span<const uint8_t> section;  // in the mapped image; valid for the whole run
  std::vector<uint8_t> engine_copy;  // the uninstaller, when SetupOptions bit 5 asks for it
};

// `display_settings_ready` runs once the background window's settings are read, before
// any fault of the rest of the stream is reported, so that the report has its owner.
void read_package(File& own_file, const SetupSectionLocation& location, InstallSettings& settings,
                  OpenedPackage& package, const std::function<void(const InstallSettings&)>& display_settings_ready);

}  // namespace halvard
