#include "installer/installation_sequence_win.h"

#include <shellapi.h>
#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "crash/fatal_error.h"
#include "foundation/file_digest_win.h"
#include "foundation/file_functions.h"
#include "foundation/orderly_exit_win.h"
#include "foundation/path_rules.h"
#include "foundation/process_launch_win.h"
#include "foundation/product_view_win.h"
#include "foundation/registry_access_win.h"
#include "foundation/system_info_win.h"
#include "foundation/text.h"
#include "foundation/windows_error.h"
#include "installer/component_registration_win.h"
#include "installer/crash_handler_win.h"
#include "installer/file_install_win.h"
#include "installer/folder_choice_win.h"
#include "installer/package_files_win.h"
#include "installer/registry_phase_win.h"
#include "installer/restore_point_win.h"
#include "installer/run_state.h"
#include "installer/shortcuts_win.h"
#include "installer/uninstall_registration_win.h"
#include "installer/windows_release.h"
#include "machine/close_applications.h"
#include "machine/close_applications_win.h"
#include "machine/notification.h"
#include "machine/notification_win.h"
#include "machine/path_edit_win.h"
#include "package/message_numbers.h"
#include "package/package_error.h"
#include "package/settings_stream.h"
#include "records/background_picture.h"
#include "records/deferred_operations_win.h"
#include "records/install_log.h"
#include "records/product_lock_win.h"
#include "records/uninstall_data_csv.h"
#include "records/uninstall_data_trust.h"
#include "records/uninstall_data_win.h"
#include "records/uninstall_registration.h"
#include "ui/message_pump_win.h"
#include "ui/progress_window_win.h"
#include "ui/wizard_pages_win.h"
#include "variables/batch_file_win.h"
#include "variables/directory_rights.h"
#include "variables/directory_rights_win.h"
#include "variables/variable_values_win.h"

namespace halvard {
namespace {

constexpr char single_instance_mutex[] = "Halvard Wren";

class Sequence {
 public:
  explicit Sequence(InstallationInputs inputs) : in_(inputs), settings_(inputs.ui.settings()) {
    state_.uninstall_support = low() & product_flag::low_uninstall_support;
    state_.reboot_wanted = low() & product_flag::low_reboot;
  }

  [[noreturn]] void run() {
    // A crash from here on is recorded in this run's failure summary and log.
    set_crash_recorder(
        [](void* context, const std::string& text) {
          auto* sequence = static_cast<Sequence*>(context);
          sequence->state_.failure_summary += text;
          sequence->write_log_file(false);
        },
        this);
    if (!language_page(in_.ui)) exit_installer(1);
    check_run_conditions();
    find_earlier_installation(settings_, state_);
    show_opening_pages();
    close_running_applications();
    choose_folders();
    progress_.open();
    begin_restore_point_if_asked();
    progress_.percent(1);
    prepare_folders();
    start_journal();
    run_batches_before_files();
    install_files();
    state_.journal.catch_up(state_.removal);
    progress_.forbid_cancel();
    after_files();
    progress_.percent(91);
    register_components();
    progress_.text(shown(message_number::finishing_status));
    progress_.percent(95);
    install_shortcuts(in_.ui, state_);
    state_.journal.catch_up(state_.removal);
    progress_.percent(97);
    write_background_picture();
    write_readme_and_licence_files();
    progress_.percent(98);
    apply_registry_key_and_script(settings_, state_);
    apply_associations(settings_, state_);
    if (!is_blank_text(settings_.FirewallList)) {
      FirewallSession firewall;
      apply_firewall_exceptions(settings_, state_, firewall);
    }
    if (low() & product_flag::low_edit_path) state_.failure_summary += add_to_path(settings_.InstallDir);
    progress_.percent(99);
    register_uninstall(settings_, in_.package, state_, in_.install_source);
    write_reboot_marker();
    progress_.text(shown(message_number::complete_status));
    progress_.percent(100);
    write_uninstall_data();
    run_batch(BatchKind::PostInstall, in_.ui, state_.log, in_.options.batch_additions[1], state_.installed_version);
    start_notification(notification_address(settings_, {.upgrade = state_.upgrade,
                                                        .downgrade = state_.downgrade,
                                                        .over_earlier_folder = state_.previously_installed}),
                       settings_.DisplayVersion);
    state_.log.write(commit_restore_point(restore_point_));
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    const std::string desktop =
        variable_value(settings_.ShortcutMode == 1 ? Variable::DesktopAllDir : Variable::DesktopDir, settings_);
    SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHA, desktop.c_str(), nullptr);
    progress_.close();
    if (!in_.options.run_after_install.empty()) {
      state_.log.write(fill_message("Launch on exit: %s\r\n", in_.options.run_after_install));
    }
    finish();
  }

