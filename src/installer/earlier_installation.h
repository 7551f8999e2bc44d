#pragma once
// The rules for installing over an earlier installation of the product: whether it must
// be removed first, which question is asked about it, and the kind of installation the
// answer makes of the run.

#include <string>
#include <string_view>

namespace halvard {

enum class InstallKind { plain, same_version, upgrade, downgrade };

struct EarlierQuestion {
  int message = 0;                        // 3 when the versions are not compared, else 4 to 6
  InstallKind kind = InstallKind::plain;  // plain with message 3
};

// With `compare` and both versions given: same version (4), upgrade when the installed
// one is older (5), downgrade when it is newer (6). Otherwise message 3 and no kind.
EarlierQuestion earlier_installation_question(std::string_view installed, std::string_view package, bool compare);

// The question: its message, the earlier folder on a line of its own, then message 7.
std::string earlier_installation_text(std::string_view message, std::string_view folder, std::string_view question);

// Under the must-uninstall rule the earlier installation goes first, unless the package
// names a version below which that holds and the installed one is not below it.
bool must_uninstall_first(std::string_view installed, std::string_view must_uninstall_below);

// The minimum-version warning is due when the package names no minimum or the installed
// version is older than it.
bool below_minimum_upgrade_version(std::string_view installed, std::string_view minimum);

}  // namespace halvard
