#include "records/registry_script.h"

#include <cstdint>
#include <optional>

#include "foundation/text.h"
#include "records/uninstall_data_csv.h"

namespace halvard {
namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool plain_key_path(std::string_view path) {
  if (path.starts_with("\\")) path.remove_prefix(1);
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    std::string_view element = path.substr(start, end - start);
    // A trailing backslash is harmless; an empty element inside is not.
    if ((element.empty() && end != path.size()) || element == "." || element == "..") return false;
    start = end + 1;
  }
  return true;
}

std::optional<uint32_t> type_number(std::string_view text) {
  text = trim_blanks(text);
  if (text.empty() || text.size() > 10) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + uint64_t(c - '0');
  }
  if (value > UINT32_MAX) return std::nullopt;
  return uint32_t(value);
}

void append_little_endian(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += char((value >> (8 * i)) & 0xFF);
}

}  // namespace

std::vector<RegistryScriptEntry> parse_registry_script(std::string_view script) {
  std::vector<RegistryScriptEntry> entries;
  for (std::string_view line : csv_lines(script)) {
    std::vector<std::string> fields = split_csv_record(line);
    RegistryScriptEntry& entry = entries.emplace_back();
    entry.line = std::string(line);
    if (fields.size() == 1) {
      entry.key_path = std::string(trim_blanks(fields[0]));
      if (plain_key_path(entry.key_path)) entry.kind = RegistryScriptEntry::Kind::key;
      continue;
    }
    if (fields.size() != 6) continue;
    std::optional<uint32_t> type = type_number(fields[2]);
    if (!type || !plain_key_path(fields[0])) continue;
    entry.kind = RegistryScriptEntry::Kind::value;
    entry.key_path = std::move(fields[0]);
    entry.value_name = std::move(fields[1]);
    entry.type = *type;
    entry.data = std::move(fields[3]);
    entry.written = fields[4] != "1";
    entry.kept = fields[5] == "1";
  }
  return entries;
}

uint64_t registry_number(std::string_view text) {
  text = trim_blanks(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  uint64_t value = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') && hex_digit(text[2]) >= 0) {
    for (size_t i = 2; i < text.size() && hex_digit(text[i]) >= 0; ++i)
      value = value * 16 + uint64_t(hex_digit(text[i]));
  } else {
    for (size_t i = 0; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
      value = value * 10 + uint64_t(text[i] - '0');
  }
  return negative ? ~value + 1 : value;
}

std::string registry_datum(uint32_t type, std::string_view data) {
  std::string bytes;
  switch (type) {
    case 1:
    case 2:
      bytes = std::string(data);
      bytes += '\0';
      return bytes;
    case 3: {
      std::string compact;
      for (char c : data)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') compact += c;
      bool pairs = compact.size() % 2 == 0;
      for (char c : compact) pairs = pairs && hex_digit(c) >= 0;
      if (!pairs) return compact;
      for (size_t i = 0; i < compact.size(); i += 2)
        bytes += char(hex_digit(compact[i]) * 16 + hex_digit(compact[i + 1]));
      return bytes;
    }
    case 4:
      append_little_endian(bytes, registry_number(data), 4);
      return bytes;
    case 11:
      append_little_endian(bytes, registry_number(data), 8);
      return bytes;
    default:
      return std::string(data);
  }
}

}  // namespace halvard
