#include "records/product_lock.h"

#include <gtest/gtest.h>

#include <string>

namespace halvard {
namespace {

TEST(ProductLock, OneNamePerRegisteredProduct) {
  // The registration's key name ignores case, so the lock must too.
  EXPECT_EQ(product_lock_name("Demo Product"), product_lock_name("DEMO product"));
  EXPECT_NE(product_lock_name("Demo Product"), product_lock_name("Demo Product 2"));
  // A backslash would start a namespace of its own.
  EXPECT_EQ(product_lock_name("Maker\\Tool").find('\\'), std::string::npos);
  EXPECT_NE(product_lock_name("Maker\\Tool"), product_lock_name("Maker"));
}

TEST(ProductLock, LongNamesStayWithinTheLimitAndApart) {
  const std::string start(300, 'a');
  const std::string one = product_lock_name(start + "one");
  const std::string two = product_lock_name(start + "two");
  EXPECT_NE(one, two);
  // Object names are limited to MAX_PATH with the "Global\" namespace in front.
  EXPECT_LT(one.size() + 7, 260u);
  EXPECT_EQ(one.size(), two.size());
}

}  // namespace
}  // namespace halvard
