#include "machine/close_applications_win.h"

#include <windows.h>

#include <string>
#include <vector>

#include "foundation/system_info_win.h"
#include "machine/close_applications.h"

namespace halvard {
namespace {

constexpr UINT question_style = MB_RETRYCANCEL | MB_ICONEXCLAMATION;  // 0x35

BOOL CALLBACK collect_window(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

WindowDescription describe(HWND window) {
  WindowDescription description;
  char class_name[256];
  int length = GetClassNameA(window, class_name, sizeof class_name);
  if (length > 0) description.class_name.assign(class_name, size_t(length));
  int title_length = GetWindowTextLengthA(window);
  if (title_length > 0) {
    std::string title(size_t(title_length) + 1, '\0');
    int got = GetWindowTextA(window, title.data(), title_length + 1);
    title.resize(got > 0 ? size_t(got) : 0);
    description.title = std::move(title);
  }
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  description.process_id = process_id;
  return description;
}

void bring_forward(HWND window) {
  if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
}

}  // namespace

bool close_applications(const UserInterface& ui, uint8_t phase) {
  const InstallSettings& settings = ui.settings();
  const bool silent = ui.automatic();
  const std::vector<CloseApplication>& entries = settings.CloseApplications;
  if (!has_entries_for_phase(entries, phase)) return true;

  std::vector<HWND> handles;
  EnumWindows(collect_window, reinterpret_cast<LPARAM>(&handles));
  std::vector<WindowDescription> windows;
  windows.reserve(handles.size());
  for (HWND handle : handles) windows.push_back(describe(handle));

  std::string os, title;  // for the question, made once it is needed
  for (const CloseStep& step : plan_closing(entries, windows, phase, GetCurrentProcessId())) {
    HWND window = handles[step.window];
    switch (step.action) {
      case CloseAction::post_close:
      case CloseAction::post_quit:
        bring_forward(window);
        // A window that has gone meanwhile is no error.
        PostMessageA(window, step.action == CloseAction::post_close ? WM_CLOSE : WM_QUIT, 0, 0);
        break;
      case CloseAction::ask: {
        if (silent) break;
        if (os.empty()) {
          os = os_description();
          title = close_question_title(settings, os);
        }
        const std::string text = close_question_text(settings, entries[step.entry].application_name, os);
        while (IsWindow(window)) {
          if (ui.message_box(text, title, question_style) != IDRETRY) return false;
        }
        break;
      }
      case CloseAction::none:
        break;
    }
  }
  return true;
}

}  // namespace halvard
