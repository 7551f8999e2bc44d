// The engine's guards for function-local statics, linked into the engine alone. The
// library's versions report a recursive initialisation by throwing, and so bring the
// whole exception runtime (personality, unwinder, type information, about 14 KB) into
// an engine that never throws. A static's guard is 64 bits: byte 0 is "done" (the
// compiler's own fast path reads it), byte 1 "being initialised", bytes 4 to 7 the
// initialising thread.
#include <windows.h>

#include <cstdint>

#include "crash/fatal_error.h"

namespace {

struct Guard {
  char done;
  char busy;
  char unused[2];
  DWORD thread;
};
static_assert(sizeof(Guard) == 8);

}  // namespace

extern "C" int __cxa_guard_acquire(Guard* guard) {
  if (__atomic_load_n(&guard->done, __ATOMIC_ACQUIRE)) return 0;
  for (;;) {
    char idle = 0;
    if (__atomic_compare_exchange_n(&guard->busy, &idle, 1, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED)) {
      __atomic_store_n(&guard->thread, GetCurrentThreadId(), __ATOMIC_RELAXED);
      return 1;
    }
    // A static whose initialiser reaches itself again: a bug, never a wait.
    if (__atomic_load_n(&guard->thread, __ATOMIC_RELAXED) == GetCurrentThreadId())
      halvard::internal_error(__FILE__, __LINE__);
    // Another thread initialises it; statics initialise quickly, so yielding will do.
    while (__atomic_load_n(&guard->busy, __ATOMIC_ACQUIRE)) SwitchToThread();
    if (__atomic_load_n(&guard->done, __ATOMIC_ACQUIRE)) return 0;
  }
}

extern "C" void __cxa_guard_release(Guard* guard) {
  __atomic_store_n(&guard->done, 1, __ATOMIC_RELEASE);
  __atomic_store_n(&guard->thread, 0, __ATOMIC_RELAXED);
  __atomic_store_n(&guard->busy, 0, __ATOMIC_RELEASE);
}

// Only reached when an initialiser throws, which the engine's never do; kept for the
// library's own objects.
extern "C" void __cxa_guard_abort(Guard* guard) {
  __atomic_store_n(&guard->thread, 0, __ATOMIC_RELAXED);
  __atomic_store_n(&guard->busy, 0, __ATOMIC_RELEASE);
}
