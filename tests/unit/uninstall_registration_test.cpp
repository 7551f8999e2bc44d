#include "records/uninstall_registration.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "installer/uninstall_registration_icon.h"
#include "foundation/registry_path.h"

namespace halvard {

void PrintTo(const RegistryOperation& op, std::ostream* out) {
  const char* kinds[] = {"set_string", "set_expand_string", "set_dword", "delete_value"};
  *out << kinds[int(op.kind)] << " \"" << op.name << "\"";
  if (op.kind == RegistryOperationKind::set_dword) *out << " = " << op.number;
  if (op.kind == RegistryOperationKind::set_string || op.kind == RegistryOperationKind::set_expand_string)
    *out << " = \"" << op.text << "\"";
  if (op.target != ValueTarget::uninstall_key)
    *out << " at " << int(op.target) << ":" << int(op.key.root) << "\\" << op.key.key << " (" << op.entry << ")";
}

namespace {

RegistryOperation at_path(RegistryOperation op, RegistryRoot root, std::string key, std::string entry) {
  op.target = ValueTarget::registry_path;
  op.key = {root, std::move(key)};
  op.entry = std::move(entry);
  return op;
}

RegistryOperation in_key(RegistryOperation op, std::string entry) {
  op.entry = std::move(entry);
  return op;
}

RegistryOperation expand_string(std::string name, std::string text) {
  RegistryOperation op = set_string(std::move(name), std::move(text));
  op.kind = RegistryOperationKind::set_expand_string;
  return op;
}

// A package that sets every field the registration stores.
InstallSettings full_settings() {
  InstallSettings s;
  s.ProductName = "Halvard Demo";
  s.UninstallKeyName = "HalvardDemo";
  s.InstallDir = "C:\\Program Files\\Halvard Demo";
  s.ProductFlags = {0x8004, 0x80000001};
  s.DisplayVersion = "5.10.2";
  s.Publisher = "Halvard Works";
  s.ProductRegistry = "Halvard\\Demo";
  s.SharedPath = "C:\\Program Files\\Common Files\\Halvard";
  s.UninstallBatch1 = "echo one";
  s.UninstallBatch2 = "echo two";
  s.UninstallSubdir = "uninst";
  s.ShortcutMode = 1;
  s.NotifyURL = "http://example.com/gone";
  s.DisplayTitle = "Demo Title";
  s.TitleColor = 0xFFFEF7;
  s.TitleSize = 1.5;
  s.TopColor = 0x800000;
  s.BottomColor = 0x000080;
  s.TitleShadow = 2;
  s.TitlePosition = 3;
  s.TitleFont = "Arial,Tahoma";
  s.TaskbarText = "Demo Setup";
  s.CopyrightText = "(c) Halvard";
  s.CopyrightFont = "Verdana";
  s.CopyrightSize = 0.75;
  s.CopyrightColor = 0x0A0B0C;
  s.CopyrightPos = 4;
  s.BackgroundBitmap = {1, 2, 3};
  s.BitmapSize = 80;
  s.BitmapTPI = 12;
  s.StretchMode = 2;
  s.InstallDirValue = "\\HKLM\\Software\\Halvard\\Demo\\Path";
  s.RegistrationValues = {
      {"Comments", 1, "Made in %InstallDir%"},
      {"HelpLink", 2, "%ProgramFiles%\\help.htm"},
      {"NoModify", 4, "1"},
      {"Readme", 1, ""},
      {"\\HKCU\\Software\\HalvardTest\\Mode", 4, "3"},
      {"\\HKLM\\Software\\Halvard\\", 1, "default"},
      {"Nowhere\\Value", 1, "x"},
  };
  return s;
}

UninstallFacts full_facts() {
  UninstallFacts f;
  f.uninstaller_path = "C:\\Program Files\\Halvard Demo\\uninst\\uninstall.exe";
  f.install_source = "D:\\setup.exe";
  f.start_menu_folder = "Halvard\\Demo";
  f.product_fonts = "\"Demo Sans\" \"demo.ttf\" ";
  f.shared_files = "\"C:\\Windows\\System32\\demo.dll \"";
  f.required_space = 5 * 1024 * 1024 + 1023;
  f.install_date = "3/7/2024 4:05:06pm";
  f.install_dir_held_files = true;
  f.expand = [](std::string& text) {
    size_t at = text.find("%InstallDir%");
    if (at != std::string::npos) text.replace(at, 12, "C:\\Demo");
  };
  return f;
}

TEST(UninstallRegistration, PlanForAPackageThatSetsEveryField) {
  UninstallPlan plan = plan_uninstall_registration(full_settings(), full_facts());
  const std::string quoted = "\"C:\\Program Files\\Halvard Demo\\uninst\\uninstall.exe\"";
  const std::vector<RegistryOperation> expected = {
      set_string("UninstallString", quoted + " /u:\"HalvardDemo\""),
      set_string("QuietUninstallString", quoted + " /a /u:\"HalvardDemo\""),
      set_string("DisplayName", "Halvard Demo"),
      set_string("InstallSource", "D:\\setup.exe"),
      set_string("DisplayVersion", "5.10.2"),
      set_string("Publisher", "Halvard Works"),
      set_dword("VersionMajor", 5),
      set_dword("VersionMinor", 10),
      set_string("ProductRegistry", "Halvard\\Demo"),
      set_string("ProductStartMenu", "Halvard\\Demo"),
      set_string("SharedPath", "C:\\Program Files\\Common Files\\Halvard"),
      set_string("ProductFonts", "\"Demo Sans\" \"demo.ttf\" "),
      set_string("ProductFlags", "-9223372032559775740"),
      set_string("UninstallBatch1", "echo one"),
      set_string("UninstallBatch2", "echo two"),
      set_string("SharedFiles", "\"C:\\Windows\\System32\\demo.dll \""),
      set_string("UninstallSubdir", "uninst"),
      set_dword("ShortcutMode", 1),
      set_string("NotifyURL", "http://example.com/gone"),
      set_dword("EstimatedSize", 5120),
      set_string("DisplayTitle", "Demo Title"),
      set_dword("TitleColor", 0xFFFEF7),
      set_string("TitleSize", "1.5"),
      set_dword("TopColor", 0x800000),
      set_dword("BottomColor", 0x000080),
      set_dword("MonoColor", 0),
      set_dword("TitleShadow", 2),
      set_dword("TitlePosition", 3),
      set_string("TitleFont", "Arial,Tahoma"),
      set_string("TaskbarText", "Demo Setup"),
      set_string("CopyrightText", "(c) Halvard"),
      set_string("CopyrightFont", "Verdana"),
      set_string("CopyrightSize", "0.75"),
      set_string("CopyrightColor", "0C0B0A"),
      set_dword("CopyrightPos", 4),
      set_dword("BitmapSize", 80),
      set_dword("BitmapTPI", 12),
      set_dword("StretchMode", 2),
      in_key(set_string("Comments", "Made in C:\\Demo"), "Comments"),
      in_key(expand_string("HelpLink", "%ProgramFiles%\\help.htm"), "HelpLink"),
      in_key(set_dword("NoModify", 1), "NoModify"),
      in_key(delete_value("Readme"), "Readme"),
      at_path(set_dword("Mode", 3), RegistryRoot::current_user, "Software\\HalvardTest",
              "\\HKCU\\Software\\HalvardTest\\Mode"),
      at_path(set_string("", "default"), RegistryRoot::local_machine, "Software\\Halvard", "\\HKLM\\Software\\Halvard\\"),
      [] {
        RegistryOperation op = in_key(set_string("", "x"), "Nowhere\\Value");
        op.target = ValueTarget::invalid_path;
        return op;
      }(),
      set_string("InstallLocation", "C:\\Program Files\\Halvard Demo"),
      set_string("InstallDate", "3/7/2024 4:05:06pm"),
      set_dword("InstallDirHeldFiles", 1),
  };
  EXPECT_EQ(plan.key_path, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\HalvardDemo");
  EXPECT_EQ(plan.uninstall_string, expected[0].text);
  ASSERT_EQ(plan.values.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(plan.values[i], expected[i]) << "at " << i;
  ASSERT_TRUE(plan.install_dir_value);
  EXPECT_EQ(*plan.install_dir_value, at_path(set_string("Path", "C:\\Program Files\\Halvard Demo"),
                                             RegistryRoot::local_machine, "Software\\Halvard\\Demo", ""));
}

const RegistryOperation* find(const UninstallPlan& plan, std::string_view name) {
  for (const RegistryOperation& op : plan.values)
    if (op.name == name && op.target == ValueTarget::uninstall_key) return &op;
  return nullptr;
}

// What an earlier version wrote must not survive a version that leaves it out.
TEST(UninstallRegistration, EmptyFieldsDeleteTheirValues) {
  InstallSettings s = full_settings();
  s.UninstallKeyName.clear();
  s.DisplayVersion = "5";
  s.Publisher.clear();
  s.ShortcutMode = 0;
  s.BottomColor = s.TopColor;
  s.BitmapTPI = -1;
  s.DisplayTitle.clear();
  s.Messages = {{"Title From Messages"}};
  s.InstallDirValue = "Path";  // no root: nothing to write
  UninstallFacts f = full_facts();
  f.required_space = 1023;
  UninstallPlan plan = plan_uninstall_registration(s, f);

  EXPECT_EQ(plan.key_path, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Halvard Demo");
  EXPECT_EQ(plan.uninstall_string,
            "\"C:\\Program Files\\Halvard Demo\\uninst\\uninstall.exe\" /u:\"Halvard Demo\"");
  for (const char* name : {"Publisher", "VersionMajor", "VersionMinor", "ShortcutMode", "EstimatedSize",
                           "BottomColor", "BitmapTPI"}) {
    SCOPED_TRACE(name);
    ASSERT_NE(find(plan, name), nullptr);
    EXPECT_EQ(find(plan, name)->kind, RegistryOperationKind::delete_value);
  }
  EXPECT_EQ(*find(plan, "MonoColor"), set_dword("MonoColor", 1));
  EXPECT_EQ(*find(plan, "DisplayTitle"), set_string("DisplayTitle", "Title From Messages"));
  EXPECT_EQ(*find(plan, "BitmapSize"), set_dword("BitmapSize", 80));
  EXPECT_FALSE(plan.install_dir_value);

  // Without the bitmap flag, or without a bitmap, all three bitmap values go.
  for (bool flag : {false, true}) {
    s.ProductFlags.low = flag ? 0x8000 : 0;
    s.BackgroundBitmap = flag ? std::vector<uint8_t>{} : std::vector<uint8_t>{1};
    plan = plan_uninstall_registration(s, f);
    for (const char* name : {"BitmapSize", "BitmapTPI", "StretchMode"})
      EXPECT_EQ(*find(plan, name), delete_value(name)) << name << " flag " << flag;
  }

  // Estimated size above what a DWORD holds is deleted, not cut.
  f.required_space = int64_t(0x100000000) * 1024;
  EXPECT_EQ(*find(plan_uninstall_registration(s, f), "EstimatedSize"), delete_value("EstimatedSize"));
  f.required_space = int64_t(0xFFFFFFFF) * 1024;
  EXPECT_EQ(*find(plan_uninstall_registration(s, f), "EstimatedSize"), set_dword("EstimatedSize", 0xFFFFFFFF));
}

TEST(UninstallRegistration, NamelessProductHasNoKey) {
  InstallSettings s;
  EXPECT_EQ(plan_uninstall_registration(s, {}).key_path, "");
}

TEST(UninstallRegistration, VersionNumbers) {
  struct Case {
    const char* text;
    bool present;
    uint32_t major, minor;
  } cases[] = {
      {"5.10.2", true, 5, 10}, {"5", false, 0, 0},   {"", false, 0, 0},        {"1.0", true, 1, 0},
      {".7", true, 0, 7},      {"v2.3", true, 0, 3}, {"2.beta", true, 2, 0},   {"12a.34b", true, 12, 34},
      {"99999999999.1", true, 0xFFFFFFFF, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto numbers = version_numbers(c.text);
    ASSERT_EQ(numbers.has_value(), c.present);
    if (numbers) {
      EXPECT_EQ(*numbers, std::pair(c.major, c.minor));
    }
  }
}

TEST(UninstallRegistration, TextFormats) {
  struct Flags {
    ProductFlagWords words;
    const char* text;
  } flags[] = {
      {{0, 0}, "0"},
      {{0x4, 0}, "4"},
      {{0xFFFFFFFF, 0}, "4294967295"},
      {{0, 1}, "4294967296"},
      {{0xFFFFFFFF, 0x7FFFFFFF}, "9223372036854775807"},
      {{0, 0x80000000}, "-9223372036854775808"},
      {{0xFFFFFFFF, 0xFFFFFFFF}, "-1"},
  };
  for (const Flags& c : flags) EXPECT_EQ(product_flags_text(c.words), c.text);

  struct Colour {
    uint32_t value;
    const char* text;
  } colours[] = {{0, "000000"}, {0x0000FF, "FF0000"}, {0x00FF00, "00FF00"}, {0xFF0000, "0000FF"},
                 {0x123456, "563412"}, {0xFF0A0B0C, "0C0B0A"}};
  for (const Colour& c : colours) EXPECT_EQ(colour_text(c.value), c.text);

  struct Real {
    double value;
    const char* text;
  } reals[] = {
      {0, "0"},         {1, "1"},        {1.5, "1.5"},          {0.1, "0.1"},     {2.0 / 3, "0.6666666666666666"},
      {-3.25, "-3.25"}, {1e20, "1e+20"}, {-2.5e-7, "-2.5e-07"}, {1e300, "1e+300"}};
  for (const Real& c : reals) EXPECT_EQ(real_text(c.value), c.text);

  struct Number {
    const char* text;
    uint32_t value;
  } numbers[] = {{"3", 3}, {" 42", 42}, {"+7", 7}, {"-1", 0xFFFFFFFF}, {"12abc", 12}, {"abc", 0},
                 {"4294967295", 0xFFFFFFFF}, {"99999999999", 0xFFFFFFFF}, {"0x10", 0}};
  for (const Number& c : numbers) EXPECT_EQ(registration_number(c.text), c.value) << c.text;
}

TEST(UninstallRegistration, FontAndSharedFileLists) {
  EXPECT_EQ(product_fonts_text({{"Demo Sans", "demo.ttf"}, {"Demo Serif", "serif.fon"}}),
            "\"Demo Sans\" \"demo.ttf\" \"Demo Serif\" \"serif.fon\" ");
  EXPECT_EQ(product_fonts_text({}), "");

  std::string list;
  EXPECT_TRUE(add_shared_file(list, "C:\\S\\a.dll", shared_mark::none));
  EXPECT_TRUE(add_shared_file(list, "C:\\W\\b.dll", shared_mark::system));
  EXPECT_TRUE(add_shared_file(list, "C:\\W\\c.dll", shared_mark::com_server));
  EXPECT_TRUE(add_shared_file(list, "C:\\W\\d.tlb", shared_mark::type_library));
  EXPECT_EQ(list, "\"C:\\S\\a.dll\";\"C:\\W\\b.dll \";\"C:\\W\\c.dll^\";\"C:\\W\\d.tlb\xA9\"");
  // Already listed by the earlier installation: neither appended nor to be counted again.
  std::string before = list;
  EXPECT_FALSE(add_shared_file(list, "C:\\W\\c.dll", shared_mark::com_server));
  EXPECT_EQ(list, before);
  // The same path with another mark is another entry.
  EXPECT_TRUE(add_shared_file(list, "C:\\S\\a.dll", shared_mark::system));
}

TEST(UninstallRegistration, FailureTexts) {
  EXPECT_EQ(registration_value_failure_text("\\HKCU\\X\\Mode", "Access is denied."),
            "Failed to save data in registry key \"\\HKCU\\X\\Mode\": Access is denied.\r\n");
  const std::string unable =
      "Unable to save the uninstall information to the registry.  Uninstall will not work properly.\r\n\r\n";
  EXPECT_EQ(registration_failure_text("Access is denied."), "System error: Access is denied.\r\n\r\n" + unable);
  EXPECT_EQ(registration_failure_text(" \r\n"), unable);
  EXPECT_EQ(registration_failure_text(""), unable);
}

TEST(RegistryPath, KeyPaths) {
  struct Case {
    const char* path;
    bool valid;
    RegistryRoot root;
    const char* key;
  } cases[] = {
      {"\\HKLM\\Software\\Maker", true, RegistryRoot::local_machine, "Software\\Maker"},
      {"\\hkcu\\Software", true, RegistryRoot::current_user, "Software"},
      {"\\HKCR\\.txt", true, RegistryRoot::classes_root, ".txt"},
      {"\\HKU\\.DEFAULT", true, RegistryRoot::users, ".DEFAULT"},
      {"\\HKCC\\System", true, RegistryRoot::current_config, "System"},
      {"\\HKDD\\PerfStats", true, RegistryRoot::dyn_data, "PerfStats"},
      {"\\HKAU\\Software\\Maker", true, RegistryRoot::all_users, "Software\\Maker"},
      {"\\HKLM\\", true, RegistryRoot::local_machine, ""},
      {"\\HKLM", true, RegistryRoot::local_machine, ""},
      {"\\hKu", true, RegistryRoot::users, ""},
      {"\\HKAU", true, RegistryRoot::all_users, ""},
      {"\\hkau\\Software", false, {}, ""},    // the every-user prefix only in capitals
      {"\\HKUSERS\\x", false, {}, ""},        // a root name running on is no root
      {"\\HKLMSoftware", false, {}, ""},
      {"HKLM\\Software", false, {}, ""},
      {"\\HKEY_LOCAL_MACHINE\\Software", false, {}, ""},
      {"", false, {}, ""},
      {"\\", false, {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::optional<RegistryKeyPath> key = parse_registry_key_path(c.path);
    ASSERT_EQ(key.has_value(), c.valid);
    if (key) {
      EXPECT_EQ(*key, (RegistryKeyPath{c.root, c.key}));
    }
  }
}

TEST(RegistryPath, ValuePaths) {
  struct Case {
    const char* path;
    bool valid;
    RegistryRoot root;
    const char* key;
    const char* value;
  } cases[] = {
      {"\\HKCU\\Software\\HalvardTest\\Mode", true, RegistryRoot::current_user, "Software\\HalvardTest", "Mode"},
      {"\\HKCU\\Software\\HalvardTest\\", true, RegistryRoot::current_user, "Software\\HalvardTest", ""},
      {"\\HKCU\\Mode", true, RegistryRoot::current_user, "", "Mode"},
      {"\\HKAU\\Software\\Maker\\Mode", true, RegistryRoot::all_users, "Software\\Maker", "Mode"},
      {"\\HKLM\\", true, RegistryRoot::local_machine, "", ""},
      {"Mode", false, {}, "", ""},
      {"Key\\Mode", false, {}, "", ""},
      {"\\Mode", false, {}, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::optional<RegistryValuePath> value = parse_registry_value_path(c.path);
    ASSERT_EQ(value.has_value(), c.valid);
    if (value) {
      EXPECT_EQ(*value, (RegistryValuePath{{c.root, c.key}, c.value}));
    }
  }
}

std::vector<uint8_t> icon_file(const std::vector<std::vector<uint8_t>>& images) {
  std::vector<uint8_t> file = {0, 0, 1, 0, uint8_t(images.size()), 0};
  uint32_t offset = uint32_t(6 + 16 * images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    uint32_t size = uint32_t(images[i].size());
    uint8_t side = uint8_t(16 * (i + 1));
    std::vector<uint8_t> entry = {side, side, 0, 0, 1, 0, 32, 0, uint8_t(size), uint8_t(size >> 8), 0, 0,
                                  uint8_t(offset), uint8_t(offset >> 8), 0, 0};
    file.insert(file.end(), entry.begin(), entry.end());
    offset += size;
  }
  for (const auto& image : images) file.insert(file.end(), image.begin(), image.end());
  return file;
}

TEST(UninstallerIcon, SplitsImagesAndBuildsTheGroup) {
  std::vector<uint8_t> file = icon_file({{1, 2, 3}, {4, 5, 6, 7, 8}});
  std::optional<IconResources> icon = icon_resources(file);
  ASSERT_TRUE(icon);
  ASSERT_EQ(icon->images.size(), 2u);
  EXPECT_EQ(std::vector<uint8_t>(icon->images[0].begin(), icon->images[0].end()), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(std::vector<uint8_t>(icon->images[1].begin(), icon->images[1].end()),
            (std::vector<uint8_t>{4, 5, 6, 7, 8}));
  const std::vector<uint8_t> group = {0, 0, 1, 0, 2, 0,                              //
                                      16, 16, 0, 0, 1, 0, 32, 0, 3, 0, 0, 0, 1, 0,   //
                                      32, 32, 0, 0, 1, 0, 32, 0, 5, 0, 0, 0, 2, 0};
  EXPECT_EQ(icon->group, group);
}

TEST(UninstallerIcon, RefusesWhatDoesNotLieInTheFile) {
  std::vector<uint8_t> good = icon_file({{1, 2, 3}});
  EXPECT_FALSE(icon_resources({}));
  EXPECT_FALSE(icon_resources(std::span(good).first(5)));        // directory cut
  EXPECT_FALSE(icon_resources(std::span(good).first(21)));       // entry cut
  EXPECT_FALSE(icon_resources(std::span(good).first(good.size() - 1)));  // image one byte short
  std::vector<uint8_t> none = {0, 0, 1, 0, 0, 0};
  EXPECT_FALSE(icon_resources(none));
  std::vector<uint8_t> far = good;
  far[18] = 0xFF, far[19] = 0xFF, far[20] = 0xFF, far[21] = 0xFF;  // offset near 4 GiB
  EXPECT_FALSE(icon_resources(far));
  EXPECT_TRUE(icon_resources(good));
}

}  // namespace
}  // namespace halvard

namespace halvard {
namespace {

TEST(UninstallRegistration, RealTextStaysPlainAndExact) {
  for (double value : {100.0, 2.5e-3, 1e20, 123456789.0, 1.0 / 3, -0.75}) {
    std::string text = real_text(value);
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), value) << text;
  }
  EXPECT_EQ(real_text(100), "100");
  EXPECT_EQ(real_text(0.0025), "0.0025");
  EXPECT_EQ(real_text(1e20), "1e+20");
}

}  // namespace
}  // namespace halvard
