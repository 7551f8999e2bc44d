#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "crash/exception_free.h"
#include "crash/fatal_error.h"
#include "foundation/file.h"
#include "foundation/path_rules.h"
#include "foundation/windows_error.h"

namespace halvard {

static_assert(win_numbers::GenericRead == GENERIC_READ);
static_assert(win_numbers::GenericWrite == GENERIC_WRITE);
static_assert(win_numbers::DeleteAccess == DELETE);
static_assert(win_numbers::FileShareRead == FILE_SHARE_READ);
static_assert(win_numbers::FileShareWrite == FILE_SHARE_WRITE);
static_assert(win_numbers::CreateNewDisposition == CREATE_NEW);
static_assert(win_numbers::CreateAlwaysDisposition == CREATE_ALWAYS);
static_assert(win_numbers::OpenExistingDisposition == OPEN_EXISTING);
static_assert(win_numbers::OpenAlwaysDisposition == OPEN_ALWAYS);
static_assert(win_numbers::ErrorSharingViolation == ERROR_SHARING_VIOLATION);
static_assert(win_numbers::ErrorAccessDenied == ERROR_ACCESS_DENIED);
static_assert(win_numbers::ErrorNoNetOrBadPath == ERROR_NO_NET_OR_BAD_PATH);
static_assert(file_attribute_normal == FILE_ATTRIBUTE_NORMAL);
static_assert(file_flag_sequential == FILE_FLAG_SEQUENTIAL_SCAN);

namespace {

HANDLE as_handle(void* handle) { return static_cast<HANDLE>(handle); }

std::string temp_directory() {
  char buffer[MAX_PATH + 1];
  DWORD length = GetTempPathA(sizeof buffer, buffer);
  if (length == 0 || length >= sizeof buffer) return {};
  return std::string(buffer, length);
}

std::wstring temp_directory_wide() {
  wchar_t buffer[MAX_PATH + 1];
  DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  if (length == 0 || length >= MAX_PATH + 1) return {};
  return std::wstring(buffer, length);
}

// A new unique file (GetTempFileNameA creates it) in `directory`, else in the
// temporary folder. Empty when neither works; GetLastError tells why.
std::string unique_temp_name(const std::string& directory) {
  char buffer[MAX_PATH];
  if (!directory.empty() && GetTempFileNameA(directory.c_str(), "FKT", 0, buffer) != 0)
    return buffer;
  std::string temp = temp_directory();
  if (temp.empty()) temp = "c:\\temp";
  if (GetTempFileNameA(temp.c_str(), "FKT", 0, buffer) != 0) return buffer;
  return {};
}

bool move_pointer(HANDLE handle, std::int64_t offset, DWORD method, std::int64_t* result) {
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER now;
  if (!SetFilePointerEx(handle, distance, &now, method)) return false;
  if (result) *result = now.QuadPart;
  return true;
}

// Reads until n bytes or the end of the file; false only when ReadFile fails.
bool read_handle(HANDLE handle, char* buffer, std::int64_t n, std::int64_t& done) {
  done = 0;
  while (done < n) {
    DWORD want = static_cast<DWORD>(std::min<std::int64_t>(n - done, 0x40000000));
    DWORD got = 0;
    if (!ReadFile(handle, buffer + done, want, &got, nullptr)) return false;
    if (got == 0) break;
    done += got;
  }
  return true;
}

}  // namespace

std::wstring code_page_to_wide(std::string_view text, unsigned code_page) {
  if (text.empty() || text.size() > 0x7FFFFFFF) return {};
  const int length = static_cast<int>(text.size());
  int count = MultiByteToWideChar(code_page, 0, text.data(), length, nullptr, 0);
  if (count <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(count), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), length, wide.data(), count);
  return wide;
}

std::wstring ansi_to_wide(const std::string& text) { return code_page_to_wide(text, CP_ACP); }

