#include <cstddef>
#include <cstdint>
#include <string_view>

#include "installer/command_line.h"
#include "foundation/own_path.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  halvard::parse_command_line(text);
  halvard::own_path_from_command_line(text);
  return 0;
}
