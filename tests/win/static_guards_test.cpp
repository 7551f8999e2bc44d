// The engine's guards of function-local statics, linked into this program as into the
// engine: one initialisation however many threads arrive at once, and a new attempt
// after an initialiser that failed.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

std::atomic<int> slow_initialisations{0};

const int& slow_value() {
  static const int value = [] {
    Sleep(100);
    return ++slow_initialisations;
  }();
  return value;
}

int failing_attempts = 0;

int value_after_one_failure() {
  static const int value = [] {
    if (++failing_attempts == 1) throw std::runtime_error("first attempt fails");
    return failing_attempts;
  }();
  return value;
}

TEST(StaticGuards, ThreadsArrivingTogetherSeeOneInitialisation) {
  std::atomic<bool> go{false};
  std::vector<const int*> seen(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i)
    threads.emplace_back([&, i] {
      while (!go) SwitchToThread();
      seen[i] = &slow_value();
    });
  go = true;
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(slow_initialisations, 1);
  for (const int* value : seen) {
    EXPECT_EQ(value, seen[0]);
    EXPECT_EQ(*value, 1);
  }
}

TEST(StaticGuards, AFailedInitialisationIsTriedAgain) {
  EXPECT_THROW(value_after_one_failure(), std::runtime_error);
  EXPECT_EQ(value_after_one_failure(), 2);
  EXPECT_EQ(value_after_one_failure(), 2);
}

}  // namespace
