#include "ui/progress_window_win.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>

#include "package/message_numbers.h"
#include "package/option_bits.h"
#include "ui/page_controls.h"
#include "ui/page_dialog_win.h"
#include "ui/page_rules.h"

namespace halvard {

namespace msg = message_number;

constexpr DWORD status_interval_ms = 50;
constexpr DWORD pump_interval_ms = 10;

class ProgressPage : public PageDialog {
 public:
  ProgressPage(UserInterface& ui, bool& cancelled)
      : PageDialog(ui, page_resource(Page::progress, page_style(ui.settings(), Page::progress)),
                   page_style(ui.settings(), Page::progress),
                   ui.uninstalling() ? msg::uninstall_question_title : msg::installing_files_status),
        cancelled_(cancelled) {
    caption_ = ui.uninstalling() ? msg::uninstall_question_title : msg::greeting_title;
  }

 private:
  void set_texts(HWND dialog) override {
    set_item_text(dialog, PAGE_PROMPT, text(ui_.uninstalling() ? msg::uninstall_wait_text : msg::installing_text));
    set_item_text(dialog, PAGE_CANCEL, text(msg::cancel_button));
  }

  void prepare(HWND dialog) override {
    const bool cancellable =
        !ui_.uninstalling() && !(ui_.settings().ProductFlags.low & product_flag::low_progress_not_cancellable);
    EnableWindow(GetDlgItem(dialog, PAGE_CANCEL), cancellable);
  }

  void place(HWND dialog) override {
    RECT area{};
    if (ui_.settings().MaximizedBackground || !SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0))
      area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    RECT rect{};
    GetWindowRect(dialog, &rect);
    const WindowPlace place =
        progress_window_place(ui_.settings().DialogValue, {rect.left, rect.top}, rect.right - rect.left,
                              rect.bottom - rect.top, area.left, area.top, area.right, area.bottom);
    SetWindowPos(dialog, nullptr, place.left, place.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  void ask_to_cancel(HWND dialog) {
    HWND cancel = GetDlgItem(dialog, PAGE_CANCEL);
    if (!cancel || !IsWindowEnabled(cancel) || cancelled_) return;
    if (ui_.ask_yes_no(text(msg::cancel_question), text(msg::question_title))) cancelled_ = true;
  }

  bool command(HWND dialog, int control, int) override {
    if (control != PAGE_CANCEL) return false;
    ask_to_cancel(dialog);
    return true;
  }

  void closed(HWND dialog) override { ask_to_cancel(dialog); }

  bool handle(HWND dialog, UINT message, WPARAM, LPARAM, INT_PTR& result) override {
    if (message != WM_QUERYENDSESSION) return false;
    // Windows must not end the session under a half-done installation.
    SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 0);
    result = TRUE;
    return true;
  }

  bool& cancelled_;
};

ProgressWindow::ProgressWindow(UserInterface& ui) : ui_(ui) {}

ProgressWindow::~ProgressWindow() { close(); }

void ProgressWindow::open() {
  if (window_ || !(ui_.settings().ProductFlags.high & product_flag::high_progress_page)) return;
  page_ = std::make_unique<ProgressPage>(ui_, cancelled_);
  window_ = page_->open();
  if (window_) ui_.set_progress_window(window_);
  pump();
}

void ProgressWindow::close() {
  if (window_) {
    ui_.set_progress_window(nullptr);
    DestroyWindow(window_);
    window_ = nullptr;
  }
  page_.reset();
}

void ProgressWindow::forbid_cancel() {
  if (window_) EnableWindow(GetDlgItem(window_, PAGE_CANCEL), FALSE);
}

void ProgressWindow::show_status(std::string_view status, unsigned long now) {
  set_item_text(window_, PAGE_STATUS, status);
  status_shown_at_ = now;
  status_pending_ = false;
}

bool ProgressWindow::text(std::string_view status) {
  if (window_) show_status(status, GetTickCount());
  return pump();
}

bool ProgressWindow::file_text(std::string_view path) {
  if (window_) {
    const DWORD now = GetTickCount();
    if (now - status_shown_at_ >= status_interval_ms) {
      show_status(path, now);
    } else {
      pending_status_.assign(path);
      status_pending_ = true;
    }
  }
  return pump();
}

bool ProgressWindow::percent(int value) {
  value = std::clamp(value, 0, 100);
  if (window_ && value != bar_position_) {
    PostMessageW(GetDlgItem(window_, PAGE_PROGRESS_BAR), PBM_SETPOS, WPARAM(value), 0);
    bar_position_ = value;
  }
  return pump();
}

bool ProgressWindow::pump() {
  const DWORD now = GetTickCount();
  // A status held back is shown once its time has come, even when no newer one follows.
  if (window_ && status_pending_ && now - status_shown_at_ >= status_interval_ms) show_status(pending_status_, now);
  if (now - pumped_at_ < pump_interval_ms && !cancelled_) return true;
  pumped_at_ = now;
  bool ended = false;
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      ended = true;
      continue;
    }
    if (window_ && IsDialogMessageW(window_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (window_ && !IsWindow(window_)) {
    window_ = nullptr;
    ui_.set_progress_window(nullptr);
    ended = true;
  }
  if (ended) cancelled_ = true;
  return !cancelled_;
}

}  // namespace halvard
