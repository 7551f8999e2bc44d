#include "records/background_picture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace halvard {
namespace {

std::vector<uint8_t> info_picture(uint16_t bits, uint32_t compression, uint32_t colours_used, size_t pixels) {
  std::vector<uint8_t> p(40, 0);
  p[0] = 40;
  p[4] = 2;   // width
  p[8] = 2;   // height
  p[12] = 1;  // planes
  p[14] = uint8_t(bits);
  p[16] = uint8_t(compression);
  p[32] = uint8_t(colours_used);
  p.resize(p.size() + pixels, 0x5A);
  return p;
}

uint32_t u32_at(const std::string& s, size_t at) {
  return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 | uint32_t(uint8_t(s[at + 2])) << 16 |
         uint32_t(uint8_t(s[at + 3])) << 24;
}

TEST(BackgroundPicture, FileHeaderPointsAtThePixels) {
  struct Case {
    const char* what;
    std::vector<uint8_t> picture;
    uint32_t pixels_at;
  };
  std::vector<uint8_t> core(12, 0);
  core[0] = 12;
  core[10] = 4;  // 16 colours of 3 bytes
  core.resize(12 + 48 + 8);
  const Case cases[] = {
      {"8 bits, full palette", info_picture(8, 0, 0, 1024 + 8), 14 + 40 + 1024},
      {"8 bits, 3 colours used", info_picture(8, 0, 3, 12 + 8), 14 + 40 + 12},
      {"24 bits, no palette", info_picture(24, 0, 0, 16), 14 + 40},
      {"16 bits with masks", info_picture(16, 3, 0, 12 + 8), 14 + 40 + 12},
      {"core header, 4 bits", core, 14 + 12 + 48},
      {"palette beyond the bytes", info_picture(8, 0, 0, 4), 14 + 40 + 4},  // clamped to the file
  };
  for (const Case& c : cases) {
    const std::string file = bitmap_file(c.picture);
    ASSERT_EQ(file.size(), 14 + c.picture.size()) << c.what;
    EXPECT_EQ(file.substr(0, 2), "BM") << c.what;
    EXPECT_EQ(u32_at(file, 2), file.size()) << c.what;
    EXPECT_EQ(u32_at(file, 6), 0u) << c.what;
    EXPECT_EQ(u32_at(file, 10), c.pixels_at) << c.what;
    EXPECT_EQ(picture_of_bitmap_file(file), c.picture) << c.what;
  }
}

TEST(BackgroundPicture, NotABitmapFile) {
  EXPECT_TRUE(picture_of_bitmap_file("").empty());
  EXPECT_TRUE(picture_of_bitmap_file("BM").empty());
  EXPECT_TRUE(picture_of_bitmap_file(std::string(14, 'B')).empty());
  EXPECT_TRUE(picture_of_bitmap_file("XX" + std::string(40, '\0')).empty());
  EXPECT_EQ(picture_of_bitmap_file(bitmap_file({}) + "a").size(), 1u);
}

}  // namespace
}  // namespace halvard
