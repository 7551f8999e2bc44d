// The uninstall registration against Wine's real registry: every value read back with
// its type and data, values named by full paths, the uninstaller file, its icon, the
// read-back check and the failure report. Every key a test writes is removed after it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "file_test_support.h"
#include "foundation/windows_error.h"
#include "installer/file_install_win.h"
#include "foundation/registry_access_win.h"
#include "installer/uninstall_registration_win.h"
#include "records/deferred_operations_win.h"

namespace halvard {
namespace {

using test::read_all;
using test::ScratchFolder;

constexpr char key_name[] = "HalvardRegistrationTest";
constexpr char uninstall_key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\HalvardRegistrationTest";
constexpr char test_key[] = "Software\\HalvardTest";

struct Value {
  bool present = false;
  DWORD type = 0;
  std::string data;
};

Value read_value(HKEY root, const char* key_path, const std::string& name) {
  Value value;
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, key_path, 0, KEY_READ | registry_32bit_view, &key) != ERROR_SUCCESS) return value;
  char data[4096];
  DWORD size = sizeof data;
  if (RegQueryValueExA(key, name.c_str(), nullptr, &value.type, reinterpret_cast<BYTE*>(data), &size) ==
      ERROR_SUCCESS) {
    value.present = true;
    value.data.assign(data, size);
  }
  RegCloseKey(key);
  return value;
}

std::string as_dword(uint32_t number) { return std::string(reinterpret_cast<const char*>(&number), 4); }
std::string as_sz(const std::string& text) { return text + '\0'; }

void write_stale(const char* name) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, uninstall_key, 0, nullptr, 0, KEY_ALL_ACCESS | registry_32bit_view,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  DWORD one = 1;
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
  RegCloseKey(key);
}

class UninstallRegistrationTest : public ::testing::Test {
 protected:
  UninstallRegistrationTest() {
    remove_keys();
    s.ProductName = "Halvard Registration Test";
    s.UninstallKeyName = key_name;
    s.InstallDir = folder.path();
    s.UninstallDir = folder.path();
    s.UninstallerName = "uninstall.exe";
    s.ProductFlags = {0x8004, 0x80000000};
    s.SetupOptions = setup_option::uninstaller_without_package;
    s.UninstallerDate = {2022, 3, 4, 5, 6, 7};
    s.DisplayVersion = "5.10.2";
    s.Publisher = "Halvard Works";
    s.ProductRegistry = "Halvard\\Test";
    s.SharedPath = folder.file("shared");
    s.UninstallBatch1 = "echo one";
    s.UninstallBatch2 = "echo two";
    s.UninstallSubdir = "";
    s.ShortcutMode = 1;
    s.NotifyURL = "http://example.com/gone";
    s.DisplayTitle = "Test Title";
    s.TitleColor = 0xFFFEF7;
    s.TitleSize = 1.25;
    s.TopColor = 0x800000;
    s.BottomColor = 0x000080;
    s.TitleShadow = 2;
    s.TitlePosition = 3;
    s.TitleFont = "Arial";
    s.TaskbarText = "Test Setup";
    s.CopyrightText = "(c) Halvard";
    s.CopyrightFont = "Verdana";
    s.CopyrightSize = 0.5;
    s.CopyrightColor = 0x0A0B0C;
    s.CopyrightPos = 4;
    s.BackgroundBitmap = {1, 2, 3};
    s.BitmapSize = 80;
    s.BitmapTPI = 12;
    s.StretchMode = 2;
    s.InstallDirValue = "\\HKLM\\Software\\HalvardTest\\Path";
    s.RegistrationValues = {
        {"Comments", 1, "In %InstallDir%"},
        {"HelpLink", 2, "%ProgramFiles%\\help.htm"},
        {"\\HKCU\\Software\\HalvardTest\\Mode", 4, "3"},
        {"Nowhere\\Value", 1, "x"},
    };
    package.engine_copy = to_bytes(read_all(test::beside_this_program("version_resource.exe")));
    s.EngineCopySize = package.engine_copy.size();
    package.header.FileDataSizes = {200000};
    state.start_menu_folder = "Halvard\\Test";
    state.shared_files_value = "\"C:\\windows\\system32\\old.dll \"";
  }
  ~UninstallRegistrationTest() override { remove_keys(); }

  static void remove_keys() {
    delete_key_tree(HKEY_LOCAL_MACHINE, uninstall_key);
    delete_key_tree(HKEY_CURRENT_USER, test_key);
    delete_key_tree(HKEY_LOCAL_MACHINE, test_key);
  }

  static std::vector<uint8_t> to_bytes(const std::string& text) { return {text.begin(), text.end()}; }

  UninstallPlan plan() {
    UninstallFacts facts = gather_uninstall_facts(s, package, state, "D:\\setup.exe");
    facts.product_fonts = product_fonts_text({{"Test Sans", "test.ttf"}});
    return plan_uninstall_registration(s, facts);
  }

  ScratchFolder folder;
  InstallSettings s;
  OpenedPackage package;
  RunState state;
};

