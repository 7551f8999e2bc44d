#include "crash/crash_filter_win.h"

#include <windows.h>

namespace halvard {
namespace {

// The crash report (report text, dialog, submission) is not built yet: until it is,
// the filter hands every exception on to the system's own handling, which is what a
// process without a filter gets.
LONG WINAPI crash_filter(EXCEPTION_POINTERS*) { return EXCEPTION_CONTINUE_SEARCH; }

}  // namespace

void install_crash_handler() { SetUnhandledExceptionFilter(crash_filter); }

}  // namespace halvard
