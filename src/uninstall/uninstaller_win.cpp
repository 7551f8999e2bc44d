#include "uninstall/uninstaller_win.h"

#include <shlobj.h>
#include <windows.h>

#include <algorithm>

#include "crash/fatal_error.h"
#include "foundation/file.h"
#include "foundation/file_digest_win.h"
#include "foundation/file_functions.h"
#include "foundation/guarded_call_win.h"
#include "foundation/own_path.h"
#include "foundation/path_rules.h"
#include "foundation/product_view_win.h"
#include "foundation/registry_access_win.h"
#include "foundation/system_info_win.h"
#include "foundation/system_library_win.h"
#include "foundation/text.h"
#include "foundation/windows_error.h"
#include "machine/close_applications.h"
#include "machine/close_applications_win.h"
#include "machine/firewall_win.h"
#include "machine/path_edit_win.h"
#include "package/message_numbers.h"
#include "package/settings_stream.h"
#include "records/background_picture.h"
#include "records/deferred_operations_win.h"
#include "records/install_log.h"
#include "records/installed_product.h"
#include "records/product_lock.h"
#include "records/product_lock_win.h"
#include "records/uninstall_data_trust.h"
#include "records/uninstall_data_win.h"
#include "records/uninstall_records.h"
#include "records/uninstall_registration.h"
#include "ui/background_window_win.h"
#include "ui/message_pump_win.h"
#include "ui/progress_window_win.h"
#include "uninstall/uninstall_files_win.h"
#include "uninstall/uninstall_registry_win.h"
#include "variables/batch_file_win.h"
#include "variables/variable_values_win.h"

namespace halvard {
namespace {

constexpr DWORD step_pause_ms = 600;
constexpr DWORD lock_wait_ms = 5000;
constexpr DWORD pause_slice_ms = 50;
constexpr DWORD msi_missing = 120;
constexpr DWORD exception_in_service = 1064;  // a crash inside the call

class Uninstaller {
 public:
  Uninstaller(const std::string& name, UserInterface& ui) : name_(name), ui_(ui), s_(ui.settings()) {}

  bool run() {
    // The wait covers an installer that starts this removal and then ends.
    if (!lock_.take(name_, lock_wait_ms)) {
      show_error(product_busy_text(name_));
      return false;
    }
    if (!open_registration()) return false;
    if (!read_uninstall_data()) return false;
    if (!confirm()) return false;
    progress_.open();
    s_.SharedPath = read_registry_text(key_.get(), "SharedPath").value_or(std::string());
    run_uninstall_batch(BatchKind::Uninstall1, "UninstallBatch1");
    step(message_number::uninstall_commands_status, 1);
    restore_associations_step();
    step(message_number::removing_fonts_status, 3);
    remove_fonts();
    step(message_number::removing_log_status, 5);
    if (!(high() & product_flag::high_keep_install_log_at_uninstall)) {
      std::string log = uninstall_folder_file(s_.UninstallDir, install_log_file_name);
      if (GetFileAttributesA(log.c_str()) != INVALID_FILE_ATTRIBUTES) delete_file(log);
    }
    release_shared_files_step();
    remove_msi_products();
    progress_.percent(10);
    remove_files_and_folders();
    rewrite_uninstall_data();
    remove_start_menu_folder(variable_value(s_.ShortcutMode == 1 ? Variable::SMProgramsAllDir : Variable::SMProgramsDir, s_),
                             product_.start_menu);
    pause(GetTickCount());
    step(message_number::removing_registry_status, 95);
    remove_registry_entries();
    progress_.percent(96);
    remove_firewall_exceptions();
    progress_.percent(97);
    remove_driver_files();
    delete_install_dir_if_asked();
    progress_.percent(98);
    if (is_absolute_path(s_.SharedPath)) RemoveDirectoryA(s_.SharedPath.c_str());
    if (failures_.empty()) remove_registration();
    return finish();
  }

