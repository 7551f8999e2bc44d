#include "uninstall/uninstall_files_win.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <unordered_map>

#include "foundation/file.h"
#include "foundation/file_functions.h"
#include "foundation/product_view_win.h"
#include "foundation/registry_access_win.h"
#include "foundation/system_info_win.h"
#include "foundation/text.h"
#include "records/deferred_operations.h"
#include "records/uninstall_records.h"

namespace halvard {
namespace {

constexpr int start_menu_levels = 20;

bool exists(const std::string &path) {
  return GetFileAttributesW(name_to_wide(path).c_str()) !=
         INVALID_FILE_ATTRIBUTES;
}

// Folders compared as the system names them: a "|" + UTF-8 name and an ANSI one
// may be the same folder.
bool same_folder_name(const std::string &a, const std::string &b) {
  if (is_utf8_name(a) == is_utf8_name(b))
    return same_folder(a, b);
  std::wstring wide_a = name_to_wide(a), wide_b = name_to_wide(b);
  for (std::wstring *w : {&wide_a, &wide_b}) {
    if (!w->empty() && w->back() == L'\\')
      w->pop_back();
  }
  return _wcsicmp(wide_a.c_str(), wide_b.c_str()) == 0;
}

bool delete_tree(const std::wstring& dir) {
  bool complete = true;
  const std::wstring resolved_dir = resolved_path(dir);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((dir + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring path = dir + L"\\" + name;
      bool folder = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
      bool link = found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
      bool removed = false;
      if (link) {
        // Only the link goes, never what it points at. Windows removes a folder link as
        // a folder; Wine's links to Unix folders go as files.
        removed = RemoveDirectoryW(path.c_str()) || DeleteFileW(path.c_str());
      } else if (folder || !resolves_outside(path, resolved_dir)) {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
          // An empty set is not a valid attribute value; NORMAL stands for it.
          DWORD rest = found.dwFileAttributes & ~DWORD(FILE_ATTRIBUTE_READONLY);
          SetFileAttributesW(path.c_str(), rest ? rest : FILE_ATTRIBUTE_NORMAL);
        }
        removed = folder ? delete_tree(path) : DeleteFileW(path.c_str());
      }
      complete = complete && removed;
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  return RemoveDirectoryW(dir.c_str()) && complete;
}

// Links planted in the product's folders after the installation: the removal goes
// through none of them, as what lies behind one is not the product's.
class LinkGuard {
 public:
  LinkGuard(const RemovalList& list, const std::string& install_dir) : install_dir_(install_dir) {
    for (const RemovalEntry& entry : list.entries()) {
      if (entry.kind == RemovalKind::Folder) recorded_.insert(entry.path);
    }
  }

  bool behind_link(const std::string& path) {
    for (const std::string& folder : product_folders_on_the_way(path, install_dir_, recorded_)) {
      auto [known, added] = links_.try_emplace(ascii_lowered(folder), false);
      if (added) known->second = is_link(folder);
      if (known->second) return true;
    }
    return false;
  }

  // A recorded file that the system finds in another folder than the one it is named
  // in: a link put in its place. Windows shows such a link in its attributes; Wine
  // only in where the file turns out to be (and its deletion would take the target).
  bool leads_elsewhere(const std::string& file) {
    size_t cut = file.rfind('\\');
    if (cut == std::string::npos) return false;
    // "C:" alone would name the drive's current folder, not its root.
    const std::string folder =
        file.substr(0, cut + (cut > 0 && file[cut - 1] == ':' ? 1 : 0));
    auto [known, added] = folders_.try_emplace(ascii_lowered(folder));
    if (added) known->second = resolved_path(folder);
    return resolves_outside(name_to_wide(file), known->second);
  }

 private:
  std::string install_dir_;
  FolderSet recorded_;
  std::unordered_map<std::string, bool> links_;            // by folder, lower case
  std::unordered_map<std::string, std::wstring> folders_;  // resolved, by folder, lower case
};

}  // namespace

FileRemovalOutcome remove_files(const RemovalList& list, const std::string& install_dir,
                                const std::function<void(const std::string& path, double done)>& each) {
  FileRemovalOutcome outcome;
  LinkGuard guard(list, install_dir);
  const std::vector<RemovalEntry>& entries = list.entries();
  for (size_t i = 0; i < entries.size(); ++i) {
    const RemovalEntry& entry = entries[i];
    if (entry.kind != RemovalKind::File) continue;
    if (each) each(entry.path, double(i) / double(entries.size()));
    if (!exists(entry.path) || guard.behind_link(entry.path)) continue;
    // A link put where the file was goes as a link: its target keeps even its attributes.
    const bool link = is_link(entry.path);
    if (!link && guard.leads_elsewhere(entry.path)) continue;
    if (link ? delete_link(entry.path) : delete_file(entry.path)) {
      outcome.deleted.insert(written_file_key(entry.path));
    } else {
      outcome.kept.push_back(entry.path);
    }
  }
  return outcome;
}

void delete_thumbnail_cache(const std::string& folder) {
  std::string cache = folder + "\\thumbs.db";
  if (exists(cache) && !is_link(folder)) delete_file(cache);
}

std::vector<std::string> remove_folders(const RemovalList& list, const std::string& install_dir,
                                        const std::vector<std::string>& kept) {
  std::vector<std::string> folders;
  for (const RemovalEntry& entry : list.entries()) {
    if (entry.kind == RemovalKind::Folder) folders.push_back(entry.path);
  }
  auto stays = [&](const std::string &folder) {
    if (same_folder_name(folder, install_dir))
      return true;
    return std::any_of(kept.begin(), kept.end(), [&](const std::string &k) {
      return same_folder_name(folder, k);
    });
  };
  LinkGuard guard(list, install_dir);
  for (std::string folder : folder_removal_order(folders)) {
    // An empty folder behind a planted link is not the product's; a link itself goes
    // as a link.
    while (!folder.empty() && !stays(folder) && !guard.behind_link(folder)) {
      delete_thumbnail_cache(folder);
      if (!RemoveDirectoryW(name_to_wide(folder).c_str()))
        break;
      folder = parent_folder(folder);
    }
  }
  std::vector<std::string> left;
  for (const std::string& folder : folders) {
    if (exists(folder)) left.push_back(folder);
  }
  return left;
}

void remove_start_menu_folder(const std::string& programs, const std::string& relative) {
  // An empty name would make the Programs folder itself the product's.
  if (programs.empty() || relative.find_first_not_of(" \\") == std::string::npos) return;
  std::string folder = programs + "\\" + relative;
  RemoveDirectoryA(folder.c_str());
  for (int level = 0; level < start_menu_levels; ++level) {
    folder = parent_folder(folder);
    if (folder.empty() || same_folder(folder, programs) || folder.size() < programs.size()) return;
    if (!RemoveDirectoryA(folder.c_str())) return;
  }
}

std::vector<std::string> protected_folders() {
  static constexpr int shell_folders[] = {
      CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_COMMON_DOCUMENTS,
      CSIDL_MYMUSIC, CSIDL_MYPICTURES, CSIDL_MYVIDEO, CSIDL_FAVORITES, CSIDL_COMMON_FAVORITES,
      CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_COMMON_APPDATA, CSIDL_PROFILE, CSIDL_PROGRAM_FILES,
      CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMONX86, CSIDL_WINDOWS,
      CSIDL_SYSTEM, CSIDL_SYSTEMX86, CSIDL_FONTS, CSIDL_STARTMENU, CSIDL_COMMON_STARTMENU, CSIDL_PROGRAMS,
      CSIDL_COMMON_PROGRAMS, CSIDL_STARTUP, CSIDL_COMMON_STARTUP, CSIDL_TEMPLATES, CSIDL_COMMON_TEMPLATES,
      CSIDL_SENDTO, CSIDL_RECENT, CSIDL_COMMON_MUSIC, CSIDL_COMMON_PICTURES, CSIDL_COMMON_VIDEO,
  };
  std::vector<std::string> folders;
  for (int csidl : shell_folders) folders.push_back(special_folder(csidl));
  // A 32-bit process sees only the x86 program folders through the shell.
  for (const char* name : {"ProgramW6432", "CommonProgramW6432"}) {
    char folder[MAX_PATH + 1];
    DWORD length = GetEnvironmentVariableA(name, folder, sizeof folder);
    if (length > 0 && length < sizeof folder) folders.emplace_back(folder, length);
  }
  char temp[MAX_PATH + 1];
  DWORD length = GetTempPathA(sizeof temp, temp);
  if (length > 0 && length < sizeof temp) folders.emplace_back(temp, length);
  char profiles[MAX_PATH + 1];
  DWORD size = sizeof profiles;
  RegistryKey key;
  if (key.open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
               KEY_READ | registry_32bit_view) == ERROR_SUCCESS) {
    char expanded[MAX_PATH + 1];
    DWORD type = 0;
    if (RegQueryValueExA(key.get(), "ProfilesDirectory", nullptr, &type, reinterpret_cast<BYTE*>(profiles), &size) ==
            ERROR_SUCCESS &&
        size < sizeof profiles) {
      profiles[size] = '\0';
      DWORD got = ExpandEnvironmentStringsA(profiles, expanded, sizeof expanded);
      if (got > 0 && got <= sizeof expanded) folders.emplace_back(expanded);
    }
  }
  std::erase(folders, std::string());
  return folders;
}

bool delete_directory_tree(const std::string& dir) {
  if (dir.empty()) return false;
  return delete_tree(ansi_to_wide(dir));
}

}  // namespace halvard
