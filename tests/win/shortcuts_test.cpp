// Shell links written by the shortcut phase and read back through the shell's own link
// object: target, arguments, start-in folder, icon and show command; the phase's folders,
// log lines and removal records.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <string>
#include <vector>

#include "file_test_support.h"
#include "foundation/file.h"
#include "installer/shortcut_rules.h"
#include "installer/shortcuts_win.h"
#include "package/message_numbers.h"
#include "package/option_bits.h"
#include "variables/variable_values_win.h"

namespace halvard {
namespace {

using test::ScratchFolder;

struct LinkContents {
  bool read = false;
  std::string target, arguments, working, icon;
  int icon_index = -1;
};

std::string narrow(const wchar_t* text) {
  char out[MAX_PATH * 2] = "";
  WideCharToMultiByte(CP_ACP, 0, text, -1, out, sizeof out, nullptr, nullptr);
  return out;
}

LinkContents read_link(const std::string& path) {
  LinkContents contents;
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))))
    return contents;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
      SUCCEEDED(file->Load(name_to_wide(path).c_str(), STGM_READ))) {
    wchar_t text[MAX_PATH * 2] = L"";
    link->GetPath(text, MAX_PATH * 2, nullptr, SLGP_RAWPATH);
    contents.target = narrow(text);
    text[0] = 0;
    link->GetArguments(text, MAX_PATH * 2);
    contents.arguments = narrow(text);
    text[0] = 0;
    link->GetWorkingDirectory(text, MAX_PATH * 2);
    contents.working = narrow(text);
    text[0] = 0;
    link->GetIconLocation(text, MAX_PATH * 2, &contents.icon_index);
    contents.icon = narrow(text);
    contents.read = true;
  }
  if (file) file->Release();
  link->Release();
  return contents;
}

