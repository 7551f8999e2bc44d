#include "machine/notification.h"

namespace halvard {

const std::string& notification_address(const InstallSettings& settings, const InstallOutcome& outcome) {
  if (outcome.upgrade) return settings.NotifyURL2;
  if (outcome.downgrade) return settings.NotifyURL3;
  if (outcome.over_earlier_folder) return settings.NotifyURL4;
  return settings.NotifyURL1;
}

std::string with_version(std::string_view address, std::string_view version) {
  constexpr std::string_view placeholder = "%version%";
  std::string out;
  size_t i = 0;
  while (i < address.size()) {
    bool match = address.size() - i >= placeholder.size();
    for (size_t k = 0; match && k < placeholder.size(); ++k) {
      char c = address[i + k];
      if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
      match = c == placeholder[k];
    }
    if (match) {
      out.append(version);
      i += placeholder.size();
    } else {
      out.push_back(address[i++]);
    }
  }
  return out;
}

}  // namespace halvard
