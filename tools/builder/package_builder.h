#pragma once
// `build`: project file + files + engine -> setup.exe. The file-data region goes
// through a temporary file beside the output, so memory stays bounded whatever the
// payload; the output appears under its name only when it is complete.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "project.h"
#include "project_loader.h"

namespace halvard::builder {

// Exit codes of halvard-build, one table for every command.
namespace exit_code {
inline constexpr int ok = 0;
inline constexpr int input_error = 1;     // the project, a named file or the engine is wrong or missing
inline constexpr int usage_error = 2;     // the command line is wrong
inline constexpr int corrupt_package = 3; // inspect: the package fails the engine's checks
inline constexpr int output_error = 4;    // the output could not be written
inline constexpr int sign_failed = 5;     // the [sign] command failed or left no signature
}  // namespace exit_code

struct BuildProgress {
  enum class Stage : uint8_t { gathered, packing, written };
  Stage stage = Stage::gathered;
  size_t files_done = 0;
  size_t file_count = 0;
  uint64_t bytes_read = 0;   // of the files packed so far
  uint64_t bytes_total = 0;  // of all files
  size_t blocks_written = 0;
  uint64_t bytes_written = 0;  // of the file-data region so far
};

struct BuildRequest {
  std::filesystem::path project_file;
  std::string output;                  // overrides [build] output; relative to the working folder
  std::string engine;                  // overrides [build] engine
  std::optional<EngineArch> arch;      // --arch: overrides an arch in [build] engine
  std::filesystem::path builder_exe;   // for the engine search
  Environment environment = process_environment;
  // Warnings end the build (exit 1) before anything is written: for CI.
  bool warnings_as_errors = false;
  // --sign / --no-sign; unset: sign when the project has a [sign] command.
  std::optional<bool> sign;
  // Told as the build goes: once the files are gathered, after each file and each block
  // written, and once the installer is written.
  std::function<void(const BuildProgress&)> progress;
};

struct BuildOutcome {
  int exit_code = exit_code::ok;
  std::vector<std::string> errors;
  std::vector<std::string> warnings;  // the project's, whether or not the build went on
  std::filesystem::path output;
  std::filesystem::path engine;
  EngineArch engine_arch = EngineArch::x86;  // what the engine file is
  uint64_t output_size = 0;
  size_t file_count = 0;
  uint64_t data_size = 0;  // stored bytes of the file-data region
  uint64_t source_size = 0;  // bytes of the packed files
  bool is_signed = false;    // the [sign] command signed the output
  std::string sign_output;   // what the signing command printed (secrets masked)
};

BuildOutcome build_package(const BuildRequest& request);

// The settings a loaded project will carry, with everything the build derives: the
// message table, DataOnDisk and the compressed-blocks bit. False with errors when the
// result breaks one of the format's limits.
bool finish_settings(Project& project, std::vector<std::string>& errors);

}  // namespace halvard::builder