// The show command as the link file's header holds it (offset 0x3C); Wine's link
// object reads it back as SW_SHOWNORMAL whatever the file says.
int stored_show_command(const std::string& path) {
  std::string bytes = test::read_all(path);
  if (bytes.size() < 0x40) return -1;
  return int(uint8_t(bytes[0x3C]) | uint8_t(bytes[0x3D]) << 8);
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class Shortcuts : public ::testing::Test {
 protected:
  void SetUp() override { CoInitialize(nullptr); }
  void TearDown() override { CoUninitialize(); }
};

TEST_F(Shortcuts, LinkCarriesEverythingItWasGiven) {
  ScratchFolder scratch;
  const std::string program = scratch.file("Tool & Co\\tool.exe");
  CreateDirectoryA(scratch.file("Tool & Co").c_str(), nullptr);
  test::write_all(program, "MZ");
  std::string path = scratch.file("Menu\\Deeper\\Tool");
  ASSERT_TRUE(write_link(path, program, "/open \"a b\"", scratch.file("Tool & Co") + "\\\\", scratch.file("tool.ico"),
                         link_maximised));
  EXPECT_EQ(path, scratch.file("Menu\\Deeper\\Tool.LNK"));
  LinkContents link = read_link(path);
  ASSERT_TRUE(link.read);
  EXPECT_EQ(link.target, program);
  EXPECT_EQ(link.arguments, "/open \"a b\"");
  EXPECT_EQ(link.working, scratch.file("Tool & Co"));
  EXPECT_EQ(link.icon, scratch.file("tool.ico"));
  EXPECT_EQ(link.icon_index, 0);
  EXPECT_EQ(stored_show_command(path), SW_SHOWMAXIMIZED);

  // A name that already says ".lnk" is kept; without an icon the target's is used.
  std::string plain = scratch.file("Plain.lnk");
  ASSERT_TRUE(write_link(plain, program, "", "C:", "", link_minimised));
  EXPECT_EQ(plain, scratch.file("Plain.lnk"));
  link = read_link(plain);
  EXPECT_EQ(link.icon, program);
  EXPECT_EQ(link.working, "C:\\");
  EXPECT_EQ(stored_show_command(plain), SW_SHOWMINNOACTIVE);
}

TEST_F(Shortcuts, PhaseMakesEachKindLogsAndRecordsIt) {
  ScratchFolder scratch;
  InstallSettings settings;
  settings.ProductName = "Link Test";
  settings.InstallDir = scratch.file("App");
  settings.UninstallDir = scratch.file("App\\Uninstall");
  settings.UninstallerName = "Uninstall.exe";
  settings.UninstallKeyName = "Halvard Link Test";
  settings.ProductFlags.low = product_flag::low_detailed_log | product_flag::low_uninstall_support |
                              product_flag::low_uninstaller_start_menu_shortcut;
  settings.LanguageNames = {"English"};
  settings.Messages.assign(105, {""});
  settings.Messages[message_number::uninstaller_shortcut_name] = {"Uninstall <product>"};
  settings.Messages[message_number::default_shortcut_name] = {"%s"};
  settings.Messages[message_number::file_not_created] = {"Could not create"};
  CreateDirectoryA(settings.InstallDir.c_str(), nullptr);
  test::write_all(settings.InstallDir + "\\tool.exe", "MZ");
  const std::string custom = scratch.file("Custom");

  ShortcutEntry every;
  every.target = "tool.exe";  // relative: to the installation folder
  every.name = "Halvard Link Test\\Tool";
  every.working_directory = "\"" + scratch.file("missing") + "\"";  // not there: the installation folder
  every.desktop = every.start_menu = every.startup = 1;
  every.custom_folder = custom;
  ShortcutEntry tilde;
  tilde.target = "ignored.exe";
  tilde.arguments = "~\"%InstallDir%\\tool.exe\" /help";
  tilde.custom_folder = custom;
  tilde.keep = 1;
  settings.ShortcutEntries = {every, tilde};

  RunState state;
  state.uninstall_support = true;
  state.start_menu_folder = "Halvard Link Menu";
  UserInterface ui(settings);
  install_shortcuts(ui, state);
  EXPECT_EQ(state.failure_summary, "");

  const std::string desktop = variable_value(Variable::DesktopDir, settings) + "\\Halvard Link Test\\Tool.LNK";
  const std::string menu =
      variable_value(Variable::SMProgramsDir, settings) + "\\Halvard Link Menu\\Halvard Link Test\\Tool.LNK";
  const std::string startup = variable_value(Variable::StartupDir, settings) + "\\Halvard Link Test\\Tool.LNK";
  const std::string in_custom = custom + "\\Halvard Link Test\\Tool.LNK";
  const std::string kept = custom + "\\tool.exe.LNK";
  const std::string uninstaller =
      variable_value(Variable::SMProgramsDir, settings) + "\\Halvard Link Menu\\Uninstall Link Test.LNK";
  for (const std::string& path : {desktop, menu, startup, in_custom, kept, uninstaller}) {
    EXPECT_TRUE(exists(path)) << path;
  }
  LinkContents link = read_link(menu);
  EXPECT_EQ(link.target, settings.InstallDir + "\\tool.exe");
  EXPECT_EQ(link.working, settings.InstallDir);
  link = read_link(kept);
  EXPECT_EQ(link.target, settings.InstallDir + "\\tool.exe");
  EXPECT_EQ(link.arguments, "/help");
  link = read_link(uninstaller);
  EXPECT_EQ(link.target, settings.UninstallDir + "\\Uninstall.exe");
  EXPECT_EQ(link.arguments, "/u:\"Halvard Link Test\"");

  EXPECT_EQ(state.log.text(), "\r\nDesktop Shortcut(Halvard Link Test\\Tool) >>> " + desktop +
                                  "\r\nStart Menu Shortcut(Halvard Link Test\\Tool) >>> " + menu +
                                  "\r\nStartup Shortcut(Halvard Link Test\\Tool) >>> " + startup +
                                  "\r\nShortcut(Halvard Link Test\\Tool) >>> " + in_custom +
                                  "\r\nShortcut(tool.exe) >>> " + kept + "\r\nUninstaller Shortcut >>> " + uninstaller +
                                  "\r\n");
  // Nested names record their folder too (not for Startup); the kept link is not recorded.
  std::vector<std::string> recorded;
  for (const RemovalEntry& entry : state.removal.entries()) recorded.push_back(entry.path);
  auto folder = [](const std::string& path) { return path.substr(0, path.find_last_of('\\')); };
  EXPECT_EQ(recorded, (std::vector<std::string>{desktop, folder(desktop), menu, folder(menu), startup, in_custom,
                                                folder(in_custom), uninstaller}));

  for (const std::string& path : {desktop, menu, startup, uninstaller}) DeleteFileA(path.c_str());
  for (const std::string& path : {desktop, menu, startup}) RemoveDirectoryA(folder(path).c_str());
  RemoveDirectoryA(folder(folder(menu)).c_str());
}

}  // namespace
}  // namespace halvard
