// The uninstaller's icon as resources: an icon file image split into its images
// (RT_ICON 1..n) and the group directory (RT_GROUP_ICON 1) that names them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace halvard {

struct IconResources {
  std::vector<std::span<const uint8_t>> images;  // into the icon file; image i is resource name i + 1
  std::vector<uint8_t> group;                    // 6 + 14 bytes per image
};

// Never reads outside `icon_file`: nullopt when the directory or an image's bytes do not
// lie inside it, or when it holds no image.
std::optional<IconResources> icon_resources(std::span<const uint8_t> icon_file);

}  // namespace halvard
