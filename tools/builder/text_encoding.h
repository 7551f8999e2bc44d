#pragma once
// The package's texts are 8-bit Windows-1252 (the engine widens them from that code
// page); project files and terminals speak UTF-8.

#include <optional>
#include <string>
#include <string_view>

namespace halvard::builder {

// Nullopt when the text is not valid UTF-8 or holds a character Windows-1252 lacks.
std::optional<std::string> utf8_to_cp1252(std::string_view utf8);

std::string cp1252_to_utf8(std::string_view text);

}  // namespace halvard::builder
