#include "crash/out_of_memory.h"

#include <cinttypes>
#include <cstdio>

#include "crash/fatal_error.h"

namespace halvard {
namespace {

const char* advice_line = "Make sure the hard drive is not full.";

}  // namespace

void set_out_of_memory_advice(const char* advice) { advice_line = advice ? advice : ""; }

size_t format_out_of_memory(char* out, size_t capacity, const char* advice, uint64_t requested, const uintptr_t* stack,
                            size_t count, int digits) {
  if (capacity == 0) return 0;
  int written = std::snprintf(
      out, capacity,
      "Out Of Memory.\r\nAdvice: %s\r\nRequested size = %" PRIu64 " (0x%08" PRIX64 ")\r\n\r\nStack contents:", advice,
      requested, requested);
  size_t length = written < 0 ? 0 : size_t(written);
  for (size_t i = 0; i < count && length + 1 < capacity; ++i) {
    written = std::snprintf(out + length, capacity - length, "%c%0*" PRIX64, i % 8 == 0 ? '\r' : ' ', digits,
                            uint64_t(stack[i]));
    if (written < 0) break;
    length += size_t(written);
  }
  if (length >= capacity) length = capacity - 1;
  out[length] = '\0';
  return length;
}

// Reads past its own markers into the callers' frames on purpose: that is the dump.
__attribute__((no_sanitize("address"), noinline)) void out_of_memory(size_t requested) {
  volatile uintptr_t markers[2] = {0x11223344, 0x55667788};
  const volatile uintptr_t* stack = markers;
  uintptr_t values[out_of_memory_stack_values];
  for (int i = 0; i < out_of_memory_stack_values; ++i) values[i] = stack[i];
  static char text[fatal_text_limit];
  format_out_of_memory(text, sizeof text, advice_line, requested, values, out_of_memory_stack_values,
                       int(sizeof(uintptr_t) * 2));
  fatal_error("%s", text);
}

}  // namespace halvard
