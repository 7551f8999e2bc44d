// The decoder on arbitrary bytes: it must fail cleanly or produce exactly its size, and
// never touch memory outside the input or the output.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "package/block_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace halvard;
  const std::span<const uint8_t> input(data, size);
  // Large sizes are taken through the limit, not allocated.
  constexpr size_t limit = size_t(1) << 22;
  std::vector<uint8_t> decoded = {0x5A};
  const BlockDecodeResult result = BlockCodec::decode(input, decoded, limit);
  if (!result && (decoded.size() != 1 || decoded[0] != 0x5A)) std::abort();

  const BlockHead head = BlockCodec::read_head(input);
  if (head.error != BlockDecodeError::none || head.size > limit) return 0;
  // The same decode into an exact heap block: ASan reports any write past it.
  std::unique_ptr<uint8_t[]> exact(new uint8_t[head.size ? head.size : 1]);
  const BlockDecodeResult again = BlockCodec::decode_into(input, std::span<uint8_t>(exact.get(), head.size));
  if (again.error != result.error) std::abort();
  if (again && (decoded.size() != head.size || !std::equal(decoded.begin(), decoded.end(), exact.get()))) std::abort();
  return 0;
}