std::string wide_to_ansi(const std::wstring& text) {
  if (text.empty()) return {};
  int length = static_cast<int>(text.size());
  int count = WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, "?", nullptr);
  if (count <= 0) return {};
  std::string narrow(static_cast<std::size_t>(count), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), length, narrow.data(), count, "?", nullptr);
  return narrow;
}

std::string wide_to_utf8(const std::wstring &text) {
  if (text.empty())
    return {};
  int length = static_cast<int>(text.size());
  int count = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0,
                                  nullptr, nullptr);
  if (count <= 0)
    return {};
  std::string utf8(static_cast<std::size_t>(count), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), length, utf8.data(), count,
                      nullptr, nullptr);
  return utf8;
}

std::wstring name_to_wide(const std::string& name) {
  if (!name.empty() && name[0] == '|') return code_page_to_wide(std::string_view(name).substr(1), CP_UTF8);
  return ansi_to_wide(name);
}

bool file_time_from(const DateTime& time, bool is_local, std::uint64_t& file_time) {
  SYSTEMTIME given = {};
  given.wYear = static_cast<WORD>(time.year);
  given.wMonth = static_cast<WORD>(time.month);
  given.wDay = static_cast<WORD>(time.day);
  given.wHour = static_cast<WORD>(time.hour);
  given.wMinute = static_cast<WORD>(time.minute);
  given.wSecond = static_cast<WORD>(time.second);

  FILETIME result;
  if (!is_local) {
    if (!SystemTimeToFileTime(&given, &result)) return false;
  } else {
    // Older systems lack the function that knows the rules of the given date.
    using TzToSystem = BOOL(WINAPI*)(const TIME_ZONE_INFORMATION*, const SYSTEMTIME*, SYSTEMTIME*);
    auto to_system = reinterpret_cast<TzToSystem>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "TzSpecificLocalTimeToSystemTime")));
    SYSTEMTIME utc;
    if (to_system) {
      if (!to_system(nullptr, &given, &utc) || !SystemTimeToFileTime(&utc, &result)) return false;
    } else {
      FILETIME local;
      if (!SystemTimeToFileTime(&given, &local) || !LocalFileTimeToFileTime(&local, &result))
        return false;
    }
  }
  file_time = (static_cast<std::uint64_t>(result.dwHighDateTime) << 32) | result.dwLowDateTime;
  return true;
}

FileError File::open(const char* name, std::uint32_t flags, std::uint32_t attributes) {
  return open_names(name ? name : "", {}, flags & ~open_flags::WideName, attributes);
}

FileError File::open(const wchar_t* name, std::uint32_t flags, std::uint32_t attributes) {
  return open_names({}, name ? name : L"", flags | open_flags::WideName, attributes);
}

FileError File::open_names(std::string narrow, std::wstring wide, std::uint32_t flags,
                           std::uint32_t attributes) {
  close();
  name_ = std::move(narrow);
  wide_name_ = std::move(wide);
  last_open_attempts_ = 0;
  FileError result = open_handle(flags, attributes);
  last_error_ = error_text(result);
  if (result != FileError::Success && (flags & open_flags::Required)) {
    fatal_error("Failed to open required file:\r\n%s\r\n\r\n%s", name_.c_str(),
                last_error_.c_str());
  }
  return result;
}

