#pragma once
// Typed reading of a parsed TOML document with errors that name the file, line and key.
// Every translation unit that touches toml++ includes it through this header, so the
// library is configured the same way everywhere: header-only, no exceptions.

#define TOML_EXCEPTIONS 0
#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "option_names.h"
#include "package/install_settings.h"
#include "project.h"
#include "project_keys.h"

namespace halvard::builder {

class TomlReader {
 public:
  TomlReader(std::string file, std::vector<std::string>& errors, std::vector<std::string>& warnings)
      : file_(std::move(file)), errors_(errors), warnings_(warnings) {}

  SourcePos position(const toml::node& node) const;
  SourcePos position(const toml::key& key) const;
  void error(const toml::node& node, std::string_view text);
  void error(const SourcePos& where, std::string_view text);
  void error(std::string_view text);  // no line to name
  bool failed() const { return !errors_.empty(); }
  // Something that still builds but should change, such as a key's old name.
  void warning(const SourcePos& where, std::string_view text);

  // Each reader leaves `out` alone when the key is absent and reports a wrong type or a
  // value out of range. Texts are converted from UTF-8 to Windows-1252.
  bool text(const toml::table& t, std::string_view key, std::string& out);
  bool boolean(const toml::table& t, std::string_view key, bool& out);
  bool number(const toml::table& t, std::string_view key, int64_t low, int64_t high, int64_t& out);
  bool u8(const toml::table& t, std::string_view key, uint8_t& out);
  bool u16(const toml::table& t, std::string_view key, uint16_t max, uint16_t& out);
  bool u32(const toml::table& t, std::string_view key, uint32_t& out);
  bool i32(const toml::table& t, std::string_view key, int32_t& out);
  bool f64(const toml::table& t, std::string_view key, double& out);
  // A colour: "#RRGGBB" (stored as the Windows COLORREF 0x00BBGGRR) or a raw number.
  bool color(const toml::table& t, std::string_view key, uint32_t& out);
  // Bit names from the table, raw numbers, or a list mixing both.
  bool bits(const toml::table& t, std::string_view key, std::span<const NamedBit> names, uint32_t& out);
  // A value by name or its raw number.
  bool named(const toml::table& t, std::string_view key, std::span<const NamedValue> names, uint32_t& out);
  // A TOML date-time (its date and time parts; an offset is ignored), a date, or "none".
  bool date(const toml::table& t, std::string_view key, FileDate& out);
  // A list of texts, or a single text taken as a one-element list.
  bool texts(const toml::table& t, std::string_view key, std::vector<std::string>& out);

  // A sub-table; nullptr when absent, an error when the key holds something else.
  const toml::table* table(const toml::table& t, std::string_view key);
  // An array of tables ([[key]]); nullptr when absent.
  const toml::array* table_array(const toml::table& t, std::string_view key);

  // Reports keys of `t` that are not in `known` (a misspelt key is never silently lost).
  void unknown_keys(const toml::table& t, std::string_view where, std::initializer_list<std::string_view> known);
  void unknown_keys(const toml::table& t, std::string_view where, std::span<const ProjectKey> known);
  void unknown_keys(const toml::table& t, std::string_view where, std::span<const std::string_view> known);

  std::optional<std::string> ansi(const toml::node& node, std::string_view utf8);

 private:
  std::string file_;
  std::vector<std::string>& errors_;
  std::vector<std::string>& warnings_;
};

}  // namespace halvard::builder
