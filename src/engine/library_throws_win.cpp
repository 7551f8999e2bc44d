// The engine's own versions of the library's throw helpers, linked into the engine alone.
// The engine is built without exceptions, and the library's versions would bring every
// standard exception class with them, and through them a second string implementation
// and std::random_device (about 60 KB). A container asked to grow past what it can hold
// is memory that cannot be had; anything else is a bug.
#include <bits/functexcept.h>

#include "crash/fatal_error.h"
#include "crash/out_of_memory.h"

namespace std {

void __throw_bad_alloc() { halvard::out_of_memory(0); }
void __throw_bad_array_new_length() { halvard::out_of_memory(0); }
void __throw_length_error(const char*) { halvard::out_of_memory(0); }
void __throw_logic_error(const char*) { halvard::internal_error(__FILE__, __LINE__); }
void __throw_out_of_range(const char*) { halvard::internal_error(__FILE__, __LINE__); }
void __throw_out_of_range_fmt(const char*, ...) { halvard::internal_error(__FILE__, __LINE__); }
void __throw_invalid_argument(const char*) { halvard::internal_error(__FILE__, __LINE__); }
void __throw_bad_function_call() { halvard::internal_error(__FILE__, __LINE__); }

}  // namespace std