// Steps of opening after the names are stored: name mode, both name forms, the
// CreateFileW attempts, then what the flags ask for once the file is open.
FileError File::open_handle(std::uint32_t flags, std::uint32_t attributes) {
  using namespace open_flags;
  bool wide = flags & WideName;
  std::uint32_t mode = flags & NameModeMask;

  if (mode != TempFileInTempDir && (wide ? wide_name_.empty() : name_.empty())) {
    SetLastError(ERROR_INVALID_NAME);
    return FileError::InvalidName;
  }
  const OpenRequest request = open_request(flags);

  if (!wide && !name_.empty() && name_[0] == '|') {
    wide_name_ = name_to_wide(name_);
    wide = true;
  }
  if (is_temp_file_mode(flags)) {
    std::string given = wide ? wide_to_ansi(wide_name_) : name_;
    std::string directory = mode == TempFileInTempDir ? temp_directory()
                            : mode == TempFileInDir   ? given
                                                      : directory_of(given);
    name_ = unique_temp_name(directory);
    if (name_.empty()) {
      DWORD error = GetLastError();
      wide_name_.clear();
      SetLastError(error);
      return file_error_from_windows(error, false);
    }
    wide = false;
  } else if (mode == InTempDir) {
    if (wide)
      wide_name_ = join_temp_dir(temp_directory_wide(), wide_name_);
    else
      name_ = join_temp_dir(temp_directory(), name_);
  }
  if (wide)
    name_ = wide_to_ansi(wide_name_);
  else
    wide_name_ = ansi_to_wide(name_);

  HANDLE handle = INVALID_HANDLE_VALUE;
  DWORD error = 0;
  int counter = 0;
  for (;;) {
    ++last_open_attempts_;
    handle = CreateFileW(wide_name_.c_str(), request.desired_access, request.share_mode, nullptr,
                         request.disposition, attributes, nullptr);
    if (handle != INVALID_HANDLE_VALUE) break;
    error = GetLastError();
    int pause = open_retry_pause(flags, error, counter);
    if (pause < 0) break;
    Sleep(static_cast<DWORD>(pause));
  }

  if (handle == INVALID_HANDLE_VALUE) {
    bool read_only_write = false;
    if (error == ERROR_ACCESS_DENIED && request.write) {
      DWORD found = GetFileAttributesW(wide_name_.c_str());
      read_only_write = found != INVALID_FILE_ATTRIBUTES && (found & FILE_ATTRIBUTE_READONLY);
    }
    SetLastError(error);
    return file_error_from_windows(error, read_only_write);
  }

  handle_ = handle;
  can_read_ = opened_read_ = request.read;
  can_write_ = opened_write_ = request.write;
  if ((flags & LoadIntoMemory) && !load_into_memory()) {
    DWORD load_error = GetLastError();
    close();
    SetLastError(load_error);
    return FileError::LoadFailed;
  }
  if (flags & SeekToEnd) seek_from_end(0);
  if (flags & CloseAfterOpen) close();
  return FileError::Success;
}

bool File::load_into_memory() {
  std::int64_t length = size();
  memory_.clear();
  if (length >= 1) {
    if (length > 0x7FFFFFFF) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return false;
    }
    if (!fallible_resize(memory_, static_cast<std::size_t>(length))) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return false;
    }
    std::int64_t done = 0;
    if (!move_pointer(as_handle(handle_), 0, FILE_BEGIN, nullptr) ||
        !read_handle(as_handle(handle_), memory_.data(), length, done))
      return false;
    if (done != length) {
      SetLastError(ERROR_HANDLE_EOF);
      return false;
    }
  }
  in_memory_ = true;
  dirty_ = false;
  memory_position_ = 0;
  return true;
}

bool File::close() {
  bool written = true;
  if (in_memory_ && dirty_ && handle_) {
    written = move_pointer(as_handle(handle_), 0, FILE_BEGIN, nullptr)
                  ? write_to_handle(memory_.data(), static_cast<std::int64_t>(memory_.size()))
                  : set_windows_failure();
    if (written && !SetEndOfFile(as_handle(handle_))) written = set_windows_failure();
  }
  if (handle_ && handle_ != INVALID_HANDLE_VALUE) CloseHandle(as_handle(handle_));
  handle_ = nullptr;
  can_read_ = can_write_ = opened_read_ = opened_write_ = false;
  in_memory_ = dirty_ = false;
  std::string().swap(memory_);
  memory_position_ = 0;
  return written;
}

bool File::set_failure(const char* text) {
  last_error_ = text;
  return false;
}

bool File::set_windows_failure() {
  last_error_ = last_windows_error_text();
  return false;
}

