#include <gtest/gtest.h>
#include <windows.h>

TEST(WineSmokeTest, RunsUnderWindowsApi) { EXPECT_NE(GetCurrentProcessId(), 0u); }
