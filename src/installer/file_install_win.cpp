#include "installer/file_install_win.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "foundation/access_rights_win.h"
#include "foundation/date_time_win.h"
#include "foundation/file.h"
#include "foundation/file_error.h"
#include "foundation/file_functions.h"
#include "foundation/system_library_win.h"
#include "foundation/windows_error.h"
#include "package/package_error_codes.h"
#include "package/settings_stream.h"
#include "records/deferred_operations_win.h"

namespace halvard {

static_assert(windows_error_invalid_name == ERROR_INVALID_NAME);
static_assert(file_attribute_mask == (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE));
static_assert(attributes_cleared_on_retry == (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));

namespace {

constexpr int write_attempts = 3;
constexpr DWORD retry_pause_ms = 50;

// ---- Folders ----

// Compared as Windows compares names, trailing backslashes aside.
bool same_folder(const std::wstring& a, const std::wstring& b) {
  auto trimmed = [](std::wstring path) {
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    return path;
  };
  return lstrcmpiW(trimmed(a).c_str(), trimmed(b).c_str()) == 0;
}

bool drive_present(const std::string& path) {
  std::optional<char> letter = drive_letter(path);
  if (!letter) return true;
  // Asks the drive itself: a list of drives taken at start-up (as Wine keeps it) would
  // miss one mapped later.
  const char root[] = {*letter, ':', '\\', '\0'};
  return GetDriveTypeA(root) != DRIVE_NO_ROOT_DIR;
}

// ---- Writing ----

void set_attributes(const std::wstring& path, uint32_t wanted) {
  DWORD current = GetFileAttributesW(path.c_str());
  if (current == INVALID_FILE_ATTRIBUTES) return;
  // Most files arrive with the attributes they should have: no second open for them.
  const DWORD applied = applied_attributes(current, wanted);
  if (applied != current) SetFileAttributesW(path.c_str(), applied);
}

void clear_protecting_attributes(const std::wstring& path) {
  DWORD current = GetFileAttributesW(path.c_str());
  if (current == INVALID_FILE_ATTRIBUTES || !(current & attributes_cleared_on_retry)) return;
  SetFileAttributesW(path.c_str(), applied_attributes(current, current & ~attributes_cleared_on_retry));
}

// On the handle that wrote the file, which spares a second open and close per file.
void apply_date(File& file, const FileDate& date) {
  if (!is_complete(date)) return;
  file.set_times(date_time_of(date));
}

// A destination that another program holds cannot be renamed over, which Windows
// reports as access denied; opening it tells the sharing violation apart.
DWORD replacement_error(const std::wstring& destination, DWORD error) {
  if (error != ERROR_ACCESS_DENIED) return error;
  HANDLE probe = CreateFileW(destination.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    CloseHandle(probe);
    return error;
  }
  return GetLastError() == ERROR_SHARING_VIOLATION ? ERROR_SHARING_VIOLATION : error;
}

// The in-use procedure after the third failed attempt: the data is written beside the
// destination and the move onto it registered for the next restart.
WriteResult replace_at_restart(FileInstallContext& context, const std::string& destination, const void* data,
                               int64_t size, bool existed, DWORD error) {
  InstallSettings& settings = context.settings;
  InUseFacts facts;
  facts.existed = existed;
  facts.replace_new_files = settings.ProductFlags.low & product_flag::low_replace_new_files_at_restart;
  facts.windows_error = error;
  facts.error_text = windows_error_text(error);
  facts.drive_present = drive_present(destination);
  InUsePlan plan = plan_in_use(message(settings, message_number::file_not_created), destination, facts);

  if (plan.replace) {
    File temporary;
    FileError opened = temporary.open(destination, open_flags::TempFileBesidePath);
    std::string temporary_name = opened == FileError::Success ? temporary.name() : std::string();
    // The library falls back to the temporary folder, possibly on another drive, where
    // a move at restart cannot reach the destination.
    bool beside = opened == FileError::Success &&
                  same_folder(ansi_to_wide(directory_of(temporary_name)), name_to_wide(directory_of(destination)));
    if (!beside && opened == FileError::Success) SetLastError(ERROR_NOT_SAME_DEVICE);
    bool written = beside && temporary.write(data, size);
    DWORD reason = GetLastError();
    temporary.close();
    if (!written) {
      if (!temporary_name.empty()) DeleteFileA(temporary_name.c_str());
      plan.report += no_temporary_file_text(destination, windows_error_text(reason));
    } else {
      // Whoever restarts the machine may then move it into place.
      grant_everyone_full_access_entry(temporary_name, false);
      if (move_at_reboot(temporary_name, destination)) {
        context.reboot_wanted = true;
        context.log.write(replacement_registered_text(destination, temporary_name));
        WriteResult result;
        result.restart_pending = true;
        return result;
      }
      reason = GetLastError();
      plan.report += replacement_failed_text(destination, temporary_name, windows_error_text(reason));
      DeleteFileA(temporary_name.c_str());
    }
  }
  context.failure_summary += plan.report;
  return {};
}

// ---- The existing file ----

using GetVersionInfoSize = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
using GetVersionInfo = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
using QueryValue = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);

struct VersionLibrary {
  GetVersionInfoSize info_size = nullptr;
  GetVersionInfo info = nullptr;
  QueryValue query = nullptr;
};

const VersionLibrary& version_library() {
  static const VersionLibrary library = [] {
    VersionLibrary loaded;
    HMODULE module = load_system_library("version.dll");
    if (!module) return loaded;
    auto find = [module](const char* name) { return reinterpret_cast<void*>(GetProcAddress(module, name)); };
    loaded.info_size = reinterpret_cast<GetVersionInfoSize>(find("GetFileVersionInfoSizeW"));
    loaded.info = reinterpret_cast<GetVersionInfo>(find("GetFileVersionInfoW"));
    loaded.query = reinterpret_cast<QueryValue>(find("VerQueryValueW"));
    return loaded;
  }();
  return library;
}

}  // namespace

