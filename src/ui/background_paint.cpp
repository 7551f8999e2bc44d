#include "ui/background_paint.h"

#include <algorithm>
#include <cstdlib>

#include "foundation/text.h"

namespace halvard {
namespace {

// One channel's walk from `from` to `to` in `steps` equal integer steps: each step
// hands out the quotient, plus one unit whenever the remainders have added up to a
// whole step, so that the last step lands exactly on `to`.
class ChannelStepper {
 public:
  ChannelStepper(int from, int to, int steps)
      : value_(from),
        sign_(to < from ? -1 : 1),
        quotient_(std::abs(to - from) / steps),
        remainder_(std::abs(to - from) % steps),
        steps_(steps) {}

  uint8_t advance() {
    value_ += sign_ * quotient_;
    accumulated_ += remainder_;
    if (accumulated_ >= steps_) {
      accumulated_ -= steps_;
      value_ += sign_;
    }
    return uint8_t(value_);
  }

 private:
  int value_;
  int sign_;
  int quotient_;
  int remainder_;
  int steps_;
  int accumulated_ = 0;
};

Rect centred(Rect area, int width, int height) {
  int left = area.left + (area.width() - width) / 2;
  int top = area.top + (area.height() - height) / 2;
  return {left, top, left + width, top + height};
}

Rect keep_aspect(Rect area, int width, int height) {
  int64_t area_width = std::max(area.width(), 0);
  int64_t area_height = std::max(area.height(), 0);
  if (area_width * height <= area_height * width)
    return centred(area, int(area_width), int(area_width * height / width));
  return centred(area, int(area_height * width / height), int(area_height));
}

uint16_t u16_at(std::span<const uint8_t> bytes, size_t at) { return uint16_t(bytes[at] | bytes[at + 1] << 8); }
uint32_t u32_at(std::span<const uint8_t> bytes, size_t at) {
  return bytes[at] | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 | uint32_t(bytes[at + 3]) << 24;
}

// The palette index of a pixel of an accepted picture of 8 bits per pixel or fewer;
// `row` counts stored rows.
int pixel_index(const PictureLayout& p, std::span<const uint8_t> bytes, int x, int row) {
  const uint8_t* line = bytes.data() + p.pixel_offset + size_t(row) * p.stride;
  switch (p.bits_per_pixel) {
    case 8:
      return line[x];
    case 4:
      return (line[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F;
    default:
      return (line[x / 8] >> (7 - x % 8)) & 1;
  }
}

PictureLayout refused(PictureProblem problem) {
  PictureLayout layout;
  layout.problem = problem;
  return layout;
}

constexpr uint32_t core_header_size = 12;
constexpr uint32_t info_header_size = 40;
constexpr uint32_t v4_header_size = 108;
constexpr uint32_t v5_header_size = 124;
constexpr uint32_t bi_rgb = 0;
constexpr uint32_t bi_bitfields = 3;

}  // namespace

std::vector<ColourBand> gradient_bands(int height, Colour top, Colour bottom) {
  std::vector<ColourBand> bands;
  if (height <= 0) return bands;
  const int band_height = std::clamp(height / 224, 1, 3);
  const int count = (height + band_height - 1) / band_height;
  ChannelStepper red(top.red, bottom.red, count);
  ChannelStepper green(top.green, bottom.green, count);
  ChannelStepper blue(top.blue, bottom.blue, count);
  bands.reserve(size_t(count));
  for (int i = 0; i < count; ++i) {
    Colour colour{red.advance(), green.advance(), blue.advance()};
    bands.push_back({i * band_height, std::min((i + 1) * band_height, height), colour});
  }
  return bands;
}

Rect picture_area(Rect client, int percent) {
  percent = std::clamp(percent, 0, 100);
  int width = int(int64_t(std::max(client.width(), 0)) * percent / 100);
  int height = int(int64_t(std::max(client.height(), 0)) * percent / 100);
  return centred(client, width, height);
}

Rect fit_picture(Rect area, int width, int height, int mode) {
  if (width <= 0 || height <= 0) return {area.left, area.top, area.left, area.top};
  if (mode == stretch_mode::keep_aspect) return keep_aspect(area, width, height);
  if (mode == stretch_mode::whole_factor) {
    int factor = std::min(std::max(area.width(), 0) / width, std::max(area.height(), 0) / height);
    if (factor < 1) return keep_aspect(area, width, height);
    return centred(area, width * factor, height * factor);
  }
  return area;
}

Rect TileGrid::tile(int column, int row) const {
  int x = left + column * width;
  int y = top + row * height;
  return {x, y, x + width, y + height};
}

TileGrid tile_grid(Rect client, int width, int height) {
  TileGrid grid{client.left, client.top, width, height, 0, 0};
  if (width <= 0 || height <= 0 || client.empty()) return grid;
  grid.columns = (client.width() + width - 1) / width;
  grid.rows = (client.height() + height - 1) / height;
  return grid;
}

TextMargins text_margins(Rect client) { return {client.width() / 200, client.height() / 400}; }

double text_points(double factor, double points_per_unit) {
  const double points = factor * points_per_unit;
  if (!(points > 0)) return 0;
  return std::min(points, largest_text_points);
}

bool font_fits(double points, int text_width, Rect client, int shadow) {
  if (points <= smallest_tested_points) return true;
  return text_width + text_margins(client).horizontal + shadow < client.right;
}

std::vector<TextOrigin> place_text_lines(Rect client, int position, int shadow, std::span<const int> line_widths,
                                         int line_height) {
  std::vector<TextOrigin> origins;
  if (position == 0 || line_widths.empty()) return origins;
  if (position < 1 || position > 6) position = 1;
  const TextMargins margins = text_margins(client);
  const int count = int(line_widths.size());
  const int left = client.left + margins.horizontal;
  const int line_width = client.width() - 2 * (shadow + margins.horizontal);
  int y =
      position >= 4 ? client.bottom - count * line_height - margins.vertical - shadow : client.top + margins.vertical;
  for (int width : line_widths) {
    int x = left;
    if (position == 2 || position == 5) x += (line_width - width) / 2;
    if (position == 3 || position == 6) x += line_width - width;
    origins.push_back({x, y});
    y += line_height;
  }
  return origins;
}

std::vector<std::string> font_face_names(std::string_view list) {
  std::vector<std::string> names;
  while (true) {
    size_t comma = list.find(',');
    std::string_view name = trim_blanks(list.substr(0, comma));
    if (!name.empty()) names.emplace_back(name);
    if (comma == list.npos) break;
    list.remove_prefix(comma + 1);
  }
  return names;
}

std::string font_query_name(std::string_view name) { return ascii_lowered(name.substr(0, 31)); }

PictureLayout read_picture(std::span<const uint8_t> bytes) {
  if (bytes.size() < 4) return refused(PictureProblem::truncated_header);
  PictureLayout p;
  const uint32_t header = u32_at(bytes, 0);
  int64_t width = 0;
  int64_t height = 0;
  int planes = 0;
  uint32_t compression = bi_rgb;
  uint32_t colours_used = 0;
  if (header == core_header_size) {
    if (bytes.size() < header) return refused(PictureProblem::truncated_header);
    width = u16_at(bytes, 4);
    height = u16_at(bytes, 6);
    planes = u16_at(bytes, 8);
    p.bits_per_pixel = u16_at(bytes, 10);
    p.palette_entry_size = 3;
  } else if (header == info_header_size || header == v4_header_size || header == v5_header_size) {
    if (bytes.size() < header) return refused(PictureProblem::truncated_header);
    width = int32_t(u32_at(bytes, 4));
    height = int32_t(u32_at(bytes, 8));
    planes = u16_at(bytes, 12);
    p.bits_per_pixel = u16_at(bytes, 14);
    compression = u32_at(bytes, 16);
    colours_used = u32_at(bytes, 32);
    p.palette_entry_size = 4;
  } else {
    return refused(PictureProblem::unknown_header);
  }
  p.header_size = header;

  if (height < 0) {
    p.top_down = true;
    height = -height;
  }
  if (width <= 0 || height <= 0 || width > max_picture_side || height > max_picture_side)
    return refused(PictureProblem::bad_size);
  p.width = int(width);
  p.height = int(height);

  const int bits = p.bits_per_pixel;
  const bool known_bits =
      bits == 1 || bits == 4 || bits == 8 || bits == 24 || (p.palette_entry_size == 4 && (bits == 16 || bits == 32));
  const bool known_compression = compression == bi_rgb || (compression == bi_bitfields && (bits == 16 || bits == 32));
  if (planes != 1 || !known_bits || !known_compression) return refused(PictureProblem::unsupported_format);

  // After a plain info header, the three colour masks come before the palette.
  const uint64_t masks = header == info_header_size && compression == bi_bitfields ? 12 : 0;
  uint64_t entries = colours_used;
  if (bits <= 8) {
    if (colours_used > (1u << bits)) return refused(PictureProblem::bad_palette);
    if (entries == 0) entries = 1u << bits;
  }
  const uint64_t palette_offset = header + masks;
  const uint64_t pixel_offset = palette_offset + entries * uint64_t(p.palette_entry_size);
  if (pixel_offset > bytes.size()) return refused(PictureProblem::truncated_palette);
  p.palette_offset = size_t(palette_offset);
  p.palette_entries = int(entries);
  p.pixel_offset = size_t(pixel_offset);

  const uint64_t stride = (uint64_t(width) * uint64_t(bits) + 31) / 32 * 4;
  if (stride * uint64_t(height) > bytes.size() - pixel_offset) return refused(PictureProblem::truncated_pixels);
  p.stride = size_t(stride);

  if (bits <= 8 && entries < (1u << bits)) {
    for (int row = 0; row < p.height; ++row) {
      for (int x = 0; x < p.width; ++x) {
        if (pixel_index(p, bytes, x, row) >= p.palette_entries) return refused(PictureProblem::index_beyond_palette);
      }
    }
  }
  return p;
}

bool draws_transparent(const PictureLayout& picture, int index) {
  return picture.ok() && index != -1 && picture.bits_per_pixel <= 8 && index >= 0 && index < picture.palette_entries;
}

std::vector<uint8_t> transparency_mask(const PictureLayout& picture, std::span<const uint8_t> bytes, int index) {
  if (!draws_transparent(picture, index)) return {};
  const size_t stride = (size_t(picture.width) + 31) / 32 * 4;
  std::vector<uint8_t> mask(stride * size_t(picture.height), 0);
  for (int row = 0; row < picture.height; ++row) {
    uint8_t* line = mask.data() + size_t(row) * stride;
    for (int x = 0; x < picture.width; ++x) {
      if (pixel_index(picture, bytes, x, row) == index) line[x / 8] |= uint8_t(0x80 >> (x % 8));
    }
  }
  return mask;
}

std::vector<uint8_t> with_black_entry(const PictureLayout& picture, std::span<const uint8_t> bytes, int index) {
  if (!draws_transparent(picture, index)) return {};
  std::vector<uint8_t> copy(bytes.begin(), bytes.end());
  const size_t entry = picture.palette_offset + size_t(index) * size_t(picture.palette_entry_size);
  std::fill_n(copy.begin() + std::ptrdiff_t(entry), 3, uint8_t(0));
  return copy;
}

}  // namespace halvard
