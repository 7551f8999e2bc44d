#pragma once
// The uninstaller's work in the registry: file associations restored from their
// backups, the shared-file counts with the COM servers and type libraries whose last
// user goes, and the product's registry values and keys.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "records/uninstall_data.h"
#include "records/uninstall_records.h"

namespace halvard {

// Undoes each association whose extension and type key are named, restoring the
// values saved under `backup_name` and deleting what the installation created.
void restore_associations(const std::vector<AssociationRecord>& associations, const std::string& backup_name);

// What to do with a shared file whose count reached zero.
struct SharedFileRelease {
  bool system_unregister = false;  // the servers are not of the engine's bitness: regsvr32 unregisters
  // Asked before a file is deleted; false keeps it. Null deletes without asking.
  std::function<bool(const std::string&)> confirm_delete;
};

// Lowers the count of each shared file; at zero, unregisters a COM server or type
// library and deletes the file, unless it carries the never-delete mark. False when the
// counts could not be opened; then nothing was changed.
bool release_shared_files(const std::vector<SharedFileEntry>& entries, const SharedFileRelease& how);

// Deletes the registry value named by each full path ("\HKLM\...\Value").
void delete_registry_values(const std::vector<std::string>& value_paths, REGSAM view);

// Deletes HKLM "Software\<name>" and the same key of every user, each with its empty
// parents.
void delete_product_key(const std::string& name, REGSAM view);

// Undoes the registry script: empty keys and values it wrote, except values kept on
// purpose.
void undo_registry_script(const std::vector<RegistryScriptRemoval>& removals, REGSAM view);

}  // namespace halvard
