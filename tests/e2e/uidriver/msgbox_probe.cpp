// A stand-in program for the harness's own tests: it shows a message box, or exits
// with a given code, or never shows anything at all.
//
//   msgbox_probe show CAPTION TEXT [TYPE]   MessageBoxA; the exit code is the button id
//   msgbox_probe cmdline                    a message box "cmdline" whose text is the
//                                           raw command-line text
//   msgbox_probe exit CODE                  exits with CODE
//   msgbox_probe sleep                      waits for ever without a window
//   msgbox_probe crash                      writes through a null pointer
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

// The engine speaks ANSI to Windows; so does the probe, to meet the same conversions.
std::string to_ansi(const wchar_t* text) {
  int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size > 0 ? size : 1), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), size, nullptr, nullptr);
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"show" && argc >= 4) {
    UINT type = argc >= 5 ? static_cast<UINT>(std::wcstoul(argv[4], nullptr, 0)) : MB_OK;
    return MessageBoxA(nullptr, to_ansi(argv[3]).c_str(), to_ansi(argv[2]).c_str(), type);
  }
  if (mode == L"cmdline") return MessageBoxW(nullptr, GetCommandLineW(), L"cmdline", MB_OK);
  if (mode == L"exit" && argc >= 3) return static_cast<int>(std::wcstoul(argv[2], nullptr, 0));
  if (mode == L"crash") {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
  }
  if (mode == L"sleep") {
    Sleep(INFINITE);
    return 0;
  }
  return 255;
}
