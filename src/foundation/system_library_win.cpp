#include "foundation/system_library_win.h"

#include <string>

namespace halvard {
namespace {

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

bool search_restricted = false;

std::string system_folder_path(const char* name) {
  char folder[MAX_PATH];
  UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  std::string path(folder, length);
  if (path.back() != '\\') path += '\\';
  return path + name;
}

}  // namespace

bool harden_dll_search() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
  auto set_default = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  auto set_directory =
      reinterpret_cast<SetDllDirectoryFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
  // An empty DLL directory removes the current folder from the search on systems that
  // predate the default-directories call.
  if (set_directory) set_directory("");
  search_restricted = set_default && set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
  return search_restricted;
}

HMODULE load_system_library(const char* name) {
  if (search_restricted) return LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Without the restriction a full path still keeps the application folder out.
  std::string path = system_folder_path(name);
  return path.empty() ? nullptr : LoadLibraryA(path.c_str());
}

}  // namespace halvard
