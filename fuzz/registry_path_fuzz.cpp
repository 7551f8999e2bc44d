#include <cstddef>
#include <cstdint>
#include <string_view>

#include "records/uninstall_registration.h"
#include "installer/uninstall_registration_icon.h"
#include "foundation/registry_path.h"

// Registry paths and registration numbers come from the package; the same bytes also
// go through the icon splitter, which must never reach outside them.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  if (auto key = halvard::parse_registry_key_path(text)) {
    if (key->key.size() > text.size()) __builtin_trap();
  }
  if (auto value = halvard::parse_registry_value_path(text)) {
    if (value->key.key.size() + value->value_name.size() > text.size()) __builtin_trap();
  }
  halvard::registration_number(text);
  halvard::version_numbers(text);
  halvard::icon_resources({data, size});
  return 0;
}
