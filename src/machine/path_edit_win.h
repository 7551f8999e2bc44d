#pragma once
// Adding the installation folder to the system-wide PATH and removing it: the registry
// value of the system environment on the NT line, "autoexec.bat" on the boot drive on
// the 9x line. Each call returns a report text, empty on success, that the installation
// appends to its failure summary and the uninstaller shows. Folder names that begin
// with "|" are UTF-8 after the bar.

#include <string>

namespace halvard {

// HKEY_LOCAL_MACHINE key of the value "Path".
inline constexpr wchar_t environment_key[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
inline constexpr char environment_key_name[] =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

std::string add_to_path(const std::string& install_dir);
std::string remove_from_path(const std::string& install_dir);
// Either, by `add`: "autoexec.bat" on the 9x line, the registry elsewhere.
std::string edit_path(const std::string& install_dir, bool add);

// The NT line. A missing key, a missing or empty value, or one that is not text leaves
// everything as it is and reports nothing. The value keeps its type (REG_EXPAND_SZ or
// REG_SZ). After a change, running programs are told through WM_SETTINGCHANGE
// "Environment" (when `notify`), skipping hung windows and waiting at most
// environment_notify_timeout_ms for each. A key that cannot be opened for writing, or a
// value that cannot be written, gives the report naming the key.
inline constexpr unsigned environment_notify_timeout_ms = 5000;
std::string edit_environment_path(const std::string& install_dir, bool add, bool notify = true);

// The 9x line, on the file `autoexec` ("X:\autoexec.bat"): the line "PATH=%PATH%;" with
// the folder's short form (the folder as given when it has none). Adding creates the
// file; removing needs it, and, when the short form is not found, takes out a line with
// the folder as given. A file that cannot be read or written gives the report naming it.
std::string edit_autoexec_path(const std::string& autoexec, const std::string& install_dir, bool add);

}  // namespace halvard
