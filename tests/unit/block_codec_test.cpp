#include "package/block_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace halvard {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes hex(const char* text) {
  Bytes out;
  for (const char* p = text; *p;) {
    if (*p == ' ') {
      ++p;
      continue;
    }
    out.push_back(uint8_t(std::stoi(std::string(p, 2), nullptr, 16)));
    p += 2;
  }
  return out;
}

// Writes streams item by item, so that every field, prefix and boundary can be chosen.
class StreamWriter {
 public:
  explicit StreamWriter(uint32_t size) {
    bits(0x9EC72BA1u, 32);
    bits(size, 32);
  }

  void bits(uint64_t value, unsigned count) {
    for (unsigned i = 0; i < count; ++i, ++bit_) {
      if (bit_ % 8 == 0) bytes_.push_back(0);
      bytes_.back() |= uint8_t(((value >> i) & 1) << (bit_ % 8));
    }
  }

  // prefix < 0 picks the shortest prefix that holds the value.
  void number(uint64_t value, unsigned base, unsigned step, int prefix = -1) {
    auto width = [&](uint64_t u) { return unsigned(std::min<uint64_t>(base + u * step, 32)); };
    uint64_t u = prefix >= 0 ? uint64_t(prefix) : 0;
    if (prefix < 0) {
      while (width(u) < 64 && (value >> width(u)) != 0) ++u;
      u += extra_prefix;
    }
    for (uint64_t i = 0; i < u; ++i) bits(1, 1);
    bits(0, 1);
    bits(value, width(u));
  }

  void literal(const Bytes& run, int prefix = -1) {
    bits(0, 1);
    number(run.size() - 1, 2, 2, prefix);
    for (uint8_t b : run) bits(b, 8);
  }
  void match(uint64_t length, uint64_t distance, int length_prefix = -1, int distance_prefix = -1) {
    bits(1, 1);
    bits(0, 1);
    number(length - 4, 2, 1, length_prefix);
    number(distance - 4, 12, 2, distance_prefix);
  }
  void fill(uint8_t value, uint64_t count, int prefix = -1) {
    bits(1, 1);
    bits(1, 1);
    bits(value, 8);
    number(count - 3, 1, 1, prefix);
  }

  const Bytes& bytes() const { return bytes_; }

  // Added to every shortest prefix: longer prefixes are valid and must decode alike.
  unsigned extra_prefix = 0;

 private:
  Bytes bytes_;
  uint64_t bit_ = 0;
};

// Decodes from a heap block of exactly the input's length into an output followed by a
// canary byte, so that ASan sees any read past the input and the test sees any write
// past the output.
BlockDecodeResult decode_guarded(const Bytes& input, Bytes& output) {
  std::unique_ptr<uint8_t[]> exact(new uint8_t[input.size() + (input.empty() ? 1 : 0)]);
  std::copy(input.begin(), input.end(), exact.get());
  std::span<const uint8_t> in(exact.get(), input.size());

  const BlockHead head = BlockCodec::read_head(in);
  if (head.error != BlockDecodeError::none) return BlockDecodeResult{head.error};
  constexpr uint8_t canary = 0xC5;
  Bytes guarded(size_t(head.size) + 1, 0);
  guarded.back() = canary;
  BlockDecodeResult result = BlockCodec::decode_into(in, std::span<uint8_t>(guarded.data(), head.size));
  EXPECT_EQ(guarded.back(), canary) << "write past the output";
  guarded.pop_back();

  // The allocating form must agree.
  Bytes other = {1, 2, 3};
  BlockDecodeResult second = BlockCodec::decode(in, other);
  EXPECT_EQ(second.error, result.error);
  if (result) {
    EXPECT_EQ(other, guarded);
  } else {
    EXPECT_EQ(other, (Bytes{1, 2, 3})) << "failed decode changed the caller's buffer";
  }
  output = result ? guarded : Bytes();
  return result;
}

BlockDecodeError decode_error(const Bytes& input) {
  Bytes out;
  return decode_guarded(input, out).error;
}

