#include <cstddef>
#include <cstdint>
#include <cstring>

#include "package/setup_section.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  halvard::locate_setup_section([=](uint64_t offset, void* out, size_t n) {
    if (offset > size || n > size - offset) return false;
    std::memcpy(out, data + offset, n);
    return true;
  });
  return 0;
}
