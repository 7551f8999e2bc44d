#include "installer/registry_phase_win.h"

#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "foundation/path_rules.h"
#include "foundation/product_view_win.h"
#include "foundation/registry_access_win.h"
#include "foundation/registry_path.h"
#include "foundation/text.h"
#include "foundation/windows_error.h"
#include "package/option_bits.h"
#include "package/settings_stream.h"
#include "records/registry_script.h"
#include "records/uninstall_records.h"
#include "variables/variable_values_win.h"

namespace halvard {
namespace {

REGSAM script_access(const InstallSettings& settings) {
  return product_key_access | product_registry_view(settings.ProductFlags.high & product_flag::high_product_64bit);
}

// The keys of `path` (each a prefix of it) that are not there under `parent`,
// outermost first.
std::vector<std::string> missing_keys(HKEY parent, std::string_view path, REGSAM access) {
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  std::vector<std::string> missing;
  for (size_t end = 0; end != std::string_view::npos;) {
    end = path.find('\\', end + 1);
    std::string key(path.substr(0, end));
    if (!missing.empty()) {
      missing.push_back(key);
      continue;
    }
    RegistryKey existing;
    if (existing.open(parent, key, KEY_READ | (access & KEY_WOW64_RES)) == ERROR_FILE_NOT_FOUND) missing.push_back(key);
  }
  return missing;
}

// Creates the key (in every loaded profile for "\HKAU\") and hands each opened key to
// `write`; the system's outcome, success only when every profile succeeded. With
// `created`, the keys it made are added there, each as `prefix` + key path.
template <typename Write>
LONG with_created_key(const RegistryKeyPath& path, REGSAM access, Write write,
                      std::vector<std::string>* created = nullptr, std::string_view prefix = {}) {
  auto under = [&](HKEY parent) {
    std::vector<std::string> missing;
    if (created) missing = missing_keys(parent, path.key, access);
    RegistryKey key;
    LONG result = key.create_shared(parent, path.key, access);
    if (result != ERROR_SUCCESS) return result;
    for (std::string& made : missing) {
      std::string line = std::string(prefix) + made;
      if (std::find(created->begin(), created->end(), line) == created->end()) created->push_back(line);
    }
    return write(key.get());
  };
  if (path.root != RegistryRoot::all_users) return under(root_key(path.root));
  LONG outcome = ERROR_SUCCESS;
  for_each_user_hive(KEY_READ, [&](HKEY user) {
    LONG here = under(user);
    if (here != ERROR_SUCCESS) outcome = here;
  });
  return outcome;
}

void apply_script_entry(const InstallSettings& settings, const RegistryScriptEntry& entry, RunState& state) {
  std::string& failures = state.failure_summary;
  using Kind = RegistryScriptEntry::Kind;
  if (entry.kind == Kind::illegal) {
    failures += "Illegal registry entry: " + entry.line + "\r\n";
    return;
  }
  std::optional<RegistryKeyPath> path = parse_registry_key_path(entry.key_path);
  const bool all_users = path && path->root == RegistryRoot::all_users;
  // The root prefix as the line writes it, for the keys it makes.
  const std::string_view prefix =
      path ? std::string_view(entry.key_path).substr(0, entry.key_path.rfind(path->key)) : std::string_view();
  std::vector<std::string>* created = &state.created_registry_keys;
  if (entry.kind == Kind::key) {
    if (path && !path->key.empty())
      with_created_key(
          *path, script_access(settings), [](HKEY) { return 0L; }, created, prefix);
    return;
  }
  if (!entry.written) return;
  std::string data = entry.data;
  if (entry.type == REG_SZ) expand_variables(data, settings);
  const std::string bytes = registry_datum(entry.type, data);
  LONG value_result = ERROR_SUCCESS;
  auto write = [&](HKEY key) {
    value_result = RegSetValueExA(key, entry.value_name.c_str(), 0, entry.type,
                                  reinterpret_cast<const BYTE*>(bytes.data()), DWORD(bytes.size()));
    return value_result;
  };
  if (!path) {
    failures += "Failed to create registry key: " + entry.key_path + "\r\n";
    return;
  }
  LONG result = with_created_key(*path, script_access(settings), write, created, prefix);
  if (all_users || result == ERROR_SUCCESS) return;  // a profile's failure is not reported
  if (value_result != ERROR_SUCCESS)
    failures +=
        "Failed to create registry value \"" + entry.value_name + "\": " + windows_error_text(value_result) + "\r\n";
  else
    failures += "Failed to create registry key: " + entry.key_path + "\r\n";
}

// ---- Associations ----

constexpr REGSAM classes_access = product_key_access | registry_32bit_view;

// Saves the earlier default value under `backup` when it differs from `text`, then
// writes `text`. An empty or missing earlier value is saved as a blank one, so that the
// uninstaller knows to take the installation's value away again. A backup that is
// already there is the first installation's and stays.
LONG replace_default(HKEY key, const std::string& text, const std::string& backup) {
  std::string earlier = read_registry_text(key, "").value_or(std::string());
  const bool backed_up = read_registry_text(key, backup).has_value();
  if (!backed_up && !equal_ignoring_case(earlier, text))
    RegSetValueExA(key, backup.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(earlier.c_str()),
                   DWORD(earlier.size() + 1));
  return RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), DWORD(text.size() + 1));
}

