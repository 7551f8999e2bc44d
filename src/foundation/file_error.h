// The outcome of opening a file as one small number with a fixed English text, and the
// rules of opening that can be decided without Windows: flag words, access and sharing,
// the retry rule, the mapping of Windows error numbers and the temporary-folder name.
#pragma once

#include <cstdint>
#include <string>

namespace halvard {

// One row per code: name, number, text. Numbers are stored in logs and compared by
// callers, so they never change.
#define HALVARD_FILE_ERRORS(X)                                                               \
  X(Success, 0, "Success.")                                                                  \
  X(Unknown, 1, "An unknown error occurred.")                                                \
  X(InvalidName, 2, "The filename is invalid.")                                              \
  X(NotFound, 3, "The file was not found.")                                                  \
  X(NoDirectory, 4, "The directory does not exist.")                                         \
  X(Locked, 5, "The file is locked by another application.")                                 \
  X(LoadFailed, 6, "Failed to read the file into memory.")                                   \
  X(WriteFailed, 7, "Failed to write data to the file.")                                     \
  X(TooManyOpen, 8, "Too many files are already open.")                                      \
  X(InvalidParameter, 9, "An invalid parameter was used.")                                   \
  X(AlreadyExists, 10, "The file already exists.")                                           \
  X(TooManyIndexed, 11, "Too many indexed files exist.")                                     \
  X(AccessDenied, 12, "Access denied.")                                                      \
  X(ReadOnly, 13, "The file's Read-Only attribute is set.")                                  \
  X(Corrupted, 14, "The file's contents are corrupted.")                                     \
  X(DeleteFailed, 15, "Deletion failed.")                                                    \
  X(TooLarge, 16, "The file is too large to load into memory.")                              \
  X(Aborted, 17, "Aborted by the user.")                                                     \
  X(CreateDirectoryFailed, 18, "Failed to create the directory.")                            \
  X(BadNetworkPath, 19, "The network path is not valid.")                                    \
  X(NotReady, 20, "The device is not ready (usually because no disk is inserted).")

enum class FileError : int {
#define HALVARD_FILE_ERROR_ENUM(name, number, text) name = number,
  HALVARD_FILE_ERRORS(HALVARD_FILE_ERROR_ENUM)
#undef HALVARD_FILE_ERROR_ENUM
};

// Any number outside the table gives the text of Unknown.
const char* error_text(int code);
inline const char* error_text(FileError code) { return error_text(static_cast<int>(code)); }

// Open flags: one 32-bit word.
namespace open_flags {
inline constexpr std::uint32_t CreationModeMask = 0x3;
inline constexpr std::uint32_t OpenAlways = 0;
inline constexpr std::uint32_t OpenExisting = 1;
inline constexpr std::uint32_t CreateNew = 2;
inline constexpr std::uint32_t CreateAlways = 3;
inline constexpr std::uint32_t NoRead = 0x8;
inline constexpr std::uint32_t NoWrite = 0x10;
inline constexpr std::uint32_t Required = 0x20;
inline constexpr std::uint32_t RetryOnce = 0x40;
inline constexpr std::uint32_t LoadIntoMemory = 0x80;
inline constexpr std::uint32_t ShareRead = 0x100;
inline constexpr std::uint32_t ShareWrite = 0x200;
inline constexpr std::uint32_t SeekToEnd = 0x400;
inline constexpr std::uint32_t CloseAfterOpen = 0x800;
inline constexpr std::uint32_t NoSharingRetry = 0x1000;
inline constexpr std::uint32_t WideName = 0x2000;
// Also asks for the right to rename or delete the file through this handle.
inline constexpr std::uint32_t MayRename = 0x4000;
// Name modes: the top three bits taken together.
inline constexpr std::uint32_t NameModeMask = 0xE0000000;
inline constexpr std::uint32_t TempFileInTempDir = 0x20000000;
inline constexpr std::uint32_t TempFileInDir = 0x40000000;
inline constexpr std::uint32_t TempFileBesidePath = 0x80000000;
inline constexpr std::uint32_t InTempDir = 0xC0000000;
}  // namespace open_flags

// Windows numbers, kept here so that the rules stay testable without <windows.h>;
// the Windows layer checks them against the system headers.
namespace win_numbers {
inline constexpr std::uint32_t GenericRead = 0x80000000;
inline constexpr std::uint32_t GenericWrite = 0x40000000;
inline constexpr std::uint32_t DeleteAccess = 0x10000;
inline constexpr std::uint32_t FileShareRead = 0x1;
inline constexpr std::uint32_t FileShareWrite = 0x2;
inline constexpr std::uint32_t CreateNewDisposition = 1;
inline constexpr std::uint32_t CreateAlwaysDisposition = 2;
inline constexpr std::uint32_t OpenExistingDisposition = 3;
inline constexpr std::uint32_t OpenAlwaysDisposition = 4;
inline constexpr std::uint32_t ErrorFileNotFound = 2;
inline constexpr std::uint32_t ErrorPathNotFound = 3;
inline constexpr std::uint32_t ErrorTooManyOpenFiles = 4;
inline constexpr std::uint32_t ErrorAccessDenied = 5;
inline constexpr std::uint32_t ErrorNotReady = 21;
inline constexpr std::uint32_t ErrorSharingViolation = 32;
inline constexpr std::uint32_t ErrorRemNotList = 51;
inline constexpr std::uint32_t ErrorBadNetpath = 53;
inline constexpr std::uint32_t ErrorNetnameDeleted = 64;
inline constexpr std::uint32_t ErrorNetworkAccessDenied = 65;
inline constexpr std::uint32_t ErrorBadNetName = 67;
inline constexpr std::uint32_t ErrorFileExists = 80;
inline constexpr std::uint32_t ErrorInvalidParameter = 87;
inline constexpr std::uint32_t ErrorInvalidName = 123;
inline constexpr std::uint32_t ErrorNoNetOrBadPath = 1203;
}  // namespace win_numbers

// What CreateFileW is asked for, derived from the flag word alone.
struct OpenRequest {
  bool read = false;
  bool write = false;
  std::uint32_t desired_access = 0;  // GENERIC_READ / GENERIC_WRITE / DELETE
  std::uint32_t share_mode = 0;      // FILE_SHARE_READ / FILE_SHARE_WRITE
  std::uint32_t disposition = 0;     // OPEN_ALWAYS, OPEN_EXISTING, CREATE_NEW, CREATE_ALWAYS
};
OpenRequest open_request(std::uint32_t flags);

// The three modes that make up a new unique name (and force CreateAlways).
bool is_temp_file_mode(std::uint32_t flags);

// The retry rule after a failed CreateFileW. One counter, starting at 0 for each open,
// serves both RetryOnce and the sharing-violation retry. Returns the pause in
// milliseconds before the next attempt, or -1 when the open gives up.
int open_retry_pause(std::uint32_t flags, std::uint32_t windows_error, int& counter);

// Windows error of a failed open to FileError. `read_only_write` tells whether write
// access was asked of a file whose read-only attribute is set (matters for
// ERROR_ACCESS_DENIED only).
FileError file_error_from_windows(std::uint32_t windows_error, bool read_only_write);

// The name of InTempDir: `name` joined to the temporary folder ("c:\temp" when the
// system gives none) with exactly one backslash between.
std::string join_temp_dir(std::string temp_dir, const std::string& name);
std::wstring join_temp_dir(std::wstring temp_dir, const std::wstring& name);

// Folder part of a path for TempFileBesidePath: everything before the last backslash
// or slash; "." when there is none. A drive root keeps its backslash ("c:\").
std::string directory_of(const std::string& path);

}  // namespace halvard
