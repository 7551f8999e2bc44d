// The uninstaller's readers of the stored registration values and "Uninstall.DAT"
// lines, each against its writer, and the folder rules of the removal.
#include "records/uninstall_records.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "records/uninstall_registration.h"
#include "records/uninstall_data.h"

namespace halvard {
namespace {

bool operator==(const InstalledFont& a, const InstalledFont& b) {
  return a.name == b.name && a.file_name == b.file_name;
}

TEST(ProductFonts, ReadsBackWhatTheWriterWrote) {
  const std::vector<InstalledFont> fonts = {
      {"Halvard Sans (TrueType)", "hsans.ttf"}, {"", "empty-name.fon"}, {"Semi; colon, comma", ""}};
  const std::vector<InstalledFont> read = parse_product_fonts(product_fonts_text(fonts));
  ASSERT_EQ(read.size(), fonts.size());
  for (size_t i = 0; i < fonts.size(); ++i) EXPECT_TRUE(read[i] == fonts[i]) << i;
  EXPECT_TRUE(parse_product_fonts(product_fonts_text({})).empty());
}

TEST(ProductFonts, DamagedTexts) {
  struct Case {
    std::string text;
    std::vector<InstalledFont> expected;
  };
  const std::vector<Case> cases = {
      {"\"A\" \"a.ttf\" \"B\"", {{"A", "a.ttf"}}},              // unpaired trailing name
      {"\"A\" \"a.ttf\" \"B\" \"b.tt", {{"A", "a.ttf"}}},       // cut inside the last file
      {"junk\"A\"--\"a.ttf\"\r\n", {{"A", "a.ttf"}}},           // bytes outside the quotes
      {"\"A\"\"a.ttf\"", {{"A", "a.ttf"}}},                     // no blank between
      {"no quotes at all", {}},
      {"\"", {}},
  };
  for (const Case& c : cases) {
    const std::vector<InstalledFont> read = parse_product_fonts(c.text);
    ASSERT_EQ(read.size(), c.expected.size()) << c.text;
    for (size_t i = 0; i < read.size(); ++i) EXPECT_TRUE(read[i] == c.expected[i]) << c.text;
  }
}

TEST(SharedFiles, ReadsBackWhatAddSharedFileBuilt) {
  const std::vector<SharedFileEntry> entries = {
      {"C:\\Program Files\\Common Files\\Halvard\\hv.dll", SharedFileKind::plain},
      {"C:\\Windows\\System32\\hvsys.dll", SharedFileKind::never_delete},
      {"C:\\App\\server.dll", SharedFileKind::com_server},
      {"C:\\App\\types.tlb", SharedFileKind::type_library},
      {"C:\\App\\odd;name^.dll", SharedFileKind::plain},  // ";" and "^" inside the path
      {"|C:\\App\\\xC3\xA9t\xC3\xA9.dll", SharedFileKind::com_server},
  };
  std::string list;
  for (const SharedFileEntry& entry : entries)
    ASSERT_TRUE(add_shared_file(list, entry.path, shared_file_mark(entry.kind)));
  EXPECT_EQ(parse_shared_files(list), entries);
}

TEST(SharedFiles, MarksEmptyEntriesAndRepeats) {
  using K = SharedFileKind;
  struct Case {
    std::string list;
    std::vector<SharedFileEntry> expected;
  };
  const std::vector<Case> cases = {
      {"", {}},
      {"\"a^^\"", {{"a^", K::com_server}}},  // only one mark comes off
      {"\"a \xA9\"", {{"a ", K::type_library}}},
      {"\"a\";\"\";\"b\"", {{"a", K::plain}}},  // an empty path ends the list
      {"\"a\";\"^\";\"b\"", {{"a", K::plain}}},
      {"\"a\";\" \"", {{"a", K::plain}}},
      {"\"a\";\"b\";\"a\";\"a \"", {{"a", K::plain}, {"b", K::plain}, {"a", K::never_delete}}},
      {"\"a\";\"b", {{"a", K::plain}}},  // cut inside the last entry
      {"x\"a\" ; \"b\"y", {{"a", K::plain}, {"b", K::plain}}},
  };
  for (const Case& c : cases) EXPECT_EQ(parse_shared_files(c.list), c.expected) << c.list;
}

TEST(AssociationBackupName, RemovesSeparatorsAndLineBreaks) {
  EXPECT_EQ(association_backup_name("Tool Suite"), "Tool Suite Backup");
  EXPECT_EQ(association_backup_name("A\\B\r\nC\tD"), "ABCD Backup");
  EXPECT_EQ(association_backup_name(""), " Backup");
  EXPECT_EQ(association_backup_name("\\\\"), " Backup");
}

TEST(MsiLine, ReadsBackWhatMsiLineWrote) {
  struct Case {
    std::string package;
    int level;
  };
  const std::vector<Case> cases = {{"C:\\App\\runtime.msi", 3},
                                   {"C:\\My, Files\\run time.msi", 0},
                                   {" padded ", -1},
                                   {"x", INT_MAX},
                                   {"y", INT_MIN}};
  for (const Case& c : cases) {
    std::optional<MsiRemoval> read = parse_msi_line(msi_line(c.package, c.level));
    ASSERT_TRUE(read) << c.package;
    EXPECT_EQ(read->package, c.package);
    EXPECT_EQ(read->ui_level, c.level);
  }
  std::optional<MsiRemoval> plain = parse_msi_line("C:\\a.msi , +7");
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->package, "C:\\a.msi");
  EXPECT_EQ(plain->ui_level, 7);
}

TEST(MsiLine, RefusesOtherRecords) {
  for (const char* line : {"", "\"C:\\a.msi\"", "\"C:\\a.msi\",3,4", "\"\",3", ",3", "\"C:\\a.msi\",",
                           "\"C:\\a.msi\",x", "\"C:\\a.msi\",3x", "\"C:\\a.msi\",1.5", "\"C:\\a.msi\",-",
                           "\"C:\\a.msi\",2147483648", "\"C:\\a.msi\",-2147483649"})
    EXPECT_FALSE(parse_msi_line(line)) << line;
}

TEST(FirewallLine, PortsAndPrograms) {
  struct Case {
    std::string line;
    std::optional<FirewallRemoval> expected;
  };
  auto port = [](uint16_t n, bool tcp, bool udp) { return FirewallRemoval{true, n, tcp, udp, {}}; };
  auto program = [](std::string path) { return FirewallRemoval{false, 0, false, false, std::move(path)}; };
  const std::vector<Case> cases = {
      {"8080;App Server;1;0", port(8080, true, false)},
      {"53;DNS;2;", port(53, false, true)},
      {"65535;Both; 3 ;0", port(65535, true, true)},
      {"0080;Lead;7;0", port(80, true, true)},
      {"21;None;4;0", port(21, false, false)},
      {"%InstallDir%\\app.exe;App;;0", program("%InstallDir%\\app.exe")},
      {"bin\\tool.exe;Tool;x;0", program("bin\\tool.exe")},
      {" 8080;Blank;1;0", program(" 8080")},  // not digits only: a program name
      {"0;Zero;1;0", std::nullopt},
      {"65536;Big;1;0", std::nullopt},
      {"99999999999999999999999;Huge;1;0", std::nullopt},
      {"8080;No protocol;;0", std::nullopt},
      {"8080;Bad protocol;tcp;0", std::nullopt},
      {";Empty;1;0", std::nullopt},
      {"8080;Three;1", std::nullopt},
      {"8080;Five;1;0;", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    std::optional<FirewallRemoval> read = parse_firewall_line(c.line);
    ASSERT_EQ(read.has_value(), c.expected.has_value()) << c.line;
    if (!read) continue;
    EXPECT_EQ(read->port, c.expected->port) << c.line;
    EXPECT_EQ(read->number, c.expected->number) << c.line;
    EXPECT_EQ(read->tcp, c.expected->tcp) << c.line;
    EXPECT_EQ(read->udp, c.expected->udp) << c.line;
    EXPECT_EQ(read->program, c.expected->program) << c.line;
  }
}

TEST(RegistryScript, KeysAndValuesToRemove) {
  const std::string script =
      "\\HKLM\\Software\\Halvard\r\n"                              // key
      "\\HKLM\\Software\\Halvard,Path,1,C:\\App,0,0\r\n"           // value
      "\\HKAU\\Software\\Halvard,\"Name, quoted\",1,x,1,1\n"       // kept value, LF only
      "\\HKLM\\Software\\Halvard,,4,7,0, 1 \r\n"                   // field 6 trimmed to "1"
      "\\HKLM\\Software\\Halvard,Keep,1,x,0,11\r\n"                // "11" is not "1"
      "\\HKLM\r\n"                                                 // one backslash: skipped
      "\\HKLM\\Software,Four,1,x\r\n"                              // four fields: skipped
      "\r\n"
      "\"\\HKCU\\Software\\Quoted, Key\"";                         // last line without end
  const std::vector<RegistryScriptRemoval> expected = {
      {true, "\\HKLM\\Software\\Halvard", "", false},
      {false, "\\HKLM\\Software\\Halvard", "Path", false},
      {false, "\\HKAU\\Software\\Halvard", "Name, quoted", true},
      {false, "\\HKLM\\Software\\Halvard", "", true},
      {false, "\\HKLM\\Software\\Halvard", "Keep", false},
      {true, "\\HKCU\\Software\\Quoted, Key", "", false},
  };
  EXPECT_EQ(parse_registry_script_removals(script), expected);
  EXPECT_TRUE(parse_registry_script_removals("").empty());
}

TEST(ProductFlags, ReadsBackWhatTheWriterWrote) {
  const std::vector<ProductFlagWords> values = {{0, 0},          {0xFFFFFFFF, 0xFFFFFFFF}, {0, 0x80000000},
                                                {0, 0x00010000}, {0x4, 0},                 {0xFFFFFFFF, 0x7FFFFFFF},
                                                {0x1234, 0x8}};
  for (const ProductFlagWords& flags : values) {
    const std::string text = product_flags_text(flags);
    EXPECT_EQ(parse_product_flags(text), flags) << text;
  }
  EXPECT_EQ(parse_product_flags("-1"), (ProductFlagWords{0xFFFFFFFF, 0xFFFFFFFF}));
  EXPECT_EQ(parse_product_flags("-9223372036854775808"), (ProductFlagWords{0, 0x80000000}));
  EXPECT_EQ(parse_product_flags("4294967296"), (ProductFlagWords{0, 1}));
  EXPECT_EQ(parse_product_flags(" \t+20\r\n"), (ProductFlagWords{20, 0}));
}

TEST(ProductFlags, RefusesOtherTexts) {
  for (const char* text : {"", " ", "-", "+", "1 2", "12a", "0x10", "1.0", "--1", "9223372036854775808",
                           "-9223372036854775809", "99999999999999999999"})
    EXPECT_FALSE(parse_product_flags(text)) << text;
}

TEST(ColourText, ReadsBackWhatTheWriterWrote) {
  for (uint32_t colour : {0x000000u, 0xFFFFFFu, 0xFEFCECu, 0x0000FFu, 0x123456u}) {
    EXPECT_EQ(parse_colour_text(colour_text(colour)), colour) << colour_text(colour);
  }
  EXPECT_EQ(parse_colour_text("ecfcfe"), 0xFEFCECu);
  EXPECT_EQ(parse_colour_text("Ff0000"), 0x0000FFu);  // red is the low byte
  for (const char* text : {"", "FFFFF", "FFFFFFF", "GG0000", " FFFFF", "FFFFF ", "0x1234", "-12345"})
    EXPECT_FALSE(parse_colour_text(text)) << text;
}

TEST(RealText, ReadsBackWhatTheWriterWrote) {
  for (double value : {0.0, 1.0, 1.5, 0.75, 2.0, 12.25, -3.5, 0.1, 0.3, 1.1, 26.0, 0.00001, 123456.789}) {
    const std::string text = real_text(value);
    EXPECT_EQ(parse_real_text(text), value) << text;
  }
  // Every size with three decimals: the writer's shortest text, read back exactly.
  for (int thousandths = -100000; thousandths <= 100000; thousandths += 7) {
    const double value = thousandths / 1000.0;
    const std::string text = real_text(value);
    ASSERT_EQ(parse_real_text(text), value) << text;
  }
}

TEST(RealText, Grammar) {
  EXPECT_EQ(parse_real_text("+2.50"), 2.5);
  EXPECT_EQ(parse_real_text("007"), 7.0);
  EXPECT_EQ(parse_real_text("0.0000000000000000000001"), 1e-22);
  EXPECT_DOUBLE_EQ(*parse_real_text("0.000000000000000000000000000001"), 1e-30);
  EXPECT_EQ(parse_real_text("100000000000000000000000"), 1e23);
  EXPECT_EQ(parse_real_text("9007199254740993"), 9007199254740992.0);  // 2^53 + 1 rounds to even
  EXPECT_TRUE(std::signbit(*parse_real_text("-0")));
  EXPECT_FALSE(parse_real_text(std::string(400, '9')));  // beyond a double
  for (const char* text : {"", "-", ".5", "5.", "1.2.3", "1,5", " 1", "1 ", "1e5", "inf", "nan", "0x1", "+-1"})
    EXPECT_FALSE(parse_real_text(text)) << text;
}

TEST(FolderRemovalOrder, LongestFirstStable) {
  EXPECT_EQ(folder_removal_order({"C:\\App", "C:\\App\\Data\\Cache", "C:\\Bpp", "C:\\App\\Data", "C:\\App\\Docs"}),
            (std::vector<std::string>{"C:\\App\\Data\\Cache", "C:\\App\\Data", "C:\\App\\Docs", "C:\\App", "C:\\Bpp"}));
  EXPECT_TRUE(folder_removal_order({}).empty());
}

TEST(ParentFolder, Table) {
  struct Case {
    const char* path;
    const char* parent;
  };
  const Case cases[] = {
      {"C:\\a\\b", "C:\\a"},
      {"C:\\a\\b\\", "C:\\a"},
      {"C:\\a\\b\\c.txt", "C:\\a\\b"},
      {"C:\\a\\\\b", "C:\\a"},
      {"C:\\a", ""},
      {"C:\\a\\", ""},
      {"C:\\\\a", ""},
      {"C:\\", ""},
      {"C:", ""},
      {"", ""},
      {"\\", ""},
      {"name", ""},
      {"\\\\server\\share", ""},
      {"\\\\server\\share\\", ""},
      {"\\\\server\\share\\a", ""},
      {"\\\\server\\share\\a\\b", "\\\\server\\share\\a"},
      {"\\\\server", ""},
      // A "|" + UTF-8 name keeps its mark and its root.
      {"|C:\\a\\\xD0\x96", "|C:\\a"},
      {"|C:\\a", ""},
      {"|", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(parent_folder(c.path), c.parent) << c.path;
}

TEST(SameFolder, CaseAndOneTrailingBackslash) {
  EXPECT_TRUE(same_folder("C:\\Program Files\\App", "c:\\PROGRAM FILES\\app\\"));
  EXPECT_TRUE(same_folder("C:\\App\\", "C:\\App"));
  EXPECT_TRUE(same_folder("", ""));
  EXPECT_FALSE(same_folder("C:\\App", "C:\\App\\\\"));
  EXPECT_FALSE(same_folder("C:\\App", "C:\\Apps"));
  EXPECT_FALSE(same_folder("C:\\\xC4pp", "C:\\\xE4pp"));  // only ASCII letters fold
}

TEST(WholeDirectoryDeletion, Guard) {
  const std::vector<std::string> protected_folders = {
      "C:\\Windows", "C:\\Program Files\\", "C:\\Users\\me\\Desktop", "", "\\\\fs\\home\\me\\Documents"};
  struct Case {
    const char* dir;
    bool allowed;
  };
  const Case cases[] = {
      {"C:\\Program Files\\Halvard Tool", true},
      {"C:\\Program Files\\Halvard Tool\\", true},
      {"D:\\Apps\\Tool", true},
      {"\\\\fs\\apps\\Tool", true},
      {"C:\\Users\\me\\Desktop\\Tool", true},  // inside a protected folder is fine
      {"C:\\", false},
      {"C:", false},
      {"c:\\\\", false},
      {"\\\\fs\\apps", false},
      {"\\\\fs\\apps\\", false},
      {"\\\\fs", false},
      {"", false},
      {"Tool", false},
      {"Program Files\\Tool", false},
      {"\\Program Files\\Tool", false},
      {"C:Tool", false},
      {"1:\\Tool", false},
      {"C:\\Windows", false},
      {"c:\\windows\\", false},
      {"C:\\PROGRAM FILES", false},
      {"C:\\Users", false},  // holds a protected profile folder
      {"c:\\users\\ME", false},
      {"\\\\FS\\Home\\me", false},
      {"C:\\Program Files\\App\\..\\..\\Windows", false},
      {"C:\\Program Files\\App\\..", false},
      {"C:\\Program Files\\.\\App", false},
      {"C:\\Windows.", false},  // Windows drops the dot
      {"C:\\Windows ", false},
      {"C:\\Program Files\\App\\\\Tool", false},
      {"C:\\Program Files/App/../../Windows", false},
      {"\\\\?\\C:\\Windows", false},
      {"\\\\.\\C:\\Tool", false},
      {"C:\\Tool\\x:stream", false},
      {"C:\\Tool\\a*b", false},
      {"C:\\Tool\\a\tb", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(whole_directory_deletion_allowed(c.dir, protected_folders), c.allowed) << c.dir;
  EXPECT_TRUE(whole_directory_deletion_allowed("C:\\Windows", {}));
  EXPECT_TRUE(whole_directory_deletion_allowed("C:\\Windows\\Tool", {""}));
}

}  // namespace
}  // namespace halvard

namespace halvard {
namespace {

TEST(ProductFoldersOnTheWay, InsideTheInstallationOrRecordedNearestFirst) {
  const FolderSet recorded({"C:\\Data\\Demo", "C:\\Program Files\\Demo\\", "|C:\\Data\\\xd0\x96"});
  struct Case {
    const char* path;
    std::vector<std::string> folders;
  };
  const Case cases[] = {
      // The installation folder itself counts only when the installation made
      // it.
      {"C:\\Program Files\\Demo\\a\\b\\x.txt",
       {"C:\\Program Files\\Demo\\a\\b", "C:\\Program Files\\Demo\\a", "C:\\Program Files\\Demo"}},
      {"c:\\program files\\demo\\A\\x.txt", {"c:\\program files\\demo\\A", "c:\\program files\\demo"}},
      // Recorded folders outside the installation, but not what lies above
      // them.
      {"C:\\Data\\Demo\\x.txt", {"C:\\Data\\Demo"}},
      {"C:\\Data\\Other\\x.txt", {}},
      {"|c:\\data\\\xd0\x96\\x.txt", {"|c:\\data\\\xd0\x96"}},
      // A neighbour whose name only starts alike.
      {"C:\\Program Files\\Demo2\\x.txt", {}},
      {"|C:\\Program Files\\Demo\\\xd0\x96\\x.txt", {"|C:\\Program Files\\Demo\\\xd0\x96", "|C:\\Program Files\\Demo"}},
      {"", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(product_folders_on_the_way(c.path, "C:\\Program Files\\Demo\\", recorded), c.folders) << c.path;
  }
  // Not recorded: the installation folder may be a link its owner made.
  EXPECT_EQ(product_folders_on_the_way("D:\\Apps\\x.txt", "D:\\Apps", {}), std::vector<std::string>());
}

}  // namespace
}  // namespace halvard
