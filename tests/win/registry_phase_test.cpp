// The installation's registry script, associations and firewall exceptions on Wine's
// real registry, each undone again by the uninstaller's own functions; the firewall
// through a recording stand-in, since Wine's firewall service keeps nothing.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "foundation/registry_access_win.h"
#include "installer/registry_phase_win.h"
#include "uninstall/uninstall_registry_win.h"

namespace halvard {
namespace {

constexpr char script_key[] = "Software\\Halvard Script Test";

struct Value {
  DWORD type = 0;
  std::string bytes;
  bool present = false;
};

// The file classes are read and written in the view a 32-bit program has, as both
// engines and the uninstaller do (Wine, unlike Windows, keeps two sets of classes).
REGSAM view_of(HKEY root) { return root == HKEY_CLASSES_ROOT ? KEY_WOW64_32KEY : 0; }

Value read_value(HKEY root, const std::string& key_path, const char* name) {
  Value value;
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, key_path.c_str(), 0, KEY_READ | view_of(root), &key) != ERROR_SUCCESS) return value;
  DWORD size = 0;
  if (RegQueryValueExA(key, name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
    value.bytes.resize(size);
    RegQueryValueExA(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(value.bytes.data()), &size);
    value.bytes.resize(size);
    value.present = true;
  }
  RegCloseKey(key);
  return value;
}

bool key_exists(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view_of(root), &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// The names under a key, for a failure's message: "sub-key/" and "value=".
std::string listing(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view_of(root), &key) != ERROR_SUCCESS) return "(none)";
  std::string text;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    text += std::string(name) + "/ " + listing(root, path + "\\" + name) + " ";
  }
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    if (RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    text += std::string(name) + "= ";
  }
  RegCloseKey(key);
  return "[" + text + "]";
}

void set_default(HKEY root, const std::string& path, const std::string& text) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_WRITE | view_of(root), nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), DWORD(text.size() + 1));
  RegCloseKey(key);
}

InstallSettings settings_for_test() {
  InstallSettings settings;
  settings.ProductName = "Script Test";
  settings.InstallDir = "C:\\Script Test";
  settings.LanguageNames = {"English", "Deutsch"};
  settings.LanguageIndex = 0;
  return settings;
}

class RegistryPhase : public ::testing::Test {
 protected:
  void TearDown() override {
    delete_key_tree(HKEY_CURRENT_USER, script_key);
    for (const char* key : {".hvone", ".hvtwo", ".hvthree", "Halvard.One", "Halvard.Earlier", "Halvard.Three"})
      delete_key_tree(HKEY_CLASSES_ROOT, key);
  }
};

TEST_F(RegistryPhase, ScriptWritesEveryTypeReportsBadLinesAndIsUndone) {
  InstallSettings settings = settings_for_test();
  const std::string k = std::string("\\HKCU\\") + script_key;
  settings.RegistryScript =
      k + "\\Empty Key\r\n" + k + ",Text,1,%InstallDir%\\bin,0,0\r\n" + k + ",Expand,2,%InstallDir%\\bin,0,0\r\n" + k +
      ",Bytes,3,0a 1B ff,0,0\r\n" + k + ",Odd,3,0a 1b f,0,0\r\n" + k + ",Number,4,258,0,0\r\n" + k +
      ",Large,11,4294967296,0,0\r\n" + k + ",Kept,1,stays,0,1\r\n" + k + ",Only for removal,1,x,1,0\r\n" + k +
      ",Five,1,x,0\r\n" + "\\HKXX\\Software\\Nowhere,Name,1,x,0,0\r\n" + k + "\\..\\Escape,Name,1,x,0,0\r\n";
  RunState state;
  apply_registry_key_and_script(settings, state);

  const std::string key = script_key;
  EXPECT_TRUE(key_exists(HKEY_CURRENT_USER, key + "\\Empty Key"));
  const struct {
    const char* name;
    DWORD type;
    std::string bytes;
  } expected[] = {
      {"Text", REG_SZ, std::string("C:\\Script Test\\bin\0", 19)},
      {"Expand", REG_EXPAND_SZ, std::string("%InstallDir%\\bin\0", 17)},
      {"Bytes", REG_BINARY, "\x0a\x1b\xff"},
      {"Odd", REG_BINARY, "0a1bf"},
      {"Number", REG_DWORD, std::string("\x02\x01\0\0", 4)},
      {"Large", REG_QWORD, std::string("\0\0\0\0\x01\0\0\0", 8)},
      {"Kept", REG_SZ, std::string("stays\0", 6)},
  };
  for (const auto& e : expected) {
    Value value = read_value(HKEY_CURRENT_USER, key, e.name);
    EXPECT_TRUE(value.present) << e.name;
    EXPECT_EQ(value.type, e.type) << e.name;
    EXPECT_EQ(value.bytes, e.bytes) << e.name;
  }
  EXPECT_FALSE(read_value(HKEY_CURRENT_USER, key, "Only for removal").present);
  EXPECT_EQ(state.failure_summary, "Illegal registry entry: " + k + ",Five,1,x,0\r\n" +
                                       "Failed to create registry key: \\HKXX\\Software\\Nowhere\r\n" +
                                       "Illegal registry entry: " + k + "\\..\\Escape,Name,1,x,0,0\r\n");
  EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, "Software\\Escape"));

  // The uninstaller reads the same script back and leaves only the kept value.
  undo_registry_script(parse_registry_script_removals(settings.RegistryScript), 0);
  EXPECT_TRUE(read_value(HKEY_CURRENT_USER, key, "Kept").present);
  for (const char* gone : {"Text", "Expand", "Bytes", "Number", "Large"})
    EXPECT_FALSE(read_value(HKEY_CURRENT_USER, key, gone).present) << gone;
  EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, key + "\\Empty Key"));
}

