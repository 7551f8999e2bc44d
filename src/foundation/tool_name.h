#pragma once

namespace halvard {

// The setup tool's own name, as version messages and fatal-error captions show it.
inline constexpr char tool_name[] = "Halvard Setup";

// The engine version in hundredths: 2610 is version 26.1.
inline constexpr int engine_version_hundredths = 2610;

}  // namespace halvard
