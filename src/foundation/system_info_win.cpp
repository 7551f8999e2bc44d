#include "foundation/system_info_win.h"

#include <windows.h>

#include <cstdio>

#include "foundation/system_library_win.h"

namespace halvard {

bool is_wow64_process() {
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  auto is_wow64 = reinterpret_cast<IsWow64ProcessFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
  BOOL wow64 = FALSE;
  return is_wow64 && is_wow64(GetCurrentProcess(), &wow64) && wow64;
}

bool windows_is_64bit() { return sizeof(void*) == 8 || is_wow64_process(); }

std::string os_description() {
  // GetVersionEx reports what the manifest allows; the kernel's own call does not lie.
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof info;
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
  auto rtl_get_version = reinterpret_cast<RtlGetVersionFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
  if (!rtl_get_version || rtl_get_version(&info) != 0) return "Windows";
  char text[200];
  std::snprintf(text, sizeof text, "Windows %lu.%lu (build %lu)%s%ls, %s", info.dwMajorVersion, info.dwMinorVersion,
                info.dwBuildNumber, info.szCSDVersion[0] ? " " : "", info.szCSDVersion,
                windows_is_64bit() ? "64-bit" : "32-bit");
  return text;
}

std::string special_folder(int csidl) {
  using GetPathFn = BOOL(WINAPI*)(HWND, LPSTR, int, BOOL);
  static GetPathFn get_path = [] {
    HMODULE shell = load_system_library("shell32.dll");
    return shell ? reinterpret_cast<GetPathFn>(
                       reinterpret_cast<void*>(GetProcAddress(shell, "SHGetSpecialFolderPathA")))
                 : nullptr;
  }();
  char path[MAX_PATH] = {};
  if (!get_path || !get_path(nullptr, path, csidl, FALSE)) return {};
  return path;
}

}  // namespace halvard