TEST_F(RegistryPhase, AllUsersValuesGoToEveryLoadedProfile) {
  InstallSettings settings = settings_for_test();
  settings.RegistryScript = std::string("\\HKAU\\") + script_key + ",Everyone,1,here,0,0";
  RunState state;
  apply_registry_key_and_script(settings, state);
  EXPECT_EQ(state.failure_summary, "");
  int profiles = 0;
  for_each_user_hive(KEY_READ, [&](HKEY user) {
    ++profiles;
    EXPECT_EQ(read_value(user, script_key, "Everyone").bytes, std::string("here\0", 5));
    delete_key_tree(user, script_key);
  });
  EXPECT_GT(profiles, 0) << "no loaded profile under HKEY_USERS";
}

TEST_F(RegistryPhase, AssociationsBackUpWhatTheyReplaceAndAreRestored) {
  // .hvtwo already opens with an earlier program through its own class.
  const std::string earlier_command = "\"C:\\Earlier\\viewer.exe\" \"%1\"";
  set_default(HKEY_CLASSES_ROOT, ".hvtwo", "Halvard.Earlier");
  set_default(HKEY_CLASSES_ROOT, "Halvard.Earlier\\shell\\open\\command", earlier_command);
  InstallSettings settings = settings_for_test();
  settings.FileAssociations = {
      {1, "hvone", "Halvard.One", "Halvard file", "open", "&Open", "\"%InstallDir%\\app.exe\" \"%1\"", "",
       "%InstallDir%\\app.exe,0"},
      {0, ".hvtwo", "!Halvard.Two", "", "open", "&Open", "\"%InstallDir%\\app.exe\" \"%1\"", "", ""},
      {0, ".hvthree", "!Halvard.Three", "Three", "edit", "&Edit", "app.exe \"%1\"", "", ""},
      {0, ".hvfour", "Halvard.Four", "", "open", "&Open", "x", "Deutsch", ""},  // another language
      {0, "", "Halvard.Empty", "", "open", "&Open", "x", "", ""},
  };
  RunState state;
  apply_associations(settings, state);
  EXPECT_EQ(state.failure_summary, "");

  EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, ".hvone", nullptr).bytes, std::string("Halvard.One\0", 12));
  EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, "Halvard.One", nullptr).bytes, std::string("Halvard file\0", 13));
  EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, "Halvard.One\\shell", nullptr).bytes, std::string("open\0", 5));
  EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, "Halvard.One\\DefaultIcon", nullptr).bytes,
            std::string("C:\\Script Test\\app.exe,0\0", 25));
  const std::string product_command = "\"C:\\Script Test\\app.exe\" \"%1\"";
  EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, "Halvard.One\\shell\\open\\command", nullptr).bytes, product_command + '\0');
  // "!": the class the extension has is used, its command replaced and backed up.
  EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, "Halvard.Earlier\\shell\\open\\command", nullptr).bytes,
            product_command + '\0');
  EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, "Halvard.Earlier\\shell\\open\\command", "Script Test Backup").bytes,
            earlier_command + '\0');
  EXPECT_FALSE(key_exists(HKEY_CLASSES_ROOT, "Halvard.Two"));
  // "!" over an extension without a class: the named class is made.
  EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, ".hvthree", nullptr).bytes, std::string("Halvard.Three\0", 14));
  EXPECT_FALSE(key_exists(HKEY_CLASSES_ROOT, ".hvfour"));
  EXPECT_EQ(state.uninstall_data.associations, (std::vector<AssociationRecord>{{".hvone", "Halvard.One", "open"},
                                                                               {".hvtwo", "Halvard.Earlier", "open"},
                                                                               {".hvthree", "Halvard.Three", "edit"}}));

  restore_associations(state.uninstall_data.associations, "Script Test Backup");
  EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, "Halvard.Earlier\\shell\\open\\command", nullptr).bytes,
            earlier_command + '\0');
  EXPECT_FALSE(read_value(HKEY_CLASSES_ROOT, "Halvard.Earlier\\shell\\open\\command", "Script Test Backup").present);
  EXPECT_EQ(read_value(HKEY_CLASSES_ROOT, ".hvtwo", nullptr).bytes, std::string("Halvard.Earlier\0", 16));
  for (const char* gone : {".hvone", "Halvard.One", ".hvthree", "Halvard.Three"})
    EXPECT_FALSE(key_exists(HKEY_CLASSES_ROOT, gone)) << gone << " " << listing(HKEY_CLASSES_ROOT, gone);
}

