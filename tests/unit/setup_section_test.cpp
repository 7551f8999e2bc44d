#include "package/setup_section.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace halvard {
namespace {

// A minimal PE header image: DOS header, PE header, optional header, section table.
struct PeImage {
  std::vector<uint8_t> bytes = std::vector<uint8_t>(4096, 0);
  uint32_t e_lfanew = 128;
  uint16_t optional_header_size = 224;

  void put16(size_t at, uint16_t v) { bytes[at] = uint8_t(v), bytes[at + 1] = uint8_t(v >> 8); }
  void put32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(v >> (8 * i));
  }
  size_t entry(int i) const { return e_lfanew + 24 + optional_header_size + size_t(i) * 40; }

  explicit PeImage(std::vector<std::string> names) {
    put32(60, e_lfanew);
    put16(e_lfanew + 6, uint16_t(names.size()));
    put16(e_lfanew + 20, optional_header_size);
    for (size_t i = 0; i < names.size(); ++i) {
      std::memcpy(&bytes[entry(int(i))], names[i].data(), std::min<size_t>(8, names[i].size()));
      put32(entry(int(i)) + 12, 0x1000 * uint32_t(i + 1));
      put32(entry(int(i)) + 16, 0x200 * uint32_t(i + 1));
      put32(entry(int(i)) + 20, 0x400 * uint32_t(i + 1));
    }
  }

  ReadAt reader() const {
    return [this](uint64_t offset, void* out, size_t size) {
      if (offset > bytes.size() || size > bytes.size() - offset) return false;
      std::memcpy(out, &bytes[offset], size);
      return true;
    };
  }
};

using Outcome = SetupSectionLocation::Outcome;

TEST(SetupSectionTest, FindsTheFirstExactMatch) {
  PeImage pe({".text", ".rdata", ".data", ".setup", ".setup"});
  SetupSectionLocation s = locate_setup_section(pe.reader());
  ASSERT_EQ(s.outcome, Outcome::found);
  EXPECT_EQ(s.section_index, 3);
  EXPECT_EQ(s.VirtualAddress, 0x4000u);
  EXPECT_EQ(s.SizeOfRawData, 0x800u);
  EXPECT_EQ(s.PointerToRawData, 0x1000u);
}

TEST(SetupSectionTest, NameMustMatchExactly) {
  for (const char* name : {".setupx", ".SETUP", ".setu", "setup"}) {
    PeImage pe({".text", ".rdata", ".data", name});
    EXPECT_EQ(locate_setup_section(pe.reader()).outcome, Outcome::not_present) << name;
  }
}

TEST(SetupSectionTest, HeaderChecksGiveTheirPackageErrors) {
  struct Case {
    const char* what;
    void (*damage)(PeImage&);
    int code;
  } cases[] = {
      {"e_lfanew below 64", [](PeImage& pe) { pe.put32(60, 63); }, 43},
      {"e_lfanew above 4096", [](PeImage& pe) { pe.put32(60, 4097); }, 43},
      {"e_lfanew with high bits", [](PeImage& pe) { pe.put32(60, 0x10080); }, 43},
      {"three sections", [](PeImage& pe) { pe.put16(pe.e_lfanew + 6, 3); }, 44},
      {"a hundred sections", [](PeImage& pe) { pe.put16(pe.e_lfanew + 6, 100); }, 44},
      {"file too short for e_lfanew", [](PeImage& pe) { pe.bytes.resize(62); }, 43},
      {"file too short for the section count", [](PeImage& pe) { pe.bytes.resize(pe.e_lfanew + 7); }, 44},
      {"section at file offset 0", [](PeImage& pe) { pe.put32(pe.entry(3) + 20, 0); }, 9},
  };
  for (const Case& c : cases) {
    PeImage pe({".text", ".rdata", ".data", ".setup"});
    c.damage(pe);
    SetupSectionLocation s = locate_setup_section(pe.reader());
    EXPECT_EQ(s.outcome, Outcome::package_error) << c.what;
    EXPECT_EQ(s.package_error, c.code) << c.what;
  }
}

TEST(SetupSectionTest, TruncatedSectionTableIsNoPackage) {
  PeImage pe({".text", ".rdata", ".data", ".setup"});
  pe.bytes.resize(pe.entry(3) + 4);
  EXPECT_EQ(locate_setup_section(pe.reader()).outcome, Outcome::not_present);
}

}  // namespace
}  // namespace halvard
