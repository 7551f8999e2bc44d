#pragma once
// The end of a run whose memory ran out: the allocation's size, the advice and a dump
// of the stack go to the fatal-error path. Formatting allocates nothing, as nothing may
// be left to allocate.

#include <cstddef>
#include <cstdint>

namespace halvard {

inline constexpr int out_of_memory_stack_values = 80;

// The advice line; "Make sure the hard drive is not full." until set.
void set_out_of_memory_advice(const char* advice);

// "Out Of Memory.\r\nAdvice: <advice>\r\nRequested size = <n> (0x<hex>)\r\n\r\nStack contents:"
// and then `count` values in hexadecimal of `digits` digits, the first of every eight
// after a carriage return alone, the others after a blank. Cut at `capacity`, always
// ended by a zero; gives the length written.
size_t format_out_of_memory(char* out, size_t capacity, const char* advice, uint64_t requested, const uintptr_t* stack,
                            size_t count, int digits);

// Ends the run through the fatal-error path with that text, the stack read from here.
[[noreturn]] void out_of_memory(size_t requested);

}  // namespace halvard
