#include "package/package_reader_win.h"

#include <windows.h>

#include <algorithm>

#include "crash/fatal_error.h"
#include "foundation/product_view_win.h"
#include "foundation/system_info_win.h"
#include "package/checksum.h"
#include "package/engine_copy.h"
#include "package/message_numbers.h"
#include "package/package_error.h"
#include "package/package_error_codes.h"
#include "package/settings_stream.h"

namespace halvard {

namespace code = package_error_code;

namespace {

constexpr int csidl_program_files = 0x26;
constexpr int csidl_program_files_common = 0x2B;
constexpr int csidl_common_appdata = 0x23;

std::span<const uint8_t> mapped_section(const SetupSectionLocation& location) {
  const auto* base = reinterpret_cast<const uint8_t*>(GetModuleHandleA(nullptr));
  // Only the bytes the file really has: a section's virtual size may run past them.
  uint32_t size = std::min(location.SizeOfRawData, location.VirtualSize);
  return {base + location.VirtualAddress, size};
}

SettingsEnvironment system_environment() {
  SettingsEnvironment env;
  env.program_files = product_special_folder(csidl_program_files);
  env.common_files = product_special_folder(csidl_program_files_common);
  env.common_app_data = special_folder(csidl_common_appdata);
  env.os_description = os_description();
  // The directory variables join here.
  return env;
}

bool read_exact(File& file, uint64_t offset, std::vector<uint8_t>& bytes, size_t size) {
  bytes.resize(size);
  return file.seek(int64_t(offset)) && (size == 0 || file.read(bytes.data(), int64_t(size)));
}

void check_engine_and_copy(File& own_file, const InstallSettings& settings, OpenedPackage& package) {
  const SetupSectionLocation& location = package.location;
  std::vector<uint8_t> before;
  if (!read_exact(own_file, 0, before, location.PointerToRawData)) package_error(code::engine_unreadable);
  if ((settings.ProductFlags.high & product_flag::high_verify_checksums) &&
      engine_checksum(before, location.e_lfanew, location.security_entry) != package.header.EngineChecksum) {
    package_error(code::engine_checksum);
  }
  if (!(settings.SetupOptions & setup_option::uninstaller_without_package)) return;
  uint64_t tail_end = engine_copy_tail_end(location, package.header.DataOffset, settings.DataOnDisk,
                                           uint64_t(own_file.size()));
  uint64_t tail_start = uint64_t(location.PointerToRawData) + location.SizeOfRawData;
  std::vector<uint8_t> tail;
  if (tail_end > tail_start && !read_exact(own_file, tail_start, tail, size_t(tail_end - tail_start))) {
    package_error(code::engine_tail_unreadable);
  }
  if (!build_engine_copy(before, tail, location, package.engine_copy)) package_error(code::engine_unreadable);
}

}  // namespace

void read_package(File& own_file, const SetupSectionLocation& location, InstallSettings& settings,
                  OpenedPackage& package, const std::function<void(const InstallSettings&)>& display_settings_ready) {
  package.location = location;
  package.section = mapped_section(location);

  HeaderCheck check = read_package_header(package.section, package.header);
  if (check.newer_engine) fatal_error("%s", version_mismatch_text(package.header.EngineVersion).c_str());
  if (check.package_error) package_error(check.package_error);

  std::vector<uint8_t> stream;
  if (int code = decode_stored_stream(package.section, package.header, stream)) package_error(code);
  SettingsReadResult read = read_settings(stream, package.header.StreamChecksum, settings, system_environment());
  if (read.display_settings_read && display_settings_ready) display_settings_ready(settings);
  const bool product_64bit = (settings.ProductFlags.high & product_flag::high_product_64bit) != 0;
  if (read.product_names_read && !enter_product_view(product_64bit) && product_64bit)
    fatal_error("%s", wow64_failure_text);
  if (read.package_error) package_error(read.package_error);
  set_package_error_message(
      expand_tags(message(settings, message_number::package_corrupt), settings, os_description()));

  check_engine_and_copy(own_file, settings, package);
  settings.EngineCopySize =
      package.engine_copy.empty() ? uint64_t(own_file.size()) : uint64_t(package.engine_copy.size());
}

}  // namespace halvard
