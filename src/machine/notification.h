#pragma once
// Which web address tells the publisher that an installation happened, and the
// address as it is requested.

#include <string>
#include <string_view>

#include "package/install_settings.h"

namespace halvard {

struct InstallOutcome {
  bool upgrade = false;    // an older version was installed
  bool downgrade = false;  // a newer version was installed
  bool over_earlier_folder = false;
};

// NotifyURL2 after an upgrade, NotifyURL3 after a downgrade, NotifyURL4 over an earlier
// installation's folder, otherwise NotifyURL1.
const std::string& notification_address(const InstallSettings& settings, const InstallOutcome& outcome);

// Every "%version%", in any case, replaced by `version`.
std::string with_version(std::string_view address, std::string_view version);

}  // namespace halvard
