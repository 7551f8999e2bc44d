#pragma once
// The wizard's pages. Each shows itself only under its own conditions and returns
// whether the run goes on; the caller ends the run on false (after the cancelled notice
// where the page's cancel calls for one).

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "ui/user_interface_win.h"

namespace halvard {

// The package's languages, one preselected; sets LanguageIndex (and the title text).
bool language_page(UserInterface& ui);
bool greeting_page(UserInterface& ui);
// Shown whenever the package has a password, also in an automatic run.
bool password_page(UserInterface& ui);
// One licence or read-me text on its page; nothing shown for an empty text.
bool license_page(UserInterface& ui, std::string_view text);
bool readme_page(UserInterface& ui, std::string_view text);
// The notice that an earlier version must be removed first: true for its Uninstall
// button, false for Cancel or the window closed.
bool must_uninstall_page(UserInterface& ui);
// The installation folder, from and into InstallDir (trimmed, never blank); `file_sizes`
// are the package's stored file sizes, for the space the installation needs on the
// chosen drive. The folder's checks are the caller's.
bool directory_page(UserInterface& ui, std::span<const int32_t> file_sizes);
// The Start-menu folder, from and into ProductStartMenu.
bool start_menu_page(UserInterface& ui);

// The choices the summary page recorded.
struct ExitChoices {
  bool launch_program = false;
  bool view_file = false;
  bool open_file = false;
  bool view_log = false;
};
// The summary page, or the completion box where the package offers no choice; nothing
// in an automatic run or when the package wants no completion notice.
ExitChoices completion(UserInterface& ui);

}  // namespace halvard
