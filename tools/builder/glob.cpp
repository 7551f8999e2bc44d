#include "glob.h"

#include <vector>

namespace halvard::builder {
namespace {

std::vector<std::string_view> split(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    const size_t slash = path.find('/', start);
    parts.push_back(path.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start));
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  return parts;
}

// "[...]" at p[0]: its length, 0 when the bracket is not closed (then it is a plain
// character); `matched` tells whether c is in the set.
size_t char_class(std::string_view p, char c, bool& matched) {
  size_t i = 1;
  bool negate = false;
  if (i < p.size() && (p[i] == '!' || p[i] == '^')) negate = true, ++i;
  bool found = false;
  for (bool first = true; i < p.size() && (p[i] != ']' || first); ++i, first = false) {
    if (i + 2 < p.size() && p[i + 1] == '-' && p[i + 2] != ']') {
      found = found || (c >= p[i] && c <= p[i + 2]);
      i += 2;
    } else {
      found = found || c == p[i];
    }
  }
  if (i >= p.size()) return 0;
  matched = found != negate;
  return i + 1;
}

bool segment_match(std::string_view p, std::string_view s) {
  // '*' with one back-track point: the last star takes one more character on a mismatch.
  size_t pi = 0, si = 0, star = std::string_view::npos, mark = 0;
  while (si < s.size()) {
    if (pi < p.size()) {
      const char c = p[pi];
      if (c == '*') {
        star = pi++;
        mark = si;
        continue;
      }
      bool matched = false;
      const size_t used = c == '[' ? char_class(p.substr(pi), s[si], matched) : 0;
      if (c == '?' || (used && matched) || (!used && c == s[si])) {
        pi += used ? used : 1;
        ++si;
        continue;
      }
    }
    if (star == std::string_view::npos) return false;
    pi = star + 1;
    si = ++mark;
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

bool match_parts(const std::vector<std::string_view>& p, size_t pi, const std::vector<std::string_view>& s,
                 size_t si) {
  if (pi == p.size()) return si == s.size();
  if (p[pi] == "**") {
    for (size_t k = si; k <= s.size(); ++k)
      if (match_parts(p, pi + 1, s, k)) return true;
    return false;
  }
  return si < s.size() && segment_match(p[pi], s[si]) && match_parts(p, pi + 1, s, si + 1);
}

}  // namespace

bool glob_match(std::string_view pattern, std::string_view path) {
  return match_parts(split(pattern), 0, split(path), 0);
}

bool has_wildcards(std::string_view pattern) { return pattern.find_first_of("*?[") != std::string_view::npos; }

std::string glob_fixed_folder(std::string_view pattern) {
  const auto parts = split(pattern);
  std::string out;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    if (has_wildcards(parts[i])) break;
    if (!out.empty()) out += '/';
    out += parts[i];
  }
  return out;
}

}  // namespace halvard::builder
