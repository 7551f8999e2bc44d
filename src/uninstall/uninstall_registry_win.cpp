#include "uninstall/uninstall_registry_win.h"

#include <oleauto.h>
#include <windows.h>

#include <optional>

#include "foundation/file.h"
#include "foundation/file_functions.h"
#include "foundation/guarded_call_win.h"
#include "foundation/process_launch_win.h"
#include "foundation/product_view_win.h"
#include "foundation/registry_access_win.h"
#include "foundation/registry_path.h"
#include "foundation/text.h"
#include "records/uninstall_registration.h"

namespace halvard {
namespace {

constexpr int product_key_levels = 20;
// A user's copy of the product key is only cleaned up while its path is this long, so
// that the walk upward never reaches the hive's top keys.
constexpr size_t shortest_user_key = 10;

// Puts back the default value saved under `backup`: a saved text becomes the default
// again; a blank one (the key had no default, or did not exist) takes the installation's
// default away. The key goes when nothing is left in it. False when it has no backup,
// that is when the installation found the default it wanted and changed nothing.
bool restore_backup(const std::string& path, const std::string& backup) {
  RegistryKey key;
  if (key.open(HKEY_CLASSES_ROOT, path, KEY_READ | KEY_WRITE | registry_32bit_view) != ERROR_SUCCESS) return false;
  std::optional<std::string> saved = read_registry_text(key.get(), backup);
  if (!saved) return false;
  if (is_blank_text(*saved)) {
    RegDeleteValueA(key.get(), "");
  } else {
    RegSetValueExA(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(saved->c_str()),
                   DWORD(saved->size() + 1));
  }
  RegDeleteValueA(key.get(), backup.c_str());
  key.close();
  delete_key_if_empty(HKEY_CLASSES_ROOT, path);
  return true;
}

// Deepest keys first, so that each finds its emptied sub-keys gone.
void restore_association(const AssociationRecord& record, const std::string& backup) {
  const std::string& type = record.type_key;
  if (!record.verb.empty()) {
    std::string verb = type + "\\shell\\" + record.verb;
    bool command_restored = restore_backup(verb + "\\command", backup);
    restore_backup(verb, backup);
    if (command_restored)
      delete_key_if_empty(HKEY_CLASSES_ROOT, verb);
    else
      delete_key_tree(HKEY_CLASSES_ROOT, verb);
  }
  restore_backup(type + "\\shell", backup);
  delete_key_if_empty(HKEY_CLASSES_ROOT, type + "\\shell");
  restore_backup(type + "\\DefaultIcon", backup);
  restore_backup(type, backup);
  delete_key_if_empty(HKEY_CLASSES_ROOT, type);
  restore_backup(record.extension, backup);
}

void unregister_com_server(const std::wstring& path, bool system_unregister) {
  if (system_unregister) {
    // The product's system folder: a server of the other bitness needs its own regsvr32.
    std::string system = product_system_folder();
    if (system.empty()) return;
    std::wstring command = L"\"" + name_to_wide(system) + L"\\regsvr32.exe\" /s /u \"" + path + L"\"";
    run_process(command, {.directory = {}, .hidden = true});
    return;
  }
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) return;
  using Unregister = HRESULT(STDAPICALLTYPE*)();
  if (auto unregister = reinterpret_cast<Unregister>(
          reinterpret_cast<void*>(GetProcAddress(module, "DllUnregisterServer")))) {
    // A server that crashes here is left loaded: its code may still run elsewhere.
    if (guarded_call(unregister).faulted) return;
  }
  FreeLibrary(module);
}

void unregister_type_library(const std::wstring& path) {
  guarded_call([&] {
    ITypeLib* library = nullptr;
    if (FAILED(LoadTypeLib(path.c_str(), &library)) || !library) return;
    TLIBATTR* attributes = nullptr;
    if (SUCCEEDED(library->GetLibAttr(&attributes)) && attributes) {
      UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum, attributes->lcid,
                        attributes->syskind);
      library->ReleaseTLibAttr(attributes);
    }
    library->Release();
  });
}

