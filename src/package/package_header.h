#pragma once
// The plain header at the start of the ".setup" section and the stored settings
// stream behind it. Works on the section's bytes; every offset and count read from
// the header is checked against the bytes the section really has before it is used.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace halvard {

inline constexpr uint32_t package_magic = 0xA4F23DE5;
inline constexpr int32_t max_stream_size = 0x3200000;
inline constexpr int32_t max_file_data_size = 0x40000000;
inline constexpr size_t package_header_fixed_size = 36;

struct PackageHeader {
  uint32_t Magic = 0;
  int32_t EngineVersion = 0;
  int32_t StreamSize = 0;
  uint32_t StreamChecksum = 0;
  uint32_t EngineChecksum = 0;
  int32_t DataEnd = 0;
  int32_t FileCount = 0;
  int32_t DataSize = 0;
  uint32_t DataChecksum = 0;
  std::vector<int32_t> FileDataSizes;
  // Where the stored stream and the file-data region begin, from the section start.
  uint32_t StreamOffset = 0;
  uint32_t DataOffset = 0;
};

struct HeaderCheck {
  int package_error = 0;        // 0 when the header passed
  bool newer_engine = false;    // the package needs a newer engine: the version message
  bool ok() const { return package_error == 0 && !newer_engine; }
};

// Reads and checks the header words in their order.
HeaderCheck read_package_header(std::span<const uint8_t> section, PackageHeader& header);

// A package from this or an older tool passes; one made by a newer tool does not.
// Compared in whole hundredths: 2611 passes against 2610, 2612 does not.
bool engine_version_too_new(int32_t package_version);

// The version message, filled as the engine shows it.
std::string version_mismatch_text(int32_t package_version);

// XOR with the key word by word, the 1 to 3 tail bytes with the key's low bytes in
// order. Its own inverse.
void scramble_stream(std::span<uint8_t> bytes, uint32_t key);

// Copies, unscrambles and decodes the stored stream. 0 on success, else the
// PackageError code (47 when the codec rejects it).
int decode_stored_stream(std::span<const uint8_t> section, const PackageHeader& header, std::vector<uint8_t>& stream);

}  // namespace halvard
