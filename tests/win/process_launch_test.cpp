#include <gtest/gtest.h>

#include "file_test_support.h"
#include "foundation/process_launch_win.h"

namespace halvard {
namespace {

std::string system_folder() {
  char path[MAX_PATH];
  UINT length = GetSystemDirectoryA(path, MAX_PATH);
  return std::string(path, length);
}

std::string read_text(const std::string& path) {
  std::string text;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return text;
  char buffer[512];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read) text.append(buffer, read);
  CloseHandle(file);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

TEST(LaunchProgram, WaitingGivesTheExitCodeAndNotWaitingGivesZero) {
  const std::string cmd = "\"" + system_folder() + "\\cmd.exe\"";
  EXPECT_EQ(launch_program(cmd + " /c exit 7", launch_flag::wait | launch_flag::hidden), 7u);
  EXPECT_EQ(launch_program(cmd + " /c exit 0", launch_flag::wait | launch_flag::hidden), 0u);
  EXPECT_EQ(launch_program(cmd + " /c exit 7", launch_flag::hidden), 0u);
  int pumped = 0;
  EXPECT_EQ(launch_program(cmd + " /c ping -n 2 127.0.0.1 >nul & exit 3",
                           launch_flag::wait | launch_flag::hidden | launch_flag::pump_messages, {}, [&] { ++pumped; }),
            3u);
  EXPECT_GT(pumped, 0);
}

TEST(LaunchProgram, AProgramThatCannotStartIsReportedAsNotStarted) {
  EXPECT_EQ(launch_program("\"C:\\no such folder\\missing.exe\"", launch_flag::wait), launch_not_started);
  EXPECT_EQ(launch_program("", launch_flag::wait), launch_not_started);
}

TEST(LaunchProgram, ItsFolderIsTheGivenOneElseWithTheFlagTheProgramsOwn) {
  test::ScratchFolder scratch;
  const std::string out = scratch.file("cwd.txt");
  const std::string cmd = "\"" + system_folder() + "\\cmd.exe\" /c cd > \"" + out + "\"";
  ASSERT_EQ(launch_program(cmd, launch_flag::wait | launch_flag::hidden, scratch.path()), 0u);
  EXPECT_EQ(lstrcmpiA(read_text(out).c_str(), scratch.path().c_str()), 0) << read_text(out);
  ASSERT_EQ(launch_program(cmd, launch_flag::wait | launch_flag::hidden | launch_flag::program_folder), 0u);
  EXPECT_EQ(lstrcmpiA(read_text(out).c_str(), system_folder().c_str()), 0) << read_text(out);
}

}  // namespace
}  // namespace halvard
