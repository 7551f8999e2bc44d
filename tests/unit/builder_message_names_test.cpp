// Messages by name: the built-in English texts cover exactly the engine's table of
// message names, a project may key its texts by name or number with the same result,
// `inspect` shows each row's name, and [reserved] item53 still works under its new
// name's warning.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "builder_test_files.h"
#include "builtin_messages.h"
#include "cli.h"
#include "message_table.h"
#include "package/message_numbers.h"
#include "package_builder.h"
#include "package_inspector.h"
#include "pe_fixture.h"

namespace halvard::builder {
namespace {

using builder_test::fixed_epoch;
using builder_test::read_all;
using builder_test::write_file;
namespace fs = std::filesystem;

TEST(BuilderMessageNames, BuiltinTextsCoverExactlyTheEnginesTable) {
  std::set<std::string_view> names;
  std::set<int> numbers;
  for (const MessageName& m : message_names) {
    EXPECT_TRUE(names.insert(m.name).second) << m.name << " is in the table twice";
    EXPECT_TRUE(numbers.insert(m.number).second) << m.number << " is in the table twice";
    const BuiltinMessage* b = find_builtin_message(m.number);
    ASSERT_NE(b, nullptr) << m.name << " (" << m.number << ") has no English text";
    EXPECT_EQ(b->name, m.name);
    EXPECT_EQ(b->conversions, m.conversions) << m.name;
    EXPECT_EQ(find_builtin_message(m.name), b) << m.name;
  }
  // Each English text names a row of the engine's table (checked where the texts are
  // compiled); with as many texts as rows, every row has its text.
  EXPECT_EQ(builtin_messages().size(), std::size(message_names));
  // find_builtin_message(number) searches by halves: sorted, each number once.
  int previous = -1;
  for (const BuiltinMessage& b : builtin_messages()) {
    EXPECT_GT(b.number, previous) << b.name;
    previous = b.number;
    // The engine passes the table's conversions: the English text must consume exactly those.
    EXPECT_EQ(printf_conversions(std::string(b.text)), b.conversions) << b.name;
  }
  EXPECT_EQ(find_builtin_message("no_such_message"), nullptr);
  EXPECT_EQ(find_builtin_message(26), nullptr);  // a number the engine never shows
}

class BuilderMessageProjects : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = builder_test::fresh_test_folder("hv_message_names_");
    const auto engine = testing_pe::small_engine();
    write_file(dir / "engine.exe", std::string_view(reinterpret_cast<const char*>(engine.data()), engine.size()));
    write_file(dir / "files/a.txt", "a");
  }
  void TearDown() override { fs::remove_all(dir); }

  struct Built {
    int code = -1;
    std::string err;
    std::vector<uint8_t> bytes;
  };
  // Writes the project as p.toml and builds it through the command line.
  Built build(const std::string& project, const std::string& output) {
    write_file(dir / "p.toml", "[product]\nname = \"P\"\n[languages]\nnames = [\"English\", \"Deutsch\"]\n"
                               "[[files]]\nsource = \"files/*\"\nbase = \"files\"\n[build]\nengine = \"engine.exe\"\n" +
                                   project);
    std::ostringstream out, err;
    CliContext context;
    context.environment = fixed_epoch;
    Built b;
    b.code = run_cli({"build", (dir / "p.toml").string(), "-o", (dir / output).string()}, out, err, context);
    b.err = err.str();
    if (b.code == 0) b.bytes = read_all(dir / output);
    return b;
  }
  // The errors of loading a project and deriving its message table.
  std::vector<std::string> errors_of(const std::string& project) {
    Project p;
    LoadResult r = load_project_text("[product]\nname = \"P\"\n" + project, "p.toml", dir, p, fixed_epoch);
    if (r.ok) finish_settings(p, r.errors);
    return r.errors;
  }
  fs::path dir;
};