 private:
  InstallationInputs in_;
  InstallSettings& settings_;
  RunState state_;
  RestorePoint restore_point_;
  ProductLock product_lock_;
  ProgressWindow progress_{in_.ui};
  bool journal_taken_over_ = false;  // an earlier run's journal was found

  bool silent() const { return settings_.AutomaticMode; }
  uint32_t low() const { return settings_.ProductFlags.low; }
  uint32_t high() const { return settings_.ProductFlags.high; }

  std::string shown(int n) const { return in_.ui.text(n); }

  // An error message box: titled by message 21, nothing for an empty text, nothing
  // in a silent run unless the package asks for errors there too.
  void show_error(const std::string& text) const { in_.ui.error_box(text); }

  [[noreturn]] void refuse(const std::string& text) const {
    show_error(text);
    exit_installer(1);
  }

  void add_failure(const std::string& path, DWORD error) {
    char text[4096];
    std::snprintf(text, sizeof text, "%s %s\r\n%s\r\n\r\n", shown(message_number::file_not_created).c_str(),
                  path.c_str(), windows_error_text(error).c_str());
    state_.failure_summary += text;
  }

  void check_run_conditions() {
    if ((high() & product_flag::high_product_64bit) && !windows_is_64bit()) {
      if (silent()) exit_installer(1);
      refuse(shown(message_number::needs_64bit_windows));
    }
    check_windows_release();
    check_administrator_rights();
    if (low() & product_flag::low_master_product) check_master_product();
    if (low() & product_flag::low_single_instance) {
      HANDLE mutex = CreateMutexA(nullptr, FALSE, single_instance_mutex);
      if (!mutex || WaitForSingleObject(mutex, 0) == WAIT_TIMEOUT)
        refuse(shown(message_number::another_installer_running));
    }
    // Also without the guard: a second run of the same product would write the same
    // records as this one, and a removal in progress would delete them under it.
    const std::string key_name = uninstall_key_name(settings_);
    if (!product_lock_.take(key_name.empty() ? settings_.ProductName : key_name, 0))
      refuse(shown(message_number::another_installer_running));
  }

  void check_windows_release() {
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    auto rtl_get_version = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
    if (!rtl_get_version || rtl_get_version(&info) != 0) return;
    int bit = windows_release_bit(info.dwPlatformId == VER_PLATFORM_WIN32_NT, info.dwMajorVersion,
                                  info.dwMinorVersion);
    if (settings_.ExcludedSystems & (1u << bit)) {
      refuse(fill_message(shown(message_number::windows_release_refused).c_str(),
                          std::string(windows_releases()[size_t(bit)].name)));
    }
  }

