#include "crash/fatal_error.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "crash/exception_free.h"

namespace halvard {
namespace {

// Process-wide by nature: the path must work from anywhere, including from inside a
// callback that is itself failing.
ExitCallback exit_callbacks[max_exit_callbacks];
int exit_callback_count = 0;
FatalDisplay fatal_display = nullptr;
bool fatal_entered = false;

void run_exit_callbacks() {
  // A failing clean-up must not keep the others from running.
  for (int i = 0; i < exit_callback_count; ++i) ran_without_exception(exit_callbacks[i]);
}

}  // namespace

bool add_exit_callback(ExitCallback callback) {
  if (exit_callback_count >= max_exit_callbacks) return false;
  exit_callbacks[exit_callback_count++] = callback;
  return true;
}

void set_fatal_display(FatalDisplay display) { fatal_display = display; }

void fatal_error(const char* format, ...) {
  if (fatal_entered) std::_Exit(1);
  fatal_entered = true;

  char text[fatal_text_limit];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);

  run_exit_callbacks();
  if (fatal_display) {
    fatal_display(text);
  } else {
    std::fputs(text, stderr);
    std::fputs("\n", stderr);
  }
  std::_Exit(1);
}

void internal_error(const char* source_file, int line) {
  fatal_error("Internal Fatal Error\r\nModule: %s\r\nLine: %d", source_file, line);
}

}  // namespace halvard
