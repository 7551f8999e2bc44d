// The engine's own versions of the library's throw helpers, linked into the engine alone.
// The library's versions live in one object that brings every standard exception class
// with it, and through them a second string implementation and std::random_device
// (about 60 KB). Nothing in the engine tells these exceptions apart by their class: a
// size too large for a container is an allocation that cannot succeed, caught where
// the size came from outside; a logic error is a bug, which only a catch-all sees.
#include <bits/functexcept.h>

#include <exception>
#include <new>

namespace std {

void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_length_error(const char*) { throw bad_alloc(); }
void __throw_logic_error(const char*) { throw exception(); }
void __throw_out_of_range(const char*) { throw exception(); }
void __throw_out_of_range_fmt(const char*, ...) { throw exception(); }
void __throw_invalid_argument(const char*) { throw exception(); }

}  // namespace std
