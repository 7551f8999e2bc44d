#pragma once
// What the uninstaller may still do with an Uninstall.DAT that is not the one the
// installation wrote. The file lies in the product's folder, which users who are not
// administrators may be able to change; the uninstaller runs elevated. A changed file
// must not turn it into a tool that deletes what those users could not.

#include <string>
#include <string_view>
#include <vector>

#include "records/uninstall_data.h"

namespace halvard {

// The name of the Uninstall key's value that holds the file's digest.
inline constexpr char uninstall_data_digest_value[] = "UninstallDataDigest";

// Only the removal of files and folders inside one of `folders` (the folders the
// registration names), and the texts; every section that acts elsewhere (associations,
// firewall, drivers, MSI packages, registry values and the registry script, conditional
// deletions) is dropped. A path with a "." or ".." element is dropped too: it could
// climb out of the folder it names.
UninstallData restricted_to_folders(const UninstallData& data, const std::vector<std::string>& folders);

// Whether restricted_to_folders keeps a removal entry with this path.
bool inside_folders(std::string_view path, const std::vector<std::string>& folders);

// The failure summary's text for a file that did not match its digest.
inline constexpr char changed_uninstall_data_text[] =
    "Uninstall.DAT was changed after the installation: only files in the product's folders were removed.\r\n";

}  // namespace halvard
