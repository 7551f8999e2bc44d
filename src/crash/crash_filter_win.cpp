#include "crash/crash_filter_win.h"

namespace halvard {
namespace {

// Windows calls the filter outside any object; these are the filter's whole state.
CrashHandler installed_handler = nullptr;
DWORD main_thread = 0;
volatile LONG worker_thread = 0;
volatile LONG handler_running = 0;

bool passed_on(DWORD code) {
  switch (code) {
    case EXCEPTION_BREAKPOINT:
    case EXCEPTION_SINGLE_STEP:
    case EXCEPTION_NONCONTINUABLE_EXCEPTION:
    case 0xE06D7363:  // a C++ exception of another compiler's runtime: its own business
      return true;
    default:
      return false;
  }
}

struct HandlerCall {
  EXCEPTION_POINTERS* exception;
  LONG result;
};

DWORD WINAPI call_handler(void* parameter) {
  auto* call = static_cast<HandlerCall*>(parameter);
  call->result = installed_handler(call->exception);
  return 0;
}

// g++'s own throw on x64: when no frame catches it, the runtime must get it back to end
// the run through std::terminate (out of memory, say), as the C runtime's filter allows.
constexpr DWORD gcc_throw = 0x20474343;
constexpr DWORD gcc_unwind = 0x21474343;

LONG WINAPI crash_filter(EXCEPTION_POINTERS* exception) {
  DWORD code = exception->ExceptionRecord->ExceptionCode;
  if ((code == gcc_throw || code == gcc_unwind) && !(exception->ExceptionRecord->ExceptionFlags & EXCEPTION_NONCONTINUABLE))
    return EXCEPTION_CONTINUE_EXECUTION;
  if (passed_on(code)) return EXCEPTION_CONTINUE_SEARCH;
  if (worker_thread && DWORD(worker_thread) == GetCurrentThreadId()) return EXCEPTION_EXECUTE_HANDLER;
  if (!installed_handler || InterlockedExchange(&handler_running, 1)) return EXCEPTION_CONTINUE_SEARCH;
  HandlerCall call{exception, EXCEPTION_CONTINUE_SEARCH};
  if (code == EXCEPTION_STACK_OVERFLOW) {
    // No stack is left on this thread for a report, a dialog and a request: they run on
    // a thread of their own while this one waits.
    HANDLE thread = CreateThread(nullptr, 1 << 20, call_handler, &call, 0, nullptr);
    if (thread) {
      WaitForSingleObject(thread, INFINITE);
      CloseHandle(thread);
    }
  } else {
    call_handler(&call);
  }
  InterlockedExchange(&handler_running, 0);
  return call.result ? EXCEPTION_EXECUTE_HANDLER : EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void install_crash_handler(CrashHandler handler) {
  installed_handler = handler;
  main_thread = GetCurrentThreadId();
  SetUnhandledExceptionFilter(crash_filter);
}

DWORD main_thread_id() { return main_thread; }

void mark_worker_thread(DWORD thread_id) { InterlockedExchange(&worker_thread, LONG(thread_id)); }

}  // namespace halvard
