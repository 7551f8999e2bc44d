// The uninstaller's reader of "Uninstall.DAT" on arbitrary bytes: it must stay inside
// the input, and what it reads must write back to a text that reads to the same value
// (and writes to the same bytes again). The same input, cut into fields at 0x1E, also
// checks that every field without a line break survives the record rules.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "records/uninstall_data.h"
#include "records/uninstall_data_csv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace halvard;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const UninstallData first = parse_uninstall_data(text);
  const std::string written = write_uninstall_data(first);
  const UninstallData second = parse_uninstall_data(written);
  if (!(second == first)) std::abort();
  if (write_uninstall_data(second) != written) std::abort();

  std::vector<std::string> fields(1);
  for (char c : text) {
    if (c == '\x1e')
      fields.emplace_back();
    else if (c != '\r' && c != '\n')
      fields.back().push_back(c);
  }
  if (split_csv_record(csv_record(fields)) != fields) std::abort();
  return 0;
}
