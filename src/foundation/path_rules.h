// Whether a text can name a file or folder (drive letter, UNC prefix, no reserved
// characters).
#pragma once

#include <string>
#include <string_view>

namespace halvard {

enum PathFlags : unsigned {
  path_allow_star = 0x1,       // "*" is allowed
  path_allow_wildcards = 0x2,  // "*" and "?" are allowed
  path_trim = 0x4,             // blanks, tabs, CR and LF around the text are ignored
};

bool is_valid_path(std::string_view text, unsigned flags);

// "X:\..." or "\\server\...": a path that does not depend on the current folder.
bool is_absolute_path(std::string_view text);

// The system's own name for a full path, as the native rename call wants it:
// "C:\x" is "\??\C:\x", "\\server\share" is "\??\UNC\server\share", and "\\?\" or
// "\\.\" names keep what follows their prefix. Empty for a name that is not full.
std::wstring native_path_name(std::wstring_view full);

}  // namespace halvard
