// Test helper: a top-level window that a close test aims at.
// Usage: test_window <class> <title> <result file>
// Writes how it ended into <result file>: "closed" when the window got WM_CLOSE,
// "quit" when its message loop ended without one, "timeout" when nothing came within a
// minute (so that a failed test leaves nothing running for long).
#include <windows.h>

#include <cstdio>

namespace {

constexpr UINT_PTR give_up_timer = 1;
constexpr UINT give_up_after_ms = 60000;
bool got_close = false;
bool timed_out = false;

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CLOSE:
      got_close = true;
      DestroyWindow(window);
      return 0;
    case WM_TIMER:
      timed_out = true;
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = window_procedure;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.lpszClassName = argv[1];
  if (!RegisterClassA(&window_class)) return 3;
  HWND window = CreateWindowA(argv[1], argv[2], WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                              window_class.hInstance, nullptr);
  if (!window) return 4;
  SetTimer(window, give_up_timer, give_up_after_ms, nullptr);
  ShowWindow(window, SW_SHOWMINNOACTIVE);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  const char* outcome = got_close ? "closed" : timed_out ? "timeout" : "quit";
  FILE* file = std::fopen(argv[3], "wb");
  if (!file) return 5;
  std::fputs(outcome, file);
  std::fclose(file);
  return 0;
}
