#pragma once
// The decisions and texts of registering installed components (fonts, MSI packages,
// control-panel applets, binding, shared counts, COM servers, type libraries, drivers)
// that need no system call: which mark a shared file carries, what an applet is called,
// and the log lines whose wording depends on a result.

#include <cstdint>
#include <string>
#include <string_view>

#include "records/uninstall_records.h"

namespace halvard {

// How a shared file is listed in "SharedFiles" (its mark, shared_file_mark): never
// deleted for a system file or one the uninstaller never removes, then COM server, type
// library, or a plain file of the shared folder.
SharedFileKind shared_file_kind(uint32_t kind, uint32_t flags);

// Whether a file of this kind is counted in the shared-DLL counts.
bool is_shared_count_kind(uint32_t kind);

// The applet's registered name: the record's text, or the destination's file name.
std::string applet_name(std::string_view version_text, std::string_view destination);

// Whether binding applies: the file name's extension is "exe" in any case.
bool is_bound_executable(std::string_view path);

// The end of an MSI package's log line: "OK\r\n", or "FAILED code <n>: <text>\r\n".
std::string msi_result_text(uint32_t result, std::string_view error_text);

// The end of a COM server's log line after DllRegisterServer returned `result`: "OK\r\n"
// for a success code, else "FAILED, HRESULT 0x<8 hex digits>: <text>\r\n".
std::string com_result_text(int32_t result, std::string_view error_text);

// The failure summary's line for a COM server whose DllRegisterServer failed.
std::string com_failure_summary(std::string_view file_name, int32_t result, std::string_view error_text);

// The end of an INF file's log line from the result of copying it into the system's
// driver store: `copied` false gives "FAILED!  <text>\r\n"; an empty destination name
// "OK, but resulting filepath is unknown\r\n"; otherwise "OK\r\nFinal driver location: ".
std::string inf_result_text(bool copied, std::string_view destination, std::string_view error_text);

}  // namespace halvard