TEST_F(RegistryPhase, AnAssociationWithoutAClassToUseFails) {
  InstallSettings settings = settings_for_test();
  settings.FileAssociations = {{0, ".hvone", "", "", "open", "&Open", "x", "", ""}};
  RunState state;
  apply_associations(settings, state);
  EXPECT_EQ(state.failure_summary, "Association failed/key inaccessible:  \".hvone\".\r\n\r\n");
  EXPECT_TRUE(state.uninstall_data.associations.empty());
}

// Records each call; answers with the codes it is given.
class RecordingFirewall : public FirewallExceptions {
 public:
  int status_code = 0;
  int port_code = 0;
  std::vector<std::string> calls;

  int status() const override { return status_code; }
  int add_application(const std::string& path, const std::string& name) override {
    calls.push_back("program " + path + " as " + name);
    return 0;
  }
  int add_port(long port, long protocol, const std::string& name) override {
    calls.push_back("port " + std::to_string(port) + "/" + std::to_string(protocol) + " as " + name);
    return port_code;
  }
};

TEST(FirewallPhase, PortsProgramsAndWhatIsRecorded) {
  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  std::string dir = std::string(folder) + "Halvard Firewall Test";
  CreateDirectoryA(dir.c_str(), nullptr);
  HANDLE program = CreateFileA((dir + "\\server.exe").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  CloseHandle(program);

  InstallSettings settings = settings_for_test();
  settings.InstallDir = dir;
  settings.FirewallList =
      "8080;Web;3;\r\n"
      "server.exe;Server;0;\r\n"
      "missing.exe;Missing;0;\r\n"
      "5000;Kept port;1;1\r\n";
  RecordingFirewall firewall;
  RunState state;
  apply_firewall_exceptions(settings, state, firewall);
  EXPECT_EQ(firewall.calls,
            (std::vector<std::string>{"port 8080/6 as Web", "port 8080/17 as Web",
                                      "program " + dir + "\\server.exe as Server", "port 5000/6 as Kept port"}));
  EXPECT_EQ(state.log.text(),
            "Added firewall exception: TCP port 8080\r\n"
            "Added firewall exception: UDP port 8080\r\n"
            "Added firewall exception: " +
                dir +
                "\\server.exe\r\n"
                "Failed to add firewall exception for \"" +
                dir +
                "\\missing.exe\": file does not exist\r\n"
                "Added firewall exception: TCP port 5000\r\n");
  EXPECT_EQ(state.uninstall_data.firewall, (std::vector<std::string>{"8080;Web;3;", "server.exe;Server;0;"}));

  // A port the service refuses is logged with its code and not recorded.
  RecordingFirewall refusing;
  refusing.port_code = 13;
  RunState refused;
  settings.FirewallList = "8080;Web;1;";
  apply_firewall_exceptions(settings, refused, refusing);
  EXPECT_EQ(refused.log.text(), "Failed to open firewall port 8080, code 13\r\n");
  EXPECT_TRUE(refused.uninstall_data.firewall.empty());

  RecordingFirewall unreachable;
  unreachable.status_code = 2;
  RunState offline;
  apply_firewall_exceptions(settings, offline, unreachable);
  EXPECT_EQ(offline.log.text(), "Failed to connect to the firewall service: code 2\r\n");
  EXPECT_TRUE(unreachable.calls.empty());

  DeleteFileA((dir + "\\server.exe").c_str());
  RemoveDirectoryA(dir.c_str());
}

}  // namespace
}  // namespace halvard
