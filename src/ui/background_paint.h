#pragma once
// What the background window draws, decided from numbers: the colour bands of the
// gradient fallback, where the picture goes, where each text line goes, which font
// names to try, and what the package's picture holds. The Windows layer measures and
// draws.
//
// The picture reader never reads outside the bytes it is given, whatever they hold: a
// picture it refuses is not drawn, and its transparency functions are only for a
// picture it accepted.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace halvard {

// Right and bottom are exclusive, as GDI's.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool empty() const { return right <= left || bottom <= top; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Colour {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  friend bool operator==(const Colour&, const Colour&) = default;
};

// A COLORREF (0x00BBGGRR); the top byte is ignored.
constexpr Colour colour_from_ref(uint32_t ref) {
  return {uint8_t(ref & 0xFF), uint8_t((ref >> 8) & 0xFF), uint8_t((ref >> 16) & 0xFF)};
}
constexpr uint32_t colour_ref(Colour c) { return c.red | uint32_t(c.green) << 8 | uint32_t(c.blue) << 16; }

// ---- gradient fallback ----

struct ColourBand {
  int top = 0;  // from the top of the client area
  int bottom = 0;
  Colour colour;
};

// The horizontal bands that stand in for a vertical gradient over `height` pixels:
// bands of height / 224 pixels (1 to 3), the last one cut at the bottom. Each channel
// steps from `top` towards `bottom` before a band is filled, so the first band is
// already one step away from `top` and the last one is exactly `bottom`.
std::vector<ColourBand> gradient_bands(int height, Colour top, Colour bottom);

// ---- the picture's place ----

namespace stretch_mode {
inline constexpr int stretch = 0;
inline constexpr int keep_aspect = 1;
inline constexpr int whole_factor = 2;
inline constexpr int tile = 3;
}  // namespace stretch_mode

// The client area shrunk to `percent` of its width and height, centred.
Rect picture_area(Rect client, int percent);
// Where a picture of `width` x `height` goes in `area` (not for tiling).
Rect fit_picture(Rect area, int width, int height, int mode);

// Tiles of the picture's own size from the client's top-left corner, enough whole
// columns and rows to cover it, in drawing order: column by column, each from the top.
struct TileGrid {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int columns = 0;
  int rows = 0;
  Rect tile(int column, int row) const;
};
TileGrid tile_grid(Rect client, int width, int height);

// ---- texts ----

// Text positions: 1 top left, 2 top centre, 3 top right, 4-6 the same at the bottom;
// 0 draws nothing; any other value draws at the top left.
struct TextMargins {
  int horizontal = 0;
  int vertical = 0;
};
TextMargins text_margins(Rect client);

// A text's size in points: its size factor times the points of one unit. Sizes that are
// no number or below 0 count as 0, sizes beyond largest_text_points as that, so that
// the font search, which shrinks a point at a time, always ends.
inline constexpr double largest_text_points = 1000;
double text_points(double factor, double points_per_unit);

// The font is taken at this size without the width test: text never shrinks below it.
inline constexpr double smallest_tested_points = 6;
// Whether a font whose text measures `text_width` is taken (see smallest_tested_points).
bool font_fits(double points, int text_width, Rect client, int shadow);

struct TextOrigin {
  int x = 0;
  int y = 0;
  friend bool operator==(const TextOrigin&, const TextOrigin&) = default;
};
// Where each line starts (without its shadow, which is offset by `shadow` right and
// down), given each line's measured width and the font's height. Empty for position 0.
std::vector<TextOrigin> place_text_lines(Rect client, int position, int shadow, std::span<const int> line_widths,
                                         int line_height);

// The text's lines: split after each line feed, each line's trailing CR and LF left out;
// nothing after a final line feed makes no extra line.
template <class Char>
std::vector<std::basic_string_view<Char>> text_lines(std::basic_string_view<Char> text) {
  std::vector<std::basic_string_view<Char>> lines;
  while (!text.empty()) {
    size_t end = text.find(Char('\n'));
    size_t next = end == text.npos ? text.size() : end + 1;
    std::basic_string_view<Char> line = text.substr(0, next);
    while (!line.empty() && (line.back() == Char('\r') || line.back() == Char('\n'))) line.remove_suffix(1);
    lines.push_back(line);
    text.remove_prefix(next);
  }
  return lines;
}

// The face names of a comma-separated font list, trimmed, empty names left out.
std::vector<std::string> font_face_names(std::string_view list);
// A face name as the font search asks for it: lower-cased, at most 31 characters.
std::string font_query_name(std::string_view name);
inline constexpr char fallback_font_face[] = "Arial";

// ---- the package's picture ----

// A device-independent bitmap as the package holds it: a BITMAPINFOHEADER (or its
// larger successors) or a BITMAPCOREHEADER, the colour masks and the palette, then the
// pixels; no file header.
enum class PictureProblem {
  none,
  truncated_header,
  unknown_header,
  bad_size,            // zero, negative width, or beyond max_picture_side
  unsupported_format,  // planes, bit count or compression not drawable here
  bad_palette,         // more colours than the bit count can index
  truncated_palette,
  truncated_pixels,
  index_beyond_palette,
};

inline constexpr int max_picture_side = 0x8000;

struct PictureLayout {
  PictureProblem problem = PictureProblem::none;
  int width = 0;
  int height = 0;  // rows, whatever the order
  bool top_down = false;
  int bits_per_pixel = 0;
  size_t header_size = 0;
  size_t palette_offset = 0;
  int palette_entries = 0;
  int palette_entry_size = 0;  // 4 (RGBQUAD), or 3 after a core header
  size_t pixel_offset = 0;
  size_t stride = 0;  // bytes per stored row
  bool ok() const { return problem == PictureProblem::none; }
};

PictureLayout read_picture(std::span<const uint8_t> bytes);

// Whether the picture is drawn with a transparent palette index: `index` is not -1 and
// names an entry of its palette, which only pictures of 8 bits per pixel or fewer have.
bool draws_transparent(const PictureLayout& picture, int index);

// A 1-bit mask of the picture, rows in the picture's order and padded to 4 bytes, bit
// set (white) where the pixel's index is `index`. Only for a picture that draws
// transparent with this index.
std::vector<uint8_t> transparency_mask(const PictureLayout& picture, std::span<const uint8_t> bytes, int index);
// A copy of the picture whose palette entry `index` is black.
std::vector<uint8_t> with_black_entry(const PictureLayout& picture, std::span<const uint8_t> bytes, int index);

}  // namespace halvard
