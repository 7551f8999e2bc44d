// Registers an exit callback that leaves a marker file, then ends fatally with the
// command-line text, showing it through the library's own display.
#include <windows.h>

#include "crash/fatal_error.h"
#include "ui/fatal_display_win.h"

namespace {

void leave_marker() {
  HANDLE marker = CreateFileA("fatal-callback-ran.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR command_text, int) {
  halvard::install_fatal_display();
  halvard::add_exit_callback(leave_marker);
  halvard::fatal_error("Probe: %s", command_text);
}
