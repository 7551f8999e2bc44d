#include "ui/background_paint.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

namespace halvard {
namespace {

using Bytes = std::vector<uint8_t>;

// ---- gradient fallback ----

TEST(GradientBands, CoverTheHeightAndEndExactlyOnTheBottomColour) {
  const int heights[] = {1, 2, 3, 223, 224, 447, 448, 671, 672, 673, 701, 1000, 4321};
  const struct {
    Colour top, bottom;
  } pairs[] = {
      {{0, 0, 0}, {255, 255, 255}},           // upwards
      {{255, 255, 255}, {0, 0, 0}},           // downwards
      {{0x80, 0, 0x10}, {0x00, 0xC8, 0x0F}},  // channels in both directions, small differences
      {{12, 34, 56}, {12, 34, 56}},           // equal
  };
  for (int height : heights) {
    const int band_height = height / 224 < 1 ? 1 : height / 224 > 3 ? 3 : height / 224;
    for (const auto& pair : pairs) {
      SCOPED_TRACE(testing::Message() << "height " << height << " top " << int(pair.top.red) << ","
                                      << int(pair.top.green) << "," << int(pair.top.blue));
      std::vector<ColourBand> bands = gradient_bands(height, pair.top, pair.bottom);
      ASSERT_FALSE(bands.empty());
      EXPECT_EQ(bands.size(), size_t((height + band_height - 1) / band_height));
      EXPECT_EQ(bands.front().top, 0);
      EXPECT_EQ(bands.back().bottom, height);
      EXPECT_EQ(bands.back().colour, pair.bottom);
      for (size_t i = 0; i < bands.size(); ++i) {
        if (i + 1 < bands.size()) {
          EXPECT_EQ(bands[i].bottom - bands[i].top, band_height);
          EXPECT_EQ(bands[i].bottom, bands[i + 1].top);
        }
        // Each channel moves one way only, in steps that differ by at most one unit.
        const Colour before = i == 0 ? pair.top : bands[i - 1].colour;
        const int steps[] = {bands[i].colour.red - before.red, bands[i].colour.green - before.green,
                             bands[i].colour.blue - before.blue};
        const int spans[] = {pair.bottom.red - pair.top.red, pair.bottom.green - pair.top.green,
                             pair.bottom.blue - pair.top.blue};
        for (int c = 0; c < 3; ++c) {
          const int n = int(bands.size());
          const int low = std::abs(spans[c]) / n;
          EXPECT_GE(std::abs(steps[c]), low);
          EXPECT_LE(std::abs(steps[c]), low + 1);
          EXPECT_GE(steps[c] * spans[c], 0);
        }
      }
      if (pair.top == pair.bottom) {
        for (const ColourBand& band : bands) EXPECT_EQ(band.colour, pair.top);
      }
    }
  }
}

TEST(GradientBands, StepBeforeTheFirstBand) {
  // Two one-pixel bands from 0 to 255: steps of 127, the remainder handed out last.
  std::vector<ColourBand> bands = gradient_bands(2, {0, 0, 0}, {255, 0, 9});
  ASSERT_EQ(bands.size(), 2u);
  EXPECT_EQ(bands[0].colour, (Colour{127, 0, 4}));
  EXPECT_EQ(bands[1].colour, (Colour{255, 0, 9}));
  EXPECT_TRUE(gradient_bands(0, {}, {}).empty());
}

// ---- the picture's place ----

TEST(PicturePlace, AreaIsTheClientShrunkAndCentred) {
  const Rect client{0, 0, 1000, 700};
  EXPECT_EQ(picture_area(client, 50), (Rect{250, 175, 750, 525}));
  EXPECT_EQ(picture_area(client, 100), client);
  EXPECT_TRUE(picture_area(client, 0).empty());
  EXPECT_EQ(picture_area({0, 0, 1025, 739}, 33), (Rect{343, 248, 681, 491}));
}

TEST(PicturePlace, FittingByStretchMode) {
  const Rect area{100, 50, 500, 350};  // 400 x 300
  const struct {
    const char* name;
    int width, height, mode;
    Rect expected;
  } cases[] = {
      {"stretch", 10, 90, stretch_mode::stretch, area},
      {"unknown modes stretch", 10, 90, 7, area},
      {"negative mode stretches", 10, 90, -1, area},
      {"aspect, wide picture: full width", 200, 50, stretch_mode::keep_aspect, {100, 150, 500, 250}},
      {"aspect, tall picture: full height", 50, 100, stretch_mode::keep_aspect, {225, 50, 375, 350}},
      {"aspect, same shape", 4, 3, stretch_mode::keep_aspect, area},
      {"aspect, tiny picture grows", 1, 1, stretch_mode::keep_aspect, {150, 50, 450, 350}},
      {"whole factor 3", 120, 90, stretch_mode::whole_factor, {120, 65, 480, 335}},
      {"whole factor limited by height", 20, 100, stretch_mode::whole_factor, {270, 50, 330, 350}},
      {"whole factor 1 exactly", 400, 300, stretch_mode::whole_factor, area},
      {"larger than the area: as aspect", 800, 200, stretch_mode::whole_factor, {100, 150, 500, 250}},
      {"taller than the area: as aspect", 300, 600, stretch_mode::whole_factor, {225, 50, 375, 350}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(fit_picture(area, c.width, c.height, c.mode), c.expected);
  }
  EXPECT_TRUE(fit_picture({0, 0, 0, 0}, 10, 10, stretch_mode::keep_aspect).empty());
  EXPECT_TRUE(fit_picture({0, 0, 0, 0}, 10, 10, stretch_mode::whole_factor).empty());
  EXPECT_TRUE(fit_picture(area, 0, 10, stretch_mode::whole_factor).empty());
}

TEST(PicturePlace, TilesCoverTheWindowColumnByColumn) {
  const Rect client{0, 0, 100, 50};
  TileGrid grid = tile_grid(client, 30, 20);
  EXPECT_EQ(grid.columns, 4);
  EXPECT_EQ(grid.rows, 3);
  EXPECT_EQ(grid.tile(0, 0), (Rect{0, 0, 30, 20}));
  EXPECT_EQ(grid.tile(0, 1), (Rect{0, 20, 30, 40}));
  EXPECT_EQ(grid.tile(3, 2), (Rect{90, 40, 120, 60}));
  // Every pixel lies in exactly one tile.
  for (int y = 0; y < client.bottom; ++y) {
    for (int x = 0; x < client.right; ++x) {
      int hits = 0;
      for (int column = 0; column < grid.columns; ++column) {
        for (int row = 0; row < grid.rows; ++row) {
          Rect t = grid.tile(column, row);
          hits += x >= t.left && x < t.right && y >= t.top && y < t.bottom;
        }
      }
      ASSERT_EQ(hits, 1) << x << "," << y;
    }
  }
  EXPECT_EQ(tile_grid(client, 100, 50).columns * tile_grid(client, 100, 50).rows, 1);
  EXPECT_EQ(tile_grid(client, 0, 50).columns, 0);
}

// ---- texts ----

TEST(TextPlace, BottomCentreTwoLinesEndAboveTheBottomByMarginAndShadow) {
  const Rect client{0, 0, 1000, 800};  // margins 5 and 2
  const int widths[] = {300, 500};
  std::vector<TextOrigin> lines = place_text_lines(client, 5, 3, widths, 40);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].y + 40, 800 - 2 - 3);
  EXPECT_EQ(lines[0].y + 40, lines[1].y);
  // Line width 1000 - 2 x (3 + 5) = 984 from the margin: each line centred in it.
  EXPECT_EQ(lines[0].x, 5 + (984 - 300) / 2);
  EXPECT_EQ(lines[1].x, 5 + (984 - 500) / 2);
}

TEST(TextPlace, Positions) {
  const Rect client{0, 0, 800, 600};  // margins 4 and 1
  const int widths[] = {100, 60};
  const int shadow = 2;
  const int line_width = 800 - 2 * (shadow + 4);
  const int bottom_top = 600 - 2 * 30 - 1 - shadow;
  const struct {
    int position;
    std::vector<TextOrigin> expected;
  } cases[] = {
      {1, {{4, 1}, {4, 31}}},
      {2, {{4 + (line_width - 100) / 2, 1}, {4 + (line_width - 60) / 2, 31}}},
      {3, {{4 + line_width - 100, 1}, {4 + line_width - 60, 31}}},
      {4, {{4, bottom_top}, {4, bottom_top + 30}}},
      {5, {{4 + (line_width - 100) / 2, bottom_top}, {4 + (line_width - 60) / 2, bottom_top + 30}}},
      {6, {{4 + line_width - 100, bottom_top}, {4 + line_width - 60, bottom_top + 30}}},
      {0, {}},
      {7, {{4, 1}, {4, 31}}},
      {255, {{4, 1}, {4, 31}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.position);
    EXPECT_EQ(place_text_lines(client, c.position, shadow, widths, 30), c.expected);
  }
  EXPECT_TRUE(place_text_lines(client, 1, 0, {}, 30).empty());
}

TEST(TextPlace, FontIsTakenWhenTheTextFitsOrAtSixPoints) {
  const Rect client{0, 0, 1000, 800};  // horizontal margin 5
  EXPECT_TRUE(font_fits(26, 989, client, 5));
  EXPECT_FALSE(font_fits(26, 990, client, 5));
  EXPECT_FALSE(font_fits(6.5, 5000, client, 0));
  EXPECT_TRUE(font_fits(6, 5000, client, 0));
  EXPECT_TRUE(font_fits(-3, 5000, client, 0));
}

TEST(TextPlace, SizesAreNumbersTheSearchCanShrink) {
  EXPECT_EQ(text_points(1.0, 26), 26);
  EXPECT_EQ(text_points(1.5, 16), 24);
  EXPECT_EQ(text_points(0, 26), 0);
  EXPECT_EQ(text_points(-2, 26), 0);
  EXPECT_EQ(text_points(std::numeric_limits<double>::quiet_NaN(), 26), 0);
  EXPECT_EQ(text_points(1e300, 26), largest_text_points);
  EXPECT_EQ(text_points(std::numeric_limits<double>::infinity(), 16), largest_text_points);
}

TEST(TextLines, SplitAtLineFeedsWithoutTheirLineEnds) {
  const struct {
    std::string_view text;
    std::vector<std::string_view> lines;
  } cases[] = {
      {"Product", {"Product"}},
      {"One\r\nTwo", {"One", "Two"}},
      {"One\r\nTwo\r\n", {"One", "Two"}},  // no empty line after the last line end
      {"One\n\nThree", {"One", "", "Three"}},
      {"Cr\r\r\nLf\n", {"Cr", "Lf"}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(text_lines(c.text), c.lines) << c.text;
  std::u16string wide = u"\u00c9t\u00e9\r\nZwei";
  EXPECT_EQ(text_lines(std::u16string_view(wide)), (std::vector<std::u16string_view>{u"\u00c9t\u00e9", u"Zwei"}));
}

TEST(FontNames, SplitTrimmedAndAskedInLowerCase) {
  EXPECT_EQ(font_face_names(" Cambria Bold Italic,Times New Roman Bold Italic \t"),
            (std::vector<std::string>{"Cambria Bold Italic", "Times New Roman Bold Italic"}));
  EXPECT_EQ(font_face_names("Tahoma,, ,Verdana,"), (std::vector<std::string>{"Tahoma", "Verdana"}));
  EXPECT_TRUE(font_face_names("").empty());
  EXPECT_EQ(font_query_name("Times New Roman"), "times new roman");
  EXPECT_EQ(font_query_name("A Very Long Font Family Name Indeed XYZ"), "a very long font family name in");
}

// ---- the package's picture ----

struct PictureParts {
  uint32_t header = 40;
  int32_t width = 4;
  int32_t height = 2;
  uint32_t planes = 1;
  uint32_t bits = 8;
  uint32_t compression = 0;
  uint32_t colours_used = 3;
  int palette = 3;    // entries written
  int masks = 0;      // colour masks written after the header
  Bytes pixels = {};  // empty: zeros for every row
};

size_t stride_of(int width, int bits) { return (size_t(width) * size_t(bits) + 31) / 32 * 4; }

Bytes picture_bytes(const PictureParts& s) {
  Bytes b;
  auto u16 = [&](uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
  };
  auto u32 = [&](uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  };
  u32(s.header);
  if (s.header == 12) {
    u16(uint32_t(s.width));
    u16(uint32_t(s.height));
    u16(s.planes);
    u16(s.bits);
  } else {
    u32(uint32_t(s.width));
    u32(uint32_t(s.height));
    u16(s.planes);
    u16(s.bits);
    u32(s.compression);
    for (int i = 0; i < 3; ++i) u32(0);
    u32(s.colours_used);
    u32(0);
    b.resize(s.header, 0);
  }
  const uint32_t masks[] = {0xFF0000, 0x00FF00, 0x0000FF};
  for (int i = 0; i < s.masks; ++i) u32(masks[i]);
  for (int i = 0; i < s.palette; ++i) {
    b.push_back(uint8_t(0x10 + i));  // blue
    b.push_back(uint8_t(0x20 + i));  // green
    b.push_back(uint8_t(0x30 + i));  // red
    if (s.header != 12) b.push_back(0);
  }
  if (!s.pixels.empty()) {
    b.insert(b.end(), s.pixels.begin(), s.pixels.end());
  } else if (s.width > 0 && s.height != 0 && s.width < 0x10000 && s.height > -0x10000 && s.height < 0x10000) {
    b.resize(b.size() + stride_of(s.width, int(s.bits)) * size_t(std::abs(s.height)), 0);
  }
  return b;
}

TEST(PictureReader, ReadsTheLayoutOfEachHeaderKind) {
  PictureLayout p = read_picture(picture_bytes({}));
  ASSERT_TRUE(p.ok());
  EXPECT_EQ(p.width, 4);
  EXPECT_EQ(p.height, 2);
  EXPECT_FALSE(p.top_down);
  EXPECT_EQ(p.bits_per_pixel, 8);
  EXPECT_EQ(p.palette_offset, 40u);
  EXPECT_EQ(p.palette_entries, 3);
  EXPECT_EQ(p.palette_entry_size, 4);
  EXPECT_EQ(p.pixel_offset, 52u);
  EXPECT_EQ(p.stride, 4u);

  PictureParts top_down;
  top_down.height = -2;
  p = read_picture(picture_bytes(top_down));
  ASSERT_TRUE(p.ok());
  EXPECT_TRUE(p.top_down);
  EXPECT_EQ(p.height, 2);

  PictureParts core;
  core.header = 12;
  core.width = 9;
  core.bits = 1;
  core.palette = 2;
  p = read_picture(picture_bytes(core));
  ASSERT_TRUE(p.ok());
  EXPECT_EQ(p.palette_offset, 12u);
  EXPECT_EQ(p.palette_entries, 2);
  EXPECT_EQ(p.palette_entry_size, 3);
  EXPECT_EQ(p.pixel_offset, 18u);
  EXPECT_EQ(p.stride, 4u);

  PictureParts masked;  // 32 bits with colour masks after a plain header
  masked.bits = 32;
  masked.compression = 3;
  masked.colours_used = 0;
  masked.palette = 0;
  masked.masks = 3;
  p = read_picture(picture_bytes(masked));
  ASSERT_TRUE(p.ok());
  EXPECT_EQ(p.pixel_offset, 52u);
  EXPECT_EQ(p.palette_entries, 0);

  PictureParts v5 = masked;  // the masks are inside the larger headers
  v5.header = 124;
  v5.masks = 0;
  p = read_picture(picture_bytes(v5));
  ASSERT_TRUE(p.ok());
  EXPECT_EQ(p.pixel_offset, 124u);

  PictureParts full_palette;  // no colour count: as many as the bits can index
  full_palette.bits = 4;
  full_palette.colours_used = 0;
  full_palette.palette = 16;
  p = read_picture(picture_bytes(full_palette));
  ASSERT_TRUE(p.ok());
  EXPECT_EQ(p.palette_entries, 16);
  EXPECT_EQ(p.pixel_offset, 40u + 64u);
}

TEST(PictureReader, RefusesWhatItCannotDrawSafely) {
  const struct Case {
    const char* name;
    PictureParts parts;
    long keep;  // bytes kept; -1 all, -2 all but the last
    PictureProblem expected;
  } cases[] = {
      {"well-formed", {}, -1, PictureProblem::none},
      {"no header size", {}, 3, PictureProblem::truncated_header},
      {"header cut", {}, 20, PictureProblem::truncated_header},
      {"core header cut", {.header = 12, .bits = 1, .palette = 2}, 11, PictureProblem::truncated_header},
      {"header of unknown size", {.header = 64}, -1, PictureProblem::unknown_header},
      {"file header left on", {.header = 0x4D42}, -1, PictureProblem::unknown_header},
      {"zero width", {.width = 0}, -1, PictureProblem::bad_size},
      {"zero height", {.height = 0}, -1, PictureProblem::bad_size},
      {"negative width", {.width = -4}, -1, PictureProblem::bad_size},
      {"huge width", {.width = 0x8001, .height = 1}, -1, PictureProblem::bad_size},
      {"huge top-down height", {.width = 1, .height = -0x8001}, -1, PictureProblem::bad_size},
      {"lowest height", {.height = INT_MIN}, -1, PictureProblem::bad_size},
      {"largest core width", {.header = 12, .width = 0xFFFF, .bits = 1, .palette = 2}, -1, PictureProblem::bad_size},
      {"two planes", {.planes = 2}, -1, PictureProblem::unsupported_format},
      {"embedded JPEG or PNG", {.bits = 0, .compression = 4}, -1, PictureProblem::unsupported_format},
      {"two bits", {.bits = 2}, -1, PictureProblem::unsupported_format},
      {"run-length coded", {.compression = 1}, -1, PictureProblem::unsupported_format},
      {"masks for 8 bits", {.compression = 3}, -1, PictureProblem::unsupported_format},
      {"16 bits after a core header", {.header = 12, .bits = 16, .palette = 0}, -1, PictureProblem::unsupported_format},
      {"more colours than 8 bits index", {.colours_used = 257}, -1, PictureProblem::bad_palette},
      {"palette cut", {}, 40 + 8, PictureProblem::truncated_palette},
      {"colour count beyond the bytes",
       {.bits = 24, .colours_used = 0x40000000, .palette = 0},
       -1,
       PictureProblem::truncated_palette},
      {"masks missing",
       {.width = 1, .height = 1, .bits = 32, .compression = 3, .colours_used = 0, .palette = 0},
       -1,
       PictureProblem::truncated_palette},
      {"last pixel byte missing", {}, -2, PictureProblem::truncated_pixels},
      {"pixels far beyond the bytes",
       {.width = 0x8000, .height = 0x8000, .bits = 32, .colours_used = 0, .palette = 0, .pixels = Bytes(16)},
       -1,
       PictureProblem::truncated_pixels},
      {"index beyond the palette", {.pixels = {0, 1, 2, 0, 2, 3, 0, 0}}, -1, PictureProblem::index_beyond_palette},
      {"index beyond the palette, 4 bits",
       {.bits = 4, .colours_used = 2, .palette = 2, .pixels = {0x01, 0x20, 0, 0, 0, 0, 0, 0}},
       -1,
       PictureProblem::index_beyond_palette},
      // The padding of a row is no pixel.
      {"padding beyond the palette",
       {.width = 1,
        .bits = 4,
        .colours_used = 2,
        .palette = 2,
        .pixels = {0x0F, 0xFF, 0xFF, 0xFF, 0x1F, 0xFF, 0xFF, 0xFF}},
       -1,
       PictureProblem::none},
      {"indexes within a short palette", {.pixels = {0, 1, 2, 0, 2, 1, 0, 0}}, -1, PictureProblem::none},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes bytes = picture_bytes(c.parts);
    if (c.keep >= 0) bytes.resize(size_t(c.keep));
    if (c.keep == -2) bytes.pop_back();
    EXPECT_EQ(read_picture(bytes).problem, c.expected);
  }
}

TEST(PictureReader, EveryShortenedPictureIsRefused) {
  PictureParts core;
  core.header = 12;
  core.width = 5;
  core.bits = 4;
  core.palette = 16;
  PictureParts masked;
  masked.bits = 16;
  masked.compression = 3;
  masked.colours_used = 0;
  masked.palette = 0;
  masked.masks = 3;
  for (const PictureParts& parts : {PictureParts{}, core, masked}) {
    const Bytes whole = picture_bytes(parts);
    ASSERT_TRUE(read_picture(whole).ok());
    for (size_t n = 0; n < whole.size(); ++n) {
      // A buffer of exactly n bytes, so that the sanitizer sees any read past it.
      Bytes shortened(whole.begin(), whole.begin() + std::ptrdiff_t(n));
      EXPECT_FALSE(read_picture(shortened).ok()) << n << " of " << whole.size();
    }
  }
}

TEST(PictureTransparency, OnlyForAPaletteEntry) {
  const PictureLayout eight_bits = read_picture(picture_bytes({}));
  PictureParts true_colour;
  true_colour.bits = 24;
  true_colour.colours_used = 3;  // an optional palette does not make pixels indexes
  const PictureLayout twenty_four = read_picture(picture_bytes(true_colour));
  ASSERT_TRUE(twenty_four.ok());
  const PictureLayout refused = read_picture(Bytes(3));
  EXPECT_TRUE(draws_transparent(eight_bits, 0));
  EXPECT_TRUE(draws_transparent(eight_bits, 2));
  EXPECT_FALSE(draws_transparent(eight_bits, -1));
  EXPECT_FALSE(draws_transparent(eight_bits, -2));
  EXPECT_FALSE(draws_transparent(eight_bits, 3));  // beyond the palette
  EXPECT_FALSE(draws_transparent(twenty_four, 0));
  EXPECT_FALSE(draws_transparent(refused, 0));
  EXPECT_TRUE(transparency_mask(eight_bits, picture_bytes({}), 7).empty());
}

TEST(PictureTransparency, MaskIsWhiteWhereTheIndexIs) {
  const struct {
    const char* name;
    PictureParts parts;
    int index;
    Bytes mask;
  } cases[] = {
      {"8 bits", {.width = 3, .pixels = {2, 0, 2, 9, 1, 2, 1, 2}}, 2, {0xA0, 0, 0, 0, 0x40, 0, 0, 0}},
      {"4 bits",
       {.width = 3, .bits = 4, .pixels = {0x20, 0x2F, 0, 0, 0x12, 0x10, 0, 0}},
       2,
       {0xA0, 0, 0, 0, 0x40, 0, 0, 0}},
      {"1 bit, wider than a byte",
       {.width = 10, .height = 1, .bits = 1, .colours_used = 2, .palette = 2, .pixels = {0xF0, 0x7F, 0xFF, 0xFF}},
       0,
       {0x0F, 0x80, 0, 0}},
      {"top-down keeps the stored order",
       {.width = 3, .height = -2, .pixels = {2, 0, 2, 9, 1, 2, 1, 2}},
       2,
       {0xA0, 0, 0, 0, 0x40, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes bytes = picture_bytes(c.parts);
    const PictureLayout layout = read_picture(bytes);
    ASSERT_TRUE(layout.ok());
    EXPECT_EQ(transparency_mask(layout, bytes, c.index), c.mask);
  }
}

TEST(PictureTransparency, BlackEntryChangesOnlyThatColour) {
  for (uint32_t header : {40u, 12u}) {
    PictureParts parts;
    parts.header = header;
    if (header == 12) parts.palette = 256;
    const Bytes bytes = picture_bytes(parts);
    const PictureLayout layout = read_picture(bytes);
    ASSERT_TRUE(layout.ok());
    Bytes black = with_black_entry(layout, bytes, 1);
    ASSERT_EQ(black.size(), bytes.size());
    const size_t entry = layout.palette_offset + size_t(layout.palette_entry_size);
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (i >= entry && i < entry + 3) {
        EXPECT_EQ(black[i], 0) << i;
      } else {
        EXPECT_EQ(black[i], bytes[i]) << i;
      }
    }
  }
}

}  // namespace
}  // namespace halvard
