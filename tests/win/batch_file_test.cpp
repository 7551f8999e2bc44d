// Batch files through the real command interpreter: the values each SET line gives the
// batch, pause lines in unattended runs, captured output in the log, folder and product
// names that try to run commands, and the self-deleting batch.
#include "variables/batch_file_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "file_test_support.h"
#include "variables/variable_values_win.h"

namespace halvard {
namespace {

using test::exists;
using test::read_all;
using test::ScratchFolder;

// Names with every character that the interpreter would act on outside quotes and
// that a folder name may hold.
constexpr char hostile_folder[] = "Tool & mkdir INJECTED (1) 100% ^x";
// Wine's interpreter, unlike Windows', expands percent signs again inside an expanded
// value, so "%InstallDir%" of a folder with one cannot be used there.
constexpr char hostile_folder_without_percent[] = "Tool & mkdir INJECTED (1) ^x";
constexpr char hostile_product[] = "Tom & \"Jerry\" | mkdir INJECTED2 <in >out (1) 100% ^x %PATH%";

InstallSettings settings_in(const std::string& dir) {
  InstallSettings settings;
  settings.AutomaticMode = true;
  settings.InstallDir = dir;
  settings.ProductName = "Tool";
  settings.DisplayVersion = "1.2";
  settings.UninstallSubdir = "Un";
  return settings;
}

std::string make_folder(const std::string& path) {
  CreateDirectoryA(path.c_str(), nullptr);
  return path;
}

// "NAME=value" lines as SET prints them.
std::map<std::string, std::string> set_listing(const std::string& text) {
  std::map<std::string, std::string> values;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    size_t equals = line.find('=');
    if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
    start = end + 2;
  }
  return values;
}

// Whether anything named INJECTED... exists in `folder` (or under it, when `deep`).
bool holds_injected(const std::string& folder, bool deep = true) {
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool found = false;
  do {
    std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    if (name.starts_with("INJECTED")) found = true;
    if (!found && deep && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) found = holds_injected(folder + "\\" + name);
  } while (!found && FindNextFileA(search, &data));
  FindClose(search);
  return found;
}

std::string current_directory() {
  char buffer[MAX_PATH];
  return std::string(buffer, GetCurrentDirectoryA(MAX_PATH, buffer));
}

TEST(BatchRun, EverySetVariableReachesTheBatchAsText) {
  ScratchFolder scratch;
  std::string dir = make_folder(scratch.file(hostile_folder));
  InstallSettings settings = settings_in(dir);
  settings.ProductName = hostile_product;
  settings.DisplayVersion = "2.0 (beta) & more";
  InstallLog log;

  std::string commands;
  auto variables = batch_variables(dir, [&](Variable v) { return variable_value(v, settings, "1.0 & older"); });
  // The batch runs in the installation directory.
  for (const BatchVariable& v : variables) commands += "set " + std::string(v.name) + ">> set.txt\r\n";
  commands += "echo ran> ran.txt\r\n";
  ASSERT_TRUE(run_batch(commands, "", true, UserInterface(settings), log, "1.0 & older"));

  ASSERT_TRUE(exists(dir + "\\ran.txt")) << "the batch did not run";
  auto seen = set_listing(read_all(dir + "\\set.txt"));
  for (const BatchVariable& v : variables) {
    // An empty SET clears the variable, which then does not show.
    std::string shown = seen.count(std::string(v.name)) ? seen[std::string(v.name)] : "";
    EXPECT_EQ(shown, v.value) << v.name;
  }
  EXPECT_EQ(seen["InstallDir"], dir);
  EXPECT_EQ(seen["ProductName"], hostile_product);
  EXPECT_EQ(seen["OldVersion"], "1.0 & older");
  EXPECT_EQ(seen["InstallerDrive"].size(), 2u);
  EXPECT_EQ(seen["InstallerDrive"][1], ':');
  EXPECT_FALSE(holds_injected(scratch.path()));
  EXPECT_FALSE(holds_injected(current_directory(), false));
  EXPECT_FALSE(exists(dir + "\\SETUPBAT.BAT"));
  EXPECT_TRUE(log.empty());
}

TEST(BatchRun, HostileFolderWithCapturedOutputRunsOnlyTheBatch) {
  ScratchFolder scratch;
  std::string dir = make_folder(scratch.file(hostile_folder));
  InstallSettings settings = settings_in(dir);
  InstallLog log;
  ASSERT_TRUE(run_batch("echo Hello from (the) batch & echo second", "Pre-Installation Batch", false,
                        UserInterface(settings), log));
  EXPECT_EQ(log.text(), "\r\nRunning Pre-Installation Batch...\r\nHello from (the) batch \r\nsecond\r\n\r\n");
  EXPECT_FALSE(holds_injected(scratch.path()));
  EXPECT_FALSE(holds_injected(current_directory(), false));
  EXPECT_FALSE(exists(dir + "\\SETUPBAT.BAT"));
  EXPECT_FALSE(exists(dir + "\\hv_batch.log"));
}

// Where the system has no short names the command line carries the long paths.
TEST(BatchRun, CommandLineWithLongHostilePaths) {
  ScratchFolder scratch;
  std::string dir = make_folder(scratch.file(hostile_folder));
  test::write_all(dir + "\\SETUPBAT.BAT", "@echo off\r\necho long paths\r\n");
  test::write_all(dir + "\\hv_batch.log", "");
  std::string command = batch_command_line(batch_interpreter(std::nullopt), dir + "\\SETUPBAT.BAT",
                                           dir + "\\hv_batch.log");
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, scratch.path().c_str(),
                             &startup, &process));
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(read_all(dir + "\\hv_batch.log"), "long paths\r\n");
  EXPECT_FALSE(holds_injected(scratch.path()));
}

