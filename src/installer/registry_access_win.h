#pragma once
// Registry access shared by the installation and the uninstaller: the roots of the
// package's registry paths, the hives of every user, and deleting keys whole or only
// when empty, in the 32-bit or 64-bit view.
#include <windows.h>

#include <functional>
#include <string>

#include "installer/uninstall_registration_path.h"

namespace halvard {

// Read, write, create sub-key, enumerate: what the product's keys are opened with.
inline constexpr REGSAM product_key_access = 0x2000F;

HKEY root_key(RegistryRoot root);

// Calls `action` with each user hive listed under the profile list and loaded under
// HKEY_USERS. False when the profile list cannot be read.
bool for_each_user_hive(REGSAM access, const std::function<void(HKEY)>& action);

// Deletes the key `path` under `parent` with everything below it. `view` is 0 or
// KEY_WOW64_64KEY. A key that is not there counts as deleted.
LONG delete_key_tree(HKEY parent, const std::string& path, REGSAM view = 0);

// Deletes the key when it holds no sub-key and no value; false when it was kept or
// could not be deleted.
bool delete_key_if_empty(HKEY parent, const std::string& path, REGSAM view = 0);

// Deletes the key's parents, one level at a time upward, while each is empty; at most
// `levels` levels, and never a path shorter than `shortest` characters.
void delete_empty_parents(HKEY root, std::string path, REGSAM view, int levels, size_t shortest = 0);

}  // namespace halvard
