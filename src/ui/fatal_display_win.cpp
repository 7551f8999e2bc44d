#include "ui/fatal_display_win.h"

#include <windows.h>

#include <string>

#include "crash/fatal_error.h"
#include "foundation/tool_name.h"

namespace halvard {
namespace {

void show_fatal_text(const char* text) {
  SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
  std::string caption = std::string("FATAL ERROR - ") + tool_name;
  MessageBoxA(nullptr, text, caption.c_str(), MB_TOPMOST | MB_TASKMODAL | MB_ICONERROR);
}

}  // namespace

void install_fatal_display() { set_fatal_display(show_fatal_text); }

}  // namespace halvard
