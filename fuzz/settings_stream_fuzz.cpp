// The stream reader on any bytes: it must end in a code or a record, never read outside
// the input. A record it accepts must survive the builder's writer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "package/checksum.h"
#include "package/settings_stream.h"
#include "settings_writer.h"

namespace {

halvard::SettingsEnvironment environment() {
  halvard::SettingsEnvironment env;
  env.program_files = "C:\\Program Files (x86)";
  env.common_app_data = "C:\\ProgramData";
  env.common_files = "C:\\Program Files (x86)\\Common Files";
  env.os_description = "Windows 10 Pro 64-bit";
  return env;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> stream(data, size);
  const halvard::SettingsEnvironment env = environment();
  halvard::InstallSettings first;
  // The stream's own checksum, so that the reading goes past the comparison.
  if (!halvard::read_settings(stream, halvard::Checksum32(stream), first, env).ok()) return 0;
  // Rewritten and read again, a record settles after one pass: the first reading
  // applies defaults (a default install folder taken from the product name has its
  // "<os>" replaced only on the next reading), after that nothing may change.
  first.InstallingText.clear();
  const std::vector<uint8_t> written = halvard::write_settings(first);
  halvard::InstallSettings second;
  if (!halvard::read_settings(written, halvard::Checksum32(written), second, env).ok()) std::abort();
  const std::vector<uint8_t> settled = halvard::write_settings(second);
  halvard::InstallSettings third;
  if (!halvard::read_settings(settled, halvard::Checksum32(settled), third, env).ok()) std::abort();
  // Compared as bytes: a NaN title size is still the same item.
  if (halvard::write_settings(third) != settled) std::abort();
  return 0;
}
