// The record lists: [[conditional_deletes]], [[associations]], [[shortcuts]],
// [[registration_values]], [[close_applications]], [[registry_entries]] and [[firewall]].

#include <algorithm>
#include <cctype>
#include <optional>

#include "foundation/registry_path.h"
#include "machine/close_applications.h"
#include "package/settings_stream.h"
#include "project_sections.h"
#include "records/registry_script.h"
#include "records/uninstall_data_csv.h"

namespace halvard::builder {
namespace {

// Type bytes of the uninstall registration's extra values; any other byte is a string.
constexpr NamedValue value_types[] = {{"string", 1}, {"expand_string", 2}, {"dword", 4}};
// Registry types of the script's values; any other number is written as it stands.
constexpr NamedValue registry_types[] = {
    {"string", 1}, {"expand_string", 2}, {"binary", 3}, {"dword", 4}, {"qword", 11}};

bool hex_pairs(std::string_view text) {
  std::string compact;
  for (char c : text)
    if (c != ' ' && c != '\t') compact += c;
  return compact.size() % 2 == 0 && std::all_of(compact.begin(), compact.end(),
                                                [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

bool number_text(std::string_view text) {
  std::string_view t = trim_blanks(text);
  if (!t.empty() && (t.front() == '-' || t.front() == '+')) t.remove_prefix(1);
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X'))
    return std::all_of(t.begin() + 2, t.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
  return !t.empty() && std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void append_line(std::string& list, const std::string& line) {
  if (!list.empty() && list.back() != '\n') list += "\r\n";
  list += line;
}

uint8_t byte_or_bool(TomlReader& r, const toml::table& t, std::string_view key) {
  const toml::node* node = t.get(key);
  if (!node) return 0;
  if (const auto* b = node->as_boolean()) return b->get() ? 1 : 0;
  uint8_t v = 0;
  r.u8(t, key, v);
  return v;
}

// Calls `read` for each table of the list and checks its length.
template <typename F>
void each(TomlReader& r, const toml::table& root, std::string_view key, size_t limit, F read) {
  const toml::array* list = r.table_array(root, key);
  if (!list) return;
  if (list->size() > limit)
    r.error(*root.get(key), "[[" + std::string(key) + "]] holds " + std::to_string(list->size()) +
                                " entries; at most " + std::to_string(limit) + " are allowed");
  for (const toml::node& node : *list)
    if (const auto* t = node.as_table()) read(*t, node);
}

}  // namespace

void read_list_sections(TomlReader& r, const toml::table& root, Project& project) {
  InstallSettings& s = project.settings;

  each(r, root, "conditional_deletes", max_conditional_deletes, [&](const toml::table& t, const toml::node& node) {
    r.unknown_keys(t, "[[conditional_deletes]]", section_keys("conditional_deletes"));
    ConditionalDelete e;
    if (!r.text(t, "path", e.path_pattern)) r.error(node, "a conditional delete needs 'path'");
    if (e.path_pattern == conditional_deletes_end)
      r.error(node, std::string("a conditional delete's path cannot be \"") + conditional_deletes_end + "\"");
    r.u8(t, "kind", e.kind);
    r.text(t, "value", e.value);
    r.u8(t, "flags", e.flags);
    s.ConditionalDeletes.push_back(std::move(e));
  });

  each(r, root, "associations", max_list_entries, [&](const toml::table& t, const toml::node& node) {
    r.unknown_keys(t, "[[associations]]", section_keys("associations"));
    FileAssociation a;
    r.u32(t, "flags", a.flags);
    if (!r.text(t, "extension", a.extension)) r.error(node, "an association needs 'extension'");
    r.text(t, "class_name", a.class_name);
    r.text(t, "description", a.description);
    if (!r.text(t, "verb", a.verb) || a.verb.empty()) r.error(node, "an association needs 'verb'");
    r.text(t, "verb_text", a.verb_text);
    r.text(t, "command", a.command);
    r.text(t, "language", a.language);
    r.text(t, "icon", a.icon);
    s.FileAssociations.push_back(std::move(a));
  });

  each(r, root, "shortcuts", max_list_entries, [&](const toml::table& t, const toml::node& node) {
    r.unknown_keys(t, "[[shortcuts]]", section_keys("shortcuts"));
    ShortcutEntry e;
    if (!r.text(t, "target", e.target)) r.error(node, "a shortcut needs 'target'");
    r.text(t, "name", e.name);
    r.text(t, "icon_file", e.icon_file);
    r.text(t, "arguments", e.arguments);
    r.text(t, "working_directory", e.working_directory);
    e.desktop = byte_or_bool(r, t, "desktop");
    e.start_menu = byte_or_bool(r, t, "start_menu");
    e.startup = byte_or_bool(r, t, "startup");
    r.text(t, "custom_folder", e.custom_folder);
    r.u8(t, "show_mode", e.show_mode);
    e.keep = byte_or_bool(r, t, "keep");
    s.ShortcutEntries.push_back(std::move(e));
  });

  each(r, root, "registry_entries", max_list_entries, [&](const toml::table& t, const toml::node& node) {
    r.unknown_keys(t, "[[registry_entries]]", section_keys("registry_entries"));
    std::string key, name, data;
    uint32_t type = 1;
    bool only_remove = false, keep = false;
    if (!r.text(t, "key", key)) r.error(node, "a registry entry needs 'key'");
    // Each is read (and checked) whether or not another was given.
    const bool has_name = r.text(t, "name", name);
    const bool has_type = r.named(t, "type", registry_types, type);
    const bool has_data = r.text(t, "data", data);
    const bool value = has_name || has_type || has_data;
    r.boolean(t, "only_remove", only_remove);
    r.boolean(t, "keep", keep);
    const toml::node& where = t.get("key") ? *t.get("key") : node;
    std::optional<RegistryKeyPath> path = parse_registry_key_path(key);
    if (!key.empty() && (!path || path->key.empty()))
      r.error(where,
              "'key' (\"" + key +
                  "\") must begin with \\HKLM\\, \\HKCU\\, \\HKCR\\, \\HKU\\, \\HKCC\\ or \\HKAU\\ and name a key");
    if (type == 3 && !hex_pairs(data))
      r.error(t.get("data") ? *t.get("data") : node, "a binary value's 'data' must be pairs of hexadecimal digits");
    if ((type == 4 || type == 11) && !number_text(data))
      r.error(t.get("data") ? *t.get("data") : node, "a number value's 'data' must be a decimal or 0x number");
    const std::string line =
        value ? csv_record({key, name, std::to_string(type), data, only_remove ? "1" : "0", keep ? "1" : "0"})
              : csv_field(key);
    std::vector<RegistryScriptEntry> parsed = parse_registry_script(line);
    if (parsed.size() != 1 || parsed[0].kind == RegistryScriptEntry::Kind::illegal)
      r.error(where, "'key' (\"" + key + "\") cannot be written: no empty, \".\" or \"..\" parts, no line breaks");
    append_line(s.RegistryScript, line);
  });

  each(r, root, "firewall", max_list_entries, [&](const toml::table& t, const toml::node& node) {
    r.unknown_keys(t, "[[firewall]]", section_keys("firewall"));
    std::string program, name;
    int64_t port = 0;
    const bool is_program = r.text(t, "program", program);
    const bool is_port = r.number(t, "port", 1, 65535, port);
    if (is_program == is_port) r.error(node, "a firewall exception needs either 'program' or 'port'");
    r.text(t, "name", name);
    uint32_t protocols = 0;
    std::vector<std::string> names;
    if (r.texts(t, "protocols", names)) {
      for (const std::string& protocol : names) {
        if (protocol == "tcp")
          protocols |= 1;
        else if (protocol == "udp")
          protocols |= 2;
        else
          r.error(*t.get("protocols"), "'protocols': unknown protocol \"" + protocol + "\"; known: tcp, udp");
      }
    } else if (is_port) {
      r.error(node, "a firewall port needs 'protocols' (\"tcp\", \"udp\" or both)");
    }
    bool keep = false;
    r.boolean(t, "keep", keep);
    for (const std::string& text : {program, name})
      if (text.find_first_of(";\r\n") != std::string::npos)
        r.error(node, "a firewall exception's program and name cannot hold ';' or line breaks");
    const std::string first = is_port ? std::to_string(port) : program;
    append_line(s.FirewallList, first + ";" + name + ";" + std::to_string(protocols) + ";" + (keep ? "1" : ""));
  });

  each(r, root, "registration_values", max_list_entries, [&](const toml::table& t, const toml::node& node) {
    r.unknown_keys(t, "[[registration_values]]", section_keys("registration_values"));
    RegistrationValue v;
    if (!r.text(t, "name", v.name)) r.error(node, "a registration value needs 'name'");
    uint32_t type = 1;
    if (r.named(t, "type", value_types, type) && type > 255)
      r.error(*t.get("type"), "'type' must be between 0 and 255");
    v.type = uint8_t(type);
    r.text(t, "value", v.value);
    s.RegistrationValues.push_back(std::move(v));
  });

  each(r, root, "close_applications", max_list_entries, [&](const toml::table& t, const toml::node& node) {
    r.unknown_keys(t, "[[close_applications]]", section_keys("close_applications"));
    CloseApplication c;
    r.text(t, "window_class", c.window_class);
    if (c.window_class == close_applications_end)
      r.error(node, std::string("a window class cannot be \"") + close_applications_end + "\"");
    r.text(t, "window_title", c.window_title);
    r.text(t, "application_name", c.application_name);
    uint8_t mode = 0;
    r.u8(t, "mode", mode);
    c.mode = mode;
    // Without phases an entry would never apply: by default it closes the product's
    // windows before installing and before uninstalling.
    c.phases = close_before_install | close_before_uninstall;
    r.u8(t, "phases", c.phases);
    s.CloseApplications.push_back(std::move(c));
  });
}

}  // namespace halvard::builder
