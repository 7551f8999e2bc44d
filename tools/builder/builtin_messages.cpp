#include "builtin_messages.h"

#include <algorithm>
#include <array>
#include <iterator>

#include "package/message_numbers.h"

namespace halvard::builder {
namespace {

struct EnglishText {
  int number;
  std::string_view text;
};

// Plain, short texts. "<product>" is replaced by the engine when it shows a text.
constexpr EnglishText english[] = {
    {message_number::window_title, "<product> Setup"},
    {message_number::greeting_text,
     "This program installs <product> on your computer.\r\n\r\nIt is best to close other programs before you go on."},
    {message_number::earlier_installation_title, "Earlier Installation Found"},
    {message_number::already_installed_here, "<product> is already installed in this folder:"},
    {message_number::same_version_installed, "This version of <product> is already installed in this folder:"},
    {message_number::older_version_installed, "An older version of <product> is installed in this folder:"},
    {message_number::newer_version_installed, "A newer version of <product> is installed in this folder:"},
    {message_number::install_over_it, "Do you want to install over it?"},
    {message_number::preparing_status, "Preparing the installation..."},
    {message_number::must_uninstall_first,
     "An earlier version of <product> must be uninstalled before this version can be installed."},
    {message_number::uninstall_failures, "Some items could not be removed:\r\n\r\n%s"},
    {message_number::directory_prompt, "Choose the folder to install <product> in:"},
    {message_number::master_product_missing, "%s must be installed before <product> can be installed."},
    {message_number::package_corrupt,
     "This installer is damaged and cannot go on. This usually happens when a download breaks off.\r\n\r\n"
     "Delete the installer file and download it again. If the problem stays, check this computer for viruses.\r\n\r\n"
     "Error code: %d"},
    {message_number::invalid_folder, "This is not a valid folder name:"},
    {message_number::uninstall_complete_title, "Uninstallation Complete"},
    {message_number::drive_missing, "Drive %c: does not exist."},
    {message_number::drive_root_refused, "Choose a folder, not the root of a drive."},
    {message_number::program_files_refused, "Choose a folder inside %s, not that folder itself."},
    {message_number::low_disk_space,
     "The installation needs %s on drive %c:, but only %s is free.\r\n\r\nInstall anyway?"},
    {message_number::question_title, "<product> Setup"},
    {message_number::error_title, "<product> Setup"},
    {message_number::folder_exists, "The folder %s already exists.\r\n\r\nInstall <product> in it?"},
    {message_number::folder_will_be_created, "The folder %s will be created.\r\n\r\nContinue?"},
    {message_number::directory_title, "Installation Folder"},
    {message_number::folder_not_created, "Could not create the folder"},
    {message_number::cancel_question, "Do you want to stop the installation?"},
    {message_number::reading_status, "Reading the installation data..."},
    {message_number::removing_status, "Removing <product>..."},
    {message_number::file_not_created, "Could not create"},
    {message_number::finishing_status, "Finishing the installation..."},
    {message_number::uninstaller_shortcut_name, "Uninstall <product>"},
    {message_number::uninstall_complete, "<product> has been removed from this computer."},
    {message_number::remove_file_title, "Remove File"},
    {message_number::complete_status, "The installation is complete."},
    {message_number::reboot_question, "The computer must restart to finish the installation. Restart now?"},
    {message_number::default_shortcut_name, "%s"},
    {message_number::installing_text, "Please wait while <product> is installed."},
    {message_number::failures_view_log,
     "Some parts could not be installed. The details are in the log file:\r\n%s\r\n\r\nDo you want to view it now?"},
    {message_number::failures_title, "Installation Problems"},
    {message_number::completed, "<product> has been installed."},
    {message_number::completed_title, "Installation Complete"},
    {message_number::license_title, "License Agreement"},
    {message_number::license_agree_button, "I &Agree"},
    {message_number::license_decline_button, "&Decline"},
    {message_number::license_prompt, "Please read the license agreement. To install <product> you must accept it."},
    {message_number::next_button, "&Next"},
    {message_number::cancel_button, "Cancel"},
    {message_number::readme_title, "Read Me"},
    {message_number::readme_prompt, "Please read the following information."},
    {message_number::browse_button, "&Browse..."},
    {message_number::uninstall_question, "Do you want to remove <product> and all of its parts from this computer?"},
    {message_number::installing_files_status, "Installing files..."},
    {message_number::uninstall_question_title, "Uninstall <product>"},
    {message_number::remove_font_question, "Remove the font %s?"},
    {message_number::remove_font_title, "Remove Font"},
    {message_number::could_not_remove, "Could not remove"},
    {message_number::remove_shared_file_question, "Remove %s?"},
    {message_number::windows_release_refused, "<product> cannot be installed on %s."},
    {message_number::unpacking_status, "Unpacking files..."},
    {message_number::license_text, ""},  // the project's licence, when it has one
    {message_number::readme_text, ""},   // the project's read-me, when it has one
    {message_number::greeting_title, "<product> Setup"},
    {message_number::network_folder_refused, "Network folders cannot be used. Choose a folder on a local drive."},
    {message_number::removing_fonts_status, "Removing fonts..."},
    {message_number::removing_log_status, "Removing the log file..."},
    {message_number::removing_registry_status, "Removing registry entries..."},
    {message_number::uninstall_commands_status, "Running the uninstall commands..."},
    {message_number::uninstall_wait_text, "Please wait while <product> is removed."},
    {message_number::below_minimum_upgrade_version,
     "The installed version of <product> is older than this installer can upgrade. Continue anyway?"},
    {message_number::folder_not_writable, "No file can be created in the folder %s. Choose another folder."},
    {message_number::uninstall_reboot_question, "The computer must restart to finish the removal. Restart now?"},
    {message_number::password_title, "Password"},
    {message_number::password_prompt, "This installer is protected by a password. Please enter it:"},
    {message_number::administrator_required, "Administrator rights are needed to install <product>."},
    {message_number::administrator_recommended,
     "You do not have administrator rights. The installation may not complete. Continue anyway?"},
    {message_number::yes_button, "&Yes"},
    {message_number::no_button, "&No"},
    {message_number::needs_64bit_windows, "<product> needs a 64-bit version of Windows."},
    {message_number::language_prompt, "Choose the language of the installation:"},
    {message_number::view_file_choice, "Show the information file"},
    {message_number::launch_program_choice, "Start <product> now"},
    {message_number::view_log_choice, "Show the installation log"},
    {message_number::log_shortcut_name, "Installation Log"},
    {message_number::open_file_choice, "Open the file"},
    {message_number::start_menu_prompt, "Choose the Start menu folder for the shortcuts:"},
    {message_number::start_menu_title, "Start Menu Folder"},
    {message_number::install_button, "&Install"},
    {message_number::another_installer_running,
     "Another installer is already running. Please wait until it has finished."},
    {message_number::space_needed, "Space needed:"},
    {message_number::space_free, "Space free:"},
    {message_number::language_title, "Language"},
    {message_number::finish_button, "&Finish"},
    {message_number::removable_drive_refused, "Drive %c: is read-only or removable. Choose a folder on another drive."},
    {message_number::restore_point_status, "Creating a system restore point..."},
    {message_number::installation_cancelled, "The installation was cancelled."},
    {message_number::close_application_retry, "%s is still running. Please close it, then click Retry."},
    {message_number::retry_button, "&Retry"},
    {message_number::uninstallation_cancelled, "The uninstallation was cancelled."},
    {message_number::wrong_password, "The password is not correct. Please try again."},
    {message_number::welcome_title, "Welcome"},
    {message_number::uninstall_button, "&Uninstall"},
};

constexpr BuiltinMessage with_engine_row(const EnglishText& e) {
  size_t row = 0;
  while (message_names[row].number != e.number) ++row;
  const MessageName& m = message_names[row];
  return {m.name, m.number, e.text, m.conversions};
}

constexpr auto messages = [] {
  std::array<BuiltinMessage, std::size(english)> out{};
  for (size_t i = 0; i < out.size(); ++i) out[i] = with_engine_row(english[i]);
  return out;
}();

}  // namespace

std::span<const BuiltinMessage> builtin_messages() { return messages; }

const BuiltinMessage* find_builtin_message(int number) {
  auto it = std::lower_bound(messages.begin(), messages.end(), number,
                             [](const BuiltinMessage& m, int n) { return m.number < n; });
  return it != messages.end() && it->number == number ? &*it : nullptr;
}

const BuiltinMessage* find_builtin_message(std::string_view name) {
  for (const BuiltinMessage& m : messages)
    if (m.name == name) return &m;
  return nullptr;
}

int builtin_message_rows() { return messages.back().number + 1; }

}  // namespace halvard::builder
