#pragma once
// Where `build` takes the engine from, first match wins:
//   1. --engine PATH on the command line;
//   2. [build] engine in the project file (relative to the project folder);
//   3. halvard-engine.exe beside the halvard-build executable (an installed builder);
//   4. the build tree's engine: build/<preset>/tools/builder/halvard-build finds
//      build/win32/src/halvard-engine.exe (../../../win32/src from its folder).

#include <filesystem>
#include <string>
#include <vector>

namespace halvard::builder {

inline constexpr char engine_file_name[] = "halvard-engine.exe";

struct EngineSearch {
  std::filesystem::path found;              // empty when no candidate exists
  std::vector<std::filesystem::path> tried; // every candidate, in order
};

EngineSearch locate_engine(const std::string& command_line, const std::string& project_key,
                           const std::filesystem::path& project_folder, const std::filesystem::path& builder_exe);

// This process's executable file; empty when the system does not say.
std::filesystem::path own_executable();

}  // namespace halvard::builder
