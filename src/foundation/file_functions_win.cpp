#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <utility>
#include <vector>

#include "crash/exception_free.h"
#include "foundation/file.h"
#include "foundation/file_functions.h"
#include "foundation/restart_operations_win.h"
#include "foundation/text.h"

namespace halvard {
namespace {

using namespace open_flags;

// Written files are compared in pieces this large: few reads, and a bounded buffer.
constexpr std::int64_t compare_block = 0x10000;
constexpr int append_retries = 100;

// Names go to the system in their wide form: the ANSI calls stop at MAX_PATH.
DWORD attributes_of(const std::string &name) {
  return GetFileAttributesW(name_to_wide(name).c_str());
}

bool recycle(const std::string& name) {
  // The shell wants a list of names, each ended by a zero, the list by one more.
  if (is_utf8_name(name)) {
    std::wstring from = name_to_wide(name);
    from.push_back(L'\0');
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NOERRORUI;
    return SHFileOperationW(&operation) == 0;
  }
  std::string from = name;
  from.push_back('\0');
  SHFILEOPSTRUCTA operation = {};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NOERRORUI;
  return SHFileOperationA(&operation) == 0;
}

FileError load_open_file(File& file, std::string& data) {
  std::int64_t size = file.size();
  if (size < 0) return FileError::LoadFailed;
  if (size >= 0x80000000LL) return FileError::TooLarge;
  if (!fallible_resize(data, static_cast<std::size_t>(size))) return FileError::TooLarge;
  if (!file.read(data.data(), size)) {
    data.clear();
    return FileError::LoadFailed;
  }
  return FileError::Success;
}

}  // namespace

bool append_text(const std::string& name, const std::string& text, unsigned options,
                 std::int64_t size_limit, const std::string& header) {
  if (name.empty()) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  std::uint32_t flags = OpenAlways | SeekToEnd | NoSharingRetry;
  if (options & append_must_exist) flags |= OpenExisting;

  File file;
  FileError result = file.open(name, flags);
  if (!(options & append_no_retry)) {
    for (int retry = 0; result == FileError::Locked && retry < append_retries; ++retry) {
      file.close();
      Sleep(10);
      result = file.open(name, flags);
    }
  }
  if (result != FileError::Success) return false;

  std::int64_t size = file.size();
  if (size < 0) return false;
  if (size_limit > 0 && size > size_limit) return true;
  if (size == 0) {
    if (!file.write(header)) return false;
  } else if (options & append_new_line) {
    char last = 0;
    if (!file.seek(size - 1) || !file.read(&last, 1)) return false;
    if (last != '\r' && last != '\n' && !file.write("\r\n", 2)) return false;
  }
  return file.write(text) && file.close();
}

FileError save_file(const std::string& name, const std::string& data) {
  File file;
  FileError result = file.open(name, CreateAlways, file_attribute_normal);
  if (result != FileError::Success) return result;
  if (!file.write(data)) return FileError::WriteFailed;
  return FileError::Success;
}

FileError load_file(const std::string& name, std::string& data) {
  data.clear();
  File file;
  FileError result = file.open(name, OpenExisting | NoWrite | ShareRead, file_flag_sequential);
  return result != FileError::Success ? result : load_open_file(file, data);
}

FileError load_file(const std::wstring& name, std::string& data) {
  data.clear();
  File file;
  FileError result =
      file.open(name.c_str(), OpenExisting | NoWrite | ShareRead, file_flag_sequential);
  return result != FileError::Success ? result : load_open_file(file, data);
}

bool compare_file(const std::string& name, const void* data, std::int64_t size) {
  File file;
  if (file.open(name, OpenExisting | NoWrite | ShareRead) != FileError::Success) return false;
  if (file.size() != size) {
    SetLastError(ERROR_FILE_CORRUPT);
    return false;
  }
  const auto* bytes = static_cast<const char*>(data);
  std::vector<char> block(static_cast<std::size_t>(std::min(compare_block, size)));
  for (std::int64_t done = 0; done < size;) {
    std::int64_t piece = std::min(compare_block, size - done);
    if (!file.read(block.data(), piece)) return false;
    if (std::memcmp(block.data(), bytes + done, static_cast<std::size_t>(piece)) != 0) {
      SetLastError(ERROR_FILE_CORRUPT);
      return false;
    }
    done += piece;
  }
  return true;
}

bool compare_file(const std::string& name, const std::string& data) {
  return compare_file(name, data.data(), static_cast<std::int64_t>(data.size()));
}

bool set_file_time(const std::string& name, const DateTime& time, int mode) {
  if (mode != file_time_local && mode != file_time_utc) return false;
  std::uint64_t file_time = 0;
  if (!file_time_from(time, mode == file_time_local, file_time)) return false;
  File file;
  if (file.open(name, OpenExisting | ShareRead | ShareWrite) != FileError::Success) return false;
  // Pending writes would otherwise stamp their own time over ours.
  file.flush();
  return file.set_write_time(file_time);
}

bool delete_file(const std::string& name, unsigned options) {
  if (name.empty()) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  const std::wstring wide_name = name_to_wide(name);

  if (options & delete_only_empty) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    BOOL found =
        GetFileAttributesExW(wide_name.c_str(), GetFileExInfoStandard, &data);
    if (!found || data.nFileSizeHigh != 0 || data.nFileSizeLow != 0) return false;
  }
  if (!(options & delete_keep_read_only)) {
    DWORD attributes = attributes_of(name);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
      attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
      SetFileAttributesW(wide_name.c_str(), attributes);
    }
  }
  if (options & delete_at_restart) return delete_at_reboot(name);
  if (options & delete_to_recycle_bin) return recycle(name);

  if (DeleteFileW(wide_name.c_str()))
    return true;
  DWORD error = GetLastError();
  if ((options & delete_or_at_restart) && error != ERROR_FILE_NOT_FOUND &&
      error != ERROR_PATH_NOT_FOUND) {
    bool registered = delete_at_reboot(name);
    if (!registered) SetLastError(error);
    return registered;
  }
  return false;
}

