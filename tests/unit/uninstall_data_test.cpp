// The uninstall data file: removal list, record rules, the exact layout, the reader on
// hand-written and damaged files, and the round trip.
#include "records/uninstall_data.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "records/uninstall_data_csv.h"

namespace halvard {
namespace {

UninstallData every_section() {
  UninstallData data;
  data.removal.record("C:\\App\\app.exe", RemovalKind::File);
  data.removal.record("C:\\App\\Data", RemovalKind::Folder);
  data.removal.record("C:\\App\\readme.txt", RemovalKind::File);
  data.texts[10] = "Some files could not be removed:\r\n%s";
  data.texts[15] = "Done";
  data.installing_text = "Installing <product>...";
  data.auto_close.push_back({"AppWindow", "My App, Main", "app.exe", 2, 0x4});
  data.auto_close.push_back({"Other", "", "other.exe", 0, 0x2});
  data.associations.push_back({".txt", "App.Text", "open"});
  data.firewall.push_back("8080;App Server;3;0");
  data.inf.push_back("C:\\Windows\\INF\\oem7.inf");
  data.msi.push_back(msi_line("C:\\App\\runtime.msi", 3));
  data.registry.push_back(control_panel_value_path("app.cpl"));
  data.registry_script = "\\HKLM\\Software\\App\r\n\\HKLM\\Software\\App,Path,1,C:\\App,0,0";
  data.conditional_deletes.push_back({"%InstallDir%\\*.log", 1, "", 8});
  data.conditional_deletes.push_back({" padded ", 2, "say \"hi\"", 9});
  return data;
}

TEST(UninstallDataLayout, EverySectionByteForByte) {
  const std::string expected =
      "C:\\App\\app.exe\r\n"
      "~C:\\App\\Data\r\n"
      "C:\\App\\readme.txt\r\n"
      "\r\n\r\n[Strings]\r\n"
      "~10\r\nSome files could not be removed:\r\n%s\r\n"
      "~15\r\nDone\r\n"
      "~999\r\nInstalling <product>...\r\n"
      "\r\n\r\n[AutoClose]\r\n"
      "AppWindow,\"My App, Main\",app.exe,2\r\n"
      "Other,,other.exe,0\r\n"
      "\r\n\r\n[Associations]\r\n"
      ".txt~!~App.Text~!~open\r\n"
      "\r\n\r\n[Firewall]\r\n"
      "8080;App Server;3;0\r\n"
      "\r\n\r\n[INF]\r\n"
      "C:\\Windows\\INF\\oem7.inf\r\n"
      "\r\n\r\n[MSI]\r\n"
      "\"C:\\App\\runtime.msi\",3\r\n"
      "\r\n\r\n[Registry]\r\n"
      "\\HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Control Panel\\Cpls\\app.cpl\r\n"
      "\r\n\r\n[Registry2]\r\n"
      "\\HKLM\\Software\\App\r\n\\HKLM\\Software\\App,Path,1,C:\\App,0,0\r\n"
      "\r\n\r\n[ConditionalDelete]\r\n"
      "%InstallDir%\\*.log,1,,8\r\n"
      "\" padded \",2,\"say \"\"hi\"\"\",9\r\n";
  EXPECT_EQ(write_uninstall_data(every_section()), expected);
}

TEST(UninstallDataLayout, EmptyDataKeepsTheStringsSection) {
  EXPECT_EQ(write_uninstall_data({}), "\r\n\r\n[Strings]\r\n~999\r\n\r\n");
}

TEST(UninstallDataLayout, PackageSectionsTakeTheRunLanguageAndUninstallDeletes) {
  InstallSettings settings;
  settings.LanguageIndex = 1;
  settings.Messages.resize(102);
  for (int n = 0; n < 102; ++n)
    settings.Messages[n] = {"en" + std::to_string(n), "de" + std::to_string(n)};
  settings.InstallingText = "Working";
  settings.RegistryScript = "\\HKCU\\Software\\X\r\n";
  settings.CloseApplications.push_back({"C", "T", "A", 1, 0x2});
  settings.ConditionalDeletes.push_back({"a.tmp", 0, "", 0x1});  // installation only
  settings.ConditionalDeletes.push_back({"b.tmp", 0, "", 0x8});
  settings.ConditionalDeletes.push_back({"c.tmp", 0, "", 0x9});

  UninstallData data;
  add_package_sections(data, settings);
  std::string strings;
  for (int n : uninstaller_message_numbers)
    strings += "~" + std::to_string(n) + "\r\nde" + std::to_string(n) + "\r\n";
  const std::string text = write_uninstall_data(data);
  EXPECT_EQ(text.substr(0, text.find("~999")), "\r\n\r\n[Strings]\r\n" + strings);
  EXPECT_NE(text.find("~999\r\nWorking\r\n\r\n\r\n[AutoClose]\r\nC,T,A,1\r\n"), std::string::npos);
  ASSERT_EQ(data.conditional_deletes.size(), 2u);
  EXPECT_EQ(data.conditional_deletes[0].path_pattern, "b.tmp");
  EXPECT_EQ(data.conditional_deletes[1].path_pattern, "c.tmp");
  EXPECT_TRUE(
      text.ends_with("[Registry2]\r\n\\HKCU\\Software\\X\r\n\r\n\r\n[ConditionalDelete]\r\nb.tmp,0,"
                     ",8\r\nc.tmp,0,,9\r\n"));
}

TEST(UninstallDataLayout, EntriesThatWouldSpillIntoAnotherLineAreLeftOut) {
  UninstallData data;
  data.auto_close.push_back({"C", "two\r\nlines", "a.exe", 0, 0x2});
  data.conditional_deletes.push_back({"x\n*.*", 0, "", 8});
  data.associations.push_back({".a", "T\r", "open"});
  data.firewall = {"[INF]", "1;x;1;0\r\n[Registry]"};
  data.inf = {"C:\\ok.inf"};
  EXPECT_EQ(write_uninstall_data(data),
            "\r\n\r\n[Strings]\r\n~999\r\n\r\n\r\n\r\n[INF]\r\nC:\\ok.inf\r\n");
}

TEST(RemovalList, RecordingRules) {
  RemovalList list;
  EXPECT_FALSE(list.record("C:\\", RemovalKind::Folder));  // a drive root
  EXPECT_FALSE(list.record("C:\\", RemovalKind::File));
  EXPECT_FALSE(list.record("", RemovalKind::File));
  EXPECT_TRUE(list.record("C:\\a", RemovalKind::File));
  EXPECT_TRUE(list.record("C:\\a", RemovalKind::File));  // files are not checked for repeats
  EXPECT_TRUE(list.record("C:\\App", RemovalKind::Folder));
  EXPECT_FALSE(list.record("c:\\aPP", RemovalKind::Folder));  // folders are, ignoring case
  EXPECT_TRUE(list.record("C:\\App", RemovalKind::File));     // the folder set is for folders only
  EXPECT_FALSE(list.record("C:\\x\r\n[Registry]", RemovalKind::File));
  EXPECT_FALSE(list.record("~C:\\looks-like-a-folder", RemovalKind::File));
  EXPECT_FALSE(list.record("  [Strings] ", RemovalKind::File));
  const std::vector<RemovalEntry> expected = {{RemovalKind::File, "C:\\a"},
                                              {RemovalKind::File, "C:\\a"},
                                              {RemovalKind::Folder, "C:\\App"},
                                              {RemovalKind::File, "C:\\App"}};
  EXPECT_EQ(list.entries(), expected);

  list.clear();
  EXPECT_TRUE(list.empty());
  EXPECT_TRUE(list.record("C:\\APP", RemovalKind::Folder));  // the set was emptied too
}

// The journal is appended to while files land: a stop can cut its last line short, and
// a cut path could name another file.
TEST(RemovalJournal, ReadsBackItsLinesAndLeavesOutALineCutShort) {
  RemovalList list;
  list.record("C:\\App", RemovalKind::Folder);
  list.record("C:\\App\\one.txt", RemovalKind::File);
  list.record("C:\\App\\two.txt", RemovalKind::File);
  EXPECT_EQ(removal_lines(list, 1), "C:\\App\\one.txt\r\nC:\\App\\two.txt\r\n");
  const std::string text = removal_lines(list);
  EXPECT_EQ(read_removal_journal(text), list);
  RemovalList first_two;
  first_two.record("C:\\App", RemovalKind::Folder);
  first_two.record("C:\\App\\one.txt", RemovalKind::File);
  for (std::string_view cut : {"C:\\App\\two", "C:\\App\\two.txt", "C:\\App\\two.txt\r"}) {
    EXPECT_EQ(read_removal_journal(removal_lines(first_two) + std::string(cut)), first_two) << cut;
  }
  EXPECT_TRUE(read_removal_journal("C:\\App\\only-a-part").empty());
  EXPECT_TRUE(read_removal_journal("").empty());
}

TEST(RemovalListDeathTest, AnUnknownKindIsAProgramError) {
  RemovalList list;
  EXPECT_DEATH(list.record("C:\\abc", static_cast<RemovalKind>(7)), "Internal Fatal Error");
}

TEST(CsvRecord, FieldsAreQuotedByTheRules) {
  struct Case {
    std::string field;
    std::string written;
  };
  const Case cases[] = {
      {"", ""},
      {"plain", "plain"},
      {"in side", "in side"},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"\"", "\"\"\"\""},
      {"tab\there", "\"tab\there\""},
      {"semi;colon", "\"semi;colon\""},
      {"pi|pe", "\"pi|pe\""},
      {" lead", "\" lead\""},
      {"trail ", "\"trail \""},
      {"'quote", "\"'quote\""},
      {"it's", "it's"},
      {"line\r\nbreak", "\"line\r\nbreak\""},
      {"\xC4pfel \xE9t\xE9", "\xC4pfel \xE9t\xE9"},  // bytes above 0x7F are plain
      {"\xA0", "\xA0"},                              // not a blank
  };
  for (const Case& c : cases) {
    EXPECT_EQ(csv_field(c.field), c.written) << c.field;
    if (c.field.find_first_of("\r\n") != std::string::npos) continue;
    const std::vector<std::string> fields = {c.field, "x", c.field};
    EXPECT_EQ(split_csv_record(csv_record(fields)), fields) << c.field;
  }
}

TEST(CsvRecord, ReadingHandWrittenLines) {
  using Fields = std::vector<std::string>;
  struct Case {
    std::string line;
    Fields fields;
  };
  const Case cases[] = {
      {"", {""}},
      {"a,b", {"a", "b"}},
      {",,", {"", "", ""}},
      {"  a ,\tb\t", {"a", "b"}},
      {"\"a,b\",c", {"a,b", "c"}},
      {" \"a \" , \"\"", {"a ", ""}},
      {"\"a\"\"b\"", {"a\"b"}},
      {"x\"\"y,z", {"x\"y", "z"}},                   // "" becomes " outside quotes too
      {"\"open,to the end", {"\"open,to the end"}},  // an unclosed quote takes the rest
      {"\"", {"\""}},
      {"\xC4,\xFF\xFE", {"\xC4", "\xFF\xFE"}},
  };
  for (const Case& c : cases) EXPECT_EQ(split_csv_record(c.line), c.fields) << c.line;
}

TEST(UninstallDataReader, HandWrittenFile) {
  const std::string text =
      "C:\\App\\one.dll\n"   // LF alone
      "  ~C:\\App\\Sub  \r"  // CR alone, blanks around
      "C:\\\r\n"             // a root is never taken
      "~c:\\app\\sub\r\n"    // a folder once
      "\r\n"
      "[Strings]\r\n"
      "junk line\r\n"
      "~10\r\n"
      "\r\n"
      "  first\r\n"
      "second\n"
      "\r\n"
      "~0\r\nzero\r\n"  // not a text number: its lines are ignored
      "~1001\r\nbig\r\n"
      "~5x\r\nnot a number\r\n"
      "~999\r\nInstalling\r\n"
      "~20\r\n"
      "[strings]\r\n"  // wrong case: part of the text
      "~30\r\n"
      "[AutoClose]\r\n"
      "Cls,Title,app.exe,2\r\n"
      "Cls2, \"Ti,tle\" ,app2.exe,1\r\n"
      "three,fields,only\r\n"
      "a,b,c,d,e\r\n"
      "K,,,x\r\n"  // a mode that is no number reads as 0
      "[Associations]\r\n"
      ".txt~!~T~!~open\r\n"
      ".doc~!~ ~!~open\r\n"  // blank part: dropped
      ".x~!~T\r\n"           // one separator: dropped
      ".y~!~T~!~v~!~w\r\n"   // the verb is the rest
      "[Firewall]\r\n"
      "  80;Web;1;0  \r\n"
      "[INF]\r\nC:\\W\\INF\\oem1.inf\r\n"
      "[Registry]\r\n\\HKLM\\X\\v\r\n"
      "[MSI]\r\n\"C:\\p.msi\",2\r\n"
      "[Registry2]\r\n"
      "\\HKLM\\A\r\n"
      "\r\n"
      "  \\HKLM\\A,v,1,x,0,0  \r\n"
      "[ConditionalDelete]\r\n"
      "*.tmp,300,\"a,b\",9\r\n"
      "*.bak,1,x\r\n";
  const UninstallData data = parse_uninstall_data(text);

  const std::vector<RemovalEntry> removal = {{RemovalKind::File, "C:\\App\\one.dll"},
                                             {RemovalKind::Folder, "C:\\App\\Sub"}};
  EXPECT_EQ(data.removal.entries(), removal);

  const std::map<int, std::string> texts = {{10, "first\r\nsecond"}, {20, "[strings]"}, {30, ""}};
  EXPECT_EQ(data.texts, texts);
  EXPECT_EQ(data.installing_text, "Installing");

  ASSERT_EQ(data.auto_close.size(), 3u);
  EXPECT_EQ(data.auto_close[0], (CloseApplication{"Cls", "Title", "app.exe", 2, 0x4}));
  EXPECT_EQ(data.auto_close[1], (CloseApplication{"Cls2", "Ti,tle", "app2.exe", 1, 0x2}));
  EXPECT_EQ(data.auto_close[2], (CloseApplication{"K", "", "", 0, 0x2}));

  const std::vector<AssociationRecord> associations = {{".txt", "T", "open"}, {".y", "T", "v~!~w"}};
  EXPECT_EQ(data.associations, associations);
  EXPECT_EQ(data.firewall, std::vector<std::string>{"80;Web;1;0"});
  EXPECT_EQ(data.inf, std::vector<std::string>{"C:\\W\\INF\\oem1.inf"});
  EXPECT_EQ(data.registry, std::vector<std::string>{"\\HKLM\\X\\v"});
  EXPECT_EQ(data.msi, std::vector<std::string>{"\"C:\\p.msi\",2"});
  EXPECT_EQ(data.registry_script, "\\HKLM\\A\r\n\\HKLM\\A,v,1,x,0,0\r\n");
  ASSERT_EQ(data.conditional_deletes.size(), 1u);
  EXPECT_EQ(data.conditional_deletes[0], (ConditionalDelete{"*.tmp", 300 & 0xFF, "a,b", 9}));
}

TEST(UninstallDataReader, DamagedFiles) {
  // A text cut short at the end of the file, no line end anywhere.
  UninstallData data = parse_uninstall_data("[Strings]\r\n~10\r\nhalf a te");
  EXPECT_EQ(data.texts.at(10), "half a te");
  data = parse_uninstall_data("[Strings]\r\n~10");
  EXPECT_EQ(data.texts.at(10), "");

  // Bytes that are not text at all.
  const std::string noise("\0\xFF\r\r\n\n~\x01[\"\",,\"", 14);
  data = parse_uninstall_data(noise);
  EXPECT_TRUE(data.texts.empty());
  ASSERT_EQ(data.removal.entries().size(), 1u);  // "~\x01[\"\",,\"" is a folder line of 7 bytes
  EXPECT_EQ(data.removal.entries()[0].kind, RemovalKind::Folder);

  EXPECT_EQ(parse_uninstall_data(""), UninstallData{});
  EXPECT_EQ(parse_uninstall_data("\r\n\n\r"), UninstallData{});
  EXPECT_EQ(parse_uninstall_data("[AutoClose]"), UninstallData{});
}

TEST(UninstallDataReader, EveryCutOfAGoodFileReadsAndRoundTrips) {
  const std::string good = write_uninstall_data(every_section());
  for (std::size_t length = 0; length <= good.size(); ++length) {
    // A copy of exactly that size, so that ASan sees a read past the end.
    const std::string cut = good.substr(0, length);
    const UninstallData first = parse_uninstall_data(cut);
    EXPECT_EQ(parse_uninstall_data(write_uninstall_data(first)), first) << length;
  }
}

TEST(UninstallDataReader, RoundTrip) {
  const UninstallData data = every_section();
  const UninstallData read = parse_uninstall_data(write_uninstall_data(data));
  EXPECT_EQ(read.removal, data.removal);
  EXPECT_EQ(read.texts, data.texts);
  EXPECT_EQ(read.installing_text, data.installing_text);
  EXPECT_EQ(read.auto_close, data.auto_close);
  EXPECT_EQ(read.associations, data.associations);
  EXPECT_EQ(read.firewall, data.firewall);
  EXPECT_EQ(read.inf, data.inf);
  EXPECT_EQ(read.msi, data.msi);
  EXPECT_EQ(read.registry, data.registry);
  EXPECT_EQ(read.registry_script, data.registry_script + "\r\n");  // its last line gets its end
  EXPECT_EQ(read.conditional_deletes, data.conditional_deletes);
  EXPECT_EQ(write_uninstall_data(read), write_uninstall_data(data));
}

TEST(UninstallDataReader, TextsGoIntoTheCurrentLanguage) {
  InstallSettings settings;
  settings.LanguageIndex = 2;
  settings.Messages = {{"a", "b", "c"}};
  UninstallData data;
  data.texts = {{10, "ten"}, {0, "never"}};
  data.installing_text = "Busy";
  apply_texts(data, settings);
  ASSERT_EQ(settings.Messages.size(), 11u);
  EXPECT_EQ(settings.Messages[0], (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(settings.Messages[10], (std::vector<std::string>{"", "", "ten"}));
  EXPECT_EQ(settings.InstallingText, "Busy");
}

TEST(UninstallDataHelpers, LinesPathsAndMessages) {
  struct Case {
    std::string line;
    bool kept;
  };
  const Case firewall[] = {{"80;Web;1;0", false},      {"80;Web;1;1", true},
                           {"C:\\a.exe;A;3;01", true}, {"80;Web;1", false},
                           {"80;Web;1;0;1", false},    {"", false}};
  for (const Case& c : firewall) EXPECT_EQ(firewall_line_kept(c.line), c.kept) << c.line;

  EXPECT_EQ(uninstall_folder_file("C:\\App\\un", uninstall_data_file_name),
            "C:\\App\\un\\Uninstall.DAT");
  EXPECT_EQ(uninstall_folder_file("C:\\App\\", install_log_file_name), "C:\\App\\Install.LOG");
  EXPECT_EQ(uninstall_folder_file("", install_log_file_name), "Install.LOG");

  EXPECT_EQ(uninstall_data_load_failure("Tool", "C:\\App\\Uninstall.DAT", FileError::NotFound),
            "The uninstall information for Tool could not be loaded.\r\n\r\n"
            "Filepath: C:\\App\\Uninstall.DAT\r\nCode 3: The file was not found.");
}

}  // namespace
}  // namespace halvard
