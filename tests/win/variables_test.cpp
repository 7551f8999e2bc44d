// Directory variables against what Windows itself reports, the environment step, and
// the Everyone grant read back from the folder's access list.
#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "file_test_support.h"
#include "foundation/product_view_win.h"
#include "variables/directory_rights.h"
#include "variables/directory_rights_win.h"
#include "variables/variable_expansion.h"
#include "variables/variable_values_win.h"

namespace halvard {
namespace {

// Straight Win32 answers, independent of the code under test.
std::string shell_path(int id) {
  char path[MAX_PATH] = {};
  return SHGetSpecialFolderPathA(nullptr, path, id, FALSE) ? path : "";
}

std::string registry_text(HKEY root, const char* key_path, const char* name) {
  char data[2048] = {};
  DWORD size = sizeof data - 1;
  DWORD type = 0;
  HKEY key;
  if (RegOpenKeyExA(root, key_path, 0, KEY_READ | registry_32bit_view, &key) != ERROR_SUCCESS) return {};
  LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ) ? std::string(data) : "";
}

std::string windows_dir() {
  char path[MAX_PATH];
  return std::string(path, GetWindowsDirectoryA(path, MAX_PATH));
}

// The program folders a 32-bit program gets: the x64 engine asks for them by name.
constexpr int program_files_id = engine_is_64bit ? CSIDL_PROGRAM_FILESX86 : CSIDL_PROGRAM_FILES;
constexpr int program_files_common_id = engine_is_64bit ? CSIDL_PROGRAM_FILES_COMMONX86 : CSIDL_PROGRAM_FILES_COMMON;

std::string module_path() {
  char path[MAX_PATH];
  return std::string(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
}

std::string environment(const char* name) {
  char value[32768];
  DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return std::string(value, length);
}

std::string no_trailing_backslash(std::string path) {
  if (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

// The folder Windows gives for a shell-folder variable: the shell's answer, else the
// registry's. Wine has every one of them, so the first source is what is compared.
std::string shell_folder_or_key(int id, HKEY root, const char* name) {
  std::string path = shell_path(id);
  if (!path.empty()) return path;
  return no_trailing_backslash(registry_text(
      root, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", name));
}

std::string current_version_text(const char* name) {
  return no_trailing_backslash(registry_text(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", name));
}

std::string shell_folder_or_value(int id, const char* name) {
  std::string path = shell_path(id);
  return path.empty() ? current_version_text(name) : path;
}

InstallSettings sample_settings() {
  InstallSettings settings;
  settings.InstallDir = "D:\\Apps\\Tool";
  settings.ProductName = "Tool";
  settings.SharedPath = "C:\\Shared\\Tool";
  settings.UninstallSubdir = "Uninstall";
  settings.DisplayVersion = "2.1";
  return settings;
}

TEST(VariablesOnWindows, EachVariableIsTheFolderWindowsReports) {
  std::string windows = windows_dir();
  std::string module = module_path();
  std::string folder = module.substr(0, module.rfind('\\'));

  char system[MAX_PATH];
  // A 32-bit product's system files go where a 32-bit program's go, in either engine.
  std::string system_dir(system, engine_is_64bit ? GetSystemWow64DirectoryA(system, MAX_PATH)
                                                 : GetSystemDirectoryA(system, MAX_PATH));
  char temp[MAX_PATH + 1];
  std::string temp_dir(temp, GetTempPathA(sizeof temp, temp));
  if (!temp_dir.empty() && temp_dir.back() == '\\') temp_dir.pop_back();

  SYSTEM_INFO info{};
  GetNativeSystemInfo(&info);
  std::string bits = info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
                             info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64
                         ? "64"
                         : "32";

  std::string boot =
      registry_text(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Setup", "BootDir");
  std::string boot_drive = boot.size() >= 2 && boot[1] == ':' && isalpha(static_cast<unsigned char>(boot[0]))
                               ? std::string{static_cast<char>(toupper(static_cast<unsigned char>(boot[0]))), ':'}
                               : "C:";

  std::string device = current_version_text("DevicePath");
  device = device.substr(0, device.find(';'));
  char expanded[MAX_PATH];
  std::string device_dir = windows + "\\INF";
  if (!device.empty()) device_dir.assign(expanded, ExpandEnvironmentStringsA(device.c_str(), expanded, MAX_PATH) - 1);

  std::string media = current_version_text("MediaPath");
  HKEY all = HKEY_LOCAL_MACHINE;
  HKEY user = HKEY_CURRENT_USER;

  struct Row {
    Variable variable;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {Variable::AppDataAllDir, shell_folder_or_key(CSIDL_COMMON_APPDATA, all, "Common AppData")},
      {Variable::AppDataDir, shell_folder_or_key(CSIDL_APPDATA, user, "AppData")},
      {Variable::Bits, bits},
      {Variable::BootDrive, boot_drive},
      {Variable::CommonDir, shell_folder_or_value(program_files_common_id, "CommonFilesDir")},
      {Variable::DesktopAllDir, shell_folder_or_key(CSIDL_COMMON_DESKTOPDIRECTORY, all, "Common Desktop")},
      {Variable::DesktopDir, shell_folder_or_key(CSIDL_DESKTOPDIRECTORY, user, "Desktop")},
      {Variable::DeviceDir, device_dir},
      {Variable::DocumentAllDir, shell_folder_or_key(CSIDL_COMMON_DOCUMENTS, all, "Common Documents")},
      {Variable::DocumentDir, shell_folder_or_key(CSIDL_PERSONAL, user, "Personal")},
      {Variable::FavoritesAllDir, shell_folder_or_key(CSIDL_COMMON_FAVORITES, all, "Common Favorites")},
      {Variable::FavoritesDir, shell_folder_or_key(CSIDL_FAVORITES, user, "Favorites")},
      {Variable::FontDir, shell_folder_or_key(CSIDL_FONTS, user, "Fonts")},
      {Variable::Inetpub, "c:\\Inetpub"},  // no web server here
      {Variable::InstallDir, "D:\\Apps\\Tool"},
      {Variable::InstallDrive, "D:"},
      {Variable::InstallerDir, folder.size() == 2 ? folder + "\\" : folder},
      {Variable::InstallerDrive, module[1] == ':' ? std::string(1, static_cast<char>(toupper(module[0]))) : ""},
      {Variable::InstallerFilename, module.substr(module.rfind('\\') + 1)},
      {Variable::InstallerFilepath, module},
      {Variable::MediaDir, media.empty() ? windows + "\\Media" : media},
      {Variable::OldVersion, "1.9"},
      {Variable::ProductName, "Tool"},
      {Variable::ProgramsDir, shell_folder_or_value(program_files_id, "ProgramFilesDir")},
      {Variable::SharedDir, "C:\\Shared\\Tool"},
      {Variable::SMProgramsAllDir, shell_folder_or_key(CSIDL_COMMON_PROGRAMS, all, "Common Programs")},
      {Variable::SMProgramsDir, shell_folder_or_key(CSIDL_PROGRAMS, user, "Programs")},
      {Variable::StartMenuAllDir, shell_folder_or_key(CSIDL_COMMON_STARTMENU, all, "Common Start Menu")},
      {Variable::StartMenuDir, shell_folder_or_key(CSIDL_STARTMENU, user, "Start Menu")},
      {Variable::StartupAllDir, shell_folder_or_key(CSIDL_COMMON_STARTUP, all, "Common Startup")},
      {Variable::StartupDir, shell_folder_or_key(CSIDL_STARTUP, user, "Startup")},
      {Variable::SystemDir, system_dir},
      {Variable::Temp, temp_dir},
      {Variable::UninstallDir, "D:\\Apps\\Tool\\Uninstall"},
      {Variable::Version, "2.1"},
      {Variable::WinDir, windows},
  };
  ASSERT_EQ(rows.size(), variable_count);

  InstallSettings settings = sample_settings();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    ASSERT_EQ(static_cast<std::size_t>(row.variable), i) << "rows follow the table";
    std::string name(variable_name(row.variable));
    EXPECT_FALSE(row.expected.empty()) << name << ": Windows reports nothing";
    EXPECT_EQ(variable_value(row.variable, settings, "1.9"), row.expected) << name;

    // Through the one call the engine uses, in upper case, behind a folder name.
    std::string text = name;
    for (char& c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    text += "\\x";
    EXPECT_TRUE(expand_variables(text, settings, "1.9")) << name;
    EXPECT_EQ(text, row.expected + "\\x") << name;
  }
}

TEST(VariablesOnWindows, EnvironmentStep) {
  InstallSettings settings = sample_settings();
  std::string path = environment("PATH");
  ASSERT_FALSE(path.empty());

  std::string text = "%InstallDir%;%Path%;%NoSuchVariableHere%;%installdir%";
  EXPECT_TRUE(expand_variables(text, settings));
  EXPECT_EQ(text, "D:\\Apps\\Tool;" + path + ";%NoSuchVariableHere%;D:\\Apps\\Tool");

  text.clear();
  EXPECT_TRUE(expand_variables(text, settings));
  EXPECT_EQ(text, "");

  // A variable's value goes through the environment step too.
  settings.InstallDir = "%SystemRoot%\\Tool";
  text = "%InstallDir%";
  EXPECT_TRUE(expand_variables(text, settings));
  EXPECT_EQ(text, environment("SystemRoot") + "\\Tool");
}

TEST(VariablesOnWindows, LongTextsAreNeverCut) {
  InstallSettings settings = sample_settings();
  std::string windows = windows_dir();
  std::string path = environment("PATH");

  // Past the system's limit the environment step fails and leaves the replacements
  // whole; a text without a percent sign left has nothing to expand and succeeds.
  std::string filler(40000, 'a');
  std::string text = "%WinDir%\\" + filler + "%Path%";
  EXPECT_FALSE(expand_variables(text, settings));
  EXPECT_TRUE(text == windows + "\\" + filler + "%Path%") << "size " << text.size();
  text = "%WinDir%\\" + filler;
  EXPECT_TRUE(expand_variables(text, settings));
  EXPECT_TRUE(text == windows + "\\" + filler) << "size " << text.size();

  // At the edge of the buffer: a result of 31,999 characters and its terminator fit,
  // one more does not.
  std::string out = "untouched";
  std::string edge(31999 - path.size(), 'b');
  ASSERT_TRUE(expand_environment_strings(edge + "%Path%", out));
  EXPECT_TRUE(out == edge + path) << "size " << out.size();
  out = "untouched";
  EXPECT_FALSE(expand_environment_strings(edge + "b%Path%", out));
  EXPECT_EQ(out, "untouched");
  EXPECT_FALSE(expand_environment_strings(std::string(32000, 'c') + "%%", out));
  EXPECT_EQ(out, "untouched");
}

// The access-control entries of a folder that name `sid`.
struct EntryOfSid {
  bool found = false;
  ACCESS_MASK mask = 0;
  BYTE flags = 0;
};

EntryOfSid allowed_entry(const std::string& folder, PSID sid) {
  EntryOfSid result;
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl,
                            nullptr, &descriptor) != ERROR_SUCCESS)
    return result;
  for (DWORD i = 0; acl && i < acl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(acl, i, &ace)) continue;
    auto* header = static_cast<ACE_HEADER*>(ace);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    if (!EqualSid(reinterpret_cast<PSID>(&allowed->SidStart), sid)) continue;
    result.found = true;
    result.mask |= allowed->Mask;
    result.flags |= header->AceFlags;
  }
  LocalFree(descriptor);
  return result;
}

std::vector<BYTE> owner_of(const std::string& folder) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  std::vector<BYTE> sid;
  if (GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                            nullptr, &descriptor) == ERROR_SUCCESS &&
      owner) {
    sid.assign(static_cast<BYTE*>(owner), static_cast<BYTE*>(owner) + GetLengthSid(owner));
  }
  LocalFree(descriptor);
  return sid;
}

TEST(DirectoryRightsOnWindows, EveryoneGetsFullInheritedAccess) {
  test::ScratchFolder scratch;
  std::string folder = scratch.file("granted");
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));

  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));

