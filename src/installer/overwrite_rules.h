#pragma once
// Whether a file of the package is written over what lies at its destination, and the
// texts that each decision and each failure leaves in the installation log and the
// failure summary. Pure: the facts about the existing file are gathered by the Windows
// layer (file_install_win.h) and passed in.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "package/file_record.h"
#include "package/install_settings.h"

namespace halvard {

// Overwrite modes: FileRecord::Flags & file_flag::overwrite_mask.
namespace overwrite_mode {
inline constexpr uint32_t never = 0x04;          // never written
inline constexpr uint32_t only_existing = 0x08;  // written only over an existing file
inline constexpr uint32_t keep_existing = 0x0C;  // an existing file stays
inline constexpr uint32_t keep_newer = 0x10;     // an existing file with a later date stays
}  // namespace overwrite_mode

// Log texts, each written after the destination path.
inline constexpr std::string_view log_already_exists = " was not installed because it already exists.\r\n";
inline constexpr std::string_view log_existing_newer = " was not installed because the existing file is newer.\r\n";
inline constexpr std::string_view log_up_to_date = " is up to date.\r\n";
inline constexpr std::string_view log_out_of_date = " is out of date and will be replaced.\r\n";
inline constexpr std::string_view log_version_not_newer = " was not installed because its version is not newer.\r\n";
inline constexpr std::string_view log_date_not_newer = " was not installed because its date is not newer.\r\n";

inline constexpr std::string_view folder_is_file_reason =
    "Cannot create directory because there is a file with the same name.";

// ---- Dates ----

inline bool has_date(const FileDate& date) { return date.month != 0; }
inline bool has_time(const FileDate& date) { return date.hour >= 0; }
inline bool is_complete(const FileDate& date) { return has_date(date) && has_time(date); }

// Negative when `a` is older than `b`, positive when newer. Dates decide first (a side
// without a date counts as the newer), then times (likewise); neither: equal.
int compare_file_dates(const FileDate& a, const FileDate& b);

// ---- The overwrite decision ----

// What is known about the destination before writing.
struct ExistingFile {
  bool exists = false;
  bool date_known = false;  // its last-write time could be read (local time)
  FileDate date;
  std::string version;      // cleaned FileVersion text; empty: none
};

// Which facts a record's rules read; the gatherer looks up nothing else.
struct NeededFacts {
  bool existence = false;
  bool date = false;     // only of an existing file
  bool version = false;  // only of an existing file
};
NeededFacts needed_facts(const FileRecord& record);

struct OverwritePlan {
  bool write = false;
  // Skipped, yet the file already there is recorded for removal at uninstallation.
  bool record_existing = false;
  // What the writer is told: known only for kinds 1, 4 and 6 to 9, otherwise false.
  bool existed = false;
  // For the installation log; empty when the decision writes nothing.
  std::string log;
};

OverwritePlan plan_overwrite(const FileRecord& record, std::string_view destination, const ExistingFile& existing);

// Kinds 0, 5 and 9 to 12 without Flags bit 5: the file is removed at uninstallation.
bool records_file_for_removal(const FileRecord& record);
// Kinds 0, 1, 5 and 9 to 12 without Flags bit 5: so is its folder.
bool records_folder_for_removal(const FileRecord& record);

// The FileVersion text as the rules compare it: commas read as dots, surrounding
// blanks, tabs, carriage returns and line feeds removed.
std::string clean_version_text(std::string_view raw);

// ---- Writing ----

// The attribute word given to a written file: the bits in file_attribute_mask from
// `wanted`, every other bit from `current`. FILE_ATTRIBUTE_NORMAL (0x80) is only valid
// alone, so it is dropped beside other bits and stands in for none.
uint32_t applied_attributes(uint32_t current, uint32_t wanted);

// Read-only, hidden and system, cleared before a retry with ProductFlags low bit 19.
inline constexpr uint32_t attributes_cleared_on_retry = 0x7;

// The drive letter of "X:..." (after an optional "|"); none for other paths.
std::optional<char> drive_letter(std::string_view path);

// "%s %s\r\n%s\r\n\r\n": message 31, the path, the reason.
std::string file_failure_line(std::string_view file_not_created_text, std::string_view path, std::string_view reason);

// "%s %s\r\n%s\r\n\r\nNot installed: %s\r\n\r\n": message 25, the folder, the reason,
// the file that needed it.
std::string folder_failure_text(std::string_view folder_not_created_text, std::string_view folder,
                                std::string_view reason, std::string_view destination);

// ---- The in-use procedure, after the third failed attempt ----

struct InUseFacts {
  bool existed = false;             // the writer was told the destination existed
  bool replace_new_files = false;   // ProductFlags low bit 11
  uint32_t windows_error = 0;       // of the last attempt
  std::string error_text;           // its system text; may be empty
  bool drive_present = true;
};

struct InUsePlan {
  bool replace = false;  // write beside and register the replacement
  std::string report;    // the failure report so far
};

inline constexpr uint32_t windows_error_invalid_name = 123;

InUsePlan plan_in_use(std::string_view file_not_created_text, std::string_view destination, const InUseFacts& facts);

// Installation-log text once the replacement is registered.
std::string replacement_registered_text(std::string_view destination, std::string_view temporary);
// Report texts appended when the replacement cannot be arranged.
std::string no_temporary_file_text(std::string_view destination, std::string_view error_text);
std::string replacement_failed_text(std::string_view destination, std::string_view temporary,
                                    std::string_view error_text);

}  // namespace halvard
