// Registry paths as packages write them: a root prefix such as "\HKLM\" and the key
// path under that root, optionally followed by a value name after the last backslash.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace halvard {

// In the order the prefixes are tried.
enum class RegistryRoot { local_machine, current_user, classes_root, users, current_config, dyn_data, all_users };

// all_users ("\HKAU\") stands for the same key under every loaded user profile.
struct RegistryKeyPath {
  RegistryRoot root = RegistryRoot::local_machine;
  std::string key;  // under the root; empty: the root itself
  friend bool operator==(const RegistryKeyPath&, const RegistryKeyPath&) = default;
};

struct RegistryValuePath {
  RegistryKeyPath key;
  std::string value_name;  // empty: the key's default value
  friend bool operator==(const RegistryValuePath&, const RegistryValuePath&) = default;
};

// The system's ERROR_BAD_PATHNAME, the reason given when a path names no root.
inline constexpr unsigned long registry_bad_path_error = 161;

// "\HKLM\Software\Maker" (prefix in any letter case; "\HKAU\" only in capitals) or a
// bare "\HKLM" for the root. Anything else names no root: nullopt.
std::optional<RegistryKeyPath> parse_registry_key_path(std::string_view path);

// Splits at the last backslash: the key path before it, the value name after it.
std::optional<RegistryValuePath> parse_registry_value_path(std::string_view path);

// "HKEY_LOCAL_MACHINE" and so on; "HKEY_USERS" for all_users.
std::string_view registry_root_name(RegistryRoot root);

}  // namespace halvard
