#pragma once
// What the pages and message boxes of one run share: the settings they take their texts
// and flags from, the windows that own them, and the installer's small icon. One per
// run, owned by the entry point; the installation or the removal borrows it.

#include <windows.h>

#include <string>
#include <string_view>

#include "package/install_settings.h"

namespace halvard {

class UserInterface {
 public:
  explicit UserInterface(InstallSettings& settings) : settings_(settings) {}
  UserInterface(const UserInterface&) = delete;
  UserInterface& operator=(const UserInterface&) = delete;

  InstallSettings& settings() const { return settings_; }
  bool uninstalling() const { return settings_.UninstallMode; }
  bool automatic() const { return settings_.AutomaticMode; }

  // Message n of the current language, its tags replaced.
  std::string text(int n) const;

  HWND background_window() const { return background_; }
  void set_background_window(HWND window) { background_ = window; }
  HWND progress_window() const { return progress_; }
  void set_progress_window(HWND window) { progress_ = window; }
  // The owner of every box: the progress window while it is open.
  HWND owner() const { return progress_ ? progress_ : background_; }
  // The installer's small icon when the package asks for it on every window, else null.
  HICON small_icon() const;

  // An error box captioned by message 21 ("Error" when empty); nothing for an empty text,
  // nor in an automatic run unless the package wants errors there too.
  void error_box(std::string_view text) const;
  bool ask_yes_no(std::string_view text, std::string_view caption) const;
  bool ask_ok_cancel(std::string_view text, std::string_view caption) const;
  // Any other box, with the package's button labels; returns the button pressed.
  int message_box(std::string_view text, std::string_view caption, UINT style) const;
  // The notice that the run was cancelled (none in an automatic run). The caller ends.
  void cancelled_notice() const;

 private:
  InstallSettings& settings_;
  HWND background_ = nullptr;
  HWND progress_ = nullptr;
  mutable std::string os_description_;  // read once, when a text first needs it
  mutable HICON small_icon_ = nullptr;
  mutable bool small_icon_loaded_ = false;
};

// Window texts are Windows-1252 in the package: set through the wide call, and with the
// bytes as they are where the system cannot convert them.
void set_window_text(HWND window, std::string_view text);
void set_item_text(HWND dialog, int control, std::string_view text);
void set_item_text(HWND dialog, int control, std::u16string_view text);

}  // namespace halvard
