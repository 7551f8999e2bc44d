#include "engine/engine_win.h"

#include <ole2.h>

#include "crash/crash_filter_win.h"
#include "crash/fatal_error.h"
#include "crash/out_of_memory.h"
#include "foundation/file.h"
#include "foundation/orderly_exit_win.h"
#include "foundation/own_path.h"
#include "foundation/system_info_win.h"
#include "foundation/unique_handle_win.h"
#include "installer/command_line.h"
#include "installer/crash_handler_win.h"
#include "installer/installation_sequence_win.h"
#include "machine/notification_win.h"
#include "package/message_numbers.h"
#include "package/option_bits.h"
#include "package/package_error.h"
#include "package/package_error_codes.h"
#include "package/package_reader_win.h"
#include "package/settings_stream.h"
#include "package/setup_section.h"
#include "ui/background_window_win.h"
#include "ui/common_controls_win.h"
#include "ui/message_pump_win.h"
#include "ui/user_interface_win.h"
#include "uninstall/uninstaller_win.h"
#include "variables/batch_file_win.h"

namespace halvard {

namespace code = package_error_code;

namespace {

// What the orderly exit and the fatal-message hook must reach from anywhere: Windows
// calls them outside any object we could pass along.
struct EngineProcess {
  HINSTANCE instance = nullptr;
  File own_file;
  InstallSettings settings;
  UserInterface ui{settings};  // its background window comes with the settings stream
  OpenedPackage package;
};
EngineProcess engine;

constexpr DWORD module_path_buffer = 1024;

std::string module_file_name() {
  char path[module_path_buffer];
  DWORD length = GetModuleFileNameA(nullptr, path, module_path_buffer);
  if (length == 0 || length > module_path_buffer - 1) return {};
  return std::string(path, length);
}

void enable_take_ownership_privilege() {
  UniqueHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.out())) return;
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (LookupPrivilegeValueA(nullptr, "SeTakeOwnershipPrivilege", &privileges.Privileges[0].Luid)) {
    AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
  }
}

// The installer's fatal-message hook: captioned with message 21 of the package's
// language, or "Error" before the message table is read or when it has none.
void show_fatal_message(const char* text) {
  std::string caption = engine.ui.text(message_number::error_title);
  engine.ui.message_box(text, caption.empty() ? "Error" : caption, MB_OK | MB_ICONHAND);
  exit_installer(1);
}

[[noreturn]] void refuse_without_package() {
  fatal_error(
      "This program performs installations and uninstallations.\r\nThere is no installation data present.\r\n"
      "No uninstallation parameters were specified.\r\n\r\nYou should not delete this program or execute it "
      "directly.");
}

void take_command_line(const CommandLine& options, InstallSettings& settings) {
  settings.AutomaticMode = options.AutomaticMode;
  settings.UninstallMode = options.UninstallMode;
  settings.StartMinimized = options.StartMinimized;
  settings.InstallDir = options.InstallDir;
  settings.ProductName = options.ProductName;
}

[[noreturn]] void run_uninstall(const CommandLine& options) {
  if (options.uninstall_name.empty()) show_usage("Product name required");
  take_command_line(options, engine.settings);
  UninstallOutcome outcome = uninstall_product(options.uninstall_name, engine.ui);
  if (outcome.removed) {
    start_notification(engine.settings.NotifyURL, engine.settings.DisplayVersion);
    write_self_delete_batch(engine.settings, outcome.outer_folders);
  }
  exit_installer(0);
}

// Opens the program's own file: first as the command line names it, then by the
// module's name. The package is read from the image Windows mapped, so the file is
// opened for reading only, not loaded whole: a 32-bit process cannot hold a
// gigabyte installer in one buffer.
std::string open_own_file() {
  constexpr uint32_t own_file_flags = open_flags::OpenExisting | open_flags::NoWrite | open_flags::ShareRead;
  std::string path = own_path_from_command_line(GetCommandLineA());
  if (path.empty()) path = module_file_name();
  FileError error = engine.own_file.open(path, own_file_flags, FILE_ATTRIBUTE_NORMAL);
  if (error != FileError::Success) {
    path = module_file_name();
    error = engine.own_file.open(path, own_file_flags, FILE_ATTRIBUTE_NORMAL);
  }
  if (error != FileError::Success) {
    int code = static_cast<int>(error);
    fatal_error("Error code 1: The installer could not open itself.\r\nFilename: %s\r\nError #%d: %s", path.c_str(),
                code, error_text(code));
  }
  return path;
}

[[noreturn]] void run_installation(const CommandLine& options) {
  std::string install_source = open_own_file();
  SetupSectionLocation section = locate_setup_section([](uint64_t offset, void* out, size_t size) {
    return engine.own_file.seek(static_cast<int64_t>(offset)) && engine.own_file.read(out, static_cast<int64_t>(size));
  });
  switch (section.outcome) {
    case SetupSectionLocation::Outcome::not_present:
      refuse_without_package();
    case SetupSectionLocation::Outcome::package_error:
      package_error(section.package_error);
    case SetupSectionLocation::Outcome::found:
      break;
  }
  if (!engine.own_file.seek(section.PointerToRawData)) package_error(code::section_unreachable);

  take_command_line(options, engine.settings);
  read_package(engine.own_file, section, engine.settings, engine.package, [](const InstallSettings& settings) {
    if (!(settings.ProductFlags.low & product_flag::low_no_background_window))
      engine.ui.set_background_window(create_background_window(settings, engine.instance, settings.StartMinimized));
  });
  engine.settings.WindowTitle = message(engine.settings, message_number::window_title);
  run_installation_sequence({engine.ui, engine.package, engine.own_file, options, install_source});
}

}  // namespace

void show_usage(const std::string& error_text) {
  std::string program = std::string(file_name_part(module_file_name()));
  fatal_error("%s", usage_text(error_text, program).c_str());
}

namespace {

void tidy_up_before_exit() {
  if (HWND background = engine.ui.background_window()) {
    engine.ui.set_background_window(nullptr);
    close_background_window(background);
  }
  pump_messages();
  wait_for_notification();
  engine.own_file.close();
  OleUninitialize();
}

}  // namespace

void run_engine(HINSTANCE instance, const char* command_text) {
  // The tool name that version messages and captions use is the constant tool_name.
  install_crash_handler(installer_crash_handler);
  set_exit_steps(tidy_up_before_exit);
  OleInitialize(nullptr);
  enable_take_ownership_privilege();
  set_fatal_display(show_fatal_message);
  engine.instance = instance;
  init_common_controls();

  ParsedCommandLine parsed = parse_command_line(command_text ? command_text : "");
  if (!parsed.ok()) show_usage(parsed.usage_error);
  if (parsed.options.UninstallMode) run_uninstall(parsed.options);
  run_installation(parsed.options);
}

}  // namespace halvard
