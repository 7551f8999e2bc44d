#include "engine_locator.h"

#include <system_error>

namespace halvard::builder {
namespace fs = std::filesystem;

EngineSearch locate_engine(const std::string& command_line, const std::string& project_key,
                           const fs::path& project_folder, const fs::path& builder_exe) {
  EngineSearch search;
  // An engine named explicitly is the only candidate: a wrong path must not fall back.
  if (!command_line.empty()) {
    search.tried.push_back(command_line);
  } else if (!project_key.empty()) {
    search.tried.push_back(project_folder / project_key);
  } else if (!builder_exe.empty()) {
    const fs::path dir = builder_exe.parent_path();
    search.tried.push_back(dir / engine_file_name);
    search.tried.push_back((dir / ".." / ".." / ".." / "win32" / "src" / engine_file_name).lexically_normal());
  }
  for (const fs::path& candidate : search.tried) {
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec)) {
      search.found = candidate;
      break;
    }
  }
  return search;
}

fs::path own_executable() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : self;
}

}  // namespace halvard::builder
