#include "package/block_codec.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>
#include <new>
#include <stdexcept>

namespace halvard {
namespace {

static_assert(std::endian::native == std::endian::little, "the bit reader loads little-endian words");

inline uint64_t load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// A 64-bit bit buffer over the input. Bits past the end of the input read as 0, as the
// format wants for a trailing flag or prefix bit; the caller compares position() with
// the input's bit length after each item, so a phantom bit never makes an item succeed.
class BitReader {
 public:
  BitReader(const uint8_t* data, size_t length) : data_(data), length_(length) {}

  // Afterwards 56 to 63 bits are buffered.
  void refill() {
    if (next_ <= length_ && length_ - next_ >= 8) {
      buffer_ |= load64(data_ + next_) << available_;
      next_ += (63 - available_) >> 3;
      available_ |= 56;
    } else {
      refill_slow();
    }
  }

  uint64_t bits() const { return buffer_; }
  unsigned available() const { return available_; }
  void consume(unsigned count) {
    buffer_ >>= count;
    available_ -= count;
  }

  uint64_t position() const { return uint64_t(next_) * 8 - available_; }

  // Restarts the buffer at a bit position that lies within the input.
  void seek(uint64_t bit) {
    next_ = size_t(bit >> 3);
    buffer_ = 0;
    available_ = 0;
    refill();
    consume(unsigned(bit & 7));
  }

  // Variable-width number: a unary prefix u closed by a 0, then min(base + u * step, 32)
  // value bits, least significant first.
  template <unsigned Base, unsigned Step>
  uint32_t number() {
    // An item starts with a full buffer, so most numbers need no refill of their own.
    if (available_ < 40) refill();
    const unsigned ones = unsigned(std::countr_one(buffer_));
    uint64_t prefix;
    if (ones < available_) [[likely]] {
      prefix = ones;
      consume(ones + 1);
    } else {
      prefix = long_prefix();
    }
    const unsigned width = prefix >= 32 ? 32u : std::min(unsigned(Base + prefix * Step), 32u);
    if (available_ < width) refill();
    const uint32_t value = uint32_t(buffer_ & ((uint64_t(1) << width) - 1));
    consume(width);
    return value;
  }

 private:
  void refill_slow() {
    while (available_ < 56) {
      uint64_t byte = next_ < length_ ? data_[next_] : 0;
      buffer_ |= byte << available_;
      ++next_;
      available_ += 8;
    }
  }

  // A prefix longer than the buffer; it ends at the latest at the end of the input,
  // where the bits read as 0.
  uint64_t long_prefix() {
    uint64_t prefix = 0;
    for (;;) {
      refill();
      unsigned ones = unsigned(std::countr_one(buffer_));
      if (ones < available_) {
        consume(ones + 1);
        return prefix + ones;
      }
      prefix += available_;
      consume(available_);
    }
  }

  const uint8_t* data_;
  size_t length_;
  size_t next_ = block_codec_head_size;
  uint64_t buffer_ = 0;
  unsigned available_ = 0;
};

// Copies `count` bytes that start `shift` bits into in[0]; in[count] exists when shift > 0.
void copy_shifted(uint8_t* out, const uint8_t* in, size_t count, unsigned shift) {
  if (shift == 0) {
    std::memcpy(out, in, count);
    return;
  }
  size_t i = 0;
  for (; count - i >= 8; i += 8) {
    uint64_t word = (load64(in + i) >> shift) | (uint64_t(in[i + 8]) << (64 - shift));
    std::memcpy(out + i, &word, 8);
  }
  for (; i < count; ++i) out[i] = uint8_t((in[i] >> shift) | (in[i + 1] << (8 - shift)));
}

BlockDecodeResult fail(BlockDecodeError error) { return BlockDecodeResult{error}; }

BlockDecodeResult decode_stream(std::span<const uint8_t> input, uint8_t* out, size_t size) {
  const uint64_t total_bits = uint64_t(input.size()) * 8;
  BitReader reader(input.data(), input.size());
  size_t written = 0;

  while (written < size) {
    reader.refill();
    const uint64_t flags = reader.bits();
    const size_t room = size - written;

    if ((flags & 1) == 0) {
      // Literal run.
      reader.consume(1);
      const uint64_t count = uint64_t(reader.number<2, 2>()) + 1;
      if (count > room) return fail(BlockDecodeError::overshoot);
      if (count <= 7 && room >= 8) {
        // Short runs come straight out of the bit buffer, written as one word.
        reader.refill();
        uint64_t word = reader.bits();
        std::memcpy(out + written, &word, 8);
        reader.consume(unsigned(count * 8));
      } else {
        const uint64_t at = reader.position();
        if (at > total_bits || (total_bits - at) / 8 < count) return fail(BlockDecodeError::truncated);
        copy_shifted(out + written, input.data() + (at >> 3), size_t(count), unsigned(at & 7));
        reader.seek(at + count * 8);
      }
      written += size_t(count);
    } else if ((flags & 2) == 0) {
      // Back-reference; the source never overlaps the copy.
      reader.consume(2);
      const uint64_t length = uint64_t(reader.number<2, 1>()) + 4;
      const uint64_t distance = uint64_t(reader.number<12, 2>()) + 4;
      if (distance > written || length > distance) return fail(BlockDecodeError::bad_reference);
      if (length > room) return fail(BlockDecodeError::overshoot);
      const uint8_t* from = out + (written - size_t(distance));
      if (length <= 32 && room >= 32) {
        // Load before store: bytes past `length` are scratch that later items overwrite.
        uint8_t chunk[32];
        std::memcpy(chunk, from, 32);
        std::memcpy(out + written, chunk, 32);
      } else {
        std::memcpy(out + written, from, size_t(length));
      }
      written += size_t(length);
    } else {
      // Byte fill.
      const uint8_t value = uint8_t(flags >> 2);
      reader.consume(10);
      const uint64_t count = uint64_t(reader.number<1, 1>()) + 3;
      if (count > room) return fail(BlockDecodeError::overshoot);
      std::memset(out + written, value, size_t(count));
      written += size_t(count);
    }
    if (reader.position() > total_bits) return fail(BlockDecodeError::truncated);
  }
  return {};
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
  // A corrupt size field must be a rejected buffer, not an out-of-memory end; this is the
  // one place where the allocator can throw for a value that came from the input.
  try {
    decoded.resize(head.size);
  } catch (const std::bad_alloc&) {
    return fail(BlockDecodeError::too_large);
  } catch (const std::length_error&) {
    return fail(BlockDecodeError::too_large);
  }
  const BlockDecodeResult result = decode_stream(input, decoded.data(), decoded.size());
  if (result) output.swap(decoded);
  return result;
}

BlockDecodeResult BlockCodec::decode(std::vector<uint8_t>& buffer, size_t max_size) {
  return decode(std::span<const uint8_t>(buffer), buffer, max_size);
}

}  // namespace halvard
