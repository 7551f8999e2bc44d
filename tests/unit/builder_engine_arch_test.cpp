// The two engines: PE32+ images are laid out and extended like PE32 ones, --arch and
// [build] engine pick the engine, an engine of the wrong machine is refused, the
// package does not depend on the engine's arch, and inspect tells which engine a
// setup.exe carries.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "builder_test_files.h"
#include "cli.h"
#include "package/engine_copy.h"
#include "package_builder.h"
#include "package_inspector.h"
#include "pe_fixture.h"
#include "pe_image.h"

namespace halvard::builder {
namespace {

using builder_test::fixed_epoch;
using builder_test::read_all;
using builder_test::write_file;
namespace fs = std::filesystem;
using testing_pe::Image;
using testing_pe::small_engine;

void write_engine(const fs::path& p, Image image) {
  const auto engine = small_engine(image);
  write_file(p, std::string_view(reinterpret_cast<const char*>(engine.data()), engine.size()));
}

uint32_t get32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

TEST(BuilderPeImage, AcceptsBothEnginesAndRefusesOtherImages) {
  constexpr uint32_t optional = 128 + 24;
  struct Case {
    const char* what;
    Image image;
    uint16_t machine;  // 0: the fixture's own
    uint16_t magic;    // 0: the fixture's own
    const char* error; // empty: accepted
    EngineArch arch;
  };
  const Case cases[] = {
      {"PE32, i386", Image::pe32, 0, 0, "", EngineArch::x86},
      {"PE32+, AMD64", Image::pe32_plus, 0, 0, "", EngineArch::x64},
      {"ROM image magic", Image::pe32, 0, 0x107, "unknown optional-header magic 0x107", EngineArch::x86},
      {"magic of neither", Image::pe32_plus, 0, 0x30B, "unknown optional-header magic 0x30B", EngineArch::x86},
      {"ARM64", Image::pe32_plus, 0xAA64, 0, "made for machine 0xAA64", EngineArch::x86},
      {"Itanium", Image::pe32_plus, 0x200, 0, "made for machine 0x200", EngineArch::x86},
      {"PE32 for AMD64", Image::pe32, 0x8664, 0, "a PE32 image for AMD64", EngineArch::x86},
      {"PE32+ for i386", Image::pe32_plus, 0x14C, 0, "a PE32+ image for i386", EngineArch::x86},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> engine = small_engine(c.image);
    if (c.machine) testing_pe::put16(engine, 128 + 4, c.machine);
    if (c.magic) testing_pe::put16(engine, optional, c.magic);
    PeLayout layout;
    std::string error;
    const bool ok = read_pe_layout(engine, layout, error);
    EngineArch arch = EngineArch::x86;
    std::string arch_error;
    EXPECT_EQ(read_pe_arch(engine, arch, arch_error), ok) << c.what;
    if (*c.error) {
      EXPECT_FALSE(ok) << c.what;
      EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
      continue;
    }
    ASSERT_TRUE(ok) << c.what << ": " << error;
    EXPECT_EQ(layout.arch, c.arch) << c.what;
    EXPECT_EQ(arch, c.arch) << c.what;
    // The section table follows the optional header, which is 16 bytes longer in PE32+.
    EXPECT_EQ(layout.section_table_offset, optional + (c.arch == EngineArch::x64 ? 240u : 224u)) << c.what;
    EXPECT_EQ(layout.section_alignment, 0x1000u) << c.what;
    EXPECT_EQ(layout.file_alignment, 0x200u) << c.what;
    EXPECT_EQ(layout.size_of_headers, 0x400u) << c.what;
    EXPECT_EQ(layout.raw_end, 0xA00u) << c.what;
    EXPECT_EQ(layout.next_virtual_address, 0x4000u) << c.what;

    // The fields the section changes sit at PE32's offsets in PE32+ too.
    add_setup_section_entry(engine, layout, 0x2000);
    EXPECT_EQ(get32(engine, optional + 8), 0x400u + 0x2000u) << c.what;   // SizeOfInitializedData
    EXPECT_EQ(get32(engine, optional + 56), 0x4000u + 0x2000u) << c.what; // SizeOfImage
    const size_t entry = layout.section_table_offset + 3 * 40;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&engine[entry])), ".setup") << c.what;
    EXPECT_EQ(get32(engine, entry + 12), 0x4000u) << c.what;
  }
}

