#include "machine/path_edit.h"

#include <gtest/gtest.h>

#include <string>

namespace halvard {
namespace {

std::string narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }
std::u16string wide(const char* text) { return std::u16string(text, text + std::char_traits<char>::length(text)); }

constexpr const char* unchanged = nullptr;

struct ValueCase {
  const char* value;
  const char* dir;
  bool add;
  const char* expected;  // unchanged: no write
};

TEST(EditedPathValue, AddsOnceAndRemovesWholeEntries) {
  const ValueCase cases[] = {
      // Adding.
      {"C:\\Windows;C:\\Tools", "C:\\App", true, "C:\\Windows;C:\\Tools;C:\\App"},
      {"C:\\Windows;", "C:\\App", true, "C:\\Windows;C:\\App"},  // no doubled separator
      {"C:\\Windows;C:\\App", "C:\\App", true, unchanged},       // already last
      {"C:\\App;C:\\Windows", "C:\\App", true, unchanged},       // already first
      {"C:\\Windows;C:\\APP;D:\\x", "c:\\app", true, unchanged}, // other letter case
      {"C:\\App\\bin;C:\\Windows", "C:\\App", true, "C:\\App\\bin;C:\\Windows;C:\\App"},
      {"D:\\Old\\C:\\App", "C:\\App", true, "D:\\Old\\C:\\App;C:\\App"},  // not a part of a longer entry
      // Removing: first, middle, last and only entry.
      {"C:\\App;C:\\Windows;C:\\Tools", "C:\\App", false, "C:\\Windows;C:\\Tools"},
      {"C:\\Windows;C:\\App;C:\\Tools", "C:\\App", false, "C:\\Windows;C:\\Tools"},
      {"C:\\Windows;C:\\Tools;C:\\App", "C:\\App", false, "C:\\Windows;C:\\Tools"},
      {"C:\\Windows;C:\\App;", "C:\\App", false, "C:\\Windows;"},
      {"C:\\App", "C:\\App", false, ""},
      {"C:\\Windows;C:\\PROGRA~1\\APP;C:\\Tools", "c:\\progra~1\\app", false, "C:\\Windows;C:\\Tools"},
      {"C:\\App;C:\\Windows;C:\\App", "C:\\App", false, "C:\\Windows;C:\\App"},  // first occurrence
      {"C:\\Windows;C:\\Tools", "C:\\App", false, unchanged},
      {"C:\\App\\bin;C:\\Windows", "C:\\App", false, unchanged},
      {"C:\\Windows;D:\\Old\\C:\\App", "C:\\App", false, unchanged},
      {"C:\\Windows;C:\\Apps", "C:\\App", false, unchanged},
      // An empty value or folder changes nothing, even between separators.
      {"", "C:\\App", true, unchanged},
      {"", "C:\\App", false, unchanged},
      {"C:\\Windows;;C:\\Tools", "", true, unchanged},
      {"C:\\Windows;;C:\\Tools", "", false, unchanged},
  };
  for (const ValueCase& c : cases) {
    std::optional<std::u16string> edited = edited_path_value(wide(c.value), wide(c.dir), c.add);
    SCOPED_TRACE(std::string(c.add ? "add " : "remove ") + c.dir + " in \"" + c.value + '"');
    if (c.expected == unchanged) {
      EXPECT_FALSE(edited.has_value()) << narrow(*edited);
    } else {
      ASSERT_TRUE(edited.has_value());
      EXPECT_EQ(narrow(*edited), c.expected);
    }
  }
}

TEST(EditedPathValue, AddingTwiceLeavesOneEntryAndRemovingRestores) {
  const std::u16string original = u"C:\\Windows;C:\\Tools";
  std::optional<std::u16string> once = edited_path_value(original, u"C:\\App", true);
  ASSERT_TRUE(once.has_value());
  EXPECT_FALSE(edited_path_value(*once, u"C:\\App", true).has_value());
  std::optional<std::u16string> removed = edited_path_value(*once, u"C:\\App", false);
  ASSERT_TRUE(removed.has_value());
  EXPECT_EQ(*removed, original);
}

TEST(EditedPathValue, UsesTheGivenCaseFolding) {
  // U+00C4 and U+00E4: the ASCII default tells them apart, a system folding does not.
  const std::u16string value = u"C:\\Windows;C:\\\u00C4pp";
  EXPECT_TRUE(edited_path_value(value, u"c:\\\u00E4pp", true).has_value());
  CaseFold latin_fold = [](char16_t unit) -> char16_t {
    return unit == u'\u00E4' ? u'\u00C4' : ascii_case_fold(unit);
  };
  EXPECT_FALSE(edited_path_value(value, u"c:\\\u00E4pp", true, latin_fold).has_value());
  std::optional<std::u16string> removed = edited_path_value(value, u"c:\\\u00E4pp", false, latin_fold);
  ASSERT_TRUE(removed.has_value());
  EXPECT_EQ(*removed, u"C:\\Windows");
}

struct AutoexecCase {
  const char* text;
  bool add;
  const char* expected;  // unchanged: no write
};

TEST(EditedAutoexec, AppendsOnceAndRemovesTheWholeLine) {
  // The line for "C:\PROGRA~1\APP".
  const AutoexecCase cases[] = {
      {"", true, "PATH=%PATH%;C:\\PROGRA~1\\APP\r\n"},  // a new file
      {"@ECHO OFF\r\n", true, "@ECHO OFF\r\nPATH=%PATH%;C:\\PROGRA~1\\APP\r\n"},
      {"@ECHO OFF", true, "@ECHO OFF\r\nPATH=%PATH%;C:\\PROGRA~1\\APP\r\n"},
      {"@ECHO OFF\n", true, "@ECHO OFF\nPATH=%PATH%;C:\\PROGRA~1\\APP\r\n"},
      {"@ECHO OFF\r\npath=%path%;c:\\progra~1\\app\r\n", true, unchanged},
      {"@ECHO OFF\r\nPATH=%PATH%;C:\\PROGRA~1\\APP", true, unchanged},  // no final line end
      {"PATH=%PATH%;C:\\PROGRA~1\\APP\nREM\n", true, unchanged},         // bare line feed
      {"PATH=%PATH%;C:\\PROGRA~1\\APP2\r\n", true,
       "PATH=%PATH%;C:\\PROGRA~1\\APP2\r\nPATH=%PATH%;C:\\PROGRA~1\\APP\r\n"},
      // Removing.
      {"@ECHO OFF\r\nPATH=%PATH%;C:\\PROGRA~1\\APP\r\nSET X=1\r\n", false, "@ECHO OFF\r\nSET X=1\r\n"},
      {"@ECHO OFF\r\nPATH=%PATH%;C:\\PROGRA~1\\APP\r\n", false, "@ECHO OFF\r\n"},
      {"@ECHO OFF\r\nPATH=%PATH%;C:\\PROGRA~1\\APP", false, "@ECHO OFF\r\n"},
      {"path=%path%;c:\\progra~1\\app\r\nSET X=1\r\n", false, "SET X=1\r\n"},
      {"PATH=%PATH%;C:\\PROGRA~1\\APP\r\nPATH=%PATH%;C:\\PROGRA~1\\APP\r\n", false,
       "PATH=%PATH%;C:\\PROGRA~1\\APP\r\n"},
      {"REM PATH=%PATH%;C:\\PROGRA~1\\APP\r\n", false, unchanged},  // not cut out of another line
      {"PATH=%PATH%;C:\\PROGRA~1\\APP2\r\n", false, unchanged},
      {"", false, unchanged},
  };
  const std::string line = autoexec_path_line("C:\\PROGRA~1\\APP");
  ASSERT_EQ(line, "PATH=%PATH%;C:\\PROGRA~1\\APP");
  for (const AutoexecCase& c : cases) {
    std::optional<std::string> edited = edited_autoexec(c.text, line, c.add);
    SCOPED_TRACE(std::string(c.add ? "add to \"" : "remove from \"") + c.text + '"');
    if (c.expected == unchanged) {
      EXPECT_FALSE(edited.has_value()) << *edited;
    } else {
      ASSERT_TRUE(edited.has_value());
      EXPECT_EQ(*edited, c.expected);
    }
  }
}

TEST(PathEditReport, NamesTheTargetTheDirectionAndTheFolder) {
  EXPECT_EQ(path_edit_report("C:\\autoexec.bat", "C:\\App", true),
            "Unable to modify C:\\autoexec.bat.  You will need to manually add C:\\App to the "
            "PATH environment variable.\r\n\r\n");
  // A "%" in the folder is text, not a format.
  EXPECT_EQ(path_edit_report("C:\\autoexec.bat", "C:\\100%s", false),
            "Unable to modify C:\\autoexec.bat.  You will need to manually remove C:\\100%s from "
            "the PATH environment variable.\r\n\r\n");
}

}  // namespace
}  // namespace halvard
