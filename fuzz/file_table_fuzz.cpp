// The file-table walker on arbitrary region bytes. The first bytes of the input make a
// small header: options, the file count and each file's data size; the rest is the
// region. The region checksum is right unless the input asks otherwise, so the walk
// gets past the region check and into the blocks and records.
//
// Input: flags (bit 0 compressed blocks, bit 1 block checksums tested, bit 2 region on
// disk, bit 3 wrong DataChecksum, bit 4 DataSize one too large), file count (mod 8),
// then a signed 16-bit data size per file, then the region.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "package/checksum.h"
#include "package/file_table.h"

namespace {

using namespace halvard;

const DestinationFolders folders{"C:\\App",
                                 "C:\\Shared",
                                 "C:\\App\\un",
                                 "C:\\Windows\\system32",
                                 "C:\\Windows\\Fonts",
                                 {}};

void run(RegionSource& region, const FileTableHeader& header, const FileTableOptions& options) {
  if (!check_file_region(region, header)) return;
  size_t total = 0;
  extract_files(region, header, options, folders, {}, [&total](const ExtractedFile& file) {
    // Touch every byte handed out, so that ASan sees a view that reaches too far.
    for (uint8_t byte : file.data) total += byte;
    total += file.destination.path.size();
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t flags = data[0];
  const size_t count = data[1] % 8;
  size_t at = 2;
  if (size - at < count * 2) return 0;
  std::vector<int32_t> sizes;
  for (size_t i = 0; i < count; ++i, at += 2) sizes.push_back(int16_t(data[at] | data[at + 1] << 8));

  const std::span<const uint8_t> region(data + at, size - at);
  FileTableHeader header;
  header.DataSize = int64_t(region.size()) + ((flags & 0x10) ? 1 : 0);
  header.DataChecksum = Checksum32(region) ^ ((flags & 0x8) ? 1 : 0);
  header.FileDataSizes = sizes;
  const FileTableOptions options{(flags & 0x1) != 0, (flags & 0x2) != 0};

  if (flags & 0x4) {
    // The region ends the file, 16 bytes in.
    DiskRegion disk(
        [region](uint64_t offset, void* out, size_t n) {
          if (offset < 16 || offset - 16 > region.size() || n > region.size() - (offset - 16)) return false;
          if (n) std::memcpy(out, region.data() + (offset - 16), n);
          return true;
        },
        16 + region.size(), 16);
    run(disk, header, options);
  } else {
    MemoryRegion memory(region);
    run(memory, header, options);
  }
  return 0;
}