TEST(BuilderPeImage, PE32PlusHeadersMustBeWhole) {
  // A PE32 optional header's length is not enough for PE32+.
  std::vector<uint8_t> engine = small_engine(Image::pe32_plus);
  engine.resize(128 + 24 + 230);
  PeLayout layout;
  std::string error;
  EXPECT_FALSE(read_pe_layout(engine, layout, error));
  EXPECT_NE(error.find("optional header is cut short"), std::string::npos) << error;
}

constexpr char small_project[] = R"([product]
name = "Arch"
version = "1.0"
install_dir = "Arch"

[[files]]
source = "files/**"
base = "files"
)";

class BuilderEngineArch : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = builder_test::fresh_test_folder("hv_arch_");
    write_file(dir / "project/files/a.txt", "alpha alpha alpha");
    write_file(dir / "project/files/sub/b.bin", std::string(3000, 'b'));
    write_project("");
    // An installed builder: both engines beside it.
    write_engine(dir / "bin/halvard-engine.exe", Image::pe32);
    write_engine(dir / "bin/halvard-engine-x64.exe", Image::pe32_plus);
    // Engines given by path.
    write_engine(dir / "project/engine32.exe", Image::pe32);
    write_engine(dir / "project/engine64.exe", Image::pe32_plus);
  }
  void TearDown() override { fs::remove_all(dir); }

  void write_project(const std::string& build_section) {
    write_file(dir / "project/project.toml", small_project + build_section);
  }

  struct Run {
    int code;
    std::string out, err;
  };
  Run run(std::vector<std::string> args, const fs::path& builder = "bin/halvard-build") {
    CliContext context;
    context.environment = fixed_epoch;
    context.builder_exe = dir / builder;
    std::ostringstream out, err;
    const int code = run_cli(args, out, err, context);
    return {code, out.str(), err.str()};
  }
  Run build(std::vector<std::string> extra, const fs::path& builder = "bin/halvard-build") {
    std::vector<std::string> args = {"build", (dir / "project/project.toml").string(), "-o",
                                     (dir / "out/setup.exe").string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return run(args, builder);
  }

  fs::path dir;
};

// The package is the project's alone. The header's engine checksum guards the very
// engine bytes the package was built with, so it is left out of the comparison (these
// two fixtures happen to share it: their bytes differ only in words the sum skips or
// moves).
TEST_F(BuilderEngineArch, SamePackageForBothEnginesAndInspectTellsWhich) {
  struct Built {
    std::vector<uint8_t> file;
    Inspection in;
  };
  Built built[2];
  const char* archs[] = {"x86", "x64"};
  for (int i = 0; i < 2; ++i) {
    const fs::path output = dir / (std::string("setup-") + archs[i] + ".exe");
    const Run r = run({"build", (dir / "project/project.toml").string(), "-o", output.string(), "--arch", archs[i]});
    ASSERT_EQ(r.code, 0) << r.err;
    built[i].file = read_all(output);
    built[i].in = inspect_package(output);
    ASSERT_TRUE(built[i].in.sound()) << built[i].in.failure;
    ASSERT_TRUE(built[i].in.engine_arch.has_value());
    EXPECT_EQ(arch_name(*built[i].in.engine_arch), archs[i]);
    EXPECT_EQ(built[i].in.files.size(), 2u);

    const Run text = run({"inspect", output.string()});
    ASSERT_EQ(text.code, 0) << text.err;
    const Run json = run({"inspect", output.string(), "--json"});
    ASSERT_EQ(json.code, 0) << json.err;
    EXPECT_NE(json.out.find(std::string("\"engine_arch\": \"") + archs[i] + "\""), std::string::npos) << json.out;
    EXPECT_NE(text.out.find(i ? "engine: \"x64 (PE32+, AMD64)\"" : "engine: \"x86 (PE32, i386)\""), std::string::npos)
        << text.out;
  }
  const SetupSectionLocation& x86 = built[0].in.section;
  const SetupSectionLocation& x64 = built[1].in.section;
  ASSERT_EQ(x86.SizeOfRawData, x64.SizeOfRawData);
  std::vector<uint8_t> a(built[0].file.begin() + x86.PointerToRawData,
                         built[0].file.begin() + x86.PointerToRawData + x86.SizeOfRawData);
  std::vector<uint8_t> b(built[1].file.begin() + x64.PointerToRawData,
                         built[1].file.begin() + x64.PointerToRawData + x64.SizeOfRawData);
  constexpr size_t engine_checksum_at = 16;
  std::fill_n(a.begin() + engine_checksum_at, 4, 0);
  std::fill_n(b.begin() + engine_checksum_at, 4, 0);
  EXPECT_TRUE(a == b);
  EXPECT_EQ(built[0].file.size(), built[1].file.size());

  // The uninstaller made from the x64 setup.exe is the x64 engine, byte for byte.
  const std::vector<uint8_t>& file = built[1].file;
  std::vector<uint8_t> copy;
  ASSERT_TRUE(build_engine_copy(std::span(file).first(x64.PointerToRawData),
                                std::span(file).subspan(x64.PointerToRawData + x64.SizeOfRawData), x64, copy));
  EXPECT_EQ(copy, small_engine(Image::pe32_plus));
}

