#include "records/uninstall_data.h"

#include <optional>
#include <utility>

#include "records/uninstall_registration.h"
#include "crash/fatal_error.h"
#include "foundation/text.h"
#include "package/settings_stream.h"
#include "records/uninstall_data_csv.h"

namespace halvard {

namespace {

enum class Section {
  Removal,
  Strings,
  Associations,
  AutoClose,
  Firewall,
  Inf,
  Registry,
  Registry2,
  Msi,
  ConditionalDelete,
};

constexpr std::pair<std::string_view, Section> section_headers[] = {
    {"[Strings]", Section::Strings},
    {"[Associations]", Section::Associations},
    {"[AutoClose]", Section::AutoClose},
    {"[Firewall]", Section::Firewall},
    {"[INF]", Section::Inf},
    {"[Registry]", Section::Registry},
    {"[Registry2]", Section::Registry2},
    {"[MSI]", Section::Msi},
    {"[ConditionalDelete]", Section::ConditionalDelete},
};

constexpr std::string_view crlf = "\r\n";
constexpr std::string_view association_separator = "~!~";

std::optional<Section> header_of(std::string_view trimmed) {
  for (const auto& [text, section] : section_headers)
    if (trimmed == text) return section;
  return std::nullopt;
}

bool has_line_break(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

// A line that reads back as itself: one line, and not a section header.
bool is_plain_line(std::string_view line) {
  return !has_line_break(line) && !header_of(trim_blanks(line));
}

// One line of the text from `at`: its bytes without the end, and where the next begins.
// CR, LF and CR LF each end a line.
struct Line {
  std::string_view content;
  std::size_t next = 0;
};

Line line_at(std::string_view text, std::size_t at) {
  std::size_t end = text.find_first_of("\r\n", at);
  if (end == std::string_view::npos) return {text.substr(at), text.size()};
  std::size_t next = end + 1;
  if (text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
  return {text.substr(at, end - at), next};
}

bool starts_with_header(std::string_view text) {
  for (const auto& header : section_headers)
    if (text.starts_with(header.first)) return true;
  return false;
}

// A line that ends the text being collected in [Strings].
bool ends_text(std::string_view line) {
  std::size_t first = line.find_first_not_of(" \t");
  if (first == std::string_view::npos) return false;
  line.remove_prefix(first);
  return line.front() == '~' || starts_with_header(line);
}

// "~" and the decimal number of a text, 1..1000.
std::optional<int> text_number(std::string_view trimmed) {
  if (trimmed.size() < 2 || trimmed.front() != '~') return std::nullopt;
  int n = 0;
  for (char c : trimmed.substr(1)) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
    if (n > 1000) return std::nullopt;
  }
  if (n < 1) return std::nullopt;
  return n;
}

// Leading sign and digits; no digits gives 0; saturates instead of overflowing.
long long parse_integer(std::string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long value = 0;
  constexpr long long limit = 1LL << 40;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    if (value < limit) value = value * 10 + (text[i] - '0');
  return negative ? -value : value;
}

uint8_t low_byte(long long value) {
  return static_cast<uint8_t>(static_cast<unsigned long long>(value));
}

void parse_association(std::string_view line, std::vector<AssociationRecord>& out) {
  std::size_t first = line.find(association_separator);
  if (first == std::string_view::npos) return;
  std::size_t second = line.find(association_separator, first + association_separator.size());
  if (second == std::string_view::npos) return;
  AssociationRecord record{std::string(line.substr(0, first)),
                           std::string(line.substr(first + association_separator.size(),
                                                   second - first - association_separator.size())),
                           std::string(line.substr(second + association_separator.size()))};
  if (trim_blanks(record.extension).empty() || trim_blanks(record.type_key).empty() ||
      trim_blanks(record.verb).empty())
    return;
  out.push_back(std::move(record));
}

void write_section(std::string& out, std::string_view header,
                   const std::vector<std::string>& lines) {
  if (lines.empty()) return;
  out.append(crlf).append(crlf).append(header).append(crlf);
  for (const std::string& line : lines) out.append(line).append(crlf);
}

bool any_line_break(const std::vector<std::string>& fields) {
  for (const std::string& field : fields)
    if (has_line_break(field)) return true;
  return false;
}

std::vector<std::string> plain_lines(const std::vector<std::string>& lines) {
  std::vector<std::string> kept;
  for (const std::string& line : lines)
    if (is_plain_line(line)) kept.push_back(line);
  return kept;
}

}  // namespace

std::string uninstall_folder_file(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path.push_back('\\');
  path.append(name);
  return path;
}

bool RemovalList::record(std::string_view path, RemovalKind kind) {
  if (kind != RemovalKind::File && kind != RemovalKind::Folder) internal_error(__FILE__, __LINE__);
  if (path.size() <= 3 || !is_plain_line(path)) return false;
  if (kind == RemovalKind::File) {
    if (path.front() == '~') return false;
  } else {
    std::string key;
    key.reserve(path.size());
    for (char c : path) key.push_back(ascii_lower(c));
    if (!folders_.insert(std::move(key)).second) return false;
  }
  entries_.push_back({kind, std::string(path)});
  return true;
}

void RemovalList::clear() {
  entries_.clear();
  folders_.clear();
}

void add_package_sections(UninstallData& data, const InstallSettings& settings) {
  for (int n : uninstaller_message_numbers) data.texts[n] = message(settings, n);
  data.installing_text = settings.InstallingText;
  data.auto_close = settings.CloseApplications;
  data.registry_script = settings.RegistryScript;
  data.conditional_deletes.clear();
  for (const ConditionalDelete& entry : settings.ConditionalDeletes)
    if (entry.flags & conditional_delete_on_uninstall) data.conditional_deletes.push_back(entry);
}

bool firewall_line_kept(std::string_view line) {
  for (int field = 0; field < 3; ++field) {
    std::size_t semicolon = line.find(';');
    if (semicolon == std::string_view::npos) return false;
    line.remove_prefix(semicolon + 1);
  }
  return line.substr(0, line.find(';')).find('1') != std::string_view::npos;
}

std::string msi_line(std::string_view package_path, int ui_level) {
  std::string line = "\"";
  line.append(package_path).append("\",").append(std::to_string(ui_level));
  return line;
}

std::string control_panel_value_path(std::string_view value_name) {
  std::string path = "\\HKLM\\";
  path.append(control_panel_key).append("\\").append(value_name);
  return path;
}

std::string removal_lines(const RemovalList& list, std::size_t first) {
  std::string out;
  const std::vector<RemovalEntry>& entries = list.entries();
  for (std::size_t i = first; i < entries.size(); ++i) {
    if (entries[i].kind == RemovalKind::Folder) out.push_back('~');
    out.append(entries[i].path).append(crlf);
  }
  return out;
}

RemovalList read_removal_journal(std::string_view text) {
  std::size_t end = text.rfind(crlf);
  return parse_uninstall_data(end == std::string_view::npos ? std::string_view() : text.substr(0, end + 2)).removal;
}

std::string write_uninstall_data(const UninstallData& data) {
  std::string out = removal_lines(data.removal);

  out.append(crlf).append(crlf).append("[Strings]").append(crlf);
  for (const auto& [number, text] : data.texts) {
    if (number < 1 || number > 1000 || number == installing_text_number) continue;
    out.append("~").append(std::to_string(number)).append(crlf).append(text).append(crlf);
  }
  out.append("~999").append(crlf).append(data.installing_text).append(crlf);

  std::vector<std::string> lines;
  for (const CloseApplication& app : data.auto_close) {
    std::vector<std::string> fields = {app.window_class, app.window_title, app.application_name,
                                       std::to_string(app.mode)};
    if (!any_line_break(fields)) lines.push_back(csv_record(fields));
  }
  write_section(out, "[AutoClose]", lines);

  lines.clear();
  for (const AssociationRecord& record : data.associations) {
    std::string line = record.extension;
    line.append(association_separator).append(record.type_key);
    line.append(association_separator).append(record.verb);
    if (!has_line_break(line)) lines.push_back(std::move(line));
  }
  write_section(out, "[Associations]", lines);

  write_section(out, "[Firewall]", plain_lines(data.firewall));
  write_section(out, "[INF]", plain_lines(data.inf));
  write_section(out, "[MSI]", plain_lines(data.msi));
  write_section(out, "[Registry]", plain_lines(data.registry));

  if (!data.registry_script.empty()) {
    out.append(crlf).append(crlf).append("[Registry2]").append(crlf).append(data.registry_script);
    char last = data.registry_script.back();
    if (last != '\r' && last != '\n') out.append(crlf);
  }

  lines.clear();
  for (const ConditionalDelete& entry : data.conditional_deletes) {
    std::vector<std::string> fields = {entry.path_pattern, std::to_string(entry.kind), entry.value,
                                       std::to_string(entry.flags)};
    if (!any_line_break(fields)) lines.push_back(csv_record(fields));
  }
  write_section(out, "[ConditionalDelete]", lines);
  return out;
}

UninstallData parse_uninstall_data(std::string_view text) {
  UninstallData data;
  Section section = Section::Removal;
  std::size_t at = 0;
  while (at < text.size()) {
    const Line line = line_at(text, at);
    at = line.next;
    const std::string_view trimmed = trim_blanks(line.content);
    if (auto header = header_of(trimmed)) {
      section = *header;
      continue;
    }
    if (trimmed.empty()) continue;

    switch (section) {
      case Section::Removal:
        if (trimmed.front() == '~')
          data.removal.record(trimmed.substr(1), RemovalKind::Folder);
        else
          data.removal.record(trimmed, RemovalKind::File);
        break;

      case Section::Strings: {
        const std::optional<int> number = text_number(trimmed);
        if (!number) break;
        const std::size_t start = at;
        while (at < text.size()) {
          const Line next = line_at(text, at);
          if (ends_text(next.content)) break;
          at = next.next;
        }
        std::string value(trim_blanks(text.substr(start, at - start)));
        if (*number == installing_text_number)
          data.installing_text = std::move(value);
        else
          data.texts[*number] = std::move(value);
        break;
      }

      case Section::AutoClose: {
        std::vector<std::string> fields = split_csv_record(trimmed);
        if (fields.size() != 4) break;
        CloseApplication app;
        app.window_class = std::move(fields[0]);
        app.window_title = std::move(fields[1]);
        app.application_name = std::move(fields[2]);
        app.mode = low_byte(parse_integer(fields[3]));
        app.phases = app.mode == 2 ? 0x4 : 0x2;
        data.auto_close.push_back(std::move(app));
        break;
      }

      case Section::Associations:
        parse_association(trimmed, data.associations);
        break;
      case Section::Firewall:
        data.firewall.emplace_back(trimmed);
        break;
      case Section::Inf:
        data.inf.emplace_back(trimmed);
        break;
      case Section::Registry:
        data.registry.emplace_back(trimmed);
        break;
      case Section::Msi:
        data.msi.emplace_back(trimmed);
        break;
      case Section::Registry2:
        data.registry_script.append(trimmed).append(crlf);
        break;

      case Section::ConditionalDelete: {
        std::vector<std::string> fields = split_csv_record(trimmed);
        if (fields.size() != 4) break;
        ConditionalDelete entry;
        entry.path_pattern = std::move(fields[0]);
        entry.kind = low_byte(parse_integer(fields[1]));
        entry.value = std::move(fields[2]);
        entry.flags = low_byte(parse_integer(fields[3]));
        data.conditional_deletes.push_back(std::move(entry));
        break;
      }
    }
  }
  return data;
}

void apply_texts(const UninstallData& data, InstallSettings& settings) {
  settings.InstallingText = data.installing_text;
  if (settings.LanguageIndex < 0) return;
  const std::size_t language = static_cast<std::size_t>(settings.LanguageIndex);
  for (const auto& [number, text] : data.texts) {
    if (number < 1 || number > 1000 || number == installing_text_number) continue;
    const std::size_t row_index = static_cast<std::size_t>(number);
    if (settings.Messages.size() <= row_index) settings.Messages.resize(row_index + 1);
    auto& row = settings.Messages[row_index];
    if (row.size() <= language) row.resize(language + 1);
    row[language] = text;
  }
}

std::string uninstall_data_load_failure(std::string_view product, std::string_view path,
                                        FileError error) {
  std::string text = "The uninstall information for ";
  text.append(product).append(" could not be loaded.\r\n\r\nFilepath: ").append(path);
  text.append("\r\nCode ").append(std::to_string(static_cast<int>(error))).append(": ");
  text.append(error_text(error));
  return text;
}

}  // namespace halvard
