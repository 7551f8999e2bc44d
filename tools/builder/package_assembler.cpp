#include "package_assembler.h"

#include <algorithm>

#include "foundation/tool_name.h"
#include "package/checksum.h"
#include "package/engine_copy.h"
#include "package/package_header.h"
#include "package/setup_section.h"
#include "pe_image.h"

namespace halvard {
namespace {

void put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

}  // namespace

bool assemble_package(const PackageInput& input, std::ostream& out, AssembledLayout& layout, std::string& error) {
  PeLayout pe;
  if (!read_pe_layout(input.engine, pe, error)) return false;
  const uint64_t file_count = input.region.file_data_sizes.size();
  if (file_count > 0x7FFFFFFF || input.region.size > 0x7FFFFFFF) {
    error = "the package is larger than the format allows (2 GiB of file data)";
    return false;
  }

  std::vector<uint8_t> stored;
  if (!block_encode(input.settings_stream, input.stream_mode, stored)) {
    error = "the settings stream could not be compressed";
    return false;
  }
  const uint64_t header_size = package_header_fixed_size + 4 * file_count;
  uint64_t content = header_size + stored.size() + (input.data_on_disk ? 0 : input.region.size);
  const uint32_t raw_size = setup_section_raw_size(pe, content);
  // With the data on disk the stored stream is padded (the decoder ignores what follows
  // its items) so that the region starts right behind the section and ends the file.
  if (input.data_on_disk) stored.resize(raw_size - header_size, 0);
  if (stored.size() >= uint64_t(max_stream_size)) {
    error = "the settings stream is larger than the format allows";
    return false;
  }
  const uint32_t stream_checksum = Checksum32(input.settings_stream);
  scramble_stream(stored, stream_checksum);

  std::vector<uint8_t> image(input.engine.begin(), input.engine.end());
  add_setup_section_entry(image, pe, raw_size);

  layout.section_offset = pe.raw_end;
  layout.section_raw_size = raw_size;
  layout.stream_offset = uint32_t(header_size);
  layout.stream_size = uint32_t(stored.size());
  layout.data_offset = uint32_t(header_size + stored.size());

  std::vector<uint8_t> header;
  put32(header, package_magic);
  put32(header, uint32_t(input.engine_version ? input.engine_version : engine_version_hundredths));
  put32(header, uint32_t(stored.size()));
  put32(header, stream_checksum);
  const ReadAt read_image = [&image](uint64_t offset, void* out, size_t size) {
    if (offset > image.size() || size > image.size() - offset) return false;
    std::copy_n(image.begin() + std::ptrdiff_t(offset), size, static_cast<uint8_t*>(out));
    return true;
  };
  put32(header, engine_checksum(image, pe.e_lfanew, security_entry_offset(read_image, pe.e_lfanew)));
  put32(header, uint32_t(layout.data_offset + input.region.size));
  put32(header, uint32_t(file_count));
  put32(header, uint32_t(input.region.size));
  put32(header, input.region.checksum);
  for (int32_t size : input.region.file_data_sizes) put32(header, uint32_t(size));

  out.write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
  out.write(reinterpret_cast<const char*>(header.data()), std::streamsize(header.size()));
  out.write(reinterpret_cast<const char*>(stored.data()), std::streamsize(stored.size()));
  if (!input.data_on_disk) {
    if (input.region.size && !input.region.copy_to(out)) {
      error = "the file data could not be read back";
      return false;
    }
    std::vector<char> padding(raw_size - content, 0);
    out.write(padding.data(), std::streamsize(padding.size()));
  } else if (input.region.size && !input.region.copy_to(out)) {
    error = "the file data could not be read back";
    return false;
  }
  layout.file_size = uint64_t(pe.raw_end) + raw_size + (input.data_on_disk ? input.region.size : 0);
  if (!out) {
    error = "writing the installer failed";
    return false;
  }
  return true;
}

}  // namespace halvard
