#include "crash/out_of_memory.h"

#include <gtest/gtest.h>

#include <string>

namespace halvard {
namespace {

TEST(OutOfMemory, TextWithEightValuesALine) {
  uintptr_t stack[10] = {0x11223344, 0x55667788, 1, 2, 3, 4, 5, 6, 7, 0xABCDEF};
  char text[1024];
  size_t length = format_out_of_memory(text, sizeof text, "Free some space.", 4096, stack, 10, 8);
  EXPECT_EQ(std::string(text, length),
            "Out Of Memory.\r\nAdvice: Free some space.\r\nRequested size = 4096 (0x00001000)\r\n\r\nStack contents:"
            "\r11223344 55667788 00000001 00000002 00000003 00000004 00000005 00000006\r00000007 00ABCDEF");
}

TEST(OutOfMemory, CutAtTheBufferAndAlwaysEnded) {
  uintptr_t stack[80] = {};
  for (size_t capacity : {size_t(1), size_t(10), size_t(150), size_t(400)}) {
    std::string buffer(capacity + 8, 'x');
    size_t length = format_out_of_memory(buffer.data(), capacity, "advice", 1, stack, 80, 16);
    EXPECT_LT(length, capacity);
    EXPECT_EQ(buffer[length], '\0');
    EXPECT_EQ(buffer[capacity], 'x');  // nothing written past it
  }
  char none = 'x';
  EXPECT_EQ(format_out_of_memory(&none, 0, "advice", 1, stack, 80, 8), 0u);
  EXPECT_EQ(none, 'x');
}

}  // namespace
}  // namespace halvard
