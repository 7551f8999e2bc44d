// A byte count as short text in units of 1024 ("1023 bytes", "1.50 MB").
#pragma once

#include <cstdint>
#include <string>

namespace halvard {

std::string format_byte_size(std::int64_t size);

}  // namespace halvard
