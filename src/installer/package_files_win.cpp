#include "installer/package_files_win.h"

#include <windows.h>

#include <memory>

#include "foundation/file.h"
#include "foundation/product_view_win.h"
#include "foundation/system_info_win.h"
#include "installer/component_registration_win.h"
#include "installer/file_install_win.h"
#include "package/engine_copy.h"
#include "package/file_table.h"
#include "ui/message_pump_win.h"
#include "variables/variable_values_win.h"

namespace halvard {
namespace {

constexpr int csidl_fonts = 0x14;

std::string fonts_folder() {
  std::string fonts = special_folder(csidl_fonts);
  if (!fonts.empty()) return fonts;
  char windows[MAX_PATH];
  UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
  return std::string(windows, length < MAX_PATH ? length : 0) + "\\Fonts";
}

}  // namespace

PackageFilesResult install_package_files(const OpenedPackage& package, File& own_file, InstallSettings& settings,
                                         RunState& state, ProgressWindow& progress) {
  const PackageHeader& header = package.header;
  std::unique_ptr<RegionSource> region;
  if (settings.DataOnDisk) {
    ReadAt read = [&own_file](uint64_t offset, void* out, size_t size) {
      return own_file.seek(int64_t(offset)) && own_file.read(out, int64_t(size));
    };
    const uint64_t start = uint64_t(package.location.PointerToRawData) + header.DataOffset;
    region = std::make_unique<DiskRegion>(
        read, disk_region_end(package.location, uint64_t(own_file.size()), start, header.DataSize), start);
  } else {
    region = std::make_unique<MemoryRegion>(MemoryRegion::in_section(package.section, header.DataOffset, header.DataEnd));
  }

  FileTableHooks hooks;
  hooks.progress = [&progress](int percent) { progress.percent(percent); };
  hooks.cancelled = [&progress] { return progress.cancelled(); };
  hooks.step_delay = [&settings] {
    if (!settings.AutomaticMode && settings.StepDelay) Sleep(settings.StepDelay);
  };
  hooks.pump_messages = pump_messages;

  PackageFilesResult outcome;
  FileTableHeader table = file_table_header(header);
  FileTableResult checked = check_file_region(*region, table, hooks);
  if (checked.outcome == FileTableResult::Outcome::ok) {
    DestinationFolders folders = destination_folders(settings, product_system_folder(), fonts_folder());
    folders.utf8_from_ansi = [](std::string_view ansi) {
      return wide_to_utf8(ansi_to_wide(std::string(ansi)));
    };
    ExpandVariables expand = [&settings](std::string_view text) {
      std::string expanded(text);
      expand_variables(expanded, settings);
      return expanded;
    };
    FileInstallContext context{settings, state};
    context.created_files = &state.created_files;
    context.before_write = [&state] { state.journal.catch_up(state.removal); };
    context.show_progress = [&progress](const std::string& text, bool) { progress.file_text(text); };
    checked = extract_files(*region, table, file_table_options(settings.ProductFlags), folders, expand,
                            [&](const ExtractedFile& file) {
                              if (install_file(context, file))
                                register_installed_file(settings, file.record, file.destination.path, state,
                                                        progress.owner());
                              else
                                collect_skipped_shared_file(file.record, file.destination.path, state);
                            },
                            hooks);
  }
  switch (checked.outcome) {
    case FileTableResult::Outcome::ok:
      break;
    case FileTableResult::Outcome::read_failed:
      outcome.fatal_text = read_failure_text(checked);
      break;
    case FileTableResult::Outcome::out_of_memory:
      outcome.fatal_text = "Out Of Memory.\r\nAdvice: Make sure the hard drive is not full.\r\nRequested size = " +
                           std::to_string(checked.read_size);
      break;
    case FileTableResult::Outcome::package_error:
      outcome.package_error = checked.package_error;
      break;
    case FileTableResult::Outcome::cancelled:
      outcome.cancelled = true;
      break;
  }
  return outcome;
}

}  // namespace halvard
