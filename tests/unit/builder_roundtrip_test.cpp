// build -> inspect: every stream item and every record field set in a project comes
// back from the package through the engine's own readers; two builds give the same
// bytes; a damaged package is reported with the engine's code; the README's example
// builds.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "builder_test_files.h"
#include "cli.h"
#include "file_gatherer.h"
#include "package/checksum.h"
#include "package_builder.h"
#include "package_inspector.h"
#include "pe_fixture.h"
#include "settings_writer.h"

namespace halvard::builder {
namespace {

using builder_test::fixed_epoch;
using builder_test::read_all;
using builder_test::write_file;
namespace fs = std::filesystem;

// Sets every key the project format has, each to a value that differs from its default.
constexpr char full_project[] = R"(
[product]
name = "Round Trip"
publisher = "Halvard Tests"
description = "Every item"
version = "2.5b"
install_dir = "HKLM\\Software\\Halvard Tests\\Dir"
start_menu = "Tests\\Round Trip"
shared_base = "common_app_data"
shared_path = "Shared Stuff"
registry_key = "Software\\Halvard Tests\\Round Trip"
uninstall_key = "RoundTripKey"
install_dir_value = "\\HKLM\\Software\\Halvard Tests\\InstallDir"
installing_text = "Installing the round trip"
password = "secret"
minimum_upgrade_version = "1.0"
must_uninstall_below = "0.9"
master_product = "Master"
master_product_message = "The Master Product"
excluded_systems = 0x30
admin_requirement = "ask"
run_mode = "automatic"
shortcut_mode = "all_users"

[options]
product_flags_low = ["uninstall_support", "master_product", "keep_log", "directory_page", 0x40000000]
product_flags_high = ["verify_checksums", "maximized_background", "start_menu_page", "product_64bit"]
setup_options = ["restore_point", "uninstaller_without_package", "log_upgrade_batch", 0x400]

[uninstall]
subdir = "Uninst"
uninstaller_name = "remove.exe"
date = 2021-06-07T08:09:10
notify_url = "http://example.invalid/uninstalled"

[batch]
pre_install = "echo pre"
post_install = "echo post"
exit = "echo exit"
uninstall1 = "echo u1"
uninstall2 = "echo u2"
upgrade = "echo upgrade"
reinstall = "echo reinstall"

[finish]
view_file = "readme.txt"
launch_program = "app.exe"
open_file = "doc.txt"

[notify]
install = "http://example.invalid/1"
upgrade = "http://example.invalid/2"
downgrade = "http://example.invalid/3"
reinstall = "http://example.invalid/4"

[registry]
script = "\\HKCU\\Software\\X,Value,1,data,0,0"
firewall = ["Round Trip;%InstallDir%\\app.exe;1;0"]

[reserved]
block = [1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20]
shared_folder_text = "shared folder text"

[desktop]
folder_name = "Round Trip Folder"
icon = "assets/icon.ico"

[root_shortcut]
name = "Root"
target = "%InstallDir%\\app.exe"

[window]
taskbar_text = "Taskbar"
title = "Big Title"
title_size = 1.25
dialog_value = 77
title_color = "#FF8000"
title_shadow = 3
title_position = 2
title_font = "Arial,Tahoma"
top_color = 0x112233
bottom_color = "#000040"
bitmap = "assets/back.bmp"
bitmap_tpi = 96
bitmap_size = 80
stretch_mode = 2
copyright_pos = 1
copyright_color = "#FFFFFF"
copyright_size = 0.75
copyright_text = "(c) Halvard Tests"
copyright_font = "Verdana"
step_delay = 250
side_picture_frame = "border"

[wizard]
extra_space = 1048576
greeting_style = "banner"
language_style = "plain"
license_style = 2
readme_style = "side_picture"
directory_style = "banner"
start_menu_style = "plain"
progress_style = "side_picture"
summary_style = "banner"

[texts]
license = ["assets/license.txt", { text = "Lizenz" }]
readme = [{ text = "Read me" }]

[[conditional_deletes]]
path = "%InstallDir%\\*.tmp"
kind = 1
value = "x"
flags = 2

[[associations]]
flags = 3
extension = ".rtx"
class_name = "RoundTrip.Doc"
description = "Round trip document"
verb = "open"
verb_text = "&Open"
command = "\"%InstallDir%\\app.exe\" \"%1\""
language = "en"
icon = "%InstallDir%\\app.exe,0"

[[shortcuts]]
target = "%InstallDir%\\app.exe"
name = "Round Trip"
icon_file = "%InstallDir%\\app.ico"
arguments = "/x"
working_directory = "%InstallDir%"
desktop = true
start_menu = 1
startup = 1
custom_folder = "Tools"
show_mode = 3
keep = true

[[registration_values]]
name = "HelpLink"
type = "string"
value = "http://example.invalid/help"

[[close_applications]]
window_class = "RoundTripWnd"
window_title = "Round Trip"
application_name = "Round Trip App"
mode = 2
phases = 6

[languages]
names = ["Deutsch", "English"]

[messages.English]
500 = "A text of the project's own"

[messages.Deutsch]
49 = "Abbrechen"

[[files]]
source = "payload/**"
base = "payload"
date = "modified"

[[files]]
source = "extra/setup.msi"
kind = "msi_package"
msi_value = 5
flags = ["start_menu_shortcut", "keep_at_uninstall", "uninstall_dir", "msi_list"]
overwrite = "unless_newer"
attributes = ["read_only", "archive", "offline"]
date = 2019-01-02T03:04:05
version = "3.1.4"
shortcut_text = "text 3"
shortcut_text2 = "text 4"
shortcut_text3 = "text 5"
destination = "%InstallDir%\\packages\\"

[[files]]
source = "extra/font.ttf"
kind = "font"
font_name = "Round Trip Regular"
name = "RoundTrip.ttf"
date = "none"
attributes = "unchanged"

[build]
output = "out/setup.exe"
engine = "engine.exe"
block_size = 4096
compression = "fast"
stream_compression = "fast"
)";

class BuilderRoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = builder_test::fresh_test_folder("hv_roundtrip_");
    const auto engine = testing_pe::small_engine();
    write_file(dir / "engine.exe", std::string_view(reinterpret_cast<const char*>(engine.data()), engine.size()));
    write_file(dir / "project.toml", full_project);
    // 4 x 4 pixels of 8 bits with a full palette: 40 + 1024 + 16 bytes after the file header.
    std::string info(40, '\0');
    info[0] = 40, info[4] = 4, info[8] = 4, info[12] = 1, info[14] = 8;
    std::string bmp = "BM" + std::string(12, '\0') + info + std::string(1024, '\x28') + std::string(16, '\x7F');
    write_file(dir / "assets/back.bmp", bmp);
    write_file(dir / "assets/icon.ico", std::string("\0\0\1\0icon", 8));
    write_file(dir / "assets/license.txt", "Licence\r\n");
    // Enough data to fill several 4 KiB blocks, so records cross block ends.
    std::string big;
    for (int i = 0; i < 20000; ++i) big += char('a' + (i * 7919) % 26);
    write_file(dir / "payload/big.dat", big);
    write_file(dir / "payload/sub/small.txt", "small");
    write_file(dir / "payload/empty.txt", "");
    write_file(dir / "extra/setup.msi", std::string(5000, 'M'));
    write_file(dir / "extra/font.ttf", "font");
  }
  void TearDown() override { fs::remove_all(dir); }

  BuildOutcome build(const std::string& output = "") {
    BuildRequest request;
    request.project_file = dir / "project.toml";
    request.output = output;
    request.environment = fixed_epoch;
    return build_package(request);
  }
  fs::path dir;
};

