// [product], [options], [uninstall], [batch], [finish], [notify], [registry],
// [reserved], [desktop] and [root_shortcut]: the product's names, options and texts.

#include <optional>

#include "foundation/registry_path.h"
#include "package/settings_stream.h"
#include "project_sections.h"
#include "records/registry_script.h"

namespace halvard::builder {
namespace {

constexpr NamedValue run_modes[] = {{"command_line", 0}, {"automatic", 1}, {"interactive", 2}};
constexpr NamedValue shared_bases[] = {{"common_files", 0}, {"common_app_data", 1}};
constexpr NamedValue admin_levels[] = {{"none", 0}, {"required", 1}, {"ask", 2}};
constexpr NamedValue shortcut_modes[] = {{"current_user", 0}, {"all_users", 1}};

template <typename T>
void narrow(TomlReader& reader, const toml::table& t, std::string_view key, std::span<const NamedValue> names,
            T& out) {
  uint32_t v = 0;
  if (!reader.named(t, key, names, v)) return;
  if (v > 0xFF)
    reader.error(*t.get(key), "'" + std::string(key) + "' must be between 0 and 255");
  else
    out = T(v);
}

void product(TomlReader& r, const toml::table& t, InstallSettings& s) {
  r.unknown_keys(t, "[product]", section_keys("product"));
  r.text(t, "name", s.ProductName);
  r.text(t, "publisher", s.Publisher);
  r.text(t, "description", s.ProductDescription);
  r.text(t, "version", s.DisplayVersion);
  r.text(t, "install_dir", s.DefaultInstallDir);
  r.text(t, "start_menu", s.ProductStartMenu);
  narrow(r, t, "shared_base", shared_bases, s.SharedBase);
  r.text(t, "shared_path", s.SharedPath);
  r.text(t, "registry_key", s.ProductRegistry);
  r.text(t, "uninstall_key", s.UninstallKeyName);
  r.text(t, "install_dir_value", s.InstallDirValue);
  r.text(t, "installing_text", s.InstallingText);
  r.text(t, "password", s.Password);
  r.text(t, "minimum_upgrade_version", s.MinimumUpgradeVersion);
  r.text(t, "must_uninstall_below", s.MustUninstallBelow);
  r.text(t, "master_product", s.MasterProduct);
  r.text(t, "master_product_message", s.MasterProductMessage);
  r.bits(t, "excluded_systems", excluded_system_names(), s.ExcludedSystems);
  narrow(r, t, "admin_requirement", admin_levels, s.AdminRequirement);
  narrow(r, t, "run_mode", run_modes, s.RunMode);
  narrow(r, t, "shortcut_mode", shortcut_modes, s.ShortcutMode);
}

void options(TomlReader& r, const toml::table& t, InstallSettings& s) {
  r.unknown_keys(t, "[options]", section_keys("options"));
  r.bits(t, "product_flags_low", product_flag_low_names(), s.ProductFlags.low);
  r.bits(t, "product_flags_high", product_flag_high_names(), s.ProductFlags.high);
  r.bits(t, "setup_options", setup_option_names(), s.SetupOptions);
}

void uninstall(TomlReader& r, const toml::table& t, Project& p) {
  InstallSettings& s = p.settings;
  r.unknown_keys(t, "[uninstall]", section_keys("uninstall"));
  r.text(t, "subdir", s.UninstallSubdir);
  r.text(t, "uninstaller_name", s.UninstallerName);
  if (r.date(t, "date", s.UninstallerDate)) p.uninstaller_date_set = true;
  r.text(t, "notify_url", s.NotifyURL);
}

void batch(TomlReader& r, const toml::table& t, InstallSettings& s) {
  r.unknown_keys(t, "[batch]", section_keys("batch"));
  r.text(t, "pre_install", s.PreInstallBatch);
  r.text(t, "post_install", s.PostInstallBatch);
  r.text(t, "exit", s.ExitBatch);
  r.text(t, "uninstall1", s.UninstallBatch1);
  r.text(t, "uninstall2", s.UninstallBatch2);
  r.text(t, "upgrade", s.UpgradeBatch);
  r.text(t, "reinstall", s.ReinstallBatch);
}

void finish(TomlReader& r, const toml::table& t, InstallSettings& s) {
  r.unknown_keys(t, "[finish]", section_keys("finish"));
  r.text(t, "view_file", s.ExitViewFile);
  r.text(t, "launch_program", s.ExitLaunchProgram);
  r.text(t, "open_file", s.ExitOpenFile);
}

void notify(TomlReader& r, const toml::table& t, InstallSettings& s) {
  r.unknown_keys(t, "[notify]", section_keys("notify"));
  r.text(t, "install", s.NotifyURL1);
  r.text(t, "upgrade", s.NotifyURL2);
  r.text(t, "downgrade", s.NotifyURL3);
  r.text(t, "reinstall", s.NotifyURL4);
  r.text(t, "uninstall", s.NotifyURL);
}

void registry(TomlReader& r, const toml::table& t, InstallSettings& s) {
  r.unknown_keys(t, "[registry]", section_keys("registry"));
  if (r.text(t, "script", s.RegistryScript)) {
    // The engine reports such lines only after the files, as failures of the installation.
    int number = 0;
    for (const RegistryScriptEntry& entry : parse_registry_script(s.RegistryScript)) {
      ++number;
      if (entry.kind == RegistryScriptEntry::Kind::key && entry.key_path.empty()) continue;  // a blank line
      const std::string where = "registry script line " + std::to_string(number) + " (\"" + entry.line + "\")";
      std::optional<RegistryKeyPath> path = parse_registry_key_path(entry.key_path);
      if (entry.kind == RegistryScriptEntry::Kind::illegal)
        r.error(*t.get("script"), where +
                                      " needs 1 field (a key) or 6 (key, name, type, data, install, uninstall), "
                                      "a number as its type and no empty, \".\" or \"..\" key parts");
      else if (!path || path->key.empty())
        r.error(*t.get("script"),
                where + " names no key under \\HKLM\\, \\HKCU\\, \\HKCR\\, \\HKU\\, \\HKCC\\ or \\HKAU\\");
    }
  }
  std::vector<std::string> lines;
  if (r.texts(t, "firewall", lines)) {
    s.FirewallList.clear();
    for (size_t i = 0; i < lines.size(); ++i) {
      // The engine refuses the whole package for such a line, so say it here.
      if (!firewall_list_well_formed(lines[i]) || lines[i].find_first_of("\r\n") != std::string::npos)
        r.error(*t.get("firewall"), "firewall line " + std::to_string(i + 1) + " (\"" + lines[i] +
                                        "\") needs four ';' fields: program or port; name; protocols; options");
      s.FirewallList += (i ? "\r\n" : "") + lines[i];
    }
  }
}

void reserved(TomlReader& r, const toml::table& t, InstallSettings& s) {
  r.unknown_keys(t, "[reserved]", section_keys("reserved"));
  r.text(t, "shared_folder_text", s.SharedFolderText);
  // The key's name before the engine's field had a meaning; kept for one release.
  if (auto old = t.find("item53"); old != t.end()) {
    const SourcePos where = r.position(old->first);
    if (t.contains("shared_folder_text"))
      r.error(where, "[reserved]: 'item53' is the old name of 'shared_folder_text' and both are given; keep "
                     "'shared_folder_text'");
    else if (r.text(t, "item53", s.SharedFolderText))
      r.warning(where, "'item53' is now 'shared_folder_text'; the old name goes in a later release");
  }
  const toml::node* node = t.get("block");
  if (!node) return;
  const auto* a = node->as_array();
  if (!a || a->size() != s.ReservedBlock.size()) {
    r.error(*node, "'block' must be a list of 20 numbers from 0 to 255");
    return;
  }
  for (size_t i = 0; i < a->size(); ++i) {
    const auto* v = (*a)[i].as_integer();
    if (!v || v->get() < 0 || v->get() > 255) {
      r.error((*a)[i], "'block' must be a list of 20 numbers from 0 to 255");
      return;
    }
    s.ReservedBlock[i] = uint8_t(v->get());
  }
}

void desktop(TomlReader& r, const toml::table& t, Project& p) {
  r.unknown_keys(t, "[desktop]", section_keys("desktop"));
  r.text(t, "folder_name", p.settings.DesktopFolderName);
  std::string icon;
  if (r.text(t, "icon", icon)) read_project_file_bytes(r, *t.get("icon"), p, icon, p.settings.DesktopIconData);
}

void root_shortcut(TomlReader& r, const toml::table& t, InstallSettings& s) {
  r.unknown_keys(t, "[root_shortcut]", section_keys("root_shortcut"));
  r.text(t, "name", s.RootShortcutName);
  r.text(t, "target", s.RootShortcutTarget);
}

}  // namespace

void read_product_sections(TomlReader& reader, const toml::table& root, Project& project) {
  InstallSettings& s = project.settings;
  if (const auto* t = reader.table(root, "product")) product(reader, *t, s);
  if (const auto* t = reader.table(root, "options")) options(reader, *t, s);
  if (const auto* t = reader.table(root, "uninstall")) uninstall(reader, *t, project);
  if (const auto* t = reader.table(root, "batch")) batch(reader, *t, s);
  if (const auto* t = reader.table(root, "finish")) finish(reader, *t, s);
  if (const auto* t = reader.table(root, "notify")) notify(reader, *t, s);
  if (const auto* t = reader.table(root, "registry")) registry(reader, *t, s);
  if (const auto* t = reader.table(root, "reserved")) reserved(reader, *t, s);
  if (const auto* t = reader.table(root, "desktop")) desktop(reader, *t, project);
  if (const auto* t = reader.table(root, "root_shortcut")) root_shortcut(reader, *t, s);
  // A name that was given but refused (not a text, or not Windows-1252) has its own error.
  const toml::node* given = root["product"]["name"].node();
  const bool refused = given && !(given->is_string() && given->as_string()->get().empty());
  if (s.ProductName.empty() && !refused) reader.error("[product] needs a 'name'");
}

}  // namespace halvard::builder
