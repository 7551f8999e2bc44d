#include "machine/path_edit_win.h"

#include <windows.h>

#include <optional>
#include <vector>

#include "foundation/file.h"
#include "foundation/file_functions.h"
#include "foundation/product_view_win.h"
#include "foundation/registry_access_win.h"
#include "foundation/text.h"
#include "machine/path_edit.h"
#include "variables/variable_chains.h"
#include "variables/variable_values_win.h"

namespace halvard {
namespace {

constexpr wchar_t path_value[] = L"Path";
// KEY_READ | KEY_WRITE without KEY_NOTIFY and KEY_CREATE_LINK.
constexpr REGSAM environment_access = 0x2000F;

// The folder as a person reads it, for the report.
std::string shown_name(const std::string& name) {
  return is_utf8_name(name) ? wide_to_ansi(name_to_wide(name)) : name;
}

bool is_9x_line() {
  const DWORD version = GetVersion();
  return (version & 0x80000000u) != 0 && LOBYTE(LOWORD(version)) == 4;
}

// The system's upper case of one unit, as the file system compares names.
char16_t system_case_fold(char16_t unit) {
  return static_cast<char16_t>(reinterpret_cast<ULONG_PTR>(
      CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(unit)))));
}

std::u16string to_u16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }
std::wstring to_wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

struct PathText {
  DWORD type = REG_NONE;
  std::u16string text;
};

// The value as text without its final nulls; nullopt when it is missing or not text.
std::optional<PathText> read_path_value(HKEY key) {
  PathText value;
  std::vector<wchar_t> buffer(1024);
  for (;;) {
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    LONG result = RegQueryValueExW(key, path_value, nullptr, &value.type,
                                   reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (result == ERROR_MORE_DATA) {
      buffer.resize(size / sizeof(wchar_t) + 1);
      continue;
    }
    if (result != ERROR_SUCCESS || (value.type != REG_SZ && value.type != REG_EXPAND_SZ))
      return std::nullopt;
    std::size_t length = size / sizeof(wchar_t);
    while (length > 0 && buffer[length - 1] == L'\0') --length;
    value.text = to_u16(std::wstring(buffer.data(), length));
    return value;
  }
}

bool write_path_value(HKEY key, const PathText& value) {
  const std::wstring text = to_wide(value.text);
  const DWORD size = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(key, path_value, 0, value.type, reinterpret_cast<const BYTE*>(text.c_str()),
                        size) == ERROR_SUCCESS;
}

void notify_environment_change() {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0,
                      reinterpret_cast<LPARAM>(L"Environment"), SMTO_ABORTIFHUNG,
                      environment_notify_timeout_ms, &ignored);
}

std::string autoexec_on_boot_drive() {
  const std::string drive = variable_value(Variable::BootDrive, system_variable_facts(), ProductValues{});
  return std::string(1, drive.empty() ? 'C' : drive[0]) + ":\\autoexec.bat";
}

}  // namespace

std::string edit_environment_path(const std::string& install_dir, bool add, bool notify) {
  const std::string report = path_edit_report(environment_key_name, shown_name(install_dir), add);
  RegistryKey key;
  LONG opened = key.open(HKEY_LOCAL_MACHINE, environment_key, environment_access | registry_32bit_view);
  if (opened == ERROR_FILE_NOT_FOUND) return {};
  if (opened != ERROR_SUCCESS) return report;  // no rights: the user must make the change

  std::optional<PathText> value = read_path_value(key.get());
  if (!value) return {};
  std::optional<std::u16string> edited =
      edited_path_value(value->text, to_u16(name_to_wide(install_dir)), add, system_case_fold);
  if (!edited) return {};
  value->text = std::move(*edited);
  if (!write_path_value(key.get(), *value)) return report;
  if (notify) notify_environment_change();
  return {};
}

std::string edit_autoexec_path(const std::string& autoexec, const std::string& install_dir, bool add) {
  const std::string report = path_edit_report(autoexec, shown_name(install_dir), add);
  std::string text;
  FileError loaded = load_file(autoexec, text);
  if (loaded != FileError::Success && !(add && loaded == FileError::NotFound)) return report;

  const std::string shown = shown_name(install_dir);
  const std::string short_form = short_path(install_dir);
  std::optional<std::string> edited = edited_autoexec(text, autoexec_path_line(short_form), add);
  // The folder may be gone by the time it is taken out of PATH, and with it its short form.
  if (!edited && !add && short_form != shown) edited = edited_autoexec(text, autoexec_path_line(shown), add);
  if (!edited) return {};
  return save_file(autoexec, *edited) == FileError::Success ? std::string() : report;
}

std::string edit_path(const std::string& install_dir, bool add) {
  if (is_9x_line()) return edit_autoexec_path(autoexec_on_boot_drive(), install_dir, add);
  return edit_environment_path(install_dir, add);
}

std::string add_to_path(const std::string& install_dir) { return edit_path(install_dir, true); }
std::string remove_from_path(const std::string& install_dir) { return edit_path(install_dir, false); }

}  // namespace halvard
