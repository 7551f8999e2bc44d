#include "engine_locator.h"

#include <iterator>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace halvard::builder {
namespace fs = std::filesystem;

std::string engine_file_name(EngineArch arch) {
  return arch == EngineArch::x64 ? "halvard-engine-x64.exe" : "halvard-engine.exe";
}

EngineSearch locate_engine(const EngineRequest& request) {
  EngineSearch search;
  if (request.command_line_arch) {
    search.arch = request.command_line_arch;
    search.arch_asked_by = "--arch " + std::string(arch_name(*search.arch));
  } else if (request.project_arch) {
    search.arch = request.project_arch;
    search.arch_asked_by = request.project_arch_where + ": [build] engine = \"" +
                           std::string(arch_name(*search.arch)) + "\"";
  }
  // An engine named explicitly is the only candidate: a wrong path must not fall back.
  if (!request.command_line_path.empty()) {
    search.tried.push_back(request.command_line_path);
    search.looked_for = request.command_line_path;
  } else if (!request.project_path.empty()) {
    search.tried.push_back(request.project_folder / request.project_path);
    search.looked_for = search.tried.back().string();
  } else {
    const EngineArch arch = search.arch.value_or(EngineArch::x86);
    search.looked_for = engine_file_name(arch);
    if (!search.arch) {
      search.arch = arch;
      search.arch_asked_by = "the file name " + search.looked_for;
    }
    if (!request.builder_exe.empty()) {
      const fs::path dir = request.builder_exe.parent_path();
      const char* preset = arch == EngineArch::x64 ? "win64" : "win32";
      search.tried.push_back(dir / search.looked_for);
      // Installed: bin/halvard-build and lib/halvard-setup/ under one prefix (the .deb's /usr).
      search.tried.push_back((dir / ".." / "lib" / "halvard-setup" / search.looked_for).lexically_normal());
      search.tried.push_back((dir / ".." / ".." / ".." / preset / "src" / search.looked_for).lexically_normal());
    }
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
#ifdef _WIN32
  wchar_t name[32768];
  const DWORD length = GetModuleFileNameW(nullptr, name, DWORD(std::size(name)));
  return length == 0 || length >= std::size(name) ? fs::path() : fs::path(std::wstring(name, length));
#endif
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : self;
}

}  // namespace halvard::builder
