#include "installer/earlier_installation.h"

#include "installer/version_compare.h"
#include "package/message_numbers.h"

namespace halvard {

EarlierQuestion earlier_installation_question(std::string_view installed, std::string_view package, bool compare) {
  if (!compare || installed.empty() || package.empty()) return {message_number::already_installed_here};
  int order = compare_versions(installed, package);
  if (order == 0) return {message_number::same_version_installed, InstallKind::same_version};
  if (order < 0) return {message_number::older_version_installed, InstallKind::upgrade};
  return {message_number::newer_version_installed, InstallKind::downgrade};
}

std::string earlier_installation_text(std::string_view message, std::string_view folder, std::string_view question) {
  std::string text(message);
  text += "\r\n";
  text += folder;
  text += "\r\n\r\n";
  text += question;
  return text;
}

bool must_uninstall_first(std::string_view installed, std::string_view must_uninstall_below) {
  return must_uninstall_below.empty() || compare_versions(installed, must_uninstall_below) < 0;
}

bool below_minimum_upgrade_version(std::string_view installed, std::string_view minimum) {
  return minimum.empty() || compare_versions(installed, minimum) < 0;
}

}  // namespace halvard
