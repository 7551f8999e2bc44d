#pragma once
// The readers of the project file's sections, one per file of project_*.cpp.

#include "toml_reader.h"

namespace halvard::builder {

void read_product_sections(TomlReader& reader, const toml::table& root, Project& project);
void read_appearance_sections(TomlReader& reader, const toml::table& root, Project& project);
void read_list_sections(TomlReader& reader, const toml::table& root, Project& project);
void read_file_rules(TomlReader& reader, const toml::table& root, Project& project);
void read_languages(TomlReader& reader, const toml::table& root, Project& project);
void read_build_section(TomlReader& reader, const toml::table& root, Project& project);
void read_sign_section(TomlReader& reader, const toml::table& root, Project& project);

// Reads a file named in the project (relative to its folder) whole; false with an error
// on the node when it cannot be read.
bool read_project_file_bytes(TomlReader& reader, const toml::node& node, const Project& project,
                             const std::string& relative, std::string& out);

}  // namespace halvard::builder