TEST_F(BuilderEngineArch, OptionAndProjectKeyChooseTheEngine) {
  struct Case {
    const char* build_section;  // appended to the project
    std::vector<std::string> args;
    const char* engine;         // expected "engine: " line, relative to the test folder
  };
  const Case cases[] = {
      {"", {}, "bin/halvard-engine.exe (x86)"},
      {"", {"--arch", "x86"}, "bin/halvard-engine.exe (x86)"},
      {"", {"--arch", "x64"}, "bin/halvard-engine-x64.exe (x64)"},
      {"[build]\nengine = \"x64\"\n", {}, "bin/halvard-engine-x64.exe (x64)"},
      {"[build]\nengine = \"x86\"\n", {}, "bin/halvard-engine.exe (x86)"},
      {"[build]\nengine = \"x64\"\n", {"--arch", "x86"}, "bin/halvard-engine.exe (x86)"},
      // A path without an arch takes the engine as it is.
      {"[build]\nengine = \"engine64.exe\"\n", {}, "project/engine64.exe (x64)"},
      {"[build]\nengine = \"x64\"\n", {"--engine", "ENGINE"}, "project/engine64.exe (x64)"},
      // A path and a matching arch.
      {"[build]\nengine = \"engine64.exe\"\n", {"--arch", "x64"}, "project/engine64.exe (x64)"},
      {"", {"--engine", "ENGINE", "--arch", "x64"}, "project/engine64.exe (x64)"},
      // --engine wins over a path in the project.
      {"[build]\nengine = \"engine32.exe\"\n", {"--engine", "ENGINE"}, "project/engine64.exe (x64)"},
  };
  for (const Case& c : cases) {
    write_project(c.build_section);
    std::vector<std::string> args = c.args;
    for (auto& a : args)
      if (a == "ENGINE") a = (dir / "project/engine64.exe").string();
    const Run r = build(args);
    const std::string what = std::string(c.build_section) + " " + (args.empty() ? "" : args[0]);
    ASSERT_EQ(r.code, 0) << what << ": " << r.err;
    EXPECT_NE(r.out.find("engine: " + (dir / c.engine).string() + "\n"), std::string::npos) << what << "\n" << r.out;
  }
}

