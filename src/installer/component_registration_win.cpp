#include "installer/component_registration_win.h"

#include <oleauto.h>
#include <windows.h>

#include <cstdio>
#include <optional>

#include "foundation/file.h"
#include "foundation/guarded_call_win.h"
#include "foundation/own_path.h"
#include "foundation/path_rules.h"
#include "foundation/process_launch_win.h"
#include "foundation/product_view_win.h"
#include "foundation/registry_access_win.h"
#include "foundation/system_library_win.h"
#include "foundation/text.h"
#include "foundation/unique_handle_win.h"
#include "foundation/windows_error.h"
#include "installer/component_rules.h"
#include "package/option_bits.h"
#include "records/uninstall_data.h"
#include "records/uninstall_registration.h"

namespace halvard {
namespace {

constexpr DWORD exception_in_service = 1064;  // ERROR_EXCEPTION_IN_SERVICE: a crash inside a call
constexpr DWORD call_not_implemented = 120;   // ERROR_CALL_NOT_IMPLEMENTED: no MSI on this system

bool windows_9x() { return GetVersion() & 0x80000000; }

std::string file_name_of(const std::string& path) { return std::string(file_name_part(path)); }

// A font's registry value, its resource, and its entry in "ProductFonts" unless the
// package keeps it. A file the system does not take as a font is no font: its value
// goes again and it is removed as a plain file.
void register_font(const FileRecord& record, const std::string& destination, RunState& state) {
  RegistryKey fonts;
  const char* key = windows_9x() ? fonts_key_9x : fonts_key_nt;
  LONG opened = fonts.create(HKEY_LOCAL_MACHINE, key, product_key_access | registry_32bit_view);
  LONG written = opened;
  if (opened == ERROR_SUCCESS) {
    written = RegSetValueExA(fonts.get(), record.VersionText.c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(record.Name.c_str()), DWORD(record.Name.size() + 1));
  }
  // The full path: a bare name is found only once the system has looked in its fonts folder.
  if (AddFontResourceA(destination.c_str()) == 0) {
    DWORD error = GetLastError();
    if (written == ERROR_SUCCESS) RegDeleteValueA(fonts.get(), record.VersionText.c_str());
    state.log.write("Failed to register font \"" + record.VersionText +
                    "\": " + (error ? windows_error_text(error) : std::string("not a font file")) + "\r\n");
    // Fonts are otherwise removed by their "ProductFonts" entry, which this one does not get.
    if (!(record.Flags & file_flag::keep_at_uninstall)) state.removal.record(destination, RemovalKind::File);
    return;
  }
  state.fonts_installed = true;
  if (written != ERROR_SUCCESS) {
    state.log.write("Failed to record font \"" + record.VersionText + "\": " + windows_error_text(DWORD(written)) +
                    "\r\n");
  }
  if (!(record.Flags & file_flag::keep_at_uninstall)) state.product_fonts.push_back({record.VersionText, record.Name});
}

// Windows Installer, loaded once per process from the system folder.
class WindowsInstaller {
 public:
  using SetInternalUi = INT(WINAPI*)(INT, HWND*);
  using InstallProduct = UINT(WINAPI*)(LPCWSTR, LPCWSTR);

  static WindowsInstaller& instance() {
    static WindowsInstaller loaded;
    return loaded;
  }
  SetInternalUi set_internal_ui = nullptr;
  InstallProduct install_product = nullptr;

