#pragma once
// "Installer Background.BMP": the package's background picture, kept beside the
// uninstaller so that the removal shows the window the installation showed. The package
// holds the picture without a file header; the kept file has one.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace halvard {

inline constexpr std::string_view background_picture_file_name = "Installer Background.BMP";
inline constexpr size_t bitmap_file_header_size = 14;

// The picture as a .BMP file: "BM", the file size, and where the pixels begin (after the
// header, the colour masks and the palette, as far as the picture holds them).
std::string bitmap_file(const std::vector<uint8_t>& picture);

// The picture from such a file; empty when the file is not one.
std::vector<uint8_t> picture_of_bitmap_file(std::string_view file);

}  // namespace halvard
