// [[files]]: which files go into the package and the record fields each one gets.

#include "project_sections.h"

namespace halvard::builder {
namespace {

void file_rule(TomlReader& r, const toml::table& t, const toml::node& node, Project& project) {
  r.unknown_keys(t, "[[files]]",
                 {"source", "base", "into", "name", "exclude", "optional", "kind", "overwrite", "flags",
                  "attributes", "date", "version", "shortcut_text", "shortcut_text2", "shortcut_text3",
                  "destination", "msi_value"});
  FileRule rule;
  rule.where = r.position(node);
  FileRecord& rec = rule.record;
  if (!r.text(t, "source", rule.source)) r.error(node, "a [[files]] entry needs 'source' (a file name or a glob)");
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
  if (r.u32(t, "msi_value", rec.MsiValue) && rec.Kind != file_kind::msi_package)
    r.error(*t.get("msi_value"), "'msi_value' is stored only for kind \"msi_package\"");
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
