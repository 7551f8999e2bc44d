#pragma once
// Checksum32: the package's additive checksum over every stored part.

#include <cstddef>
#include <cstdint>
#include <span>

namespace halvard {

inline constexpr uint32_t checksum_seed = 0x79E2BC9D;

// Sum of the little-endian words, then of the 1 to 3 tail bytes as signed bytes,
// then of the length; the seed alone for no bytes.
uint32_t Checksum32(std::span<const uint8_t> bytes);

// The same sum built piece by piece, for data that arrives in parts (a region read
// from disk). Pieces may have any length; the result equals Checksum32 of the whole.
class Checksum32Builder {
 public:
  void add(std::span<const uint8_t> bytes);
  uint32_t result() const;

 private:
  uint32_t sum_ = checksum_seed;
  uint64_t length_ = 0;
  uint8_t pending_[4] = {};
  size_t pending_count_ = 0;
};

}  // namespace halvard
