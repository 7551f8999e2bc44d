#include "records/installed_product.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace halvard {
namespace {

struct FakeKey {
  std::map<std::string, std::string, std::less<>> texts;
  std::map<std::string, uint32_t, std::less<>> numbers;

  RegistrationSource source() const {
    return {[this](std::string_view name) -> std::optional<std::string> {
              auto it = texts.find(name);
              return it == texts.end() ? std::nullopt : std::optional(it->second);
            },
            [this](std::string_view name) -> std::optional<uint32_t> {
              auto it = numbers.find(name);
              return it == numbers.end() ? std::nullopt : std::optional(it->second);
            }};
  }
};

TEST(InstalledProduct, ReadsWhatTheRegistrationWrote) {
  FakeKey key;
  key.texts = {{"DisplayName", "Demo"},          {"InstallLocation", "C:\\Demo"},
               {"ProductFlags", "-9223372032559808508"}, {"TitleSize", "1.5"},
               {"CopyrightColor", "0C0B0A"},     {"CopyrightSize", "0.75"},
               {"UninstallSubdir", "uninst"},    {"ProductFonts", "\"Demo Sans\" \"demo.ttf\" "},
               {"SharedFiles", "\"C:\\x.dll\""}, {"ProductStartMenu", "Demo"},
               {"ProductRegistry", "Maker\\Demo"}, {"UninstallBatch1", "echo one"}};
  key.numbers = {{"TitleColor", 0xFFFEF7}, {"TopColor", 0x800000}, {"MonoColor", 0}, {"BottomColor", 0x80},
                 {"ShortcutMode", 1},      {"BitmapTPI", 12},       {"InstallDirHeldFiles", 1}};
  InstallSettings s;
  InstalledProduct product;
  ASSERT_TRUE(read_installed_product(key.source(), "Given", {}, s, product));
  EXPECT_EQ(s.ProductName, "Demo");
  EXPECT_EQ(s.InstallDir, "C:\\Demo");
  EXPECT_EQ(s.ProductFlags, (ProductFlagWords{0x4, 0x80000001}));
  EXPECT_FALSE(s.AutomaticMode);
  EXPECT_EQ(s.TitleSize, 1.5);
  EXPECT_EQ(s.CopyrightSize, 0.75);
  EXPECT_EQ(s.CopyrightColor, 0x0A0B0Cu);
  EXPECT_EQ(s.TitleColor, 0xFFFEF7u);
  EXPECT_FALSE(s.MonoColor);
  EXPECT_EQ(s.BottomColor, 0x80u);
  EXPECT_EQ(s.ShortcutMode, 1);
  EXPECT_EQ(s.BitmapTPI, 0) << "bitmap values are read only with their flag";
  EXPECT_EQ(s.UninstallSubdir, "uninst");
  EXPECT_EQ(s.ProductRegistry, "Maker\\Demo");
  EXPECT_EQ(s.UninstallBatch1, "echo one");
  EXPECT_EQ(product.product_fonts, "\"Demo Sans\" \"demo.ttf\" ");
  EXPECT_EQ(product.shared_files, "\"C:\\x.dll\"");
  EXPECT_EQ(product.start_menu, "Demo");
  EXPECT_TRUE(product.install_dir_held_files);
}

TEST(InstalledProduct, MissingValuesTakeTheirDefaults) {
  FakeKey key;
  key.texts = {{"DisplayName", "  "}, {"InstallLocation", "C:\\Demo"}, {"ProductFlags", "33280"}};
  InstallSettings s;
  InstalledProduct product;
  ASSERT_TRUE(read_installed_product(key.source(), "Given", {0x111111, 0x222222}, s, product));
  EXPECT_EQ(s.ProductName, "Given");
  EXPECT_TRUE(s.AutomaticMode) << "low bit 9";
  EXPECT_EQ(s.TitleSize, 1.0);
  EXPECT_EQ(s.TitleColor, 0x111111u);
  EXPECT_EQ(s.TopColor, 0x222222u);
  EXPECT_EQ(s.TitleShadow, 1);
  EXPECT_TRUE(s.MonoColor);
  EXPECT_EQ(s.BitmapTPI, -1) << "low bit 15 reads the bitmap values, -1 when missing";
  EXPECT_FALSE(product.install_dir_held_files);
}

TEST(InstalledProduct, BlankInstallLocationIsCorrupt) {
  for (const char* location : {"", " \t"}) {
    FakeKey key;
    key.texts = {{"DisplayName", "Demo"}, {"InstallLocation", location}};
    InstallSettings s;
    InstalledProduct product;
    EXPECT_FALSE(read_installed_product(key.source(), "Demo", {}, s, product));
    EXPECT_EQ(corrupt_registration_text(s.ProductName),
              "The uninstall information for Demo is corrupt.\r\n\r\nThe uninstallation cannot be performed.");
  }
}

}  // namespace
}  // namespace halvard
