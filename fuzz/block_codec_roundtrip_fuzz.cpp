// Encode then decode arbitrary bytes in both modes: the result must be the input.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "block_encoder.h"
#include "package/block_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace halvard;
  const std::span<const uint8_t> input(data, size);
  for (BlockEncodeMode mode : {BlockEncodeMode::fast, BlockEncodeMode::best}) {
    std::vector<uint8_t> encoded;
    if (!block_encode(input, mode, encoded)) std::abort();
    std::vector<uint8_t> decoded;
    if (!BlockCodec::decode(encoded, decoded)) std::abort();
    if (decoded.size() != size || !std::equal(decoded.begin(), decoded.end(), data)) std::abort();
  }
  return 0;
}