TEST_F(BuilderMessageProjects, NamesNumbersAndTheOldKeyGiveTheSamePackage) {
  const Built reference = build(R"(
[reserved]
shared_folder_text = "shared"
[messages.English]
24 = "Install Folder"
19 = "Needs %s on %c:, has %s"
500 = "A row of the project's own"
[messages.Deutsch]
24 = "Installationsordner"
63 = "Lizenz"
)",
                                "reference.exe");
  ASSERT_EQ(reference.code, 0) << reference.err;
  EXPECT_EQ(reference.err, "");
  struct Case {
    const char* what;
    const char* project;
    const char* warning;  // expected on stderr; empty: nothing
  };
  const Case cases[] = {
      {"names", R"(
[reserved]
shared_folder_text = "shared"
[messages.English]
directory_title = "Install Folder"
low_disk_space = "Needs %s on %c:, has %s"
500 = "A row of the project's own"
[messages.Deutsch]
directory_title = "Installationsordner"
license_text = "Lizenz"
)",
       ""},
      {"names in one language, numbers in the other", R"(
[reserved]
shared_folder_text = "shared"
[messages.English]
24 = "Install Folder"
low_disk_space = "Needs %s on %c:, has %s"
500 = "A row of the project's own"
[messages.Deutsch]
directory_title = "Installationsordner"
63 = "Lizenz"
)",
       ""},
      {"item53", R"(
[reserved]
item53 = "shared"
[messages.English]
24 = "Install Folder"
19 = "Needs %s on %c:, has %s"
500 = "A row of the project's own"
[messages.Deutsch]
24 = "Installationsordner"
63 = "Lizenz"
)",
       "warning: {p}:12:1: 'item53' is now 'shared_folder_text'; the old name goes in a later release\n"},
  };
  for (const Case& c : cases) {
    const Built b = build(c.project, "case.exe");
    ASSERT_EQ(b.code, 0) << c.what << ": " << b.err;
    EXPECT_TRUE(b.bytes == reference.bytes) << c.what;
    std::string warning = c.warning;
    if (const size_t at = warning.find("{p}"); at != std::string::npos)
      warning.replace(at, 3, (dir / "p.toml").string());
    EXPECT_EQ(b.err, warning) << c.what;
  }
  const Inspection in = inspect_package(dir / "reference.exe");
  ASSERT_TRUE(in.sound()) << in.failure;
  EXPECT_EQ(in.settings.SharedFolderText, "shared");
  EXPECT_EQ(in.settings.Messages[24][1], "Installationsordner");
}

// The old key is still reported when the build stops for another reason.
TEST_F(BuilderMessageProjects, WarningOutlivesAFailedBuild) {
  const Built b = build("[reserved]\nitem53 = \"shared\"\n[messages.English]\nno_such_message = \"x\"\n", "x.exe");
  EXPECT_EQ(b.code, exit_code::input_error);
  EXPECT_NE(b.err.find("warning: " + (dir / "p.toml").string() + ":11:1: 'item53' is now 'shared_folder_text'"),
            std::string::npos)
      << b.err;
  EXPECT_NE(b.err.find("error: " + (dir / "p.toml").string() + ":13:19: [messages.English]: unknown message name"),
            std::string::npos)
      << b.err;
}

TEST_F(BuilderMessageProjects, KeyErrorsNameTheirPlace) {
  struct Case {
    const char* project;  // after "[product]\nname = \"P\"\n"
    const char* error;    // the start of the first error
  };
  const Case cases[] = {
      {"[messages.English]\ndirectory_titel = \"x\"\n",
       "p.toml:4:19: [messages.English]: unknown message name \"directory_titel\"; halvard-build build --help lists "
       "every name and its number"},
      {"[messages.English]\n\"\" = \"x\"\n", "p.toml:4:6: [messages.English]: unknown message name \"\""},
      {"[messages.English]\n-1 = \"x\"\n", "p.toml:4:6: [messages.English]: '-1' is not a message number from 0 to"},
      // Keys are read in name order; the error stays at the later line whichever sorts first.
      {"[messages.English]\n24 = \"a\"\ndirectory_title = \"b\"\n",
       "p.toml:5:19: [messages.English]: 'directory_title' is message 24, already given as '24' at p.toml:4:6; give "
       "each message once"},
      {"[messages.English]\ndirectory_title = \"b\"\n24 = \"a\"\n",
       "p.toml:5:6: [messages.English]: '24' is message 24, already given as 'directory_title' at p.toml:4:19; give "
       "each message once"},
      {"[messages.English]\n24 = \"a\"\n024 = \"b\"\n",
       "p.toml:5:7: [messages.English]: '024' is message 24, already given as '24' at p.toml:4:6"},
      // Conversions are checked whichever way the message was named.
      {"[languages]\nnames = [\"English\", \"Deutsch\"]\n[messages.Deutsch]\nlow_disk_space = \"Es fehlen %s auf %s\"\n",
       "p.toml:6:18: [messages.Deutsch] low_disk_space (19): the engine fills this text with the conversions %s%c%s, "
       "in that order; the text has %s%s"},
      {"[messages.English]\ndrive_missing = \"Laufwerk fehlt\"\n",
       "p.toml:4:17: [messages.English] drive_missing (16): the engine fills this text with the conversions %c"},
      {"[reserved]\nshared_folder_text = \"a\"\nitem53 = \"b\"\n",
       "p.toml:5:1: [reserved]: 'item53' is the old name of 'shared_folder_text' and both are given; keep "
       "'shared_folder_text'"},
  };
  for (const Case& c : cases) {
    const std::vector<std::string> errors = errors_of(c.project);
    // A bad English text also breaks every language falling back on it: only the first counts here.
    ASSERT_FALSE(errors.empty()) << c.project;
    EXPECT_TRUE(errors[0].starts_with(c.error)) << c.project << "\ngot: " << errors[0];
  }
  EXPECT_EQ(errors_of("[messages.English]\ndirectory_title = \"x\"\n[languages]\nnames = [\"English\", \"Deutsch\"]\n"
                      "[messages.Deutsch]\ndirectory_title = \"y\"\n"),
            std::vector<std::string>{})
      << "the same name in two languages is no repeat";
}