  std::vector<std::string> outer_folders() const {
    std::vector<std::string> outer;
    for (const std::string& folder : left_folders_) {
      if (folder.size() < s_.InstallDir.size() && s_.InstallDir[folder.size()] == '\\' &&
          starts_ignoring_case(s_.InstallDir, folder))
        outer.push_back(folder);
    }
    std::sort(outer.begin(), outer.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    return outer;
  }

 private:
  std::string name_;
  ProductLock lock_;
  UserInterface& ui_;
  InstallSettings& s_;
  ProgressWindow progress_{ui_};
  InstalledProduct product_;
  UninstallData data_;
  RegistryKey key_;
  std::string key_path_;
  std::string failures_;
  std::vector<std::string> kept_files_;
  std::vector<std::string> left_folders_;
  std::vector<std::string> kept_msi_;
  std::vector<std::string> system_folders_;  // read once, when first needed
  bool reboot_registered_ = false;           // a file was left to the next restart

  bool automatic() const { return s_.AutomaticMode; }
  uint32_t low() const { return s_.ProductFlags.low; }
  uint32_t high() const { return s_.ProductFlags.high; }
  bool product_64bit() const { return high() & product_flag::high_product_64bit; }
  REGSAM view() const { return product_registry_view(product_64bit()); }

  std::string shown(int n) const { return ui_.text(n); }

  void step(int status, int percent) {
    progress_.text(shown(status));
    progress_.percent(percent);
  }

  // Shown also in an automatic run: the removal did not happen, and the caller is told.
  void show_error(const std::string& text) const {
    std::string caption = shown(message_number::error_title);
    ui_.message_box(text, caption.empty() ? "Error" : caption, MB_OK | MB_ICONHAND);
  }

  bool ask(int text, int title, const std::string& value = {}) const {
    std::string question = value.empty() ? shown(text) : fill_message(shown(text), value);
    return ui_.ask_yes_no(question, shown(title));
  }

  // Lets a step that finished quickly stay on the screen long enough to be read.
  void pause(DWORD started) const {
    if (automatic()) return;
    while (GetTickCount() - started < step_pause_ms) {
      pump_messages();
      Sleep(pause_slice_ms);
    }
  }

  const std::vector<std::string>& system_folders() {
    if (system_folders_.empty()) system_folders_ = protected_folders();
    return system_folders_;
  }

  void delete_registration_value(const char* name) { RegDeleteValueA(key_.get(), name); }

  bool open_registration() {
    key_path_ = std::string(uninstall_key_parent) + "\\" + name_;
    LONG found = RegistryKey().open(HKEY_LOCAL_MACHINE, key_path_, KEY_READ | registry_32bit_view);
    if (found != ERROR_SUCCESS) {
      show_error(found == ERROR_ACCESS_DENIED ? permission_denied_text : no_product_text(name_));
      return false;
    }
    if (key_.open(HKEY_LOCAL_MACHINE, key_path_, product_key_access | registry_32bit_view) != ERROR_SUCCESS) {
      show_error(inaccessible_registration_text(name_));
      return false;
    }
    RegistrationSource source{[this](std::string_view value) { return read_registry_text(key_.get(), value); },
                              [this](std::string_view value) { return read_registry_number(key_.get(), value); }};
    RegistrationDefaults defaults{GetSysColor(COLOR_WINDOWTEXT), GetSysColor(COLOR_WINDOW)};
    if (!read_installed_product(source, name_, defaults, s_, product_)) {
      show_error(corrupt_registration_text(s_.ProductName));
      return false;
    }
    s_.UninstallDir = s_.UninstallSubdir.empty() ? s_.InstallDir : uninstall_folder_file(s_.InstallDir, s_.UninstallSubdir);
    if (!enter_product_view(product_64bit())) fatal_error("%s", wow64_failure_text);
    if (!(low() & product_flag::low_no_background_window)) {
      if (low() & product_flag::low_keep_background_bitmap) load_background_picture();
      ui_.set_background_window(create_background_window(s_, GetModuleHandleW(nullptr), s_.StartMinimized));
    }
    return true;
  }

  // The installer's picture, kept with its file header; a missing or damaged file only
  // leaves the window without it.
  void load_background_picture() {
    std::string bytes;
    if (load_file(uninstall_folder_file(s_.UninstallDir, background_picture_file_name), bytes) != FileError::Success)
      return;
    s_.BackgroundBitmap = picture_of_bitmap_file(bytes);
  }

  bool read_uninstall_data() {
    std::string path = uninstall_folder_file(s_.UninstallDir, uninstall_data_file_name);
    // An installation that could not write the file (a full disk) left its removal
    // journal, which then stands in for it.
    const std::string journal = uninstall_folder_file(s_.UninstallDir, removal_journal_file_name);
    const bool from_journal = GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
                              GetFileAttributesA(journal.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (from_journal) path = journal;
    FileError error = read_uninstall_data_file(path, data_);
    if (error != FileError::Success) {
      show_error(uninstall_data_load_failure(s_.ProductName, path, error));
      return false;
    }
    // A file that is not the one the installation (or an earlier removal) wrote is used
    // only inside the product's own folders; a journal needs its digest to be trusted.
    std::optional<std::string> recorded = read_registry_text(key_.get(), uninstall_data_digest_value);
    if (recorded || from_journal) {
      if (file_sha256(path) != recorded) {
        data_ = restricted_to_folders(data_, {s_.InstallDir, s_.UninstallDir});
        failures_ += changed_uninstall_data_text;
      }
    }
    apply_texts(data_, s_);
    s_.CloseApplications = data_.auto_close;
    return true;
  }

  // Cancel in a closing question and No here end the run before anything was removed.
  bool confirm() {
    return close_applications(ui_, close_before_uninstall) &&
           (automatic() || ask(message_number::uninstall_question, message_number::uninstall_question_title)) &&
           close_applications(ui_, close_after_confirmation);
  }

  void run_uninstall_batch(BatchKind kind, const char* value) {
    InstallLog unused;
    run_batch(kind, ui_, unused);
    delete_registration_value(value);
  }

  void restore_associations_step() {
    DWORD started = GetTickCount();
    restore_associations(data_.associations, association_backup_name(s_.ProductName));
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    pause(started);
  }

  void remove_fonts() {
    DWORD started = GetTickCount();
    bool nine_x = GetVersion() & 0x80000000;
    std::string font_dir = variable_value(Variable::FontDir, s_);
    bool removed = false;
    for (const InstalledFont& font : parse_product_fonts(product_.product_fonts)) {
      if (!automatic() && (low() & product_flag::low_ask_font_removal) &&
          !ask(message_number::remove_font_question, message_number::remove_font_title, font.name))
        continue;
      RegistryKey fonts;
      if (fonts.open(HKEY_LOCAL_MACHINE, nine_x ? fonts_key_9x : fonts_key_nt, KEY_SET_VALUE | registry_32bit_view) ==
          ERROR_SUCCESS) {
        RegDeleteValueA(fonts.get(), font.name.c_str());
      }
      // Only a name inside the fonts folder: the registry text must not point elsewhere.
      std::string file = font_dir + "\\" + std::string(file_name_part(font.file_name));
      RemoveFontResourceA(file.c_str());
      if (GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES) delete_file(file);
      removed = true;
    }
    delete_registration_value("ProductFonts");
    if (removed) SendMessageTimeoutA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, 1000, nullptr);
    pause(started);
  }

  void release_shared_files_step() {
    if (product_.shared_files.empty()) return;
    SharedFileRelease how;
    // An engine can load only servers of its own bitness; the others go through regsvr32.
    how.system_unregister = product_64bit() != engine_is_64bit;
    if (!automatic() && (low() & product_flag::low_ask_file_removal)) {
      how.confirm_delete = [this](const std::string& path) {
        return ask(message_number::remove_shared_file_question, message_number::remove_file_title, path);
      };
    }
    if (!release_shared_files(parse_shared_files(product_.shared_files), how)) {
      failures_ += "REGISTRY ERROR:  Unable to adjust shared file reference counts.\r\n\r\n";
      return;
    }
    delete_registration_value("SharedFiles");
  }

  void remove_msi_products() {
    if (data_.msi.empty()) return;
    HMODULE msi = load_system_library("msi.dll");
    using SetUi = int(WINAPI*)(int, HWND*);  // MsiSetInternalUI
    using InstallProduct = UINT(WINAPI*)(LPCWSTR, LPCWSTR);
    auto set_ui = msi ? reinterpret_cast<SetUi>(reinterpret_cast<void*>(GetProcAddress(msi, "MsiSetInternalUI")))
                      : nullptr;
    auto install = msi ? reinterpret_cast<InstallProduct>(
                             reinterpret_cast<void*>(GetProcAddress(msi, "MsiInstallProductW")))
                       : nullptr;
    for (const std::string& line : data_.msi) {
      std::optional<MsiRemoval> removal = parse_msi_line(line);
      if (!removal) continue;
      UINT result = msi_missing;
      if (set_ui && install) {
        const std::wstring package = ansi_to_wide(removal->package);
        if (guarded_call([&] {
              set_ui(removal->ui_level, nullptr);
              result = install(package.c_str(), L"REBOOT=R REMOVE=ALL");
            }).faulted)
          result = exception_in_service;
      }
      if (result == ERROR_SUCCESS) continue;
      char text[2048];
      std::snprintf(text, sizeof text, "Failed to uninstall %s, code %d: %s\r\n",
                    std::string(file_name_part(removal->package)).c_str(), int(result),
                    windows_error_text(result).c_str());
      failures_ += text;
      kept_msi_.push_back(line);
    }
    if (msi) FreeLibrary(msi);
  }

  void remove_files_and_folders() {
    FileRemovalOutcome outcome =
        remove_files(data_.removal, s_.InstallDir, [this](const std::string& path, double done) {
          progress_.file_text(path);
          progress_.percent(11 + int(81 * done));
        });
    kept_files_ = std::move(outcome.kept);
    std::string label = shown(message_number::could_not_remove);
    for (const std::string& path : kept_files_) failures_ += label + " " + path + "\r\n";

    progress_.percent(92);
    clean_pending_operations(outcome.deleted, nullptr);
    ConditionalDeleteOutcome conditional = apply_conditional_deletions(
        data_.conditional_deletes, DeletionPhase::Uninstalling, s_.InstallDir,
        [this](const std::string& pattern) {
          std::string text = pattern;
          expand_variables(text, s_);
          return text;
        });
    reboot_registered_ = reboot_registered_ || conditional.reboot_registered;
    progress_.percent(93);

    left_folders_ = remove_folders(data_.removal, s_.InstallDir, system_folders());
    delete_thumbnail_cache(s_.InstallDir);
    delete_thumbnail_cache(s_.UninstallDir);
  }

  // What could not be removed stays on record for the next run. Folders that are still
  // there are kept too, so that the next run can remove them once they are empty.
  void rewrite_uninstall_data() {
    UninstallData left;
    for (const std::string& path : kept_files_) left.removal.record(path, RemovalKind::File);
    if (!kept_files_.empty()) {
      for (const std::string& folder : left_folders_) left.removal.record(folder, RemovalKind::Folder);
    }
    left.texts = data_.texts;
    left.installing_text = data_.installing_text;
    left.auto_close = data_.auto_close;
    left.msi = kept_msi_;
    left.conditional_deletes = data_.conditional_deletes;
    WriteOutcome written = write_uninstall_data_file(s_.UninstallDir, left);
    // A failure here is found by the next run, which reads what is there.
    if (!written.ok) return;
    delete_file(uninstall_folder_file(s_.UninstallDir, removal_journal_file_name));
    if (std::optional<std::string> digest = file_sha256(uninstall_folder_file(s_.UninstallDir, uninstall_data_file_name)))
      RegSetValueExA(key_.get(), uninstall_data_digest_value, 0, REG_SZ, reinterpret_cast<const BYTE*>(digest->c_str()),
                     DWORD(digest->size() + 1));
  }

  // The script's keys go before the product key, whose walk up through empty parents
  // then finds the keys they shared empty too.
  void remove_registry_entries() {
    delete_registry_values(data_.registry, view());
    undo_registry_script(parse_registry_script_removals(data_.registry_script), view());
    if (!s_.ProductRegistry.empty()) {
      delete_product_key(s_.ProductRegistry, view());
      delete_registration_value("ProductRegistry");
    }
  }

  void remove_firewall_exceptions() {
    if (data_.firewall.empty()) return;
    FirewallSession firewall;
    if (firewall.status() != 0) return;
    constexpr long tcp = 6;
    constexpr long udp = 17;
    for (const std::string& line : data_.firewall) {
      std::optional<FirewallRemoval> exception = parse_firewall_line(line);
      if (!exception) continue;
      if (exception->port) {
        if (exception->tcp) firewall.remove_port(exception->number, tcp);
        if (exception->udp) firewall.remove_port(exception->number, udp);
        continue;
      }
      std::string program = exception->program;
      expand_variables(program, s_);
      if (!is_absolute_path(program)) program = uninstall_folder_file(s_.InstallDir, program);
      firewall.remove_application(program);
    }
  }

  void remove_driver_files() {
    if (data_.inf.empty()) return;
    HMODULE setup_api = load_system_library("setupapi.dll");
    if (!setup_api) return;
    using UninstallInf = BOOL(WINAPI*)(PCWSTR, DWORD, PVOID);
    if (auto uninstall_inf = reinterpret_cast<UninstallInf>(
            reinterpret_cast<void*>(GetProcAddress(setup_api, "SetupUninstallOEMInfW")))) {
      constexpr DWORD force_delete = 1;
      for (const std::string& path : data_.inf) {
        uninstall_inf(ansi_to_wide(std::string(file_name_part(path))).c_str(), force_delete, nullptr);
      }
    }
    FreeLibrary(setup_api);
  }

  void delete_install_dir_if_asked() {
    if (!(low() & product_flag::low_remove_install_dir) || product_.install_dir_held_files) return;
    if (!whole_directory_deletion_allowed(s_.InstallDir, system_folders())) return;
    delete_directory_tree(s_.InstallDir);
  }

  void remove_registration() {
    delete_file(uninstall_folder_file(s_.UninstallDir, uninstall_data_file_name));
    delete_file(uninstall_folder_file(s_.UninstallDir, removal_journal_file_name));
    if (low() & product_flag::low_edit_path) {
      std::string report = remove_from_path(s_.InstallDir);
      if (!automatic() && !report.empty()) show_error(report);
    }
    run_uninstall_batch(BatchKind::Uninstall2, "UninstallBatch2");
    key_.close();
    delete_key_tree(HKEY_LOCAL_MACHINE, key_path_);
  }

  bool finish() {
    key_.close();
    std::string desktop = variable_value(s_.ShortcutMode == 1 ? Variable::DesktopAllDir : Variable::DesktopDir, s_);
    SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHA, desktop.c_str(), nullptr);
    progress_.percent(100);
    leave_product_view();
    if (high() & product_flag::high_progress_page) {
      pause(GetTickCount());
      progress_.close();
    }
    if (!failures_.empty()) {
      if (!automatic()) {
        ui_.message_box(fill_message(shown(message_number::uninstall_failures), failures_),
                        shown(message_number::question_title), MB_OK | MB_ICONWARNING);
      }
      return false;
    }
    if (!automatic())
      ui_.message_box(shown(message_number::uninstall_complete), shown(message_number::uninstall_complete_title),
                      MB_OK | MB_ICONINFORMATION);
    if ((high() & product_flag::high_restart_after_uninstall) || reboot_registered_) {
      if (automatic() || ask(message_number::uninstall_reboot_question, message_number::question_title))
        ExitWindowsEx(EWX_REBOOT, 0x80040002);
    }
    return true;
  }
};

}  // namespace

UninstallOutcome uninstall_product(const std::string& name, UserInterface& ui) {
  Uninstaller uninstaller(name, ui);
  UninstallOutcome outcome;
  outcome.removed = uninstaller.run();
  if (outcome.removed) outcome.outer_folders = uninstaller.outer_folders();
  return outcome;
}

}  // namespace halvard
