#include "foundation/own_path.h"

#include <gtest/gtest.h>

namespace halvard {
namespace {

TEST(OwnPathTest, TakesTheProgramFromTheCommandLine) {
  struct Case {
    const char* command_line;
    const char* path;
  } cases[] = {
      {"", ""},
      {"  \t ", ""},
      {"setup.exe /a", "setup.exe"},
      {"  C:\\dl\\setup.exe  ", "C:\\dl\\setup.exe"},
      {"\"C:\\My Downloads\\setup.exe\" /a", "C:\\My Downloads\\setup.exe"},
      {"\"C:\\My Downloads\\setup\" /a", "C:\\My Downloads\\setup.EXE"},
      {"C:\\dl\\setup /a", "C:\\dl\\setup.EXE"},
      {"C:\\v1.2\\setup", "C:\\v1.2\\setup.EXE"},  // a dot in a folder is no extension
      {"\"C:\\unclosed\\setup.exe", "C:\\unclosed\\setup.exe"},
  };
  for (const auto& c : cases) EXPECT_EQ(own_path_from_command_line(c.command_line), c.path) << c.command_line;
}

TEST(OwnPathTest, FileNamePart) {
  EXPECT_EQ(file_name_part("C:\\a\\b\\setup.exe"), "setup.exe");
  EXPECT_EQ(file_name_part("setup.exe"), "setup.exe");
  EXPECT_EQ(file_name_part("C:\\a\\"), "");
}

}  // namespace
}  // namespace halvard
