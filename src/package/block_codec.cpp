#include "package/block_codec.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>

#include "crash/exception_free.h"

namespace halvard {
namespace {

static_assert(std::endian::native == std::endian::little, "the bit reader loads little-endian words");

// The fast loop reads machine words: 64-bit in a 64-bit build, 32-bit in the 32-bit engine,
// where 64-bit shifts cost a branch each.
using Word = std::conditional_t<(sizeof(void*) >= 8), uint64_t, uint32_t>;
constexpr unsigned word_bits = sizeof(Word) * 8;
// A word loaded at the current byte and shifted by the bit offset holds this many bits.
constexpr unsigned peek_bits = word_bits - 7;

inline Word load_word(const uint8_t* p) {
  Word v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline Word low_bits(Word value, unsigned width) {  // 1 <= width <= word_bits
  return value & (Word(~Word(0)) >> (word_bits - width));
}

// One word of the bytes that start `shift` bits (0 to 7) into in[0]; reads in[sizeof(Word)].
inline Word shifted_word(const uint8_t* in, unsigned shift) {
  // Two shifts, so that a shift of 0 moves the carry byte out instead of being undefined.
  return (load_word(in) >> shift) | ((Word(in[sizeof(Word)]) << 1) << (word_bits - 1 - shift));
}

// Copies `count` bytes that start `shift` bits into in[0]; in[count] exists when shift > 0.
void copy_shifted(uint8_t* out, const uint8_t* in, size_t count, unsigned shift) {
  if (shift == 0) {
    std::memcpy(out, in, count);
    return;
  }
  size_t i = 0;
  for (; count - i >= sizeof(Word); i += sizeof(Word)) {
    const Word word = shifted_word(in + i, shift);
    std::memcpy(out + i, &word, sizeof word);
  }
  for (; i < count; ++i) out[i] = uint8_t((in[i] >> shift) | (in[i + 1] << (8 - shift)));
}

BlockDecodeResult fail(BlockDecodeError error) { return BlockDecodeResult{error}; }

// Decoding state: the next bit of the input as a byte and a bit within it, and the output
// written so far.
struct State {
  const uint8_t* in;
  size_t in_size;
  size_t byte;
  unsigned bit;
  uint8_t* out;
  size_t size;
  size_t written;
};

// ---- checked path: one item, bit by bit, for the ends of the buffers and odd fields ----

// Bits past the end of the input read as 0, as the format wants for a trailing flag or
// prefix bit; the position keeps counting, and the caller fails the item when it ends
// past the input.
class CheckedReader {
 public:
  explicit CheckedReader(const State& s)
      : in_(s.in), total_(uint64_t(s.in_size) * 8), position_(uint64_t(s.byte) * 8 + s.bit) {}

  unsigned bit() {
    const uint64_t at = position_++;
    return at < total_ ? (in_[at >> 3] >> (at & 7)) & 1 : 0;
  }
  uint32_t bits(unsigned count) {
    uint32_t value = 0;
    for (unsigned i = 0; i < count; ++i) value |= uint32_t(bit()) << i;
    return value;
  }
  uint32_t number(unsigned base, unsigned step) {
    unsigned width = base;
    // Past the end every bit is 0, so the prefix ends there at the latest.
    while (bit()) width = std::min(width + step, 32u);
    return bits(width);
  }

  uint64_t position() const { return position_; }
  uint64_t total() const { return total_; }
  void skip(uint64_t count) { position_ += count; }

 private:
  const uint8_t* in_;
  uint64_t total_;
  uint64_t position_;
};

BlockDecodeError checked_item(State& s) {
  CheckedReader r(s);
  const size_t room = s.size - s.written;
  if (r.bit() == 0) {
    const uint64_t count = uint64_t(r.number(2, 2)) + 1;
    if (count > room) return BlockDecodeError::overshoot;
    if (r.position() > r.total() || (r.total() - r.position()) / 8 < count) return BlockDecodeError::truncated;
    const uint64_t at = r.position();
    copy_shifted(s.out + s.written, s.in + size_t(at >> 3), size_t(count), unsigned(at & 7));
    r.skip(count * 8);
    s.written += size_t(count);
  } else if (r.bit() == 0) {
    const uint64_t length = uint64_t(r.number(2, 1)) + 4;
    const uint64_t distance = uint64_t(r.number(12, 2)) + 4;
    if (distance > s.written || length > distance) return BlockDecodeError::bad_reference;
    if (length > room) return BlockDecodeError::overshoot;
    if (r.position() > r.total()) return BlockDecodeError::truncated;
    std::memcpy(s.out + s.written, s.out + (s.written - size_t(distance)), size_t(length));
    s.written += size_t(length);
  } else {
    const uint8_t value = uint8_t(r.bits(8));
    const uint64_t count = uint64_t(r.number(1, 1)) + 3;
    if (count > room) return BlockDecodeError::overshoot;
    if (r.position() > r.total()) return BlockDecodeError::truncated;
    std::memset(s.out + s.written, value, size_t(count));
    s.written += size_t(count);
  }
  s.byte = size_t(r.position() >> 3);
  s.bit = unsigned(r.position() & 7);
  return BlockDecodeError::none;
}

// ---- fast path: no bounds checks on the reads of item heads ----

// The fast loop runs while this much input and output remain: every peek of one item head
// stays inside the input, and the short copies may write whole words past their item.
constexpr size_t input_margin = 32;
constexpr size_t output_margin = 64;

class FastReader {
 public:
  FastReader(const uint8_t* in, size_t position) : in_(in), position_(position) {}

  Word peek() const { return load_word(in_ + (position_ >> 3)) >> (position_ & 7); }
  void skip(size_t count) { position_ += count; }
  void rewind(size_t position) { position_ = position; }
  size_t position() const { return position_; }
  size_t byte() const { return position_ >> 3; }
  unsigned bit() const { return unsigned(position_ & 7); }

  // A number whose prefix and value fit the peeks; false leaves the item to the checked
  // path (prefixes longer than a number needs, or wide values in the 32-bit build).
  template <unsigned Base, unsigned Step>
  bool number(Word head, unsigned used, uint32_t& value) {
    head >>= used;
    const unsigned ones = unsigned(std::countr_one(head));
    if (ones > 16) return false;
    const unsigned width = std::min(Base + ones * Step, 32u);
    if (used + ones + 1 + width <= peek_bits) {
      value = uint32_t(low_bits(head >> (ones + 1), width));
      skip(used + ones + 1 + width);
      return true;
    }
    if (used + ones + 1 > peek_bits || width > peek_bits) return false;
    skip(used + ones + 1);
    value = uint32_t(low_bits(peek(), width));
    skip(width);
    return true;
  }

 private:
  const uint8_t* in_;
  size_t position_;  // in bits
};

// Decodes items while the margins hold. Works on locals only: the output is written
// through a byte pointer, which may alias anything whose address has escaped, so the
// state is loaded once and stored back once. Leaves an item it cannot read quickly (or
// the ends of the buffers) to the checked path; on failure returns the error.
BlockDecodeError fast_items(State& state, size_t fast_end) {
  const uint8_t* const in = state.in;
  const size_t in_size = state.in_size;
  uint8_t* const out = state.out;
  const size_t size = state.size;
  size_t written = state.written;
  FastReader r(in, state.byte * 8 + state.bit);
  BlockDecodeError error = BlockDecodeError::none;
  while (r.position() <= fast_end && size - written >= output_margin) {
    const size_t item_start = r.position();
    const Word head = r.peek();
    uint8_t* const to = out + written;
    if ((head & 1) == 0) {
      // Literal run. Up to 4 bytes lie in the head itself when it is wide enough; with
      // the margins, no short run can overshoot the output or the input.
      if constexpr (4 + 32 <= peek_bits) {
        if ((head & 2) == 0) {
          const size_t count = size_t((head >> 2) & 3) + 1;
          const uint32_t bytes = uint32_t(head >> 4);
          std::memcpy(to, &bytes, 4);
          r.skip(4 + count * 8);
          written += count;
          continue;
        }
      }
      uint32_t value;
      if (!r.template number<2, 2>(head, 1, value)) {
        r.rewind(item_start);
        break;
      }
      const size_t count = size_t(value) + 1;
      const uint8_t* from = in + r.byte();
      if (count <= 16) {
        // Two shifted words; the bytes past `count` are scratch.
        const unsigned shift = r.bit();
        for (size_t i = 0; i < 16; i += sizeof(Word)) {
          const Word word = shifted_word(from + i, shift);
          std::memcpy(to + i, &word, sizeof word);
        }
      } else {
        const size_t left = in_size - r.byte() - (r.bit() != 0);
        if (count > size - written) {
          error = BlockDecodeError::overshoot;
          break;
        }
        if (count > left) {
          error = BlockDecodeError::truncated;
          break;
        }
        copy_shifted(to, from, count, r.bit());
      }
      r.skip(count * 8);
      written += count;
    } else if ((head & 2) == 0) {
      // Back-reference; the source never overlaps the copy.
      uint32_t length_value, distance_value;
      if (!r.template number<2, 1>(head, 2, length_value)) {
        r.rewind(item_start);
        break;
      }
      // The distance usually lies in the same head.
      const size_t used = r.position() - item_start;
      bool read;
      if (used + 13 <= peek_bits) {
        r.rewind(item_start);
        read = r.template number<12, 2>(head, unsigned(used), distance_value);
      } else {
        read = r.template number<12, 2>(r.peek(), 0, distance_value);
      }
      if (!read) {
        r.rewind(item_start);
        break;
      }
      const size_t length = size_t(length_value) + 4;
      // A 32-bit distance of 2^32 - 1 + 4 wraps to a small number in a 32-bit size_t.
      const uint64_t distance = uint64_t(distance_value) + 4;
      if (distance > written || length > distance) {
        error = BlockDecodeError::bad_reference;
        break;
      }
      const uint8_t* from = to - size_t(distance);
      if (length <= 32) {
        // Forward copy in whole chunks, within the output margin: a chunk may read bytes
        // that an earlier chunk wrote, but only past `length`, which is scratch.
        uint8_t chunk[16];
        std::memcpy(chunk, from, 16);
        std::memcpy(to, chunk, 16);
        std::memcpy(chunk, from + 16, 16);
        std::memcpy(to + 16, chunk, 16);
      } else {
        if (length > size - written) {
          error = BlockDecodeError::overshoot;
          break;
        }
        std::memcpy(to, from, length);
      }
      written += length;
    } else {
      // Byte fill.
      const uint8_t value = uint8_t(head >> 2);
      uint32_t count_value;
      if (!r.template number<1, 1>(head, 10, count_value)) {
        r.rewind(item_start);
        break;
      }
      const size_t count = size_t(count_value) + 3;
      if (count <= 16) {
        std::memset(to, value, 16);
      } else {
        if (count > size - written) {
          error = BlockDecodeError::overshoot;
          break;
        }
        std::memset(to, value, count);
      }
      written += count;
    }
  }
  state.written = written;
  state.byte = r.byte();
  state.bit = r.bit();
  return error;
}

BlockDecodeResult decode_stream(std::span<const uint8_t> input, uint8_t* out, size_t size) {
  State s{input.data(), input.size(), block_codec_head_size, 0, out, size, 0};
  // The fast loop counts input bits in a size_t; an input too long for that (only
  // possible in a 32-bit build) takes the checked path throughout.
  const bool fast = s.in_size >= input_margin && s.in_size <= (SIZE_MAX >> 3);
  const size_t fast_end = fast ? (s.in_size - input_margin) * 8 : 0;
  for (;;) {
    if (fast) {
      const BlockDecodeError error = fast_items(s, fast_end);
      if (error != BlockDecodeError::none) return fail(error);
    }
    if (s.written >= s.size) return {};
    const BlockDecodeError error = checked_item(s);
    if (error != BlockDecodeError::none) return fail(error);
  }
}

}  // namespace

const char* BlockDecodeResult::reason() const {
  switch (error) {
    case BlockDecodeError::none: return "no error";
    case BlockDecodeError::too_short: return "the buffer is shorter than its head";
    case BlockDecodeError::bad_magic: return "the buffer does not start with the block magic";
    case BlockDecodeError::negative_size: return "the decoded size is negative";
    case BlockDecodeError::too_large: return "the decoded size cannot be allocated";
    case BlockDecodeError::truncated: return "an item runs past the end of the buffer";
    case BlockDecodeError::bad_reference: return "a back-reference lies outside the decoded bytes";
    case BlockDecodeError::overshoot: return "the items produce more than the decoded size";
    case BlockDecodeError::size_mismatch: return "the output is not the decoded size";
  }
  return "unknown error";
}

BlockHead BlockCodec::read_head(std::span<const uint8_t> input) {
  if (input.size() <= 4) return {BlockDecodeError::too_short, 0};
  const uint8_t* p = input.data();
  const uint32_t magic = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  if (magic != block_codec_magic) return {BlockDecodeError::bad_magic, 0};
  if (input.size() < block_codec_head_size) return {BlockDecodeError::too_short, 0};
  const uint32_t size = uint32_t(p[4]) | uint32_t(p[5]) << 8 | uint32_t(p[6]) << 16 | uint32_t(p[7]) << 24;
  if (size > block_codec_max_size) return {BlockDecodeError::negative_size, 0};
  return {BlockDecodeError::none, size};
}

BlockDecodeResult BlockCodec::decode_into(std::span<const uint8_t> input, std::span<uint8_t> output) {
  const BlockHead head = read_head(input);
  if (head.error != BlockDecodeError::none) return fail(head.error);
  if (output.size() != head.size) return fail(BlockDecodeError::size_mismatch);
  return decode_stream(input, output.data(), output.size());
}

BlockDecodeResult BlockCodec::decode(std::span<const uint8_t> input, std::vector<uint8_t>& output,
                                     size_t max_size) {
  const BlockHead head = read_head(input);
  if (head.error != BlockDecodeError::none) return fail(head.error);
  if (head.size > max_size) return fail(BlockDecodeError::too_large);
  std::vector<uint8_t> decoded;
  // A corrupt size field must be a rejected buffer, not an out-of-memory end.
  if (!fallible_resize(decoded, head.size)) return fail(BlockDecodeError::too_large);
  const BlockDecodeResult result = decode_stream(input, decoded.data(), decoded.size());
  if (result) output.swap(decoded);
  return result;
}

BlockDecodeResult BlockCodec::decode(std::vector<uint8_t>& buffer, size_t max_size) {
  return decode(std::span<const uint8_t>(buffer), buffer, max_size);
}

}  // namespace halvard
