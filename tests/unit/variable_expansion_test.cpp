#include "variables/variable_expansion.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "variables/directory_rights.h"

namespace halvard {
namespace {

// A system described by plain fields; everything it is asked is recorded.
class FakeFacts final : public VariableFacts {
 public:
  std::map<int, std::string> shell;
  std::map<std::string, std::string> per_user;
  std::map<std::string, std::string> all_users;
  std::map<std::string, std::string> machine;
  std::map<std::string, std::string> environment;
  std::string boot;
  std::string www_root;
  std::uint16_t architecture = 0;
  std::string module = "E:\\Downloads\\setup.exe";
  std::string system;
  bool nt = true;
  std::string temp;
  std::string windows = "C:\\FakeWin";
  int throw_on_shell_folder = -1;
  mutable std::vector<std::string> asked;

  std::string shell_folder(int id) const override {
    asked.push_back("shell " + std::to_string(id));
    if (id == throw_on_shell_folder) throw std::runtime_error("shell gone");
    return find(shell, id);
  }
  std::string shell_folders_value(ShellFoldersKey key, const std::string& name) const override {
    asked.push_back(name);
    return find(key == ShellFoldersKey::PerUser ? per_user : all_users, name);
  }
  std::string current_version_value(const std::string& name) const override {
    asked.push_back(name);
    return find(machine, name);
  }
  std::string boot_dir() const override { return boot; }
  std::string web_root() const override { return www_root; }
  std::optional<std::string> environment_variable(const std::string& name) const override {
    auto it = environment.find(name);
    if (it == environment.end()) return std::nullopt;
    return it->second;
  }
  std::uint16_t native_processor_architecture() const override { return architecture; }
  std::string module_path() const override { return module; }
  std::string system_directory() const override { return system; }
  bool nt_platform() const override { return nt; }
  std::string temp_path() const override { return temp; }
  std::string windows_directory() const override { return windows; }

 private:
  template <class Map, class Key>
  static std::string find(const Map& map, const Key& key) {
    auto it = map.find(key);
    return it == map.end() ? std::string() : it->second;
  }
};

struct Product {
  std::string install_dir = "D:\\Apps\\Tool";
  std::string product_name = "Tool";
  std::string shared_dir;
  std::string uninstall_subdir = "Uninstall";
  std::string version = "2.1";
  std::string old_version;
  ProductValues values() const {
    return {install_dir, product_name, shared_dir, uninstall_subdir, version, old_version};
  }
};

// Expands names of the fake environment as the system does: unknown names stay.
struct FakeEnvironment {
  std::map<std::string, std::string> variables{{"PATH", "C:\\FakeWin\\bin"}};
  bool fails = false;
  mutable std::vector<std::string> pieces;

