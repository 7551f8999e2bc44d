// The engine's allocation. The engine has no exceptions: a request that cannot be met
// ends the run through the out-of-memory report, with its size. The nothrow forms give
// back null, for the few buffers whose size came from outside.
#include <cstdlib>
#include <new>

#include "crash/out_of_memory.h"

void* operator new(std::size_t size) {
  if (size == 0) size = 1;
  if (void* memory = std::malloc(size)) return memory;
  halvard::out_of_memory(size);
}

void* operator new[](std::size_t size) { return ::operator new(size); }

void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void* operator new[](std::size_t size, const std::nothrow_t& nothrow) noexcept { return ::operator new(size, nothrow); }

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