TEST(BlockCodecTest, WorkedExampleFill) {
  Bytes out;
  ASSERT_TRUE(decode_guarded(hex("A1 2B C7 9E 05 00 00 00 07 25"), out));
  EXPECT_EQ(out, Bytes(5, 0x41));

  StreamWriter w(5);
  w.fill(0x41, 5);
  EXPECT_EQ(w.bytes(), hex("A1 2B C7 9E 05 00 00 00 07 25"));
}

TEST(BlockCodecTest, WorkedExampleLiteralThenReference) {
  const Bytes input = hex("A1 2B C7 9E 08 00 00 00 1C 26 36 46 16 00 00");
  Bytes out;
  ASSERT_TRUE(decode_guarded(input, out));
  EXPECT_EQ(out, hex("61 62 63 64 61 62 63 64"));

  StreamWriter w(8);
  w.literal(hex("61 62 63 64"));
  w.match(4, 4);
  EXPECT_EQ(w.bytes(), input);
}

TEST(BlockCodecTest, HeadFailures) {
  struct Case {
    const char* input;
    BlockDecodeError error;
  };
  const Case cases[] = {
      {"", BlockDecodeError::too_short},
      {"A1", BlockDecodeError::too_short},
      {"A1 2B C7 9E", BlockDecodeError::too_short},
      {"00 00 00 00", BlockDecodeError::too_short},
      {"A1 2B C7 9E 00", BlockDecodeError::too_short},
      {"A1 2B C7 9E 00 00 00", BlockDecodeError::too_short},
      {"A1 2B C7 9F 00 00 00 00", BlockDecodeError::bad_magic},
      {"9E C7 2B A1 00 00 00 00", BlockDecodeError::bad_magic},
      {"A1 2B C7 9E FF FF FF FF 07 25", BlockDecodeError::negative_size},
      {"A1 2B C7 9E 00 00 00 80 07 25", BlockDecodeError::negative_size},
  };
  for (const Case& c : cases) EXPECT_EQ(decode_error(hex(c.input)), c.error) << c.input;
}

TEST(BlockCodecTest, SizeZeroIsEmptyWhateverFollows) {
  for (const char* input : {"A1 2B C7 9E 00 00 00 00", "A1 2B C7 9E 00 00 00 00 FF FF FF", "A1 2B C7 9E 00 00 00 00 00"}) {
    Bytes out = {9};
    EXPECT_TRUE(decode_guarded(hex(input), out)) << input;
    EXPECT_TRUE(out.empty());
  }
}

TEST(BlockCodecTest, TrailingBytesAreIgnored) {
  Bytes input = hex("A1 2B C7 9E 05 00 00 00 07 25");
  input.insert(input.end(), {0xFF, 0xFF, 0x00, 0x13});
  Bytes out;
  ASSERT_TRUE(decode_guarded(input, out));
  EXPECT_EQ(out, Bytes(5, 0x41));
}

