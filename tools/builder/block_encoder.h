#pragma once
// BlockCodec encoder for the builder; the engine only decodes (package/block_codec.h).
// Items are chosen by their exact bit costs: the best mode runs an optimal parse over a
// binary-tree match finder whose window is the whole block, the fast mode a greedy parse
// over a near (4-byte) and a far (8-byte) hash table that steps faster through data it
// cannot compress. Both use fills for runs of one byte. Reentrant: every call keeps its
// state to itself, so blocks can be encoded in parallel.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace halvard {

enum class BlockEncodeMode : uint8_t { fast, normal, best };

// Encodes `data` as one BlockCodec buffer (head included). Returns false, leaving
// `encoded` empty, when the data is longer than the format's size field allows.
bool block_encode(std::span<const uint8_t> data, BlockEncodeMode mode, std::vector<uint8_t>& encoded);

// Exact costs in bits of the three items, head and padding excluded.
uint32_t block_literal_run_bits(uint64_t count);
uint32_t block_reference_bits(uint64_t length, uint64_t distance);
uint32_t block_fill_bits(uint64_t count);

}  // namespace halvard
