#include "ui/common_controls_win.h"

#include <windows.h>
#include <commctrl.h>

#include "foundation/system_library_win.h"

namespace halvard {

bool init_common_controls() {
  HMODULE comctl = load_system_library("comctl32.dll");
  if (!comctl) return false;
  using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  auto init = reinterpret_cast<InitFn>(reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControlsEx")));
  if (!init) return false;
  INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS};
  return init(&classes);
}

}  // namespace halvard
