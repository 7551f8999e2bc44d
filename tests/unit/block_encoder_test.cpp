#include "block_encoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "package/block_codec.h"

namespace halvard {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr BlockEncodeMode modes[] = {BlockEncodeMode::fast, BlockEncodeMode::normal, BlockEncodeMode::best};

const char* name(BlockEncodeMode mode) {
  switch (mode) {
    case BlockEncodeMode::fast:
      return "fast";
    case BlockEncodeMode::normal:
      return "normal";
    case BlockEncodeMode::best:
      return "best";
  }
  return "?";
}

Bytes encode(const Bytes& data, BlockEncodeMode mode) {
  Bytes encoded;
  EXPECT_TRUE(block_encode(data, mode, encoded));
  return encoded;
}

// Decodes from an exact-size heap copy, so that ASan sees any read past the stream.
void expect_round_trip(const Bytes& data, const std::string& what) {
  for (BlockEncodeMode mode : modes) {
    const Bytes encoded = encode(data, mode);
    std::unique_ptr<uint8_t[]> exact(new uint8_t[encoded.size()]);
    std::copy(encoded.begin(), encoded.end(), exact.get());
    Bytes decoded;
    const BlockDecodeResult result = BlockCodec::decode(std::span<const uint8_t>(exact.get(), encoded.size()), decoded);
    ASSERT_TRUE(result) << what << " (" << name(mode) << "): " << result.reason();
    ASSERT_TRUE(decoded == data) << what << " (" << name(mode) << ") decodes to other bytes";
    // The last byte holds item bits: the encoder writes no spare bytes.
    if (!data.empty()) {
      Bytes shorter(encoded.begin(), encoded.end() - 1);
      EXPECT_FALSE(BlockCodec::decode(shorter, decoded)) << what << " (" << name(mode) << ")";
    }
  }
}

Bytes text(const char* s) { return Bytes(s, s + std::strlen(s)); }

TEST(BlockEncoderTest, WorkedExamplesComeOutByteForByte) {
  const Bytes fill = {0xA1, 0x2B, 0xC7, 0x9E, 0x05, 0x00, 0x00, 0x00, 0x07, 0x25};
  const Bytes twice = {0xA1, 0x2B, 0xC7, 0x9E, 0x08, 0x00, 0x00, 0x00, 0x1C, 0x26, 0x36, 0x46, 0x16, 0x00, 0x00};
  for (BlockEncodeMode mode : modes) {
    EXPECT_EQ(encode(text("AAAAA"), mode), fill) << name(mode);
    EXPECT_EQ(encode(text("abcdabcd"), mode), twice) << name(mode);
  }
}

TEST(BlockEncoderTest, ItemCostsAreExact) {
  // flag + prefix + value (+ bytes): the widths of the format's numbers at their edges.
  EXPECT_EQ(block_literal_run_bits(1), 1 + 1 + 2 + 8u);
  EXPECT_EQ(block_literal_run_bits(4), 1 + 1 + 2 + 32u);
  EXPECT_EQ(block_literal_run_bits(5), 1 + 2 + 4 + 40u);
  EXPECT_EQ(block_literal_run_bits(17), 1 + 3 + 6 + 136u);
  EXPECT_EQ(block_reference_bits(4, 4), 2 + 1 + 2 + 1 + 12u);
  EXPECT_EQ(block_reference_bits(8, 4 + 4095), 2 + 2 + 3 + 1 + 12u);
  EXPECT_EQ(block_reference_bits(7, 4 + 4096), 2 + 1 + 2 + 2 + 14u);
  EXPECT_EQ(block_reference_bits(4, 4 + 0xFFFFFFFFull), 2 + 1 + 2 + 11 + 32u);
  EXPECT_EQ(block_fill_bits(3), 10 + 1 + 1u);
  EXPECT_EQ(block_fill_bits(5), 10 + 2 + 2u);
  EXPECT_EQ(block_fill_bits(3 + 0xFFFFFFFFull), 10 + 32 + 32u);
}

TEST(BlockEncoderTest, SmallInputsRoundTrip) {
  expect_round_trip({}, "empty");
  for (size_t n = 1; n <= 40; ++n) {
    Bytes same(n, 0x33), counting(n), pairs(n);
    for (size_t i = 0; i < n; ++i) counting[i] = uint8_t(i), pairs[i] = uint8_t(i % 2 ? 0xAB : 0xCD);
    expect_round_trip(same, "run of " + std::to_string(n));
    expect_round_trip(counting, "counting " + std::to_string(n));
    expect_round_trip(pairs, "pairs " + std::to_string(n));
  }
}

// Periods shorter than the minimum distance must go through fills or longer distances.
TEST(BlockEncoderTest, ShortPeriodsRoundTrip) {
  for (size_t period = 1; period <= 9; ++period) {
    Bytes data(3000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t((i % period) * 37 + 1);
    expect_round_trip(data, "period " + std::to_string(period));
    for (BlockEncodeMode mode : modes) EXPECT_LT(encode(data, mode).size(), 200u) << period << " " << name(mode);
  }
}

// Runs, literal stretches, lengths and distances at every width edge of their numbers.
TEST(BlockEncoderTest, WidthEdgesRoundTrip) {
  const uint32_t seed = 20260117;
  std::printf("block encoder width edges: seed %u\n", seed);
  std::mt19937 rng(seed);
  auto random_bytes = [&](size_t n) {
    Bytes out(n);
    for (auto& b : out) b = uint8_t(rng());
    return out;
  };
  std::vector<size_t> edges;
  for (unsigned w = 1; w <= 16; ++w) {
    for (long d : {-1, 0, 1}) edges.push_back(size_t((1ul << w) + d + 3));
  }
  Bytes data;
  for (size_t e : edges) {
    data.insert(data.end(), e, uint8_t(e));  // fill counts
    const Bytes block = random_bytes(std::min<size_t>(e, 300));
    data.insert(data.end(), block.begin(), block.end());
    // the same block again after a gap of about e bytes: distances at the edges
    const Bytes gap = random_bytes(e > block.size() ? e - block.size() : 0);
    data.insert(data.end(), gap.begin(), gap.end());
    data.insert(data.end(), block.begin(), block.end());
  }
  expect_round_trip(data, "width edges");
}

TEST(BlockEncoderTest, VariedDataRoundTrips) {
  const uint32_t seed = 0xB10C;
  std::printf("block encoder varied data: seed %u\n", seed);
  std::mt19937 rng(seed);
  Bytes random(30000);
  for (auto& b : random) b = uint8_t(rng());
  expect_round_trip(random, "random");

  Bytes words;
  const char* vocabulary[] = {"install ", "the ", "file ", "folder ", "registry ", "key\r\n", "uninstall ", "a "};
  while (words.size() < 40000) {
    const char* w = vocabulary[rng() % 8];
    words.insert(words.end(), w, w + std::strlen(w));
  }
  expect_round_trip(words, "text");

  // A real executable: this test program.
  std::ifstream self("/proc/self/exe", std::ios::binary);
  Bytes program((std::istreambuf_iterator<char>(self)), std::istreambuf_iterator<char>());
  program.resize(std::min<size_t>(program.size(), 100000));
  ASSERT_GT(program.size(), 10000u);
  expect_round_trip(program, "executable");

  Bytes mixed;
  while (mixed.size() < 100000) {
    switch (rng() % 4) {
      case 0:
        mixed.insert(mixed.end(), rng() % 5000, uint8_t(rng()));
        break;
      case 1:
        for (int i = rng() % 300; i > 0; --i) mixed.push_back(uint8_t(rng()));
        break;
      default:
        if (mixed.size() > 10) {
          const size_t from = rng() % mixed.size();
          const size_t length = std::min<size_t>(rng() % 2000, mixed.size() - from);
          Bytes copy(mixed.begin() + from, mixed.begin() + from + length);
          mixed.insert(mixed.end(), copy.begin(), copy.end());
        }
    }
  }
  expect_round_trip(mixed, "mixed");
}

// The window is the whole block: a repeat far back still costs next to nothing.
TEST(BlockEncoderTest, FarRepeatsAreFound) {
  std::mt19937 rng(7);
  Bytes data(300000);
  for (auto& b : data) b = uint8_t(rng());
  data.insert(data.end(), data.begin(), data.end());
  for (BlockEncodeMode mode : modes) {
    const Bytes encoded = encode(data, mode);
    EXPECT_LT(encoded.size(), 300000u + 300000u / 32) << name(mode);
    Bytes decoded;
    ASSERT_TRUE(BlockCodec::decode(encoded, decoded));
    EXPECT_TRUE(decoded == data);
  }
}

// A 16 MiB block is the builder's default; one byte more no longer fits the best mode's
// 3-byte tree links. The repeat at the end lies nearly the whole block back.
TEST(BlockEncoderTest, FullSizeBlocksFindRepeatsAcrossTheBlock) {
  std::mt19937 rng(16);
  for (size_t size : {size_t(1) << 24, (size_t(1) << 24) + 1}) {
    Bytes data(size, 0);
    const size_t piece = 65536;
    for (size_t i = 0; i < piece; ++i) data[i] = uint8_t(rng());
    std::copy(data.begin(), data.begin() + piece, data.end() - piece);
    for (BlockEncodeMode mode : modes) {
      const Bytes encoded = encode(data, mode);
      EXPECT_LT(encoded.size(), piece + piece / 16) << size << " " << name(mode);
      Bytes decoded;
      ASSERT_TRUE(BlockCodec::decode(encoded, decoded)) << size << " " << name(mode);
      EXPECT_TRUE(decoded == data) << size << " " << name(mode);
    }
  }
}

TEST(BlockEncoderTest, BestIsNoLargerThanFast) {
  std::ifstream self("/proc/self/exe", std::ios::binary);
  Bytes program((std::istreambuf_iterator<char>(self)), std::istreambuf_iterator<char>());
  program.resize(std::min<size_t>(program.size(), 100000));
  EXPECT_LE(encode(program, BlockEncodeMode::best).size(), encode(program, BlockEncodeMode::fast).size());
}

}  // namespace
}  // namespace halvard