std::string partial_file_name(const std::string& destination) { return destination + ".hvpart"; }

std::string file_version_text(const std::string& path) {
  const VersionLibrary& library = version_library();
  if (!library.info_size || !library.info || !library.query) return {};
  std::wstring name = name_to_wide(path);
  DWORD handle = 0;
  DWORD size = library.info_size(name.c_str(), &handle);
  if (size == 0) return {};
  std::vector<uint8_t> block(size);
  if (!library.info(name.c_str(), 0, size, block.data())) return {};

  // The languages the resource declares, then the usual English tables.
  std::vector<DWORD> tables;
  void* value = nullptr;
  UINT length = 0;
  if (library.query(block.data(), L"\\VarFileInfo\\Translation", &value, &length) && value) {
    const WORD* pairs = static_cast<const WORD*>(value);
    for (UINT i = 0; i + 1 < length / sizeof(WORD); i += 2) tables.push_back(DWORD(pairs[i]) << 16 | pairs[i + 1]);
  }
  for (DWORD fallback : {0x040904B0u, 0x040904E4u, 0x04090000u}) tables.push_back(fallback);
  for (DWORD table : tables) {
    wchar_t query[64];
    wsprintfW(query, L"\\StringFileInfo\\%08lx\\FileVersion", static_cast<unsigned long>(table));
    value = nullptr;
    length = 0;
    if (library.query(block.data(), query, &value, &length) && value && length > 0) {
      std::wstring text(static_cast<const wchar_t*>(value), wcsnlen(static_cast<const wchar_t*>(value), length));
      return clean_version_text(wide_to_ansi(text));
    }
  }
  return {};
}

bool file_local_date(const std::string& path, FileDate& date) {
  std::optional<DateTime> written = last_write_local(name_to_wide(path));
  if (written) date = file_date_of(*written);
  return written.has_value();
}

ExistingFile existing_file(const std::string& path, const NeededFacts& needs) {
  ExistingFile existing;
  if (!needs.existence && !needs.date && !needs.version) return existing;
  DWORD found = GetFileAttributesW(name_to_wide(path).c_str());
  existing.exists = found != INVALID_FILE_ATTRIBUTES && !(found & FILE_ATTRIBUTE_DIRECTORY);
  if (!existing.exists) return existing;
  if (needs.date) existing.date_known = file_local_date(path, existing.date);
  if (needs.version) existing.version = file_version_text(path);
  return existing;
}

