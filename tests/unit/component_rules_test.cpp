#include "installer/component_rules.h"

#include <gtest/gtest.h>

#include "package/file_record.h"

namespace halvard {
namespace {

TEST(ComponentRules, SharedCountMarkByKindAndKeepFlag) {
  struct Case {
    uint32_t kind, flags;
    std::string_view mark;
  };
  const Case cases[] = {
      {file_kind::shared, 0, ""},
      {file_kind::system, 0, " "},
      {file_kind::com_server, 0, "^"},
      {file_kind::type_library, 0, "\xA9"},
      // A file the uninstaller never removes is marked so whatever its kind.
      {file_kind::shared, file_flag::keep_at_uninstall, " "},
      {file_kind::com_server, file_flag::keep_at_uninstall, " "},
      {file_kind::type_library, file_flag::keep_at_uninstall | file_flag::msi_list, " "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(shared_file_mark(shared_file_kind(c.kind, c.flags)), c.mark) << c.kind << " " << c.flags;
    EXPECT_TRUE(is_shared_count_kind(c.kind));
  }
  for (uint32_t kind : {file_kind::plain, file_kind::font, file_kind::inf_driver, file_kind::msi_package,
                        file_kind::control_panel, file_kind::versioned})
    EXPECT_FALSE(is_shared_count_kind(kind)) << kind;
}

TEST(ComponentRules, AppletNameIsTheRecordsTextElseTheFileName) {
  EXPECT_EQ(applet_name("Demo Settings", "C:\\App\\demo.cpl"), "Demo Settings");
  EXPECT_EQ(applet_name("", "C:\\App\\demo.cpl"), "demo.cpl");
  EXPECT_EQ(applet_name("", "demo.cpl"), "demo.cpl");
}

TEST(ComponentRules, OnlyExeFilesAreBound) {
  for (const char* path : {"C:\\a\\b.exe", "C:\\a\\B.EXE", "x.Exe"}) EXPECT_TRUE(is_bound_executable(path)) << path;
  for (const char* path : {"C:\\a\\b.dll", "C:\\a.exe\\b", "C:\\a\\b.exe2", "C:\\a\\bexe", "C:\\a\\b.ex", "", "."})
    EXPECT_FALSE(is_bound_executable(path)) << path;
}

TEST(ComponentRules, ResultTexts) {
  EXPECT_EQ(msi_result_text(0, "ignored"), "OK\r\n");
  EXPECT_EQ(msi_result_text(1603, "Fatal error during installation."),
            "FAILED code 1603: Fatal error during installation.\r\n");
  EXPECT_EQ(com_result_text(0, ""), "OK\r\n");
  EXPECT_EQ(com_result_text(1, ""), "OK\r\n");  // S_FALSE is a success code
  EXPECT_EQ(com_result_text(int32_t(0x80004005), "Unspecified error"),
            "FAILED, HRESULT 0x80004005: Unspecified error\r\n");
  EXPECT_EQ(com_result_text(int32_t(0x80040201), ""), "FAILED, HRESULT 0x80040201\r\n");
  EXPECT_EQ(com_failure_summary("fails.dll", int32_t(0x80004005), "Unspecified error"),
            "Failed to register COM file fails.dll, HRESULT 0x80004005: Unspecified error\r\n");
  EXPECT_EQ(inf_result_text(false, "", "The system cannot find the file specified."),
            "FAILED!  The system cannot find the file specified.\r\n");
  EXPECT_EQ(inf_result_text(true, "", ""), "OK, but resulting filepath is unknown\r\n");
  EXPECT_EQ(inf_result_text(true, "C:\\windows\\inf\\oem0.inf", ""),
            "OK\r\nFinal driver location: C:\\windows\\inf\\oem0.inf\r\n");
}

}  // namespace
}  // namespace halvard
