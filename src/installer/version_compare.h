#pragma once
// Ordering of version texts such as "2.5.0.1" or "1.2b": the runs of digits as a list
// of numbers, then the last letter of the text.

#include <cstdint>
#include <string_view>
#include <vector>

namespace halvard {

struct VersionNumbers {
  // One per run of decimal digits; a run too large for 64 bits saturates. A "." seen
  // before any number stands for a 0, so ".5" reads as 0.5.
  std::vector<uint64_t> numbers;
  char suffix = 0;  // the last ASCII letter of the text; 0 when there is none
};

VersionNumbers parse_version(std::string_view text);

// Negative when `a` is older than `b`, 0 when equal, positive when newer. Numbers are
// compared in order; when one list is a prefix of the other the longer is newer; equal
// lists leave it to the suffix letters by character code, no letter being the lowest.
int compare_versions(std::string_view a, std::string_view b);

}  // namespace halvard
