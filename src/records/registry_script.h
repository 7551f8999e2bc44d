#pragma once
// The package's registry script, read by the installation: each record (csv_lines,
// split_csv_record) is a key to create (one field) or a value (six fields: key path,
// value name, type, data, install flag, uninstall flag); any other record is illegal.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace halvard {

struct RegistryScriptEntry {
  enum class Kind { key, value, illegal };
  Kind kind = Kind::illegal;
  std::string line;        // the record as the script has it, for the failure text
  std::string key_path;    // with its root prefix ("\HKLM\...") or "\HKAU\..."; trimmed for a key
  std::string value_name;  // empty: the key's default value
  uint32_t type = 0;       // the registry type number
  std::string data;
  bool written = true;  // the install flag is not "1"
  bool kept = false;    // the uninstall flag is "1"
};

// A value whose type is not a number, or a key path with an empty, "." or ".." element,
// is illegal too: such a line names nothing the registry should get.
std::vector<RegistryScriptEntry> parse_registry_script(std::string_view script);

// The bytes written for a datum: the text and its terminating zero for types 1 and 2
// (type 1 comes expanded), hexadecimal pairs for 3 (blanks removed; the text's own bytes
// when the rest is not an even run of hexadecimal digits), 4 bytes for 4, 8 for 11 (low
// byte first), the text's bytes for any other type.
std::string registry_datum(uint32_t type, std::string_view data);

// The number of a type 4 or 11 datum: blanks, an optional sign, then decimal digits or
// "0x" and hexadecimal digits, up to the first other character; modulo 2^64, so "-1"
// is all ones. Nothing readable is 0.
uint64_t registry_number(std::string_view text);

}  // namespace halvard
