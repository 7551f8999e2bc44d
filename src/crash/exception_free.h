#pragma once
// The engine is built without C++ exceptions: an allocation that fails ends the run
// through the out-of-memory report, and the library's throw helpers end it too. These
// two helpers keep the few places that must go on after such a failure working the
// same in the engine and in the native build (tools, tests), which keeps exceptions.

#include <cstddef>
#include <new>

namespace halvard {

// Resizes a vector or string to a size that came from outside (a package, a file):
// false, the buffer unchanged, when memory for it cannot be had. Growth stays geometric,
// as the container's own, so that a buffer grown a piece at a time is not copied anew
// for every piece.
template <class Buffer>
bool fallible_resize(Buffer& buffer, std::size_t size) {
  if (size > buffer.capacity()) {
    const std::size_t most = buffer.max_size();
    if (size > most) return false;
    // Asked for without the failure path, then handed back for the buffer to take at
    // once; a string needs one more item for its terminator.
    auto available = [](std::size_t items) {
      void* probe = ::operator new((items + 1) * sizeof(typename Buffer::value_type), std::nothrow);
      ::operator delete(probe);
      return probe != nullptr;
    };
    const std::size_t doubled = buffer.capacity() > most / 2 ? most : 2 * buffer.capacity();
    if (!available(doubled > size ? doubled : size)) {
      if (!available(size)) return false;
      buffer.reserve(size);
    }
  }
  buffer.resize(size);
  return true;
}

// Runs `step`; false when it threw, which only the native build can do.
template <class Step>
bool ran_without_exception(Step&& step) {
#if __cpp_exceptions
  try {
    step();
  } catch (...) {
    return false;
  }
#else
  step();
#endif
  return true;
}

}  // namespace halvard
