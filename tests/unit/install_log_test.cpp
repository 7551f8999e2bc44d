// The installation log: the header with its date, the finished text and the plan of
// how the end of the run reports.
#include "records/install_log.h"

#include <gtest/gtest.h>

namespace halvard {
namespace {

LogHeader sample_header() {
  LogHeader header;
  header.product_name = "Tool Suite";
  header.now = {2026, 3, 7, 7, 14, 5, 9};
  header.uninstall_support = true;
  header.reinstall = false;
  header.install_dir = "C:\\Program Files\\Tool";
  header.product_version = "2.4";
  header.os_description = "Windows 10 (x64)";
  return header;
}

TEST(InstallLog, HeaderWithAFixedDate) {
  EXPECT_EQ(log_header_text(sample_header()),
            "Installation log for: Tool Suite\r\n"
            "Install date: 7-Mar-2026 2:05:09p\r\n"
            "Install type: New\r\n"
            "Install location: C:\\Program Files\\Tool\r\n"
            "Installer version: 26.1\r\n"
            "Product version: 2.4\r\n"
            "Operating system: Windows 10 (x64)\r\n\r\n");

  LogHeader other = sample_header();
  other.now = {2005, 12, 31, 7, 0, 0, 0};
  other.uninstall_support = false;  // no "Install type"
  other.product_version = "  ";     // blank: left out
  other.overwriting_version = "2.3";
  EXPECT_EQ(log_header_text(other),
            "Installation log for: Tool Suite\r\n"
            "Install date: 31-Dec-2005 12:00:00a\r\n"
            "Install location: C:\\Program Files\\Tool\r\n"
            "Installer version: 26.1\r\n"
            "Overwriting version: 2.3\r\n"
            "Operating system: Windows 10 (x64)\r\n\r\n");

  other.uninstall_support = true;
  other.reinstall = true;
  EXPECT_NE(log_header_text(other).find("\r\nInstall type: Reinstall\r\n"), std::string::npos);
}

TEST(InstallLog, HeaderFromSettings) {
  InstallSettings settings;
  settings.ProductName = "P";
  settings.InstallDir = "D:\\P";
  settings.DisplayVersion = "1.0";
  const LogHeader header =
      make_log_header(settings, {2026, 1, 2, 6, 3, 4, 5}, "OS", true, std::nullopt, true);
  EXPECT_EQ(header.product_name, "P");
  EXPECT_EQ(header.install_dir, "D:\\P");
  EXPECT_EQ(header.product_version, "1.0");
  EXPECT_TRUE(header.uninstall_support);
  EXPECT_TRUE(header.reinstall);
  EXPECT_FALSE(header.overwriting_version);
  EXPECT_EQ(header.os_description, "OS");
}

TEST(InstallLog, FinishedText) {
  InstallLog log;
  log.write("File one\r\n");
  log.write("File two\r\n");
  const std::string header = log_header_text(sample_header());

  EXPECT_EQ(finish_log_text(sample_header(), false, log.text(), "", "Setup complete"),
            header + "File one\r\nFile two\r\n\r\nSetup complete\r\n");
  EXPECT_EQ(
      finish_log_text(sample_header(), true, log.text(), "C:\\x could not be written\r\n",
                      "unused"),
      "\r\n\r\n" + std::string(46, '*') + "\r\n" + header +
          "File one\r\nFile two\r\n\r\n*** FAILURE SUMMARY ***\r\nC:\\x could not be written\r\n");

  log.release();
  EXPECT_TRUE(log.empty());
}

TEST(InstallLog, HowTheEndOfTheRunReports) {
  struct Case {
    const char* name;
    FinishLogInputs in;
    FinishLogPlan plan;
  };
  auto flags = [](uint32_t low, uint32_t high) { return ProductFlagWords{low, high}; };
  const Case cases[] = {
      {"silent", {flags(0, 0), true, true, false, false}, {FinishReport::None, false, false}},
      {"silent with failures writes",
       {flags(0, 0), true, true, false, true},
       {FinishReport::None, false, true}},
      {"crash path: no report",
       {flags(product_flag::low_keep_log, 0), false, false, true, false},
       {FinishReport::None, false, true}},
      {"failures ask",
       {flags(0, 0), false, true, true, true},
       {FinishReport::AskToViewLog, false, true}},
      {"plain success",
       {flags(0, 0), false, true, false, false},
       {FinishReport::CompletedBox, true, false}},
      {"finish choices",
       {flags(0, 0), false, true, true, false},
       {FinishReport::SummaryPage, true, false}},
      {"view log withdrawn without a kept log",
       {flags(0, product_flag::high_offer_view_log), false, true, false, false},
       {FinishReport::CompletedBox, true, false}},
      {"view log offered with a kept log",
       {flags(product_flag::low_keep_log, product_flag::high_offer_view_log), false, true, false, false},
       {FinishReport::SummaryPage, false, true}},
      {"reboot wanted",
       {flags(0, 0), false, true, true, false, true},
       {FinishReport::CompletedBox, true, false}},
      {"no report wanted",
       {flags(product_flag::low_no_completion_notice, product_flag::high_offer_view_log), false, true, true, false},
       {FinishReport::None, false, false}},
      {"no report wanted, failures ask",
       {flags(product_flag::low_no_completion_notice, 0), false, true, false, true},
       {FinishReport::AskToViewLog, false, true}},
  };
  for (const Case& c : cases) {
    const FinishLogPlan plan = plan_finish_log(c.in);
    EXPECT_EQ(plan.report, c.plan.report) << c.name;
    EXPECT_EQ(plan.withdraw_view_log, c.plan.withdraw_view_log) << c.name;
    EXPECT_EQ(plan.write_file, c.plan.write_file) << c.name;
  }

  InstallSettings settings;
  settings.ExitOpenFile = "readme.txt";
  settings.AutomaticMode = true;
  const FinishLogInputs in = finish_log_inputs(settings, true, "x", true);
  EXPECT_TRUE(in.has_finish_choices);
  EXPECT_TRUE(in.automatic_mode);
  EXPECT_TRUE(in.failures);
  EXPECT_TRUE(in.reboot_wanted);
}

TEST(InstallLog, MessageFilling) {
  EXPECT_EQ(fill_message("See %s for details (100%).", "C:\\Install.LOG"),
            "See C:\\Install.LOG for details (100%).");
  EXPECT_EQ(fill_message("%d %n %s %s", "x"), "%d %n x %s");
  EXPECT_EQ(fill_message("none", "x"), "none");
}

}  // namespace
}  // namespace halvard
