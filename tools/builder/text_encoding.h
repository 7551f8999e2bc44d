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

// Whether the text is valid UTF-8.
bool is_utf8(std::string_view text);

// Why utf8_to_cp1252 refuses a text, for a message: the first character at fault by its
// position (in characters, from 1), code point and, for the usual combining marks, its
// name: "character 5 is U+0301 COMBINING ACUTE ACCENT". When every such mark follows a
// letter it composes with into a Windows-1252 character (a name copied from macOS is
// decomposed), `composed` gets the whole text composed; otherwise it is left empty.
// Empty when the text converts.
std::string cp1252_refusal(std::string_view utf8, std::string* composed = nullptr);

// The text with every character Windows-1252 lacks written as \uXXXX (and every byte
// that is not UTF-8 as \xNN), so that a decomposed accent cannot pass for a composed one.
std::string escape_for_cp1252(std::string_view utf8);

}  // namespace halvard::builder
