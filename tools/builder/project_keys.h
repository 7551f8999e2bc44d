#pragma once
// Every section and key of a project file, with its type, default and meaning: the one
// table that the loader checks keys against and that the JSON Schema and the Markdown
// reference are written from, so that the three cannot drift apart.

#include <span>
#include <string>
#include <string_view>

#include "option_names.h"

namespace halvard::builder {

enum class KeyType : uint8_t {
  text,
  boolean,
  integer,
  number,
  color,         // "#RRGGBB" or a number
  bits,          // names or numbers, one or a list
  named,         // a name or a number
  date,          // a TOML date-time or date, or a word such as "none"
  texts,         // a text or a list of texts
  text_sources,  // a list of file names or { text = "..." }, one per language
  byte_list,     // a list of numbers from 0 to 255
  flag,          // true, false or a number from 0 to 255
};

struct ProjectKey {
  std::string_view name;
  KeyType type;
  std::string_view default_value;  // as written in TOML; empty: none (or empty text)
  std::string_view meaning;
  std::span<const NamedBit> (*bit_names)() = nullptr;      // for bits
  std::span<const NamedValue> (*value_names)() = nullptr;  // for named, when the names are fixed
  bool required = false;
};

struct ProjectSection {
  std::string_view name;
  bool is_array;  // [[name]]: a list of tables
  std::string_view meaning;
  std::span<const ProjectKey> keys;  // empty for [messages], whose keys are languages
};

std::span<const ProjectSection> project_sections();
// The section's keys; empty when there is no such section.
std::span<const ProjectKey> section_keys(std::string_view section);

// The JSON Schema (draft 2020-12) of a project file, converted from TOML to JSON.
std::string project_schema_json();
// The Markdown reference of every section and key.
std::string project_reference_markdown();

// The schema's address in `#:schema` comments: where halvard-build schema writes it.
inline constexpr char schema_file_name[] = "halvard-project.schema.json";

}  // namespace halvard::builder
