#include <cstddef>
#include <cstdint>
#include <string_view>

#include "records/registry_script.h"
#include "records/uninstall_data_csv.h"
#include "records/uninstall_records.h"

// The registry script comes from the package and, read back by the uninstaller, from
// Uninstall.DAT; every line and datum of it goes through here.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  size_t total = 0;
  for (std::string_view line : halvard::csv_lines(text)) total += line.size();
  if (total > text.size()) __builtin_trap();
  for (const halvard::RegistryScriptEntry& entry : halvard::parse_registry_script(text)) {
    if (entry.line.size() > text.size() || entry.data.size() > text.size()) __builtin_trap();
    std::string bytes = halvard::registry_datum(entry.type, entry.data);
    if (bytes.size() > entry.data.size() + 8) __builtin_trap();
  }
  for (uint32_t type : {1u, 3u, 4u, 11u}) halvard::registry_datum(type, text);
  halvard::registry_number(text);
  halvard::parse_registry_script_removals(text);
  return 0;
}
