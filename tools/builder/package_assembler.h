#pragma once
// Puts a setup.exe together: the engine with a ".setup" section holding the header,
// the scrambled and compressed settings stream, and the file-data region, either in
// the section or (data on disk) right behind it, ending the file.

#include <cstdint>
#include <functional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "block_encoder.h"

namespace halvard {

struct RegionSummary {
  uint64_t size = 0;
  uint32_t checksum = 0;
  std::vector<int32_t> file_data_sizes;
  // Writes the region's bytes, in order, to the output; false on a read failure.
  std::function<bool(std::ostream&)> copy_to;
};

struct PackageInput {
  std::span<const uint8_t> engine;
  std::span<const uint8_t> settings_stream;  // decoded
  RegionSummary region;
  bool data_on_disk = false;
  int32_t engine_version = 0;  // 0: this tool's version
  BlockEncodeMode stream_mode = BlockEncodeMode::best;
};

struct AssembledLayout {
  uint32_t section_offset = 0;   // PointerToRawData of ".setup"
  uint32_t section_raw_size = 0;
  uint32_t stream_offset = 0;    // from the section start
  uint32_t stream_size = 0;      // stored, padded
  uint32_t data_offset = 0;
  uint64_t file_size = 0;
};

// Writes the whole setup.exe to `out`. On failure `error` says why.
bool assemble_package(const PackageInput& input, std::ostream& out, AssembledLayout& layout, std::string& error);

}  // namespace halvard
