#include "records/uninstall_data_win.h"

#include <windows.h>

#include <algorithm>

#include "foundation/file.h"
#include "foundation/file_functions.h"

namespace halvard {

namespace {

WriteOutcome failed(DWORD error) {
  SetLastError(error);
  return {false, error};
}

// Writes all of `data`, in pieces that WriteFile accepts. A short write goes on with
// the rest: on a full disk the next call fails with the reason ("Disk full"), which a
// short write alone does not give.
bool write_all(HANDLE file, std::string_view data) {
  while (!data.empty()) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(data.size(), file_write_piece));
    DWORD written = 0;
    if (!WriteFile(file, data.data(), piece, &written, nullptr)) return false;
    if (written == 0) {
      SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    data.remove_prefix(written);
  }
  return true;
}

}  // namespace

std::string replacement_temp_name(const std::string& path) { return path + ".tmp"; }

WriteOutcome replace_file_contents(const std::string& path, std::string_view data) {
  const std::wstring target = name_to_wide(path);
  const std::wstring temp = name_to_wide(replacement_temp_name(path));
  if (target.empty()) return failed(ERROR_INVALID_NAME);

  HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return failed(GetLastError());

  bool ok = write_all(file, data) && FlushFileBuffers(file);
  DWORD error = ok ? 0 : GetLastError();
  if (!CloseHandle(file) && ok) {
    ok = false;
    error = GetLastError();
  }
  if (ok && !MoveFileExW(temp.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = false;
    error = GetLastError();
  }
  if (!ok) {
    DeleteFileW(temp.c_str());
    return failed(error);
  }
  return {true, 0};
}

WriteOutcome write_uninstall_data_file(const std::string& uninstall_folder,
                                       const UninstallData& data) {
  return replace_file_contents(uninstall_folder_file(uninstall_folder, uninstall_data_file_name),
                               write_uninstall_data(data));
}

WriteOutcome RemovalJournal::start(const std::string& path, const RemovalList& list) {
  close(false);
  path_ = path;
  WriteOutcome written = replace_file_contents(path, removal_lines(list));
  if (!written) return written;
  if (file_.open(path, open_flags::OpenAlways | open_flags::SeekToEnd | open_flags::ShareRead) != FileError::Success)
    return failed(GetLastError());
  written_ = list.entries().size();
  started_ = true;
  failed_ = false;
  return written;
}

bool RemovalJournal::catch_up(const RemovalList& list) {
  if (pending_ && !started_ && !failed_) {
    pending_ = false;
    failed_ = !start(path_, list);
    return !failed_;
  }
  if (!started_ || failed_) return false;
  if (written_ >= list.entries().size()) return true;
  // One write for the lines of one call: a stop in the middle cuts at most its last line.
  if (!file_.write(removal_lines(list, written_))) {
    failed_ = true;
    return false;
  }
  written_ = list.entries().size();
  return true;
}

void RemovalJournal::close(bool remove) {
  file_.close();
  if (remove && started_) DeleteFileW(name_to_wide(path_).c_str());
  started_ = false;
  pending_ = false;
}

RemovalList read_removal_journal_file(const std::string& path) {
  std::string text;
  if (load_file(path, text) != FileError::Success) return {};
  return read_removal_journal(text);
}

FileError read_uninstall_data_file(const std::string& path, UninstallData& data) {
  data = {};
  std::string text;
  const FileError result = load_file(path, text);
  if (result == FileError::Success) data = parse_uninstall_data(text);
  return result;
}

WriteOutcome append_install_log(const std::string& path, const LogHeader& header,
                                std::string_view run_lines, std::string_view failure_summary,
                                std::string_view completed_line) {
  File file;
  if (file.open(path, open_flags::OpenAlways | open_flags::SeekToEnd) != FileError::Success)
    return failed(GetLastError());
  const std::int64_t size = file.size();
  if (size < 0) return failed(GetLastError());
  const std::string text =
      finish_log_text(header, size > 0, run_lines, failure_summary, completed_line);
  if (!file.write(text) || !file.close()) {
    // A block cut short (a full disk) goes again: the earlier runs' blocks stay whole.
    const DWORD error = GetLastError();
    if (file.is_open() && file.seek(size)) file.truncate();
    return failed(error);
  }
  return {true, 0};
}


}  // namespace halvard