  // Membership of the Administrators group; a token that cannot be examined counts as
  // an administrator's, as the system's own check then says nothing either way.
  static bool is_administrator() {
    SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0,
                                  0, 0, 0, &administrators)) {
      return true;
    }
    BOOL member = TRUE;
    if (!CheckTokenMembership(nullptr, administrators, &member)) member = TRUE;
    FreeSid(administrators);
    return member;
  }

  void check_administrator_rights() {
    uint8_t level = settings_.AdminRequirement;
    if (level < 1 || level > 3 || is_administrator()) return;
    if (level == 1) refuse(shown(message_number::administrator_required));
    // Levels 2 and 3 ask; a silent run has nobody to ask and goes on.
    if (silent()) return;
    if (!in_.ui.ask_ok_cancel(shown(message_number::administrator_recommended),
                              shown(message_number::question_title))) {
      exit_installer(1);
    }
  }

  void check_master_product() {
    std::string key = std::string(uninstall_key_parent) + "\\" + settings_.MasterProduct;
    RegistryKey handle;
    bool installed = false;
    std::string location;
    if (handle.open(HKEY_LOCAL_MACHINE, key, KEY_READ | registry_32bit_view) == ERROR_SUCCESS) {
      for (const char* value : {"UninstallString", "QuietUninstallString"}) {
        installed =
            installed || RegQueryValueExA(handle.get(), value, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
      }
      location = read_registry_text(handle.get(), "InstallLocation").value_or(std::string());
    }
    if (lstrcmpiA(settings_.DefaultInstallDir.c_str(), "<master>") == 0) {
      if (location.empty()) installed = false;
      settings_.DefaultInstallDir = location;
    }
    if (!installed)
      refuse(fill_message(shown(message_number::master_product_missing).c_str(), settings_.MasterProductMessage));
  }

  // The run ends here when the user cancels a page that calls for the notice. Folders
  // this run made (the directory page makes the installation folder) go again while
  // they are empty.
  [[noreturn]] void cancel() {
    progress_.close();
    // What an earlier, stopped run left stays on record with its journal.
    state_.journal.close(!journal_taken_over_);
    const std::vector<RemovalEntry>& entries = state_.removal.entries();
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
      if (entry->kind == RemovalKind::Folder) RemoveDirectoryA(entry->path.c_str());
    }
    in_.ui.cancelled_notice();
    exit_installer(1);
  }

  // Greeting, password, then each licence and each read-me text on its own page; their
  // Cancel ends the run without a notice.
  void show_opening_pages() {
    if (!greeting_page(in_.ui) || !password_page(in_.ui)) exit_installer(1);
    for (const std::string& text : settings_.LicenseTexts) {
      if (!license_page(in_.ui, text)) exit_installer(1);
    }
    for (const std::string& text : settings_.ReadmeTexts) {
      if (!readme_page(in_.ui, text)) exit_installer(1);
    }
  }

  void close_running_applications() {
    if (settings_.CloseApplications.empty()) return;
    if (!close_applications(in_.ui, close_before_install)) {
      in_.ui.cancelled_notice();
      exit_installer(1);
    }
    // What is left goes to the uninstall data, for the uninstaller's own closing.
    keep_uninstall_entries(settings_.CloseApplications);
    for (DWORD until = GetTickCount() + 333; int(until - GetTickCount()) > 0; Sleep(10)) pump_messages();
  }

  void run_batches_before_files() {
    run_batch(BatchKind::PreInstall, in_.ui, state_.log, in_.options.batch_additions[0], state_.installed_version);
    if (state_.upgrade) run_batch(BatchKind::Upgrade, in_.ui, state_.log, {}, state_.installed_version);
    bool same_version_only = settings_.SetupOptions & setup_option::reinstall_batch_same_version_only;
    if (state_.previously_installed && (!same_version_only || state_.same_version)) {
      run_batch(BatchKind::Reinstall, in_.ui, state_.log, {}, state_.installed_version);
    }
  }

  void begin_restore_point_if_asked() {
    if (!(settings_.SetupOptions & setup_option::restore_point)) return;
    std::string description = settings_.ProductName;
    if (!settings_.DisplayVersion.empty()) description += " " + settings_.DisplayVersion;
    state_.log.write(begin_restore_point(description, restore_point_));
  }

  void choose_folders() {
    choose_installation_directory(in_.ui, state_, in_.package.header.FileDataSizes);
    while (settings_.InstallDir.size() > 3 && settings_.InstallDir.back() == '\\') settings_.InstallDir.pop_back();
    settings_.UninstallDir = settings_.UninstallSubdir.empty()
                                 ? settings_.InstallDir
                                 : uninstall_folder_file(settings_.InstallDir, settings_.UninstallSubdir);
    expand_variables(settings_.SharedPath, settings_);
    if (!choose_start_menu_folder(in_.ui, state_)) cancel();
    state_.start_menu_folder = settings_.ProductStartMenu;
  }

  // Creates every missing folder of `path`; the new ones go on the removal list.
  DWORD create_folders(const std::string& path) {
    FolderTreeOutcome made = halvard::create_folder_tree(path);
    for (const std::string& folder : made.created) state_.removal.record(folder, RemovalKind::Folder);
    return made.error;
  }

  // Whether the folder holds files that are not this product's. An earlier installation
  // of the product in the same folder passes on what it found when it came.
  bool install_dir_holds_other_files() const {
    std::string key_path = std::string(uninstall_key_parent) + "\\" + uninstall_key_name(settings_);
    RegistryKey key;
    if (key.open(HKEY_LOCAL_MACHINE, key_path, KEY_READ | registry_32bit_view) == ERROR_SUCCESS) {
      std::string location = read_registry_text(key.get(), "InstallLocation").value_or(std::string());
      std::optional<uint32_t> held = read_registry_number(key.get(), "InstallDirHeldFiles");
      if (lstrcmpiA(location.c_str(), settings_.InstallDir.c_str()) == 0) return held.value_or(0) != 0;
    }
    for (const FoundFile& found : list_files(settings_.InstallDir + "\\*")) {
      if (!found.is_dot_entry()) return true;
    }
    return false;
  }

  void prepare_folders() {
    state_.install_dir_held_files = install_dir_holds_other_files();
    if (DWORD error = create_folders(settings_.InstallDir)) {
      add_failure(settings_.InstallDir, error);
    }
    if (grants_rights_to_install_dir(settings_)) state_.log.write(grant_directory_rights(settings_.InstallDir));
    if (!settings_.UninstallSubdir.empty()) {
      if (DWORD error = create_folders(settings_.UninstallDir)) {
        state_.log.write("Failed to create uninstall data folder \"" + settings_.UninstallDir +
                         "\": " + windows_error_text(error) + "\r\n");
      }
    }
    // Without a base folder the shared folder is a bare name, which would land in
    // whatever folder the installer was started from.
    if (is_absolute_path(settings_.SharedPath)) {
      if (DWORD error = create_folders(settings_.SharedPath)) {
        state_.log.write("Failed to create shared folder \"" + settings_.SharedPath + "\": " +
                         windows_error_text(error) + "\r\n");
      }
      if (grants_rights_to_shared_dir(settings_)) state_.log.write(grant_directory_rights(settings_.SharedPath));
    }
    std::string root = settings_.InstallDir.substr(0, 3);
    if ((high() & product_flag::high_no_uninstall_on_removable) && GetDriveTypeA(root.c_str()) == DRIVE_REMOVABLE) {
      state_.uninstall_support = false;
    }
  }

  // A run into these folders that was stopped left its removal list: this run takes it
  // over, so that what that run put down goes with the product, and deletes the files it
  // left half-written under their temporary names. Only entries inside the product's
  // folders count, as users who may change the file could not delete files elsewhere,
  // and the folders that enclose the installation folder, which go only when empty.
  void start_journal() {
    if (!state_.uninstall_support) return;
    const std::string path = uninstall_folder_file(settings_.UninstallDir, removal_journal_file_name);
    UninstallData earlier;
    earlier.removal = read_removal_journal_file(path);
    const std::vector<std::string> own_folders = {settings_.InstallDir, settings_.UninstallDir};
    const std::string& install_dir = settings_.InstallDir;
    for (const RemovalEntry& entry : earlier.removal.entries()) {
      bool encloses = entry.kind == RemovalKind::Folder && install_dir.size() > entry.path.size() &&
                      install_dir[entry.path.size()] == '\\' && starts_ignoring_case(install_dir, entry.path);
      if (!encloses && !inside_folders(entry.path, own_folders)) continue;
      if (entry.kind == RemovalKind::File) DeleteFileW(name_to_wide(partial_file_name(entry.path)).c_str());
      state_.removal.record(entry.path, entry.kind);
    }
    journal_taken_over_ = !earlier.removal.empty();
    state_.journal.begin(path);
  }

  void install_files() {
    progress_.text(shown(message_number::preparing_status));
    PackageFilesResult result = install_package_files(in_.package, in_.own_file, settings_, state_, progress_);
    if (result.package_error) package_error(result.package_error);
    if (!result.fatal_text.empty()) fatal_error("%s", result.fatal_text.c_str());
    if (result.cancelled) take_back_and_cancel();
  }

  // A cancel during the file phase: nothing is registered yet, so nothing could remove
  // what came so far. The files this run brought go again, newest first, then (in
  // cancel) every folder it recorded that is empty now; files that were there before stay.
  [[noreturn]] void take_back_and_cancel() {
    for (auto file = state_.created_files.rbegin(); file != state_.created_files.rend(); ++file) delete_file(*file);
    cancel();
  }

  void after_files() {
    announce_fonts(state_);
    std::string cleaned;
    clean_pending_operations(state_.written_files, &cleaned);
    state_.log.write(cleaned);
  }

  void register_components() {
    if (state_.uninstall_support) {
      progress_.percent(92);
      raise_shared_counts(state_);
    }
    if (!state_.com_servers.empty() || !state_.type_libraries.empty()) {
      progress_.percent(93);
      register_servers_and_type_libraries(state_, high() & product_flag::high_product_64bit);
    }
    install_drivers(state_);
  }

  void write_text_file(const std::string& name, const std::string& text) {
    std::string path = uninstall_folder_file(settings_.InstallDir, name);
    if (save_file(path, text) == FileError::Success) {
      state_.removal.record(path, RemovalKind::File);
    } else {
      add_failure(path, GetLastError());
    }
  }

  // Text n of a list is "readme<n>.txt", except that a list of one is "readme.txt".
  void write_numbered_texts(const std::vector<std::string>& texts, const char* base) {
    int number = 0;
    for (size_t i = 0; i < texts.size(); ++i) {
      if (texts[i].empty()) continue;
      ++number;
      bool only = number == 1 && i + 1 == texts.size();
      write_text_file(std::string(base) + (only ? "" : std::to_string(number)) + ".txt", texts[i]);
    }
  }

  void write_readme_and_licence_files() {
    if (high() & product_flag::high_copy_readme_texts) write_numbered_texts(settings_.ReadmeTexts, "readme");
    if (high() & product_flag::high_copy_license_texts) write_numbered_texts(settings_.LicenseTexts, "eula");
  }

  // The picture goes with the uninstaller, which draws its window as the installer did.
  void write_background_picture() {
    if (!(low() & product_flag::low_keep_background_bitmap) || settings_.BackgroundBitmap.empty()) return;
    const std::string path = uninstall_folder_file(settings_.UninstallDir, background_picture_file_name);
    const std::string picture = bitmap_file(settings_.BackgroundBitmap);
    if (save_file(path, picture) == FileError::Success)
      state_.removal.record(path, RemovalKind::File);
    else
      add_failure(path, GetLastError());
  }

  void write_reboot_marker() {
    if (!(high() & product_flag::high_reboot_marker_file)) return;
    std::string path = uninstall_folder_file(settings_.InstallDir, "reboot.dat");
    if (save_file(path, "") == FileError::Success) delete_at_reboot(path);
  }

  void write_uninstall_data() {
    if (!state_.uninstall_support) return;
    state_.uninstall_data.removal = state_.removal;
    add_package_sections(state_.uninstall_data, settings_);
    // The keys the script made go after its own lines, deepest first, as keys the
    // uninstaller removes once empty.
    std::string& script = state_.uninstall_data.registry_script;
    const std::vector<std::string>& made = state_.created_registry_keys;
    for (auto key = made.rbegin(); key != made.rend(); ++key) {
      if (!script.empty() && script.back() != '\n') script += "\r\n";
      script += csv_field(*key) + "\r\n";
    }
    const std::string path = uninstall_folder_file(settings_.UninstallDir, uninstall_data_file_name);
    state_.journal.catch_up(state_.removal);
    WriteOutcome outcome = write_uninstall_data_file(settings_.UninstallDir, state_.uninstall_data);
    if (!outcome.ok) {
      add_failure(path, outcome.windows_error);
      // The journal, complete, stands in for the file: the product can still be removed.
      if (state_.journal.complete()) record_digest(state_.journal.path());
      state_.journal.close(false);
      return;
    }
    record_digest(path);
    state_.journal.close(true);
  }

  // The file may lie where users who are not administrators can change it; the
  // registration, which only administrators can, keeps its digest for the uninstaller.
  void record_digest(const std::string& path) {
    std::optional<std::string> digest = file_sha256(path);
    RegistryKey key;
    if (digest && key.open(HKEY_LOCAL_MACHINE, std::string(uninstall_key_parent) + "\\" + uninstall_key_name(settings_),
                           KEY_SET_VALUE | registry_32bit_view) == ERROR_SUCCESS)
      RegSetValueExA(key.get(), uninstall_data_digest_value, 0, REG_SZ, reinterpret_cast<const BYTE*>(digest->c_str()),
                     DWORD(digest->size() + 1));
  }

  // `report`: a failure to write is shown (not from the crash handler, which shows its own).
  void write_log_file(bool report = true) {
    std::string log_path = uninstall_folder_file(settings_.UninstallDir, install_log_file_name);
    std::optional<std::string> overwriting;
    if (state_.previously_installed && !state_.installed_version.empty()) overwriting = state_.installed_version;
    LogHeader header = make_log_header(settings_, local_now(), os_description(), state_.previously_installed,
                                       overwriting, state_.uninstall_support);
    std::string completed =
        state_.failure_summary.empty() ? shown(message_number::completed_title) + "\r\n" : std::string();
    // The log holds the failure summary: a log that cannot be written is said at once.
    if (WriteOutcome written =
            append_install_log(log_path, header, state_.log.text(), state_.failure_summary, completed);
        !written && report)
      show_error(shown(message_number::file_not_created) + " " + log_path + "\r\n" +
                 windows_error_text(written.windows_error));
  }

  [[noreturn]] void finish() {
    FinishLogPlan plan = plan_finish_log(finish_log_inputs(settings_, true, state_.failure_summary, state_.reboot_wanted));
    std::string log_path = uninstall_folder_file(settings_.UninstallDir, install_log_file_name);
    ExitChoices choices;
    if (state_.failure_summary.empty()) {
      choices = completion(in_.ui);
    } else if (!silent() && in_.ui.ask_yes_no(fill_message(shown(message_number::failures_view_log).c_str(), log_path),
                                              shown(message_number::failures_title))) {
      choices.view_log = true;
    }
    if (plan.write_file) write_log_file();
    bool reboot = state_.reboot_wanted;
    if (reboot && (!silent() || (high() & product_flag::high_reboot_question_in_silent_mode))) {
      reboot = in_.ui.ask_yes_no(shown(message_number::reboot_question), shown(message_number::question_title));
    }
    run_batch(BatchKind::InstallExit, in_.ui, state_.log, in_.options.batch_additions[2], state_.installed_version);
    if (reboot) {
      ExitWindowsEx(EWX_REBOOT, 0x80040002);
      exit_installer(1);
    }
    SetCurrentDirectoryA(settings_.InstallDir.c_str());
    if (!in_.options.run_after_install.empty() && state_.failure_summary.empty()) launch(in_.options.run_after_install);
    act_on(choices, log_path);
    exit_installer(1);
  }

  void open_with_shell(const std::string& file) {
    std::string path = file;
    expand_variables(path, settings_);
    if (!is_absolute_path(path)) path = uninstall_folder_file(settings_.InstallDir, path);
    ShellExecuteA(nullptr, nullptr, path.c_str(), nullptr, settings_.InstallDir.c_str(), SW_SHOWNORMAL);
  }

  // The summary page's choices, in their fixed order.
  void act_on(const ExitChoices& choices, const std::string& log_path) {
    if (choices.view_file && !settings_.ExitViewFile.empty()) open_with_shell(settings_.ExitViewFile);
    if (choices.launch_program && !settings_.ExitLaunchProgram.empty()) {
      std::string program = settings_.ExitLaunchProgram;
      expand_variables(program, settings_);
      if (!start_program(program)) {
        append_text(log_path, "Failed to launch app: " + program + "\r\n" + last_windows_error_text(), 0);
      }
    }
    if (choices.view_log) {
      if (INT_PTR(ShellExecuteA(nullptr, nullptr, log_path.c_str(), nullptr, nullptr, SW_SHOWNORMAL)) <= 32)
        start_program("notepad.exe \"" + log_path + "\"");
    }
    if (choices.open_file && !settings_.ExitOpenFile.empty()) open_with_shell(settings_.ExitOpenFile);
  }

  // Starts a command line in the installation folder without waiting for it.
  bool start_program(const std::string& command) { return start_process(command, {.directory = settings_.InstallDir}); }

  void launch(const std::string& command) {
    if (start_program(command)) return;
    std::string failure = "Failed to launch command: " + command + "\r\n" + last_windows_error_text();
    append_text(uninstall_folder_file(settings_.UninstallDir, install_log_file_name), failure, 0);
  }
};

}  // namespace

void run_installation_sequence(InstallationInputs inputs) { Sequence(inputs).run(); }

}  // namespace halvard
