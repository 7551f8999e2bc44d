#include "foundation/file_error.h"

#include <utility>

namespace halvard {

const char* error_text(int code) {
  switch (code) {
#define HALVARD_FILE_ERROR_CASE(name, number, text) \
  case number:                                      \
    return text;
    HALVARD_FILE_ERRORS(HALVARD_FILE_ERROR_CASE)
#undef HALVARD_FILE_ERROR_CASE
  }
  return error_text(FileError::Unknown);
}

OpenRequest open_request(std::uint32_t flags) {
  using namespace open_flags;
  OpenRequest r;
  r.read = !(flags & NoRead);
  r.write = !(flags & NoWrite);
  bool share_read = flags & ShareRead;
  bool share_write = flags & ShareWrite;
  // A one-way open never keeps others from the other way.
  if (!r.read && share_write) share_read = true;
  if (!r.write && share_read) share_write = true;

  if (r.read) r.desired_access |= win_numbers::GenericRead;
  if (r.write) r.desired_access |= win_numbers::GenericWrite;
  if (flags & MayRename) r.desired_access |= win_numbers::DeleteAccess;
  if (share_read) r.share_mode |= win_numbers::FileShareRead;
  if (share_write) r.share_mode |= win_numbers::FileShareWrite;

  std::uint32_t mode = is_temp_file_mode(flags) ? CreateAlways : flags & CreationModeMask;
  switch (mode) {
    case OpenAlways: r.disposition = win_numbers::OpenAlwaysDisposition; break;
    case OpenExisting: r.disposition = win_numbers::OpenExistingDisposition; break;
    case CreateNew: r.disposition = win_numbers::CreateNewDisposition; break;
    default: r.disposition = win_numbers::CreateAlwaysDisposition; break;
  }
  return r;
}

bool is_temp_file_mode(std::uint32_t flags) {
  std::uint32_t mode = flags & open_flags::NameModeMask;
  return mode == open_flags::TempFileInTempDir || mode == open_flags::TempFileInDir ||
         mode == open_flags::TempFileBesidePath;
}

int open_retry_pause(std::uint32_t flags, std::uint32_t windows_error, int& counter) {
  if (flags & open_flags::RetryOnce) {
    if (++counter == 1) return 150;
  }
  if (windows_error == win_numbers::ErrorSharingViolation &&
      !(flags & open_flags::NoSharingRetry)) {
    if (counter++ < 5) return 100;
  }
  return -1;
}

FileError file_error_from_windows(std::uint32_t windows_error, bool read_only_write) {
  using namespace win_numbers;
  switch (windows_error) {
    case ErrorFileNotFound: return FileError::NotFound;
    case ErrorPathNotFound: return FileError::NoDirectory;
    case ErrorTooManyOpenFiles: return FileError::TooManyOpen;
    case ErrorAccessDenied: return read_only_write ? FileError::ReadOnly : FileError::AccessDenied;
    case ErrorNotReady: return FileError::NotReady;
    case ErrorSharingViolation: return FileError::Locked;
    case ErrorRemNotList:
    case ErrorBadNetpath:
    case ErrorNetnameDeleted:
    case ErrorNetworkAccessDenied:
    case ErrorBadNetName:
    case ErrorNoNetOrBadPath: return FileError::BadNetworkPath;
    case ErrorFileExists: return FileError::AlreadyExists;
    case ErrorInvalidParameter: return FileError::InvalidParameter;
    case ErrorInvalidName: return FileError::InvalidName;
  }
  return FileError::Unknown;
}

namespace {

template <typename Text>
Text join_temp_dir_of(Text temp_dir, const Text& name, const Text& fallback) {
  if (temp_dir.empty()) temp_dir = fallback;
  bool dir_ends = temp_dir.back() == '\\';
  bool name_starts = !name.empty() && name.front() == '\\';
  if (dir_ends && name_starts) temp_dir.pop_back();
  if (!dir_ends && !name_starts) temp_dir.push_back('\\');
  return temp_dir + name;
}

}  // namespace

std::string join_temp_dir(std::string temp_dir, const std::string& name) {
  return join_temp_dir_of<std::string>(std::move(temp_dir), name, "c:\\temp");
}

std::wstring join_temp_dir(std::wstring temp_dir, const std::wstring& name) {
  return join_temp_dir_of<std::wstring>(std::move(temp_dir), name, L"c:\\temp");
}

std::string directory_of(const std::string& path) {
  std::size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos) {
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
    return ".";
  }
  if (slash == 0) return path.substr(0, 1);
  if (slash == 2 && path[1] == ':') return path.substr(0, 3);
  return path.substr(0, slash);
}

}  // namespace halvard
