#include "variables/batch_file.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace halvard {
namespace {

// Each variable's value is its own name in lower case, so that order and names show.
std::string fake_value(Variable v) {
  std::string name(variable_name(v).substr(1, variable_name(v).size() - 2));
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name;
}

TEST(BatchFileText, SetLinesInOrderWithDrivesAndWithoutTempOrWinDir) {
  std::string text = batch_file_text(batch_variables("D:\\Apps\\Tool", fake_value), "echo hi", false);
  std::string expected =
      "@echo off\r\n"
      "SET InstallDir=D:\\Apps\\Tool\r\nSET InstallDrive=D:\r\n"
      "SET Bits=bits\r\nSET UninstallDir=uninstalldir\r\nSET SharedDir=shareddir\r\n"
      "SET InstallerFilepath=installerfilepath\r\nSET InstallerDir=installerdir\r\n"
      "SET InstallerFilename=installerfilename\r\nSET InstallerDrive=installerdrive:\r\n"
      "SET SystemDir=systemdir\r\nSET DeviceDir=devicedir\r\nSET MediaDir=mediadir\r\n"
      "SET FavoritesDir=favoritesdir\r\nSET FavoritesAllDir=favoritesalldir\r\nSET FontDir=fontdir\r\n"
      "SET DesktopDir=desktopdir\r\nSET DesktopAllDir=desktopalldir\r\nSET DocumentDir=documentdir\r\n"
      "SET DocumentAllDir=documentalldir\r\nSET ProductName=productname\r\nSET ProgramsDir=programsdir\r\n"
      "SET StartMenuDir=startmenudir\r\nSET StartMenuAllDir=startmenualldir\r\n"
      "SET SMProgramsDir=smprogramsdir\r\nSET SMProgramsAllDir=smprogramsalldir\r\n"
      "SET StartupDir=startupdir\r\nSET StartupAllDir=startupalldir\r\nSET BootDrive=bootdrive\r\n"
      "SET CommonDir=commondir\r\nSET Inetpub=inetpub\r\nSET AppDataDir=appdatadir\r\n"
      "SET AppDataAllDir=appdataalldir\r\nSET Version=version\r\nSET OldVersion=oldversion\r\n"
      "echo hi\r\n";
  EXPECT_EQ(text, expected);
}

TEST(BatchFileText, DirectoryLinesDependOnTheDirectory) {
  auto lines_of = [](std::string_view directory) {
    std::vector<std::string> lines;
    for (const BatchVariable& v : batch_variables(directory, [](Variable) { return std::string(); })) {
      if (v.name.starts_with("Install") && !v.name.starts_with("Installer")) lines.push_back(std::string(v.name) + "=" + v.value);
    }
    return lines;
  };
  EXPECT_EQ(lines_of(""), std::vector<std::string>{});
  EXPECT_EQ(lines_of("\\\\server\\share\\app"), (std::vector<std::string>{"InstallDir=\\\\server\\share\\app", "InstallDrive="}));
  EXPECT_EQ(lines_of("e:\\x"), (std::vector<std::string>{"InstallDir=e:\\x", "InstallDrive=e:"}));
  // An installer on a UNC path has no drive letter, and so no colon either.
  for (const BatchVariable& v : batch_variables("C:\\x", [](Variable) { return std::string(); })) {
    if (v.name == "InstallerDrive") {
      EXPECT_EQ(v.value, "");
    }
  }
}

TEST(BatchSetLine, ValuesReachTheInterpreterAsText) {
  struct Row {
    const char* value;
    const char* line;
  };
  const Row rows[] = {
      {"C:\\Program Files\\Tool", "SET X=C:\\Program Files\\Tool\r\n"},
      {"", "SET X=\r\n"},
      {"100%", "SET X=100%%\r\n"},
      {"%PATH%", "SET X=%%PATH%%\r\n"},
      {"C:\\A & echo INJECTED> C:\\m.txt", "SET \"X=C:\\A & echo INJECTED> C:\\m.txt\"\r\n"},
      {"a|b<c>d^e(f)", "SET \"X=a|b<c>d^e(f)\"\r\n"},
      {"ends with caret^", "SET \"X=ends with caret^\"\r\n"},
      {"50% (off) & more", "SET \"X=50%% (off) & more\"\r\n"},
      // After an odd quote the rest is outside quotes: carets keep it text.
      {"The \"Best\" & Co", "SET \"X=The \"Best\" & Co\"\r\n"},
      {"say \"hi & bye", "SET \"X=say \"hi ^& bye\"\r\n"},
      {"a\"|b\"^c", "SET \"X=a\"^|b\"^c\"\r\n"},
      // A line break would run the rest as a command.
      {"a\r\nformat c:\nb\rc", "SET X=aformat c:bc\r\n"},
  };
  for (const Row& row : rows) EXPECT_EQ(batch_set_line("X", row.value), row.line) << row.value;
}

TEST(BatchCommands, PackageTextAndCommandLineAddition) {
  struct Row {
    const char* package;
    const char* addition;
    const char* commands;
  };
  const Row rows[] = {
      {"copy a b", "echo x", "copy a b\r\necho x"},
      {"copy a b\r\n", "echo x", "copy a b\r\necho x"},
      {"copy a b\n", "echo x", "copy a b\necho x"},
      {"copy a b", "", "copy a b"},
      {"", "echo x", "\r\necho x"},
      {"", "", ""},
  };
  for (const Row& row : rows) EXPECT_EQ(append_batch_commands(row.package, row.addition), row.commands) << row.package;
}

TEST(BatchCommands, BlankTexts) {
  EXPECT_TRUE(blank_batch_commands(""));
  EXPECT_TRUE(blank_batch_commands(" \t\r\n\r\n  \n"));
  EXPECT_FALSE(blank_batch_commands(" \r\n x"));
  EXPECT_FALSE(blank_batch_commands("@"));
}

TEST(BatchRequest, KindsTakeTheirTextFlagsLabelAndAddition) {
  InstallSettings settings;
  settings.PreInstallBatch = "pre";
  settings.UpgradeBatch = "upgrade";
  settings.ReinstallBatch = "reinstall";
  settings.PostInstallBatch = "post";
  settings.ExitBatch = "exit";
  settings.UninstallBatch1 = "un1";
  settings.UninstallBatch2 = "un2";
  struct Row {
    BatchKind kind;
    bool high;
    int hidden_bit;
    int capture_bit;  // -1: never
    const char* commands;
    const char* label;
  };
  const Row rows[] = {
      {BatchKind::PreInstall, false, 23, 6, "pre\r\nadd", "Pre-Installation Batch"},
      {BatchKind::Upgrade, true, 28, 8, "upgrade", "Upgrade Batch"},
      {BatchKind::Reinstall, true, 29, 9, "reinstall", "Reinstall Batch"},
      {BatchKind::PostInstall, false, 24, 7, "post\r\nadd", "Post-Installation Batch"},
      {BatchKind::InstallExit, false, 25, -1, "exit\r\nadd", ""},
      {BatchKind::Uninstall1, false, 26, -1, "un1", ""},
      {BatchKind::Uninstall2, false, 27, -1, "un2", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.commands);
    settings.ProductFlags = {};
    settings.SetupOptions = 0;
    BatchRequest plain = batch_request(row.kind, settings, "add");
    EXPECT_EQ(plain.commands, row.commands);
    EXPECT_FALSE(plain.hidden);
    EXPECT_EQ(plain.label, "");

    (row.high ? settings.ProductFlags.high : settings.ProductFlags.low) = 1u << row.hidden_bit;
    settings.SetupOptions = row.capture_bit < 0 ? 0xFFFFFFFFu : 1u << row.capture_bit;
    BatchRequest flagged = batch_request(row.kind, settings, "add");
    EXPECT_TRUE(flagged.hidden);
    EXPECT_EQ(flagged.label, row.label);

    // Only its own bits count.
    settings.ProductFlags = {~(1u << row.hidden_bit), ~(1u << row.hidden_bit)};
    (row.high ? settings.ProductFlags.low : settings.ProductFlags.high) = 0xFFFFFFFFu;
    settings.SetupOptions = row.capture_bit < 0 ? 0xFFFFFFFFu : ~(1u << row.capture_bit);
    BatchRequest other = batch_request(row.kind, settings, "add");
    EXPECT_FALSE(other.hidden);
    EXPECT_EQ(other.label, "");
  }
}

TEST(BatchFileText, LineBreaksBecomeCarriageReturnLineFeed) {
  struct Row {
    const char* commands;
    const char* lines;
  };
  const Row rows[] = {
      {"a\nb", "a\r\nb\r\n"},
      {"a\rb\r", "a\r\nb\r\n"},
      {"a\n\rb", "a\r\nb\r\n"},
      {"a\r\n\r\nb", "a\r\n\r\nb\r\n"},
      {"a\n\nb", "a\r\n\r\nb\r\n"},
      {"a\n\r\nb", "a\r\n\r\nb\r\n"},
      {"a\r\r\nb", "a\r\n\r\nb\r\n"},
      {"a\r\n", "a\r\n"},
  };
  for (const Row& row : rows) EXPECT_EQ(normalize_batch_lines(row.commands), row.lines) << row.commands;
  EXPECT_EQ(batch_file_text({}, "echo a\necho b", false), "@echo off\r\necho a\r\necho b\r\n");
}

TEST(BatchFileText, PauseLinesGoOnlyWhenNobodyCanAnswer) {
  struct Row {
    const char* line;
    bool pause;
  };
  const Row rows[] = {
      {"pause", true},         {"PAUSE", true},          {"  @Pause\t ", true},
      {"@ pause", true},       {"pause >nul", true},     {"pause>nul", true},
      {"pause 1>nul 2>&1", true},
      {"pause now", false},    {"pauses", false},        {"@@pause", false},
      {"echo pause", false},   {"rem pause", false},     {"", false},
      {"pause & del x", false},
  };
  for (const Row& row : rows) EXPECT_EQ(is_pause_line(row.line), row.pause) << row.line;

  std::string commands = "echo 1\n  @PAUSE  \npause now\r\nPause\recho 2";
  EXPECT_EQ(batch_file_text({}, commands, true), "@echo off\r\necho 1\r\npause now\r\necho 2\r\n");
  EXPECT_EQ(batch_file_text({}, commands, false),
            "@echo off\r\necho 1\r\n  @PAUSE  \r\npause now\r\nPause\r\necho 2\r\n");
}

TEST(BatchCommandLine, InterpreterAndRedirection) {
  EXPECT_EQ(batch_interpreter(std::nullopt), "cmd.exe");
  EXPECT_EQ(batch_interpreter(std::string(" \t")), "cmd.exe");
  EXPECT_EQ(batch_interpreter(std::string("C:\\WINDOWS\\COMMAND.COM")), "C:\\WINDOWS\\COMMAND.COM");

  struct Row {
    const char* batch;
    const char* output;
    const char* line;
  };
  const Row rows[] = {
      {"C:\\PROGRA~1\\TOOL\\SETUPBAT.BAT", "", "\"cmd.exe\" /e:10000 /c C:\\PROGRA~1\\TOOL\\SETUPBAT.BAT"},
      {"C:\\PROGRA~1\\TOOL\\SETUPBAT.BAT", "C:\\PROGRA~1\\TOOL\\HV_BAT~1.LOG",
       "\"cmd.exe\" /e:10000 /c C:\\PROGRA~1\\TOOL\\SETUPBAT.BAT > C:\\PROGRA~1\\TOOL\\HV_BAT~1.LOG"},
      // No short names: the long paths are quoted, then the whole command once more.
      {"C:\\Program Files\\Tool\\SETUPBAT.BAT", "C:\\Program Files\\Tool\\hv_batch.log",
       "\"cmd.exe\" /e:10000 /c \"\"C:\\Program Files\\Tool\\SETUPBAT.BAT\" > \"C:\\Program Files\\Tool\\hv_batch.log\"\""},
      {"C:\\a&b\\SETUPBAT.BAT", "", "\"cmd.exe\" /e:10000 /c \"\"C:\\a&b\\SETUPBAT.BAT\"\""},
      {"C:\\x\\SETUPBAT.BAT", "C:\\(y)\\hv_batch.log",
       "\"cmd.exe\" /e:10000 /c \"\"C:\\x\\SETUPBAT.BAT\" > \"C:\\(y)\\hv_batch.log\"\""},
  };
  for (const Row& row : rows) EXPECT_EQ(batch_command_line("cmd.exe", row.batch, row.output), row.line) << row.batch;

  EXPECT_EQ(self_delete_command_line("C:\\WINDOWS\\system32\\cmd.exe", "C:\\TEMP\\delunins.bat"),
            "\"C:\\WINDOWS\\system32\\cmd.exe\" /c C:\\TEMP\\delunins.bat");
  EXPECT_EQ(self_delete_command_line("cmd.exe", "C:\\Temp (x)\\delunins.bat"),
            "\"cmd.exe\" /c \"\"C:\\Temp (x)\\delunins.bat\"\"");
}

TEST(BatchLogSection, OnlyOutputThatIsNotBlank) {
  EXPECT_EQ(batch_log_section("Pre-Installation Batch", ""), "");
  EXPECT_EQ(batch_log_section("Pre-Installation Batch", " \r\n\t\r\n"), "");
  EXPECT_EQ(batch_log_section("Pre-Installation Batch", "\r\n  copied 1 file\r\n\r\n"),
            "\r\nRunning Pre-Installation Batch...\r\ncopied 1 file\r\n\r\n");
  EXPECT_EQ(batch_log_section("Upgrade Batch", "a\r\nb"), "\r\nRunning Upgrade Batch...\r\na\r\nb\r\n\r\n");
}

TEST(SelfDeleteBatch, RemovesFoldersFromTheDeepestUpward) {
  const char* head =
      ":Repeat\r\ndel \"C:\\App\\Un\\uninst.exe\"\r\nif exist \"C:\\App\\Un\\uninst.exe\" goto Repeat\r\n"
      "CHOICE /T 3 /D Y\r\n";
  const char* tail = "rd \"C:\\App\"\r\ndel \"C:\\Temp\\delunins.bat\"\r\n";
  auto text = [](std::string_view subdir) {
    return self_delete_batch_text("C:\\App\\Un\\uninst.exe", "C:\\App", subdir, "C:\\Temp\\delunins.bat");
  };
  EXPECT_EQ(text(""), std::string(head) + tail);
  EXPECT_EQ(text("Un"), std::string(head) + "rd \"C:\\App\\Un\"\r\n" + tail);
  EXPECT_EQ(text("a\\b\\c\\"),
            std::string(head) + "rd \"C:\\App\\a\\b\\c\\\"\r\nrd \"C:\\App\\a\\b\"\r\nrd \"C:\\App\\a\"\r\n" + tail);
  // The product's own folders around the directory go after it, in the order given.
  const std::string outer[] = {"C:\\Maker\\Suite", "C:\\Maker"};
  EXPECT_EQ(self_delete_batch_text("C:\\App\\Un\\uninst.exe", "C:\\App", "", "C:\\Temp\\delunins.bat", outer),
            std::string(head) + "rd \"C:\\App\"\r\nrd \"C:\\Maker\\Suite\"\r\nrd \"C:\\Maker\"\r\n" +
                "del \"C:\\Temp\\delunins.bat\"\r\n");
}

TEST(SelfDeleteBatch, AtMostFiftyFoldersAndPercentSignsKept) {
  std::string deep = "d";
  for (int i = 0; i < 60; ++i) deep += "\\d";
  std::string text = self_delete_batch_text("C:\\x.exe", "C:\\App", deep, "C:\\T\\delunins.bat");
  size_t rd_lines = 0;
  for (size_t at = text.find("\r\nrd "); at != std::string::npos; at = text.find("\r\nrd ", at + 1)) ++rd_lines;
  EXPECT_EQ(rd_lines, 51u);  // 50 for the uninstall data folders, one for the directory

  std::string percent = self_delete_batch_text("C:\\100%\\u.exe", "C:\\100%", "", "C:\\T\\delunins.bat");
  EXPECT_NE(percent.find("del \"C:\\100%%\\u.exe\""), std::string::npos);
  EXPECT_NE(percent.find("rd \"C:\\100%%\"\r\n"), std::string::npos);
}

TEST(BatchCommandText, SpecialCharactersEscapedOnlyOutsideQuotes) {
  const std::pair<const char*, const char*> cases[] = {
      {"\"C:\\Tom & Jerry (2)\\setup.exe\" /a", "\"C:\\Tom & Jerry (2)\\setup.exe\" /a"},
      {"C:\\A&B\\setup.exe /d:x|y <in >out ^", "C:\\A^&B\\setup.exe /d:x^|y ^<in ^>out ^^"},
      {"\"100%\" 50% %PATH%", "\"100%%\" 50%% %%PATH%%"},
      {"run (x) \"(y)\" (z)", "run ^(x^) \"(y)\" ^(z^)"},
      {"a\r\n& del x", "a^& del x"},  // a line break cannot start a second command
      {"odd \"quote & (x)", "odd \"quote & (x)"},
  };
  for (const auto& [command, line] : cases) EXPECT_EQ(batch_command_text(command), line) << command;
}

TEST(MustUninstallBatch, UninstallerThenInstallerThenItself) {
  EXPECT_EQ(must_uninstall_batch_text("\"C:\\App 100%\\Uninstall.exe\" /a /u:\"App\"",
                                      "\"C:\\Tom & Jerry\\setup.exe\" /b1:x&y", "C:\\T 1%\\utrri.bat"),
            "\"C:\\App 100%%\\Uninstall.exe\" /a /u:\"App\"\r\n"
            "\"C:\\Tom & Jerry\\setup.exe\" /b1:x^&y\r\n"
            "del \"C:\\T 1%%\\utrri.bat\"\r\n");
}

}  // namespace
}  // namespace halvard