TEST_F(BuilderRoundTrip, EveryItemAndFieldComesBack) {
  const BuildOutcome built = build();
  ASSERT_EQ(built.exit_code, 0) << built.errors[0];
  const Inspection in = inspect_package(built.output);
  ASSERT_TRUE(in.sound()) << in.failure;

  Project project;
  ASSERT_TRUE(load_project(dir / "project.toml", project, fixed_epoch).ok);
  std::vector<std::string> errors;
  ASSERT_TRUE(finish_settings(project, errors));
  InstallSettings expected = project.settings;
  InstallSettings actual = in.settings;
  // The reader resolves the shared folder against its base folder (common app data here).
  EXPECT_EQ(actual.SharedPath, "%AppDataAllDir%\\Shared Stuff");
  actual.SharedPath = expected.SharedPath;
  // Every stream item, compared through the writer that serialises all of them.
  EXPECT_EQ(write_settings(actual), write_settings(expected));
  EXPECT_EQ(actual.ProductName, "Round Trip");
  EXPECT_EQ(actual.UninstallerDate, (FileDate{2021, 6, 7, 8, 9, 10}));
  EXPECT_EQ(actual.ReservedBlock[19], 20);
  EXPECT_EQ(actual.Messages[500][1], "A text of the project's own");
  EXPECT_EQ(actual.Messages[500][0], "A text of the project's own");  // Deutsch falls back
  EXPECT_EQ(actual.Messages[49][0], "Abbrechen");
  EXPECT_EQ(actual.Messages[63][0], "Licence\r\n");
  EXPECT_EQ(actual.Messages[63][1], "Lizenz");
  EXPECT_EQ(actual.BackgroundBitmap.size(), 1080u);  // the 14-byte file header dropped
  EXPECT_EQ(actual.DataOnDisk, 0);
  EXPECT_EQ(actual.ProductFlags.low & 0x20, 0x20u);  // compressed blocks follow [build] compression

  const GatherResult gathered = gather_files(project, {}, fixed_epoch);
  ASSERT_TRUE(gathered.ok);
  ASSERT_EQ(in.files.size(), gathered.files.size());
  for (size_t i = 0; i < in.files.size(); ++i) {
    EXPECT_EQ(in.files[i].record, gathered.files[i].record) << i;
    EXPECT_EQ(uint64_t(in.files[i].data_size), gathered.files[i].size) << i;
  }
  EXPECT_EQ(in.files[0].record.Name, "big.dat");
  EXPECT_EQ(in.files[3].destination, "%InstallDir%\\packages\\setup.msi");
  EXPECT_EQ(in.files[3].record.Flags, 0x2u | 0x10u | 0x20u | 0x40u | 0x80u);
  EXPECT_EQ(in.files[4].destination, "%FontDir%\\RoundTrip.ttf");
  EXPECT_EQ(in.files[4].record.FileDate.month, 0);
  EXPECT_EQ(in.files[4].record.Attributes, 0xFFFFFFFFu);
  EXPECT_EQ(in.files[4].record.VersionText, "Round Trip Regular");  // the font's name, where the engine reads it
  // inspect shows what each kind makes of the fields, in the project's words.
  const std::string report = to_text(inspection_report(in, built.output));
  for (const char* shown : {"font_name: \"Round Trip Regular\"", "msi_ui_level: \"full (5)\"",
                            "msi_remove_at_uninstall: true"})
    EXPECT_NE(report.find(shown), std::string::npos) << shown;
}

