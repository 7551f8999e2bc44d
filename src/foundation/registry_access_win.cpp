#include "foundation/registry_access_win.h"

#include <sddl.h>

#include <vector>

namespace halvard {
namespace {

constexpr char profile_list_key[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

// RegDeleteKeyExA is missing before the 64-bit editions; the x86 engine's implicit view
// needs only RegDeleteKeyA.
LONG delete_one_key(HKEY parent, const std::string& path, REGSAM view) {
  if (view == 0) return RegDeleteKeyA(parent, path.c_str());
  using DeleteKeyEx = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);
  auto delete_ex = reinterpret_cast<DeleteKeyEx>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegDeleteKeyExA")));
  if (!delete_ex) return RegDeleteKeyA(parent, path.c_str());
  return delete_ex(parent, path.c_str(), view, 0);
}

bool key_is_empty(HKEY key) {
  DWORD sub_keys = 0;
  DWORD values = 0;
  if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &sub_keys, nullptr, nullptr, &values, nullptr, nullptr,
                       nullptr, nullptr) != ERROR_SUCCESS)
    return false;
  return sub_keys == 0 && values == 0;
}

}  // namespace

LONG RegistryKey::open(HKEY parent, const std::string& path, REGSAM access) {
  close();
  return RegOpenKeyExA(parent, path.c_str(), 0, access, &key_);
}

LONG RegistryKey::open(HKEY parent, const wchar_t* path, REGSAM access) {
  close();
  return RegOpenKeyExW(parent, path, 0, access, &key_);
}

LONG RegistryKey::create(HKEY parent, const std::string& path, REGSAM access) {
  close();
  return RegCreateKeyExA(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key_, nullptr);
}

LONG RegistryKey::create_shared(HKEY parent, const std::string& path, REGSAM access) {
  close();
  // Inherited by the sub-keys it makes below.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;CI;KA;;;BA)(A;CI;KA;;;SY)(A;CI;KRKW;;;WD)",
                                                           SDDL_REVISION_1, &descriptor, nullptr)) {
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    LONG result =
        RegCreateKeyExA(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, &attributes, &key_, nullptr);
    LocalFree(descriptor);
    if (result == ERROR_SUCCESS) return result;
  }
  return create(parent, path, access);
}

void RegistryKey::close() {
  if (key_) RegCloseKey(key_);
  key_ = nullptr;
}

std::optional<std::string> read_registry_text(HKEY key, std::string_view name) {
  std::string value_name(name);
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key, value_name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
  std::string text(size + 1, '\0');
  if (RegQueryValueExA(key, value_name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  text.resize(size);
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

std::optional<uint32_t> read_registry_number(HKEY key, std::string_view name) {
  std::string value_name(name);
  DWORD type = 0;
  DWORD number = 0;
  DWORD size = sizeof number;
  if (RegQueryValueExA(key, value_name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&number), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD)
    return std::nullopt;
  return number;
}

HKEY root_key(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::local_machine: return HKEY_LOCAL_MACHINE;
    case RegistryRoot::current_user: return HKEY_CURRENT_USER;
    case RegistryRoot::classes_root: return HKEY_CLASSES_ROOT;
    case RegistryRoot::current_config: return HKEY_CURRENT_CONFIG;
    case RegistryRoot::dyn_data: return HKEY_DYN_DATA;
    case RegistryRoot::users:
    case RegistryRoot::all_users: break;
  }
  return HKEY_USERS;
}

bool for_each_user_hive(REGSAM access, const std::function<void(HKEY)>& action) {
  RegistryKey profiles;
  if (profiles.open(HKEY_LOCAL_MACHINE, profile_list_key, KEY_READ | registry_32bit_view) != ERROR_SUCCESS) return false;
  char sid[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof sid;
    if (RegEnumKeyExA(profiles.get(), i, sid, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    RegistryKey user;
    if (user.open(HKEY_USERS, sid, access) != ERROR_SUCCESS) continue;  // hive not loaded
    action(user.get());
  }
  return true;
}

LONG delete_key_tree(HKEY parent, const std::string& path, REGSAM view) {
  RegistryKey key;
  LONG opened = key.open(parent, path, KEY_READ | DELETE | view);
  if (opened == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (opened != ERROR_SUCCESS) return opened;
  // Names first, deletions after: deleting while enumerating would skip entries.
  std::vector<std::string> children;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof name;
    if (RegEnumKeyExA(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    children.emplace_back(name, length);
  }
  key.close();
  for (const std::string& child : children) delete_key_tree(parent, path + "\\" + child, view);
  LONG result = delete_one_key(parent, path, view);
  return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
}

bool delete_key_if_empty(HKEY parent, const std::string& path, REGSAM view) {
  RegistryKey key;
  if (key.open(parent, path, KEY_READ | view) != ERROR_SUCCESS) return false;
  bool empty = key_is_empty(key.get());
  key.close();
  return empty && delete_one_key(parent, path, view) == ERROR_SUCCESS;
}

void delete_empty_parents(HKEY root, std::string path, REGSAM view, int levels, size_t shortest) {
  for (int level = 0; level < levels; ++level) {
    size_t cut = path.rfind('\\');
    if (cut == std::string::npos || cut == 0) return;
    path.resize(cut);
    if (path.size() < shortest || !delete_key_if_empty(root, path, view)) return;
  }
}

}  // namespace halvard