bool File::read(void* buffer, std::int64_t n) {
  if (n < 0) {
    char text[64];
    std::snprintf(text, sizeof text, "Illegal block size %lld", static_cast<long long>(n));
    return set_failure(text);
  }
  if (n == 0) return true;
  if (!buffer) return set_failure("read(NULL)");
  if (!can_read_) return set_failure("Read access denied");
  if (in_memory_) {
    std::int64_t length = static_cast<std::int64_t>(memory_.size());
    if (memory_position_ > length || n > length - memory_position_)
      return set_failure("Read past end of file");
    std::memcpy(buffer, memory_.data() + memory_position_, static_cast<std::size_t>(n));
    memory_position_ += n;
    return true;
  }
  if (!handle_) return set_failure("File not open");
  std::int64_t done = 0;
  if (!read_handle(as_handle(handle_), static_cast<char*>(buffer), n, done))
    return set_windows_failure();
  if (done < n) return set_failure("Read past end of file");
  return true;
}

std::int64_t File::read_some(void* buffer, std::int64_t n) {
  if (n <= 0) {
    char text[64];
    std::snprintf(text, sizeof text, "Illegal block size %lld", static_cast<long long>(n));
    set_failure(text);
    return 0;
  }
  if (!buffer) return set_failure("NULL block pointer"), 0;
  if (!can_read_) return set_failure("Read access denied"), 0;
  if (in_memory_) {
    std::int64_t length = static_cast<std::int64_t>(memory_.size());
    std::int64_t count = std::max<std::int64_t>(0, std::min(n, length - memory_position_));
    if (count > 0)
      std::memcpy(buffer, memory_.data() + memory_position_, static_cast<std::size_t>(count));
    memory_position_ += count;
    return count;
  }
  if (!handle_) return set_failure("File not open"), 0;
  std::int64_t done = 0;
  if (!read_handle(as_handle(handle_), static_cast<char*>(buffer), n, done)) {
    set_windows_failure();
    return 0;
  }
  return done;
}

bool File::write(const void* data, std::int64_t n) {
  if (n < 0) return set_failure("Illegal block size");
  if (n == 0) return true;
  if (!data) return set_failure("NULL block pointer");
  if (!can_write_) return set_failure("Write access denied");
  if (in_memory_) {
    if (memory_position_ > 0x7FFFFFFF - n) return set_failure("Not all data could be written");
    std::size_t end = static_cast<std::size_t>(memory_position_ + n);
    // Writing past the end leaves zeros in the gap, as a file would.
    if (end > memory_.size() && !fallible_resize(memory_, end)) return set_failure("Not all data could be written");
    std::memcpy(memory_.data() + memory_position_, data, static_cast<std::size_t>(n));
    memory_position_ += n;
    dirty_ = true;
    return true;
  }
  if (!handle_) return false;
  return write_to_handle(static_cast<const char*>(data), n);
}

bool File::write_to_handle(const char* data, std::int64_t n) {
  for (std::int64_t done = 0; done < n;) {
    DWORD piece = static_cast<DWORD>(std::min(n - done, file_write_piece));
    DWORD written = 0;
    if (!WriteFile(as_handle(handle_), data + done, piece, &written, nullptr))
      return set_windows_failure();
    if (written != piece) {
      // A disk file written short without an error has run out of room (Windows says
      // so itself; Wine reports the short count); callers that report the system's
      // reason must not pick up a stale one.
      SetLastError(ERROR_DISK_FULL);
      return set_failure("Not all data could be written");
    }
    done += piece;
  }
  if (flush_after_write_ && !FlushFileBuffers(as_handle(handle_))) return set_windows_failure();
  return true;
}

std::int64_t File::position() {
  if (in_memory_) return memory_position_;
  if (!handle_) return set_failure("File not open"), -1;
  std::int64_t now = 0;
  if (!move_pointer(as_handle(handle_), 0, FILE_CURRENT, &now)) return set_windows_failure(), -1;
  return now;
}