TEST_F(BuilderRoundTrip, EveryLevelDecodesAndRebuildsTheSameBytes) {
  const std::string fast_lines = "compression = \"fast\"\nstream_compression = \"fast\"\n";
  for (const char* level : {"none", "fast", "normal", "best"}) {
    SCOPED_TRACE(level);
    std::string text = full_project;
    const std::string stream_level = std::string(level) == "none" ? "best" : level;
    text.replace(text.find(fast_lines), fast_lines.size(),
                 std::string("compression = \"") + level + "\"\nstream_compression = \"" + stream_level + "\"\n");
    write_file(dir / "project.toml", text);
    const BuildOutcome first = build((dir / "first.exe").string());
    ASSERT_EQ(first.exit_code, 0) << first.errors[0];
    const Inspection in = inspect_package(first.output);
    ASSERT_TRUE(in.sound()) << in.failure;
    EXPECT_EQ(in.settings.ProductFlags.low & 0x20, std::string(level) == "none" ? 0u : 0x20u);
    Project project;
    ASSERT_TRUE(load_project(dir / "project.toml", project, fixed_epoch).ok);
    const GatherResult gathered = gather_files(project, {}, fixed_epoch);
    ASSERT_TRUE(gathered.ok);
    std::map<std::string, uint32_t> sources;
    for (const GatheredFile& f : gathered.files) sources[f.record.Name] = Checksum32(read_all(f.source));
    ASSERT_EQ(in.files.size(), sources.size());
    for (const InspectedFile& f : in.files) EXPECT_EQ(f.data_checksum, sources.at(f.record.Name)) << f.record.Name;
    // Touch nothing but the time: a rebuild later must not differ.
    const BuildOutcome second = build((dir / "second.exe").string());
    ASSERT_EQ(second.exit_code, 0) << second.errors[0];
    EXPECT_TRUE(read_all(first.output) == read_all(second.output));
  }
}

