// Writing and reading "Uninstall.DAT" and appending to "Install.LOG" on disk. Names that
// begin with "|" are UTF-8 after the bar.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/date_time.h"
#include "foundation/date_time_win.h"
#include "foundation/file.h"
#include "foundation/file_error.h"
#include "records/install_log.h"
#include "records/uninstall_data.h"

namespace halvard {

// The outcome of a write: the Windows error number when it failed.
struct WriteOutcome {
  bool ok = false;
  std::uint32_t windows_error = 0;
  explicit operator bool() const { return ok; }
};

// The name the new contents are written under before they replace `path`.
std::string replacement_temp_name(const std::string& path);

// Replaces the file's contents so that a failure at any point (including a crash or a
// power loss) leaves either the old file or the new one, never a part: the data goes
// to replacement_temp_name(path) beside it, is flushed to the disk, and only then is
// renamed over `path`. On failure the temporary file is removed and the old file is
// untouched.
WriteOutcome replace_file_contents(const std::string& path, std::string_view data);

// "Uninstall.DAT" in the uninstall data folder, written whole.
WriteOutcome write_uninstall_data_file(const std::string& uninstall_folder,
                                       const UninstallData& data);

// The removal list on disk while an installation runs ("Uninstall.JNL" in the uninstall
// data folder): each entry is appended before what it names is put down, so that a run
// that is stopped (killed, out of power) leaves a record of everything it may have left,
// which the next run into the same folder takes over. Appends are not flushed: they
// outlive the process, not necessarily the machine.
class RemovalJournal {
 public:
  // Names the file that the first catch_up starts: a run that puts nothing down (a
  // damaged package refused before its first file) writes nothing.
  void begin(const std::string& path) {
    path_ = path;
    pending_ = true;
  }
  // Writes the whole list to `path` (replacing what is there) and keeps the file open
  // for appending.
  WriteOutcome start(const std::string& path, const RemovalList& list);
  // Appends the entries recorded since the last call (after begin, the whole list).
  // False once a write failed: the file is then not complete, and stays so.
  bool catch_up(const RemovalList& list);
  bool complete() const { return started_ && !failed_; }
  const std::string& path() const { return path_; }
  // Closes the file; with `remove`, deletes it too when this run wrote it.
  void close(bool remove);

 private:
  File file_;
  std::string path_;
  std::size_t written_ = 0;
  bool pending_ = false;
  bool started_ = false;
  bool failed_ = false;
};

// The journal at `path` that an earlier run left; empty when there is none.
RemovalList read_removal_journal_file(const std::string& path);

// Loads and parses the file at `path`; `data` is emptied first. On failure the code
// goes into uninstall_data_load_failure for the message.
FileError read_uninstall_data_file(const std::string& path, UninstallData& data);

// Appends the end-of-run text (finish_log_text) to the log file `path`, creating it
// when missing; the separator goes first when it already holds text. False when the
// file could not be opened or written: then nothing was added and the log must not be
// offered to the user.
WriteOutcome append_install_log(const std::string& path, const LogHeader& header,
                                std::string_view run_lines, std::string_view failure_summary,
                                std::string_view completed_line);

}  // namespace halvard
