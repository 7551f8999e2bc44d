#include "foundation/registry_path.h"

#include <array>

#include "foundation/text.h"

namespace halvard {
namespace {

struct RootRow {
  RegistryRoot root;
  std::string_view long_name;
  std::string_view prefix;
};

constexpr std::array<RootRow, 6> roots{{
    {RegistryRoot::local_machine, "HKEY_LOCAL_MACHINE", "\\HKLM\\"},
    {RegistryRoot::current_user, "HKEY_CURRENT_USER", "\\HKCU\\"},
    {RegistryRoot::classes_root, "HKEY_CLASSES_ROOT", "\\HKCR\\"},
    {RegistryRoot::users, "HKEY_USERS", "\\HKU\\"},
    {RegistryRoot::current_config, "HKEY_CURRENT_CONFIG", "\\HKCC\\"},
    {RegistryRoot::dyn_data, "HKEY_DYN_DATA", "\\HKDD\\"},
}};

constexpr std::string_view all_users_prefix = "\\HKAU\\";

}  // namespace

std::optional<RegistryKeyPath> parse_registry_key_path(std::string_view path) {
  if (path.starts_with(all_users_prefix))
    return RegistryKeyPath{RegistryRoot::all_users, std::string(path.substr(all_users_prefix.size()))};
  if (path == all_users_prefix.substr(0, all_users_prefix.size() - 1)) return RegistryKeyPath{RegistryRoot::all_users, {}};
  for (const RootRow& row : roots)
    if (starts_ignoring_case(path, row.prefix)) return RegistryKeyPath{row.root, std::string(path.substr(row.prefix.size()))};
  // The bare root. Only the whole path: a mere prefix match would read "\HKUSERS\x" as
  // the key "SERS\x" under HKEY_USERS and write where nobody meant to.
  for (const RootRow& row : roots) {
    std::string_view bare = row.prefix.substr(0, row.prefix.size() - 1);
    if (path.size() == bare.size() && starts_ignoring_case(path, bare)) return RegistryKeyPath{row.root, {}};
  }
  return std::nullopt;
}

std::optional<RegistryValuePath> parse_registry_value_path(std::string_view path) {
  size_t slash = path.rfind('\\');
  if (slash == std::string_view::npos) return std::nullopt;
  std::optional<RegistryKeyPath> key = parse_registry_key_path(path.substr(0, slash));
  if (!key) return std::nullopt;
  return RegistryValuePath{std::move(*key), std::string(path.substr(slash + 1))};
}

std::string_view registry_root_name(RegistryRoot root) {
  for (const RootRow& row : roots)
    if (row.root == root) return row.long_name;
  return "HKEY_USERS";
}

}  // namespace halvard
