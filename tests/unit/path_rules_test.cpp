#include "foundation/path_rules.h"

#include <gtest/gtest.h>

namespace halvard {
namespace {

struct Case {
  const char* path;
  unsigned flags;
  bool valid;
};

void check(const Case* begin, const Case* end) {
  for (const Case* c = begin; c != end; ++c) {
    EXPECT_EQ(is_valid_path(c->path, c->flags), c->valid)
        << '"' << c->path << "\" flags " << c->flags;
  }
}

TEST(IsValidPath, DrivesAndUncPrefixes) {
  const Case cases[] = {
      {"C:\\Program Files\\Halvard", 0, true},
      {"c:\\", 0, true},
      {"z:relative", 0, true},
      {"Folder\\Sub", 0, true},
      {"1:\\Folder", 0, false},  // only a letter may come before the colon
      {"\xC4:\\Folder", 0, false},
      {"\\\\server\\share\\dir", 0, true},
      {"C:\\Folder\\\\Sub", 0, false},     // doubled backslash after the start
      {"\\\\server\\\\share", 0, false},
      {"\\\\\\server", 0, false},          // three in a row is not a UNC prefix
      {"C:\\Folder\\", 0, true},
      {"C:\\a:b", 0, false},               // a second colon
  };
  check(std::begin(cases), std::end(cases));
}

TEST(IsValidPath, ReservedCharactersAndWildcardFlags) {
  const Case cases[] = {
      {"C:\\dir\\*.txt", 0, false},
      {"C:\\dir\\*.txt", path_allow_star, true},
      {"C:\\dir\\*.txt", path_allow_wildcards, true},
      {"C:\\dir\\file?.txt", 0, false},
      {"C:\\dir\\file?.txt", path_allow_star, false},
      {"C:\\dir\\file?.txt", path_allow_wildcards, true},
      {"C:/dir", path_allow_wildcards, false},
      {"C:\\a<b", path_allow_wildcards, false},
      {"C:\\a>b", path_allow_wildcards, false},
      {"C:\\a|b", path_allow_wildcards, false},
      {"C:\\a;b", path_allow_wildcards, false},
      {"C:\\a\"b", path_allow_wildcards, false},
  };
  check(std::begin(cases), std::end(cases));
}

TEST(IsValidPath, QuotesBarAndTrimming) {
  const Case cases[] = {
      {"\"C:\\Program Files\"", 0, true},
      {"\"C:\\Program Files", 0, false},  // an unmatched quote stays and is reserved
      {"|C:\\Unicode\\\xE2\x82\xAC", 0, true},
      {"||C:\\x", 0, false},
      {"\"|C:\\x\"", 0, true},
      {"", 0, false},
      {"   ", 0, true},  // untrimmed blanks are a (strange) name
      {"   ", path_trim, false},
      {" \t C:\\dir \r\n", path_trim, true},
      {" \"C:\\dir\"\n", path_trim, true},
      // Nothing left once the quotes and the bar are gone.
      {"\"\"", 0, false},
      {"|", 0, false},
      {"\"|\"", 0, false},
  };
  check(std::begin(cases), std::end(cases));
}

TEST(PathRules, AbsolutePathsDoNotDependOnTheCurrentFolder) {
  for (std::string_view path : {"C:\\", "c:\\Program Files\\Maker", "\\\\server\\share"})
    EXPECT_TRUE(is_absolute_path(path)) << path;
  for (std::string_view path : {"", "Maker", "C:", "C:Maker", "\\Maker", "\\\\\\x", "1:\\x"})
    EXPECT_FALSE(is_absolute_path(path)) << path;
}

TEST(PathRules, NativeNamesOfFullPaths) {
  struct Case {
    std::wstring_view full, native;
  };
  const Case cases[] = {
      {L"C:\\Program Files\\Maker\\a.dll", L"\\??\\C:\\Program Files\\Maker\\a.dll"},
      {L"\\\\server\\share\\a.dll", L"\\??\\UNC\\server\\share\\a.dll"},
      {L"\\\\?\\C:\\long\\a.dll", L"\\??\\C:\\long\\a.dll"},
      {L"\\\\?\\UNC\\server\\share", L"\\??\\UNC\\server\\share"},
      {L"\\\\.\\pipe\\p", L"\\??\\pipe\\p"},
      // Names that depend on the current folder or drive have no native name of their own.
      {L"a.dll", L""},
      {L"C:a.dll", L""},
      {L"\\a.dll", L""},
      {L"\\\\\\x", L""},
      {L"", L""},
  };
  for (const Case& c : cases) EXPECT_EQ(native_path_name(c.full), std::wstring(c.native));
}

}  // namespace
}  // namespace halvard