 private:
  WindowsInstaller() {
    HMODULE msi = load_system_library("msi.dll");
    if (!msi) return;
    set_internal_ui = reinterpret_cast<SetInternalUi>(reinterpret_cast<void*>(GetProcAddress(msi, "MsiSetInternalUI")));
    install_product =
        reinterpret_cast<InstallProduct>(reinterpret_cast<void*>(GetProcAddress(msi, "MsiInstallProductW")));
  }
};

void install_msi_package(const FileRecord& record, const std::string& destination, RunState& state, HWND owner) {
  std::string line = "Installing MSI package \"" + destination + "\"...";
  WindowsInstaller& msi = WindowsInstaller::instance();
  UINT result = call_not_implemented;
  if (msi.install_product) {
    const std::wstring package = name_to_wide(destination);
    GuardedCallResult call = guarded_call([&] {
      HWND window = owner;
      if (msi.set_internal_ui) msi.set_internal_ui(INT(record.MsiValue), &window);
      // The package may not restart Windows on its own; the installer asks at its end.
      result = msi.install_product(package.c_str(), L"REBOOT=R");
    });
    if (call.faulted) result = exception_in_service;
  }
  // Installed, with files that take their place at the next restart: a success, and the
  // package must be recorded, or no removal would ever take it away again.
  if (result == ERROR_SUCCESS_REBOOT_REQUIRED) {
    state.reboot_wanted = true;
    result = ERROR_SUCCESS;
  }
  line += msi_result_text(result, windows_error_text(result));
  if (result != ERROR_SUCCESS) {
    state.failure_summary += line;
  } else if (record.Flags & file_flag::msi_list) {
    state.uninstall_data.msi.push_back(msi_line(destination, int(record.MsiValue)));
  }
  state.log.write(line);
}

// The "Cpls" key is opened, never created: where the system has no such list, an
// applet cannot be registered and the key must not appear for our sake. In the
// product's view: a 64-bit applet is listed where the 64-bit Control Panel looks.
void register_applet(const FileRecord& record, const std::string& destination, bool product_64bit, RunState& state) {
  std::string name = applet_name(record.VersionText, destination);
  state.log.write("Registering control panel applet \"" + name + "\"...");
  RegistryKey key;
  LONG result =
      key.open(HKEY_LOCAL_MACHINE, control_panel_key, product_key_access | product_registry_view(product_64bit));
  if (result == ERROR_SUCCESS) {
    std::wstring value = name_to_wide(destination);
    result = RegSetValueExW(key.get(), name_to_wide(name).c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(value.c_str()), DWORD((value.size() + 1) * sizeof(wchar_t)));
  }
  if (result != ERROR_SUCCESS) {
    state.log.write("FAILED!\r\n" + windows_error_text(DWORD(result)) + "\r\n\r\n");
    return;
  }
  state.log.write("OK\r\n");
  state.uninstall_data.registry.push_back(control_panel_value_path(name));
}

UniqueHandle open_attributes(const std::string& path, DWORD access) {
  HANDLE file = CreateFileW(name_to_wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  return UniqueHandle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

// Binding writes the import addresses into the file; its time stamps are put back so
// that the file still reads as the one the package brought.
void bind_executable(const std::string& path, RunState& state) {
  using BindImageEx = BOOL(WINAPI*)(DWORD, PCSTR, PCSTR, PCSTR, void*);
  static const BindImageEx bind = [] {
    HMODULE imagehlp = load_system_library("imagehlp.dll");
    return imagehlp ? reinterpret_cast<BindImageEx>(reinterpret_cast<void*>(GetProcAddress(imagehlp, "BindImageEx")))
                    : nullptr;
  }();
  FILETIME created{}, accessed{}, written{};
  bool dated = false;
  if (UniqueHandle file = open_attributes(path, FILE_READ_ATTRIBUTES))
    dated = GetFileTime(file.get(), &created, &accessed, &written);
  BOOL bound = FALSE;
  DWORD error = ERROR_PROC_NOT_FOUND;
  if (bind) {
    constexpr DWORD no_bound_imports = 1;  // BIND_NO_BOUND_IMPORTS
    GuardedCallResult call = guarded_call([&] {
      bound = bind(windows_9x() ? no_bound_imports : 0, path.c_str(), nullptr, nullptr, nullptr);
      error = bound ? 0 : GetLastError();
    });
    if (call.faulted) error = exception_in_service;
  }
  if (bound && dated) {
    if (UniqueHandle file = open_attributes(path, FILE_WRITE_ATTRIBUTES))
      SetFileTime(file.get(), &created, &accessed, &written);
  }
  state.log.write("Binding " + path + " : " + (bound ? "OK\r\n" : "FAILED\r\n"));
  if (!bound) state.log.write(windows_error_text(error) + "\r\n");
}

void collect_shared_file(const FileRecord& record, const std::string& destination, RunState& state) {
  state.shared_files.push_back({destination, shared_file_kind(record.Kind, record.Flags)});
}

}  // namespace

void collect_skipped_shared_file(const FileRecord& record, const std::string& destination, RunState& state) {
  if (is_shared_count_kind(record.Kind) &&
      GetFileAttributesW(name_to_wide(destination).c_str()) != INVALID_FILE_ATTRIBUTES)
    collect_shared_file(record, destination, state);
}

void register_installed_file(const InstallSettings& settings, const FileRecord& record, const std::string& destination,
                             RunState& state, HWND owner) {
  if (is_shared_count_kind(record.Kind)) collect_shared_file(record, destination, state);
  switch (record.Kind) {
    case file_kind::font:
      register_font(record, destination, state);
      break;
    case file_kind::com_server:
      state.com_servers.push_back(destination);
      break;
    case file_kind::type_library:
      state.type_libraries.push_back(destination);
      break;
    case file_kind::inf_driver:
      state.inf_files.push_back(destination);
      break;
    case file_kind::msi_package:
      install_msi_package(record, destination, state, owner);
      break;
    case file_kind::control_panel:
      register_applet(record, destination, settings.ProductFlags.high & product_flag::high_product_64bit, state);
      break;
    default:
      break;
  }
  if ((settings.ProductFlags.high & product_flag::high_bind_executables) && is_bound_executable(destination))
    bind_executable(destination, state);
}

void announce_fonts(const RunState& state) {
  if (state.fonts_installed) SendMessageTimeoutA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, 1000, nullptr);
}

void raise_shared_counts(RunState& state) {
  if (state.shared_files.empty()) return;
  RegistryKey counts;
  if (counts.open(HKEY_LOCAL_MACHINE, shared_counts_key, product_key_access | registry_32bit_view) != ERROR_SUCCESS) {
    state.failure_summary += "Registry error: unable to increment shared file reference counts.\r\n\r\n";
    return;
  }
  for (const SharedFileEntry& entry : state.shared_files) {
    const std::string& path = entry.path;
    // A reinstallation finds its entries in the earlier value and counts nothing twice.
    if (!add_shared_file(state.shared_files_value, path, shared_file_mark(entry.kind))) continue;
    const std::wstring name = name_to_wide(path);
    DWORD count = 0;
    DWORD size = sizeof count;
    DWORD type = 0;
    if (RegQueryValueExW(counts.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&count), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
      count = 0;
    ++count;
    LONG written =
        RegSetValueExW(counts.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), sizeof count);
    if (written != ERROR_SUCCESS) {
      state.log.write("Failed to increment reference count of shared file \"" + path +
                      "\" : " + windows_error_text(DWORD(written)) + "\r\n");
    }
  }
}

namespace {

// A server of the engine's own bitness is registered in this process, where a crash can
// be caught and the routine's result read; one of the other bitness only by the system's
// regsvr32 of that bitness.
void register_com_server(const std::string& path, bool product_64bit, RunState& state) {
  char line[1024];
  std::snprintf(line, sizeof line, "Registering COM File \"%s\"...", path.c_str());
  state.log.write(line);
  if (product_64bit != engine_is_64bit) {
    std::string command = "\"" + product_system_folder() + "\\regsvr32.exe\" /s \"" + path + "\"";
    DWORD code = launch_program(command, launch_flag::wait | launch_flag::hidden);
    if (code == 0) {
      state.log.write("OK\r\n");
    } else {
      std::snprintf(line, sizeof line, "FAILED, code %d\r\n", int(code));
      state.log.write(line);
    }
    return;
  }
  HMODULE module = LoadLibraryExW(name_to_wide(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) {
    state.log.write("LoadLibrary() Failed\r\n");
    return;
  }
  using RegisterServer = HRESULT(STDAPICALLTYPE*)();
  auto register_server =
      reinterpret_cast<RegisterServer>(reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
  if (!register_server) {
    state.log.write("GetProcAddress(\"DllRegisterServer\") Failed\r\n");
    FreeLibrary(module);
    return;
  }
  HRESULT result = S_OK;
  if (guarded_call([&] { result = register_server(); }).faulted) {
    // Its code may still be running on another thread or hold a lock: it stays loaded.
    state.log.write("CRASHED!\r\n");
    state.failure_summary += "Crashed while registering COM file " + file_name_of(path) + "\r\n";
    return;
  }
  std::string error = FAILED(result) ? windows_error_text(DWORD(result)) : std::string();
  state.log.write(com_result_text(int32_t(result), error));
  if (FAILED(result)) state.failure_summary += com_failure_summary(file_name_of(path), int32_t(result), error);
  FreeLibrary(module);
}

void register_type_library(const std::string& path, RunState& state) {
  char line[1024];
  std::snprintf(line, sizeof line, "Registering Type Library \"%s\"...", path.c_str());
  state.log.write(line);
  std::wstring wide = name_to_wide(path);
  if (wide.size() > MAX_PATH) wide.resize(MAX_PATH);
  HRESULT result = S_OK;
  GuardedCallResult call = guarded_call([&] {
    ITypeLib* library = nullptr;
    result = LoadTypeLib(wide.c_str(), &library);
    if (SUCCEEDED(result) && library) {
      result = RegisterTypeLib(library, wide.data(), nullptr);
      library->Release();
    }
  });
  if (call.faulted) {
    state.log.write("CRASHED!\r\n");
    state.failure_summary += "Crashed while registering TLB file " + file_name_of(path) + "\r\n";
  } else if (SUCCEEDED(result)) {
    state.log.write("OK\r\n");
  } else {
    state.log.write("FAILED\r\n" + windows_error_text(DWORD(result)) + "\r\n");
  }
}

}  // namespace

void register_servers_and_type_libraries(RunState& state, bool product_64bit) {
  for (const std::string& path : state.com_servers) register_com_server(path, product_64bit, state);
  for (const std::string& path : state.type_libraries) register_type_library(path, state);
}

void install_drivers(RunState& state) {
  if (state.inf_files.empty()) return;
  HMODULE setup_api = load_system_library("setupapi.dll");
  if (!setup_api) {
    state.log.write("Cannot install INF files...unable to open Setupapi.dll\r\n");
    return;
  }
  using CopyOemInf = BOOL(WINAPI*)(PCWSTR, PCWSTR, DWORD, DWORD, PWSTR, DWORD, PDWORD, PWSTR*);
  auto copy = reinterpret_cast<CopyOemInf>(reinterpret_cast<void*>(GetProcAddress(setup_api, "SetupCopyOEMInfW")));
  if (!copy) {
    state.log.write("Cannot install INF files...unable to link to SetupCopyOEMInf()\r\n");
    FreeLibrary(setup_api);
    return;
  }
  state.log.write("\r\n");
  for (const std::string& path : state.inf_files) {
    state.log.write("Installing driver \"" + path + "\"...");
    constexpr DWORD media_path = 1;  // SPOST_PATH
    wchar_t destination[MAX_PATH] = {};
    BOOL copied = FALSE;
    DWORD error = 0;
    GuardedCallResult call = guarded_call([&] {
      copied = copy(name_to_wide(path).c_str(), nullptr, media_path, 0, destination, MAX_PATH, nullptr, nullptr);
      error = copied ? 0 : GetLastError();
    });
    if (call.faulted) {
      state.log.write("CRASHED!\r\n");
      continue;
    }
    std::string final_path = copied ? wide_to_ansi(destination) : std::string();
    state.log.write(inf_result_text(copied, final_path, windows_error_text(error)));
    if (copied && !final_path.empty()) state.uninstall_data.inf.push_back(final_path);
  }
  FreeLibrary(setup_api);
}

}  // namespace halvard