TEST_F(BuilderMessageProjects, InspectAndHelpShowTheNames) {
  const Built b = build("[messages.English]\n500 = \"A row of the project's own\"\n", "setup.exe");
  ASSERT_EQ(b.code, 0) << b.err;
  const Inspection in = inspect_package(dir / "setup.exe");
  ASSERT_TRUE(in.sound()) << in.failure;
  const ReportNode report = inspection_report(in, dir / "setup.exe");
  const ReportNode* messages = nullptr;
  for (const ReportMember& m : report.members)
    if (m.name == "messages") messages = &m.value;
  ASSERT_NE(messages, nullptr);
  ASSERT_EQ(messages->items.size(), 501u);
  struct Row {
    size_t number;
    ReportNode::Type type;
    const char* name;
  };
  const Row rows[] = {{24, ReportNode::Type::text, "directory_title"},
                      {0, ReportNode::Type::text, "window_title"},
                      {26, ReportNode::Type::null, ""},  // a number the engine never shows
                      {500, ReportNode::Type::null, ""}};
  for (const Row& row : rows) {
    const ReportNode& r = messages->items[row.number];
    ASSERT_GE(r.members.size(), 4u);
    EXPECT_EQ(r.members[0].name, "number");
    EXPECT_EQ(r.members[0].value.integer, int64_t(row.number));
    EXPECT_EQ(r.members[1].name, "name");
    EXPECT_EQ(r.members[1].value.type, row.type) << row.number;
    EXPECT_EQ(r.members[1].value.text, row.name);
    EXPECT_EQ(r.members[2].name, "English");
    EXPECT_EQ(r.members[3].name, "Deutsch");
  }

  std::ostringstream text, json, help, err;
  ASSERT_EQ(run_cli({"inspect", (dir / "setup.exe").string()}, text, err, {}), 0) << err.str();
  EXPECT_NE(text.str().find("number: 24\n    name: \"directory_title\"\n    English: \"Installation Folder\""),
            std::string::npos);
  EXPECT_NE(text.str().find("number: 500\n    name: null\n"), std::string::npos);
  ASSERT_EQ(run_cli({"inspect", (dir / "setup.exe").string(), "--json"}, json, err, {}), 0) << err.str();
  EXPECT_NE(json.str().find("\"number\": 24,\n      \"name\": \"directory_title\",\n"), std::string::npos);
  EXPECT_NE(json.str().find("\"number\": 500,\n      \"name\": null,\n"), std::string::npos);

  ASSERT_EQ(run_cli({"build", "--help"}, help, err, {}), 0);
  EXPECT_NE(help.str().find("\n   24  directory_title\n"), std::string::npos) << help.str();
  EXPECT_NE(help.str().find("\n   19  low_disk_space                 %s%c%s\n"), std::string::npos) << help.str();
  for (const MessageName& m : message_names)
    EXPECT_NE(help.str().find("  " + std::to_string(m.number) + "  " + std::string(m.name)), std::string::npos)
        << m.name;
}

}  // namespace
}  // namespace halvard::builder
