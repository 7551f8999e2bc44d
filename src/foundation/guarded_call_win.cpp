#include "foundation/guarded_call_win.h"

namespace halvard {
namespace {

// One per guarded call, on the caller's stack, linked to the enclosing one.
struct Guard {
  void* jump[5];  // __builtin_setjmp's buffer
  DWORD exception_code = 0;
  Guard* outer = nullptr;
};

// TlsAlloc rather than thread_local: the handler reads it while a fault is being
// dispatched, where emulated TLS might allocate.
DWORD guard_slot() {
  static const DWORD slot = TlsAlloc();
  return slot;
}

Guard* current_guard() {
  DWORD slot = guard_slot();
  return slot == TLS_OUT_OF_INDEXES ? nullptr : static_cast<Guard*>(TlsGetValue(slot));
}

bool is_processor_fault(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_STACK_CHECK:
      return true;
    default:
      // A stack overflow is not among them: there is no stack left to land on.
      return false;
  }
}

// Runs on the faulting thread once the system has resumed it here, on a fresh part of
// its stack below the fault; jumps to the guarded call's receiver.
[[noreturn]] __attribute__((noinline)) void land() {
  Guard* guard = current_guard();
  __builtin_longjmp(guard->jump, 1);
}

LONG WINAPI guard_handler(EXCEPTION_POINTERS* exception) {
  Guard* guard = current_guard();
  if (!guard || !is_processor_fault(exception->ExceptionRecord->ExceptionCode)) return EXCEPTION_CONTINUE_SEARCH;
  guard->exception_code = exception->ExceptionRecord->ExceptionCode;
  CONTEXT* context = exception->ContextRecord;
  // Room below the fault for the landing routine's frame, aligned as after a call.
  constexpr uintptr_t room = 4096;
#if defined(_M_X64) || defined(__x86_64__)
  context->Rsp = ((context->Rsp - room) & ~uintptr_t(15)) - 8;
  context->Rip = reinterpret_cast<DWORD64>(&land);
#else
  context->Esp = ((context->Esp - room) & ~uintptr_t(15)) - 4;
  context->Eip = reinterpret_cast<DWORD>(&land);
#endif
  return EXCEPTION_CONTINUE_EXECUTION;
}

void install_handler_once() {
  static const PVOID handler = AddVectoredExceptionHandler(1, guard_handler);
  (void)handler;
}

// Separate from guarded_call so that the receiver's frame is this one alone: every
// register the caller relies on is saved in this frame's prologue and put back on return.
__attribute__((noinline, noclone)) bool run_guarded(Guard& guard, void (*call)(void*), void* context) {
  if (__builtin_setjmp(guard.jump)) return false;
  call(context);
  return true;
}

}  // namespace

GuardedCallResult guarded_call(void (*call)(void*), void* context) {
  install_handler_once();
  GuardedCallResult result;
  DWORD slot = guard_slot();
  if (slot == TLS_OUT_OF_INDEXES) {
    call(context);
    return result;
  }
  Guard guard;
  guard.outer = static_cast<Guard*>(TlsGetValue(slot));
  TlsSetValue(slot, &guard);
  bool returned = run_guarded(guard, call, context);
  TlsSetValue(slot, guard.outer);
  if (!returned) {
    result.faulted = true;
    result.exception_code = guard.exception_code;
  }
  return result;
}

}  // namespace halvard
