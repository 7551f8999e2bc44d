// [[files]]: which files go into the package and the record fields each one gets.

#include "project_sections.h"

namespace halvard::builder {
namespace {

// The key's node, for errors; the caller knows it is there.
const toml::node& at(const toml::table& t, std::string_view key) { return *t.get(key); }

std::string kind_name(uint32_t kind) { return "\"" + describe_value(file_kind_names(), kind) + "\""; }

// The fields that only some kinds store or use: a font's and an applet's name (both
// carried in VersionText, where the engine reads them), an MSI package's user-interface
// level (MsiValue) and removal record (Flags bit 7), and the keep flag (Flags bit 5).
void component_fields(TomlReader& r, const toml::table& t, FileRecord& rec) {
  const uint32_t kind = rec.Kind;
  auto only_for = [&](std::string_view key, uint32_t wanted) {
    if (!t.contains(key) || kind == wanted) return true;
    r.error(at(t, key), "'" + std::string(key) + "' is only for kind " + kind_name(wanted) + ", and this entry's kind is " +
                            kind_name(kind));
    return false;
  };
  auto named_text = [&](std::string_view key, uint32_t wanted) {
    if (!only_for(key, wanted)) return;
    std::string value;
    if (!r.text(t, key, value)) return;
    if (t.contains("version")) {
      r.error(at(t, key), "give the name either in '" + std::string(key) + "' or in 'version', not both");
      return;
    }
    if (value.empty()) {
      r.error(at(t, key), "'" + std::string(key) + "' must not be empty");
      return;
    }
    rec.VersionText = std::move(value);
  };
  named_text("font_name", file_kind::font);
  named_text("applet_name", file_kind::control_panel);
  if (kind == file_kind::font && rec.VersionText.empty() && !t.contains("font_name") && t.contains("kind"))
    r.error(at(t, "kind"),
            "a font needs 'font_name', the name Windows lists it under (the registry value the engine writes), "
            "such as \"DejaVu Sans (TrueType)\"");

  if (only_for("msi_value", file_kind::msi_package)) r.u32(t, "msi_value", rec.MsiValue);
  if (t.contains("msi_ui_level") && only_for("msi_ui_level", file_kind::msi_package)) {
    if (t.contains("msi_value"))
      r.error(at(t, "msi_ui_level"), "give the level either in 'msi_ui_level' or in 'msi_value', not both");
    else
      r.named(t, "msi_ui_level", msi_ui_level_names(), rec.MsiValue);
  }
  if ((rec.Flags & file_flag::msi_list) && kind != file_kind::msi_package)
    r.error(at(t, "flags"), "'flags': \"msi_list\" is only for kind \"msi_package\", and this entry's kind is " +
                                kind_name(kind));
  bool remove = false;
  if (only_for("msi_remove_at_uninstall", file_kind::msi_package) && r.boolean(t, "msi_remove_at_uninstall", remove)) {
    if (!remove && (rec.Flags & file_flag::msi_list))
      r.error(at(t, "msi_remove_at_uninstall"), "'msi_remove_at_uninstall' is false but 'flags' holds \"msi_list\"");
    else if (remove)
      rec.Flags |= file_flag::msi_list;
  }
  bool keep = false;
  if (r.boolean(t, "keep", keep)) {
    if (!keep && (rec.Flags & file_flag::keep_at_uninstall))
      r.error(at(t, "keep"), "'keep' is false but 'flags' holds \"keep_at_uninstall\"");
    else if (keep)
      rec.Flags |= file_flag::keep_at_uninstall;
  }
}

void file_rule(TomlReader& r, const toml::table& t, const toml::node& node, Project& project) {
  r.unknown_keys(t, "[[files]]", section_keys("files"));
  FileRule rule;
  // What is said about the entry's files later (no match, a name refused) points at
  // its 'source' line.
  rule.where = r.position(t.contains("source") ? at(t, "source") : node);
  FileRecord& rec = rule.record;
  if (!r.text(t, "source", rule.source)) {
    if (!t.contains("source")) r.error(node, "a [[files]] entry needs 'source' (a file name or a glob)");
  }
  r.text(t, "base", rule.base);
  r.text(t, "into", rule.into);
  r.text(t, "name", rule.name);
  r.texts(t, "exclude", rule.exclude);
  r.boolean(t, "optional", rule.optional);
  r.named(t, "kind", file_kind_names(), rec.Kind);
  if (t.contains("kind") && !is_file_kind(rec.Kind))
    r.error(*t.get("kind"), "'kind' " + std::to_string(rec.Kind) + " is not a file kind; known names: " +
                                list_names(file_kind_names()));
  r.bits(t, "flags", file_flag_names(), rec.Flags);
  uint32_t overwrite = 0;
  if (r.named(t, "overwrite", overwrite_mode_names(), overwrite)) {
    if (overwrite & ~file_flag::overwrite_mask)
      r.error(*t.get("overwrite"), "'overwrite' must be one of: " + list_names(overwrite_mode_names()));
    else if (t.contains("flags") && (rec.Flags & file_flag::overwrite_mask))
      r.error(*t.get("overwrite"), "give the overwrite mode either in 'overwrite' or in 'flags', not both");
    else
      rec.Flags |= overwrite;
  }
  if (const toml::node* a = t.get("attributes")) {
    if (const auto* s = a->as_string(); s && s->get() == "unchanged")
      rec.Attributes = file_attributes_unchanged;
    else
      r.bits(t, "attributes", file_attribute_names(), rec.Attributes);
  }
  if (const toml::node* d = t.get("date")) {
    if (const auto* s = d->as_string(); s && s->get() == "modified") {
      rule.date_source = DateSource::modified_time;
    } else if (r.date(t, "date", rec.FileDate)) {
      rule.date_source = rec.FileDate.month == 0 ? DateSource::none : DateSource::fixed;
    }
  }
  r.text(t, "version", rec.VersionText);
  r.text(t, "shortcut_text", rec.ShortcutText);
  r.text(t, "shortcut_text2", rec.ShortcutText2);
  r.text(t, "shortcut_text3", rec.ShortcutText3);
  r.text(t, "destination", rec.Destination);
  if (is_file_kind(rec.Kind)) component_fields(r, t, rec);
  if (!rec.has_shortcut_text() && t.contains("shortcut_text"))
    r.error(*t.get("shortcut_text"),
            "'shortcut_text' is stored only with the flag \"desktop_shortcut\" or \"start_menu_shortcut\"");
  project.files.push_back(std::move(rule));
}

}  // namespace

void read_file_rules(TomlReader& r, const toml::table& root, Project& project) {
  const toml::array* list = r.table_array(root, "files");
  if (!list) return;
  for (const toml::node& node : *list)
    if (const auto* t = node.as_table()) file_rule(r, *t, node, project);
}

}  // namespace halvard::builder