TEST_F(BuilderEngineArch, BuildTreeHoldsEachEngineUnderItsPreset) {
  write_engine(dir / "tree/build/win32/src/halvard-engine.exe", Image::pe32);
  write_engine(dir / "tree/build/win64/src/halvard-engine-x64.exe", Image::pe32_plus);
  const fs::path builder = "tree/build/native/tools/builder/halvard-build";
  for (const char* arch : {"x86", "x64"}) {
    const Run r = build({"--arch", arch}, builder);
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string expected = std::string(arch) == "x64" ? "tree/build/win64/src/halvard-engine-x64.exe (x64)"
                                                            : "tree/build/win32/src/halvard-engine.exe (x86)";
    EXPECT_NE(r.out.find("engine: " + (dir / expected).string()), std::string::npos) << r.out;
  }
  fs::remove(dir / "tree/build/win64/src/halvard-engine-x64.exe");
  const Run missing = build({"--arch", "x64"}, builder);
  EXPECT_EQ(missing.code, exit_code::input_error);
  EXPECT_NE(missing.err.find("the engine halvard-engine-x64.exe was not found"), std::string::npos) << missing.err;
  EXPECT_NE(missing.err.find((dir / "tree/build/win64/src/halvard-engine-x64.exe").string()), std::string::npos)
      << missing.err;
}

TEST_F(BuilderEngineArch, EngineOfTheOtherMachineIsRefused) {
  // A file named for one engine that is the other one.
  write_engine(dir / "swapped/halvard-engine.exe", Image::pe32_plus);
  write_engine(dir / "swapped/halvard-engine-x64.exe", Image::pe32);
  struct Case {
    const char* build_section;
    std::vector<std::string> args;
    const char* builder;
    std::string error;
  };
  const std::string toml = (dir / "project/project.toml").string();
  const Case cases[] = {
      {"", {"--engine", "ENGINE32", "--arch", "x64"}, "bin/halvard-build",
       "engine32.exe: the engine is x86 (PE32, i386), but x64 was asked for (--arch x64)"},
      {"[build]\nengine = \"engine64.exe\"\n", {"--arch", "x86"}, "bin/halvard-build",
       "engine64.exe: the engine is x64 (PE32+, AMD64), but x86 was asked for (--arch x86)"},
      {"[build]\nengine = \"x64\"\n", {"--engine", "ENGINE32"}, "bin/halvard-build",
       "engine32.exe: the engine is x86 (PE32, i386), but x64 was asked for (" + toml +
           ":10:10: [build] engine = \"x64\")"},
      {"", {"--arch", "x64"}, "swapped/halvard-build",
       "halvard-engine-x64.exe: the engine is x86 (PE32, i386), but x64 was asked for (--arch x64)"},
      {"", {}, "swapped/halvard-build",
       "halvard-engine.exe: the engine is x64 (PE32+, AMD64), but x86 was asked for (the file name "
       "halvard-engine.exe)"},
  };
  for (const Case& c : cases) {
    write_project(c.build_section);
    std::vector<std::string> args = c.args;
    for (auto& a : args)
      if (a == "ENGINE32") a = (dir / "project/engine32.exe").string();
    const Run r = build(args, c.builder);
    EXPECT_EQ(r.code, exit_code::input_error) << c.error;
    EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "out/setup.exe")) << c.error;
  }
}

TEST_F(BuilderEngineArch, CommandLineArchErrors) {
  struct Case {
    std::vector<std::string> args;
    const char* error;
  };
  const Case cases[] = {
      {{"--arch", "arm64"}, "--arch: unknown engine \"arm64\"; known engines: x86, x64"},
      {{"--arch", "X64"}, "--arch: unknown engine \"X64\"; known engines: x86, x64"},
      {{"--arch", "x86_64"}, "--arch: unknown engine \"x86_64\""},
      {{"--arch"}, "--arch needs a value"},
  };
  for (const Case& c : cases) {
    const Run r = build(c.args);
    EXPECT_EQ(r.code, exit_code::usage_error) << c.error;
    EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
  }
}

TEST_F(BuilderEngineArch, InspectNamesNoEngineForAnImageOfAnotherMachine) {
  const Run built = build({"--arch", "x64"});
  ASSERT_EQ(built.code, 0) << built.err;
  std::vector<uint8_t> file = read_all(dir / "out/setup.exe");
  testing_pe::put16(file, 128 + 4, 0xAA64);
  write_file(dir / "arm.exe", std::string_view(reinterpret_cast<const char*>(file.data()), file.size()));
  const Run r = run({"inspect", (dir / "arm.exe").string(), "--json"});
  EXPECT_NE(r.out.find("\"engine\": \"unknown: made for machine 0xAA64"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"engine_arch\": null"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace halvard::builder
