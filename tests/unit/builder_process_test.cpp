// halvard-build run as a process on small fixture trees, one row per mistake people
// make: its exit code, the exact first line it prints, that no second error follows, and
// that a failed build leaves no half-written file and an earlier good output as it was.
// Rows that need a file the builder may not read run as an unprivileged user (nobody)
// when the tests run as root.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "builder_test_files.h"
#include "pe_fixture.h"

namespace halvard::builder {
namespace {

namespace fs = std::filesystem;
using builder_test::read_all;
using builder_test::write_file;

// Lines 1 to 11; [[files]] 'source' is on line 8, its value at column 10.
constexpr char base_project[] = R"([product]
name = "Table"

[texts]
license = ["license.txt"]

[[files]]
source = "files/**"
base = "files"
[build]
output = "out/setup.exe"
)";

struct ProcessRun {
  int exit_code = -1;
  std::string out, err;
};

std::string file_text(const fs::path& p) {
  const std::vector<uint8_t> bytes = read_all(p);
  return {bytes.begin(), bytes.end()};
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Runs halvard-build in `folder` with SOURCE_DATE_EPOCH fixed; as nobody when asked
// and running as root (an ordinary user meets permissions anyway).
ProcessRun run_builder(const fs::path& folder, const std::vector<std::string>& args, bool unprivileged,
                       const fs::path& results) {
  const fs::path out_file = results / "stdout", err_file = results / "stderr";
  const pid_t child = fork();
  if (child == 0) {
    const int out = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(120);
    if (chdir(folder.c_str()) != 0) _exit(121);
    if (unprivileged && geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
      _exit(122);
    setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
    std::vector<std::string> words = {HALVARD_BUILD_EXE};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(123);
  }
  ProcessRun run;
  int status = 0;
  if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
  run.out = file_text(out_file);
  run.err = file_text(err_file);
  return run;
}

struct Row {
  const char* name;
  std::function<void(const fs::path&)> prepare;  // changes the fixture tree
  std::vector<std::string> args;
  bool unprivileged;
  int exit_code;
  std::string first_line;     // of standard error, exactly
  std::string second_line{};  // of standard error when given; otherwise no second "error:" line may follow
  std::string summary{};      // a pattern for standard output's first line, for a build that succeeds
};

void append(const fs::path& file, const std::string& text) { write_file(file, file_text(file) + text); }

class BuilderProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    root = builder_test::fresh_test_folder("hv_process_");
    fs::create_directories(root);
    fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
  }
  void TearDown() override {
    // Give every folder its rights back, so that it can be removed.
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root, ec);
  }

  // A fresh tree that builds, with a good earlier output in out/setup.exe.
  fs::path fixture(const std::string& name) {
    const fs::path dir = root / name;
    const auto engine = testing_pe::small_engine();
    write_file(dir / "engine.exe", std::string_view(reinterpret_cast<const char*>(engine.data()), engine.size()));
    write_file(dir / "project.toml", std::string(base_project) + "engine = \"engine.exe\"\n");
    write_file(dir / "license.txt", "The licence.\n");
    write_file(dir / "files/hello.txt", "hello");
    write_file(dir / "files/bin/tool.bat", "@echo tool\r\n");
    write_file(dir / "extra/HELLO.TXT", "HELLO");
    fs::create_directories(dir / "out");
    return dir;
  }

  fs::path root;
};

