#pragma once
// Text helpers the whole engine shares. Letter case is ASCII only: package texts are
// Windows-1252, whose other letters Windows itself folds by locale, and the engine's
// comparisons (option names, registry prefixes, file keys) are specified in ASCII.

#include <initializer_list>
#include <string>
#include <string_view>

namespace halvard {

constexpr char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }
constexpr char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

std::string ascii_lowered(std::string_view text);
bool equal_ignoring_case(std::string_view a, std::string_view b);
bool starts_ignoring_case(std::string_view text, std::string_view prefix);

// Spaces, tabs and line ends.
constexpr bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
// The text without blanks at either end.
std::string_view trim_blanks(std::string_view text);
// True when the text holds nothing but blanks.
inline bool is_blank_text(std::string_view text) { return trim_blanks(text).empty(); }

// A package text with its printf conversions ("%s", "%c", "%d", "%u") replaced by
// `values` in order and "%%" made "%", without printf: a translator's text can never
// read more arguments than there are. A conversion without a value becomes empty.
std::string format_message(std::string_view text, std::initializer_list<std::string_view> values);

// A file name that carries UTF-8 after a leading "|" (names ANSI cannot hold).
inline bool is_utf8_name(std::string_view name) { return !name.empty() && name[0] == '|'; }

}  // namespace halvard
