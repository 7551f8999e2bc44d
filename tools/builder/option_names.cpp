#include "option_names.h"

#include <array>
#include <cstdio>
#include <vector>

#include "installer/windows_release.h"

namespace halvard::builder {
namespace {

constexpr uint32_t bit(int n) { return uint32_t(1) << n; }

constexpr NamedBit low_bits[] = {
    {"must_uninstall_first", bit(0), "an earlier installation must be uninstalled first"},
    {"uninstaller_start_menu_shortcut", bit(1), "uninstaller shortcut in the start-menu folder"},
    {"uninstall_support", bit(2), "uninstaller, uninstall registration and Uninstall.DAT; shared folder under a base folder"},
    {"ask_font_removal", bit(4), "the uninstaller asks before removing each font"},
    {"compressed_blocks", bit(5), "file data blocks are compressed (set by [build] compression)"},
    {"keep_log", bit(6), "keep the installation log also when nothing failed"},
    {"directory_page", bit(7), "show the installation-directory page"},
    {"single_instance", bit(8), "only one installer of this kind runs at a time"},
    {"silent_uninstall", bit(9), "the uninstaller runs without questions"},
    {"remove_install_dir", bit(10), "the uninstaller deletes the installation directory"},
    {"replace_new_files_at_restart", bit(11), "in-use replacement also for files that did not exist before"},
    {"edit_path", bit(12), "add the installation directory to PATH"},
    {"reboot", bit(14), "restart the computer at the end"},
    {"keep_background_bitmap", bit(15), "keep the background bitmap for the uninstaller"},
    {"master_product", bit(16), "a master product must be installed first"},
    {"ask_file_removal", bit(17), "the uninstaller asks before deleting each conditional file"},
    {"verify_written_files", bit(18), "compare every written file with its data"},
    {"clear_attributes_on_retry", bit(19), "clear read-only, hidden and system of an existing file before retrying"},
    {"detailed_log", bit(20), "one log line per shortcut and per installed file"},
    {"progress_not_cancellable", bit(21), "the progress page has no working Cancel"},
    {"no_completion_notice", bit(22), "no completion message or finish page"},
    {"hide_pre_install_batch", bit(23), "run the pre-installation batch hidden"},
    {"hide_post_install_batch", bit(24), "run the post-installation batch hidden"},
    {"hide_exit_batch", bit(25), "run the exit batch hidden"},
    {"hide_uninstall_batch1", bit(26), "run the first uninstall batch hidden"},
    {"hide_uninstall_batch2", bit(27), "run the second uninstall batch hidden"},
    {"no_overwrite_question", bit(28), "do not ask before installing over an earlier installation"},
    {"no_background_window", bit(29), "no background window"},
    {"confirm_directory", bit(31), "ask the user to confirm the chosen directory"},
};

constexpr NamedBit high_bits[] = {
    {"verify_checksums", bit(0), "check the engine checksum and every data block's checksum"},
    {"uninstaller_desktop_shortcut", bit(1), "uninstaller shortcut on the desktop"},
    {"start_menu_page", bit(2), "show the start-menu folder page"},
    {"errors_in_silent_mode", bit(3), "show error messages also in silent runs"},
    {"compare_versions", bit(4), "compare versions when an earlier installation is found"},
    {"refuse_network_directory", bit(5), "refuse network directories"},
    {"uninstaller_data_folder_shortcut", bit(6), "uninstaller shortcut in the uninstall data folder"},
    {"maximized_background", bit(8), "background window maximized"},
    {"reboot_question_in_silent_mode", bit(9), "ask the restart question also in silent runs"},
    {"keep_title", bit(10), "keep the title text when the language changes"},
    {"no_greeting", bit(11), "no greeting"},
    {"minimum_upgrade_warning", bit(12), "warn below the minimum upgradable version"},
    {"restart_after_uninstall", bit(13), "restart after the uninstallation"},
    {"copy_readme_texts", bit(14), "write the read-me texts into the installation directory"},
    {"copy_license_texts", bit(15), "write the licence texts into the installation directory"},
    {"product_64bit", bit(16), "64-bit product: no file-system redirection, 64-bit registry view"},
    {"fixed_progress_text", bit(17), "the progress page shows a fixed text instead of file names"},
    {"grant_everyone_install_dir", bit(18), "grant Everyone full access to the installation directory"},
    {"progress_page", bit(19), "show the progress page"},
    {"small_icon", bit(20), "give pages and message boxes the installer's small icon"},
    {"reboot_marker_file", bit(21), "write the empty marker file reboot.dat"},
    {"keep_install_log_at_uninstall", bit(22), "the uninstaller keeps Install.LOG"},
    {"refuse_removable_drives", bit(23), "refuse removable drives"},
    {"no_uninstall_on_removable", bit(24), "no uninstall support on a removable drive"},
    {"offer_view_log", bit(25), "offer to view the installation log at the end"},
    {"bind_executables", bit(26), "bind installed executables"},
    {"log_start_menu_shortcut", bit(27), "start-menu shortcut to the installation log"},
    {"hide_upgrade_batch", bit(28), "run the upgrade batch hidden"},
    {"hide_reinstall_batch", bit(29), "run the reinstall batch hidden"},
    {"grant_everyone_shared_folder", bit(30), "grant Everyone full access to the shared folder too"},
};

constexpr NamedBit setup_bits[] = {
    {"reinstall_batch_same_version_only", bit(0), "run the reinstall batch only for the same version"},
    {"restore_point", bit(1), "create a system restore point"},
    {"check_launch_program", bit(2), "the launch-program choice starts checked"},
    {"check_view_file", bit(3), "the view-file choice starts checked"},
    {"check_open_file", bit(4), "the open-file choice starts checked"},
    {"uninstaller_without_package", bit(5), "the uninstaller is the engine without its package"},
    {"log_pre_install_batch", bit(6), "log the pre-installation batch's output"},
    {"log_post_install_batch", bit(7), "log the post-installation batch's output"},
    {"log_upgrade_batch", bit(8), "log the upgrade batch's output"},
    {"log_reinstall_batch", bit(9), "log the reinstall batch's output"},
};

constexpr NamedBit file_flag_bits[] = {
    {"desktop_shortcut", 0x1, "shortcut choice 1 (desktop)"},
    {"start_menu_shortcut", 0x2, "shortcut choice 2 (start menu)"},
    {"keep_at_uninstall", 0x20, "not removed at uninstallation"},
    {"uninstall_dir", 0x40, "placed in the uninstall data folder"},
    {"msi_list", 0x80, "the MSI package joins the list of installed MSI packages"},
};

constexpr NamedBit attribute_bits[] = {
    {"read_only", 0x1, ""}, {"hidden", 0x2, ""},      {"system", 0x4, ""},
    {"archive", 0x20, ""},  {"temporary", 0x100, ""}, {"offline", 0x1000, ""},
};

constexpr NamedValue kinds[] = {
    {"plain", 0},         {"shared", 1},     {"font", 4},        {"shortcut", 5},
    {"system", 6},        {"com_server", 7}, {"type_library", 8}, {"versioned", 9},
    {"inf_driver", 10},   {"msi_package", 11}, {"control_panel", 12},
};

constexpr NamedValue overwrite_modes[] = {
    {"always", 0x00},        // no mode: overwrite
    {"never", 0x04},         // skip the file
    {"existing_only", 0x08}, // only where the file already exists
    {"missing_only", 0x0C},  // only where it does not exist yet
    {"unless_newer", 0x10},  // not over a newer file
};

}  // namespace

std::span<const NamedBit> product_flag_low_names() { return low_bits; }
std::span<const NamedBit> product_flag_high_names() { return high_bits; }
std::span<const NamedBit> setup_option_names() { return setup_bits; }
std::span<const NamedBit> excluded_system_names() {
  static const std::vector<NamedBit> names = [] {
    std::vector<NamedBit> bits;
    uint32_t mask = 1;
    for (const WindowsRelease& release : windows_releases()) {
      bits.push_back({release.key, mask, release.name});
      mask <<= 1;
    }
    return bits;
  }();
  return names;
}
std::span<const NamedBit> file_flag_names() { return file_flag_bits; }
std::span<const NamedBit> file_attribute_names() { return attribute_bits; }
std::span<const NamedValue> file_kind_names() { return kinds; }
std::span<const NamedValue> overwrite_mode_names() { return overwrite_modes; }

std::optional<uint32_t> find_bit(std::span<const NamedBit> table, std::string_view name) {
  for (const NamedBit& b : table)
    if (b.name == name) return b.mask;
  return std::nullopt;
}

std::optional<uint32_t> find_value(std::span<const NamedValue> table, std::string_view name) {
  for (const NamedValue& v : table)
    if (v.name == name) return v.value;
  return std::nullopt;
}

std::string describe_bits(std::span<const NamedBit> table, uint32_t value) {
  std::string out;
  uint32_t rest = value;
  for (const NamedBit& b : table) {
    if ((value & b.mask) != b.mask) continue;
    if (!out.empty()) out += ", ";
    out += b.name;
    rest &= ~b.mask;
  }
  if (rest) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X", unsigned(rest));
    if (!out.empty()) out += ", ";
    out += hex;
  }
  return out;
}

std::string describe_value(std::span<const NamedValue> table, uint32_t value) {
  for (const NamedValue& v : table)
    if (v.value == value) return std::string(v.name);
  return std::to_string(value);
}

std::string list_names(std::span<const NamedBit> table) {
  std::string out;
  for (const NamedBit& b : table) out += (out.empty() ? "" : ", ") + std::string(b.name);
  return out;
}

std::string list_names(std::span<const NamedValue> table) {
  std::string out;
  for (const NamedValue& v : table) out += (out.empty() ? "" : ", ") + std::string(v.name);
  return out;
}

}  // namespace halvard::builder