// Each value of the uninstall key as the plan says, by type and bytes.
void expect_key_holds(const UninstallPlan& plan) {
  for (const RegistryOperation& op : plan.values) {
    if (op.target != ValueTarget::uninstall_key) continue;
    SCOPED_TRACE(op.name);
    Value found = read_value(HKEY_LOCAL_MACHINE, uninstall_key, op.name);
    switch (op.kind) {
      case RegistryOperationKind::set_string:
        EXPECT_EQ(found.type, DWORD(REG_SZ));
        EXPECT_EQ(found.data, as_sz(op.text));
        break;
      case RegistryOperationKind::set_expand_string:
        EXPECT_EQ(found.type, DWORD(REG_EXPAND_SZ));
        EXPECT_EQ(found.data, as_sz(op.text));
        break;
      case RegistryOperationKind::set_dword:
        EXPECT_EQ(found.type, DWORD(REG_DWORD));
        EXPECT_EQ(found.data, as_dword(op.number));
        break;
      case RegistryOperationKind::delete_value:
        EXPECT_FALSE(found.present);
        break;
    }
  }
}

TEST_F(UninstallRegistrationTest, WritesEveryValueWithItsType) {
  ASSERT_GT(package.engine_copy.size(), 1000u);
  ASSERT_TRUE(place_uninstaller(s, package, state, "unused"));
  EXPECT_EQ(to_bytes(read_all(folder.file("uninstall.exe"))), package.engine_copy);
  FileDate date;
  ASSERT_TRUE(file_local_date(folder.file("uninstall.exe"), date));
  EXPECT_EQ(date, s.UninstallerDate);

  UninstallPlan planned = plan();
  EXPECT_TRUE(write_uninstall_registration(s, planned, state));
  expect_key_holds(planned);

  // Spot checks of what the plan computed from the running system, by their text.
  const std::string quoted = "\"" + folder.file("uninstall.exe") + "\"";
  auto text = [](const char* name) { return read_value(HKEY_LOCAL_MACHINE, uninstall_key, name).data; };
  EXPECT_EQ(text("UninstallString"), as_sz(quoted + " /u:\"HalvardRegistrationTest\""));
  EXPECT_EQ(text("QuietUninstallString"), as_sz(quoted + " /a /u:\"HalvardRegistrationTest\""));
  EXPECT_EQ(text("ProductFlags"), as_sz("-9223372036854743036"));
  EXPECT_EQ(text("CopyrightColor"), as_sz("0C0B0A"));
  EXPECT_EQ(text("VersionMajor"), as_dword(5));
  EXPECT_EQ(text("VersionMinor"), as_dword(10));
  EXPECT_EQ(text("Comments"), as_sz("In " + folder.path()));
  EXPECT_EQ(text("ProductFonts"), as_sz("\"Test Sans\" \"test.ttf\" "));
  EXPECT_EQ(text("SharedFiles"), as_sz("\"C:\\windows\\system32\\old.dll \""));
  Value size = read_value(HKEY_LOCAL_MACHINE, uninstall_key, "EstimatedSize");
  ASSERT_TRUE(size.present);
  // The engine copy and the file rounded up to whole clusters, in KiB.
  uint32_t kilobytes = *reinterpret_cast<const uint32_t*>(size.data.data());
  EXPECT_GE(kilobytes, (package.engine_copy.size() + 200000) / 1024);
  EXPECT_LE(kilobytes, (package.engine_copy.size() + 200000) / 1024 + 2 * 64);
  EXPECT_EQ(text("InstallDate").find(' ') != std::string::npos, true);

  Value mode = read_value(HKEY_CURRENT_USER, "Software\\HalvardTest", "Mode");
  EXPECT_EQ(mode.type, DWORD(REG_DWORD));
  EXPECT_EQ(mode.data, as_dword(3));
  Value path = read_value(HKEY_LOCAL_MACHINE, "Software\\HalvardTest", "Path");
  EXPECT_EQ(path.type, DWORD(REG_SZ));
  EXPECT_EQ(path.data, as_sz(folder.path()));

  // The one entry that names no root is reported by its name; nothing else is.
  EXPECT_EQ(state.failure_summary,
            "Failed to save data in registry key \"Nowhere\\Value\": " + windows_error_text(ERROR_BAD_PATHNAME) + "\r\n");
}

TEST_F(UninstallRegistrationTest, DeletesWhatAnEarlierVersionLeft) {
  for (const char* name : {"Publisher", "VersionMajor", "VersionMinor", "BottomColor", "BitmapSize", "BitmapTPI",
                           "StretchMode", "ShortcutMode", "HelpLink"})
    write_stale(name);
  s.DisplayVersion = "5";
  s.Publisher.clear();
  s.BottomColor = s.TopColor;
  s.BackgroundBitmap.clear();
  s.ShortcutMode = 0;
  s.RegistrationValues = {{"HelpLink", 2, ""}};

  UninstallPlan planned = plan();
  EXPECT_TRUE(write_uninstall_registration(s, planned, state));
  expect_key_holds(planned);
  for (const char* name : {"Publisher", "VersionMajor", "VersionMinor", "BottomColor", "BitmapSize", "BitmapTPI",
                           "StretchMode", "ShortcutMode", "HelpLink"})
    EXPECT_FALSE(read_value(HKEY_LOCAL_MACHINE, uninstall_key, name).present) << name;
  EXPECT_EQ(read_value(HKEY_LOCAL_MACHINE, uninstall_key, "MonoColor").data, as_dword(1));
  EXPECT_EQ(state.failure_summary, "");
}

