// Deleting registry keys whole, only when empty, and upward while empty, on Wine's real
// registry under a test key of the current user.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "foundation/registry_access_win.h"

namespace halvard {
namespace {

constexpr char test_root[] = "Software\\Halvard Registry Test";

bool exists(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

void make(const std::string& path, const char* value = nullptr) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  if (value) RegSetValueExA(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
  RegCloseKey(key);
}

class RegistryAccess : public ::testing::Test {
 protected:
  void TearDown() override { delete_key_tree(HKEY_CURRENT_USER, test_root); }
  std::string at(const std::string& rest) const { return std::string(test_root) + "\\" + rest; }
};

TEST_F(RegistryAccess, TreeGoesWithEverythingBelowIt) {
  make(at("Product\\A\\B"), "value");
  make(at("Product\\C"));
  EXPECT_EQ(delete_key_tree(HKEY_CURRENT_USER, at("Product")), ERROR_SUCCESS);
  EXPECT_FALSE(exists(at("Product")));
  EXPECT_TRUE(exists(test_root));
  EXPECT_EQ(delete_key_tree(HKEY_CURRENT_USER, at("Product")), ERROR_SUCCESS) << "a missing key counts as deleted";
}

TEST_F(RegistryAccess, OnlyAnEmptyKeyGoesWhenAskedToGoIfEmpty) {
  make(at("Holds a value"), "value");
  make(at("Holds a key\\Child"));
  make(at("Empty"));
  EXPECT_FALSE(delete_key_if_empty(HKEY_CURRENT_USER, at("Holds a value")));
  EXPECT_FALSE(delete_key_if_empty(HKEY_CURRENT_USER, at("Holds a key")));
  EXPECT_TRUE(delete_key_if_empty(HKEY_CURRENT_USER, at("Empty")));
  EXPECT_TRUE(exists(at("Holds a value")));
  EXPECT_TRUE(exists(at("Holds a key\\Child")));
  EXPECT_FALSE(exists(at("Empty")));
}

TEST_F(RegistryAccess, EmptyParentsGoUpToTheFirstThatHoldsSomething) {
  make(at("Maker"), "kept");
  make(at("Maker\\Suite\\Product"));
  ASSERT_EQ(delete_key_tree(HKEY_CURRENT_USER, at("Maker\\Suite\\Product")), ERROR_SUCCESS);
  delete_empty_parents(HKEY_CURRENT_USER, at("Maker\\Suite\\Product"), 0, 20);
  EXPECT_FALSE(exists(at("Maker\\Suite")));
  EXPECT_TRUE(exists(at("Maker")));
}

TEST_F(RegistryAccess, TheWalkUpStopsAtItsLevelsAndItsShortestPath) {
  make(at("A\\B\\C\\D"));
  ASSERT_EQ(delete_key_tree(HKEY_CURRENT_USER, at("A\\B\\C\\D")), ERROR_SUCCESS);
  delete_empty_parents(HKEY_CURRENT_USER, at("A\\B\\C\\D"), 0, 1);
  EXPECT_FALSE(exists(at("A\\B\\C")));
  EXPECT_TRUE(exists(at("A\\B")));
  // "<root>\A" is shorter than the limit given, so it stays although it is empty.
  delete_empty_parents(HKEY_CURRENT_USER, at("A\\B\\C"), 0, 20, at("A\\B").size());
  EXPECT_FALSE(exists(at("A\\B")));
  EXPECT_TRUE(exists(at("A")));
}

}  // namespace
}  // namespace halvard
