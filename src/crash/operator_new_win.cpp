// The engine's allocation. A request that cannot be met throws as the library's does, so
// that the places which expect it (sizes read from a package) still catch it; the size
// is kept for the out-of-memory end of one that nobody catches.
#include <cstdlib>
#include <new>

#include "crash/out_of_memory.h"

void* operator new(std::size_t size) {
  if (size == 0) size = 1;
  if (void* memory = std::malloc(size)) return memory;
  halvard::note_failed_allocation(size);
  throw std::bad_alloc();
}

void* operator new[](std::size_t size) { return ::operator new(size); }

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
