#pragma once
// The one way the program ends on a condition it cannot continue from: the text is
// formatted, the registered exit callbacks run once, the display callback shows the
// text, and the process exits with code 1. A second entry (a callback that fails
// fatally itself) goes straight to the exit.

namespace halvard {

inline constexpr int fatal_text_limit = 4096;
inline constexpr int max_exit_callbacks = 100;

using ExitCallback = void (*)();
using FatalDisplay = void (*)(const char* text);

[[noreturn]] void fatal_error(const char* format, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] void internal_error(const char* source_file, int line);

// Returns false when the table of callbacks is full.
bool add_exit_callback(ExitCallback callback);
// The user-interface layer shows the text; without one the text goes to stderr.
void set_fatal_display(FatalDisplay display);

}  // namespace halvard
