// The background picture as the package brings it, on arbitrary bytes: the first four
// bytes are the transparent index, the rest the picture. A picture the reader accepts
// must hold every byte it describes, and the mask and the blacked-out copy stay inside
// it; the kept .BMP file gives back exactly the picture.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "records/background_picture.h"
#include "ui/background_paint.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace halvard;
  if (size < 4) return 0;
  const int index = int(uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 | uint32_t(data[3]) << 24);
  const std::span<const uint8_t> bytes(data + 4, size - 4);

  const PictureLayout picture = read_picture(bytes);
  if (picture.ok()) {
    if (picture.width <= 0 || picture.height <= 0) std::abort();
    if (picture.pixel_offset + picture.stride * size_t(picture.height) > bytes.size()) std::abort();
    if (draws_transparent(picture, index)) {
      const size_t mask_stride = (size_t(picture.width) + 31) / 32 * 4;
      if (transparency_mask(picture, bytes, index).size() != mask_stride * size_t(picture.height)) std::abort();
      if (with_black_entry(picture, bytes, index).size() != bytes.size()) std::abort();
    }
  }

  const std::vector<uint8_t> kept(bytes.begin(), bytes.end());
  if (picture_of_bitmap_file(bitmap_file(kept)) != kept && !kept.empty()) std::abort();
  return 0;
}
