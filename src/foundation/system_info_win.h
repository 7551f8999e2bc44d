#pragma once
// Facts about the running system that texts and folders need.

#include <string>

namespace halvard {

// Names the Windows version, its service pack and the processor width, for the
// "<os>" tag and the log.
std::string os_description();

// A shell special folder (CSIDL number); empty when the shell has none.
std::string special_folder(int csidl);

// Whether this 32-bit process runs on a 64-bit Windows.
bool is_wow64_process();

// Whether Windows itself is 64-bit: this is a 64-bit process, or a 32-bit one under WOW64.
bool windows_is_64bit();

}  // namespace halvard
