#include "variables/variable_values_win.h"

#include <windows.h>

#include <vector>

#include "foundation/product_view_win.h"
#include "foundation/registry_access_win.h"
#include "foundation/system_info_win.h"
#include "variables/variable_expansion.h"

namespace halvard {
namespace {

constexpr const char* shell_folders_key = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\";
constexpr const char* current_version_key = "Software\\Microsoft\\Windows\\CurrentVersion";
// The module file name is asked with this buffer first; longer paths get a larger one.
constexpr DWORD module_path_buffer = 1024;

// A string value as stored (REG_SZ or REG_EXPAND_SZ) up to its first terminator; empty
// when missing or of another type.
std::string registry_string(HKEY root, const char* key_path, const char* name) {
  RegistryKey key;
  if (key.open(root, key_path, KEY_QUERY_VALUE | registry_32bit_view) != ERROR_SUCCESS) return {};
  std::string value = read_registry_text(key.get(), name).value_or(std::string());
  return value.substr(0, value.find('\0'));
}

// Calls `get(buffer, size)` (a Windows call that returns the length, or the size it
// needs when the buffer is too small) until the answer fits.
template <class Get>
std::string system_text(DWORD first_size, Get get) {
  std::vector<char> buffer(first_size);
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD length = get(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(length + 1);
  }
  return {};
}

class SystemFacts final : public VariableFacts {
 public:
  std::string shell_folder(int csidl) const override { return product_special_folder(csidl); }

  std::string shell_folders_value(ShellFoldersKey key, const std::string& name) const override {
    return registry_string(key == ShellFoldersKey::PerUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                           shell_folders_key, name.c_str());
  }

  std::string current_version_value(const std::string& name) const override {
    return registry_string(HKEY_LOCAL_MACHINE, current_version_key, name.c_str());
  }

  std::string boot_dir() const override {
    return registry_string(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Setup", "BootDir");
  }

  std::string web_root() const override {
    std::string root = registry_string(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\INetStp", "PathWWWRoot");
    std::string expanded;
    if (root.empty() || !expand_environment_strings(root, expanded)) return root;
    return expanded;
  }

  std::optional<std::string> environment_variable(const std::string& name) const override {
    std::vector<char> buffer(MAX_PATH);
    for (int attempt = 0; attempt < 4; ++attempt) {
      SetLastError(ERROR_SUCCESS);
      DWORD length = GetEnvironmentVariableA(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
      if (length == 0) {
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
        return std::string();
      }
      if (length < buffer.size()) return std::string(buffer.data(), length);
      buffer.resize(length + 1);
    }
    return std::nullopt;
  }

  std::uint16_t native_processor_architecture() const override {
    // The native call is missing before Windows XP; there the process's view is the system's.
    using GetNativeSystemInfoFn = void(WINAPI*)(SYSTEM_INFO*);
    auto get_native = reinterpret_cast<GetNativeSystemInfoFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetNativeSystemInfo")));
    SYSTEM_INFO info{};
    if (get_native) {
      get_native(&info);
    } else {
      GetSystemInfo(&info);
    }
    return info.wProcessorArchitecture;
  }

  std::string module_path() const override {
    std::vector<char> buffer(module_path_buffer);
    while (buffer.size() <= 32768) {
      DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
      if (length == 0) return {};
      // A name that fills the buffer may have been cut: ask again with more room.
      if (length < buffer.size() - 1) return std::string(buffer.data(), length);
      buffer.resize(buffer.size() * 2);
    }
    return {};
  }

  std::string system_directory() const override {
    return product_system_folder();
  }

  bool nt_platform() const override { return (GetVersion() & 0x80000000u) == 0; }

  std::string temp_path() const override {
    return system_text(MAX_PATH + 1, [](char* buffer, DWORD size) { return GetTempPathA(size, buffer); });
  }

  std::string windows_directory() const override {
    return system_text(MAX_PATH, [](char* buffer, DWORD size) { return GetWindowsDirectoryA(buffer, size); });
  }
};

}  // namespace

const VariableFacts& system_variable_facts() {
  static const SystemFacts facts;
  return facts;
}

bool expand_environment_strings(const std::string& in, std::string& out) {
  // The call works on counted UTF-16 strings of at most 32K characters: a longer text
  // comes back as garbage, and a result that does not fit would come back cut. Either
  // way the text must stay as it was rather than be damaged.
  if (in.size() >= environment_buffer_size) return false;
  std::vector<char> buffer(environment_buffer_size);
  DWORD size = static_cast<DWORD>(buffer.size());
  DWORD needed = ExpandEnvironmentStringsA(in.c_str(), buffer.data(), size);
  if (needed == 0 || needed > size) return false;
  // The ANSI call may count a byte more than it wrote; the terminator is the end.
  buffer.back() = '\0';
  out.assign(buffer.data());
  return true;
}

bool expand_variables(std::string& text, const InstallSettings& settings, std::string_view old_version) {
  return expand_variables(text, system_variable_facts(), product_values(settings, old_version),
                          expand_environment_strings);
}

std::string variable_value(Variable v, const InstallSettings& settings, std::string_view old_version) {
  return variable_value(v, system_variable_facts(), product_values(settings, old_version));
}

}  // namespace halvard
