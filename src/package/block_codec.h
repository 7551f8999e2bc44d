#pragma once
// BlockCodec: the package's bit-level LZ77 format (literal runs, back-references, byte
// fills), decoder side.
//
// Contract: the decoder never reads outside `input` and never writes outside its output,
// whatever the input. Every read is tested against the bytes that remain, every
// back-reference against the output written so far, every count against the room left.
// Failures are returned as values; nothing throws out of here, and a decoded size that
// cannot be allocated is a rejected buffer, not an out-of-memory end.
//
// Layout: magic A1 2B C7 9E, decoded size (signed 32-bit little-endian), then the bit
// stream from bit 64 on, least significant bit first.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace halvard {

inline constexpr uint32_t block_codec_magic = 0x9EC72BA1u;
inline constexpr size_t block_codec_head_size = 8;
inline constexpr size_t block_codec_max_size = 0x7FFFFFFF;

enum class BlockDecodeError : uint8_t {
  none,
  too_short,       // no complete head
  bad_magic,
  negative_size,
  too_large,       // the decoded size is above the caller's limit or cannot be allocated
  truncated,       // an item runs past the end of the input
  bad_reference,   // a back-reference reaches before the output or overlaps itself
  overshoot,       // an item would produce more than the decoded size
  size_mismatch,   // the output given to decode_into is not the decoded size
};

struct BlockDecodeResult {
  BlockDecodeError error = BlockDecodeError::none;

  explicit operator bool() const { return error == BlockDecodeError::none; }
  const char* reason() const;
};

struct BlockHead {
  BlockDecodeError error = BlockDecodeError::none;
  uint32_t size = 0;  // decoded length, valid when error is none
};

struct BlockCodec {
  // Checks the head and reads the decoded size.
  static BlockHead read_head(std::span<const uint8_t> input);

  // Decodes into `output`, which must be exactly the decoded size. After a failure
  // `output` holds partial bytes that mean nothing.
  static BlockDecodeResult decode_into(std::span<const uint8_t> input, std::span<uint8_t> output);

  // Decodes into a fresh buffer; `output` is replaced only on success. A decoded size
  // above `max_size` or one that cannot be allocated fails with too_large.
  static BlockDecodeResult decode(std::span<const uint8_t> input, std::vector<uint8_t>& output,
                                  size_t max_size = block_codec_max_size);

  // Replaces `buffer` by its decoded bytes; on failure `buffer` is left as it was.
  static BlockDecodeResult decode(std::vector<uint8_t>& buffer, size_t max_size = block_codec_max_size);
};

}  // namespace halvard