TEST_F(UninstallRegistrationTest, KeyThatCannotBeOpenedIsReported) {
  s.UninstallKeyName.clear();
  s.ProductName.clear();
  EXPECT_FALSE(write_uninstall_registration(s, plan(), state));
  EXPECT_EQ(state.failure_summary, "System error: " + windows_error_text(ERROR_INVALID_NAME) +
                                       "\r\n\r\nUnable to save the uninstall information to the registry.  "
                                       "Uninstall will not work properly.\r\n\r\n");
  EXPECT_FALSE(read_value(HKEY_LOCAL_MACHINE, "Software\\HalvardTest", "Path").present);
}

TEST_F(UninstallRegistrationTest, ReplacesTheUninstallerIcon) {
  // An icon file of two (opaque) images.
  const std::vector<uint8_t> first = {'o', 'n', 'e'};
  const std::vector<uint8_t> second = {'s', 'e', 'c', 'o', 'n', 'd'};
  std::vector<uint8_t> icon = {0, 0, 1, 0, 2, 0,
                               16, 16, 0, 0, 1, 0, 32, 0, 3, 0, 0, 0, 38, 0, 0, 0,
                               32, 32, 0, 0, 1, 0, 32, 0, 6, 0, 0, 0, 41, 0, 0, 0};
  icon.insert(icon.end(), first.begin(), first.end());
  icon.insert(icon.end(), second.begin(), second.end());
  ASSERT_TRUE(place_uninstaller(s, package, state, "unused", icon));
  EXPECT_EQ(state.log.text().find("icon"), std::string::npos) << state.log.text();

  HMODULE module = LoadLibraryExA(folder.file("uninstall.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  auto resource = [module](LPCSTR type, int name) {
    HRSRC found = FindResourceExA(module, type, MAKEINTRESOURCEA(name), 1033);
    if (!found) return std::vector<uint8_t>();
    const uint8_t* data = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
    return std::vector<uint8_t>(data, data + SizeofResource(module, found));
  };
  EXPECT_EQ(resource(RT_ICON, 1), first);
  EXPECT_EQ(resource(RT_ICON, 2), second);
  const std::vector<uint8_t> group = {0, 0, 1, 0, 2, 0,
                                      16, 16, 0, 0, 1, 0, 32, 0, 3, 0, 0, 0, 1, 0,
                                      32, 32, 0, 0, 1, 0, 32, 0, 6, 0, 0, 0, 2, 0};
  EXPECT_EQ(resource(RT_GROUP_ICON, 1), group);
  FreeLibrary(module);

  // A cut icon file leaves the uninstaller as it was and says so.
  icon.resize(40);
  ASSERT_TRUE(place_uninstaller(s, package, state, "unused", icon));
  EXPECT_EQ(to_bytes(read_all(folder.file("uninstall.exe"))), package.engine_copy);
  EXPECT_NE(state.log.text().find("Failed to replace uninstaller icon.\r\n"), std::string::npos);
}

TEST_F(UninstallRegistrationTest, CopiesTheEngineFileAndReplacesOneInUseAtRestart) {
  s.SetupOptions = 0;
  const std::string source = folder.file("setup.exe");
  test::write_all(source, "engine and package");
  ASSERT_TRUE(place_uninstaller(s, package, state, source));
  EXPECT_EQ(read_all(folder.file("uninstall.exe")), "engine and package");

  std::vector<PendingOperation> saved = read_pending_operations();
  test::write_all(source, "newer engine");
  {
    test::LockingProcess locker(folder.file("uninstall.exe"));
    ASSERT_TRUE(locker.holds_lock());
    EXPECT_FALSE(place_uninstaller(s, package, state, source));
  }
  write_pending_operations(saved);
  EXPECT_TRUE(state.reboot_wanted);
  EXPECT_EQ(state.failure_summary, "");
  const std::string& log = state.log.text();
  const std::string head = "\"" + folder.file("uninstall.exe") + "\" was successfully registered for replacement.\r\n"
                           "Temporary file is \"";
  ASSERT_EQ(log.find(head), 0u) << log;
  std::string temporary = log.substr(head.size(), log.find('"', head.size()) - head.size());
  EXPECT_EQ(read_all(temporary), "newer engine");
  EXPECT_NE(log.find("Reboot will be required.\r\n\r\n"), std::string::npos);
}

}  // namespace
}  // namespace halvard
