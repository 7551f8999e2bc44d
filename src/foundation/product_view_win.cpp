#include "foundation/product_view_win.h"

#include <vector>

#include "foundation/system_info_win.h"

namespace halvard {
namespace {

// Set once, when the product's bitness is known; redirection itself is process-wide
// state in Windows, and this stands beside it.
struct ProcessView {
  bool product_64bit = false;
  void* redirection = nullptr;
  bool redirection_off = false;
};
ProcessView process_view;

template <class Fn>
Fn kernel32_function(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)));
}

std::string environment_value(const char* name) {
  std::vector<char> buffer(MAX_PATH);
  DWORD length = GetEnvironmentVariableA(name, buffer.data(), DWORD(buffer.size()));
  if (length >= buffer.size()) {
    buffer.resize(length + 1);
    length = GetEnvironmentVariableA(name, buffer.data(), DWORD(buffer.size()));
  }
  return length && length < buffer.size() ? std::string(buffer.data(), length) : std::string();
}

void take_32bit_environment() {
  for (auto [name, name_x86] : {std::pair{"ProgramFiles", "ProgramFiles(x86)"},
                                std::pair{"CommonProgramFiles", "CommonProgramFiles(x86)"}}) {
    std::string value = environment_value(name_x86);
    if (!value.empty()) SetEnvironmentVariableA(name, value.c_str());
  }
  std::string architecture = environment_value("PROCESSOR_ARCHITECTURE");
  if (!architecture.empty() && environment_value("PROCESSOR_ARCHITEW6432").empty()) {
    SetEnvironmentVariableA("PROCESSOR_ARCHITEW6432", architecture.c_str());
    SetEnvironmentVariableA("PROCESSOR_ARCHITECTURE", "x86");
  }
}

constexpr int csidl_system = 0x25;
constexpr int csidl_program_files = 0x26;
constexpr int csidl_program_files_x86 = 0x2A;
constexpr int csidl_program_files_common = 0x2B;
constexpr int csidl_program_files_common_x86 = 0x2C;

}  // namespace

bool enter_product_view(bool product_64bit) {
  process_view.product_64bit = product_64bit;
  if (engine_is_64bit) {
    if (!product_64bit) take_32bit_environment();
    return true;
  }
  if (!product_64bit) return true;
  using DisableFn = BOOL(WINAPI*)(PVOID*);
  auto disable = kernel32_function<DisableFn>("Wow64DisableWow64FsRedirection");
  if (!disable || !disable(&process_view.redirection)) return false;
  process_view.redirection_off = true;
  return true;
}

void leave_product_view() {
  if (!process_view.redirection_off) return;
  using RevertFn = BOOL(WINAPI*)(PVOID);
  if (auto revert = kernel32_function<RevertFn>("Wow64RevertWow64FsRedirection")) revert(process_view.redirection);
  process_view.redirection_off = false;
}

std::string product_system_folder() {
  char path[MAX_PATH];
  UINT length = 0;
  if (engine_is_64bit && !process_view.product_64bit) {
    using GetWow64DirectoryFn = UINT(WINAPI*)(LPSTR, UINT);
    if (auto get = kernel32_function<GetWow64DirectoryFn>("GetSystemWow64DirectoryA")) length = get(path, MAX_PATH);
  }
  if (length == 0 || length >= MAX_PATH) length = GetSystemDirectoryA(path, MAX_PATH);
  return length && length < MAX_PATH ? std::string(path, length) : std::string();
}

std::string product_program(const std::string& path) {
  if (!engine_is_64bit || process_view.product_64bit) return path;
  char system[MAX_PATH];
  UINT length = GetSystemDirectoryA(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH || path.size() <= length || path[length] != '\\' ||
      lstrcmpiA(path.substr(0, length).c_str(), system) != 0) {
    return path;
  }
  std::string mapped = product_system_folder() + path.substr(length);
  return GetFileAttributesA(mapped.c_str()) != INVALID_FILE_ATTRIBUTES ? mapped : path;
}

std::string product_special_folder(int csidl) {
  if (engine_is_64bit) {
    if (csidl == csidl_program_files) csidl = csidl_program_files_x86;
    if (csidl == csidl_program_files_common) csidl = csidl_program_files_common_x86;
    if (csidl == csidl_system) return product_system_folder();
  }
  return special_folder(csidl);
}

}  // namespace halvard
