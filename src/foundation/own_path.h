#pragma once
// Which file the installer reads its package from: the program path as the command
// line names it, so that a copy started under another name still finds itself.

#include <string>
#include <string_view>

namespace halvard {

// The path named at the front of the full command line, with ".EXE" added when it
// has no extension. Empty when the command line is blank: the caller then uses the
// module file name.
std::string own_path_from_command_line(std::string_view full_command_line);

// The name part of a path (after the last backslash or slash).
std::string_view file_name_part(std::string_view path);

}  // namespace halvard
