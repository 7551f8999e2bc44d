// The order of the files in the package: identical contents side by side, text, code
// and compressed data apart, files whose place matters kept where the project put them,
// the same bytes from the same inputs, and the project's order on request.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "builder_test_files.h"
#include "file_order.h"
#include "package_builder.h"
#include "package_inspector.h"
#include "pe_fixture.h"

namespace halvard::builder {
namespace {

namespace fs = std::filesystem;
using builder_test::write_file;

class FileOrder : public ::testing::Test {
 protected:
  void SetUp() override { dir = builder_test::fresh_test_folder("hv_file_order_"); }
  void TearDown() override { fs::remove_all(dir); }

  GatheredFile file(const std::string& name, const std::string& bytes, uint32_t kind = file_kind::plain) {
    GatheredFile f;
    f.source = dir / name;
    write_file(f.source, bytes);
    f.record.Name = name;
    f.record.Kind = kind;
    f.size = bytes.size();
    return f;
  }
  static std::vector<std::string> names(const std::vector<GatheredFile>& files) {
    std::vector<std::string> out;
    for (const GatheredFile& f : files) out.push_back(f.record.Name);
    return out;
  }
  fs::path dir;
};

TEST_F(FileOrder, RepeatsMeetAndPinnedFilesKeepTheirPlace) {
  const std::string changelog(300, 'c');
  std::vector<GatheredFile> files = {
      file("a/changelog.gz", changelog),
      file("a/readme.txt", "read me"),
      file("a/tool.exe", std::string(300, 'x')),  // the size of the repeats, other bytes
      file("b/changelog.gz", changelog),
      file("b/COPYING", changelog),  // the same bytes under a name without a type
      file("setup.msi", "msi", file_kind::msi_package),
      file("c/notes.txt", "notes"),
      file("c/changelog.gz", changelog),
      file("c/face.ttf", "font", file_kind::font),
      file("d/changelog.gz", changelog),
  };
  std::string error;
  ASSERT_TRUE(order_for_compression(files, error)) << error;
  // Before the MSI package: text, code, then compressed data, the repeats (the typeless
  // copy too) with their first copy; the MSI package, the font and what lies between
  // them stay in their places, and a repeat after them stays after them.
  EXPECT_EQ(names(files),
            (std::vector<std::string>{"a/readme.txt", "a/tool.exe", "a/changelog.gz", "b/changelog.gz", "b/COPYING",
                                      "setup.msi", "c/notes.txt", "c/changelog.gz", "c/face.ttf", "d/changelog.gz"}));
}

TEST_F(FileOrder, EachGroupKeepsTheGivenOrder) {
  std::vector<GatheredFile> files = {
      file("z.txt", "zzz"), file("a.DLL", "code a"), file("m.txt", "mmm"),
      file("b.png", "png"), file("k.txt", "zzz"),    file("shared.dll", "s", file_kind::shared),
      file("y.txt", "yyy"), file("c.dll", "code c"), file("x.txt", "xxx"),
  };
  std::string error;
  ASSERT_TRUE(order_for_compression(files, error)) << error;
  const std::vector<std::string> expected = {"z.txt",      "k.txt", "m.txt", "a.DLL", "b.png",
                                             "shared.dll", "y.txt", "x.txt", "c.dll"};
  EXPECT_EQ(names(files), expected);
  // Ordering an ordered list changes nothing.
  ASSERT_TRUE(order_for_compression(files, error)) << error;
  EXPECT_EQ(names(files), expected);
}

TEST_F(FileOrder, WhatMovesAndWhatStays) {
  FileRecord record;
  for (uint32_t kind : {file_kind::plain, file_kind::versioned}) {
    record.Kind = kind;
    EXPECT_FALSE(keeps_its_place(record)) << kind;
  }
  for (uint32_t kind :
       {file_kind::shared, file_kind::font, file_kind::shortcut, file_kind::system, file_kind::com_server,
        file_kind::type_library, file_kind::inf_driver, file_kind::msi_package, file_kind::control_panel}) {
    record.Kind = kind;
    EXPECT_TRUE(keeps_its_place(record)) << kind;
  }
  record.Kind = file_kind::plain;
  record.Flags = file_flag::shortcut_desktop;  // its shortcut is made in file order
  EXPECT_TRUE(keeps_its_place(record));
}

TEST_F(FileOrder, TheBuildOrdersUnlessTheProjectKeepsItsOrder) {
  const auto engine = testing_pe::small_engine();
  write_file(dir / "engine.exe", std::string_view(reinterpret_cast<const char*>(engine.data()), engine.size()));
  write_file(dir / "files/b.txt", "same bytes");
  write_file(dir / "files/m.bin", "other");
  write_file(dir / "files/z.txt", "same bytes");
  const std::string project = R"([product]
name = "Order"
[[files]]
source = "files/z.txt"
[[files]]
source = "files/m.bin"
[[files]]
source = "files/b.txt"
[build]
engine = "engine.exe"
)";
  struct Case {
    const char* option;
    std::vector<std::string> order;
  } cases[] = {
      {"", {"z.txt", "b.txt", "m.bin"}},
      {"file_order = \"compression\"\n", {"z.txt", "b.txt", "m.bin"}},
      {"file_order = \"as-given\"\n", {"z.txt", "m.bin", "b.txt"}},
  };
  for (const Case& c : cases) {
    write_file(dir / "project.toml", project + c.option);
    std::vector<std::vector<uint8_t>> builds;
    for (const char* output : {"one.exe", "two.exe"}) {
      BuildRequest request;
      request.project_file = dir / "project.toml";
      request.output = (dir / output).string();
      request.environment = builder_test::fixed_epoch;
      const BuildOutcome built = build_package(request);
      ASSERT_EQ(built.exit_code, 0) << c.option << (built.errors.empty() ? "" : built.errors[0]);
      builds.push_back(builder_test::read_all(built.output));
    }
    EXPECT_TRUE(builds[0] == builds[1]) << c.option;
    const Inspection in = inspect_package(dir / "one.exe");
    ASSERT_TRUE(in.sound()) << in.failure;
    std::vector<std::string> order;
    for (const InspectedFile& f : in.files) order.push_back(f.record.Name);
    EXPECT_EQ(order, c.order) << c.option;
  }
}

}  // namespace
}  // namespace halvard::builder
