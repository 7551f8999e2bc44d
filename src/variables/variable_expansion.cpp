#include "variables/variable_expansion.h"

#include "crash/exception_free.h"
#include "foundation/text.h"

namespace halvard {
namespace {

// Only ASCII letters fold: bytes of other code pages are compared as they are.
std::size_t find_folded(std::string_view text, std::string_view name, std::size_t from) {
  if (name.empty() || text.size() < name.size()) return std::string_view::npos;
  for (std::size_t at = from; at + name.size() <= text.size(); ++at) {
    std::size_t i = 0;
    while (i < name.size() && ascii_lower(text[at + i]) == ascii_lower(name[i])) ++i;
    if (i == name.size()) return at;
  }
  return std::string_view::npos;
}

// The system call stops at a NUL, so each NUL-free piece goes on its own; a piece
// without a percent sign has nothing to expand and never meets the system's limits.
bool expand_environment(std::string& text, const EnvironmentStep& environment) {
  if (text.find('%') == std::string::npos) return true;
  std::string result;
  std::size_t start = 0;
  while (true) {
    std::size_t end = text.find('\0', start);
    std::string piece = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (piece.find('%') != std::string::npos) {
      std::string expanded;
      if (!environment(piece, expanded)) return false;
      result += expanded;
    } else {
      result += piece;
    }
    if (end == std::string::npos) break;
    result += '\0';
    start = end + 1;
  }
  text = std::move(result);
  return true;
}

}  // namespace

void replace_variable(std::string& text, std::string_view name, std::string_view value) {
  std::size_t at = find_folded(text, name, 0);
  if (at == std::string_view::npos) return;
  std::string result;
  std::size_t done = 0;
  while (at != std::string_view::npos) {
    result.append(text, done, at - done);
    result += value;
    done = at + name.size();
    at = find_folded(text, name, done);
  }
  result.append(text, done, std::string::npos);
  text = std::move(result);
}

bool expand_variables(std::string& text, const VariableFacts& facts, const ProductValues& product,
                      const EnvironmentStep& environment) {
  // The product's values may view `text` itself (a folder expanded in place): work on a
  // copy, so that they keep seeing the text as it was until the end.
  std::string expanded = text;
  bool ok = false;
  // A fact source that fails leaves the text as far as it got.
  ran_without_exception([&] {
    for (std::size_t i = 0; i < variable_count; ++i) {
      std::string_view name = variable_names[i];
      if (find_folded(expanded, name, 0) == std::string_view::npos) continue;
      replace_variable(expanded, name, variable_value(static_cast<Variable>(i), facts, product));
    }
    ok = expand_environment(expanded, environment);
  });
  text = std::move(expanded);
  return ok;
}

}  // namespace halvard