bool is_link(const std::string& name) {
  DWORD attributes = attributes_of(name);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool delete_link(const std::string& name) {
  // Windows removes a folder link as a folder; Wine's links to Unix folders go as files.
  const std::wstring wide = name_to_wide(name);
  return RemoveDirectoryW(wide.c_str()) || DeleteFileW(wide.c_str());
}

std::wstring resolved_path(const std::string& name) { return resolved_path(name_to_wide(name)); }

std::wstring resolved_path(const std::wstring& name) {
  using FinalPath = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
  static const auto final_path = reinterpret_cast<FinalPath>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleW")));
  if (!final_path) return {};
  HANDLE handle = CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return {};
  std::vector<wchar_t> buffer(MAX_PATH);
  DWORD length = 0;
  for (int attempt = 0; attempt < 3; ++attempt) {
    length = final_path(handle, buffer.data(), DWORD(buffer.size()), 0);
    if (length < buffer.size()) break;
    buffer.resize(length + 1);
    length = 0;
  }
  CloseHandle(handle);
  return length ? std::wstring(buffer.data(), length) : std::wstring();
}

bool resolves_outside(const std::wstring& name, const std::wstring& resolved_folder) {
  // A drive root resolves with its backslash, any other folder without one.
  auto folder_part = [](std::wstring_view path) {
    while (!path.empty() && path.back() == L'\\')
      path.remove_suffix(1);
    return std::wstring(path);
  };
  const std::wstring resolved = resolved_path(name);
  const size_t cut = resolved.rfind(L'\\');
  if (resolved_folder.empty() || cut == std::wstring::npos) return false;
  return _wcsicmp(
             folder_part(std::wstring_view(resolved).substr(0, cut)).c_str(),
             folder_part(resolved_folder).c_str()) != 0;
}

std::vector<FoundFile> list_files(const std::string& pattern) {
  std::vector<FoundFile> found;
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(name_to_wide(pattern).c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    FoundFile entry;
    entry.name = data.cFileName;
    entry.ansi_name = wide_to_ansi(entry.name);
    entry.attributes = data.dwFileAttributes;
    entry.size = (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    entry.write_time = (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                       data.ftLastWriteTime.dwLowDateTime;
    found.push_back(std::move(entry));
  } while (FindNextFileW(search, &data));
  FindClose(search);
  return found;
}

std::string short_path(const std::string& path) {
  if (is_utf8_name(path)) {
    const std::wstring wide = name_to_wide(path);
    std::vector<wchar_t> buffer(MAX_PATH);
    for (int attempt = 0; attempt < 3; ++attempt) {
      DWORD length = GetShortPathNameW(wide.c_str(), buffer.data(), DWORD(buffer.size()));
      if (length == 0) break;
      if (length < buffer.size()) return wide_to_ansi(std::wstring(buffer.data(), length));
      buffer.resize(length + 1);
    }
    return wide_to_ansi(wide);
  }
  std::vector<char> buffer(MAX_PATH);
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD length = GetShortPathNameA(path.c_str(), buffer.data(), DWORD(buffer.size()));
    if (length == 0) return path;
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(length + 1);
  }
  return path;
}

namespace {

// The folder above `path`, trailing separators aside; "C:\\" keeps its backslash.
std::string parent_folder(const std::string& path) {
  size_t end = path.size();
  while (end > 0 && (path[end - 1] == '\\' || path[end - 1] == '/')) --end;
  size_t slash = path.find_last_of("\\/", end ? end - 1 : 0);
  if (end == 0 || slash == std::string::npos) return {};
  size_t drive = is_utf8_name(path) ? 2 : 1;
  if (slash == drive + 1 && path[drive] == ':') return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

void create_tree(const std::string& folder, FolderTreeOutcome& outcome) {
  const std::wstring wide = name_to_wide(folder);
  DWORD found = GetFileAttributesW(wide.c_str());
  if (found != INVALID_FILE_ATTRIBUTES) {
    if (!(found & FILE_ATTRIBUTE_DIRECTORY)) outcome = {ERROR_ALREADY_EXISTS, true, std::move(outcome.created)};
    return;
  }
  std::string parent = parent_folder(folder);
  if (!parent.empty() && parent != folder) {
    create_tree(parent, outcome);
    if (outcome.error) return;
  }
  if (CreateDirectoryW(wide.c_str(), nullptr)) {
    outcome.created.push_back(folder);
    return;
  }
  DWORD error = GetLastError();
  found = GetFileAttributesW(wide.c_str());
  if (found != INVALID_FILE_ATTRIBUTES && (found & FILE_ATTRIBUTE_DIRECTORY)) return;
  outcome.error = error;
  outcome.blocked_by_file = found != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

FolderTreeOutcome create_folder_tree(const std::string& folder) {
  FolderTreeOutcome outcome;
  create_tree(folder, outcome);
  return outcome;
}

}  // namespace halvard