WriteResult write_file(FileInstallContext& context, const std::string& destination, const void* data, int64_t size,
                       const FileDate& date, uint32_t attributes, bool existed) {
  WriteResult result;
  if (size < 0) {
    result.package_error = package_error_code::negative_replacement_size;
    return result;
  }
  const InstallSettings& settings = context.settings;
  const uint32_t low = settings.ProductFlags.low;
  const std::wstring wide = name_to_wide(destination);
  const uint8_t* bytes = static_cast<const uint8_t*>(data);

  // The data goes under a name of its own and is renamed into place when complete: a
  // run stopped half-way (a kill, a power cut, a full disk) leaves no torn file under
  // the product's name, and an existing file stays whole until it is replaced.
  // A name that the suffix would take past the length limit is written in place.
  const bool in_place = name_to_wide(partial_file_name(destination)).size() >= MAX_PATH && wide.size() < MAX_PATH;
  const std::string partial = in_place ? destination : partial_file_name(destination);
  const std::wstring wide_partial = name_to_wide(partial);
  // Without verification the file takes its name through the open handle, which saves
  // the system three requests a file; MoveFileEx stays the way when that fails. Either
  // rename first refuses to replace, which tells whether the file is new without a
  // look-up of its name (on Wine a read of the whole folder when the name is not there).
  const bool verify = low & product_flag::low_verify_written_files;
  const std::uint32_t open_mode = open_flags::CreateAlways | (in_place || verify ? 0 : open_flags::MayRename);
  if (in_place) result.brought = GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES;
  auto name_taken = [] {
    const DWORD error = GetLastError();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
  };
  DWORD error = 0;
  for (int attempt = 1; attempt <= write_attempts; ++attempt) {
    bool opened = false;
    {
      File file;
      opened = file.open(partial, open_mode, file_attribute_normal) == FileError::Success;
      bool written = opened && file.write(data, size);
      error = written ? 0 : GetLastError();
      if (written) apply_date(file, date);
      bool renamed = false;
      if (written && (open_mode & open_flags::MayRename)) {
        renamed = result.brought = file.rename_open(destination, false);
        if (!renamed && name_taken()) renamed = file.rename_open(destination, true);
      }
      if (written && !file.close()) {
        written = false;
        error = GetLastError();
      }
      if (written && verify && !compare_file(partial, bytes, size)) {
        DeleteFileW(wide_partial.c_str());
        if (attempt == write_attempts) {
          context.failure_summary += file_failure_line(message(settings, message_number::file_not_created), destination,
                                                       last_windows_error_text());
          return result;
        }
        continue;
      }
      if (written && !in_place && !renamed) {
        result.brought = MoveFileExW(wide_partial.c_str(), wide.c_str(), 0);
        if (!result.brought &&
            (!name_taken() || !MoveFileExW(wide_partial.c_str(), wide.c_str(), MOVEFILE_REPLACE_EXISTING))) {
          written = false;
          error = replacement_error(wide, GetLastError());
        }
      }
      if (written) {
        if (attributes != file_attributes_unchanged) set_attributes(wide, attributes);
        result.written = true;
        return result;
      }
    }
    if (opened) DeleteFileW(wide_partial.c_str());
    if (error == 0) error = ERROR_WRITE_FAULT;
    if (attempt == 1) {
      if (error == ERROR_PATH_NOT_FOUND) create_folder_tree(directory_of(destination));
      if (low & product_flag::low_clear_attributes_on_retry) clear_protecting_attributes(wide);
    }
    if (attempt < write_attempts) Sleep(retry_pause_ms);
  }
  return replace_at_restart(context, destination, data, size, existed, error);
}

bool install_file(FileInstallContext& context, const FileDestination& destination, std::span<const uint8_t> data,
                  const FileRecord& record) {
  InstallSettings& settings = context.settings;
  const std::string& path = destination.path;

  if (context.show_progress) {
    if (settings.ProductFlags.high & product_flag::high_fixed_progress_text)
      context.show_progress(message(settings, message_number::installing_files_status), true);
    else
      context.show_progress(path, false);
  }

  OverwritePlan plan = plan_overwrite(record, path, existing_file(path, needed_facts(record)));
  if (!plan.log.empty()) context.log.write(plan.log);
  if (plan.record_existing) context.removal.record(path, RemovalKind::File);
  if (!plan.write) return false;

  if (gets_file_shortcut(record)) settings.ShortcutEntries.push_back(file_shortcut_entry(record, path));

  if (destination.under_install_dir) {
    std::string folder = directory_of(path);
    std::wstring wide_folder = name_to_wide(folder);
    const bool install_dir = same_folder(wide_folder, name_to_wide(settings.InstallDir));
    if (!install_dir && folder != context.checked_folder) {
      context.checked_folder.clear();
      FolderTreeOutcome made = create_folder_tree(folder);
      if (made.error) {
        std::string reason =
            made.blocked_by_file ? std::string(folder_is_file_reason) : windows_error_text(made.error);
        context.failure_summary +=
            folder_failure_text(message(settings, message_number::folder_not_created), folder, reason, path);
        return false;
      }
      context.checked_folder = folder;
    }
    if (!install_dir && records_folder_for_removal(record)) context.removal.record(folder, RemovalKind::Folder);
  }
  if (records_file_for_removal(record)) context.removal.record(path, RemovalKind::File);

  if (context.before_write) context.before_write();
  WriteResult written =
      write_file(context, path, data.data(), int64_t(data.size()), record.FileDate, record.Attributes, plan.existed);
  if (!written) return false;
  if (written.brought && context.created_files) context.created_files->push_back(path);

  if (settings.ProductFlags.low & product_flag::low_detailed_log) context.log.write(destination.log_line + "\r\n");
  context.written_files.insert(written_file_key(path));
  return true;
}

}  // namespace halvard
