#pragma once
// Adding the installation folder to PATH and taking it out again, as text edits: the
// NT line's registry value (entries separated by ";") and the 9x line's
// "autoexec.bat". The Windows layer reads, writes and reports; these decide.
//
// Both edits match whole entries (whole lines in "autoexec.bat"), never a part of a
// longer one, so that "C:\App" does not match inside "D:\Old\C:\App" and removing
// cannot cut a line such as "REM PATH=%PATH%;C:\APP" in two.

#include <optional>
#include <string>
#include <string_view>

namespace halvard {

// Case folding for the comparison of one UTF-16 unit. The default folds ASCII letters;
// the Windows layer passes the system's upper-casing.
using CaseFold = char16_t (*)(char16_t);
char16_t ascii_case_fold(char16_t unit);

// The PATH value with `dir` added (add) or removed, or nullopt when nothing changes:
// an empty value, an empty `dir`, adding what is already an entry, removing what is not.
// Adding appends ";" (unless the value already ends with one) and `dir`. Removing
// deletes the first matching entry with the ";" after it, or, for the last entry, with
// the ";" before it.
std::optional<std::u16string> edited_path_value(std::u16string_view value, std::u16string_view dir,
                                                bool add, CaseFold fold = ascii_case_fold);

// The line that "autoexec.bat" receives, without its line end: "PATH=%PATH%;" + dir.
std::string autoexec_path_line(std::string_view dir);

// The file text with `line` appended (add) or its first occurrence as a whole line
// removed with its line end, or nullopt when nothing changes. Lines compare without
// regard to ASCII case and to a carriage return before the line feed. An appended line
// starts on a fresh line and ends with "\r\n".
std::optional<std::string> edited_autoexec(std::string_view text, std::string_view line, bool add);

// The report of an edit that could not be made: `target` is the file (or registry key)
// that could not be changed.
std::string path_edit_report(std::string_view target, std::string_view dir, bool add);

}  // namespace halvard
