#include "records/uninstall_data_csv.h"

namespace halvard {

bool csv_needs_quotes(std::string_view field) {
  if (field.empty()) return false;
  if (field.find_first_of(",\"\t\r\n;|") != std::string_view::npos) return true;
  return field.front() == ' ' || field.front() == '\'' || field.back() == ' ';
}

std::string csv_field(std::string_view field) {
  if (!csv_needs_quotes(field)) return std::string(field);
  std::string out;
  out.reserve(field.size() + 2);
  out.push_back('"');
  for (char c : field) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

std::string csv_record(const std::vector<std::string>& fields) {
  std::string out;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) out.push_back(',');
    out += csv_field(fields[i]);
  }
  return out;
}

std::vector<std::string> split_csv_record(std::string_view line) {
  std::vector<std::string> fields;
  auto add = [&fields](std::string_view raw) {
    std::string_view field = trim_blanks(raw);
    if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
      field = field.substr(1, field.size() - 2);
    std::string& out = fields.emplace_back();
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
      out.push_back(field[i]);
      if (field[i] == '"' && i + 1 < field.size() && field[i + 1] == '"') ++i;
    }
  };
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') {
      quoted = !quoted;
    } else if (line[i] == ',' && !quoted) {
      add(line.substr(start, i - start));
      start = i + 1;
    }
  }
  add(line.substr(start));
  return fields;
}

std::vector<std::string_view> csv_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') quoted = !quoted;
    if (text[i] != '\n' || quoted) continue;
    std::size_t end = i > start && text[i - 1] == '\r' ? i - 1 : i;
    lines.push_back(text.substr(start, end - start));
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

}  // namespace halvard