TEST_F(BuilderRoundTrip, DataOnDiskEndsTheFile) {
  std::string text = full_project;
  text += "data_on_disk = true\n";
  write_file(dir / "project.toml", text);
  const BuildOutcome built = build();
  ASSERT_EQ(built.exit_code, 0) << built.errors[0];
  const Inspection in = inspect_package(built.output);
  ASSERT_TRUE(in.sound()) << in.failure;
  EXPECT_EQ(in.settings.DataOnDisk, 1);
  EXPECT_EQ(in.section.PointerToRawData + in.section.SizeOfRawData + uint64_t(in.header.DataSize), in.file_size);
  EXPECT_EQ(in.files.size(), 5u);
}

TEST_F(BuilderRoundTrip, DamageIsReportedWithTheEnginesCode) {
  const BuildOutcome built = build();
  ASSERT_EQ(built.exit_code, 0) << built.errors[0];
  const std::vector<uint8_t> good = read_all(built.output);
  const Inspection sound = inspect_package(built.output);
  const uint32_t section = sound.section.PointerToRawData;
  struct Case {
    const char* what;
    uint64_t offset;
    int code;
    int or_code = 0;  // a damaged compressed stream fails to decode or decodes to a wrong checksum
  };
  const Case cases[] = {
      {"magic", section, 20},
      {"stream size", section + 8 + 3, 22},
      {"stored stream", section + sound.header.StreamOffset + uint64_t(sound.header.StreamSize) - 30, 25, 47},
      {"stored stream head", section + sound.header.StreamOffset + 2, 47},
      {"data checksum word", section + 32, 55},
      {"engine bytes before the section", 0x500, 40},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bad = good;
    bad[c.offset] ^= 0x40;
    const fs::path path = dir / "bad.exe";
    write_file(path, std::string_view(reinterpret_cast<const char*>(bad.data()), bad.size()));
    const Inspection in = inspect_package(path);
    EXPECT_TRUE(in.package_error == c.code || (c.or_code && in.package_error == c.or_code))
        << c.what << ": " << in.package_error << " " << in.failure;

    std::ostringstream out, err;
    EXPECT_EQ(run_cli({"inspect", path.string(), "--json"}, out, err, {}), exit_code::corrupt_package) << c.what;
    EXPECT_NE(err.str().find("PackageError " + std::to_string(in.package_error)), std::string::npos) << err.str();
  }
}

TEST_F(BuilderRoundTrip, CommandLine) {
  std::ostringstream out, err;
  CliContext context;
  context.environment = fixed_epoch;
  EXPECT_EQ(run_cli({"build", (dir / "project.toml").string(), "-o", (dir / "cli.exe").string()}, out, err, context), 0)
      << err.str();
  EXPECT_EQ(run_cli({"inspect", (dir / "cli.exe").string()}, out, err, context), 0) << err.str();
  EXPECT_NE(out.str().find("ShortcutText3: \"text 5\""), std::string::npos);
  EXPECT_EQ(run_cli({"build", "--bogus"}, out, err, context), exit_code::usage_error);
  EXPECT_EQ(run_cli({"build", (dir / "project.toml").string(), "--engine", (dir / "none.exe").string()}, out, err,
                    context),
            exit_code::input_error);
  EXPECT_EQ(run_cli({"inspect", (dir / "engine.exe").string()}, out, err, context), exit_code::corrupt_package);
  for (const char* command : {"build", "inspect", "new"}) {
    std::ostringstream help;
    EXPECT_EQ(run_cli({command, "--help"}, help, err, context), 0);
    EXPECT_NE(help.str().find(std::string("halvard-build ") + command), std::string::npos);
  }
}

