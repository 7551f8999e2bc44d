#pragma once
// A file's SHA-256 digest, through the system's cryptographic provider.

#include <optional>
#include <string>

namespace halvard {

// 64 lower-case hexadecimal digits; nothing when the file cannot be read or the system
// offers no SHA-256.
std::optional<std::string> file_sha256(const std::string& path);

}  // namespace halvard
