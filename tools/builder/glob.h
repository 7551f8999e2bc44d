#pragma once
// File-name patterns of a project: '/'-separated paths where '*' matches within one
// folder name, '?' one character, "[abc]" / "[a-z]" / "[!a]" one character of a set, and
// a whole "**" segment any number of folders (none included). Matching is exact and
// case-sensitive, the same on every machine.

#include <string>
#include <string_view>

namespace halvard::builder {

bool glob_match(std::string_view pattern, std::string_view path);

bool has_wildcards(std::string_view pattern);

// The pattern's leading folders without wildcards ("docs/en" of "docs/en/**/*.txt"),
// without a trailing '/'; empty when the first segment has a wildcard.
std::string glob_fixed_folder(std::string_view pattern);

}  // namespace halvard::builder
