#include "crash/exception_free.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace halvard {
namespace {

TEST(FallibleResize, SizesPastWhatTheContainerAddressesLeaveItAsItWas) {
  std::vector<uint8_t> bytes{1, 2, 3};
  std::string text = "abc";
  EXPECT_FALSE(fallible_resize(bytes, bytes.max_size() + size_t(1)));
  EXPECT_FALSE(fallible_resize(text, text.max_size() + size_t(1)));
  EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(text, "abc");
}

TEST(FallibleResize, MemoryNoMachineHasLeavesTheBufferAsItWas) {
#ifdef __SANITIZE_ADDRESS__
  // The sanitizer ends the run on such a request unless told to answer null; the test
  // fallible_resize_memory runs this case so.
  const char* options = std::getenv("ASAN_OPTIONS");
  if (!options || !std::strstr(options, "allocator_may_return_null=1")) GTEST_SKIP();
#endif
  std::vector<uint8_t> bytes{1, 2, 3};
  std::string text = "abc";
  EXPECT_FALSE(fallible_resize(bytes, bytes.max_size()));
  EXPECT_FALSE(fallible_resize(text, size_t(1) << 62));
  EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(text, "abc");
}

TEST(FallibleResize, GrowsWithZerosAndShrinksKeepingTheFront) {
  std::vector<uint8_t> bytes{7, 8};
  ASSERT_TRUE(fallible_resize(bytes, 5));
  EXPECT_EQ(bytes, (std::vector<uint8_t>{7, 8, 0, 0, 0}));
  ASSERT_TRUE(fallible_resize(bytes, 1));
  EXPECT_EQ(bytes, (std::vector<uint8_t>{7}));
  std::string text = "xy";
  ASSERT_TRUE(fallible_resize(text, 4));
  EXPECT_EQ(text, std::string("xy\0\0", 4));
}

TEST(FallibleResize, GrowingAPieceAtATimeReallocatesRarely) {
  std::vector<uint8_t> bytes;
  int reallocations = 0;
  for (size_t size = 1; size <= 100000; ++size) {
    const size_t capacity = bytes.capacity();
    ASSERT_TRUE(fallible_resize(bytes, size));
    reallocations += bytes.capacity() != capacity;
  }
  EXPECT_LE(reallocations, 20);
}

TEST(RanWithoutException, TellsAStepThatThrewFromOneThatDidNot) {
  int steps = 0;
  EXPECT_TRUE(ran_without_exception([&] { ++steps; }));
  EXPECT_FALSE(ran_without_exception([&] {
    ++steps;
    throw std::runtime_error("gone");
  }));
  EXPECT_EQ(steps, 2);
}

}  // namespace
}  // namespace halvard
