#pragma once
// What can be decided about operations deferred to the next restart without asking
// Windows: the system's pending-rename list as bytes and as pairs, which pairs the
// cleaner drops, the text of a "wininit.ini" entry, and whether a conditional-delete
// rule takes a given file.
//
// The pending list comes from the registry, where any program may have written
// anything: the parser never reads outside the bytes it is given, whatever they hold.
// Entries are kept as UTF-16 so that writing the list back loses no character that
// the ANSI code page cannot hold.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "foundation/date_time.h"
#include "foundation/restart_operations.h"
#include "package/install_settings.h"

namespace halvard {

// ---- The system's pending list ("PendingFileRenameOperations", REG_MULTI_SZ) ----

// One pair of the list; an empty destination means that the source is deleted.
struct PendingOperation {
  std::u16string source;
  std::u16string destination;
  bool is_deletion() const { return destination.empty(); }
  friend bool operator==(const PendingOperation&, const PendingOperation&) = default;
};

// The texts of REG_MULTI_SZ data (UTF-16LE). Each text ends at a zero unit; the one
// empty text that closes the list is dropped, while empty texts inside it are kept,
// since an empty destination is how the list says "delete". Damaged data is read as
// far as it goes: an odd last byte is ignored and a last text without its zero still
// counts.
std::vector<std::u16string> parse_multi_string(const std::uint8_t* data, std::size_t size);

// Pairs (source, destination) in list order; an odd count gets an empty destination.
std::vector<PendingOperation> pair_pending_texts(const std::vector<std::u16string>& texts);

// The list as REG_MULTI_SZ data: every text with its zero, then the closing zero.
std::vector<std::uint8_t> multi_string_bytes(const std::vector<PendingOperation>& operations);

// A path of the list as the cleaner compares it: the leading "\", "?" and "!"
// characters (the object-name prefix "\??\" and the replace mark "!") are stripped;
// with `lower`, ASCII letters are turned to lower case.
std::u16string pending_path(std::u16string_view text, bool lower);

// One pair that the cleaner drops.
struct DroppedOperation {
  bool was_move = false;
  std::u16string path;      // the stripped, lower-case destination (move) or source (deletion)
  std::u16string recycle;   // a move's stripped source, its temporary file; empty for a deletion
};

struct CleanedPendingList {
  std::vector<PendingOperation> kept;
  std::vector<DroppedOperation> dropped;  // in list order
};

// The cleaner's rule. `files` holds full paths in lower case, as wide text: a move is
// dropped when its destination is one of them, a deletion when its source is one of
// them or empty. Every other pair is kept in its order, untouched.
CleanedPendingList clean_pending_list(const std::vector<PendingOperation>& operations,
                                      const std::unordered_set<std::u16string>& files);

// The key of a file in the set the cleaner is given: ASCII letters in lower case, as the
// cleaner compares.
std::string written_file_key(std::string_view path);

// The log line for a dropped pair; `path` is its ANSI form.
std::string dropped_operation_log_line(bool was_move, std::string_view path);

// ---- Conditional deletion ----

enum class DeletionPhase { Installing, Uninstalling };

inline constexpr std::uint8_t conditional_at_reboot = 0x2;       // delete at reboot when in use
inline constexpr std::uint8_t conditional_installing = 0x4;
inline constexpr std::uint8_t conditional_uninstalling = 0x8;

// Whether the rule runs in `phase` (flag 0x4 installing, 0x8 uninstalling).
bool applies_in(const ConditionalDelete& entry, DeletionPhase phase);

// A comparison value of a date rule. Accepted forms: "m/d/yyyy" (a two-digit year
// means 1970..2069) or "yyyy-mm-dd", optionally followed by a time "h:ii" or
// "h:ii:ss" on the 24-hour clock or with "a", "p", "am", "pm", "a.m." or "p.m." after
// it, so that the library's default date-and-time text reads back. Anything else,
// the empty text included, is no date.
struct ComparisonDate {
  DateTime date;  // valid, with its weekday
  bool has_time = false;
};
std::optional<ComparisonDate> parse_comparison_date(std::string_view text);

// A size value: a signed 32-bit decimal number read as the C library reads one
// (leading blanks, a sign, digits up to the first other character; no digits give 0;
// beyond the range the nearest end of it).
std::int32_t parse_comparison_size(std::string_view text);

// What is known of one matching file.
struct FileFacts {
  std::int64_t size = 0;
  DateTime last_write;  // local time
};

enum class ConditionVerdict { Delete, Keep, BadDate };

// Whether the rule's condition takes the file. BadDate: a date rule (kinds 1 to 3)
// whose comparison value is no date, which makes the package corrupt.
ConditionVerdict conditional_verdict(const ConditionalDelete& entry, const FileFacts& facts);

// Whether a path pattern is relative (taken under the installation directory): it
// has no drive ("c:") and does not begin with a backslash or slash.
bool is_relative_pattern(std::string_view pattern);

// Log lines of the installation phase.
std::string deleted_file_log_line(std::string_view path);
std::string failed_delete_log_line(std::string_view path, std::string_view reason);
std::string delete_after_reboot_log_line(std::string_view path, std::string_view reason);
// The failure-summary line of a failed registration for the next restart.
std::string failed_registration_line(std::string_view path, std::string_view reason);

}  // namespace halvard