TEST(BatchRun, BlankOutputAndBlankCommands) {
  ScratchFolder scratch;
  InstallSettings settings = settings_in(scratch.path());
  InstallLog log;
  ASSERT_TRUE(run_batch("rem quiet\r\necho.>nul", "Post-Installation Batch", true, UserInterface(settings), log));
  EXPECT_TRUE(log.empty());
  EXPECT_FALSE(exists(scratch.file("hv_batch.log")));

  // Nothing is written for blank commands; a folder that cannot take the file shows it.
  settings.InstallDir = scratch.file("missing");
  EXPECT_TRUE(run_batch(" \r\n\t\n", "Post-Installation Batch", false, UserInterface(settings), log));
  EXPECT_FALSE(run_batch("echo x", "Post-Installation Batch", false, UserInterface(settings), log));
  EXPECT_TRUE(log.empty());
}

TEST(BatchRun, KindTakesCommandLineAddition) {
  ScratchFolder scratch;
  std::string dir = make_folder(scratch.file(hostile_folder_without_percent));
  InstallSettings settings = settings_in(dir);
  settings.PreInstallBatch = "echo package> \"%InstallDir%\\pre.txt\"";
  settings.ProductFlags.low = 1u << 23;  // hidden
  settings.SetupOptions = 1u << 6;       // captured
  InstallLog log;
  ASSERT_TRUE(run_batch(BatchKind::PreInstall, UserInterface(settings), log, "echo added"));
  EXPECT_EQ(read_all(dir + "\\pre.txt"), "package\r\n");
  EXPECT_FALSE(holds_injected(scratch.path()));
  EXPECT_EQ(log.text(), "\r\nRunning Pre-Installation Batch...\r\nadded\r\n\r\n");
}

// Runs the batch on a thread of its own, so that a batch that waits for a key fails
// the test instead of stopping it.
bool run_within(const std::string& commands, bool hidden, const InstallSettings& settings, int seconds) {
  struct Shared {
    std::string commands;
    InstallSettings settings;
    InstallLog log;
    std::atomic<bool> done{false};
  };
  auto shared = std::make_shared<Shared>();
  shared->commands = commands;
  shared->settings = settings;
  std::thread([shared, hidden] {
    run_batch(shared->commands, "", hidden, UserInterface(shared->settings), shared->log);
    shared->done = true;
  }).detach();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!shared->done && std::chrono::steady_clock::now() < deadline) Sleep(50);
  return shared->done;
}

TEST(BatchRun, PauseLinesGoneInUnattendedRuns) {
  struct Row {
    bool automatic;
    bool hidden;
  };
  for (Row row : {Row{true, false}, Row{false, true}}) {
    SCOPED_TRACE(row.automatic ? "automatic" : "hidden");
    ScratchFolder scratch;
    InstallSettings settings = settings_in(scratch.path());
    settings.AutomaticMode = row.automatic;
    // The batch copies itself, so that the text it ran can be read afterwards.
    std::string commands = "copy \"%~f0\" seen.txt >nul\necho one>a.txt\n  @PAUSE \npause >nul\nPause\recho two>>a.txt";
    ASSERT_TRUE(run_within(commands, row.hidden, settings, 60)) << "the batch waited for a key";
    std::string seen = read_all(scratch.file("seen.txt"));
    EXPECT_TRUE(seen.ends_with("\r\ncopy \"%~f0\" seen.txt >nul\r\necho one>a.txt\r\necho two>>a.txt\r\n")) << seen;
    EXPECT_EQ(read_all(scratch.file("a.txt")), "one\r\ntwo\r\n");
  }
}