TEST(BlockCodecTest, ItemFailures) {
  struct Case {
    const char* name;
    uint32_t size;
    void (*write)(StreamWriter&);
    BlockDecodeError error;
  };
  const Case cases[] = {
      {"reference overlapping itself", 9,
       [](StreamWriter& w) { w.literal({1, 2, 3, 4}); w.match(5, 4); }, BlockDecodeError::bad_reference},
      {"run coded as a self-overlapping copy", 12,
       [](StreamWriter& w) { w.literal({7, 7, 7, 7}); w.match(8, 4); }, BlockDecodeError::bad_reference},
      {"reference before the output", 8,
       [](StreamWriter& w) { w.literal({1, 2, 3}); w.match(4, 5); }, BlockDecodeError::bad_reference},
      {"reference at the very start", 4, [](StreamWriter& w) { w.match(4, 4); }, BlockDecodeError::bad_reference},
      {"literal run overshoots", 3, [](StreamWriter& w) { w.literal({1, 2, 3, 4}); }, BlockDecodeError::overshoot},
      {"reference overshoots", 9,
       [](StreamWriter& w) { w.literal({1, 2, 3, 4, 5, 6}); w.match(4, 6); }, BlockDecodeError::overshoot},
      {"fill overshoots", 4, [](StreamWriter& w) { w.fill(0, 5); }, BlockDecodeError::overshoot},
      {"huge fill overshoots", 100, [](StreamWriter& w) { w.fill(0, 0xFFFFFFFFull + 3); }, BlockDecodeError::overshoot},
      {"huge literal count", 100,
       [](StreamWriter& w) { w.bits(0, 1); w.number(0xFFFFFFFF, 2, 2); }, BlockDecodeError::overshoot},
      {"huge distance", 100,
       [](StreamWriter& w) { w.fill(1, 50); w.match(4, 0xFFFFFFFFull + 4); }, BlockDecodeError::bad_reference},
      {"input ends in a literal run", 6,
       [](StreamWriter& w) { w.bits(0, 1); w.number(5, 2, 2); w.bits(0x4241, 16); }, BlockDecodeError::truncated},
      {"input ends in a short literal run", 10,
       [](StreamWriter& w) { w.bits(0, 1); w.number(5, 2, 2); w.bits(0x4241, 16); }, BlockDecodeError::truncated},
      {"input ends in a long literal run", 40,
       [](StreamWriter& w) { w.bits(0, 1); w.number(39, 2, 2); w.bits(0x4241, 16); }, BlockDecodeError::truncated},
      {"input ends after the items", 9, [](StreamWriter& w) { w.fill(3, 8); }, BlockDecodeError::truncated},
      {"input ends in a prefix", 100, [](StreamWriter& w) { w.bits(3, 2); w.bits(0x55, 8); w.bits(0xFF, 8); },
       BlockDecodeError::truncated},
      {"head only", 1, [](StreamWriter&) {}, BlockDecodeError::truncated},
  };
  for (const Case& c : cases) {
    StreamWriter w(c.size);
    c.write(w);
    EXPECT_EQ(decode_error(w.bytes()), c.error) << c.name;
  }
}

// The same faults far from both ends of the buffers, where the decoder reads item heads
// without per-field checks: 300 bytes of good items come first, and the faulty item leaves
// plenty of input and output behind it.
TEST(BlockCodecTest, ItemFailuresInsideLongStreams) {
  struct Case {
    const char* name;
    uint32_t room;  // output bytes left for the faulty item and what follows it
    void (*write)(StreamWriter&);
    BlockDecodeError error;
  };
  const Case cases[] = {
      {"reference before the output", 1000, [](StreamWriter& w) { w.match(4, 301); }, BlockDecodeError::bad_reference},
      {"reference overlapping itself", 1000, [](StreamWriter& w) { w.match(12, 8); }, BlockDecodeError::bad_reference},
      {"long reference overlapping itself", 1000, [](StreamWriter& w) { w.match(100, 99); },
       BlockDecodeError::bad_reference},
      {"long reference overshoots", 80, [](StreamWriter& w) { w.match(100, 200); }, BlockDecodeError::overshoot},
      {"long literal run overshoots", 80, [](StreamWriter& w) { w.literal(Bytes(100, 0x33)); },
       BlockDecodeError::overshoot},
      {"long fill overshoots", 80, [](StreamWriter& w) { w.fill(1, 100); }, BlockDecodeError::overshoot},
      {"literal run past the input", 5000,
       [](StreamWriter& w) {
         w.bits(0, 1);
         w.number(3000, 2, 2);
         for (int i = 0; i < 60; ++i) w.bits(0x77, 8);
       },
       BlockDecodeError::truncated},
  };
  for (const Case& c : cases) {
    StreamWriter w(300 + c.room);
    Bytes head(100);
    for (size_t i = 0; i < head.size(); ++i) head[i] = uint8_t(i * 37);
    w.literal(head);
    w.match(100, 100);
    w.fill(0x11, 100);
    c.write(w);
    // Good items behind, so that only the faulty one can fail.
    for (int i = 0; i < 40; ++i) w.literal({1, 2, 3});
    EXPECT_EQ(decode_error(w.bytes()), c.error) << c.name;
  }
}

