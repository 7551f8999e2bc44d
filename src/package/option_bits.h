#pragma once
// Every option bit of a package in one table, shared by the engine and halvard-build:
// the name a project file and `inspect` use, the bit number and what the bit does. The
// engine tests `product_flag::low_NAME`, `product_flag::high_NAME` and
// `setup_option::NAME`; the builder reads and writes the names.

#include <cstdint>
#include <string_view>

// X(name, bit number, meaning)
#define HALVARD_PRODUCT_FLAGS_LOW(X) \
  X(must_uninstall_first, 0, "an earlier installation must be uninstalled first") \
  X(uninstaller_start_menu_shortcut, 1, "uninstaller shortcut in the start-menu folder") \
  X(uninstall_support, 2, "uninstaller, uninstall registration and Uninstall.DAT; shared folder under a base folder") \
  X(ask_font_removal, 4, "the uninstaller asks before removing each font") \
  X(compressed_blocks, 5, "file data blocks are compressed (set by [build] compression)") \
  X(keep_log, 6, "keep the installation log also when nothing failed") \
  X(directory_page, 7, "show the installation-directory page") \
  X(single_instance, 8, "only one installer of this kind runs at a time") \
  X(silent_uninstall, 9, "the uninstaller runs without questions") \
  X(remove_install_dir, 10, "the uninstaller deletes the installation directory") \
  X(replace_new_files_at_restart, 11, "in-use replacement also for files that did not exist before") \
  X(edit_path, 12, "add the installation directory to PATH") \
  X(reboot, 14, "restart the computer at the end") \
  X(keep_background_bitmap, 15, "keep the background bitmap for the uninstaller") \
  X(master_product, 16, "a master product must be installed first") \
  X(ask_file_removal, 17, "the uninstaller asks before deleting a shared file no other product uses") \
  X(verify_written_files, 18, "compare every written file with its data") \
  X(clear_attributes_on_retry, 19, "clear read-only, hidden and system of an existing file before retrying") \
  X(detailed_log, 20, "one log line per shortcut and per installed file") \
  X(progress_not_cancellable, 21, "the progress page has no working Cancel") \
  X(no_completion_notice, 22, "no completion message or finish page") \
  X(hide_pre_install_batch, 23, "run the pre-installation batch hidden") \
  X(hide_post_install_batch, 24, "run the post-installation batch hidden") \
  X(hide_exit_batch, 25, "run the exit batch hidden") \
  X(hide_uninstall_batch1, 26, "run the first uninstall batch hidden") \
  X(hide_uninstall_batch2, 27, "run the second uninstall batch hidden") \
  X(no_overwrite_question, 28, "do not ask before installing over an earlier installation") \
  X(no_background_window, 29, "no background window") \
  X(confirm_directory, 31, "ask the user to confirm the chosen directory")

#define HALVARD_PRODUCT_FLAGS_HIGH(X) \
  X(verify_checksums, 0, "check the engine checksum and every data block's checksum") \
  X(uninstaller_desktop_shortcut, 1, "uninstaller shortcut on the desktop") \
  X(start_menu_page, 2, "show the start-menu folder page") \
  X(errors_in_silent_mode, 3, "show error messages also in silent runs") \
  X(compare_versions, 4, "compare versions when an earlier installation is found") \
  X(refuse_network_directory, 5, "refuse network directories") \
  X(uninstaller_data_folder_shortcut, 6, "uninstaller shortcut in the uninstall data folder") \
  X(maximized_background, 8, "background window maximized") \
  X(reboot_question_in_silent_mode, 9, "ask the restart question also in silent runs") \
  X(keep_title, 10, "keep the title text when the language changes") \
  X(no_greeting, 11, "no greeting") \
  X(minimum_upgrade_warning, 12, "warn below the minimum upgradable version") \
  X(restart_after_uninstall, 13, "restart after the uninstallation") \
  X(copy_readme_texts, 14, "write the read-me texts into the installation directory") \
  X(copy_license_texts, 15, "write the licence texts into the installation directory") \
  X(product_64bit, 16, "64-bit product: no file-system redirection, 64-bit registry view") \
  X(fixed_progress_text, 17, "the progress page shows a fixed text instead of file names") \
  X(grant_everyone_install_dir, 18, "grant Everyone full access to the installation directory") \
  X(progress_page, 19, "show the progress page") \
  X(small_icon, 20, "give pages and message boxes the installer's small icon") \
  X(reboot_marker_file, 21, "write the empty marker file reboot.dat") \
  X(keep_install_log_at_uninstall, 22, "the uninstaller keeps Install.LOG") \
  X(refuse_removable_drives, 23, "refuse removable drives") \
  X(no_uninstall_on_removable, 24, "no uninstall support on a removable drive") \
  X(offer_view_log, 25, "offer to view the installation log at the end") \
  X(bind_executables, 26, "bind installed executables") \
  X(log_start_menu_shortcut, 27, "start-menu shortcut to the installation log") \
  X(hide_upgrade_batch, 28, "run the upgrade batch hidden") \
  X(hide_reinstall_batch, 29, "run the reinstall batch hidden") \
  X(grant_everyone_shared_folder, 30, "grant Everyone full access to the shared folder too")

#define HALVARD_SETUP_OPTIONS(X) \
  X(reinstall_batch_same_version_only, 0, "run the reinstall batch only for the same version") \
  X(restore_point, 1, "create a system restore point") \
  X(check_launch_program, 2, "the launch-program choice starts checked") \
  X(check_view_file, 3, "the view-file choice starts checked") \
  X(check_open_file, 4, "the open-file choice starts checked") \
  X(uninstaller_without_package, 5, "the uninstaller is the engine without its package") \
  X(log_pre_install_batch, 6, "log the pre-installation batch's output") \
  X(log_post_install_batch, 7, "log the post-installation batch's output") \
  X(log_upgrade_batch, 8, "log the upgrade batch's output") \
  X(log_reinstall_batch, 9, "log the reinstall batch's output")

namespace halvard {

namespace product_flag {
#define HALVARD_BIT(name, bit, meaning) inline constexpr uint32_t low_##name = uint32_t(1) << bit;
HALVARD_PRODUCT_FLAGS_LOW(HALVARD_BIT)
#undef HALVARD_BIT
#define HALVARD_BIT(name, bit, meaning) inline constexpr uint32_t high_##name = uint32_t(1) << bit;
HALVARD_PRODUCT_FLAGS_HIGH(HALVARD_BIT)
#undef HALVARD_BIT
}  // namespace product_flag

namespace setup_option {
#define HALVARD_BIT(name, bit, meaning) inline constexpr uint32_t name = uint32_t(1) << bit;
HALVARD_SETUP_OPTIONS(HALVARD_BIT)
#undef HALVARD_BIT
}  // namespace setup_option

struct OptionBit {
  std::string_view name;
  uint32_t mask;
  std::string_view meaning;
};

#define HALVARD_ROW(name, bit, meaning) OptionBit{#name, uint32_t(1) << bit, meaning},
inline constexpr OptionBit product_flag_low_bits[] = {HALVARD_PRODUCT_FLAGS_LOW(HALVARD_ROW)};
inline constexpr OptionBit product_flag_high_bits[] = {HALVARD_PRODUCT_FLAGS_HIGH(HALVARD_ROW)};
inline constexpr OptionBit setup_option_bits[] = {HALVARD_SETUP_OPTIONS(HALVARD_ROW)};
#undef HALVARD_ROW

}  // namespace halvard
