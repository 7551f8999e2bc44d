#pragma once
// The shortcut phase's decisions that need no system: link names, start-in folders,
// the "~"" arguments and whether a drive may take the root shortcut.

#include <optional>
#include <string>
#include <string_view>

namespace halvard {

// The link writer's flags.
inline constexpr unsigned link_all_users = 0x1;
inline constexpr unsigned link_minimised = 0x2;
inline constexpr unsigned link_maximised = 0x4;

// The record's show mode (1 minimised, 2 maximised) and the shortcut mode (1 all users)
// as link flags.
unsigned link_flags(unsigned show_mode, bool all_users);

// ".LNK" appended unless the path holds ".lnk" anywhere, in any letter case.
std::string link_file_path(std::string_view path);

// The start-in folder as the link gets it: trimmed, trailing backslashes removed, a
// bare drive ("C:") given its backslash back.
std::string link_working_folder(std::string_view text);

// A record's working folder before it is looked for: trimmed, one pair of double quotes
// around it removed, trimmed again.
std::string unquoted_folder(std::string_view text);

// Arguments that begin with ~" name the program: the first double-quoted token becomes
// the target and the rest the arguments. Nothing for other arguments, or when the
// closing quote is missing.
struct TildeArguments {
  std::string target;
  std::string arguments;
};
std::optional<TildeArguments> split_tilde_arguments(std::string_view arguments);

// Whether the root shortcut goes onto this drive: a removable drive (drive_kind bits of
// disk.h) that is neither fixed, read-only media nor remote; on the USB bus (7) where
// the device tells its bus, else not the floppy letters A and B.
bool usb_root_shortcut_allowed(unsigned drive_kind_bits, std::optional<int> bus_type, char letter);

}  // namespace halvard