  EnvironmentStep step() const {
    return [this](const std::string& in, std::string& out) {
      pieces.push_back(in);
      if (fails) return false;
      out.clear();
      std::size_t at = 0;
      while (at < in.size()) {
        std::size_t open = in.find('%', at);
        std::size_t close = open == std::string::npos ? open : in.find('%', open + 1);
        if (close == std::string::npos) break;
        auto it = variables.find(in.substr(open + 1, close - open - 1));
        out.append(in, at, open - at);
        if (it != variables.end()) {
          out += it->second;
          at = close + 1;
        } else {
          out.append(in, open, close - open);
          at = close;
        }
      }
      out.append(in, at, std::string::npos);
      return true;
    };
  }
};

TEST(VariableNames, TableOrderAndEnumAgree) {
  ASSERT_EQ(variable_names.size(), 36u);
  EXPECT_EQ(variable_name(Variable::AppDataAllDir), "%AppDataAllDir%");
  EXPECT_EQ(variable_name(Variable::SharedDir), "%SharedDir%");
  EXPECT_EQ(variable_name(Variable::SMProgramsAllDir), "%SMProgramsAllDir%");
  EXPECT_EQ(variable_name(Variable::StartMenuAllDir), "%StartMenuAllDir%");
  EXPECT_EQ(variable_name(Variable::WinDir), "%WinDir%");
  // Alphabetical without regard to case (which puts the two Start-menu program
  // variables between %SharedDir% and the Start-menu ones).
  for (std::size_t i = 1; i < variable_names.size(); ++i) {
    std::string before(variable_names[i - 1]), after(variable_names[i]);
    for (std::string* s : {&before, &after})
      for (char& c : *s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_LT(before, after) << i;
  }
}

TEST(ReplaceVariable, CaseRulesAndOccurrences) {
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"%InstallDir%\\bin", "D:\\Tool\\bin"},
      {"%installdir%\\bin", "D:\\Tool\\bin"},
      {"%INSTALLDIR%\\bin", "D:\\Tool\\bin"},
      {"%iNsTaLlDiR%\\bin", "D:\\Tool\\bin"},
      {"%InstallDir%;%installdir%;%INSTALLDIR%", "D:\\Tool;D:\\Tool;D:\\Tool"},
      {"%InstallDir%%InstallDir%", "D:\\ToolD:\\Tool"},
      {"%%InstallDir%%", "%D:\\Tool%"},
      {"InstallDir%InstallDir", "InstallDir%InstallDir"},   // no closing percent sign
      {"%Install Dir%", "%Install Dir%"},
      {"%InstallDi\xD2%", "%InstallDi\xD2%"},                 // only ASCII letters fold
      {"", ""},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    replace_variable(text, "%InstallDir%", "D:\\Tool");
    EXPECT_EQ(text, c.expected) << c.text;
  }
}

TEST(ReplaceVariable, ReplacedTextIsNotSearchedAgain) {
  std::string text = "%InstallDir%\\a;%InstallDir%\\b";
  replace_variable(text, "%InstallDir%", "C:\\%InstallDir%");
  EXPECT_EQ(text, "C:\\%InstallDir%\\a;C:\\%InstallDir%\\b");

  // An empty value removes the name.
  text = "a%SharedDir%b%shareddir%c";
  replace_variable(text, "%SharedDir%", "");
  EXPECT_EQ(text, "abc");
}

struct ChainCase {
  const char* what;
  Variable variable;
  std::function<void(FakeFacts&, Product&)> setup;
  const char* expected;
};

void check(const std::vector<ChainCase>& cases) {
  for (const ChainCase& c : cases) {
    FakeFacts facts;
    Product product;
    if (c.setup) c.setup(facts, product);
    EXPECT_EQ(variable_value(c.variable, facts, product.values()), c.expected)
        << variable_name(c.variable) << ": " << c.what;
  }
}

using V = Variable;
using Facts = FakeFacts;

TEST(VariableChains, PerUserShellFolders) {
  check({
      {"shell folder", V::DesktopDir, [](Facts& f, Product&) { f.shell[16] = "C:\\Users\\me\\Desktop"; f.per_user["Desktop"] = "X:\\no"; }, "C:\\Users\\me\\Desktop"},
      {"key value, backslash dropped", V::DesktopDir, [](Facts& f, Product&) { f.per_user["Desktop"] = "C:\\Reg\\Desktop\\"; }, "C:\\Reg\\Desktop"},
      {"key value at a root keeps it", V::DesktopDir, [](Facts& f, Product&) { f.per_user["Desktop"] = "C:\\"; }, "C:\\"},
      {"windows folder", V::DesktopDir, nullptr, "C:\\FakeWin\\Desktop"},
      {"windows folder with backslash", V::DesktopDir, [](Facts& f, Product&) { f.windows = "C:\\FakeWin\\"; }, "C:\\FakeWin\\Desktop"},
      {"shell folder", V::AppDataDir, [](Facts& f, Product&) { f.shell[26] = "C:\\AppData"; }, "C:\\AppData"},
      {"key value", V::AppDataDir, [](Facts& f, Product&) { f.per_user["AppData"] = "C:\\Reg\\AppData"; }, "C:\\Reg\\AppData"},
      {"common files", V::AppDataDir, [](Facts& f, Product&) { f.machine["CommonFilesDir"] = "C:\\PF\\Common\\"; }, "C:\\PF\\Common"},
      {"shell folder", V::DocumentDir, [](Facts& f, Product&) { f.shell[5] = "C:\\Docs"; }, "C:\\Docs"},
      {"key value", V::DocumentDir, [](Facts& f, Product&) { f.per_user["Personal"] = "C:\\Reg\\Docs"; }, "C:\\Reg\\Docs"},
      {"constant", V::DocumentDir, nullptr, "c:\\My Documents"},
      {"shell folder", V::FavoritesDir, [](Facts& f, Product&) { f.shell[6] = "C:\\Fav"; }, "C:\\Fav"},
      {"key value", V::FavoritesDir, [](Facts& f, Product&) { f.per_user["Favorites"] = "C:\\Reg\\Fav"; }, "C:\\Reg\\Fav"},
      {"windows folder", V::FavoritesDir, nullptr, "C:\\FakeWin\\Favorites"},
      {"shell folder", V::FontDir, [](Facts& f, Product&) { f.shell[20] = "C:\\Fonts"; }, "C:\\Fonts"},
      {"key value", V::FontDir, [](Facts& f, Product&) { f.per_user["Fonts"] = "C:\\Reg\\Fonts"; }, "C:\\Reg\\Fonts"},
      {"windows folder", V::FontDir, nullptr, "C:\\FakeWin\\Fonts"},
      {"shell folder", V::StartMenuDir, [](Facts& f, Product&) { f.shell[11] = "C:\\SM"; }, "C:\\SM"},
      {"key value", V::StartMenuDir, [](Facts& f, Product&) { f.per_user["Start Menu"] = "C:\\Reg\\SM"; }, "C:\\Reg\\SM"},
      {"windows folder", V::StartMenuDir, nullptr, "C:\\FakeWin\\Start Menu"},
      {"shell folder", V::SMProgramsDir, [](Facts& f, Product&) { f.shell[2] = "C:\\Progs"; }, "C:\\Progs"},
      {"key value", V::SMProgramsDir, [](Facts& f, Product&) { f.per_user["Programs"] = "C:\\Reg\\Progs"; }, "C:\\Reg\\Progs"},
      {"start menu", V::SMProgramsDir, [](Facts& f, Product&) { f.shell[11] = "C:\\SM"; }, "C:\\SM\\Programs"},
      {"windows folder", V::SMProgramsDir, nullptr, "C:\\FakeWin\\Start Menu\\Programs"},
      {"shell folder", V::StartupDir, [](Facts& f, Product&) { f.shell[7] = "C:\\Startup"; }, "C:\\Startup"},
      {"key value", V::StartupDir, [](Facts& f, Product&) { f.per_user["Startup"] = "C:\\Reg\\Startup"; }, "C:\\Reg\\Startup"},
      {"programs", V::StartupDir, [](Facts& f, Product&) { f.per_user["Programs"] = "C:\\Reg\\Progs\\"; }, "C:\\Reg\\Progs\\StartUp"},
      {"windows folder", V::StartupDir, nullptr, "C:\\FakeWin\\Start Menu\\Programs\\StartUp"},
  });
}

TEST(VariableChains, AllUsersShellFolders) {
  check({
      {"shell folder", V::AppDataAllDir, [](Facts& f, Product&) { f.shell[35] = "C:\\ProgramData"; }, "C:\\ProgramData"},
      {"key value", V::AppDataAllDir, [](Facts& f, Product&) { f.all_users["Common AppData"] = "C:\\Reg\\Data\\"; }, "C:\\Reg\\Data"},
      {"not the per-user value", V::AppDataAllDir, [](Facts& f, Product&) { f.per_user["Common AppData"] = "X:\\no"; f.shell[43] = "C:\\Common"; }, "C:\\Common"},
      {"program files", V::AppDataAllDir, [](Facts& f, Product&) { f.shell[38] = "C:\\PF"; }, "C:\\PF\\Common Files"},
      {"constant", V::AppDataAllDir, nullptr, "c:\\Program Files\\Common Files"},
      {"shell folder", V::DesktopAllDir, [](Facts& f, Product&) { f.shell[25] = "C:\\Public\\Desktop"; }, "C:\\Public\\Desktop"},
      {"key value", V::DesktopAllDir, [](Facts& f, Product&) { f.all_users["Common Desktop"] = "C:\\Reg\\PD"; }, "C:\\Reg\\PD"},
      {"per-user desktop", V::DesktopAllDir, [](Facts& f, Product&) { f.per_user["Desktop"] = "C:\\Reg\\D"; }, "C:\\Reg\\D"},
      {"shell and registry know none", V::DesktopAllDir, nullptr, "C:\\FakeWin\\Desktop"},
      {"shell folder", V::DocumentAllDir, [](Facts& f, Product&) { f.shell[46] = "C:\\Public\\Docs"; }, "C:\\Public\\Docs"},
      {"key value", V::DocumentAllDir, [](Facts& f, Product&) { f.all_users["Common Documents"] = "C:\\Reg\\PDocs"; }, "C:\\Reg\\PDocs"},
      {"per-user documents", V::DocumentAllDir, nullptr, "c:\\My Documents"},
      {"shell folder", V::FavoritesAllDir, [](Facts& f, Product&) { f.shell[31] = "C:\\AllFav"; }, "C:\\AllFav"},
      {"key value", V::FavoritesAllDir, [](Facts& f, Product&) { f.all_users["Common Favorites"] = "C:\\Reg\\AF"; }, "C:\\Reg\\AF"},
      {"per-user favourites", V::FavoritesAllDir, nullptr, "C:\\FakeWin\\Favorites"},
      {"shell folder", V::StartupAllDir, [](Facts& f, Product&) { f.shell[24] = "C:\\AllStartup"; }, "C:\\AllStartup"},
      {"key value", V::StartupAllDir, [](Facts& f, Product&) { f.all_users["Common Startup"] = "C:\\Reg\\AS\\"; }, "C:\\Reg\\AS"},
      {"per-user startup", V::StartupAllDir, [](Facts& f, Product&) { f.shell[7] = "C:\\Startup"; }, "C:\\Startup"},
  });
}

TEST(VariableChains, StartMenuFoldersFromCommonStartup) {
  const auto startup = [](Facts& f, Product&) {
    f.all_users["Common Startup"] = "C:\\All\\Start Menu\\Programs\\Startup\\";
  };
  check({
      {"shell folder", V::SMProgramsAllDir, [](Facts& f, Product&) { f.shell[23] = "C:\\AllProgs"; }, "C:\\AllProgs"},
      {"key value", V::SMProgramsAllDir, [](Facts& f, Product&) { f.all_users["Common Programs"] = "C:\\Reg\\AP"; }, "C:\\Reg\\AP"},
      {"parent of startup", V::SMProgramsAllDir, startup, "C:\\All\\Start Menu\\Programs"},
      {"startup without a parent", V::SMProgramsAllDir, [](Facts& f, Product&) { f.all_users["Common Startup"] = "Startup"; }, "C:\\FakeWin\\Start Menu\\Programs"},
      {"per-user programs", V::SMProgramsAllDir, nullptr, "C:\\FakeWin\\Start Menu\\Programs"},
      {"shell folder", V::StartMenuAllDir, [](Facts& f, Product&) { f.shell[22] = "C:\\AllSM"; }, "C:\\AllSM"},
      {"key value", V::StartMenuAllDir, [](Facts& f, Product&) { f.all_users["Common Start Menu"] = "C:\\Reg\\ASM"; }, "C:\\Reg\\ASM"},
      {"grandparent of startup", V::StartMenuAllDir, startup, "C:\\All\\Start Menu"},
      {"per-user start menu", V::StartMenuAllDir, [](Facts& f, Product&) { f.per_user["Start Menu"] = "C:\\Reg\\SM"; }, "C:\\Reg\\SM"},
  });
}

TEST(VariableChains, MachineValues) {
  check({
      {"shell folder", V::ProgramsDir, [](Facts& f, Product&) { f.shell[38] = "C:\\PF"; f.machine["ProgramFilesDir"] = "X:\\no"; }, "C:\\PF"},
      {"machine value", V::ProgramsDir, [](Facts& f, Product&) { f.machine["ProgramFilesDir"] = "C:\\Reg\\PF\\"; }, "C:\\Reg\\PF"},
      {"constant", V::ProgramsDir, nullptr, "c:\\Program Files"},
      {"shell folder", V::CommonDir, [](Facts& f, Product&) { f.shell[43] = "C:\\PF\\CF"; }, "C:\\PF\\CF"},
      {"machine value", V::CommonDir, [](Facts& f, Product&) { f.machine["CommonFilesDir"] = "C:\\Reg\\CF"; }, "C:\\Reg\\CF"},
      {"program files value", V::CommonDir, [](Facts& f, Product&) { f.machine["ProgramFilesDir"] = "C:\\Reg\\PF"; }, "C:\\Reg\\PF\\Common Files"},
      {"machine value", V::MediaDir, [](Facts& f, Product&) { f.machine["MediaPath"] = "C:\\Media\\"; }, "C:\\Media"},
      {"windows folder", V::MediaDir, nullptr, "C:\\FakeWin\\Media"},
      {"first entry, system root", V::DeviceDir, [](Facts& f, Product&) { f.machine["DevicePath"] = "%SystemRoot%\\inf;C:\\Drivers"; f.environment["SystemRoot"] = "C:\\FakeWin"; }, "C:\\FakeWin\\inf"},
      {"system root in any case", V::DeviceDir, [](Facts& f, Product&) { f.machine["DevicePath"] = "%SYSTEMROOT%\\Inf\\;x"; f.environment["SystemRoot"] = "C:\\W"; }, "C:\\W\\Inf"},
      {"no SystemRoot variable", V::DeviceDir, [](Facts& f, Product&) { f.machine["DevicePath"] = "%SystemRoot%\\inf"; }, "%SystemRoot%\\inf"},
      {"plain path", V::DeviceDir, [](Facts& f, Product&) { f.machine["DevicePath"] = "D:\\Drivers"; }, "D:\\Drivers"},
      {"empty first entry", V::DeviceDir, [](Facts& f, Product&) { f.machine["DevicePath"] = ";D:\\Drivers"; }, "C:\\FakeWin\\INF"},
      {"missing", V::DeviceDir, nullptr, "C:\\FakeWin\\INF"},
      {"boot dir", V::BootDrive, [](Facts& f, Product&) { f.boot = "d:\\"; }, "D:"},
      {"boot dir letter and colon", V::BootDrive, [](Facts& f, Product&) { f.boot = "E:"; }, "E:"},
      {"missing", V::BootDrive, nullptr, "C:"},
      {"no colon", V::BootDrive, [](Facts& f, Product&) { f.boot = "D\\"; }, "C:"},
      {"not a letter", V::BootDrive, [](Facts& f, Product&) { f.boot = "1:\\"; }, "C:"},
      {"not an ASCII letter", V::BootDrive, [](Facts& f, Product&) { f.boot = "\xC4:\\"; }, "C:"},
      {"web root", V::Inetpub, [](Facts& f, Product&) { f.www_root = "D:\\Web\\wwwroot\\"; }, "D:\\Web"},
      {"web root at a drive", V::Inetpub, [](Facts& f, Product&) { f.www_root = "D:\\wwwroot"; }, "D:"},
      {"default", V::Inetpub, nullptr, "c:\\Inetpub"},
  });
}

TEST(VariableChains, SystemValues) {
  check({
      {"x64", V::Bits, [](Facts& f, Product&) { f.architecture = 9; }, "64"},
      {"Itanium", V::Bits, [](Facts& f, Product&) { f.architecture = 6; }, "64"},
      {"x86", V::Bits, [](Facts& f, Product&) { f.architecture = 0; }, "32"},
      {"ARM64 is not in the rule", V::Bits, [](Facts& f, Product&) { f.architecture = 12; }, "32"},
      {"system folder", V::SystemDir, [](Facts& f, Product&) { f.system = "C:\\FakeWin\\system32"; }, "C:\\FakeWin\\system32"},
      {"NT without answer", V::SystemDir, nullptr, "C:\\FakeWin\\System32"},
      {"9x without answer", V::SystemDir, [](Facts& f, Product&) { f.nt = false; }, "C:\\FakeWin\\System"},
      {"temp", V::Temp, [](Facts& f, Product&) { f.temp = "C:\\Tmp\\"; }, "C:\\Tmp"},
      {"temp without backslash", V::Temp, [](Facts& f, Product&) { f.temp = "C:\\Tmp"; }, "C:\\Tmp"},
      {"no temp", V::Temp, nullptr, "c:\\temp"},
      {"windows", V::WinDir, nullptr, "C:\\FakeWin"},
      {"folder", V::InstallerDir, nullptr, "E:\\Downloads"},
      {"drive root keeps its backslash", V::InstallerDir, [](Facts& f, Product&) { f.module = "E:\\setup.exe"; }, "E:\\"},
      {"UNC", V::InstallerDir, [](Facts& f, Product&) { f.module = "\\\\srv\\share\\setup.exe"; }, "\\\\srv\\share"},
      {"letter alone, upper case", V::InstallerDrive, [](Facts& f, Product&) { f.module = "e:\\setup.exe"; }, "E"},
      {"UNC", V::InstallerDrive, [](Facts& f, Product&) { f.module = "\\\\srv\\share\\setup.exe"; }, ""},
      {"file name", V::InstallerFilename, nullptr, "setup.exe"},
      {"full path", V::InstallerFilepath, nullptr, "E:\\Downloads\\setup.exe"},
  });
}

TEST(VariableChains, ProductValues) {
  check({
      {"install dir", V::InstallDir, nullptr, "D:\\Apps\\Tool"},
      {"letter and colon as written", V::InstallDrive, [](Facts&, Product& p) { p.install_dir = "d:\\apps"; }, "d:"},
      {"UNC", V::InstallDrive, [](Facts&, Product& p) { p.install_dir = "\\\\srv\\apps"; }, ""},
      {"empty", V::InstallDrive, [](Facts&, Product& p) { p.install_dir = ""; }, ""},
      {"joined", V::UninstallDir, nullptr, "D:\\Apps\\Tool\\Uninstall"},
      {"install dir with backslash", V::UninstallDir, [](Facts&, Product& p) { p.install_dir = "D:\\Tool\\"; }, "D:\\Tool\\Uninstall"},
      {"empty subfolder", V::UninstallDir, [](Facts&, Product& p) { p.uninstall_subdir = ""; }, "D:\\Apps\\Tool"},
      {"old version", V::OldVersion, [](Facts&, Product& p) { p.old_version = "1.9"; }, "1.9"},
      {"no old version", V::OldVersion, nullptr, ""},
      {"product", V::ProductName, nullptr, "Tool"},
      {"shared", V::SharedDir, [](Facts&, Product& p) { p.shared_dir = "C:\\Shared"; }, "C:\\Shared"},
      {"version", V::Version, nullptr, "2.1"},
  });
}

TEST(VariableChains, LaterSourcesAreNotAsked) {
  FakeFacts facts;
  facts.shell[25] = "C:\\Public\\Desktop";
  Product product;
  EXPECT_EQ(variable_value(V::DesktopAllDir, facts, product.values()), "C:\\Public\\Desktop");
  EXPECT_EQ(facts.asked, std::vector<std::string>{"shell 25"});

  facts.asked.clear();
  facts.shell.clear();
  EXPECT_EQ(variable_value(V::DesktopAllDir, facts, product.values()), "C:\\FakeWin\\Desktop");
  EXPECT_EQ(facts.asked, (std::vector<std::string>{"shell 25", "Common Desktop", "shell 16", "Desktop"}));
}

TEST(JoinPath, ExactlyOneBackslash) {
  EXPECT_EQ(join_path("C:\\A", "B"), "C:\\A\\B");
  EXPECT_EQ(join_path("C:\\A\\", "\\B"), "C:\\A\\B");
  EXPECT_EQ(join_path("", "B"), "B");
  EXPECT_EQ(join_path("C:\\A", ""), "C:\\A");
  EXPECT_EQ(join_path("C:\\", "B"), "C:\\B");
}

class Expansion : public ::testing::Test {
 protected:
  bool expand(std::string& text) { return expand_variables(text, facts, product.values(), environment.step()); }