TEST(BatchRun, LaunchFailureLeavesNoFiles) {
  ScratchFolder scratch;
  InstallSettings settings = settings_in(scratch.path());
  char old_comspec[MAX_PATH] = {};
  DWORD had = GetEnvironmentVariableA("COMSPEC", old_comspec, MAX_PATH);
  SetEnvironmentVariableA("COMSPEC", scratch.file("no-such-interpreter.exe").c_str());
  InstallLog log;
  bool result = run_batch("echo x", "Upgrade Batch", true, UserInterface(settings), log);
  SetEnvironmentVariableA("COMSPEC", had ? old_comspec : nullptr);
  EXPECT_FALSE(result);
  EXPECT_TRUE(log.empty());
  EXPECT_FALSE(exists(scratch.file("SETUPBAT.BAT")));
  EXPECT_FALSE(exists(scratch.file("hv_batch.log")));
}

bool gone_within(const std::string& path, int seconds) {
  for (int waited = 0; waited < seconds * 10; ++waited) {
    if (!exists(path)) return true;
    Sleep(100);
  }
  return !exists(path);
}

TEST(SelfDeleteBatch, DeletesTheUninstallerEmptyFoldersAndItself) {
  ScratchFolder scratch;
  std::string temp = make_folder(scratch.file("T"));
  std::string app = make_folder(scratch.file("App & (1) 100% ^x"));
  std::string data = make_folder(app + "\\Un");
  make_folder(data + "\\Deeper");
  std::string exe = data + "\\uninst.exe";
  test::write_all(exe, "MZ");
  std::string batch = temp + "\\delunins.bat";

  ASSERT_TRUE(start_self_delete_batch(batch, exe, app, "Un\\Deeper"));
  EXPECT_TRUE(gone_within(batch, 60)) << "the batch did not delete itself";
  EXPECT_FALSE(exists(exe));
  EXPECT_FALSE(exists(data));
  EXPECT_FALSE(exists(app));
  EXPECT_FALSE(holds_injected(scratch.path()));
}

TEST(SelfDeleteBatch, FoldersThatStillHoldFilesStay) {
  ScratchFolder scratch;
  std::string temp = make_folder(scratch.file("T"));
  std::string app = make_folder(scratch.file("App"));
  std::string data = make_folder(app + "\\Un");
  std::string exe = data + "\\uninst.exe";
  test::write_all(exe, "MZ");
  test::write_all(app + "\\settings.ini", "user data");
  std::string batch = temp + "\\delunins.bat";

  ASSERT_TRUE(start_self_delete_batch(batch, exe, app, "Un"));
  EXPECT_TRUE(gone_within(batch, 60));
  EXPECT_FALSE(exists(data));
  EXPECT_EQ(read_all(app + "\\settings.ini"), "user data");
}

// Both command lines reach their programs as given, from folders whose names hold every
// character the interpreter acts on; the uninstaller has ended before the installer starts.
TEST(MustUninstallBatch, RunsBothCommandLinesAsGivenThenDeletesItself) {
  ScratchFolder scratch;
  std::string temp = make_folder(scratch.file("T"));
  std::string dir = make_folder(scratch.file("Tom & Jerry (2) 100% ^x"));
  std::string recorder = dir + "\\command_line_recorder.exe";
  ASSERT_TRUE(CopyFileA(test::beside_this_program("command_line_recorder.exe").c_str(), recorder.c_str(), FALSE));
  std::string record = scratch.file("record.txt");
  SetEnvironmentVariableA("HV_RECORD_FILE", record.c_str());
  const std::string uninstall = "\"" + recorder + "\" /a /u:\"Tom & Jerry (2) 100%\"";
  const std::string installer = "\"" + recorder + "\" /d:C:\\A&B ^c (d) 50% \"e & f\"";
  std::string batch = temp + "\\utrri.bat";

  ASSERT_TRUE(start_must_uninstall_batch(batch, uninstall, installer));
  EXPECT_TRUE(gone_within(batch, 60)) << "the batch did not delete itself";
  SetEnvironmentVariableA("HV_RECORD_FILE", nullptr);
  EXPECT_EQ(read_all(record), uninstall + "\n" + installer + "\n");
  EXPECT_FALSE(holds_injected(scratch.path()));
}

}  // namespace
}  // namespace halvard
