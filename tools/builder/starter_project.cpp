#include "starter_project.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

#include "project_keys.h"

namespace halvard::builder {
namespace {

// The first line points TOML editors at the schema written beside the project.
constexpr std::string_view project_text =
    R"(#:schema ./halvard-project.schema.json
# A Halvard Setup project. Build it with:
#     halvard-build build            (in this folder)
# and look inside the result with:
#     halvard-build inspect setup.exe
# Relative paths are taken from this file's folder.

[product]
name = "My Product"           # shown everywhere as <product>
publisher = "My Company"
version = "1.0"
install_dir = "My Product"    # a folder under Program Files, unless you give a full path

[options]
# Options by name (or as raw numbers). See "halvard-build build --help" for every name.
product_flags_low = ["uninstall_support", "uninstaller_start_menu_shortcut", "directory_page"]
product_flags_high = ["progress_page", "verify_checksums"]
setup_options = ["uninstaller_without_package"]

[texts]
license = ["license.txt"]     # one text per language; shown on the licence page

# Every file matched by 'source' is installed; '**' reaches into sub-folders. Files are
# packed in sorted order, so the same folder always gives the same setup.exe.
[[files]]
source = "files/**"
base = "files"                # stored names are relative to this folder
# kind = "plain"              # plain, shared, font, shortcut, system, com_server, ...
# overwrite = "always"        # always, never, existing_only, missing_only, unless_newer

[[shortcuts]]
target = "%InstallDir%\\readme.txt"
name = "Read Me"
start_menu = true

[build]
output = "setup.exe"
compression = "normal"        # fast, normal, best or none
)";

constexpr std::string_view license_text =
    "My Product is provided as it is, without any warranty.\r\nReplace this text with your own licence.\r\n";

constexpr std::string_view readme_text =
    "Thank you for installing My Product.\r\nThis file was installed by a Halvard Setup starter project.\r\n";

constexpr std::string_view tool_text = "@echo off\r\necho Hello from My Product.\r\n";

}  // namespace

std::vector<StarterFile> starter_files() {
  static const std::string schema = project_schema_json();
  return {{"project.toml", project_text},
          {schema_file_name, schema},
          {"license.txt", license_text},
          {"files/readme.txt", readme_text},
          {"files/bin/hello.bat", tool_text}};
}

bool write_starter_project(const std::filesystem::path& folder, std::string& error) {
  namespace fs = std::filesystem;
  const auto files = starter_files();
  for (const StarterFile& f : files) {
    std::error_code ec;
    if (fs::exists(folder / f.path, ec)) {
      error = (folder / f.path).string() + " already exists; choose an empty or new folder";
      return false;
    }
  }
  for (const StarterFile& f : files) {
    const fs::path path = folder / f.path;
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (ec) {
      error = path.parent_path().string() + ": cannot create the folder: " + ec.message();
      return false;
    }
    errno = 0;
    std::ofstream out(path, std::ios::binary);
    out.write(f.text.data(), std::streamsize(f.text.size()));
    out.close();
    if (!out) {
      error = path.string() + ": cannot write: " + std::strerror(errno ? errno : EIO);
      return false;
    }
  }
  return true;
}

}  // namespace halvard::builder