// Opens the key of a package registry path, in every user's hive for "\HKAU\".
void for_each_key(const RegistryKeyPath& path, REGSAM access, const std::function<void(HKEY)>& action) {
  auto open_under = [&](HKEY parent) {
    RegistryKey key;
    if (key.open(parent, path.key, access) == ERROR_SUCCESS) action(key.get());
  };
  if (path.root == RegistryRoot::all_users) {
    for_each_user_hive(KEY_READ, open_under);
  } else {
    open_under(root_key(path.root));
  }
}

void delete_value_at(const RegistryKeyPath& key_path, const std::string& value, REGSAM view) {
  for_each_key(key_path, KEY_READ | KEY_SET_VALUE | view, [&](HKEY key) { RegDeleteValueA(key, value.c_str()); });
}

}  // namespace

void restore_associations(const std::vector<AssociationRecord>& associations, const std::string& backup_name) {
  for (const AssociationRecord& record : associations) {
    if (record.extension.empty() || record.type_key.empty()) continue;
    restore_association(record, backup_name);
  }
}

bool release_shared_files(const std::vector<SharedFileEntry>& entries, const SharedFileRelease& how) {
  RegistryKey counts;
  if (counts.open(HKEY_LOCAL_MACHINE, shared_counts_key, product_key_access | registry_32bit_view) != ERROR_SUCCESS)
    return false;
  for (const SharedFileEntry& entry : entries) {
    std::wstring path = name_to_wide(entry.path);
    DWORD count = 0;
    DWORD size = sizeof count;
    DWORD type = 0;
    if (RegQueryValueExW(counts.get(), path.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&count), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD) {
      continue;
    }
    if (count >= 1) {
      --count;
      RegSetValueExW(counts.get(), path.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), sizeof count);
      if (count >= 1) continue;
    }
    if (entry.kind == SharedFileKind::never_delete) continue;
    if (entry.kind == SharedFileKind::com_server) unregister_com_server(path, how.system_unregister);
    if (entry.kind == SharedFileKind::type_library) unregister_type_library(path);
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
      RegDeleteValueW(counts.get(), path.c_str());
      continue;
    }
    if (how.confirm_delete && !how.confirm_delete(entry.path)) continue;
    // A count of 0 left behind would claim a file that is gone.
    if (delete_file(entry.path)) RegDeleteValueW(counts.get(), path.c_str());
  }
  return true;
}

void delete_registry_values(const std::vector<std::string>& value_paths, REGSAM view) {
  for (const std::string& text : value_paths) {
    if (std::optional<RegistryValuePath> path = parse_registry_value_path(text)) {
      delete_value_at(path->key, path->value_name, view);
    }
  }
}

void delete_product_key(const std::string& name, REGSAM view) {
  // A blank name or one that climbs out would make "Software" itself the product's key.
  if (is_blank_text(name) || name.front() == '\\' || name.find("..") != std::string::npos) return;
  std::string path = "Software\\" + name;
  while (path.back() == '\\') path.pop_back();
  delete_key_tree(HKEY_LOCAL_MACHINE, path, view);
  delete_empty_parents(HKEY_LOCAL_MACHINE, path, view, product_key_levels);
  for_each_user_hive(KEY_READ | KEY_WRITE | view, [&](HKEY user) {
    delete_key_tree(user, path, view);
    delete_empty_parents(user, path, view, product_key_levels, shortest_user_key);
  });
}

void undo_registry_script(const std::vector<RegistryScriptRemoval>& removals, REGSAM view) {
  for (const RegistryScriptRemoval& removal : removals) {
    std::optional<RegistryKeyPath> key = parse_registry_key_path(removal.key_path);
    if (!key || key->key.empty()) continue;
    if (removal.is_key) {
      if (key->root == RegistryRoot::all_users) {
        for_each_user_hive(KEY_READ | KEY_WRITE | view, [&](HKEY user) { delete_key_if_empty(user, key->key, view); });
      } else {
        delete_key_if_empty(root_key(key->root), key->key, view);
      }
    } else if (!removal.keep) {
      delete_value_at(*key, removal.value_name, view);
    }
  }
}

}  // namespace halvard
