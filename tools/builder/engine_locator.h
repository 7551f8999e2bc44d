#pragma once
// Where `build` takes the engine from, first match wins:
//   1. --engine PATH on the command line;
//   2. [build] engine = "PATH" in the project file (relative to the project folder);
//   3. the engine of the chosen arch (--arch, else [build] engine = "x86" or "x64", else
//      x86), searched for by its file name: halvard-engine.exe (x86) or
//      halvard-engine-x64.exe (x64)
//      a. beside the halvard-build executable;
//      b. installed: ../lib/halvard-setup/ from its folder (/usr/bin/halvard-build finds
//         /usr/lib/halvard-setup/halvard-engine.exe);
//      c. in the build tree: build/<preset>/tools/builder/halvard-build finds
//         build/win32/src/halvard-engine.exe or build/win64/src/halvard-engine-x64.exe
//         (../../../win32/src or ../../../win64/src from its folder).
// A chosen arch also binds an engine given by path: its machine must match.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "pe_image.h"

namespace halvard::builder {

// The engine's file name for an arch: what the search looks for.
std::string engine_file_name(EngineArch arch);

struct EngineRequest {
  std::string command_line_path;                // --engine
  std::optional<EngineArch> command_line_arch;  // --arch
  std::string project_path;                     // [build] engine as a path
  std::optional<EngineArch> project_arch;       // [build] engine as "x86" or "x64"
  std::string project_arch_where;               // "project.toml:12:10", for messages
  std::filesystem::path project_folder;
  std::filesystem::path builder_exe;
};

struct EngineSearch {
  std::filesystem::path found;              // empty when no candidate exists
  std::vector<std::filesystem::path> tried; // every candidate, in order
  std::string looked_for;                   // the file name searched for, or the path given
  // The arch the engine must have, and what asked for it: "--arch x64",
  // "project.toml:12:10: [build] engine = \"x64\"" or "the file name halvard-engine.exe".
  std::optional<EngineArch> arch;
  std::string arch_asked_by;
};

EngineSearch locate_engine(const EngineRequest& request);

// This process's executable file; empty when the system does not say.
std::filesystem::path own_executable();

}  // namespace halvard::builder