TEST_F(BuilderRoundTrip, VersionProgressAndQuiet) {
  CliContext context;
  context.environment = fixed_epoch;
  {
    std::ostringstream out, err;
    ASSERT_EQ(run_cli({"--version"}, out, err, context), 0);
    EXPECT_EQ(out.str().rfind("halvard-build 26.1\nengine version 26.1 (EngineVersion 2610", 0), 0u) << out.str();
    EXPECT_NE(out.str().find("\nx64 engine: "), std::string::npos) << out.str();
  }
  // A clock that moves two seconds a reading: the build counts as long.
  double now = 0;
  context.seconds = [&now] { return now += 2; };
  struct Case {
    bool terminal;
    bool quiet;
    bool progress;  // a progress line on stderr
    bool summary;   // the summary on stdout
  };
  for (const Case c :
       {Case{true, false, true, true}, Case{true, true, false, false}, Case{false, false, false, true}}) {
    SCOPED_TRACE(std::string(c.terminal ? "terminal" : "pipe") + (c.quiet ? ", --quiet" : ""));
    context.terminal = c.terminal;
    std::ostringstream out, err;
    std::vector<std::string> args = {"build", (dir / "project.toml").string(), "-o", (dir / "p.exe").string()};
    if (c.quiet) args.push_back("--quiet");
    ASSERT_EQ(run_cli(args, out, err, context), 0) << err.str();
    const std::string e = err.str();
    EXPECT_EQ(e.find("\rgathered 5 files ("), c.progress ? 0u : std::string::npos) << e;
    if (c.progress) {
      EXPECT_NE(e.find("; compressed 1 block, "), std::string::npos) << e;
      EXPECT_NE(e.find(" MB/s"), std::string::npos) << e;
      EXPECT_EQ(e.substr(e.size() - std::string("; written\033[K\n").size()), "; written\033[K\n") << e;
    }
    EXPECT_EQ(out.str().rfind("wrote ", 0) == 0, c.summary) << out.str();
  }
  // A short build shows no line.
  context.terminal = true;
  context.seconds = [] { return 5.0; };
  std::ostringstream out, err;
  ASSERT_EQ(run_cli({"build", (dir / "project.toml").string(), "-o", (dir / "p.exe").string()}, out, err, context), 0);
  EXPECT_EQ(err.str(), "");
}

TEST_F(BuilderRoundTrip, NewProjectBuildsAtOnce) {
  std::ostringstream out, err;
  CliContext context;
  context.environment = fixed_epoch;
  ASSERT_EQ(run_cli({"new", (dir / "starter").string()}, out, err, context), 0) << err.str();
  EXPECT_EQ(run_cli({"new", (dir / "starter").string()}, out, err, context), exit_code::output_error);
  ASSERT_EQ(run_cli({"build", (dir / "starter/project.toml").string(), "--engine", (dir / "engine.exe").string()}, out,
                    err, context),
            0)
      << err.str();
  const Inspection in = inspect_package(dir / "starter/setup.exe");
  ASSERT_TRUE(in.sound()) << in.failure;
  EXPECT_EQ(in.files.size(), 2u);
  EXPECT_EQ(in.settings.ShortcutEntries.size(), 1u);
}

// The project that the README's "Writing a project" section shows.
TEST_F(BuilderRoundTrip, ReadmeExampleBuilds) {
  const fs::path example = fs::path(__FILE__).parent_path().parent_path().parent_path() / "examples" / "hello";
  ASSERT_TRUE(fs::exists(example / "project.toml")) << example;
  BuildRequest request;
  request.project_file = example / "project.toml";
  request.output = (dir / "hello.exe").string();
  request.engine = (dir / "engine.exe").string();
  request.environment = fixed_epoch;
  const BuildOutcome built = build_package(request);
  ASSERT_EQ(built.exit_code, 0) << built.errors[0];
  EXPECT_TRUE(built.warnings.empty()) << built.warnings[0];
  const Inspection in = inspect_package(built.output);
  ASSERT_TRUE(in.sound()) << in.failure;
  std::vector<std::string> names;
  for (const auto& f : in.files) names.push_back(f.record.Name);
  EXPECT_EQ(names, (std::vector<std::string>{"docs\\readme.txt", "hello.bat", "tools\\hello-again.bat"}));
  EXPECT_EQ(in.settings.LanguageNames, (std::vector<std::string>{"English", "Deutsch"}));
}

}  // namespace
}  // namespace halvard::builder
