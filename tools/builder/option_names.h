#pragma once
// Names for the option bits, file kinds, flags and overwrite modes, so that a project
// says "directory_page" instead of 0x80. The same tables turn numbers back into names
// for `inspect`.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "package/option_bits.h"

namespace halvard::builder {

using NamedBit = OptionBit;

struct NamedValue {
  std::string_view name;
  uint32_t value;
};

std::span<const NamedBit> product_flag_low_names();
std::span<const NamedBit> product_flag_high_names();
std::span<const NamedBit> setup_option_names();
std::span<const NamedBit> excluded_system_names();  // Windows releases the package refuses
std::span<const NamedBit> file_flag_names();       // shortcut, removal and folder bits
std::span<const NamedBit> file_attribute_names();  // the attribute bits an installed file can get

std::span<const NamedValue> file_kind_names();
std::span<const NamedValue> overwrite_mode_names();  // values of Flags & 0x1C
std::span<const NamedValue> msi_ui_level_names();   // MsiValue of an MSI package

std::optional<uint32_t> find_bit(std::span<const NamedBit> table, std::string_view name);
std::optional<uint32_t> find_value(std::span<const NamedValue> table, std::string_view name);

// "a, b, 0x100": the names of the set bits, unnamed bits as one hex number; "" for 0.
std::string describe_bits(std::span<const NamedBit> table, uint32_t value);
// The value's name, or its decimal number when it has none.
std::string describe_value(std::span<const NamedValue> table, uint32_t value);

// Every name of a table, comma-separated, for error messages.
std::string list_names(std::span<const NamedBit> table);
std::string list_names(std::span<const NamedValue> table);

}  // namespace halvard::builder
