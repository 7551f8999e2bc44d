// One Windows file handle, or, after loading, a memory buffer standing in for the file.
// Opening reports a FileError; block operations return false (or 0) and leave their
// reason in last_error(). Nothing throws. Used from one thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/date_time.h"
#include "foundation/file_error.h"

namespace halvard {

inline constexpr std::uint32_t file_attribute_normal = 0x80;    // FILE_ATTRIBUTE_NORMAL
inline constexpr std::uint32_t file_flag_sequential = 0x8000000;  // FILE_FLAG_SEQUENTIAL_SCAN
// WriteFile is never asked for more than this at once.
inline constexpr std::int64_t file_write_piece = 0x100000;

class File {
 public:
  File() = default;
  ~File() { close(); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Closes what is open, then opens by `flags` (open_flags). `attributes` goes to
  // CreateFileW as its flags-and-attributes argument unchanged. A narrow name that
  // begins with "|" is UTF-8 after the bar. last_error() becomes the code's text
  // ("Success." too); on failure GetLastError keeps the Windows reason. With Required,
  // a failure ends the program.
  FileError open(const char* name, std::uint32_t flags,
                 std::uint32_t attributes = file_attribute_normal);
  FileError open(const std::string& name, std::uint32_t flags,
                 std::uint32_t attributes = file_attribute_normal) {
    return open(name.c_str(), flags, attributes);
  }
  // The same with WideName.
  FileError open(const wchar_t* name, std::uint32_t flags,
                 std::uint32_t attributes = file_attribute_normal);

  // Writes back a changed memory buffer, then closes. False when the write-back failed
  // (the file is closed all the same).
  bool close();

  bool is_open() const { return handle_ != nullptr; }
  bool in_memory() const { return in_memory_; }
  bool is_dirty() const { return dirty_; }

  // Exactly n bytes.
  bool read(void* buffer, std::int64_t n);
  // Up to n bytes; the count read, 0 on failure or at the end.
  std::int64_t read_some(void* buffer, std::int64_t n);
  // Exactly n bytes, in pieces of at most file_write_piece.
  bool write(const void* data, std::int64_t n);
  bool write(const std::string& data) {
    return write(data.data(), static_cast<std::int64_t>(data.size()));
  }

  // -1 on failure.
  std::int64_t position();
  std::int64_t size();
  bool seek(std::int64_t offset);
  bool skip(std::int64_t offset);
  // To size() - offset.
  bool seek_from_end(std::int64_t offset);
  // Ends the file at the current position.
  bool truncate();
  bool flush();
  // Last-write time, from local time.
  bool set_times(const DateTime& local);
  // Last-write time as a FILETIME value (100 ns since 1601, UTC).
  bool set_write_time(std::uint64_t utc_file_time);
  // Gives the open file the name `target` (a narrow name as for open); a file of that
  // name is replaced only with `replace` (without, GetLastError is ERROR_ALREADY_EXISTS).
  // The file must have been opened with MayRename. One request to the system where
  // MoveFileEx opens, renames and closes.
  bool rename_open(const std::string& target, bool replace);

  void set_flush_after_write(bool on) { flush_after_write_ = on; }

  const std::string& last_error() const { return last_error_; }
  const std::string& name() const { return name_; }
  const std::wstring& wide_name() const { return wide_name_; }
  // How many times the last open called CreateFileW (the retry rule made visible).
  int last_open_attempts() const { return last_open_attempts_; }

 private:
  FileError open_names(std::string narrow, std::wstring wide, std::uint32_t flags,
                       std::uint32_t attributes);
  FileError open_handle(std::uint32_t flags, std::uint32_t attributes);
  bool load_into_memory();
  bool write_to_handle(const char* data, std::int64_t n);
  bool set_failure(const char* text);
  bool set_windows_failure();

  void* handle_ = nullptr;
  std::string name_;
  std::wstring wide_name_;
  bool can_read_ = false;
  bool can_write_ = false;
  bool opened_read_ = false;
  bool opened_write_ = false;

  bool in_memory_ = false;
  bool dirty_ = false;
  bool flush_after_write_ = false;
  std::string memory_;
  std::int64_t memory_position_ = 0;

  std::string last_error_;
  int last_open_attempts_ = 0;
};

// A local or UTC calendar time as a FILETIME value. False for a date Windows rejects.
bool file_time_from(const DateTime& time, bool is_local, std::uint64_t& file_time);

// Conversions at the narrow/wide boundary: ANSI code page, "?" for what it cannot hold.
std::wstring ansi_to_wide(const std::string& text);
// From a given code page; empty when the text is empty or the system cannot convert it.
inline constexpr unsigned code_page_windows_1252 = 1252;
inline constexpr unsigned code_page_utf8 = 65001;
std::wstring code_page_to_wide(std::string_view text, unsigned code_page);
std::string wide_to_ansi(const std::wstring& text);
std::string wide_to_utf8(const std::wstring &text);
// A name as given by a caller to its wide form: "|" + UTF-8, else ANSI.
std::wstring name_to_wide(const std::string& name);

}  // namespace halvard
