#include "toml_reader.h"

#include <cmath>
#include <cstdio>

#include "text_encoding.h"

namespace halvard::builder {

std::string SourcePos::text() const {
  if (line <= 0) return file;
  return file + ":" + std::to_string(line) + ":" + std::to_string(column);
}

SourcePos TomlReader::position(const toml::node& node) const {
  const auto& begin = node.source().begin;
  return {file_, int(begin.line), int(begin.column)};
}

SourcePos TomlReader::position(const toml::key& key) const {
  const auto& begin = key.source().begin;
  return {file_, int(begin.line), int(begin.column)};
}

void TomlReader::error(const toml::node& node, std::string_view text) { error(position(node), text); }

void TomlReader::error(const SourcePos& where, std::string_view text) {
  errors_.push_back(where.text() + ": " + std::string(text));
}

void TomlReader::warning(const SourcePos& where, std::string_view text) {
  warnings_.push_back(where.text() + ": " + std::string(text));
}

void TomlReader::error(std::string_view text) { errors_.push_back(file_ + ": " + std::string(text)); }

std::optional<std::string> TomlReader::ansi(const toml::node& node, std::string_view utf8) {
  auto converted = utf8_to_cp1252(utf8);
  if (!converted) {
    std::string composed;
    std::string text = "the text holds a character that Windows-1252 cannot show: " + cp1252_refusal(utf8, &composed);
    if (!composed.empty()) text += " (a decomposed accent); write it composed: \"" + composed + "\"";
    error(node, text);
  }
  return converted;
}

bool TomlReader::text(const toml::table& t, std::string_view key, std::string& out) {
  const toml::node* node = t.get(key);
  if (!node) return false;
  const auto* s = node->as_string();
  if (!s) {
    error(*node, "'" + std::string(key) + "' must be a text in double quotes");
    return false;
  }
  auto converted = ansi(*node, s->get());
  if (!converted) return false;
  if (converted->find('\0') != std::string::npos) {
    error(*node, "'" + std::string(key) + "' must not hold a NUL character");
    return false;
  }
  out = std::move(*converted);
  return true;
}

bool TomlReader::boolean(const toml::table& t, std::string_view key, bool& out) {
  const toml::node* node = t.get(key);
  if (!node) return false;
  if (const auto* b = node->as_boolean()) {
    out = b->get();
    return true;
  }
  error(*node, "'" + std::string(key) + "' must be true or false");
  return false;
}

bool TomlReader::number(const toml::table& t, std::string_view key, int64_t low, int64_t high, int64_t& out) {
  const toml::node* node = t.get(key);
  if (!node) return false;
  const auto* i = node->as_integer();
  if (!i) {
    error(*node, "'" + std::string(key) + "' must be a whole number");
    return false;
  }
  const int64_t v = i->get();
  if (v < low || v > high) {
    error(*node, "'" + std::string(key) + "' must be between " + std::to_string(low) + " and " + std::to_string(high));
    return false;
  }
  out = v;
  return true;
}

bool TomlReader::u8(const toml::table& t, std::string_view key, uint8_t& out) {
  int64_t v = 0;
  if (!number(t, key, 0, 255, v)) return false;
  out = uint8_t(v);
  return true;
}

bool TomlReader::u16(const toml::table& t, std::string_view key, uint16_t max, uint16_t& out) {
  int64_t v = 0;
  if (!number(t, key, 0, max, v)) return false;
  out = uint16_t(v);
  return true;
}

bool TomlReader::u32(const toml::table& t, std::string_view key, uint32_t& out) {
  int64_t v = 0;
  if (!number(t, key, 0, 0xFFFFFFFFll, v)) return false;
  out = uint32_t(v);
  return true;
}

bool TomlReader::i32(const toml::table& t, std::string_view key, int32_t& out) {
  int64_t v = 0;
  if (!number(t, key, INT32_MIN, INT32_MAX, v)) return false;
  out = int32_t(v);
  return true;
}

bool TomlReader::f64(const toml::table& t, std::string_view key, double& out) {
  const toml::node* node = t.get(key);
  if (!node) return false;
  if (const auto* f = node->as_floating_point()) {
    out = f->get();
  } else if (const auto* i = node->as_integer()) {
    out = double(i->get());
  } else {
    error(*node, "'" + std::string(key) + "' must be a number");
    return false;
  }
  if (!std::isfinite(out)) {
    error(*node, "'" + std::string(key) + "' must be a finite number");
    return false;
  }
  return true;
}

bool TomlReader::color(const toml::table& t, std::string_view key, uint32_t& out) {
  const toml::node* node = t.get(key);
  if (!node) return false;
  if (node->is_integer()) return u32(t, key, out);
  const auto* s = node->as_string();
  unsigned r = 0, g = 0, b = 0;
  int used = 0;
  const auto hex_digits = [](std::string_view text) {
    return text.find_first_not_of("0123456789abcdefABCDEF") == std::string_view::npos;
  };
  if (s && s->get().size() == 7 && s->get()[0] == '#' && hex_digits(std::string_view(s->get()).substr(1)) &&
      std::sscanf(s->get().c_str(), "#%2x%2x%2x%n", &r, &g, &b, &used) == 3 && used == 7) {
    out = r | (g << 8) | (b << 16);
    return true;
  }
  error(*node, "'" + std::string(key) + "' must be a colour \"#RRGGBB\" or a number");
  return false;
}

bool TomlReader::bits(const toml::table& t, std::string_view key, std::span<const NamedBit> names, uint32_t& out) {
  const toml::node* node = t.get(key);
  if (!node) return false;
  uint32_t value = 0;
  bool ok = true;
  auto one = [&](const toml::node& item) {
    if (const auto* i = item.as_integer()) {
      if (i->get() < 0 || i->get() > 0xFFFFFFFFll) {
        error(item, "'" + std::string(key) + "': a raw number must fit 32 bits");
        ok = false;
      } else {
        value |= uint32_t(i->get());
      }
    } else if (const auto* s = item.as_string()) {
      if (auto mask = find_bit(names, s->get())) {
        value |= *mask;
      } else {
        error(item, "'" + std::string(key) + "': unknown name \"" + s->get() + "\"; known names: " + list_names(names));
        ok = false;
      }
    } else {
      error(item, "'" + std::string(key) + "' takes names in double quotes or numbers");
      ok = false;
    }
  };
  if (const auto* a = node->as_array()) {
    for (const toml::node& item : *a) one(item);
  } else {
    one(*node);
  }
  if (ok) out = value;
  return ok;
}

bool TomlReader::named(const toml::table& t, std::string_view key, std::span<const NamedValue> names, uint32_t& out) {
  const toml::node* node = t.get(key);
  if (!node) return false;
  if (node->is_integer()) return u32(t, key, out);
  if (const auto* s = node->as_string()) {
    if (auto v = find_value(names, s->get())) {
      out = *v;
      return true;
    }
    error(*node, "'" + std::string(key) + "': unknown name \"" + s->get() + "\"; known names: " + list_names(names));
    return false;
  }
  error(*node, "'" + std::string(key) + "' takes a name in double quotes or a number");
  return false;
}

bool TomlReader::date(const toml::table& t, std::string_view key, FileDate& out) {
  const toml::node* node = t.get(key);
  if (!node) return false;
  if (const auto* dt = node->as_date_time()) {
    const auto& v = dt->get();
    out = {v.date.year, v.date.month, v.date.day, v.time.hour, v.time.minute, v.time.second};
    return true;
  }
  if (const auto* d = node->as_date()) {
    const auto& v = d->get();
    out = {v.year, v.month, v.day, -1, 0, 0};  // a negative hour: no time
    return true;
  }
  if (const auto* s = node->as_string(); s && s->get() == "none") {
    out = {};
    return true;
  }
  error(*node, "'" + std::string(key) + "' must be a date (2024-05-01), a date and time (2024-05-01T12:00:00) or \"none\"");
  return false;
}

bool TomlReader::texts(const toml::table& t, std::string_view key, std::vector<std::string>& out) {
  const toml::node* node = t.get(key);
  if (!node) return false;
  std::vector<std::string> list;
  auto one = [&](const toml::node& item) {
    const auto* s = item.as_string();
    if (!s) {
      error(item, "'" + std::string(key) + "' takes texts in double quotes");
      return false;
    }
    auto converted = ansi(item, s->get());
    if (!converted) return false;
    list.push_back(std::move(*converted));
    return true;
  };
  if (const auto* a = node->as_array()) {
    for (const toml::node& item : *a)
      if (!one(item)) return false;
  } else if (!one(*node)) {
    return false;
  }
  out = std::move(list);
  return true;
}

const toml::table* TomlReader::table(const toml::table& t, std::string_view key) {
  const toml::node* node = t.get(key);
  if (!node) return nullptr;
  if (const auto* tab = node->as_table()) return tab;
  error(*node, "'" + std::string(key) + "' must be a table ([" + std::string(key) + "])");
  return nullptr;
}

const toml::array* TomlReader::table_array(const toml::table& t, std::string_view key) {
  const toml::node* node = t.get(key);
  if (!node) return nullptr;
  const auto* a = node->as_array();
  if (a && a->is_array_of_tables()) return a;
  if (a && a->empty()) return a;
  error(*node, "'" + std::string(key) + "' must be a list of tables ([[" + std::string(key) + "]])");
  return nullptr;
}

void TomlReader::unknown_keys(const toml::table& t, std::string_view where, std::initializer_list<std::string_view> known) {
  unknown_keys(t, where, std::span<const std::string_view>(known.begin(), known.size()));
}

void TomlReader::unknown_keys(const toml::table& t, std::string_view where, std::span<const ProjectKey> known) {
  std::vector<std::string_view> names;
  for (const ProjectKey& k : known) names.push_back(k.name);
  unknown_keys(t, where, std::span<const std::string_view>(names));
}

void TomlReader::unknown_keys(const toml::table& t, std::string_view where, std::span<const std::string_view> known) {
  for (auto&& [k, v] : t) {
    bool found = false;
    for (std::string_view name : known) found = found || k.str() == name;
    if (!found) {
      std::string names;
      for (std::string_view name : known) names += (names.empty() ? "" : ", ") + std::string(name);
      error(position(k), "unknown key '" + std::string(k.str()) + "' in " + std::string(where) + "; known keys: " + names);
    }
  }
}

}  // namespace halvard::builder