std::int64_t File::size() {
  if (in_memory_) return static_cast<std::int64_t>(memory_.size());
  if (!handle_) return set_failure("File not open"), -1;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(as_handle(handle_), &info)) return set_windows_failure(), -1;
  return (static_cast<std::int64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

bool File::seek(std::int64_t offset) {
  if (in_memory_) {
    if (offset < 0) {
      SetLastError(ERROR_NEGATIVE_SEEK);
      return set_windows_failure();
    }
    memory_position_ = offset;
    return true;
  }
  if (!handle_) return set_failure("File not open");
  return move_pointer(as_handle(handle_), offset, FILE_BEGIN, nullptr) || set_windows_failure();
}

bool File::skip(std::int64_t offset) {
  if (in_memory_) return seek(memory_position_ + offset);
  if (!handle_) return set_failure("File not open");
  return move_pointer(as_handle(handle_), offset, FILE_CURRENT, nullptr) || set_windows_failure();
}

bool File::seek_from_end(std::int64_t offset) {
  if (in_memory_) return seek(static_cast<std::int64_t>(memory_.size()) - offset);
  if (!handle_) return set_failure("File not open");
  return move_pointer(as_handle(handle_), -offset, FILE_END, nullptr) || set_windows_failure();
}

bool File::truncate() {
  if (!can_write_) return set_failure("Write access denied");
  if (in_memory_) {
    if (memory_position_ > 0x7FFFFFFF) return set_failure("Not all data could be written");
    std::size_t end = static_cast<std::size_t>(memory_position_);
    if (end != memory_.size()) {
      if (!fallible_resize(memory_, end)) return set_failure("Not all data could be written");
      dirty_ = true;
    }
    return true;
  }
  if (!handle_) return set_failure("File not open");
  return SetEndOfFile(as_handle(handle_)) || set_windows_failure();
}

bool File::flush() {
  if (!handle_) return set_failure("File not open");
  return FlushFileBuffers(as_handle(handle_)) || set_windows_failure();
}

bool File::set_times(const DateTime& local) {
  std::uint64_t file_time = 0;
  if (!file_time_from(local, true, file_time)) return set_windows_failure();
  return set_write_time(file_time);
}

bool File::set_write_time(std::uint64_t utc_file_time) {
  if (!handle_) return set_failure("File not open");
  FILETIME written;
  written.dwLowDateTime = static_cast<DWORD>(utc_file_time);
  written.dwHighDateTime = static_cast<DWORD>(utc_file_time >> 32);
  return SetFileTime(as_handle(handle_), nullptr, nullptr, &written) || set_windows_failure();
}

bool File::rename_open(const std::string& target, bool replace) {
  if (!handle_ || in_memory_) return set_failure("File not open");
  const std::wstring wide = name_to_wide(target);
  // Windows takes only a native name here, where Wine would also take a DOS one.
  wchar_t full[MAX_PATH * 4];
  const DWORD length = wide.empty() ? 0 : GetFullPathNameW(wide.c_str(), DWORD(std::size(full)), full, nullptr);
  const std::wstring name = length && length < std::size(full) ? native_path_name(full) : std::wstring();
  if (name.empty()) {
    SetLastError(ERROR_INVALID_NAME);
    return set_windows_failure();
  }
  const size_t name_bytes = name.size() * sizeof(wchar_t);
  std::string buffer(offsetof(FILE_RENAME_INFO, FileName) + name_bytes + sizeof(wchar_t), '\0');
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = replace;
  info->RootDirectory = nullptr;
  info->FileNameLength = DWORD(name_bytes);
  std::memcpy(info->FileName, name.data(), name_bytes);
  if (!SetFileInformationByHandle(as_handle(handle_), FileRenameInfo, info, DWORD(buffer.size())))
    return set_windows_failure();
  name_ = target;
  wide_name_ = wide;
  return true;
}

}  // namespace halvard
