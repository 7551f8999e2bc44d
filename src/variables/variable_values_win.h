// Variable expansion on the running system: the facts come from the shell, the
// registry, the environment and the kernel, read afresh at every call.
#pragma once

#include <string>
#include <string_view>

#include "package/install_settings.h"
#include "variables/variable_chains.h"

namespace halvard {

// The running system as VariableFacts.
const VariableFacts& system_variable_facts();

// ExpandEnvironmentStringsA into a buffer of environment_buffer_size bytes. False,
// with `out` untouched, when the system fails or when the text or its result would not
// fit (31,999 characters): a text is never cut.
bool expand_environment_strings(const std::string& in, std::string& out);

// Rewrites `text` in place: every directory variable, then every environment variable
// of the process. `old_version` is the installed version that upgrade detection found
// (empty when none). The result is only worth logging: false when the environment step
// failed, with the text as far as it got.
bool expand_variables(std::string& text, const InstallSettings& settings, std::string_view old_version = {});

// One variable's current value, as expansion would put it in.
std::string variable_value(Variable v, const InstallSettings& settings, std::string_view old_version = {});

}  // namespace halvard
