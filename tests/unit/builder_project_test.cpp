// The project file: TOML to InstallSettings and FileRecord fields, errors that name
// the line, glob matching and the order of gathered files, the message table's checks.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "builder_test_files.h"
#include "cli.h"
#include "file_gatherer.h"
#include "glob.h"
#include "message_table.h"
#include "package_builder.h"
#include "project_loader.h"
#include "text_encoding.h"

namespace halvard::builder {
namespace {
namespace fs = std::filesystem;

std::string no_environment(const char*) { return ""; }
std::string epoch_environment(const char* name) {
  return std::string(name) == "SOURCE_DATE_EPOCH" ? "1700000000" : "";
}

LoadResult load(const std::string& text, Project& p, Environment env = no_environment) {
  return load_project_text(text, "p.toml", fs::temp_directory_path(), p, env);
}

TEST(BuilderProject, MapsKeysToSettings) {
  struct Case {
    const char* toml;
    std::function<bool(const InstallSettings&)> holds;
  };
  const std::string head = "[product]\nname = \"P\"\n";
  const Case cases[] = {
      {"[options]\nproduct_flags_low = [\"directory_page\", \"keep_log\"]",
       [](auto& s) { return s.ProductFlags.low == 0xC0; }},
      {"[options]\nproduct_flags_low = [\"directory_page\", 0x10000000]",
       [](auto& s) { return s.ProductFlags.low == 0x10000080; }},
      {"[options]\nproduct_flags_high = 0x81", [](auto& s) { return s.ProductFlags.high == 0x81; }},
      {"[options]\nsetup_options = [\"restore_point\", \"log_reinstall_batch\"]",
       [](auto& s) { return s.SetupOptions == 0x202; }},
      {"[product]\nrun_mode = \"interactive\"", [](auto& s) { return s.RunMode == 2; }},
      {"[product]\nadmin_requirement = 3", [](auto& s) { return s.AdminRequirement == 3; }},
      {"[window]\ntop_color = \"#102030\"", [](auto& s) { return s.TopColor == 0x302010; }},
      {"[window]\ntitle_size = 1.5\nstep_delay = 9999", [](auto& s) { return s.TitleSize == 1.5 && s.StepDelay == 9999; }},
      {"[wizard]\nextra_space = 4096\nsummary_style = \"banner\"",
       [](auto& s) { return s.DialogOptions[0] == 4096 && s.DialogOptions[8] == 2; }},
      {"[uninstall]\ndate = 2024-05-01T12:30:05", [](auto& s) { return s.UninstallerDate == FileDate{2024, 5, 1, 12, 30, 5}; }},
      {"[uninstall]\ndate = 2024-05-01", [](auto& s) { return s.UninstallerDate == FileDate{2024, 5, 1, -1, 0, 0}; }},
      {"[registry]\nfirewall = [\"a;b;c;d\", \"e;f;g;h\"]", [](auto& s) { return s.FirewallList == "a;b;c;d\r\ne;f;g;h"; }},
      {"[notify]\nupgrade = \"u2\"\nreinstall = \"u4\"", [](auto& s) { return s.NotifyURL2 == "u2" && s.NotifyURL4 == "u4"; }},
      {"[product]\ndescription = \"caf\xC3\xA9\"", [](auto& s) { return s.ProductDescription == "caf\xE9"; }},
      {"[[registration_values]]\nname = \"N\"\ntype = \"dword\"\nvalue = \"5\"",
       [](auto& s) { return s.RegistrationValues.size() == 1 && s.RegistrationValues[0].type == 4; }},
      {"[[close_applications]]\nwindow_class = \"C\"\nmode = 2\nphases = 6",
       [](auto& s) { return s.CloseApplications.size() == 1 && s.CloseApplications[0].mode == 2; }},
      {"[[close_applications]]\nwindow_class = \"C\"",
       [](auto& s) { return s.CloseApplications.size() == 1 && s.CloseApplications[0].phases == 0x3; }},
  };
  for (const Case& c : cases) {
    Project p;
    std::string text = c.toml;
    // [product] may appear once: merge the case's product keys into the head.
    if (text.rfind("[product]\n", 0) == 0) text = head + text.substr(10);
    else text = head + text;
    const LoadResult r = load(text, p);
    ASSERT_TRUE(r.ok) << c.toml << "\n" << (r.errors.empty() ? "" : r.errors[0]);
    EXPECT_TRUE(c.holds(p.settings)) << c.toml;
  }
}

TEST(BuilderProject, FileRuleFields) {
  Project p;
  const LoadResult r = load(R"([product]
name = "P"
[[files]]
source = "a.msi"
kind = "msi_package"
overwrite = "missing_only"
flags = ["start_menu_shortcut", "msi_list"]
attributes = ["read_only", "hidden"]
date = 2020-02-03T04:05:06
version = "1.2.3"
shortcut_text = "icon"
shortcut_text2 = "args"
shortcut_text3 = "work"
destination = "%InstallDir%\\sub\\"
msi_value = 7
)", p);
  ASSERT_TRUE(r.ok) << r.errors[0];
  ASSERT_EQ(p.files.size(), 1u);
  const FileRecord& rec = p.files[0].record;
  EXPECT_EQ(rec.Kind, 11u);
  EXPECT_EQ(rec.Flags, 0x2u | 0x80u | 0x0Cu);
  EXPECT_EQ(rec.Attributes, 0x3u);
  EXPECT_EQ(rec.FileDate, (FileDate{2020, 2, 3, 4, 5, 6}));
  EXPECT_EQ(p.files[0].date_source, DateSource::fixed);
  EXPECT_EQ(rec.ShortcutText, "icon");
  EXPECT_EQ(rec.Destination, "%InstallDir%\\sub\\");
  EXPECT_EQ(rec.MsiValue, 7u);
}

TEST(BuilderProject, RegistryEntriesAndFirewallBecomeTheirLines) {
  Project p;
  const LoadResult r = load(
      "[product]\nname = \"P\"\n"
      "[registry]\nscript = '\\HKLM\\Software\\P'\nfirewall = [\"80;Web;1;\"]\n"
      "[[registry_entries]]\nkey = '\\HKCU\\Software\\P, Inc'\n"
      "[[registry_entries]]\nkey = '\\HKAU\\Software\\P'\nname = 'Say \"hi\"'\ntype = \"dword\"\ndata = \"-1\"\nkeep = "
      "true\n"
      "[[firewall]]\nport = 8080\nname = \"Both\"\nprotocols = [\"tcp\", \"udp\"]\n"
      "[[firewall]]\nprogram = '%InstallDir%\\server.exe'\nname = \"Server\"\nkeep = true\n",
      p);
  ASSERT_TRUE(r.ok) << (r.errors.empty() ? "" : r.errors[0]);
  EXPECT_EQ(p.settings.RegistryScript,
            "\\HKLM\\Software\\P\r\n\"\\HKCU\\Software\\P, Inc\"\r\n"
            "\\HKAU\\Software\\P,\"Say \"\"hi\"\"\",4,-1,0,1");
  EXPECT_EQ(p.settings.FirewallList, "80;Web;1;\r\n8080;Both;3;\r\n%InstallDir%\\server.exe;Server;0;1");
}

// One cause, one message: a folder or an empty file given as the project, and a name the
// code page cannot hold, each say what they are and nothing follows them.
TEST(BuilderProject, OneMessagePerCause) {
  const fs::path dir = fs::temp_directory_path() / ("hv_one_error_" + std::to_string(getpid()));
  fs::create_directories(dir / "folder.toml");
  std::ofstream(dir / "empty.toml") << " \n\n";
  struct Case {
    fs::path file;
    std::string error;
  };
  const Case cases[] = {
      {dir / "folder.toml", (dir / "folder.toml").string() + " is a folder, not a project file"},
      {dir / "empty.toml",
       (dir / "empty.toml").string() + " is empty: a project needs at least [product] with a 'name'"},
      {dir / "missing.toml",
       (dir / "missing.toml").string() + ": cannot read the project file: No such file or directory"},
  };
  for (const Case& c : cases) {
    Project p;
    const LoadResult r = load_project(c.file, p, no_environment);
    EXPECT_EQ(r.errors, std::vector<std::string>{c.error});
  }
  fs::remove_all(dir);

  Project p;
  LoadResult r = load("[product]\nname = \"Caf\xC3\xA9 \xE4\xB8\xAD\"\n", p);
  ASSERT_EQ(r.errors.size(), 1u) << r.errors.back();
  EXPECT_NE(r.errors[0].find("p.toml:2:8: the text holds a character that Windows-1252 cannot show"), std::string::npos)
      << r.errors[0];
  r = load("[product]\nname = \"\"\n", p);
  EXPECT_EQ(r.errors, std::vector<std::string>{"p.toml: [product] needs a 'name'"});
}

// A text Windows-1252 cannot show is refused with the character at fault, by position,
// code point and (for the usual combining marks) name; a decomposed accent gets its
// composed form, which the code page has.
TEST(BuilderText, RefusalNamesTheCharacterAndTheComposedForm) {
  struct Case {
    const char* utf8;
    const char* refusal;
    const char* composed;  // "" when composing does not help
  };
  const Case cases[] = {
      {"cafe\xCC\x81.txt", "character 5 is U+0301 COMBINING ACUTE ACCENT", "caf\xC3\xA9.txt"},
      {"Ju\xCC\x88" "rgen", "character 3 is U+0308 COMBINING DIAERESIS", "J\xC3\xBC" "rgen"},
      {"S\xCC\x8C" "koda", "character 2 is U+030C COMBINING CARON", "\xC5\xA0" "koda"},
      {"Ju\xCC\x88" "rgen k\xCC\x8A", "character 3 is U+0308 COMBINING DIAERESIS", ""},  // no k with a ring
      {"n\xCC\x83o", "character 2 is U+0303 COMBINING TILDE", "\xC3\xB1o"},
      {"\xCC\x81x", "character 1 is U+0301 COMBINING ACUTE ACCENT", ""},   // no letter before it
      {"e\xCC\x81\xCC\x81", "character 2 is U+0301 COMBINING ACUTE ACCENT", ""},  // two marks on one letter
      {"q\xCC\x81", "character 2 is U+0301 COMBINING ACUTE ACCENT", ""},  // no such letter in the code page
      {"a \xE4\xB8\xAD", "character 3 is U+4E2D", ""},
      {"x\xF0\x9F\x98\x80", "character 2 is U+1F600", ""},
      {"ok\xFF", "byte 3 (0xFF) is not UTF-8", ""},
      {"caf\xC3\xA9 \xE2\x82\xAC", "", ""},  // converts
  };
  for (const Case& c : cases) {
    std::string composed = "untouched";
    EXPECT_EQ(cp1252_refusal(c.utf8, &composed), c.refusal) << c.utf8;
    EXPECT_EQ(composed, c.composed) << c.utf8;
    if (!composed.empty()) {
      EXPECT_TRUE(utf8_to_cp1252(composed).has_value()) << composed;
    }
  }
  EXPECT_EQ(escape_for_cp1252("cafe\xCC\x81 \xE2\x82\xAC" "\xF0\x9F\x98\x80" "\xFF"),
            "cafe\\u0301 \xE2\x82\xAC" "\\U0001F600\\xFF");
}

// Fonts, applets and MSI packages have readable keys for what the engine reads from
// VersionText, MsiValue and the Flags bits; each is checked against the entry's kind.
TEST(BuilderProject, ComponentFieldsByKind) {
  Project p;
  LoadResult r = load(R"toml([product]
name = "P"
[[files]]
source = "f.ttf"
kind = "font"
font_name = "Hello Sans (TrueType)"
keep = true
[[files]]
source = "old.ttf"
kind = "font"
version = "Old Sans (TrueType)"
[[files]]
source = "a.cpl"
kind = "control_panel"
applet_name = "Hello Settings"
[[files]]
source = "b.cpl"
kind = "control_panel"
[[files]]
source = "p.msi"
kind = "msi_package"
msi_ui_level = "basic"
msi_remove_at_uninstall = true
[[files]]
source = "q.msi"
kind = "msi_package"
msi_value = 0x43
flags = ["msi_list"]
)toml", p);
  ASSERT_TRUE(r.ok) << r.errors[0];
  ASSERT_EQ(p.files.size(), 6u);
  EXPECT_EQ(p.files[0].record.VersionText, "Hello Sans (TrueType)");
  EXPECT_EQ(p.files[0].record.Flags, file_flag::keep_at_uninstall);
  EXPECT_EQ(p.files[1].record.VersionText, "Old Sans (TrueType)");  // the raw field still carries it
  EXPECT_EQ(p.files[2].record.VersionText, "Hello Settings");
  EXPECT_EQ(p.files[3].record.VersionText, "");  // the engine takes the file's name
  EXPECT_EQ(p.files[4].record.MsiValue, 3u);
  EXPECT_EQ(p.files[4].record.Flags, file_flag::msi_list);
  EXPECT_EQ(p.files[5].record.MsiValue, 0x43u);
  EXPECT_EQ(p.files[5].record.Flags, file_flag::msi_list);

  struct Case {
    const char* entry;   // after [[files]] on line 3 and source on line 4
    const char* error;
  };
  const Case cases[] = {
      {"kind = \"font\"\n", "p.toml:5:8: a font needs 'font_name'"},
      {"kind = \"font\"\nfont_name = \"\"\n", "p.toml:6:13: 'font_name' must not be empty"},
      {"kind = \"font\"\nfont_name = \"A\"\nversion = \"B\"\n",
       "p.toml:6:13: give the name either in 'font_name' or in 'version', not both"},
      {"font_name = \"A\"\n", "p.toml:5:13: 'font_name' is only for kind \"font\", and this entry's kind is \"plain\""},
      {"kind = \"font\"\nfont_name = \"A\"\napplet_name = \"B\"\n",
       "p.toml:7:15: 'applet_name' is only for kind \"control_panel\", and this entry's kind is \"font\""},
      {"kind = \"control_panel\"\napplet_name = \"\"\n", "p.toml:6:15: 'applet_name' must not be empty"},
      {"kind = \"com_server\"\nmsi_remove_at_uninstall = true\n",
       "p.toml:6:27: 'msi_remove_at_uninstall' is only for kind \"msi_package\", and this entry's kind is "
       "\"com_server\""},
      {"kind = \"shared\"\nflags = [\"msi_list\"]\n",
       "p.toml:6:9: 'flags': \"msi_list\" is only for kind \"msi_package\", and this entry's kind is \"shared\""},
      {"kind = \"msi_package\"\nmsi_ui_level = \"quiet\"\n",
       "p.toml:6:16: 'msi_ui_level': unknown name \"quiet\"; known names: no_change, default, none, basic, reduced, "
       "full"},
      {"kind = \"msi_package\"\nmsi_ui_level = 2\nmsi_value = 2\n",
       "p.toml:6:16: give the level either in 'msi_ui_level' or in 'msi_value', not both"},
      {"kind = \"msi_package\"\nflags = [\"msi_list\"]\nmsi_remove_at_uninstall = false\n",
       "p.toml:7:27: 'msi_remove_at_uninstall' is false but 'flags' holds \"msi_list\""},
      {"flags = [\"keep_at_uninstall\"]\nkeep = false\n", "p.toml:6:8: 'keep' is false but 'flags' holds"},
      {"keep = \"yes\"\n", "p.toml:5:8: 'keep' must be true or false"},
  };
  for (const Case& c : cases) {
    Project q;
    r = load(std::string("[product]\nname = \"P\"\n[[files]]\nsource = \"x\"\n") + c.entry, q);
    ASSERT_EQ(r.errors.size(), 1u) << c.entry << (r.errors.empty() ? "" : r.errors.back());
    EXPECT_EQ(r.errors[0].rfind(c.error, 0), 0u) << "got: " << r.errors[0];
  }
}

// The line a build ends with reads well for one file and for ten thousand.
TEST(BuilderCli, SummaryReadsWellForOneAndManyFiles) {
  BuildOutcome one;
  one.output = "out/setup.exe";
  one.output_size = 84480;
  one.file_count = 1;
  one.source_size = 139;
  one.data_size = 201;
  EXPECT_EQ(summary_line(one),
            "wrote out/setup.exe: 84,480 bytes; 1 file of 139 bytes, stored in 201 (data this small or already packed "
            "does not shrink)");
  BuildOutcome many = one;
  many.output_size = 12345678;
  many.file_count = 10000;
  many.source_size = 40000000;
  many.data_size = 11000000;
  EXPECT_EQ(summary_line(many),
            "wrote out/setup.exe: 12,345,678 bytes; 10,000 files of 40,000,000 bytes, packed into 11,000,000 (28%)");
  BuildOutcome none = one;
  none.file_count = 0;
  none.source_size = 0;
  EXPECT_EQ(summary_line(none), "wrote out/setup.exe: 84,480 bytes; no files");
  BuildOutcome tiny = one;
  tiny.file_count = 1;
  tiny.source_size = 1;
  tiny.data_size = 20;
  EXPECT_EQ(summary_line(tiny),
            "wrote out/setup.exe: 84,480 bytes; 1 file of 1 byte, stored in 20 (data this small or already packed does "
            "not shrink)");
}

TEST(BuilderProject, ErrorsNameFileLineAndKey) {
  struct Case {
    const char* toml;
    const char* expected;  // a piece of the first error
  };
  const Case cases[] = {
      {"[product]\nname = \"P\"\n\n[options]\nproduct_flags_low = [\"directory_pgae\"]\n",
       "p.toml:5:22: 'product_flags_low': unknown name \"directory_pgae\""},
      {"[product]\nname = \"P\"\nnmae = \"x\"\n", "p.toml:3:1: unknown key 'nmae' in [product]"},
      {"[product]\nname = \"P\"\n[window]\nbitmap_size = 101\n",
       "p.toml:4:15: 'bitmap_size' must be between 0 and 100"},
      {"[product]\nname = \"P\"\n[window]\nstep_delay = 10000\n",
       "p.toml:4:14: 'step_delay' must be between 0 and 9999"},
      {"[product]\nname = \"P\"\n[window]\ntop_color = \"#12345g\"\n",
       "p.toml:4:13: 'top_color' must be a colour \"#RRGGBB\""},
      {"[product]\nname = \"P\"\n[window]\ntop_color = \"#-1-1-1\"\n", "p.toml:4:13: 'top_color' must be a colour"},
      {"[product]\nname = \"P\"\n[window]\ntop_color = \"102030\"\n", "p.toml:4:13: 'top_color' must be a colour"},
      {"[product]\nname = \"P\"\n[[files]]\nsource = \"x\"\nkind = \"driver\"\n",
       "p.toml:5:8: 'kind': unknown name \"driver\""},
      {"[product]\nname = \"P\"\n[[files]]\nsource = \"x\"\nkind = 3\n", "p.toml:5:8: 'kind' 3 is not a file kind"},
      {"[product]\nname = \"P\"\n[[files]]\nsource = \"x\"\nmsi_value = 1\n",
       "p.toml:5:13: 'msi_value' is only for kind \"msi_package\", and this entry's kind is \"plain\""},
      {"[product]\nname = \"P\"\n[messages.French]\n1 = \"x\"\n", "\"French\" is not one of the languages"},
      {"[product]\nname = \"P\"\n[messages.English]\n10000 = \"x\"\n",
       "p.toml:4:9: [messages.English]: '10000' is not a message number"},
      {"[product]\nname = \"P\"\ndescription = \"\xE2\x82\xAC \xE4\xB8\xAD\"\n",
       "p.toml:3:15: the text holds a character that Windows-1252 cannot show"},
      {"[product]\nname = \"P\"\n[[conditional_deletes]]\npath = \"~~THE END~~\"\n",
       "p.toml:3:1: a conditional delete's path cannot be"},
      {"[product]\nname = \"P\"\n[product\n", "p.toml:3:"},
      {"[product]\npublisher = \"x\"\n", "p.toml: [product] needs a 'name'"},
      {"[product]\nname = \"P\"\n[build]\nengine = \"arm64\"\n",
       "p.toml:4:10: 'engine': unknown engine \"arm64\"; known engines: x86, x64, or a path (one that holds '/' or "
       "'\\' or ends in \".exe\")"},
      {"[product]\nname = \"P\"\n[build]\nengine = \"X86_64\"\n", "p.toml:4:10: 'engine': unknown engine \"X86_64\""},
      {"[product]\nname = \"P\"\n[build]\nengine = \"\"\n", "p.toml:4:10: 'engine': unknown engine \"\""},
      {"[product]\nname = \"P\"\n[registry]\nfirewall = [\"80;Web;1;\", \"app.exe;App\"]\n",
       "p.toml:4:12: firewall line 2 (\"app.exe;App\") needs four ';' fields"},
      {"[product]\nname = \"P\"\n[[registry_entries]]\nkey = 'HKLM\\Software\\X'\n",
       "p.toml:4:7: 'key' (\"HKLM\\Software\\X\") must begin with"},
      {"[product]\nname = \"P\"\n[[registry_entries]]\nkey = '\\HKLM\\Software\\..\\X'\n",
       "p.toml:4:7: 'key' (\"\\HKLM\\Software\\..\\X\") cannot be written"},
      {"[product]\nname = \"P\"\n[[registry_entries]]\nkey = '\\HKLM\\S'\nname = \"B\"\ntype = \"binary\"\ndata = \"0a "
       "1\"\n",
       "p.toml:7:8: a binary value's 'data' must be pairs of hexadecimal digits"},
      {"[product]\nname = \"P\"\n[[registry_entries]]\nkey = '\\HKLM\\S'\ntype = \"text\"\n",
       "p.toml:5:8: 'type': unknown name \"text\""},
      {"[product]\nname = \"P\"\n[[firewall]]\nport = 80\nprogram = \"x.exe\"\nprotocols = \"tcp\"\n",
       "p.toml:3:1: a firewall exception needs either 'program' or 'port'"},
      {"[product]\nname = \"P\"\n[[firewall]]\nport = 80\nprotocols = [\"tcp\", \"icmp\"]\n",
       "p.toml:5:13: 'protocols': unknown protocol \"icmp\""},
      {"[product]\nname = \"P\"\n[[firewall]]\nport = 80\n", "p.toml:3:1: a firewall port needs 'protocols'"},
      {"[product]\nname = \"P\"\n[registry]\nscript = '''\n\\HKLM\\S\n\\HKLM\\S,N,1,x,0\n'''\n",
       "p.toml:4:10: registry script line 2 (\"\\HKLM\\S,N,1,x,0\") needs 1 field"},
      {"[product]\nname = \"P\"\n[registry]\nscript = 'HKLM\\S,N,1,x,0,0'\n",
       "p.toml:4:10: registry script line 1 (\"HKLM\\S,N,1,x,0,0\") names no key under"},
  };
  for (const Case& c : cases) {
    Project p;
    const LoadResult r = load(c.toml, p);
    ASSERT_FALSE(r.ok) << c.toml;
    EXPECT_NE(r.errors[0].find(c.expected), std::string::npos) << "got: " << r.errors[0];
  }
}

// The background picture is checked as the engine will read it, and its transparent
// index against its palette: a picture the engine would drop is an error here.
TEST(BuilderProject, BackgroundPictureIsOneTheEngineCanShow) {
  const fs::path dir = builder_test::fresh_test_folder("halvard-picture-");
  auto info = [](int32_t width, int32_t height, uint16_t bits, uint32_t colours, size_t pixel_bytes) {
    std::string b(40, '\0');
    auto put = [&](size_t at, uint32_t v, int n) {
      for (int i = 0; i < n; ++i) b[at + size_t(i)] = char(v >> (8 * i) & 0xFF);
    };
    put(0, 40, 4);
    put(4, uint32_t(width), 4);
    put(8, uint32_t(height), 4);
    put(12, 1, 2);
    put(14, bits, 2);
    put(32, colours, 4);
    b.append(4 * colours, '\x10');
    b.append(pixel_bytes, '\x01');
    return b;
  };
  builder_test::write_file(dir / "good.bmp", "BM" + std::string(12, '\0') + info(2, 2, 8, 4, 8));
  builder_test::write_file(dir / "raw.dib", info(2, 2, 8, 4, 8));
  builder_test::write_file(dir / "short.bmp", "BM" + std::string(12, '\0') + info(20, 20, 8, 4, 8));
  builder_test::write_file(dir / "index.bmp", info(2, 1, 8, 1, 4));
  builder_test::write_file(dir / "text.bmp", "this is not a picture at all, only words");
  struct Case {
    const char* lines;
    const char* error;  // empty: accepted
  };
  const Case cases[] = {
      {"bitmap = \"good.bmp\"\nbitmap_tpi = 3\n", ""},
      {"bitmap = \"raw.dib\"\nbitmap_tpi = -1\n", ""},
      {"bitmap = \"short.bmp\"\n",
       "p.toml:4:10: \"short.bmp\" is not a picture the engine can show: its pixels are cut short"},
      {"bitmap = \"text.bmp\"\n", "\"text.bmp\" is not a picture the engine can show: its header"},
      {"bitmap = \"index.bmp\"\n", "a pixel names a colour beyond its palette"},
      {"bitmap = \"good.bmp\"\nbitmap_tpi = 4\n",
       "p.toml:5:14: 'bitmap_tpi' 4 is not an entry of the picture's palette (4 entries; -1 for none)"},
  };
  for (const Case& c : cases) {
    Project p;
    const std::string text = std::string("[product]\nname = \"P\"\n[window]\n") + c.lines;
    const LoadResult r = load_project_text(text, "p.toml", dir, p, no_environment);
    if (std::string_view(c.error).empty()) {
      EXPECT_TRUE(r.ok) << c.lines << (r.errors.empty() ? "" : r.errors[0]);
      EXPECT_EQ(p.settings.BackgroundBitmap.size(), 40u + 16 + 8) << "stored without the file header";
    } else {
      ASSERT_FALSE(r.ok) << c.lines;
      EXPECT_NE(r.errors[0].find(c.error), std::string::npos) << "got: " << r.errors[0];
    }
  }
}

// Projects named their engine by path before there were two engines; those must stay paths.
TEST(BuilderProject, BuildEngineIsAnArchOrAPath) {
  struct Case {
    const char* toml;                // the value as written in the project file
    std::optional<EngineArch> arch;  // empty: a path
    const char* path;
  };
  const Case cases[] = {
      {"\"x86\"", EngineArch::x86, ""},
      {"\"x64\"", EngineArch::x64, ""},
      {"\"engine.exe\"", {}, "engine.exe"},
      {"\"Engine.EXE\"", {}, "Engine.EXE"},
      {"\"x64.exe\"", {}, "x64.exe"},
      {"\"bin/engine\"", {}, "bin/engine"},
      {"'..\\x64'", {}, "..\\x64"},
      {"\"/opt/halvard/x86\"", {}, "/opt/halvard/x86"},
  };
  for (const Case& c : cases) {
    Project p;
    const LoadResult r = load(std::string("[product]\nname = \"P\"\n[build]\nengine = ") + c.toml + "\n", p);
    ASSERT_TRUE(r.ok) << c.toml << ": " << r.errors[0];
    EXPECT_EQ(p.build.engine_arch, c.arch) << c.toml;
    EXPECT_EQ(p.build.engine, c.path) << c.toml;
  }
}

TEST(BuilderProject, UninstallerDateFollowsSourceDateEpoch) {
  Project p;
  ASSERT_TRUE(load("[product]\nname = \"P\"\n", p, epoch_environment).ok);
  EXPECT_EQ(p.settings.UninstallerDate, (FileDate{2023, 11, 14, 22, 13, 20}));
  ASSERT_TRUE(load("[product]\nname = \"P\"\n", p, no_environment).ok);
  EXPECT_EQ(p.settings.UninstallerDate.month, 0);  // no date without a source for one
}

TEST(BuilderGlob, Matching) {
  struct Case {
    const char* pattern;
    const char* path;
    bool match;
  };
  const Case cases[] = {
      {"a.txt", "a.txt", true},          {"*.txt", "a.txt", true},
      {"*.txt", "d/a.txt", false},       {"d/*", "d/a.txt", true},
      {"**", "d/e/a.txt", true},         {"**/*.txt", "a.txt", true},
      {"**/*.txt", "d/e/a.txt", true},   {"d/**/a.txt", "d/a.txt", true},
      {"d/**/a.txt", "x/d/a.txt", false}, {"a?c", "abc", true},
      {"a?c", "a/c", false},             {"[ab]x", "bx", true},
      {"[!ab]x", "bx", false},           {"[a-c]x", "cx", true},
      {"*.TXT", "a.txt", false},         {"a*b*c", "aXbYbZc", true},
      {"a*b*c", "aXbYbZ", false},        {"[x", "[x", true},
  };
  for (const Case& c : cases) EXPECT_EQ(glob_match(c.pattern, c.path), c.match) << c.pattern << " ~ " << c.path;
  EXPECT_EQ(glob_fixed_folder("docs/en/**/*.txt"), "docs/en");
  EXPECT_EQ(glob_fixed_folder("*/x"), "");
}

class BuilderGather : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("hv_gather_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                       "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    // Created in an order unlike the sorted one, so that directory order cannot pass for it.
    for (const char* f : {"src/z.txt", "src/B.txt", "src/a/c.txt", "src/a.txt", "src/a/b/d.bin", "other/o.txt"}) {
      fs::create_directories((dir / f).parent_path());
      std::ofstream(dir / f) << f;
    }
  }
  void TearDown() override { fs::remove_all(dir); }
  GatherResult gather(const std::string& toml) {
    Project p;
    const LoadResult r = load_project_text(toml, "p.toml", dir, p, no_environment);
    EXPECT_TRUE(r.ok) << (r.errors.empty() ? "" : r.errors[0]);
    return gather_files(p, {}, no_environment);
  }
  fs::path dir;
};

TEST_F(BuilderGather, SortedByPathBytesWithBaseAndInto) {
  const GatherResult g = gather("[product]\nname = \"P\"\n[[files]]\nsource = \"src/**\"\nbase = \"src\"\ninto = \"app\"\n"
                                "exclude = [\"src/**/*.bin\"]\n[[files]]\nsource = \"other/o.txt\"\n");
  ASSERT_TRUE(g.ok) << g.errors[0];
  std::vector<std::string> names;
  for (const auto& f : g.files) names.push_back(f.record.Name);
  EXPECT_EQ(names, (std::vector<std::string>{"app\\B.txt", "app\\a.txt", "app\\a\\c.txt", "app\\z.txt", "o.txt"}));
}

// A folder the builder cannot read ends the build with its name and the system's
// reason; it is never skipped. Root reads every folder, so the gathering runs in a
// child process as an unprivileged user.
TEST_F(BuilderGather, AnUnreadableFolderIsAnErrorNotASkippedFolder) {
  fs::permissions(dir, fs::perms::all);
  fs::permissions(dir / "src", fs::perms::all);
  fs::permissions(dir / "src" / "a", fs::perms::none);
  Project p;
  ASSERT_TRUE(load_project_text("[product]\nname = \"P\"\n[[files]]\nsource = \"src/**\"\nbase = \"src\"\n", "p.toml",
                                dir, p, no_environment)
                  .ok);
  int pipe_ends[2];
  ASSERT_EQ(pipe(pipe_ends), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(pipe_ends[0]);
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
    const GatherResult g = gather_files(p, {}, no_environment);
    const std::string report = (g.ok ? "ok " : "failed ") + std::to_string(g.errors.size()) + "\n" +
                               (g.errors.empty() ? std::string() : g.errors[0]);
    if (write(pipe_ends[1], report.data(), report.size()) < 0) _exit(4);
    _exit(0);
  }
  close(pipe_ends[1]);
  std::string report;
  char buffer[512];
  for (ssize_t n; (n = read(pipe_ends[0], buffer, sizeof buffer)) > 0;) report.append(buffer, size_t(n));
  close(pipe_ends[0]);
  int status = 0;
  waitpid(child, &status, 0);
  fs::permissions(dir / "src" / "a", fs::perms::all);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  EXPECT_EQ(report, "failed 1\np.toml:4:10: cannot list the folder \"src/a\": Permission denied");
}

// A wildcard entry that only repeats files an earlier one took is a warning; when its
// files land on the places already taken, the error says it alone.
TEST_F(BuilderGather, RepeatedFilesWarnOnceAndNeverBesideAnError) {
  GatherResult g = gather("[product]\nname = \"P\"\n[[files]]\nsource = \"src/*.txt\"\n[[files]]\n"
                          "source = \"src/*.txt\"\ninto = \"copy\"\n");
  ASSERT_TRUE(g.ok) << g.errors[0];
  EXPECT_EQ(g.warnings, std::vector<std::string>{"p.toml:6:10: every file \"src/*.txt\" matches is already stored by "
                                                 "an earlier [[files]] entry (p.toml:4:10); this entry stores them a "
                                                 "second time"});
  Project p;
  ASSERT_TRUE(load_project_text("[product]\nname = \"P\"\n[[files]]\nsource = \"src/*.txt\"\n[[files]]\n"
                                "source = \"src/*.txt\"\n",
                                "p.toml", dir, p, no_environment)
                  .ok);
  g = gather_files(p, {}, no_environment);
  EXPECT_FALSE(g.ok);
  EXPECT_TRUE(g.warnings.empty()) << g.warnings[0];
  // A single file named again (the README's hello-again.bat) warns of nothing.
  g = gather("[product]\nname = \"P\"\n[[files]]\nsource = \"src/*.txt\"\n[[files]]\n"
             "source = \"src/z.txt\"\nname = \"again.txt\"\n");
  ASSERT_TRUE(g.ok) << g.errors[0];
  EXPECT_TRUE(g.warnings.empty()) << g.warnings[0];
}

TEST_F(BuilderGather, RuleErrorsNameTheirLine) {
  Project p;
  ASSERT_TRUE(load_project_text("[product]\nname = \"P\"\n[[files]]\nsource = \"nothing/*.txt\"\n[[files]]\n"
                                "source = \"src/*.txt\"\nname = \"one.txt\"\n[[files]]\nsource = \"src/z.txt\"\n"
                                "[[files]]\nsource = \"src/z.txt\"\n",
                                "p.toml", dir, p, no_environment)
                  .ok);
  const GatherResult g = gather_files(p, {}, no_environment);
  ASSERT_EQ(g.errors.size(), 3u);
  EXPECT_NE(g.errors[0].find("p.toml:4:10: no file matches \"nothing/*.txt\""), std::string::npos) << g.errors[0];
  EXPECT_NE(g.errors[1].find("p.toml:6:10: 'name' needs a 'source' that matches exactly one file"), std::string::npos)
      << g.errors[1];
  EXPECT_NE(g.errors[2].find("installs to the same place as p.toml:9:10"), std::string::npos) << g.errors[2];
}

TEST(BuilderMessages, FallBackToEnglishAndCheckConversions) {
  std::vector<LanguageTexts> languages = {{"English", {}, {{42, "Done."}}, {}}, {"Deutsch", {}, {{49, "Abbrechen"}}, {}}};
  InstallSettings s;
  s.LicenseTexts = {"EN licence", "DE Lizenz"};
  std::vector<std::string> errors;
  ASSERT_TRUE(build_message_table(languages, s, errors)) << errors[0];
  EXPECT_EQ(s.LanguageNames, (std::vector<std::string>{"English", "Deutsch"}));
  EXPECT_EQ(s.Messages[42][1], "Done.");  // Deutsch falls back on the project's English
  EXPECT_EQ(s.Messages[49][1], "Abbrechen");
  EXPECT_EQ(s.Messages[49][0], "Cancel");
  EXPECT_EQ(s.Messages[63][0], "EN licence");
  EXPECT_EQ(s.Messages[63][1], "DE Lizenz");
  EXPECT_EQ(s.Messages[13][0].find("%d") != std::string::npos, true);

  languages[1].texts[19] = "Es fehlen %s auf %s";  // the engine passes %s %c %s
  languages[1].positions[19] = {"p.toml", 12, 6};
  languages[1].texts[1] = "100% sicher";           // 1 is not formatted: any text
  languages[1].texts[500] = "a text of the project's own";
  errors.clear();
  EXPECT_FALSE(build_message_table(languages, s, errors));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("p.toml:12:6: [messages.Deutsch] low_disk_space (19): the engine fills this text with "
                           "the conversions %s%c%s"),
            std::string::npos)
      << errors[0];
  EXPECT_EQ(s.Messages.size(), 501u);
  EXPECT_EQ(printf_conversions("%-5.2f%% of %lu %"), "%-5.2f%lu%");
}

}  // namespace
}  // namespace halvard::builder
