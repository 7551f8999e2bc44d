#include "package/checksum.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace halvard {
namespace {

TEST(Checksum32Test, WorkedValues) {
  struct Case {
    std::vector<uint8_t> bytes;
    uint32_t sum;
  } cases[] = {
      {{}, 0x79E2BC9D},
      {{0xFF}, 0x79E2BC9D},                         // -1 + length 1
      {{0x01, 0x00, 0x00, 0x00}, 0x79E2BCA2},       // word 1 + length 4
      {{0x80}, 0x79E2BC9Du - 128 + 1},              // tail bytes are signed
      {{0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, 0x79E2BC9Du - 1 + 127 + 5},
  };
  for (const Case& c : cases) EXPECT_EQ(Checksum32(c.bytes), c.sum) << c.bytes.size() << " bytes";
}

TEST(Checksum32Test, PiecesGiveTheSumOfTheWhole) {
  std::mt19937 random(20261210);
  std::printf("seed 20261210\n");
  std::vector<uint8_t> data(1000);
  for (auto& b : data) b = uint8_t(random());
  for (size_t cut1 : {0u, 1u, 3u, 4u, 5u, 7u}) {
    for (size_t cut2 : {8u, 9u, 10u, 11u, 999u, 1000u}) {
      Checksum32Builder builder;
      builder.add(std::span(data).subspan(0, cut1));
      builder.add(std::span(data).subspan(cut1, cut2 - cut1));
      builder.add(std::span(data).subspan(cut2));
      EXPECT_EQ(builder.result(), Checksum32(data)) << cut1 << "/" << cut2;
    }
  }
}

}  // namespace
}  // namespace halvard
