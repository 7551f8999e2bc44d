#pragma once
// Signing the finished installer with the publisher's own tool, and reading back the
// signature that a tool has put on a file.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "package/setup_section.h"
#include "project_loader.h"

namespace halvard::builder {

inline constexpr std::string_view sign_file_placeholder = "{file}";
// Where a tool that cannot sign in place writes the signed copy (osslsigncode's -out).
inline constexpr std::string_view sign_output_placeholder = "{signed}";

struct SignOutcome {
  bool ok = false;
  int tool_exit_code = 0;  // the command's exit code when it ran and failed
  std::string output;      // its standard output and error, secrets masked
  std::string error;       // why signing failed, for the build's error line
};

// Runs the command template (through the shell) on `file`. With {signed} in the
// template the tool's output file replaces `file`; without, the tool signs in place.
// The values that the template's environment variables ($NAME or ${NAME}) have in
// this process, the shell's environment, never appear in `output`.
SignOutcome sign_file(const std::string& command_template, const std::filesystem::path& file);

// Replaces in `text` every value of the variables that `command_template` names.
std::string mask_secrets(std::string text, std::string_view command_template, Environment environment);

struct SignatureState {
  bool is_signed = false;    // the security directory names a certificate table
  bool covers_file = false;  // the digest the signature holds is the file's own digest
  std::string digest_name;   // "SHA-256", "SHA-1", or empty when unknown
  std::string note;          // why `covers_file` could not be decided, when it could not
};

// Authenticode: the signed digest covers the file except its CheckSum field, the
// security directory entry and the certificate table itself.
SignatureState read_signature(const ReadAt& read, uint64_t file_size, const SetupSectionLocation& headers);

}  // namespace halvard::builder
