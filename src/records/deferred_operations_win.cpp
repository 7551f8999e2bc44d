#include "records/deferred_operations_win.h"

#include <windows.h>

#include <cstring>

#include "foundation/date_time_win.h"
#include "foundation/file.h"
#include "foundation/file_functions.h"
#include "foundation/product_view_win.h"
#include "foundation/registry_access_win.h"
#include "foundation/text.h"
#include "foundation/windows_error.h"
#include "package/package_error_codes.h"
#include "records/uninstall_records.h"

namespace halvard {
namespace {

constexpr wchar_t session_manager_key[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t pending_value[] = L"PendingFileRenameOperations";
constexpr REGSAM cleaner_access = 0x2000F;

std::u16string to_u16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }
std::wstring to_wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

// "|" + UTF-8, the file functions' form of a name that ANSI cannot hold.
std::string bar_name(const std::wstring &text) {
  return "|" + wide_to_utf8(text);
}

// A wide path as a name for the file functions: ANSI where it survives the code page,
// else "|" + UTF-8.
std::string name_from_wide(const std::wstring& path) {
  std::string ansi = wide_to_ansi(path);
  if (ansi_to_wide(ansi) == path) return ansi;
  return bar_name(path);
}

// The Session Manager key, opened in the view a 32-bit program gets; empty on failure.
RegistryKey session_manager(REGSAM access) {
  RegistryKey key;
  key.open(HKEY_LOCAL_MACHINE, session_manager_key, access | registry_32bit_view);
  return key;
}

// The value's texts; empty when it is missing or holds something other than a multi-string.
std::vector<std::u16string> read_pending_texts(HKEY key) {
  std::vector<std::uint8_t> data;
  for (int attempt = 0; attempt < 8; ++attempt) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, pending_value, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_MULTI_SZ)
      return {};
    data.resize(size);
    LONG result = RegQueryValueExW(key, pending_value, nullptr, &type, data.data(), &size);
    if (result == ERROR_MORE_DATA) continue;  // grown in between
    if (result != ERROR_SUCCESS || type != REG_MULTI_SZ) return {};
    data.resize(size);
    return parse_multi_string(data.data(), data.size());
  }
  return {};
}

bool write_pending_list(HKEY key, const std::vector<PendingOperation>& operations) {
  std::vector<std::uint8_t> data = multi_string_bytes(operations);
  return RegSetValueExW(key, pending_value, 0, REG_MULTI_SZ, data.data(),
                        static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

bool local_date_time(std::uint64_t utc, DateTime& out) {
  FILETIME file_time;
  file_time.dwLowDateTime = static_cast<DWORD>(utc);
  file_time.dwHighDateTime = static_cast<DWORD>(utc >> 32);
  FILETIME local;
  SYSTEMTIME parts;
  if (!FileTimeToLocalFileTime(&file_time, &local) || !FileTimeToSystemTime(&local, &parts))
    return false;
  out = from_system_time(parts);
  return true;
}

// The folder part of a pattern, with its separator.
std::string pattern_folder(const std::string& pattern) {
  std::size_t cut = pattern.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : pattern.substr(0, cut + 1);
}

std::string found_file_name(const std::string& folder, const FoundFile& found) {
  if (is_utf8_name(folder)) return bar_name(name_to_wide(folder) + found.name);
  if (ansi_to_wide(found.ansi_name) == found.name) return folder + found.ansi_name;
  return bar_name(ansi_to_wide(folder) + found.name);
}

void clear_protecting_attributes(const std::string& name) {
  const std::wstring wide = name_to_wide(name);
  DWORD attributes = GetFileAttributesW(wide.c_str());
  const DWORD protecting = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & protecting))
    SetFileAttributesW(wide.c_str(), attributes & ~protecting);
}

// A folder reached through a link planted inside the installation folder holds
// nothing of the product's.
bool reached_through_link(const std::string& folder, const std::string& install_dir) {
  for (const std::string& on_the_way : product_folders_on_the_way(folder + "\\*", install_dir, {})) {
    if (is_link(on_the_way)) return true;
  }
  return false;
}

}  // namespace

