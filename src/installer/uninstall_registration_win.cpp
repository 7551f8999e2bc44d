#include "installer/uninstall_registration_win.h"

#include <windows.h>

#include <vector>

#include "foundation/date_time.h"
#include "foundation/date_time_win.h"
#include "foundation/disk.h"
#include "foundation/product_view_win.h"
#include "foundation/registry_access_win.h"
#include "foundation/windows_error.h"
#include "installer/file_install_win.h"
#include "installer/overwrite_rules.h"
#include "installer/uninstall_registration_icon.h"
#include "package/file_table.h"
#include "records/deferred_operations_win.h"
#include "records/uninstall_data.h"
#include "variables/variable_values_win.h"

namespace halvard {
namespace {

constexpr REGSAM key_access = product_key_access;
constexpr WORD english_us = 1033;

static_assert(registry_bad_path_error == ERROR_BAD_PATHNAME);

// Seam: the package stream carries no uninstaller icon yet. When it does, its bytes
// (an icon file image) are returned here and place_uninstaller puts them in.
std::span<const uint8_t> uninstaller_icon(const InstallSettings&) { return {}; }

// ---- Registry ----

LONG apply(HKEY key, const RegistryOperation& op) {
  const char* name = op.name.c_str();
  switch (op.kind) {
    case RegistryOperationKind::set_string:
    case RegistryOperationKind::set_expand_string:
      return RegSetValueExA(key, name, 0, op.kind == RegistryOperationKind::set_string ? REG_SZ : REG_EXPAND_SZ,
                            reinterpret_cast<const BYTE*>(op.text.c_str()), DWORD(op.text.size() + 1));
    case RegistryOperationKind::set_dword: {
      DWORD number = op.number;
      return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
    }
    case RegistryOperationKind::delete_value: {
      LONG result = RegDeleteValueA(key, name);
      return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
    }
  }
  return ERROR_INVALID_PARAMETER;
}

LONG apply_under(HKEY parent, const std::string& key_path, REGSAM access, const RegistryOperation& op) {
  RegistryKey key;
  LONG result = key.create(parent, key_path, access);
  if (result != ERROR_SUCCESS) return result;
  result = apply(key.get(), op);
  return result;
}

// "\HKAU\": the same key in every user profile whose hive is loaded; success only when
// it succeeded in each.
LONG apply_for_all_users(REGSAM access, const RegistryOperation& op) {
  LONG outcome = ERROR_SUCCESS;
  bool listed = for_each_user_hive(KEY_READ, [&](HKEY user) {
    LONG here = apply_under(user, op.key.key, access, op);
    if (here != ERROR_SUCCESS) outcome = here;
  });
  return listed ? outcome : LONG(ERROR_FILE_NOT_FOUND);
}

// A value named by a full registry path. The product's own registry entries go to the
// 64-bit view in 64-bit mode, so values the package points at the same keys go there too.
LONG apply_at_path(const InstallSettings& settings, const RegistryOperation& op) {
  if (op.target == ValueTarget::invalid_path) return ERROR_BAD_PATHNAME;
  REGSAM access = key_access | product_registry_view(settings.ProductFlags.high & product_flag::high_product_64bit);
  if (op.key.root == RegistryRoot::all_users) return apply_for_all_users(access, op);
  return apply_under(root_key(op.key.root), op.key.key, access, op);
}

bool reads_back(HKEY key, const std::string& expected) {
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key, "UninstallString", nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  std::vector<char> data(size_t(size) + 1);
  if (RegQueryValueExA(key, "UninstallString", nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
      ERROR_SUCCESS)
    return false;
  std::string text(data.data(), size);
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return text == expected;
}

// ---- The uninstaller file ----

void replace_icon(const std::string& path, std::span<const uint8_t> icon_file, InstallLog& log) {
  HANDLE update = BeginUpdateResourceA(path.c_str(), FALSE);
  if (!update) {
    log.write("Failed to open uninstaller for icon replacement.\r\n");
    return;
  }
  std::optional<IconResources> icon = icon_resources(icon_file);
  bool written = icon.has_value();
  for (size_t i = 0; written && i < icon->images.size(); ++i) {
    written = UpdateResourceA(update, RT_ICON, MAKEINTRESOURCEA(i + 1), english_us,
                              const_cast<uint8_t*>(icon->images[i].data()), DWORD(icon->images[i].size()));
  }
  written = written && UpdateResourceA(update, RT_GROUP_ICON, MAKEINTRESOURCEA(1), english_us, icon->group.data(),
                                       DWORD(icon->group.size()));
  if (!written) {
    EndUpdateResourceA(update, TRUE);
    log.write("Failed to replace uninstaller icon.\r\n");
  } else if (!EndUpdateResourceA(update, FALSE)) {
    // Committing is where the file is rewritten; a failure there leaves the old icon.
    log.write("Failed to replace uninstaller icon.\r\n");
  }
}

bool copy_engine_file(RunState& state, const std::string& source, const std::string& destination) {
  if (CopyFileA(source.c_str(), destination.c_str(), FALSE)) return true;
  // In use: a copy beside it replaces it at the next restart.
  char temporary[MAX_PATH + 1];
  std::string folder = destination.substr(0, destination.find_last_of('\\') + 1);
  if (!GetTempFileNameA(folder.empty() ? "." : folder.c_str(), "hvu", 0, temporary)) {
    state.failure_summary += no_temporary_file_text(destination, last_windows_error_text());
    return false;
  }
  if (!CopyFileA(source.c_str(), temporary, FALSE)) {
    std::string reason = last_windows_error_text();
    DeleteFileA(temporary);
    state.failure_summary += no_temporary_file_text(destination, reason);
    return false;
  }
  if (!move_at_reboot(temporary, destination)) {
    state.failure_summary += replacement_failed_text(destination, temporary, last_windows_error_text());
    DeleteFileA(temporary);
    return false;
  }
  state.reboot_wanted = true;
  state.log.write(replacement_registered_text(destination, temporary));
  return false;
}

}  // namespace

std::string uninstaller_path(const InstallSettings& settings) {
  return uninstall_folder_file(settings.UninstallDir, settings.UninstallerName);
}

bool place_uninstaller(InstallSettings& settings, const OpenedPackage& package, RunState& state,
                       const std::string& install_source, std::span<const uint8_t> icon_file) {
  const std::string path = uninstaller_path(settings);
  if (!(settings.SetupOptions & setup_option::uninstaller_without_package))
    return copy_engine_file(state, install_source, path);
  FileInstallContext context(settings, state);
  WriteResult written = write_file(context, path, package.engine_copy.data(), int64_t(package.engine_copy.size()),
                                   settings.UninstallerDate, 0, true);
  if (written && !icon_file.empty()) replace_icon(path, icon_file, state.log);
  return written.written;
}

UninstallFacts gather_uninstall_facts(const InstallSettings& settings, const OpenedPackage& package,
                                      const RunState& state, const std::string& install_source) {
  UninstallFacts facts;
  facts.uninstaller_path = uninstaller_path(settings);
  facts.install_source = install_source;
  facts.start_menu_folder = state.start_menu_folder;
  facts.shared_files = state.shared_files_value;
  facts.product_fonts = product_fonts_text(state.product_fonts);
  facts.install_dir_held_files = state.install_dir_held_files;
  facts.required_space = required_space(
      settings, package.header.FileDataSizes,
      settings.InstallDir.size() > 2 && settings.InstallDir[1] == ':' ? cluster_size(settings.InstallDir[0]) : 0);
  facts.install_date = format(local_now(), default_date_time_format);
  facts.expand = [&settings](std::string& text) { expand_variables(text, settings); };
  return facts;
}

bool write_uninstall_registration(const InstallSettings& settings, const UninstallPlan& plan, RunState& state) {
  std::string error_text;
  bool registered = false;
  RegistryKey key;
  // In the 32-bit view also in 64-bit mode: the uninstaller and the next installation
  // look for the key there, and Windows lists both views.
  LONG opened = plan.key_path.empty() ? LONG(ERROR_INVALID_NAME)
                                      : key.create(HKEY_LOCAL_MACHINE, plan.key_path, key_access | registry_32bit_view);
  if (opened != ERROR_SUCCESS) {
    error_text = windows_error_text(DWORD(opened));
  } else {
    for (const RegistryOperation& op : plan.values) {
      LONG result = op.target == ValueTarget::uninstall_key ? apply(key.get(), op) : apply_at_path(settings, op);
      if (result == ERROR_SUCCESS) continue;
      if (&op == &plan.values.front()) error_text = windows_error_text(DWORD(result));
      if (!op.entry.empty())
        state.failure_summary += registration_value_failure_text(op.entry, windows_error_text(DWORD(result)));
    }
    registered = reads_back(key.get(), plan.uninstall_string);
    key.close();
    if (plan.install_dir_value) apply_at_path(settings, *plan.install_dir_value);
  }
  if (!registered) state.failure_summary += registration_failure_text(error_text);
  return registered;
}

bool register_uninstall(InstallSettings& settings, const OpenedPackage& package, RunState& state,
                        const std::string& install_source) {
  if (!state.uninstall_support) return true;
  place_uninstaller(settings, package, state, install_source, uninstaller_icon(settings));
  UninstallFacts facts = gather_uninstall_facts(settings, package, state, install_source);
  return write_uninstall_registration(settings, plan_uninstall_registration(settings, facts), state);
}

}  // namespace halvard