  FakeFacts facts;
  Product product;
  FakeEnvironment environment;
};

TEST_F(Expansion, EveryVariableAndTheEnvironment) {
  product.shared_dir = "C:\\Shared";
  facts.shell[38] = "C:\\PF";
  facts.module = "d:\\Setup\\setup.exe";  // the same drive as the installation
  std::string text = "%ProgramsDir%\\%ProductName% %Version%;%installdrive%;%INSTALLERDRIVE%;%SharedDir%;%PATH%";
  EXPECT_TRUE(expand(text));
  EXPECT_EQ(text, "C:\\PF\\Tool 2.1;D:;D;C:\\Shared;C:\\FakeWin\\bin");
}

TEST_F(Expansion, UnknownNamesAndPlainTextStay) {
  std::string text = "%NotAVariable%\\%InstallDir%\\100% done";
  EXPECT_TRUE(expand(text));
  EXPECT_EQ(text, "%NotAVariable%\\D:\\Apps\\Tool\\100% done");

  // Nothing to replace: no fact is asked, and without a percent sign not even the
  // environment step runs.
  facts.asked.clear();
  environment.pieces.clear();
  text = "C:\\Plain\\Text.txt";
  EXPECT_TRUE(expand(text));
  EXPECT_EQ(text, "C:\\Plain\\Text.txt");
  EXPECT_TRUE(facts.asked.empty());
  EXPECT_TRUE(environment.pieces.empty());

  text.clear();
  EXPECT_TRUE(expand(text));
  EXPECT_EQ(text, "");
}

TEST_F(Expansion, ValuesNamingOtherVariables) {
  // Replacement runs in table order, once per variable: a value naming a later variable
  // is expanded in turn, one naming an earlier variable (or itself) stays as written,
  // and one naming an environment variable meets the environment step.
  product.product_name = "Tool %Version%";                 // later: expanded
  product.version = "%ProductName% 2.1";                   // earlier: left
  product.install_dir = "D:\\%InstallDir%\\%PATH%";        // itself: left, no loop
  std::string text = "%ProductName%|%Version%|%InstallDir%";
  EXPECT_TRUE(expand(text));
  EXPECT_EQ(text, "Tool %ProductName% 2.1|%ProductName% 2.1|D:\\%InstallDir%\\C:\\FakeWin\\bin");
}

TEST_F(Expansion, TheTextMayBeOneOfTheValuesItIsExpandedWith) {
  // The installation expands its own folder in place, so the product's values view the
  // very text that changes. A replacement that grows the text must not leave them
  // pointing at its old buffer (ASan reports a use after free if it does).
  facts.shell[26] = "C:\\Users\\someone\\AppData\\Roaming\\Far Enough To Need A New Buffer";
  product.install_dir = "%AppDataDir%\\x\\%InstallDrive%";
  std::string& text = product.install_dir;
  EXPECT_TRUE(expand(text));
  // Each value is the one from before the call: the folder still began with "%A".
  EXPECT_EQ(text, "C:\\Users\\someone\\AppData\\Roaming\\Far Enough To Need A New Buffer\\x\\");
}

TEST_F(Expansion, FailedEnvironmentStepKeepsTheReplacements) {
  environment.fails = true;
  std::string text = "%InstallDir%\\%PATH%";
  EXPECT_FALSE(expand(text));
  EXPECT_EQ(text, "D:\\Apps\\Tool\\%PATH%");
}

TEST_F(Expansion, FailingFactSourceStopsWithTheTextSoFar) {
  facts.throw_on_shell_folder = 16;
  std::string text = "%Bits%|%DesktopDir%|%WinDir%";
  EXPECT_FALSE(expand(text));
  EXPECT_EQ(text, "32|%DesktopDir%|%WinDir%");
}

TEST_F(Expansion, EachPieceBetweenNulBytesIsExpanded) {
  std::string text = std::string("%PATH%\0%PATH%;x\0y", 17);
  EXPECT_TRUE(expand(text));
  EXPECT_EQ(text, std::string("C:\\FakeWin\\bin\0C:\\FakeWin\\bin;x\0y", 33));
  EXPECT_EQ(environment.pieces, (std::vector<std::string>{"%PATH%", "%PATH%;x"}));
}

TEST(DirectoryRights, FlagsAndLogText) {
  InstallSettings settings;
  settings.SharedPath = "C:\\Shared";
  EXPECT_FALSE(grants_rights_to_install_dir(settings));
  settings.ProductFlags.high = 0x40000000;  // bit 30 alone does nothing
  EXPECT_FALSE(grants_rights_to_shared_dir(settings));
  settings.ProductFlags.high = 0x40000;
  EXPECT_TRUE(grants_rights_to_install_dir(settings));
  EXPECT_FALSE(grants_rights_to_shared_dir(settings));
  settings.ProductFlags.high = 0x40040000;
  EXPECT_TRUE(grants_rights_to_shared_dir(settings));
  settings.SharedPath.clear();
  EXPECT_FALSE(grants_rights_to_shared_dir(settings));

  EXPECT_EQ(directory_rights_log_text("C:\\App", 0, ""), "Granting rights to directory \"C:\\App\"...OK\r\n");
  EXPECT_EQ(directory_rights_log_text("C:\\App", 3, "The system cannot find the path specified."),
            "Granting rights to directory \"C:\\App\"...FAILED code 3: The system cannot find the path "
            "specified.\r\n\r\n");
}

}  // namespace
}  // namespace halvard
