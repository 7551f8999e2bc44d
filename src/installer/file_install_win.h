#pragma once
// Installing one file of the package: the overwrite rules against what lies at the
// destination, its folder, the records for the uninstaller, the write with retries and,
// when another program holds the destination, its replacement at the next restart.
// Every outcome goes to the run's log or failure summary; nothing here stops the run.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

#include "installer/overwrite_rules.h"
#include "package/file_record.h"
#include "package/file_table.h"
#include "package/install_settings.h"
#include "records/install_log.h"
#include "records/uninstall_data.h"

namespace halvard {

// The parts of the sequence's run state that installing a file touches.
struct FileInstallContext {
  // ProductFlags, messages, InstallDir; file shortcuts are added to ShortcutEntries.
  InstallSettings& settings;
  InstallLog& log;
  std::string& failure_summary;
  RemovalList& removal;
  // Lower-case destinations written directly in this run (not those left to a restart).
  std::unordered_set<std::string>& written_files;
  // Set when a replacement is left to the next restart.
  bool& reboot_wanted;
  // Shows a file on the progress page: with `fixed`, `text` is message 54 for the
  // status line; otherwise it is the destination for the file-name control, and
  // pending window messages are processed after it. Empty: nothing is shown.
  std::function<void(const std::string& text, bool fixed)> show_progress;
  // Collects the files this run brought that were not there before, so that a cancelled
  // run can take them away again and leave what was there. Null: not collected.
  std::vector<std::string>* created_files = nullptr;
  // Called once the file's records are made and before its data is written, so that
  // the records can reach the disk first. Empty: nothing is called.
  std::function<void()> before_write;
  // The folder that the last file's folder check found or made: files of one folder
  // come together, and a folder gone since is made again when a write finds it missing.
  std::string checked_folder;

  FileInstallContext(InstallSettings& settings_, InstallLog& log_, std::string& failure_summary_,
                     RemovalList& removal_, std::unordered_set<std::string>& written_files_, bool& reboot_wanted_)
      : settings(settings_), log(log_), failure_summary(failure_summary_), removal(removal_),
        written_files(written_files_), reboot_wanted(reboot_wanted_) {}
  // From any run state that holds these five members under these names.
  template <class State>
  FileInstallContext(InstallSettings& settings_, State& state)
      : FileInstallContext(settings_, state.log, state.failure_summary, state.removal, state.written_files,
                           state.reboot_wanted) {}
};

struct WriteResult {
  bool written = false;          // the destination holds the data now
  bool restart_pending = false;  // its replacement is registered for the next restart
  bool brought = false;          // no file had the destination's name before
  int package_error = 0;         // 5: a negative size; nothing was done
  explicit operator bool() const { return written; }
};

// The name a file is written under before it is renamed to `destination`; a run that
// was stopped may have left one, which the next run replaces or removes.
std::string partial_file_name(const std::string& destination);

// The writer: three attempts, then the in-use procedure. `date` is local time, applied
// when complete; `attributes` 0xFFFFFFFF leaves them. `existed` allows replacement at
// the next restart without ProductFlags low bit 11. The uninstaller is written with
// this too (its own date, attributes 0, existed true).
WriteResult write_file(FileInstallContext& context, const std::string& destination, const void* data, int64_t size,
                       const FileDate& date, uint32_t attributes, bool existed);

// The whole per-file procedure: false when the file was skipped or not written now.
// The caller runs the kind-specific steps after a true result.
bool install_file(FileInstallContext& context, const FileDestination& destination, std::span<const uint8_t> data,
                  const FileRecord& record);
inline bool install_file(FileInstallContext& context, const ExtractedFile& file) {
  return install_file(context, file.destination, file.data, file.record);
}

// The facts that `needs` asks for about `path`; a folder of that name is not a file.
ExistingFile existing_file(const std::string& path, const NeededFacts& needs);

// The cleaned FileVersion text of the file's version resource; empty when there is none.
std::string file_version_text(const std::string& path);

// The last-write time of the file in local time; false when it cannot be read.
bool file_local_date(const std::string& path, FileDate& date);

}  // namespace halvard