TEST_F(BuilderProcess, EachMistakeGivesOneMessageAndLeavesTheOutputAlone) {
  // The earlier good output every failing row must leave as it was.
  const fs::path good_dir = fixture("good");
  const ProcessRun good = run_builder(good_dir, {"build"}, false, good_dir);
  ASSERT_EQ(good.exit_code, 0) << good.err;
  const std::vector<uint8_t> good_output = read_all(good_dir / "out/setup.exe");
  ASSERT_FALSE(good_output.empty());

  // Line 13 is the first one a row appends to the project.
  const std::vector<Row> rows = {
      {"unreadable folder under a glob",
       [](const fs::path& d) { fs::permissions(d / "files/bin", fs::perms::none); },
       {"build"},
       true,
       1,
       "error: project.toml:8:10: cannot list the folder \"files/bin\": Permission denied"},
      {"folder given as the project",
       [](const fs::path& d) { fs::create_directories(d / "folder.toml"); },
       {"build", "folder.toml"},
       false,
       1,
       "error: folder.toml is a folder, not a project file"},
      {"empty project file",
       [](const fs::path& d) { write_file(d / "empty.toml", " \n"); },
       {"build", "empty.toml"},
       false,
       1,
       "error: empty.toml is empty: a project needs at least [product] with a 'name'"},
      {"product name Windows-1252 cannot show",
       [](const fs::path& d) {
         const std::string text = file_text(d / "project.toml");
         write_file(d / "project.toml", std::regex_replace(text, std::regex("\"Table\""), "\"Table \xE4\xB8\xAD\""));
       },
       {"build"},
       false,
       1,
       "error: project.toml:2:8: the text holds a character that Windows-1252 cannot show: character 7 is U+4E2D"},
      {"decomposed accent in a file name",
       [](const fs::path& d) { write_file(d / "files/cafe\xCC\x81.txt", "x"); },
       {"build"},
       false,
       1,
       "error: project.toml:8:10: the name \"cafe\\u0301.txt\" (of \"files/cafe\\u0301.txt\") holds a character that "
       "Windows-1252 cannot show: character 5 is U+0301 COMBINING ACUTE ACCENT; composed, the name is "
       "\"caf\xC3\xA9.txt\", which it can show: rename the file"},
      {"decomposed accent in a product name",
       [](const fs::path& d) {
         const std::string text = file_text(d / "project.toml");
         write_file(d / "project.toml", std::regex_replace(text, std::regex("\"Table\""), "\"Cafe\xCC\x81\""));
       },
       {"build"},
       false,
       1,
       "error: project.toml:2:8: the text holds a character that Windows-1252 cannot show: character 5 is U+0301 "
       "COMBINING ACUTE ACCENT (a decomposed accent); write it composed: \"Caf\xC3\xA9\""},
      {"inspect given a folder", nullptr, {"inspect", "files"}, false, 1, "error: files is a folder, not an installer"},
      {"inspect given a missing file",
       nullptr,
       {"inspect", "none.exe"},
       false,
       1,
       "error: none.exe: cannot open the file: No such file or directory"},
      {"missing project file",
       nullptr,
       {"build", "missing.toml"},
       false,
       1,
       "error: missing.toml: cannot read the project file: No such file or directory"},
      {"unreadable project file",
       [](const fs::path& d) { fs::permissions(d / "project.toml", fs::perms::none); },
       {"build"},
       true,
       1,
       "error: project.toml: cannot read the project file: Permission denied"},
      {"unreadable file to pack",
       [](const fs::path& d) { fs::permissions(d / "files/hello.txt", fs::perms::none); },
       {"build"},
       true,
       1,
       "error: project.toml:8:10 (\"files/hello.txt\"): cannot open the file: Permission denied"},
      {"unwritable output folder",
       [](const fs::path& d) {
         fs::permissions(d / "out", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                        fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
       },
       {"build"},
       true,
       4,
       "error: out/setup.exe: cannot write the installer: Permission denied"},
      {"output given as a folder",
       nullptr,
       {"build", "-o", "out"},
       false,
       4,
       "error: out is a folder; give the installer's file name (such as out/setup.exe)"},
      {"missing licence file",
       [](const fs::path& d) { fs::remove(d / "license.txt"); },
       {"build"},
       false,
       1,
       "error: project.toml:5:12: cannot read the file \"license.txt\" (relative to the project folder): No such file "
       "or directory"},
      {"unknown key, pointed at",
       [](const fs::path& d) { append(d / "project.toml", "[uninstall]\n  subdri = \"x\"\n"); },
       {"build"},
       false,
       1,
       "error: project.toml:14:3: unknown key 'subdri' in [uninstall]; known keys: subdir, uninstaller_name, date, "
       "notify_url"},
      {"entry matching nothing, at its source line",
       [](const fs::path& d) { append(d / "project.toml", "[[files]]\nsource = \"nothing/*.txt\"\n"); },
       {"build"},
       false,
       1,
       "error: project.toml:14:10: no file matches \"nothing/*.txt\" (relative to the project folder; add optional = "
       "true to allow that)"},
      {"missing single file",
       [](const fs::path& d) { append(d / "project.toml", "[[files]]\nsource = \"files/missing.txt\"\n"); },
       {"build"},
       false,
       1,
       "error: project.toml:14:10: the file \"files/missing.txt\" does not exist (relative to the project folder): No "
       "such file or directory"},
      {"font without a name",
       [](const fs::path& d) {
         append(d / "project.toml", "[[files]]\nsource = \"files/hello.txt\"\nname = \"f.ttf\"\nkind = \"font\"\n");
       },
       {"build"},
       false,
       1,
       "error: project.toml:16:8: a font needs 'font_name', the name Windows lists it under (the registry value the "
       "engine writes), such as \"DejaVu Sans (TrueType)\""},
      {"field of another kind",
       [](const fs::path& d) {
         append(d / "project.toml",
                "[[files]]\nsource = \"files/hello.txt\"\nname = \"h.exe\"\nmsi_ui_level = \"basic\"\n");
       },
       {"build"},
       false,
       1,
       "error: project.toml:16:16: 'msi_ui_level' is only for kind \"msi_package\", and this entry's kind is "
       "\"plain\""},
      {"empty licence warns",
       [](const fs::path& d) { write_file(d / "license.txt", ""); },
       {"build"},
       false,
       0,
       "warning: project.toml:5:12: the licence text is empty; its page will show nothing",
       "",
       "wrote out/setup.exe: [0-9,]+ bytes; 2 files of 17 bytes, .*"},
      {"empty licence with --warnings-as-errors",
       [](const fs::path& d) { write_file(d / "license.txt", ""); },
       {"build", "--warnings-as-errors"},
       false,
       1,
       "error: project.toml:5:12: the licence text is empty; its page will show nothing (a warning; "
       "--warnings-as-errors makes it fatal)"},
      {"a name stored twice",
       [](const fs::path& d) { append(d / "project.toml", "[[files]]\nsource = \"extra/HELLO.TXT\"\n"); },
       {"build"},
       false,
       0,
       "warning: project.toml:14:10 (\"extra/HELLO.TXT\"): \"HELLO.TXT\" is stored under the same name as "
       "project.toml:8:10 (\"files/hello.txt\") (\"hello.txt\"); Windows ignores the case of names, so the later file "
       "replaces the earlier",
       "",
       "wrote out/setup.exe: [0-9,]+ bytes; 3 files of 22 bytes, .*"},
      {"a name stored twice, with --warnings-as-errors",
       [](const fs::path& d) { append(d / "project.toml", "[[files]]\nsource = \"extra/HELLO.TXT\"\n"); },
       {"build", "--warnings-as-errors"},
       false,
       1,
       "error: project.toml:14:10 (\"extra/HELLO.TXT\"): \"HELLO.TXT\" is stored under the same name as "
       "project.toml:8:10 (\"files/hello.txt\") (\"hello.txt\"); Windows ignores the case of names, so the later file "
       "replaces the earlier (a warning; --warnings-as-errors makes it fatal)"},
      {"a glob whose files were all taken",
       [](const fs::path& d) { append(d / "project.toml", "[[files]]\nsource = \"files/*.txt\"\ninto = \"again\"\n"); },
       {"build"},
       false,
       0,
       "warning: project.toml:14:10: every file \"files/*.txt\" matches is already stored by an earlier [[files]] "
       "entry (project.toml:8:10); this entry stores them a second time",
       "",
       "wrote out/setup.exe: [0-9,]+ bytes; 3 files of 22 bytes, .*"},
      {"missing output folders are created",
       nullptr,
       {"build", "-o", "new/deeper/setup.exe"},
       false,
       0,
       "",
       "",
       "wrote new/deeper/setup.exe: [0-9,]+ bytes; 2 files of 17 bytes, stored in [0-9,]+ \\(data this small or "
       "already packed does not shrink\\)"},
      {"one file",
       [](const fs::path& d) { fs::remove_all(d / "files/bin"); },
       {"build"},
       false,
       0,
       "",
       "",
       "wrote out/setup.exe: [0-9,]+ bytes; 1 file of 5 bytes, stored in [0-9,]+ \\(data this small or already packed "
       "does not shrink\\)"},
      {"unknown command",
       nullptr,
       {"bogus"},
       false,
       2,
       "halvard-build: unknown command \"bogus\"",
       "(see halvard-build --help)"},
      {"unknown option",
       nullptr,
       {"build", "--bogus"},
       false,
       2,
       "halvard-build: unknown option --bogus",
       "(see halvard-build build --help)"},
  };

  for (size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.name);
    const fs::path dir = fixture("case" + std::to_string(i));
    fs::copy_file(good_dir / "out/setup.exe", dir / "out/setup.exe");
    // Readable for everybody, as a checked-out tree is, before the row takes rights away.
    for (const auto& entry : fs::recursive_directory_iterator(dir))
      fs::permissions(entry.path(), entry.is_directory()
                                        ? fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                              fs::perms::others_read | fs::perms::others_exec
                                        : fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                              fs::perms::others_read);
    fs::permissions(dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                             fs::perms::others_exec);
    // The unprivileged user may write the output's folder, as a CI user may.
    if (row.unprivileged && geteuid() == 0) {
      EXPECT_EQ(chown((dir / "out").c_str(), 65534, 65534), 0);
    }
    if (row.prepare) row.prepare(dir);
    const fs::path results = root / ("results" + std::to_string(i));
    fs::create_directories(results);

    const ProcessRun run = run_builder(dir, row.args, row.unprivileged, results);
    EXPECT_EQ(run.exit_code, row.exit_code) << run.err;
    const std::vector<std::string> err = lines_of(run.err);
    // Every row is checked whatever an earlier one did: no ASSERT inside the loop.
    if (row.first_line.empty()) {
      EXPECT_TRUE(err.empty()) << run.err;
    } else if (err.empty()) {
      ADD_FAILURE() << "nothing on standard error";
    } else {
      EXPECT_EQ(err[0], row.first_line);
      if (!row.second_line.empty()) {
        EXPECT_EQ(err.size() >= 2 ? err[1] : std::string(), row.second_line);
      } else {
        for (size_t k = 1; k < err.size(); ++k)
          EXPECT_NE(err[k].rfind("error:", 0), 0u) << "a second error: " << err[k];
      }
    }
    if (!row.summary.empty()) {
      const std::vector<std::string> out = lines_of(run.out);
      EXPECT_TRUE(!out.empty() && std::regex_match(out[0], std::regex(row.summary))) << run.out;
    }
    // Nothing half-written anywhere: the output folder holds the output alone.
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir / "out")) left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"setup.exe"});
    const bool replaces_output = row.exit_code == 0 && row.args.size() == 1;
    if (!replaces_output) {
      EXPECT_EQ(read_all(dir / "out/setup.exe"), good_output) << "the earlier output changed";
    }
  }
}

}  // namespace
}  // namespace halvard::builder
