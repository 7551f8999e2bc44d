// Variable expansion: the 36 directory variables replaced in table order, then the
// process's environment variables expanded by the system. The rules live here; the
// Windows layer (variable_values_win.h) supplies the facts and the environment step.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "variables/variable_chains.h"

namespace halvard {

// The system's environment-string expansion gets a buffer of this many bytes first.
inline constexpr std::size_t environment_buffer_size = 32000;

// Replaces every occurrence of `name` in `text`, from the start, by `value`. ASCII
// letters compare without regard to case; replaced text is not searched again.
void replace_variable(std::string& text, std::string_view name, std::string_view value);

// The system's expansion of one text without NUL bytes: true with `out` filled, or
// false (out unspecified) when the system could not expand it.
using EnvironmentStep = std::function<bool(const std::string& in, std::string& out)>;

// The 36 replacements in table order, then the environment step. A value is computed
// only when its variable occurs in the text, at the moment of its replacement. True
// when the environment step succeeded; on its failure, or on an exception in any step,
// false with the text as far as it got.
bool expand_variables(std::string& text, const VariableFacts& facts, const ProductValues& product,
                      const EnvironmentStep& environment);

}  // namespace halvard
