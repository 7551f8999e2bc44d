#include "foundation/restart_operations_win.h"

#include <windows.h>

#include "foundation/file.h"
#include "foundation/file_functions.h"
#include "foundation/restart_operations.h"
#include "foundation/text.h"

namespace halvard {
namespace {

constexpr DWORD delay_until_reboot = MOVEFILE_DELAY_UNTIL_REBOOT;
constexpr DWORD replace_at_reboot = MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT;

bool is_9x_platform() { return (GetVersion() & 0x80000000u) != 0; }

std::string windows_folder() {
  char buffer[MAX_PATH + 1];
  UINT length = GetWindowsDirectoryA(buffer, MAX_PATH);
  if (length == 0 || length > MAX_PATH) return {};
  std::string folder(buffer, length);
  if (folder.back() != '\\') folder.push_back('\\');
  return folder;
}

bool wininit_program_exists() {
  std::string folder = windows_folder();
  return !folder.empty() &&
         GetFileAttributesA((folder + "wininit.exe").c_str()) != INVALID_FILE_ATTRIBUTES;
}

// MoveFileEx; the narrow entry point is looked up at run time, as the 9x line has a stub.
bool move_file_ex(const std::string& source, const std::string* destination, DWORD flags) {
  if (is_utf8_name(source) || (destination && is_utf8_name(*destination))) {
    std::wstring wide_destination = destination ? name_to_wide(*destination) : std::wstring();
    return MoveFileExW(name_to_wide(source).c_str(), destination ? wide_destination.c_str() : nullptr,
                       flags) != 0;
  }
  using MoveFileExFunction = BOOL(WINAPI*)(LPCSTR, LPCSTR, DWORD);
  auto move = reinterpret_cast<MoveFileExFunction>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "MoveFileExA")));
  if (!move) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return false;
  }
  return move(source.c_str(), destination ? destination->c_str() : nullptr, flags) != 0;
}

// The NT way first; "wininit.ini" when that fails and the system still runs wininit.exe.
bool register_for_reboot(const std::string& source, const std::string* destination, DWORD flags,
                         const std::string& wininit_name, const std::string& wininit_value) {
  if (is_9x_platform()) return write_wininit_entry(wininit_name, wininit_value);
  if (move_file_ex(source, destination, flags)) return true;
  const DWORD error = GetLastError();
  if (wininit_program_exists() && write_wininit_entry(wininit_name, wininit_value)) return true;
  SetLastError(error);
  return false;
}

}  // namespace

bool delete_at_reboot(const std::string& path) {
  return register_for_reboot(path, nullptr, delay_until_reboot, "NUL", short_path(path));
}

bool move_at_reboot(const std::string& source, const std::string& destination) {
  if (!register_for_reboot(source, &destination, replace_at_reboot, short_path(destination),
                           short_path(source)))
    return false;
  SetLastError(ERROR_BUSY);
  return true;
}

bool write_wininit_entry(const std::string& name, const std::string& value) {
  std::string folder = windows_folder();
  if (folder.empty()) return false;
  return write_wininit_entry_at(folder + "wininit.ini", name, value);
}

bool write_wininit_entry_at(const std::string& ini_path, const std::string& name,
                            const std::string& value) {
  // The profile functions cache files; flushed, the cache cannot later write an older
  // text over ours.
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini_path.c_str());
  std::string text;
  FileError loaded = load_file(ini_path, text);
  // wininit.exe renames the file once it has done its work, so a missing file is usual
  // and starts empty.
  if (loaded != FileError::Success && GetFileAttributesA(ini_path.c_str()) != INVALID_FILE_ATTRIBUTES)
    return false;
  return save_file(ini_path, add_wininit_entry(text, name, value)) == FileError::Success;
}

}  // namespace halvard
