#include <cstddef>
#include <cstdint>
#include <string_view>

#include "foundation/http_request.h"

// Addresses come from the package and answers from whatever server the address names.
// A parsed address must never hold a byte that could end a request line.
namespace {
void check_address(const halvard::HttpAddress& address) {
  for (std::string_view part : {std::string_view(address.host), std::string_view(address.path)})
    for (char c : part)
      if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) __builtin_trap();
  if (address.host.empty() || address.port == 0) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (auto address = halvard::parse_http_address(text)) {
    check_address(*address);
    halvard::get_request(*address);
  }
  halvard::response_head_complete(text);
  halvard::response_status(text);
  if (auto location = halvard::location_header(text)) {
    halvard::HttpAddress base;
    base.host = "example.test";
    base.path = "/a/b?c";
    if (auto target = halvard::redirect_target(base, *location)) check_address(*target);
  }
  return 0;
}
