#include "crash/fatal_error.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace halvard {
namespace {

void show_on_stderr(const char* text) { std::fprintf(stderr, "[shown] %s", text); }
void clean_up_one() { std::fputs("[cleanup one]", stderr); }
void clean_up_throws() { throw 1; }
void clean_up_two() { std::fputs("[cleanup two]", stderr); }
void clean_up_fails_fatally() { fatal_error("second entry"); }

TEST(FatalErrorDeathTest, RunsCallbacksThenShowsTextAndExitsWithOne) {
  EXPECT_EXIT(
      {
        add_exit_callback(clean_up_one);
        add_exit_callback(clean_up_throws);
        add_exit_callback(clean_up_two);
        set_fatal_display(show_on_stderr);
        fatal_error("Error code %d", 47);
      },
      testing::ExitedWithCode(1), R"(\[cleanup one\]\[cleanup two\]\[shown\] Error code 47)");
}

TEST(FatalErrorDeathTest, SecondEntryExitsWithoutAnotherPass) {
  EXPECT_EXIT(
      {
        add_exit_callback(clean_up_fails_fatally);
        add_exit_callback(clean_up_one);
        set_fatal_display(show_on_stderr);
        fatal_error("first");
      },
      testing::ExitedWithCode(1), "^$");
}

TEST(FatalErrorDeathTest, InternalErrorNamesModuleAndLine) {
  EXPECT_EXIT(
      {
        set_fatal_display(show_on_stderr);
        internal_error("table.cpp", 12);
      },
      testing::ExitedWithCode(1), "Internal Fatal Error\r\nModule: table.cpp\r\nLine: 12");
}

TEST(FatalErrorDeathTest, TextIsCutAtTheBufferLimit) {
  EXPECT_EXIT(
      {
        set_fatal_display([](const char* text) { std::fprintf(stderr, "length=%zu", std::string(text).size()); });
        fatal_error("%s", std::string(10000, 'x').c_str());
      },
      testing::ExitedWithCode(1), "length=4095");
}

TEST(FatalErrorTest, ExitCallbackTableHoldsAHundred) {
  // Run in a death-test child so the process-wide table of this process stays empty.
  EXPECT_EXIT(
      {
        int added = 0;
        while (add_exit_callback(clean_up_one) && added < 1000) ++added;
        std::fprintf(stderr, "added=%d", added);
        std::_Exit(0);
      },
      testing::ExitedWithCode(0), "added=100");
}

}  // namespace
}  // namespace halvard