// Every width of every number, at both ends of each width, with the shortest prefix and
// with longer ones (widths above 32 are read as 32).
TEST(BlockCodecTest, EveryWidthBoundaryDecodes) {
  std::vector<uint64_t> values = {0, 1, 2, 3, 4};
  for (unsigned w = 2; w <= 32; ++w) {
    values.push_back((uint64_t(1) << w) - 1);
    values.push_back(uint64_t(1) << w);
  }
  const uint64_t limit = 1u << 16;  // keeps the outputs small
  for (uint64_t v : values) {
    for (int extra : {-1, 0, 3, 20, 40}) {
      // fill count
      if (v + 3 <= limit) {
        StreamWriter w(uint32_t(v + 3));
        w.fill(0x5A, v + 3, extra < 0 ? -1 : extra + int(v > 1 ? std::bit_width(v) - 1 : 0));
        Bytes out;
        ASSERT_TRUE(decode_guarded(w.bytes(), out)) << "fill " << v << " extra " << extra;
        EXPECT_EQ(out, Bytes(v + 3, 0x5A));
      }
      // literal count, match length and distance together
      const uint64_t count = v + 1, length = v + 4, distance = v + 4;
      if (count <= limit && distance <= limit) {
        Bytes lit(count);
        for (size_t i = 0; i < lit.size(); ++i) lit[i] = uint8_t(i * 7 + v);
        Bytes expect = lit;
        Bytes pad(distance > count ? distance - count : 0, 0xEE);
        StreamWriter w(uint32_t(count + pad.size() + length));
        const int p = extra < 0 ? -1 : extra + 20;
        w.literal(lit, p);
        if (!pad.empty()) {
          if (pad.size() >= 3) {
            w.fill(0xEE, pad.size(), p);
          } else {
            w.literal(pad, p);
          }
          expect.insert(expect.end(), pad.begin(), pad.end());
        }
        w.match(length, distance, p, p);
        expect.insert(expect.end(), expect.end() - distance, expect.end() - distance + length);
        Bytes out;
        ASSERT_TRUE(decode_guarded(w.bytes(), out)) << "value " << v << " extra " << extra;
        EXPECT_EQ(out, expect) << "value " << v << " extra " << extra;
      }
    }
  }
}

TEST(BlockCodecTest, PrefixLongerThanTheBitBufferDecodes) {
  for (int prefix : {63, 64, 65, 200, 1000}) {
    StreamWriter w(10);
    w.literal({1, 2});
    w.fill(9, 8, prefix);
    Bytes out;
    ASSERT_TRUE(decode_guarded(w.bytes(), out)) << prefix;
    EXPECT_EQ(out, (Bytes{1, 2, 9, 9, 9, 9, 9, 9, 9, 9}));
  }
}

// Random valid streams, built item by item beside the bytes they must produce.
struct RandomStream {
  Bytes encoded;
  Bytes decoded;
};

RandomStream random_stream(std::mt19937& rng, size_t target, bool odd_prefixes = false) {
  Bytes out;
  std::vector<std::function<void(StreamWriter&)>> items;
  auto pick = [&](uint64_t lo, uint64_t hi) { return std::uniform_int_distribution<uint64_t>(lo, hi)(rng); };
  while (out.size() < target) {
    const uint64_t kind = pick(0, 9);
    const uint64_t scale = pick(0, 3) == 0 ? 2000 : 20;
    if (kind < 4 || out.size() < 8) {
      Bytes run(pick(1, scale));
      for (auto& b : run) b = uint8_t(pick(0, 255));
      out.insert(out.end(), run.begin(), run.end());
      items.push_back([run](StreamWriter& w) { w.literal(run); });
    } else if (kind < 8) {
      const uint64_t distance = pick(4, out.size());
      const uint64_t length = pick(4, std::min<uint64_t>(distance, scale + 4));
      out.insert(out.end(), out.end() - distance, out.end() - distance + length);
      items.push_back([=](StreamWriter& w) { w.match(length, distance); });
    } else {
      const uint8_t value = uint8_t(pick(0, 255));
      const uint64_t count = pick(3, scale + 3);
      out.insert(out.end(), count, value);
      items.push_back([=](StreamWriter& w) { w.fill(value, count); });
    }
  }
  StreamWriter w(uint32_t(out.size()));
  for (auto& item : items) {
    w.extra_prefix = odd_prefixes && pick(0, 3) == 0 ? unsigned(pick(1, 40)) : 0;
    item(w);
  }
  return {w.bytes(), out};
}