std::string quoted_line(const char* format, const std::string& value) {
  char line[1024];
  std::snprintf(line, sizeof line, format, value.c_str());
  return line;
}

void associate(const InstallSettings& settings, const FileAssociation& entry, std::string& failures,
               UninstallData& data, const std::string& backup) {
  const std::string extension = entry.extension.front() == '.' ? entry.extension : "." + entry.extension;
  std::string class_name = entry.class_name;
  bool use_existing = class_name.empty() || class_name.front() == '!';

  RegistryKey extension_key;
  LONG opened = class_name.empty() ? extension_key.open(HKEY_CLASSES_ROOT, extension, classes_access)
                                   : extension_key.create(HKEY_CLASSES_ROOT, extension, classes_access);
  if (opened == ERROR_SUCCESS) {
    if (use_existing) {
      std::string existing = read_registry_text(extension_key.get(), "").value_or(std::string());
      if (!existing.empty()) {
        class_name = existing;
      } else if (!class_name.empty()) {
        class_name.erase(0, 1);
        use_existing = false;
      } else {
        failures += quoted_line("Association failed/no label:  \"%s\".\r\n\r\n", extension);
        return;
      }
    }
    if (!use_existing) replace_default(extension_key.get(), class_name, backup);
  } else if (use_existing) {
    failures += quoted_line("Association failed/key inaccessible:  \"%s\".\r\n\r\n", extension);
    return;
  }
  extension_key.close();
  // An existing class named with "!" and nothing else in the extension key.
  if (class_name.empty()) {
    failures += quoted_line("Association failed/no label:  \"%s\".\r\n\r\n", extension);
    return;
  }

  bool done = false;
  RegistryKey class_key;
  if (class_key.create(HKEY_CLASSES_ROOT, class_name, classes_access) == ERROR_SUCCESS) {
    if (!use_existing && !entry.description.empty()) replace_default(class_key.get(), entry.description, backup);
    if (!entry.icon.empty()) {
      RegistryKey icon;
      std::string text = entry.icon;
      expand_variables(text, settings);
      if (icon.create(class_key.get(), "DefaultIcon", classes_access) == ERROR_SUCCESS)
        replace_default(icon.get(), text, backup);
    }
    RegistryKey shell, verb, command;
    if (shell.create(class_key.get(), "shell", classes_access) == ERROR_SUCCESS) {
      if (entry.flags & 1) replace_default(shell.get(), entry.verb, backup);
      // Without a verb the command would land on "shell" itself.
      if (!entry.verb.empty() && verb.create(shell.get(), entry.verb, classes_access) == ERROR_SUCCESS) {
        replace_default(verb.get(), entry.verb_text, backup);
        std::string text = entry.command;
        expand_variables(text, settings);
        if (command.create(verb.get(), "command", classes_access) == ERROR_SUCCESS)
          done = replace_default(command.get(), text, backup) == ERROR_SUCCESS;
      }
    }
  }
  data.associations.push_back({extension, class_name, entry.verb});
  if (!done) failures += quoted_line("Failed to associate file type:  \"%s\".\r\n\r\n", extension);
}

