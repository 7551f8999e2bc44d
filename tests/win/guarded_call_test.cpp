#include <gtest/gtest.h>

#include <stdexcept>

#include "foundation/guarded_call_win.h"

namespace halvard {
namespace {

volatile int zero = 0;
volatile int sink = 0;
// Read at run time, so that the compiler sees no constant address to warn about.
volatile uintptr_t low_address = 0x10;

void write_low_address() { *reinterpret_cast<volatile int*>(low_address) = 1; }
void read_low_address() { sink = *reinterpret_cast<volatile int*>(low_address); }
void divide_by_zero() { sink = 7 / zero; }
void illegal_instruction() { __builtin_trap(); }

TEST(GuardedCall, EachProcessorFaultComesBackAsAResultAndTheThreadGoesOn) {
  struct Case {
    const char* name;
    void (*fault)();
    DWORD code;
  };
  const Case cases[] = {
      {"write to 0x10", write_low_address, EXCEPTION_ACCESS_VIOLATION},
      {"read from 0x10", read_low_address, EXCEPTION_ACCESS_VIOLATION},
      {"divide by zero", divide_by_zero, EXCEPTION_INT_DIVIDE_BY_ZERO},
      {"illegal instruction", illegal_instruction, EXCEPTION_ILLEGAL_INSTRUCTION},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Locals of the caller must survive the landing: registers are restored, not lost.
    int before = 41;
    std::string text = "kept";
    GuardedCallResult result = guarded_call([&] { c.fault(); });
    EXPECT_TRUE(result.faulted);
    EXPECT_EQ(result.exception_code, c.code);
    EXPECT_EQ(before + 1, 42);
    EXPECT_EQ(text, "kept");
  }
}

TEST(GuardedCall, ACallThatReturnsIsNotAFault) {
  int calls = 0;
  GuardedCallResult result = guarded_call([&] { ++calls; });
  EXPECT_FALSE(result.faulted);
  EXPECT_EQ(calls, 1);
}

TEST(GuardedCall, ExceptionsThrownAndCaughtInsideTheCallPassThrough) {
  bool caught = false;
  GuardedCallResult result = guarded_call([&] {
    try {
      throw std::runtime_error("inside");
    } catch (const std::exception&) {
      caught = true;
    }
  });
  EXPECT_FALSE(result.faulted);
  EXPECT_TRUE(caught);
}

TEST(GuardedCall, NestedGuardsEachCatchTheirOwnFault) {
  GuardedCallResult inner;
  bool after_inner = false;
  GuardedCallResult outer = guarded_call([&] {
    inner = guarded_call(write_low_address);
    after_inner = true;
    divide_by_zero();
  });
  EXPECT_TRUE(inner.faulted);
  EXPECT_EQ(inner.exception_code, DWORD(EXCEPTION_ACCESS_VIOLATION));
  EXPECT_TRUE(after_inner);
  EXPECT_TRUE(outer.faulted);
  EXPECT_EQ(outer.exception_code, DWORD(EXCEPTION_INT_DIVIDE_BY_ZERO));
}

TEST(GuardedCall, ManyFaultsInARowLeaveTheStackAsItWas) {
  // Each landing is below its fault and jumps back up: the stack must not creep.
  for (int i = 0; i < 2000; ++i) ASSERT_TRUE(guarded_call(write_low_address).faulted) << i;
  EXPECT_FALSE(guarded_call([] {}).faulted);
}

}  // namespace
}  // namespace halvard
