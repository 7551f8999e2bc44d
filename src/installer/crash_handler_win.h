#pragma once
// The installer's crash handler: the report is written, recorded in the failure summary
// and the installation log before anything else can go wrong, shown in its dialog, and
// sent to the publisher when the user asks and the engine has somewhere to send it.

#include <windows.h>

#include <string>

namespace halvard {

// Where "Inform Us" sends the report: the form's address and the sender it names. An
// empty address disables sending; an empty sender disables the button.
void set_crash_report_destination(const std::string& endpoint, const std::string& sender);

// What the run in progress does with the crash text ("INSTALLER CRASHED!" and the
// report): add it to its failure summary and write its log. Null: nothing is recorded.
using CrashRecorder = void (*)(void* context, const std::string& text);
void set_crash_recorder(CrashRecorder recorder, void* context);

// For install_crash_handler: 1 after "Inform Us" (the process ends quietly), 0 after
// "Exit" (the system's own handling follows).
LONG installer_crash_handler(EXCEPTION_POINTERS* exception);

}  // namespace halvard
