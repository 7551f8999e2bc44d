#include "ui/user_interface_win.h"

#include <vector>

#include "foundation/file.h"
#include "foundation/system_info_win.h"
#include "package/message_numbers.h"
#include "package/option_bits.h"
#include "package/settings_stream.h"
#include "ui/page_controls.h"
#include "ui/page_rules.h"

namespace halvard {

namespace {

std::wstring widened(std::string_view text) { return code_page_to_wide(text, code_page_windows_1252); }

// The package's labels for a box's buttons and its icon, set by a CBT hook when the box
// activates: the box has no other moment at which its buttons exist and it is not shown.
struct BoxDressing {
  std::vector<std::pair<int, std::wstring>> labels;
  HICON icon = nullptr;
  HHOOK hook = nullptr;
};
BoxDressing* dressing = nullptr;  // the engine raises its boxes on one thread

LRESULT CALLBACK dress_box(int code, WPARAM wparam, LPARAM lparam) {
  BoxDressing* box = dressing;
  if (!box) return 0;
  const HHOOK hook = box->hook;
  if (code == HCBT_ACTIVATE) {
    HWND window = reinterpret_cast<HWND>(wparam);
    for (const auto& [button, label] : box->labels) {
      if (HWND control = GetDlgItem(window, button)) SetWindowTextW(control, label.c_str());
    }
    if (box->icon) SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(box->icon));
    UnhookWindowsHookEx(hook);
    box->hook = nullptr;
    dressing = nullptr;
    return 0;
  }
  return CallNextHookEx(hook, code, wparam, lparam);
}

}  // namespace

std::string UserInterface::text(int n) const {
  if (os_description_.empty()) os_description_ = os_description();
  return expand_tags(message(settings_, n), settings_, os_description_);
}

HICON UserInterface::small_icon() const {
  if (!(settings_.ProductFlags.high & product_flag::high_small_icon)) return nullptr;
  if (!small_icon_loaded_) {
    small_icon_loaded_ = true;
    small_icon_ = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(ENGINE_ICON), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  }
  return small_icon_;
}

int UserInterface::message_box(std::string_view text, std::string_view caption, UINT style) const {
  BoxDressing box;
  for (const ButtonLabel& label : message_box_labels(settings_)) {
    box.labels.emplace_back(label.button, widened(this->text(label.message)));
  }
  box.icon = small_icon();
  // A box raised while another one's hook waits (from a window procedure) keeps that hook.
  const bool hooked = dressing == nullptr;
  if (hooked) {
    box.hook = SetWindowsHookExW(WH_CBT, dress_box, nullptr, GetCurrentThreadId());
    if (box.hook) dressing = &box;
  }
  const std::string narrow_text(text), narrow_caption(caption);
  const std::wstring wide_text = widened(text), wide_caption = widened(caption);
  int answer = 0;
  if (!(wide_text.empty() && !text.empty()) && !(wide_caption.empty() && !caption.empty()))
    answer = MessageBoxW(owner(), wide_text.c_str(), wide_caption.c_str(), style);
  if (answer == 0) answer = MessageBoxA(owner(), narrow_text.c_str(), narrow_caption.c_str(), style);
  if (hooked && dressing == &box) {
    if (box.hook) UnhookWindowsHookEx(box.hook);
    dressing = nullptr;
  }
  return answer;
}

void UserInterface::error_box(std::string_view text) const {
  if (text.empty()) return;
  if (automatic() && !(settings_.ProductFlags.high & product_flag::high_errors_in_silent_mode)) return;
  SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));  // the arrow
  std::string caption = this->text(message_number::error_title);
  message_box(text, caption.empty() ? "Error" : caption, MB_OK | MB_ICONERROR);
}

bool UserInterface::ask_yes_no(std::string_view text, std::string_view caption) const {
  return message_box(text, caption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool UserInterface::ask_ok_cancel(std::string_view text, std::string_view caption) const {
  return message_box(text, caption, MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
}

void UserInterface::cancelled_notice() const {
  if (automatic()) return;
  SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));
  const int notice = uninstalling() ? message_number::uninstallation_cancelled : message_number::installation_cancelled;
  const int caption = uninstalling() ? message_number::uninstall_question_title : message_number::greeting_title;
  message_box(this->text(notice), this->text(caption), MB_OK | MB_ICONEXCLAMATION);
}

void set_window_text(HWND window, std::string_view text) {
  const std::wstring wide = widened(text);
  if (!wide.empty() || text.empty()) {
    if (SetWindowTextW(window, wide.c_str())) return;
  }
  SetWindowTextA(window, std::string(text).c_str());
}

void set_item_text(HWND dialog, int control, std::string_view text) {
  if (HWND item = GetDlgItem(dialog, control)) set_window_text(item, text);
}

void set_item_text(HWND dialog, int control, std::u16string_view text) {
  const std::wstring wide(text.begin(), text.end());
  SetDlgItemTextW(dialog, control, wide.c_str());
}

}  // namespace halvard
