#pragma once
// Files and the fixed build date that the builder's tests share.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace halvard::builder_test {

// An environment lookup with SOURCE_DATE_EPOCH fixed: the same bytes on every run.
inline std::string fixed_epoch(const char* name) {
  return std::string(name) == "SOURCE_DATE_EPOCH" ? "1700000000" : "";
}

// An empty folder of its own for the running test: `prefix` plus the test's name.
inline std::filesystem::path fresh_test_folder(const std::string& prefix) {
  std::filesystem::path dir = std::filesystem::temp_directory_path() /
                              (prefix + ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::remove_all(dir);
  return dir;
}

inline std::vector<uint8_t> read_all(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_file(const std::filesystem::path& p, std::string_view bytes) {
  std::filesystem::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

}  // namespace halvard::builder_test
