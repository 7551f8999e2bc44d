#include "foundation/crash_report.h"

#include <gtest/gtest.h>

namespace halvard {
namespace {

TEST(CrashReport, ExceptionNames) {
  EXPECT_STREQ(exception_name(0xC0000005), "Illegal memory access.");
  EXPECT_STREQ(exception_name(0xC0000094), "Integer divide by zero.");
  EXPECT_STREQ(exception_name(0xC00000FD), "Stack overflow.");
  EXPECT_STREQ(exception_name(0xE06D7363), "Visual C++ structured exception handling.");
  EXPECT_STREQ(exception_name(0x12345678), "");
  EXPECT_STREQ(exception_name(0), "");
}

TEST(CrashReport, MillisecondPhrases) {
  const std::pair<int64_t, const char*> cases[] = {
      {0, "0 milliseconds"},
      {1, "1 millisecond"},
      {999, "999 milliseconds"},
      {1000, "1.0 seconds"},
      {1550, "1.6 seconds"},
      {1250, "1.3 seconds"},  // a half rounds up, though 1.25 is exact in binary
      {1249, "1.2 seconds"},
      {99999, "100.0 seconds"},
      {100000, "1 minute, 40 seconds"},
      {3599999, "59 minutes, 59 seconds"},
      {3600000, "1 hour, 0 minutes"},
      {1439 * 60000LL + 59000, "23 hours, 59 minutes"},
      {1440 * 60000LL, "1 day, 0 hours"},
      {3 * 86400000LL + 7200000, "3 days, 2 hours"},
  };
  for (const auto& [ms, phrase] : cases) EXPECT_EQ(milliseconds_phrase(ms), phrase) << ms;
}

CrashFacts sample_facts() {
  CrashFacts f;
  f.code = 0xC0000005;
  f.address = 0x401A2B;
  f.access_violation_details = true;
  f.write_access = true;
  f.memory_address = 0x10;
  f.product = "Halvard Setup  ";
  f.module = "setup.exe";
  f.thread_id = 36;
  f.main_thread_id = 36;
  f.times = CrashProcessTimes{5, 12, 1500};
  f.os = "Windows 6.1 (build 7601)";
  f.ie = "8.0";
  f.language = "English (United States)";
  f.locale = 0x409;
  f.code_page = 1252;
  f.registers = {{"Flags", 0x246, 8}, {"EAX", 0x10, 8}, {"SS", 0x2B, 8}};
  f.modules = {{0x7B000000, 0x1000, "C:\\windows\\system32\\kernel32.dll"}, {0x400000, 0x2000, "C:\\setup.exe"}};
  f.frames = {{0x0012FF80, 0x401A2B, "SETUP.EXE", "crash_here"}, {0x0012FFA0, 0x401000, "SETUP.EXE", ""}};
  return f;
}

TEST(CrashReport, TextLineByLine) {
  EXPECT_EQ(build_report(sample_facts()),
            "Exception: Illegal memory access.\r\n"
            "\r\nProduct: Halvard Setup  \r\n"
            "Exception code: C0000005\r\nAddress: 00401A2B\r\n"
            "Module: setup.exe\r\n"
            "Read/write: write\r\nMemory address: 00000010\r\n"
            "Thread ID: 36  Main Thread: 36\r\n"
            "Process/kernel/user time: 5 seconds / 12 milliseconds / 1.5 seconds\r\n"
            "OS: Windows 6.1 (build 7601)\r\nIE: 8.0\r\nLanguage: English (United States)\r\n"
            "Locale: 0x409  Codepage: 1252\r\n"
            "\r\nCPU Registers:\r\nFlags: 00000246\r\n  EAX: 00000010\r\n   SS: 0000002B"
            "\r\n\r\nModules:\r\n"
            "00400000 00401FFF C:\\setup.exe\r\n"
            "7B000000 7B000FFF C:\\windows\\system32\\kernel32.dll\r\n"
            "\r\nCall Stack:\r\n"
            "0012FF80 00401A2B SETUP.EXE crash_here\r\n"
            "0012FFA0 00401000 SETUP.EXE\r\n");
}

TEST(CrashReport, OptionalLinesAndWideAddresses) {
  CrashFacts f = sample_facts();
  f.code = 0xC0000094;
  f.access_violation_details = false;
  f.module.clear();
  f.times.reset();
  f.earlier_out_of_memory = true;
  f.modules.clear();
  f.frames.clear();
  f.address_digits = 16;
  f.address = 0x140001A2B;
  f.registers = {{"Flags", 0x246, 8}, {"RAX", 0x7FF612345678, 16}, {"R8", 1, 16}};
  std::string report = build_report(f);
  EXPECT_NE(report.find("Exception: Integer divide by zero.\r\n"), std::string::npos);
  EXPECT_NE(report.find("Address: 0000000140001A2B\r\n"), std::string::npos);
  EXPECT_EQ(report.find("Read/write"), std::string::npos);
  EXPECT_EQ(report.find("Module:"), std::string::npos);
  EXPECT_EQ(report.find("Process/kernel/user time"), std::string::npos);
  EXPECT_NE(report.find("A previous out-of-memory condition occurred.\r\n"), std::string::npos);
  EXPECT_NE(report.find("  RAX: 00007FF612345678\r\n   R8: 0000000000000001\r\nCall Stack:\r\n"), std::string::npos);
  EXPECT_EQ(report.find("Modules:"), std::string::npos);
  EXPECT_TRUE(report.ends_with("Call Stack:\r\n"));
}

}  // namespace
}  // namespace halvard
