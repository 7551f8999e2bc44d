#pragma once
// Registry access shared by the installation and the uninstaller: the roots of the
// package's registry paths, the hives of every user, and deleting keys whole or only
// when empty, in the 32-bit or 64-bit view.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "foundation/product_view_win.h"
#include "foundation/registry_path.h"

namespace halvard {

// A registry key that closes itself; empty when it could not be opened.
class RegistryKey {
 public:
  RegistryKey() = default;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  RegistryKey(RegistryKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
  ~RegistryKey() { close(); }

  // Opens an existing key, or opens it creating what is missing; the system's result.
  LONG open(HKEY parent, const std::string& path, REGSAM access);
  LONG open(HKEY parent, const wchar_t* path, REGSAM access);
  LONG create(HKEY parent, const std::string& path, REGSAM access);
  // As create; a key it makes lets Everyone read and write it (administrators and the
  // system keep full control), or has the default security where the system refuses
  // that. For keys the product's programs write while run by any user.
  LONG create_shared(HKEY parent, const std::string& path, REGSAM access);
  void close();

  HKEY get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }

 private:
  HKEY key_ = nullptr;
};

// Read, write, create sub-key, enumerate: what the product's keys are opened with.
inline constexpr REGSAM product_key_access = 0x2000F;

HKEY root_key(RegistryRoot root);

// A text value (REG_SZ or REG_EXPAND_SZ, unexpanded) without its terminating zeros, or
// a REG_DWORD; nullopt when the value is missing or of another type.
std::optional<std::string> read_registry_text(HKEY key, std::string_view name);
std::optional<std::uint32_t> read_registry_number(HKEY key, std::string_view name);

// Calls `action` with each user hive listed under the profile list and loaded under
// HKEY_USERS. False when the profile list cannot be read.
bool for_each_user_hive(REGSAM access, const std::function<void(HKEY)>& action);

// Deletes the key `path` under `parent` with everything below it, in the registry view
// `view` (product_view_win.h). A key that is not there counts as deleted.
LONG delete_key_tree(HKEY parent, const std::string& path, REGSAM view = registry_32bit_view);

// Deletes the key when it holds no sub-key and no value; false when it was kept or
// could not be deleted.
bool delete_key_if_empty(HKEY parent, const std::string& path, REGSAM view = registry_32bit_view);

// Deletes the key's parents, one level at a time upward, while each is empty; at most
// `levels` levels, and never a path shorter than `shortest` characters.
void delete_empty_parents(HKEY root, std::string path, REGSAM view, int levels, size_t shortest = 0);

}  // namespace halvard