std::vector<PendingOperation> read_pending_operations() {
  RegistryKey key = session_manager(KEY_QUERY_VALUE);
  if (!key.get()) return {};
  return pair_pending_texts(read_pending_texts(key.get()));
}

bool write_pending_operations(const std::vector<PendingOperation>& operations) {
  RegistryKey key = session_manager(KEY_SET_VALUE);
  return key.get() && write_pending_list(key.get(), operations);
}

int clean_pending_operations(const std::unordered_set<std::string>& files, std::string* log) {
  RegistryKey key = session_manager(cleaner_access);
  if (!key.get()) return 0;
  std::vector<std::u16string> texts = read_pending_texts(key.get());
  if (texts.empty()) return 0;
  if (log) log->append("\r\n");

  std::unordered_set<std::u16string> wide_files;
  wide_files.reserve(files.size());
  for (const std::string& file : files) wide_files.insert(to_u16(name_to_wide(file)));

  CleanedPendingList cleaned = clean_pending_list(pair_pending_texts(texts), wide_files);
  for (const DroppedOperation& dropped : cleaned.dropped) {
    if (log) log->append(dropped_operation_log_line(dropped.was_move, wide_to_ansi(to_wide(dropped.path))));
    if (dropped.was_move && !dropped.recycle.empty())
      delete_file(name_from_wide(to_wide(dropped.recycle)), delete_to_recycle_bin);
  }
  if (!cleaned.dropped.empty()) write_pending_list(key.get(), cleaned.kept);
  return static_cast<int>(cleaned.dropped.size());
}

ConditionalDeleteOutcome apply_conditional_deletions(
    const std::vector<ConditionalDelete>& entries, DeletionPhase phase,
    const std::string& install_dir, const std::function<std::string(const std::string&)>& expand) {
  ConditionalDeleteOutcome outcome;
  const bool installing = phase == DeletionPhase::Installing;
  bool handled = false;
  for (const ConditionalDelete& entry : entries) {
    if (!applies_in(entry, phase)) continue;
    std::string pattern = expand ? expand(entry.path_pattern) : entry.path_pattern;
    if (is_relative_pattern(pattern)) {
      std::string base = install_dir;
      if (!base.empty() && base.back() != '\\' && base.back() != '/') base.push_back('\\');
      pattern = base + pattern;
    }
    const std::string folder = pattern_folder(pattern);
    if (reached_through_link(folder, install_dir)) continue;
    const std::wstring resolved_folder = resolved_path(folder);
    for (const FoundFile& found : list_files(pattern)) {
      if (found.is_directory() || found.is_dot_entry() || (found.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) continue;
      FileFacts facts;
      facts.size = found.size;
      if (!local_date_time(found.write_time, facts.last_write)) continue;
      const ConditionVerdict verdict = conditional_verdict(entry, facts);
      if (verdict == ConditionVerdict::BadDate) {
        outcome.package_error = package_error_code::deletion_without_date;
        return outcome;
      }
      if (verdict == ConditionVerdict::Keep) continue;

      handled = true;
      const std::string name = found_file_name(folder, found);
      if (resolves_outside(name_to_wide(name), resolved_folder)) continue;
      const std::string shown = is_utf8_name(name) ? wide_to_ansi(name_to_wide(name)) : name;
      clear_protecting_attributes(name);
      if (delete_file(name)) {
        if (installing) outcome.log += deleted_file_log_line(shown);
        continue;
      }
      const std::string reason = last_windows_error_text();
      if (!(entry.flags & conditional_at_reboot)) {
        if (installing) outcome.log += failed_delete_log_line(shown, reason);
        continue;
      }
      if (installing) outcome.log += delete_after_reboot_log_line(shown, reason);
      if (delete_at_reboot(name)) {
        outcome.reboot_registered = true;
      } else if (installing) {
        outcome.failures += failed_registration_line(shown, last_windows_error_text());
      }
    }
  }
  if (handled && installing) outcome.log += "\r\n";
  return outcome;
}

}  // namespace halvard
