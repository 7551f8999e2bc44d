#pragma once
// The progress window: modeless over the background window while the installation or
// the removal works, with a status line, a bar and (when the package allows) Cancel.

#include <memory>
#include <string>
#include <string_view>

#include "ui/user_interface_win.h"

namespace halvard {

class ProgressPage;

class ProgressWindow {
 public:
  explicit ProgressWindow(UserInterface& ui);
  ~ProgressWindow();
  ProgressWindow(const ProgressWindow&) = delete;
  ProgressWindow& operator=(const ProgressWindow&) = delete;

  // Opens the window when the package shows a progress page; until then, and without
  // one, the calls below only keep the other windows answering.
  void open();
  // Each returns false once the run must stop: the user confirmed Cancel, or the
  // window was closed.
  bool text(std::string_view status);
  // The file at work: shown at most every few hundredths of a second, the
  // latest one when its time comes.
  bool file_text(std::string_view path);
  bool percent(int value);
  bool cancelled() const { return cancelled_; }
  // From here on the run can only finish: Cancel is greyed out.
  void forbid_cancel();
  void close();
  // The window that owns what others show meanwhile (an MSI package's own windows).
  HWND owner() const { return ui_.owner(); }

 private:
  bool pump();
  void show_status(std::string_view status, unsigned long now);

  UserInterface& ui_;
  std::unique_ptr<ProgressPage> page_;
  HWND window_ = nullptr;
  bool cancelled_ = false;
  // A status line and a bar position per file cost more round trips to the
  // window system than writing a small file; nobody reads more than a few
  // changes a second.
  std::string pending_status_;
  bool status_pending_ = false;
  unsigned long status_shown_at_ = 0;
  unsigned long pumped_at_ = 0;
  int bar_position_ = -1;
};

}  // namespace halvard
