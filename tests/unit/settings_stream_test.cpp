#include "package/settings_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "package/checksum.h"
#include "settings_writer.h"

namespace halvard {
namespace {

using Bytes = std::vector<uint8_t>;

SettingsEnvironment test_environment() {
  SettingsEnvironment env;
  env.program_files = "C:\\Program Files";
  env.common_app_data = "C:\\ProgramData";
  env.common_files = "C:\\Program Files\\Common Files";
  env.os_description = "Windows 10 Pro 64-bit";
  return env;
}

// The smallest record that reads without a fault: one language, one message.
InstallSettings minimal_settings() {
  InstallSettings s;
  s.ProductName = "Prod";
  s.LanguageNames = {"English"};
  s.Messages = {{"Title"}};
  return s;
}

// Every item set to a value of its own; the derived fields hold what the reader makes
// of them, so that reading the written stream gives this record back exactly.
InstallSettings full_settings() {
  InstallSettings s;
  s.ProductFlags = {product_flag::low_uninstall_support | product_flag::low_master_product | 0x81,
                    product_flag::high_maximized_background | product_flag::high_product_64bit |
                        0x4000};
  s.SetupOptions = 0x12345622;
  s.RunMode = run_mode_automatic;
  s.AutomaticMode = true;
  s.MaximizedBackground = true;
  s.TaskbarText = "Taskbar";
  s.DisplayTitle = "Big Title";
  s.TitleSize = 1.75;
  s.DialogValue = 0xCAFEBABE;
  s.StepDelay = 9999;
  s.ShortcutMode = 1;
  s.UninstallerDate = {2026, 2, 3, 4, 5, 6};
  s.Publisher = "Acme";
  s.ProductName = "Widget";
  s.ProductDescription = "Widget Pro";
  s.SharedBase = 1;
  s.SharedPath = "D:\\Shared\\Acme";  // absolute, so resolving keeps it
  s.ProductStartMenu = "Acme Tools\\Widget";
  s.DisplayVersion = "2.5a";
  s.DefaultInstallDir = "E:\\Apps\\Widget";
  s.ProductRegistry = "Software\\Acme\\Widget";
  s.RegistryScript = "\\HKLM\\Software\\Acme,Key,Value";
  s.BitmapSize = 100;
  s.StretchMode = -3;
  s.LicenseTexts = {"licence one", std::string("with\0nul", 8), ""};
  s.ReadmeTexts = {"readme"};
  s.UninstallSubdir = "uninstall";
  s.UninstallerName = "unwidget.exe";
  s.UninstallKeyName = "WidgetKey";
  s.InstallDirValue = "\\HKLM\\Software\\Acme\\Dir";
  s.InstallingText = "Installing the widget";
  s.SidePictureFrame = 7;
  s.TitleColor = 0x00112233;
  s.TitleShadow = 3;
  s.TitlePosition = 2;
  s.TitleFont = "Arial,Tahoma";
  s.TopColor = 0x00FF0000;
  s.BottomColor = 0x000000FF;
  s.MonoColor = false;
  s.BackgroundBitmap = {40, 0, 0, 0, 1, 2, 3, 0, 0xFF};
  s.BitmapTPI = 96;
  s.CopyrightPos = 4;
  s.CopyrightColor = 0x00ABCDEF;
  s.CopyrightSize = 0.5;
  s.CopyrightText = "(c) Acme";
  s.CopyrightFont = "Verdana";
  s.MasterProduct = "Base";
  s.MasterProductMessage = "Base Product";
  s.DesktopFolderName = "Widgets";
  s.DesktopIconData = std::string("\0\0\1\0icon", 8);
  s.PreInstallBatch = "pre";
  s.PostInstallBatch = "post";
  s.ExitBatch = "exit";
  s.UninstallBatch1 = "un1";
  s.UninstallBatch2 = "un2";
  s.UpgradeBatch = "upgrade";
  s.ReinstallBatch = "reinstall";
  for (size_t i = 0; i < s.ReservedBlock.size(); ++i) s.ReservedBlock[i] = uint8_t(0xA0 + i);
  s.ExcludedSystems = 0x30;
  s.DataOnDisk = 1;
  s.AdminRequirement = 2;
  s.ExitViewFile = "readme.txt";
  s.ExitLaunchProgram = "widget.exe";
  s.ExitOpenFile = "manual.pdf";
  s.NotifyURL1 = "http://n/1";
  s.NotifyURL2 = "http://n/2";
  s.NotifyURL3 = "http://n/3";
  s.NotifyURL4 = "http://n/4";
  s.NotifyURL = "http://n/u";
  s.MinimumUpgradeVersion = "1.0";
  s.Password = "secret";
  s.MustUninstallBelow = "2.0";
  s.FirewallList = "a;b;c;d\r\ne;f;g;h";
  s.DialogOptions = {4096, 1, 2, 3, 4, 5, 6, 7, 8};
  s.SharedFolderText = std::string("item\0" "53", 7);
  s.ConditionalDeletes = {{"*.tmp", 1, "x", 8}, {"logs\\*.log", 2, "", 0}};
  s.FileAssociations = {{1, ".wid", "Widget.File", "Widget file", "open", "&Open",
                         "\"%InstallDir%\\widget.exe\" \"%1\"", "English", "widget.exe,0"}};
  s.ShortcutEntries = {{"widget.exe", "Widget", "w.ico", "-x", "%InstallDir%", 1, 1, 0,
                        "C:\\Custom", 2, 1, true},
                       {"doc.pdf", "Docs\\Manual", "", "", "", 0, 1, 1, "", 0, 0, true}};
  s.RootShortcutName = "Root";
  s.RootShortcutTarget = "root.exe";
  s.RegistrationValues = {{"HelpLink", 1, "http://help"}, {"NoModify", 4, "1"}};
  s.CloseApplications = {{"WidgetClass", "*Widget", "Widget", 2, 0x7}};
  s.LanguageNames = {"Deutsch", "English"};
  s.Messages = {{"Fenster", "Window"}, {"Zeile\r\nzwei", "Line\r\ntwo"}, {"", "only English"}};
  s.LanguageIndex = 1;
  return s;
}

struct Read {
  SettingsReadResult result;
  InstallSettings settings;
};

Read read_bytes(const Bytes& bytes, InstallSettings start = {},
                const SettingsEnvironment& env = test_environment()) {
  Read r{{}, std::move(start)};
  r.result = read_settings(bytes, Checksum32(bytes), r.settings, env);
  return r;
}

Read read_record(const InstallSettings& s, InstallSettings start = {},
                 const SettingsEnvironment& env = test_environment()) {
  return read_bytes(write_settings(s), std::move(start), env);
}

TEST(SettingsStream, EveryItemRoundTrips) {
  const InstallSettings s = full_settings();
  const Bytes bytes = write_settings(s);
  Read r = read_bytes(bytes);
  ASSERT_TRUE(r.result.ok()) << r.result.package_error << " at item " << r.result.item;
  EXPECT_EQ(r.result.position, bytes.size());
  EXPECT_EQ(r.result.item, 64);
  EXPECT_TRUE(r.settings == s);
  EXPECT_EQ(write_settings(r.settings), bytes);
  // Field by field for a readable failure.
  EXPECT_EQ(r.settings.ProductFlags, s.ProductFlags);
  EXPECT_EQ(r.settings.UninstallerDate, s.UninstallerDate);
  EXPECT_EQ(r.settings.LicenseTexts, s.LicenseTexts);
  EXPECT_EQ(r.settings.BackgroundBitmap, s.BackgroundBitmap);
  EXPECT_EQ(r.settings.ReservedBlock, s.ReservedBlock);
  EXPECT_EQ(r.settings.DialogOptions, s.DialogOptions);
  EXPECT_EQ(r.settings.SharedFolderText, s.SharedFolderText);
  EXPECT_EQ(r.settings.ConditionalDeletes, s.ConditionalDeletes);
  EXPECT_EQ(r.settings.FileAssociations, s.FileAssociations);
  EXPECT_EQ(r.settings.ShortcutEntries, s.ShortcutEntries);
  EXPECT_EQ(r.settings.RegistrationValues, s.RegistrationValues);
  EXPECT_EQ(r.settings.CloseApplications, s.CloseApplications);
  EXPECT_EQ(r.settings.Messages, s.Messages);
}

TEST(SettingsStream, OptionalItemsFollowTheirFlags) {
  // No bitmap, no copyright line, no master product, no item 53: none of them is read.
  InstallSettings s = full_settings();
  s.ProductFlags.low &= ~(product_flag::low_uninstall_support | product_flag::low_master_product);
  s.BackgroundBitmap.clear();
  s.BitmapTPI = 0;
  s.CopyrightPos = 0;
  s.CopyrightColor = 0;
  s.CopyrightSize = 0;
  s.CopyrightText.clear();
  s.CopyrightFont.clear();
  s.MasterProduct.clear();
  s.MasterProductMessage.clear();
  s.SharedFolderText.clear();
  const Bytes bytes = write_settings(s);
  EXPECT_LT(bytes.size(), write_settings(full_settings()).size());
  Read r = read_bytes(bytes);
  ASSERT_TRUE(r.result.ok()) << r.result.package_error;
  EXPECT_TRUE(r.settings == s);
}

TEST(SettingsStream, PackageErrorCodes) {
  struct Case {
    const char* what;
    std::function<void(InstallSettings&)> change;
    int code;
  };
  const auto entries = [](auto& list, size_t n) { list.resize(n); };
  const Case cases[] = {
      {"valid", [](InstallSettings&) {}, 0},
      {"step delay 9999", [](InstallSettings& s) { s.StepDelay = 9999; }, 0},
      {"step delay 10000", [](InstallSettings& s) { s.StepDelay = 10000; }, 19},
      {"bitmap size 0", [](InstallSettings& s) { s.BitmapSize = 0; }, 0},
      {"bitmap size 100", [](InstallSettings& s) { s.BitmapSize = 100; }, 0},
      {"bitmap size -1", [](InstallSettings& s) { s.BitmapSize = -1; }, 39},
      {"bitmap size 101", [](InstallSettings& s) { s.BitmapSize = 101; }, 39},
      {"20 licence texts", [&](InstallSettings& s) { entries(s.LicenseTexts, 20); }, 0},
      {"21 licence texts", [&](InstallSettings& s) { entries(s.LicenseTexts, 21); }, 24},
      {"20 readme texts", [&](InstallSettings& s) { entries(s.ReadmeTexts, 20); }, 0},
      {"21 readme texts", [&](InstallSettings& s) { entries(s.ReadmeTexts, 21); }, 26},
      {"1001 conditional deletes",
       [&](InstallSettings& s) { entries(s.ConditionalDeletes, 1001); }, 0},
      {"1002 conditional deletes",
       [&](InstallSettings& s) { entries(s.ConditionalDeletes, 1002); }, 38},
      {"1000 associations", [&](InstallSettings& s) { entries(s.FileAssociations, 1000); }, 0},
      {"1001 associations", [&](InstallSettings& s) { entries(s.FileAssociations, 1001); }, 36},
      {"1000 shortcuts", [&](InstallSettings& s) { entries(s.ShortcutEntries, 1000); }, 0},
      {"1001 shortcuts", [&](InstallSettings& s) { entries(s.ShortcutEntries, 1001); }, 48},
      {"1000 registration values",
       [&](InstallSettings& s) { entries(s.RegistrationValues, 1000); }, 0},
      {"1001 registration values",
       [&](InstallSettings& s) { entries(s.RegistrationValues, 1001); }, 37},
      {"1000 close entries", [&](InstallSettings& s) { entries(s.CloseApplications, 1000); }, 0},
      {"1001 close entries", [&](InstallSettings& s) { entries(s.CloseApplications, 1001); }, 41},
      {"no language", [](InstallSettings& s) { s.LanguageNames.clear(); }, 30},
      {"200 languages", [&](InstallSettings& s) { entries(s.LanguageNames, 200); }, 0},
      {"201 languages", [&](InstallSettings& s) { entries(s.LanguageNames, 201); }, 30},
      {"no message", [](InstallSettings& s) { s.Messages.clear(); }, 31},
      {"10000 messages", [&](InstallSettings& s) { entries(s.Messages, 10000); }, 0},
      {"10001 messages", [&](InstallSettings& s) { entries(s.Messages, 10001); }, 31},
  };
  for (const Case& c : cases) {
    InstallSettings s = minimal_settings();
    c.change(s);
    EXPECT_EQ(read_record(s).result.package_error, c.code) << c.what;
  }
}

TEST(SettingsStream, NegativeCountsAreRejected) {
  // Counts the writer cannot produce: patch the licence count of a minimal stream.
  InstallSettings s = minimal_settings();
  s.LicenseTexts = {"L"};
  s.ReadmeTexts = {"R"};
  Bytes bytes = write_settings(s);
  Read valid = read_bytes(bytes);
  ASSERT_TRUE(valid.result.ok());
  // The licence count is the i32 1 followed by the ltext length 1 and "L".
  const uint8_t licence[] = {1, 0, 0, 0, 1, 0, 0, 0, 'L'};
  auto at = std::search(bytes.begin(), bytes.end(), std::begin(licence), std::end(licence));
  ASSERT_NE(at, bytes.end());
  Bytes negative = bytes;
  std::fill_n(negative.begin() + (at - bytes.begin()), 4, 0xFF);
  EXPECT_EQ(read_bytes(negative).result.package_error, 24);
  Bytes negative_readme = bytes;
  std::fill_n(negative_readme.begin() + (at - bytes.begin()) + 9, 4, 0xFF);
  EXPECT_EQ(read_bytes(negative_readme).result.package_error, 26);
}

TEST(SettingsStream, ChecksumAndEndMarker) {
  const Bytes bytes = write_settings(minimal_settings());
  InstallSettings s;
  SettingsReadResult r = read_settings(bytes, Checksum32(bytes) + 1, s, test_environment());
  EXPECT_EQ(r.package_error, 25);
  EXPECT_EQ(r.item, 7);
  // Items 1 to 7 are read before the comparison, StepDelay and the rest are not.
  EXPECT_EQ(r.position, 4 + 4 + 4 + 1 + 1 + 1 + 8 + 4u);

  Bytes marker = bytes;
  marker.back() ^= 0x01;
  Read wrong_marker = read_bytes(marker);
  EXPECT_EQ(wrong_marker.result.package_error, 32);
  EXPECT_EQ(wrong_marker.result.item, 64);

  Bytes trailing = bytes;
  trailing.push_back(0x55);
  EXPECT_TRUE(read_bytes(trailing).result.ok());
}

// The background window and the 64-bit redirection switch belong at fixed points of the
// stream; the reader reports whether it got past them, also when it stopped later.
TEST(SettingsStream, ReportsWhetherTheWindowAndNameItemsWereRead) {
  InstallSettings s = minimal_settings();
  s.DialogValue = 77;
  s.StepDelay = 500;
  const Bytes bytes = write_settings(s);

  InstallSettings bad_delay = s;
  bad_delay.StepDelay = max_step_delay + 1;
  InstallSettings bad_bitmap = s;
  bad_bitmap.BitmapSize = 101;
  struct Case {
    const char* name;
    Bytes stream;
    bool wrong_checksum;
    int package_error;
    bool display, names;
  };
  const Case cases[] = {
      {"complete", bytes, false, 0, true, true},
      {"wrong checksum", bytes, true, 25, true, false},
      {"fault in item 8", write_settings(bad_delay), false, 19, true, false},
      {"fault in item 21", write_settings(bad_bitmap), false, 39, true, true},
  };
  for (const Case& c : cases) {
    InstallSettings read;
    SettingsReadResult r =
        read_settings(c.stream, Checksum32(c.stream) + (c.wrong_checksum ? 1 : 0), read, test_environment());
    EXPECT_EQ(r.package_error, c.package_error) << c.name;
    EXPECT_EQ(r.display_settings_read, c.display) << c.name;
    EXPECT_EQ(r.product_names_read, c.names) << c.name;
  }
  InstallSettings read;
  read_settings(bytes, Checksum32(bytes) + 1, read, test_environment());
  EXPECT_EQ(read.DialogValue, 77u) << "the window's items are there before the checksum is compared";
  EXPECT_EQ(read.StepDelay, 0);
}

TEST(SettingsStream, RunModeByteAndCommandLine) {
  struct Case {
    uint8_t run_mode;
    bool command_line_a;
    bool automatic;
  };
  const Case cases[] = {{0, false, false}, {0, true, true},  {1, false, true},
                        {1, true, true},   {2, true, false}, {2, false, false},
                        {3, true, true}};
  for (const Case& c : cases) {
    InstallSettings s = minimal_settings();
    s.RunMode = c.run_mode;
    InstallSettings start;
    start.AutomaticMode = c.command_line_a;
    Read r = read_record(s, start);
    ASSERT_TRUE(r.result.ok());
    EXPECT_EQ(r.settings.AutomaticMode, c.automatic)
        << "run mode " << int(c.run_mode) << " /a " << c.command_line_a;
  }
}

TEST(SettingsStream, NameDefaults) {
  InstallSettings s = minimal_settings();
  s.ProductName = "Stream Name";
  InstallSettings from_command_line;
  from_command_line.ProductName = "Command Name";
  Read named = read_record(s, from_command_line);
  EXPECT_EQ(named.settings.ProductName, "Command Name");
  EXPECT_EQ(named.settings.ProductDescription, "Command Name");
  EXPECT_EQ(named.settings.UninstallKeyName, "Command Name");

  s.ProductFlags.low |= product_flag::low_master_product;
  Read r = read_record(s);
  EXPECT_EQ(r.settings.ProductName, "Stream Name");
  EXPECT_EQ(r.settings.ProductDescription, "Stream Name");
  EXPECT_EQ(r.settings.UninstallKeyName, "Stream Name");
  EXPECT_EQ(r.settings.MasterProduct, "Stream Name");
  EXPECT_EQ(r.settings.MasterProductMessage, "Stream Name");
  EXPECT_EQ(r.settings.ProductStartMenu, "Stream Name") << "no publisher: the name alone";
  EXPECT_EQ(r.settings.SharedPath, "Stream Name");

  s.Publisher = "Acme";
  r = read_record(s);
  EXPECT_EQ(r.settings.ProductStartMenu, "Acme\\Stream Name");
  EXPECT_EQ(r.settings.SharedPath, "Acme");
  EXPECT_TRUE(r.settings.MonoColor);
}

TEST(SettingsStream, SharedPath) {
  struct Case {
    bool under_base;
    bool product_64bit;
    uint8_t base;
    const char* common_files;
    const char* path;
    const char* expected;
  };
  const Case cases[] = {
      {false, false, 1, "C:\\Common", "Shared", "Shared"},
      {true, false, 1, "C:\\Common", "Shared", "C:\\ProgramData\\Shared"},
      {true, false, 0, "C:\\Common", "Shared", "C:\\Common\\Shared"},
      {true, false, 7, "C:\\Common\\", "Shared", "C:\\Common\\Shared"},
      {true, false, 0, "C:\\Common", "", "C:\\Common\\Acme"},
      {true, false, 0, "C:\\Common", "D:\\Elsewhere", "D:\\Elsewhere"},
      {true, true, 0, "C:\\Program Files (x86)\\Common Files", "Shared",
       "C:\\Program Files\\Common Files\\Shared"},
      {true, true, 0, "C:\\A (x86)\\B (x86)", "S", "C:\\A\\B (x86)\\S"},
      {true, false, 0, "C:\\Program Files (x86)\\Common Files", "S",
       "C:\\Program Files (x86)\\Common Files\\S"},
  };
  for (const Case& c : cases) {
    InstallSettings s = minimal_settings();
    s.Publisher = "Acme";
    s.SharedBase = c.base;
    s.SharedPath = c.path;
    if (c.under_base) s.ProductFlags.low |= product_flag::low_uninstall_support;
    if (c.product_64bit) s.ProductFlags.high |= product_flag::high_product_64bit;
    SettingsEnvironment env = test_environment();
    env.common_files = c.common_files;
    Read r = read_record(s, {}, env);
    ASSERT_TRUE(r.result.ok());
    EXPECT_EQ(r.settings.SharedPath, c.expected) << c.path << " on " << c.common_files;
  }
}

TEST(SettingsStream, DefaultInstallDir) {
  struct Case {
    const char* dir;
    bool product_64bit;
    const char* program_files;
    const char* expected;
  };
  const Case cases[] = {
      {"<master>", false, "C:\\Program Files", "<master>"},
      {"<MASTER>", false, "C:\\Program Files", "<MASTER>"},
      {"HKLM\\Software\\Acme\\Dir", false, "C:\\Program Files", "HKLM\\Software\\Acme\\Dir"},
      {"HKCU\\Software\\Acme\\Dir", false, "C:\\Program Files", "HKCU\\Software\\Acme\\Dir"},
      {"Widget", false, "C:\\Program Files", "C:\\Program Files\\Widget"},
      {"", false, "C:\\Program Files", "C:\\Program Files\\Prod"},
      {"Acme\\<OS>", false, "C:\\Program Files", "C:\\Program Files\\Acme\\Windows 10 Pro 64-bit"},
      {"D:\\Tools", false, "C:\\Program Files", "D:\\Tools"},
      {"Widget", true, "C:\\Program Files (x86)", "C:\\Program Files\\Widget"},
      {"Widget", false, "C:\\Program Files (x86)", "C:\\Program Files (x86)\\Widget"},
      {"Widget", true, "C:\\Apps (x86)\\PF", "C:\\Apps (x86)\\PF\\Widget"},
      {"%ProgramFiles%\\W", false, "C:\\Program Files", "C:\\Program Files\\[%ProgramFiles%\\W]"},
  };
  for (const Case& c : cases) {
    InstallSettings s = minimal_settings();
    s.DefaultInstallDir = c.dir;
    if (c.product_64bit) s.ProductFlags.high |= product_flag::high_product_64bit;
    SettingsEnvironment env = test_environment();
    env.program_files = c.program_files;
    // A visible expander shows where the variables are expanded.
    env.expand_variables = [](std::string_view text) {
      std::string t(text);
      return t.find('%') == std::string::npos ? t : "[" + t + "]";
    };
    Read r = read_record(s, {}, env);
    ASSERT_TRUE(r.result.ok());
    EXPECT_EQ(r.settings.DefaultInstallDir, c.expected) << c.dir;
  }
}

TEST(SettingsStream, EnglishIndex) {
  struct Case {
    std::vector<std::string> names;
    int index;
  };
  const Case cases[] = {
      {{"Deutsch"}, 0},
      {{"Deutsch", "Français", "English"}, 2},
      {{"English", "Deutsch", "English"}, 2},
      {{"Deutsch", "English", "English"}, 2},
      {{"Deutsch", "english", "ENGLISH"}, 0},
      {{"Deutsch", "English "}, 0},
  };
  for (const Case& c : cases) {
    InstallSettings s = minimal_settings();
    s.LanguageNames = c.names;
    Read r = read_record(s);
    ASSERT_TRUE(r.result.ok());
    EXPECT_EQ(r.settings.LanguageIndex, c.index) << c.names.size() << " names";
  }
}

TEST(SettingsStream, LineEndsOfMessages) {
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"a\nb", "a\r\nb"},         {"a\rb", "a\r\nb"},         {"a\r\nb", "a\r\nb"},
      {"a\n\rb", "a\r\nb"},       {"a\n\nb", "a\r\n\r\nb"},   {"a\r\rb", "a\r\n\r\nb"},
      {"a\r\n\rb", "a\r\n\r\nb"}, {"a\n\r\nb", "a\r\n\r\nb"}, {"\n", "\r\n"},
      {"\r", "\r\n"},             {"plain", "plain"},         {"", ""},
      {"end\n\r", "end\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(normalize_line_ends(c.in), c.out) << c.in;

  // The reader applies it to every message, and to nothing else.
  InstallSettings s = minimal_settings();
  s.Messages = {{"one\ntwo"}};
  s.InstallingText = "x\ny";
  Read r = read_record(s);
  EXPECT_EQ(message(r.settings, 0), "one\r\ntwo");
  EXPECT_EQ(r.settings.InstallingText, "x\ny");
}

TEST(SettingsStream, MessageLookup) {
  InstallSettings s = minimal_settings();
  s.LanguageNames = {"Deutsch", "English"};
  s.Messages = {{"Hallo", "Hello"}, {"Tschüss", "Bye"}};
  Read r = read_record(s);
  ASSERT_TRUE(r.result.ok());
  EXPECT_EQ(message(r.settings, 0), "Hello");
  EXPECT_EQ(message(r.settings, 1), "Bye");
  EXPECT_EQ(message(r.settings, 2), "");
  EXPECT_EQ(message(r.settings, -1), "");
  r.settings.LanguageIndex = 0;
  EXPECT_EQ(message(r.settings, 1), "Tschüss");
  r.settings.LanguageIndex = 2;
  EXPECT_EQ(message(r.settings, 0), "");
  r.settings.LanguageIndex = -1;
  EXPECT_EQ(message(r.settings, 0), "");
  EXPECT_EQ(message(InstallSettings{}, 13), "");
}

TEST(SettingsStream, Tags) {
  InstallSettings s;
  s.ProductName = "Widget";
  s.ProductDescription = "The Widget";
  EXPECT_EQ(expand_tags("<product> on <OS>: <Description>, <Product>!", s, "Win"),
            "Widget on Win: The Widget, Widget!");
  EXPECT_EQ(expand_tags("<product <prod> <<product>> <os", s, "Win"),
            "<product <prod> <Widget> <os");
  // A replacement is not searched again.
  s.ProductName = "<os>";
  EXPECT_EQ(expand_tags("<product>", s, "Win"), "<os>");
  EXPECT_EQ(expand_tags(u"<PRODUCT>/<description>/<os>", u"W", u"D", u"O"), u"W/D/O");

  // The installing text is expanded once the whole stream is read.
  InstallSettings package = minimal_settings();
  package.ProductName = "Widget";
  package.InstallingText = "Installing <product> (<description>) on <os>";
  Read r = read_record(package);
  EXPECT_EQ(r.settings.InstallingText, "Installing Widget (Widget) on Windows 10 Pro 64-bit");
}

TEST(SettingsStream, ShortStreamsEndInACode) {
  // Each prefix is read from an exact-size copy, so that ASan sees any read beyond it,
  // and with its own checksum, so that reading goes past the checksum comparison.
  const Bytes full = write_settings(full_settings());
  for (size_t length = 0; length < full.size(); ++length) {
    Bytes prefix(full.begin(), full.begin() + length);
    SettingsEnvironment env = test_environment();
    InstallSettings s;
    SettingsReadResult r = read_settings(prefix, Checksum32(prefix), s, env);
    ASSERT_NE(r.package_error, 0) << "length " << length;
    ASSERT_LE(r.position, length);
    EXPECT_EQ(read_settings(prefix, Checksum32(full), s, env).package_error, 25);
  }
}

TEST(SettingsStream, TerminatedListsEndWithTheStream) {
  InstallSettings s = minimal_settings();
  s.ConditionalDeletes = {{"a", 1, "b", 2}};
  s.CloseApplications = {{"c", "t", "n", 1, 1}};
  const Bytes full = write_settings(s);
  const std::string_view text(reinterpret_cast<const char*>(full.data()), full.size());
  struct Case {
    const char* terminator;
    int item;
  };
  for (const Case& c : {Case{"~~THE END~~", 54}, Case{"~~THE~END~~", 59}}) {
    size_t at = text.find(c.terminator);
    ASSERT_NE(at, std::string_view::npos);
    // The stream stops right before the terminator, inside the entry, and within it.
    for (size_t cut : {at, at - 1, at + 3}) {
      Read r = read_bytes(Bytes(full.begin(), full.begin() + cut));
      EXPECT_EQ(r.result.package_error, 32) << c.terminator << " cut at " << cut;
      EXPECT_EQ(r.result.item, c.item);
      EXPECT_LE(r.settings.ConditionalDeletes.size(), 2u);
      EXPECT_LE(r.settings.CloseApplications.size(), 2u);
    }
  }
  // Without its terminator the list ends at the stream's end and takes nothing more.
  Bytes no_terminator(full.begin(), full.begin() + text.find("~~THE END~~"));
  const uint8_t entry[] = {'x', 0, 1, 'y', 0, 2};
  for (int i = 0; i < 5000; ++i) no_terminator.insert(no_terminator.end(), entry, entry + 6);
  Read r = read_bytes(no_terminator);
  EXPECT_EQ(r.result.package_error, 38);
}

TEST(SettingsStream, BlockLengths) {
  // The icon's ltext length follows the desktop folder name, the bitmap length follows
  // the bottom colour; both are patched in place.
  InstallSettings s = minimal_settings();
  s.DesktopFolderName = "DESKTOP";
  s.BottomColor = 0x44332211;
  const Bytes bytes = write_settings(s);
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const size_t icon_length = text.find(std::string_view("DESKTOP\0", 8)) + 8;
  const size_t bitmap_length = text.find("\x11\x22\x33\x44") + 4;
  ASSERT_LT(icon_length, bytes.size());
  ASSERT_LT(bitmap_length, bytes.size());
  const auto patched = [&](size_t at, uint32_t value) {
    Bytes b = bytes;
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(value >> (8 * i));
    return read_bytes(b);
  };
  // A negative length is an empty text or no bitmap; nothing follows and reading goes on.
  for (size_t at : {icon_length, bitmap_length}) {
    Read r = patched(at, 0xFFFFFFFB);
    EXPECT_TRUE(r.result.ok()) << r.result.package_error;
    EXPECT_TRUE(r.settings.DesktopIconData.empty());
    EXPECT_TRUE(r.settings.BackgroundBitmap.empty());
    EXPECT_EQ(r.settings.BitmapTPI, 0);
  }
  // A length beyond the stream takes nothing and ends it: the counts that follow read 0.
  for (size_t at : {icon_length, bitmap_length}) {
    Read r = patched(at, 0x7FFFFFF0);
    EXPECT_EQ(r.result.package_error, 32);
    EXPECT_EQ(r.result.item, 54);
    EXPECT_EQ(r.result.position, bytes.size());
    EXPECT_TRUE(r.settings.DesktopIconData.empty());
    EXPECT_TRUE(r.settings.BackgroundBitmap.empty());
  }
}

}  // namespace
}  // namespace halvard
