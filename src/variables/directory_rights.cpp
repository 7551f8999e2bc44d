#include "variables/directory_rights.h"

namespace halvard {

bool grants_rights_to_install_dir(const InstallSettings& settings) {
  return (settings.ProductFlags.high & product_flag::high_grant_everyone_install_dir) != 0;
}

bool grants_rights_to_shared_dir(const InstallSettings& settings) {
  return grants_rights_to_install_dir(settings) &&
         (settings.ProductFlags.high & product_flag::high_grant_everyone_shared_folder) != 0 && !settings.SharedPath.empty();
}

std::string directory_rights_log_text(std::string_view directory, std::uint32_t code,
                                      std::string_view system_text) {
  std::string text = "Granting rights to directory \"";
  text += directory;
  text += "\"...";
  if (code == 0) return text + "OK\r\n";
  text += "FAILED code " + std::to_string(static_cast<std::int32_t>(code)) + ": ";  // printed as %d
  text += system_text;
  return text + "\r\n\r\n";
}

}  // namespace halvard
