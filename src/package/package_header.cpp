#include "package/package_header.h"

#include <cstdio>

#include "foundation/tool_name.h"
#include "package/block_codec.h"
#include "package/byte_reader.h"
#include "package/package_error_codes.h"

namespace halvard {

namespace code = package_error_code;

bool engine_version_too_new(int32_t package_version) { return package_version > engine_version_hundredths + 1; }

std::string version_mismatch_text(int32_t package_version) {
  char text[512];
  std::snprintf(text, sizeof text,
                "The installer version (%.1f) does not match the version of %s (%.1f).  Close all applications and "
                "reinstall %s.",
                engine_version_hundredths * 0.01, tool_name, package_version * 0.01, tool_name);
  return text;
}

HeaderCheck read_package_header(std::span<const uint8_t> section, PackageHeader& header) {
  ByteReader reader(section);
  HeaderCheck check;
  auto fail = [&check](int code) {
    check.package_error = code;
    return check;
  };

  if (!reader.u32(header.Magic) || header.Magic != package_magic) return fail(code::bad_magic);
  if (!reader.i32(header.EngineVersion)) return fail(code::bad_magic);
  if (engine_version_too_new(header.EngineVersion)) {
    check.newer_engine = true;
    return check;
  }
  if (!reader.i32(header.StreamSize) || header.StreamSize < 1 || header.StreamSize >= max_stream_size)
    return fail(code::bad_stream_size);
  if (!reader.u32(header.StreamChecksum) || !reader.u32(header.EngineChecksum)) return fail(code::bad_stream_size);
  if (!reader.i32(header.DataEnd) || header.DataEnd < 0) return fail(code::bad_data_end);
  if (!reader.i32(header.FileCount) || header.FileCount < 0) return fail(code::bad_file_count);
  if (!reader.i32(header.DataSize) || header.DataSize < 0) return fail(code::bad_data_size);
  if (!reader.u32(header.DataChecksum)) return fail(code::bad_data_size);

  // The list must fit in the section before anything is reserved for it.
  if (uint64_t(header.FileCount) * 4 > reader.remaining()) return fail(code::bad_file_count);
  header.FileDataSizes.resize(size_t(header.FileCount));
  for (int32_t& size : header.FileDataSizes) {
    reader.i32(size);
    if (size < 0 || size > max_file_data_size) return fail(code::bad_file_data_size);
  }

  header.StreamOffset = uint32_t(reader.position());
  if (uint64_t(header.StreamSize) > reader.remaining()) return fail(code::bad_stream_size);
  header.DataOffset = header.StreamOffset + uint32_t(header.StreamSize);
  return check;
}

void scramble_stream(std::span<uint8_t> bytes, uint32_t key) {
  // A little-endian word XOR the key is each byte XOR the key byte of its place; the
  // tail bytes take the key's low bytes in order, which is the same rule.
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] ^= uint8_t(key >> (8 * (i % 4)));
}

int decode_stored_stream(std::span<const uint8_t> section, const PackageHeader& header, std::vector<uint8_t>& stream) {
  std::vector<uint8_t> stored(section.begin() + header.StreamOffset, section.begin() + header.DataOffset);
  scramble_stream(stored, header.StreamChecksum);
  BlockDecodeResult result = BlockCodec::decode(stored, stream);
  return result ? 0 : code::stream_rejected;
}

}  // namespace halvard
