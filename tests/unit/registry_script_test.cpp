#include "records/registry_script.h"

#include <gtest/gtest.h>

#include <string>

#include "package/settings_stream.h"
#include "records/uninstall_data_csv.h"

namespace halvard {
namespace {

using Kind = RegistryScriptEntry::Kind;

TEST(RegistryScript, LinesFieldsAndKinds) {
  const std::string script =
      "\\HKLM\\Software\\Maker\r\n"
      "\\HKCU\\Software\\Maker,Name,1,%InstallDir%\\x,0,0\r\n"
      "\"\\HKLM\\Software\\Maker\",\"Two\r\nlines\",1,\"say \"\"hi\"\", then\",1,1\n"
      "\\HKLM\\Software\\Maker,Five,1,x,0\r\n"
      "\\HKLM\\Software\\..\\Other,Name,1,x,0,0\r\n"
      "\\HKLM\\Software\\\\Maker\r\n"
      "\\HKLM\\Software\\Maker,Name,one,x,0,0\r\n"
      "  \r\n"
      "\\HKAU\\Software\\Maker\\,Kept,4,-1,0,1";
  std::vector<RegistryScriptEntry> entries = parse_registry_script(script);
  ASSERT_EQ(entries.size(), 9u);
  EXPECT_EQ(entries[0].kind, Kind::key);
  EXPECT_EQ(entries[0].key_path, "\\HKLM\\Software\\Maker");

  EXPECT_EQ(entries[1].kind, Kind::value);
  EXPECT_EQ(entries[1].value_name, "Name");
  EXPECT_EQ(entries[1].type, 1u);
  EXPECT_EQ(entries[1].data, "%InstallDir%\\x");
  EXPECT_TRUE(entries[1].written);
  EXPECT_FALSE(entries[1].kept);

  // Quoted fields: a line break inside quotes and doubled quotes stay in the field.
  EXPECT_EQ(entries[2].kind, Kind::value);
  EXPECT_EQ(entries[2].value_name, "Two\r\nlines");
  EXPECT_EQ(entries[2].data, "say \"hi\", then");
  EXPECT_FALSE(entries[2].written);
  EXPECT_TRUE(entries[2].kept);

  // Five fields, "..", an empty element, a type that is no number: illegal, whole line kept.
  for (size_t i : {3u, 4u, 5u, 6u}) EXPECT_EQ(entries[i].kind, Kind::illegal) << entries[i].line;
  EXPECT_EQ(entries[3].line, "\\HKLM\\Software\\Maker,Five,1,x,0");

  EXPECT_EQ(entries[7].kind, Kind::key);  // blank: a key line with nothing to create
  EXPECT_EQ(entries[7].key_path, "");
  EXPECT_EQ(entries[8].kind, Kind::value);
  EXPECT_EQ(entries[8].key_path, "\\HKAU\\Software\\Maker\\");
}

TEST(RegistryScript, DataByType) {
  const struct {
    uint32_t type;
    const char* data;
    std::string bytes;
  } cases[] = {
      {1, "C:\\App", std::string("C:\\App\0", 7)},
      {2, "%ProgramFiles%", std::string("%ProgramFiles%\0", 15)},
      {3, "0a 1B ff", "\x0a\x1b\xff"},
      {3, " 0A1bFf\t", "\x0a\x1b\xff"},
      {3, "0a 1b f", "0a1bf"},  // odd digits: the text, blanks removed
      {3, "0a zz", "0azz"},     // stray characters: the text too
      {3, "", ""},
      {4, "258", std::string("\x02\x01\0\0", 4)},
      {4, "0x10", std::string("\x10\0\0\0", 4)},
      {4, "-1", "\xff\xff\xff\xff"},
      {4, "12abc", std::string("\x0c\0\0\0", 4)},
      {4, "abc", std::string(4, '\0')},
      {11, "4294967296", std::string("\0\0\0\0\x01\0\0\0", 8)},
      {7, "a\0b", "a"},  // any other type: the text's bytes
  };
  for (const auto& c : cases) EXPECT_EQ(registry_datum(c.type, c.data), c.bytes) << c.type << " " << c.data;
  EXPECT_EQ(registry_number("18446744073709551615"), UINT64_MAX);
  EXPECT_EQ(registry_number(" +7 "), 7u);
}

TEST(CsvLines, LineBreaksOutsideQuotesEndRecords) {
  EXPECT_EQ(csv_lines("a\r\nb\nc"), (std::vector<std::string_view>{"a", "b", "c"}));
  EXPECT_EQ(csv_lines("a,\"x\r\ny\"\r\nb\r\n"), (std::vector<std::string_view>{"a,\"x\r\ny\"", "b"}));
  EXPECT_EQ(csv_lines(""), std::vector<std::string_view>{});
  EXPECT_EQ(csv_lines("\"open\nquote"), std::vector<std::string_view>{"\"open\nquote"});
}

TEST(FirewallList, EveryLineHasFourFields) {
  EXPECT_TRUE(firewall_list_well_formed(""));
  EXPECT_TRUE(firewall_list_well_formed("8080;Web;3;\r\n%InstallDir%\\app.exe;App;0;1\r\n  \r\n"));
  EXPECT_FALSE(firewall_list_well_formed("8080;Web;3"));
  EXPECT_FALSE(firewall_list_well_formed("8080;Web;3;;\r\n"));
}

}  // namespace
}  // namespace halvard
