#pragma once
// Calls into code we do not control (a COM server's registration routine, the system's
// type-library and MSI calls) where a fault inside must become a logged failure rather
// than the end of the installation. g++ for mingw has no __try, so the guard is a
// vectored exception handler that acts only for the thread inside a guarded call and
// only on processor faults: the faulting thread resumes in a landing routine that jumps
// back to the guarded call, which then reports the fault.
//
// What lies between the fault and the guard is abandoned, not unwound: locks the callee
// held stay held and its memory stays allocated. That is the price of going on; a
// registration routine that crashed has left its state undefined anyway. C++ and other
// software exceptions pass through untouched, so code that throws and catches inside
// the call works as usual. A fault inside the callee that the callee would have handled
// with its own structured handler is taken by the guard first; none of the system calls
// guarded here rely on that.

#include <windows.h>

namespace halvard {

struct GuardedCallResult {
  bool faulted = false;
  DWORD exception_code = 0;  // the fault's code when `faulted`
};

// Runs `call(context)` under the guard. Calls may nest; each level catches its own.
GuardedCallResult guarded_call(void (*call)(void*), void* context);

template <class Callable>
GuardedCallResult guarded_call(Callable&& callable) {
  auto invoke = [&callable] { callable(); };
  return guarded_call([](void* context) { (*static_cast<decltype(invoke)*>(context))(); }, &invoke);
}

}  // namespace halvard
