// Granting every user full rights to a folder: when the package asks for it, and the
// log text of each attempt. The grant itself is in directory_rights_win.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "package/install_settings.h"

namespace halvard {

// Result codes of the grant besides the system's own.
inline constexpr std::uint32_t rights_path_not_found = 3;
inline constexpr std::uint32_t rights_no_world_sid = 1319;
inline constexpr std::uint32_t rights_exception = 1124;

bool grants_rights_to_install_dir(const InstallSettings& settings);
// Also needs the shared folder to be set.
bool grants_rights_to_shared_dir(const InstallSettings& settings);

// "Granting rights to directory \"<path>\"..." followed by "OK\r\n", or by
// "FAILED code <code>: <system text>\r\n\r\n".
std::string directory_rights_log_text(std::string_view directory, std::uint32_t code,
                                      std::string_view system_text);

}  // namespace halvard