TEST(BlockCodecTest, RandomStreamsDecodeAndEveryTruncationFails) {
  const uint32_t seed = 0x48A1u;
  std::printf("block codec random streams: seed %u\n", seed);
  std::mt19937 rng(seed);
  for (int round = 0; round < 60; ++round) {
    const RandomStream stream = random_stream(rng, round < 40 ? 64 : 20000);
    Bytes out;
    ASSERT_TRUE(decode_guarded(stream.encoded, out)) << "round " << round;
    ASSERT_EQ(out, stream.decoded) << "round " << round;

    // One byte short always fails: the writer's last byte holds item bits.
    Bytes shorter(stream.encoded.begin(), stream.encoded.end() - 1);
    EXPECT_FALSE(decode_guarded(shorter, out)) << "round " << round;
    if (round < 40) {
      for (size_t length = 0; length < stream.encoded.size(); ++length) {
        EXPECT_FALSE(decode_guarded(Bytes(stream.encoded.begin(), stream.encoded.begin() + length), out));
      }
    }
  }
}

// Longer prefixes than needed, scattered through long streams, so that items of every
// shape meet the decoder away from the ends of its buffers as well as near them.
TEST(BlockCodecTest, LongerPrefixesInsideLongStreams) {
  const uint32_t seed = 0x5C0Du;
  std::printf("block codec longer prefixes: seed %u\n", seed);
  std::mt19937 rng(seed);
  for (int round = 0; round < 30; ++round) {
    const RandomStream stream = random_stream(rng, 30000, true);
    Bytes out;
    ASSERT_TRUE(decode_guarded(stream.encoded, out)) << "round " << round;
    ASSERT_EQ(out, stream.decoded) << "round " << round;
    Bytes shorter(stream.encoded.begin(), stream.encoded.end() - 1);
    EXPECT_FALSE(decode_guarded(shorter, out)) << "round " << round;
  }
}

TEST(BlockCodecTest, DecodeInPlaceReplacesOnlyOnSuccess) {
  Bytes buffer = hex("A1 2B C7 9E 05 00 00 00 07 25");
  ASSERT_TRUE(BlockCodec::decode(buffer));
  EXPECT_EQ(buffer, Bytes(5, 0x41));

  const Bytes broken = hex("A1 2B C7 9E 06 00 00 00 07 25");
  buffer = broken;
  EXPECT_EQ(BlockCodec::decode(buffer).error, BlockDecodeError::truncated);
  EXPECT_EQ(buffer, broken);
}

// A size field that cannot be satisfied is a rejection, never an allocation failure.
TEST(BlockCodecTest, SizeAboveTheLimitIsRejected) {
  Bytes buffer = hex("A1 2B C7 9E 05 00 00 00 07 25");
  const Bytes before = buffer;
  const BlockDecodeResult result = BlockCodec::decode(buffer, 4);
  EXPECT_EQ(result.error, BlockDecodeError::too_large);
  EXPECT_STRNE(result.reason(), "");
  EXPECT_EQ(buffer, before);
  EXPECT_TRUE(BlockCodec::decode(buffer, 5));
}

TEST(BlockCodecTest, DecodeIntoNeedsTheExactSize) {
  const Bytes input = hex("A1 2B C7 9E 05 00 00 00 07 25");
  Bytes out(6);
  EXPECT_EQ(BlockCodec::decode_into(input, out).error, BlockDecodeError::size_mismatch);
  out.resize(4);
  EXPECT_EQ(BlockCodec::decode_into(input, out).error, BlockDecodeError::size_mismatch);
}

}  // namespace
}  // namespace halvard
