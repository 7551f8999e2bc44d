#include "installer/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace halvard {
namespace {

TEST(CommandLineAtomsTest, SplitsOnWhiteSpaceAndKeepsQuotedStretches) {
  struct Case {
    std::string text;
    std::vector<std::string> atoms;
  } cases[] = {
      {"", {}},
      {"   \t ", {}},
      {"/a", {"/a"}},
      {"  /a\t/d:x  ", {"/a", "/d:x"}},
      {"/d:\"C:\\My Dir\" /a", {"/d:\"C:\\My Dir\"", "/a"}},
      {"/b1:\"a b\"c\" d\"", {"/b1:\"a b\"c\" d\""}},
      {"/n:\"open to the end", {"/n:\"open to the end"}},
      {"\"\" /a", {"\"\"", "/a"}},
  };
  for (const Case& c : cases) EXPECT_EQ(split_command_line_atoms(c.text), c.atoms) << "text: " << c.text;
}

TEST(CommandLineTest, OptionsFillTheirFields) {
  ParsedCommandLine p = parse_command_line(
      "-a /D:\"C:\\Program Files\\Demo\" /n:Demo /u:\"Old Name\" /r:\"notepad.exe `x y`\" "
      "/b1:\"echo 1~~echo 2\" /B2:\"b2\" /b3:\"b3\" /min");
  ASSERT_TRUE(p.ok()) << p.usage_error;
  const CommandLine& o = p.options;
  EXPECT_TRUE(o.AutomaticMode);
  EXPECT_TRUE(o.UninstallMode);
  EXPECT_TRUE(o.StartMinimized);
  EXPECT_EQ(o.InstallDir, "C:\\Program Files\\Demo");
  EXPECT_EQ(o.ProductName, "Demo");
  EXPECT_EQ(o.uninstall_name, "Old Name");
  EXPECT_EQ(o.run_after_install, "notepad.exe \"x y\"");
  EXPECT_EQ(o.batch_additions[0], "echo 1\r\necho 2");
  EXPECT_EQ(o.batch_additions[1], "b2");
  EXPECT_EQ(o.batch_additions[2], "b3");
}

TEST(CommandLineTest, ValueRules) {
  struct Case {
    std::string text;
    std::string install_dir;
    std::string uninstall_name;
    bool uninstall;
  } cases[] = {
      {"/d:C:\\plain", "C:\\plain", "", false},
      {"/d:\"quoted\"", "quoted", "", false},
      {"/d:\"", "\"", "", false},            // one quote is not a pair
      {"/d:\"a\"b\"", "a\"b", "", false},    // only the outer pair goes
      {"/d:a /d:b", "b", "", false},         // a later option replaces an earlier one
      {"/u", "", "", true},                  // mode without a name (the dispatch reports it)
      {"/uninstall", "", "", true},          // the rest after U without a colon is ignored
      {"/u:Name", "", "Name", true},
      {"/U:\"Two Words\"", "", "Two Words", true},
  };
  for (const Case& c : cases) {
    ParsedCommandLine p = parse_command_line(c.text);
    ASSERT_TRUE(p.ok()) << c.text << ": " << p.usage_error;
    EXPECT_EQ(p.options.InstallDir, c.install_dir) << c.text;
    EXPECT_EQ(p.options.uninstall_name, c.uninstall_name) << c.text;
    EXPECT_EQ(p.options.UninstallMode, c.uninstall) << c.text;
  }
}

TEST(CommandLineTest, LeadCharacterAndCaseAreInterchangeable) {
  for (const char* text : {"/a", "/A", "-a", "-A"}) {
    ParsedCommandLine p = parse_command_line(text);
    EXPECT_TRUE(p.ok() && p.options.AutomaticMode) << text;
  }
}

TEST(CommandLineTest, BlankTextIsNoError) {
  for (const char* text : {"", "   ", "\t \r\n"}) {
    ParsedCommandLine p = parse_command_line(text);
    EXPECT_TRUE(p.ok()) << p.usage_error;
    EXPECT_FALSE(p.options.AutomaticMode);
  }
}

TEST(CommandLineTest, ErrorsNameTheAtom) {
  struct Case {
    std::string text;
    std::string error;
  } cases[] = {
      {"word", "Unexpected command line parameter:\nword"},
      {"/a stray", "Unexpected command line parameter:\nstray"},
      {"\"/a\"", "Unexpected command line parameter:\n\"/a\""},
      {"/dx", "Illegal command line atom:\ndx"},
      {"-Dx", "Illegal command line atom:\nDx"},
      {"/r:program", "Illegal command line atom:\nr:program"},  // the quote belongs to the prefix
      {"/b4:\"x\"", "Illegal command line atom:\nb4:\"x\""},
      {"/aa", "Illegal command line atom:\naa"},
      {"/mini", "Illegal command line atom:\nmini"},
  };
  for (const Case& c : cases) EXPECT_EQ(parse_command_line(c.text).usage_error, c.error) << c.text;
}

TEST(CommandLineTest, LoneLeadCharacterIsIgnored) {
  EXPECT_TRUE(parse_command_line("/ - /a").ok());
}

TEST(CommandLineTest, AtomsAfterTheNineteenthAreIgnored) {
  std::string text;
  for (int i = 0; i < 19; ++i) text += "/a ";
  EXPECT_TRUE(parse_command_line(text + "bad-twentieth /also-bad").ok());
  EXPECT_FALSE(parse_command_line(text.substr(3) + "bad-nineteenth").ok());
}

TEST(UsageTextTest, ErrorComesFirstAndProgramNameSecond) {
  std::string text = usage_text("Product name required", "setup.exe");
  EXPECT_EQ(text.rfind("Product name required\r\n\r\nUsage:\r\nsetup.exe [/a] [/b1:\"commands\"]", 0), 0u) << text;
  EXPECT_NE(text.find("\r\n/a                  \tAutomatic mode.\r\n"), std::string::npos);
  EXPECT_TRUE(text.ends_with("/r:\"program\"\tRun the specified program after a successful installation."));
}

}  // namespace
}  // namespace halvard
