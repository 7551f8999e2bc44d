// The record lists: [[conditional_deletes]], [[associations]], [[shortcuts]],
// [[registration_values]] and [[close_applications]].

#include "project_sections.h"
#include "package/settings_stream.h"
#include "machine/close_applications.h"

namespace halvard::builder {
namespace {

// Type bytes of the uninstall registration's extra values; any other byte is a string.
constexpr NamedValue value_types[] = {{"string", 1}, {"expand_string", 2}, {"dword", 4}};

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
    r.unknown_keys(t, "[[conditional_deletes]]", {"path", "kind", "value", "flags"});
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
    r.unknown_keys(t, "[[associations]]", {"flags", "extension", "class_name", "description", "verb",
                                           "verb_text", "command", "language", "icon"});
    FileAssociation a;
    r.u32(t, "flags", a.flags);
    if (!r.text(t, "extension", a.extension)) r.error(node, "an association needs 'extension'");
    r.text(t, "class_name", a.class_name);
    r.text(t, "description", a.description);
    r.text(t, "verb", a.verb);
    r.text(t, "verb_text", a.verb_text);
    r.text(t, "command", a.command);
    r.text(t, "language", a.language);
    r.text(t, "icon", a.icon);
    s.FileAssociations.push_back(std::move(a));
  });

  each(r, root, "shortcuts", max_list_entries, [&](const toml::table& t, const toml::node& node) {
    r.unknown_keys(t, "[[shortcuts]]", {"target", "name", "icon_file", "arguments", "working_directory",
                                        "desktop", "start_menu", "startup", "custom_folder", "show_mode", "keep"});
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

  each(r, root, "registration_values", max_list_entries, [&](const toml::table& t, const toml::node& node) {
    r.unknown_keys(t, "[[registration_values]]", {"name", "type", "value"});
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
    r.unknown_keys(t, "[[close_applications]]", {"window_class", "window_title", "application_name", "mode",
                                                 "phases"});
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
