#include "project_loader.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

#include "code_signing.h"
#include "foundation/text.h"
#include "project_sections.h"

namespace halvard::builder {
namespace {

// The date every reproducible build may use: SOURCE_DATE_EPOCH as a UTC date.
bool source_date(Environment environment, FileDate& out) {
  const std::string text = environment("SOURCE_DATE_EPOCH");
  if (text.empty()) return false;
  char* end = nullptr;
  const long long seconds = std::strtoll(text.c_str(), &end, 10);
  if (*end || seconds < 0) return false;
  const std::time_t t = std::time_t(seconds);
  std::tm tm{};
#ifdef _WIN32
  gmtime_s(&tm, &t);
#else
  gmtime_r(&t, &tm);
#endif
  out = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
  return true;
}

}  // namespace

bool engine_value_is_path(std::string_view value) {
  if (value.find_first_of("/\\") != std::string_view::npos) return true;
  if (value.size() < 4) return false;
  std::string tail(value.substr(value.size() - 4));
  for (char& c : tail) c = char(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".exe";
}

std::string process_environment(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

Project default_project() {
  Project p;
  InstallSettings& s = p.settings;
  s.ProductFlags.low = product_flag::low_uninstall_support /* uninstall support */ | 0x80 /* directory page */ |
                       0x2 /* uninstaller in the start menu */;
  s.ProductFlags.high = product_flag::high_verify_checksums | 0x80000 /* progress page */;
  s.SetupOptions = setup_option::uninstaller_without_package;
  s.TitleSize = 1.0;
  s.TitleColor = 0xFFFFFF;
  s.TitleFont = "Arial";
  s.TopColor = 0x800000;  // dark blue (COLORREF is 0x00BBGGRR)
  s.BottomColor = 0x000000;
  s.UninstallSubdir = "Uninstall";
  s.UninstallerName = "Uninstall.exe";
  s.InstallingText = "<product>";
  s.DialogOptions = {0, 1, 1, 1, 1, 1, 1, 1, 1};
  p.languages.push_back({"English", {}, {}, {}});
  return p;
}

LoadResult load_project_text(std::string_view text, const std::string& file, const std::filesystem::path& folder,
                             Project& project, Environment environment) {
  LoadResult result;
  project = default_project();
  project.file = file;
  project.folder = folder;
  toml::parse_result parsed = toml::parse(text, file);
  if (!parsed) {
    const auto& err = parsed.error();
    result.errors.push_back(SourcePos{file, int(err.source().begin.line), int(err.source().begin.column)}.text() +
                            ": " + std::string(err.description()));
    return result;
  }
  const toml::table& root = parsed.table();
  TomlReader reader(file, result.errors, result.warnings);
  for (auto&& [k, v] : root) {
    bool known = false;
    for (const ProjectSection& section : project_sections()) known = known || k.str() == section.name;
    if (!known) reader.error(reader.position(k), "unknown section or key '" + std::string(k.str()) + "'");
  }
  if (!source_date(environment, project.settings.UninstallerDate)) project.settings.UninstallerDate = {};
  read_product_sections(reader, root, project);
  read_appearance_sections(reader, root, project);
  read_list_sections(reader, root, project);
  read_languages(reader, root, project);
  read_file_rules(reader, root, project);
  read_build_section(reader, root, project);
  read_sign_section(reader, root, project);
  result.ok = result.errors.empty();
  return result;
}

LoadResult load_project(const std::filesystem::path& file, Project& project, Environment environment) {
  LoadResult refused;
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec)) {
    refused.errors.push_back(file.string() + " is a folder, not a project file");
    return refused;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    refused.errors.push_back(file.string() + ": cannot read the project file: " + std::strerror(errno));
    return refused;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (is_blank_text(text.str())) {
    refused.errors.push_back(file.string() + " is empty: a project needs at least [product] with a 'name'");
    return refused;
  }
  std::filesystem::path folder = file.parent_path();
  if (folder.empty()) folder = ".";
  return load_project_text(text.str(), file.string(), folder, project, environment);
}

bool read_project_file_bytes(TomlReader& reader, const toml::node& node, const Project& project,
                             const std::string& relative, std::string& out) {
  const std::filesystem::path path = project.folder / relative;
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    reader.error(node, "\"" + relative + "\" is a folder, not a file (relative to the project folder)");
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    reader.error(node, "cannot read the file \"" + relative + "\" (relative to the project folder): " +
                           std::strerror(errno));
    return false;
  }
  std::ostringstream bytes;
  bytes << in.rdbuf();
  out = bytes.str();
  return true;
}

void read_build_section(TomlReader& reader, const toml::table& root, Project& project) {
  const toml::table* t = reader.table(root, "build");
  if (!t) return;
  reader.unknown_keys(*t, "[build]", section_keys("build"));
  BuildOptions& b = project.build;
  reader.text(*t, "output", b.output);
  std::string engine;
  if (reader.text(*t, "engine", engine)) {
    const toml::node& node = *t->get("engine");
    b.engine_where = reader.position(node);
    if (engine_value_is_path(engine))
      b.engine = engine;
    else if (auto arch = parse_arch(engine))
      b.engine_arch = arch;
    else
      reader.error(node, "'engine': unknown engine \"" + engine + "\"; known engines: " + arch_names +
                             ", or a path (one that holds '/' or '\\' or ends in \".exe\")");
  }
  int64_t block = 0;
  if (reader.number(*t, "block_size", 4096, 64ll << 20, block)) b.block_size = uint32_t(block);
  static constexpr NamedValue modes[] = {{"none", 0}, {"fast", 1}, {"normal", 2}, {"best", 3}};
  uint32_t mode = 0;
  if (reader.named(*t, "compression", modes, mode)) {
    if (mode > 3)
      reader.error(*t->get("compression"), "'compression' must be \"none\", \"fast\", \"normal\" or \"best\"");
    else
      b.compression = DataCompression(mode);
  }
  if (reader.named(*t, "stream_compression", std::span(modes).subspan(1), mode)) {
    if (mode < 1 || mode > 3)
      reader.error(*t->get("stream_compression"), "'stream_compression' must be \"fast\", \"normal\" or \"best\"");
    else
      b.stream_mode = block_encode_mode(DataCompression(mode));
  }
  reader.boolean(*t, "data_on_disk", b.data_on_disk);
  std::string order;
  if (reader.text(*t, "file_order", order)) {
    if (order == "compression")
      b.file_order = FileOrder::compression;
    else if (order == "as-given")
      b.file_order = FileOrder::as_given;
    else
      reader.error(*t->get("file_order"), "'file_order' must be \"compression\" or \"as-given\"");
  }
  int64_t version = 0;
  if (reader.number(*t, "engine_version", 1, INT32_MAX, version)) b.engine_version = int32_t(version);
}

void read_sign_section(TomlReader& reader, const toml::table& root, Project& project) {
  const toml::table* t = reader.table(root, "sign");
  if (!t) return;
  reader.unknown_keys(*t, "[sign]", section_keys("sign"));
  const toml::node* node = t->get("command");
  if (!node) {
    reader.error(reader.position(*t), "[sign] needs a 'command' (the signing tool's command line with {file})");
    return;
  }
  const std::optional<std::string> command = node->value<std::string>();
  if (!node->is_string() || !command) {
    reader.error(*node, "'command' must be a text");
    return;
  }
  if (command->find(sign_file_placeholder) == std::string::npos) {
    reader.error(*node, "'command' must name the file to sign as {file}");
    return;
  }
  project.sign.command = *command;
  project.sign.where = reader.position(*node);
}

}  // namespace halvard::builder
