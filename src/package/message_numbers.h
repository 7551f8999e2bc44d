#pragma once
// Every message number the engine shows, by meaning, in one table shared by the engine
// and halvard-build. A package's message table is indexed by these numbers; the engine
// says message_number::directory_title, not 24. The third column lists the printf
// conversions the engine fills into the text, in order (empty: shown as it is).

#include <string_view>

// X(name, number, conversions)
#define HALVARD_MESSAGES(X) \
  X(window_title, 0, "") \
  X(greeting_text, 1, "") \
  X(earlier_installation_title, 2, "") \
  X(already_installed_here, 3, "") \
  X(same_version_installed, 4, "") \
  X(older_version_installed, 5, "") \
  X(newer_version_installed, 6, "") \
  X(install_over_it, 7, "") \
  X(preparing_status, 8, "") \
  X(must_uninstall_first, 9, "") \
  X(uninstall_failures, 10, "%s") \
  X(directory_prompt, 11, "") \
  X(master_product_missing, 12, "%s") \
  X(package_corrupt, 13, "%d") \
  X(invalid_folder, 14, "") \
  X(uninstall_complete_title, 15, "") \
  X(drive_missing, 16, "%c") \
  X(drive_root_refused, 17, "") \
  X(program_files_refused, 18, "%s") \
  X(low_disk_space, 19, "%s%c%s") \
  X(question_title, 20, "") \
  X(error_title, 21, "") \
  X(folder_exists, 22, "%s") \
  X(folder_will_be_created, 23, "%s") \
  X(directory_title, 24, "") \
  X(folder_not_created, 25, "") \
  X(cancel_question, 28, "") \
  X(reading_status, 29, "") \
  X(removing_status, 30, "") \
  X(file_not_created, 31, "") \
  X(finishing_status, 32, "") \
  X(uninstaller_shortcut_name, 33, "") \
  X(uninstall_complete, 34, "") \
  X(remove_file_title, 35, "") \
  X(complete_status, 36, "") \
  X(reboot_question, 37, "") \
  X(default_shortcut_name, 38, "%s") \
  X(installing_text, 39, "") \
  X(failures_view_log, 40, "%s") \
  X(failures_title, 41, "") \
  X(completed, 42, "") \
  X(completed_title, 43, "") \
  X(license_title, 44, "") \
  X(license_agree_button, 45, "") \
  X(license_decline_button, 46, "") \
  X(license_prompt, 47, "") \
  X(next_button, 48, "") \
  X(cancel_button, 49, "") \
  X(readme_title, 50, "") \
  X(readme_prompt, 51, "") \
  X(browse_button, 52, "") \
  X(uninstall_question, 53, "") \
  X(installing_files_status, 54, "") \
  X(uninstall_question_title, 55, "") \
  X(remove_font_question, 56, "%s") \
  X(remove_font_title, 57, "") \
  X(could_not_remove, 58, "") \
  X(remove_shared_file_question, 59, "%s") \
  X(windows_release_refused, 61, "%s") \
  X(unpacking_status, 62, "") \
  X(license_text, 63, "") \
  X(readme_text, 64, "") \
  X(greeting_title, 65, "") \
  X(network_folder_refused, 66, "") \
  X(removing_fonts_status, 67, "") \
  X(removing_log_status, 68, "") \
  X(removing_registry_status, 69, "") \
  X(uninstall_commands_status, 70, "") \
  X(uninstall_wait_text, 71, "") \
  X(below_minimum_upgrade_version, 72, "") \
  X(folder_not_writable, 73, "%s") \
  X(uninstall_reboot_question, 74, "") \
  X(password_title, 75, "") \
  X(password_prompt, 76, "") \
  X(administrator_required, 77, "") \
  X(administrator_recommended, 78, "") \
  X(yes_button, 79, "") \
  X(no_button, 80, "") \
  X(needs_64bit_windows, 81, "") \
  X(language_prompt, 82, "") \
  X(view_file_choice, 83, "") \
  X(launch_program_choice, 84, "") \
  X(view_log_choice, 85, "") \
  X(log_shortcut_name, 86, "") \
  X(open_file_choice, 87, "") \
  X(start_menu_prompt, 88, "") \
  X(start_menu_title, 89, "") \
  X(install_button, 90, "") \
  X(another_installer_running, 91, "") \
  X(space_needed, 92, "") \
  X(space_free, 93, "") \
  X(language_title, 94, "") \
  X(finish_button, 95, "") \
  X(removable_drive_refused, 96, "%c") \
  X(restore_point_status, 97, "") \
  X(installation_cancelled, 98, "") \
  X(close_application_retry, 99, "%s") \
  X(retry_button, 100, "") \
  X(uninstallation_cancelled, 101, "") \
  X(wrong_password, 102, "") \
  X(welcome_title, 103, "") \
  X(uninstall_button, 104, "")

namespace halvard {

namespace message_number {
#define HALVARD_MESSAGE(name, number, conversions) inline constexpr int name = number;
HALVARD_MESSAGES(HALVARD_MESSAGE)
#undef HALVARD_MESSAGE
}  // namespace message_number

struct MessageName {
  std::string_view name;
  int number;
  std::string_view conversions;
};

#define HALVARD_MESSAGE(name, number, conversions) MessageName{#name, number, conversions},
inline constexpr MessageName message_names[] = {HALVARD_MESSAGES(HALVARD_MESSAGE)};
#undef HALVARD_MESSAGE

}  // namespace halvard
