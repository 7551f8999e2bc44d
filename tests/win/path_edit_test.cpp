// PATH editing against Wine's real environment value and real files. Every registry
// test puts "Path" back byte for byte; test values keep the original entries in front,
// so that programs started meanwhile still find the system folders.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "file_test_support.h"
#include "machine/path_edit.h"
#include "machine/path_edit_win.h"

namespace halvard {
namespace {

using test::read_all;
using test::ScratchFolder;
using test::write_all;

using test::RawValue;

RawValue read_raw() { return test::read_raw_value(environment_key, L"Path"); }
void write_raw(const RawValue& value) { ASSERT_TRUE(test::write_raw_value(environment_key, L"Path", value)); }

RawValue text_value(DWORD type, const std::wstring& text) {
  RawValue value{true, type, {}};
  const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
  value.data.assign(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
  return value;
}

std::wstring text_of(const RawValue& value) {
  std::wstring text(reinterpret_cast<const wchar_t*>(value.data.data()), value.data.size() / sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

class EnvironmentPath : public ::testing::Test {
 protected:
  void SetUp() override {
    original_ = read_raw();
    ASSERT_TRUE(original_.present) << "the prefix has no system Path";
    system_ = text_of(original_);
    ASSERT_FALSE(system_.empty());
    if (system_.back() == L';') system_.pop_back();
  }
  void TearDown() override { write_raw(original_); }

  // Sets "Path" to the system's own entries followed by `tail`.
  void set_path(const std::wstring& tail, DWORD type = REG_EXPAND_SZ) {
    write_raw(text_value(type, system_ + tail));
  }
  // The entries after the system's own; "?" when those are no longer in front.
  std::string tail() const {
    std::wstring text = text_of(read_raw());
    if (text.compare(0, system_.size(), system_) != 0) return "?" + narrow(text);
    return narrow(text.substr(system_.size()));
  }

  RawValue original_;
  std::wstring system_;
};

TEST_F(EnvironmentPath, AddingTwiceGivesOneEntryOfTheSameType) {
  for (DWORD type : {DWORD{REG_EXPAND_SZ}, DWORD{REG_SZ}}) {
    SCOPED_TRACE(type);
    set_path(L";%SystemRoot%\\Halvard-Test", type);
    EXPECT_EQ(add_to_path("C:\\Program Files\\Halvard App"), "");
    EXPECT_EQ(add_to_path("C:\\Program Files\\Halvard App"), "");
    EXPECT_EQ(tail(), ";%SystemRoot%\\Halvard-Test;C:\\Program Files\\Halvard App");
    EXPECT_EQ(read_raw().type, type);
    // The stored text ends with its null, as the system writes it.
    RawValue raw = read_raw();
    ASSERT_GE(raw.data.size(), 2u);
    EXPECT_EQ(raw.data[raw.data.size() - 1], 0);
    EXPECT_EQ(raw.data[raw.data.size() - 2], 0);
  }
}

TEST_F(EnvironmentPath, RemovesMiddleAndLastEntriesWithoutRegardToCase) {
  struct Case {
    const wchar_t* before;
    const char* dir;
    const char* after;
  };
  const Case cases[] = {
      {L";C:\\Halvard App;C:\\Tools", "C:\\Halvard App", ";C:\\Tools"},
      {L";C:\\Tools;C:\\Halvard App", "C:\\Halvard App", ";C:\\Tools"},
      {L";C:\\HALVARD APP;C:\\Tools", "c:\\halvard app", ";C:\\Tools"},
      {L";C:\\Halvard App\\bin;C:\\Tools", "C:\\Halvard App", ";C:\\Halvard App\\bin;C:\\Tools"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dir);
    set_path(c.before);
    EXPECT_EQ(remove_from_path(c.dir), "");
    EXPECT_EQ(tail(), c.after);
    EXPECT_EQ(read_raw().type, DWORD{REG_EXPAND_SZ});
  }
}

TEST_F(EnvironmentPath, UsesTheSystemCaseFoldingBeyondAscii) {
  set_path(L";C:\\\u00C4pfel");
  // "|" + UTF-8 of "c:\äpfel".
  EXPECT_EQ(remove_from_path("|c:\\\xC3\xA4pfel"), "");
  EXPECT_EQ(tail(), "");
}

TEST_F(EnvironmentPath, EmptyMissingOrNonTextValueIsLeftAlone) {
  const RawValue empty = text_value(REG_EXPAND_SZ, L"");
  const DWORD number = 7;
  const RawValue not_text{true, REG_DWORD, {reinterpret_cast<const BYTE*>(&number),
                                            reinterpret_cast<const BYTE*>(&number) + sizeof number}};
  const RawValue missing;
  for (const RawValue* value : {&empty, &not_text, &missing}) {
    for (bool add : {true, false}) {
      write_raw(*value);
      EXPECT_EQ(edit_environment_path("C:\\Halvard App", add), "");
      RawValue after = read_raw();
      EXPECT_EQ(after.present, value->present);
      EXPECT_EQ(after.type, value->type);
      EXPECT_EQ(after.data, value->data);
    }
  }
}

class AutoexecPath : public ::testing::Test {
 protected:
  ScratchFolder scratch_;
  std::string autoexec_ = scratch_.file("autoexec.bat");
  std::string dir_ = scratch_.file("Halvard Application Folder");
  std::string short_dir_;

  void SetUp() override {
    ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), nullptr));
    char buffer[MAX_PATH];
    DWORD length = GetShortPathNameA(dir_.c_str(), buffer, MAX_PATH);
    ASSERT_TRUE(length > 0 && length < MAX_PATH);
    short_dir_.assign(buffer, length);
  }
};

TEST_F(AutoexecPath, AddingCreatesTheFileOnceAndRemovingTakesTheLineOut) {
  const std::string line = "PATH=%PATH%;" + short_dir_ + "\r\n";
  EXPECT_EQ(edit_autoexec_path(autoexec_, dir_, true), "");
  EXPECT_EQ(read_all(autoexec_), line);
  EXPECT_EQ(edit_autoexec_path(autoexec_, dir_, true), "");
  EXPECT_EQ(read_all(autoexec_), line);

  write_all(autoexec_, "@ECHO OFF\r\n" + line + "SET TEMP=C:\\TEMP\r\n");
  EXPECT_EQ(edit_autoexec_path(autoexec_, dir_, false), "");
  EXPECT_EQ(read_all(autoexec_), "@ECHO OFF\r\nSET TEMP=C:\\TEMP\r\n");
}

TEST_F(AutoexecPath, RemovingAfterTheFolderIsGoneTakesTheLongForm) {
  write_all(autoexec_, "@ECHO OFF\r\nPATH=%PATH%;" + dir_ + "\r\n");
  ASSERT_TRUE(RemoveDirectoryA(dir_.c_str()));
  EXPECT_EQ(edit_autoexec_path(autoexec_, dir_, false), "");
  EXPECT_EQ(read_all(autoexec_), "@ECHO OFF\r\n");
}

TEST_F(AutoexecPath, MissingFileOnRemovalIsReported) {
  EXPECT_EQ(edit_autoexec_path(autoexec_, dir_, false),
            "Unable to modify " + autoexec_ + ".  You will need to manually remove " + dir_ +
                " from the PATH environment variable.\r\n\r\n");
  EXPECT_EQ(GetFileAttributesA(autoexec_.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(AutoexecPath, UnwritableFileIsReportedAndKept) {
  write_all(autoexec_, "@ECHO OFF\r\n");
  test::ReadOnlyFile read_only(autoexec_);
  if (!read_only.holds()) GTEST_SKIP() << "writing could not be stopped here";
  EXPECT_EQ(edit_autoexec_path(autoexec_, dir_, true),
            "Unable to modify " + autoexec_ + ".  You will need to manually add " + dir_ +
                " to the PATH environment variable.\r\n\r\n");
  EXPECT_EQ(read_all(autoexec_), "@ECHO OFF\r\n");
}

}  // namespace
}  // namespace halvard
