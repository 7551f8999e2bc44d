#pragma once
// The engine's driver: start-up and run-mode choice.

#include <windows.h>

#include <string>

namespace halvard {

// Runs the engine to its end; the process exits inside.
[[noreturn]] void run_engine(HINSTANCE instance, const char* command_text);

// Shows the usage text under `error_text` and ends through the fatal-error path.
[[noreturn]] void show_usage(const std::string& error_text);

}  // namespace halvard