std::string language_name(const InstallSettings& settings) {
  if (settings.LanguageIndex < 0 || size_t(settings.LanguageIndex) >= settings.LanguageNames.size()) return {};
  return settings.LanguageNames[size_t(settings.LanguageIndex)];
}

// ---- Firewall ----

// The second ";" field of a firewall line: the exception's name.
std::string exception_name(std::string_view line) {
  size_t first = line.find(';');
  size_t second = line.find(';', first + 1);
  return std::string(line.substr(first + 1, second - first - 1));
}

std::string port_line(const char* protocol, int port) {
  char line[128];
  std::snprintf(line, sizeof line, "Added firewall exception: %s port %d\r\n", protocol, port);
  return line;
}

std::string code_line(const char* format, int number, int code = 0) {
  char line[256];
  std::snprintf(line, sizeof line, format, number, code);
  return line;
}

}  // namespace

void apply_registry_key_and_script(const InstallSettings& settings, RunState& state) {
  if (!settings.ProductRegistry.empty()) {
    const std::string key_path = "Software\\" + settings.ProductRegistry;
    with_created_key({RegistryRoot::all_users, key_path}, script_access(settings), [](HKEY) { return 0L; });
    LONG result =
        with_created_key({RegistryRoot::local_machine, key_path}, script_access(settings), [](HKEY) { return 0L; });
    if (result != ERROR_SUCCESS) {
      char line[1024];
      std::snprintf(line, sizeof line, "Error creating registry keys at \\Software\\%s\r\nCode %d: %s\r\n\r\n",
                    settings.ProductRegistry.c_str(), int(result), windows_error_text(DWORD(result)).c_str());
      state.failure_summary += line;
    }
  }
  for (const RegistryScriptEntry& entry : parse_registry_script(settings.RegistryScript))
    apply_script_entry(settings, entry, state);
}

void apply_associations(const InstallSettings& settings, RunState& state) {
  if (settings.FileAssociations.empty()) return;
  const std::string backup = association_backup_name(settings.ProductName);
  const std::string language = language_name(settings);
  for (const FileAssociation& entry : settings.FileAssociations) {
    if (entry.extension.empty() || (!entry.language.empty() && entry.language != language)) continue;
    associate(settings, entry, state.failure_summary, state.uninstall_data, backup);
  }
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

void apply_firewall_exceptions(const InstallSettings& settings, RunState& state, FirewallExceptions& firewall) {
  if (is_blank_text(settings.FirewallList)) return;
  if (int code = firewall.status()) {
    state.log.write(code_line("Failed to connect to the firewall service: code %d\r\n", code));
    return;
  }
  std::string_view list = settings.FirewallList;
  while (!list.empty()) {
    size_t end = list.find('\n');
    std::string_view raw = list.substr(0, end);
    list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    if (is_blank_text(raw)) continue;
    std::optional<FirewallRemoval> exception = parse_firewall_line(raw);
    if (!exception) continue;
    const std::string line(raw);
    const std::string name = exception_name(raw);
    int last = 0;
    if (exception->port) {
      const int port = exception->number;
      if (exception->tcp) {
        last = firewall.add_port(port, 6, name);
        state.log.write(last == 0 ? port_line("TCP", port)
                                  : code_line("Failed to open firewall port %d, code %d\r\n", port, last));
      }
      if (exception->udp) {
        last = firewall.add_port(port, 17, name);
        state.log.write(last == 0 ? port_line("UDP", port)
                                  : code_line("Failed to open firewall port %d, code %d\r\n", port, last));
      }
    } else {
      std::string program = exception->program;
      expand_variables(program, settings);
      if (!is_absolute_path(program)) program = settings.InstallDir + "\\" + program;
      if (GetFileAttributesA(program.c_str()) == INVALID_FILE_ATTRIBUTES) {
        state.log.write("Failed to add firewall exception for \"" + program + "\": file does not exist\r\n");
        continue;
      }
      last = firewall.add_application(program, name);
      state.log.write(last == 0 ? "Added firewall exception: " + program + "\r\n"
                                : "Failed to add firewall exception for \"" + program + "\", code " +
                                      std::to_string(last) + "\r\n");
    }
    if (last == 0 && !firewall_line_kept(line)) state.uninstall_data.firewall.push_back(line);
  }
}

}  // namespace halvard