  EXPECT_EQ(grant_directory_rights(folder), "Granting rights to directory \"" + folder + "\"...OK\r\n");
  EntryOfSid entry = allowed_entry(folder, everyone);
  EXPECT_TRUE(entry.found);
  // Windows may keep the generic right as given or map it to the file rights (Wine maps
  // it to every specific right with delete, read-control and synchronize).
  constexpr ACCESS_MASK full_file_rights = 0x1FF | DELETE | READ_CONTROL | SYNCHRONIZE;
  EXPECT_TRUE((entry.mask & GENERIC_ALL) == GENERIC_ALL || (entry.mask & full_file_rights) == full_file_rights)
      << std::hex << entry.mask;
  EXPECT_EQ(entry.flags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE), OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);

  // The current user owns the folder afterwards.
  HANDLE token;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  BYTE user_buffer[512];
  DWORD size = sizeof user_buffer;
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, user_buffer, size, &size));
  CloseHandle(token);
  std::vector<BYTE> owner = owner_of(folder);
  ASSERT_FALSE(owner.empty());
  EXPECT_TRUE(EqualSid(owner.data(), reinterpret_cast<TOKEN_USER*>(user_buffer)->User.Sid));

  // Granting twice leaves one working entry and still succeeds.
  EXPECT_EQ(grant_everyone_full_access(folder), 0u);
  EXPECT_TRUE(allowed_entry(folder, everyone).found);
  FreeSid(everyone);
}

TEST(DirectoryRightsOnWindows, MissingFolderIsCodeThree) {
  test::ScratchFolder scratch;
  std::string missing = scratch.file("not here");
  EXPECT_EQ(grant_everyone_full_access(missing), rights_path_not_found);
  std::string log = grant_directory_rights(missing);
  EXPECT_EQ(log.rfind("Granting rights to directory \"" + missing + "\"...FAILED code 3: ", 0), 0u) << log;
  EXPECT_EQ(log.substr(log.size() - 4), "\r\n\r\n");
  EXPECT_GT(log.size(), ("Granting rights to directory \"" + missing + "\"...FAILED code 3: \r\n\r\n").size())
      << "the system's text follows the code";
}

}  // namespace
}  // namespace halvard
