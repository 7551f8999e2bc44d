#include "records/deferred_operations.h"

#include <limits>

#include "foundation/text.h"

namespace halvard {

// ---- The system's pending list ----

std::vector<std::u16string> parse_multi_string(const std::uint8_t* data, std::size_t size) {
  std::vector<std::u16string> texts;
  if (data == nullptr) return texts;
  const std::size_t units = size / 2;
  std::u16string current;
  bool open = false;  // a text has begun and has not met its zero yet
  for (std::size_t i = 0; i < units; ++i) {
    const char16_t unit = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    if (unit == 0) {
      texts.push_back(std::move(current));
      current.clear();
      open = false;
    } else {
      current.push_back(unit);
      open = true;
    }
  }
  if (open) {
    texts.push_back(std::move(current));  // cut short: no zero, no closing text
  } else if (!texts.empty() && texts.back().empty()) {
    texts.pop_back();  // the closing empty text
  }
  return texts;
}

std::vector<PendingOperation> pair_pending_texts(const std::vector<std::u16string>& texts) {
  std::vector<PendingOperation> operations;
  operations.reserve((texts.size() + 1) / 2);
  for (std::size_t i = 0; i < texts.size(); i += 2) {
    PendingOperation operation;
    operation.source = texts[i];
    if (i + 1 < texts.size()) operation.destination = texts[i + 1];
    operations.push_back(std::move(operation));
  }
  return operations;
}

namespace {

void append_text(std::vector<std::uint8_t>& bytes, const std::u16string& text) {
  for (char16_t unit : text) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
}

bool in_files(const std::u16string& path, const std::unordered_set<std::u16string>& files) {
  return files.find(path) != files.end();
}

}  // namespace

std::vector<std::uint8_t> multi_string_bytes(const std::vector<PendingOperation>& operations) {
  std::vector<std::uint8_t> bytes;
  for (const PendingOperation& operation : operations) {
    append_text(bytes, operation.source);
    append_text(bytes, operation.destination);
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

std::u16string pending_path(std::u16string_view text, bool lower) {
  std::size_t start = 0;
  while (start < text.size() && (text[start] == u'\\' || text[start] == u'?' || text[start] == u'!'))
    ++start;
  std::u16string path(text.substr(start));
  if (lower) {
    for (char16_t& unit : path)
      if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit - u'A' + u'a');
  }
  return path;
}

CleanedPendingList clean_pending_list(const std::vector<PendingOperation>& operations,
                                      const std::unordered_set<std::u16string>& files) {
  CleanedPendingList result;
  for (const PendingOperation& operation : operations) {
    if (!operation.is_deletion()) {
      std::u16string destination = pending_path(operation.destination, true);
      if (in_files(destination, files)) {
        result.dropped.push_back({true, std::move(destination), pending_path(operation.source, false)});
        continue;
      }
    } else {
      std::u16string source = pending_path(operation.source, true);
      if (source.empty() || in_files(source, files)) {
        result.dropped.push_back({false, std::move(source), {}});
        continue;
      }
    }
    result.kept.push_back(operation);
  }
  return result;
}

std::string written_file_key(std::string_view path) {
  std::string key(path);
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return key;
}

std::string dropped_operation_log_line(bool was_move, std::string_view path) {
  std::string line = "File \"";
  line.append(path);
  line.append(was_move ? "\" was removed from the list of pending moves.\r\n"
                       : "\" was removed from the list of pending deletions.\r\n");
  return line;
}

// ---- Conditional deletion ----

bool applies_in(const ConditionalDelete& entry, DeletionPhase phase) {
  const std::uint8_t bit =
      phase == DeletionPhase::Installing ? conditional_installing : conditional_uninstalling;
  return (entry.flags & bit) != 0;
}

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A run of 1..max_digits digits; false when there is none or it is longer.
bool read_number(std::string_view text, std::size_t& at, std::size_t max_digits, int& value,
                 std::size_t* digits = nullptr) {
  std::size_t start = at;
  value = 0;
  while (at < text.size() && is_digit(text[at])) {
    if (at - start == max_digits) return false;
    value = value * 10 + (text[at] - '0');
    ++at;
  }
  if (digits) *digits = at - start;
  return at > start;
}

bool read_char(std::string_view text, std::size_t& at, char c) {
  if (at >= text.size() || text[at] != c) return false;
  ++at;
  return true;
}

bool read_date(std::string_view text, std::size_t& at, DateTime& date) {
  std::size_t first_digits = 0;
  int first = 0;
  if (!read_number(text, at, 4, first, &first_digits)) return false;
  if (first_digits == 4) {  // yyyy-mm-dd
    date.year = first;
    return read_char(text, at, '-') && read_number(text, at, 2, date.month) &&
           read_char(text, at, '-') && read_number(text, at, 2, date.day);
  }
  if (first_digits > 2) return false;
  date.month = first;
  std::size_t year_digits = 0;
  if (!read_char(text, at, '/') || !read_number(text, at, 2, date.day) || !read_char(text, at, '/') ||
      !read_number(text, at, 4, date.year, &year_digits))
    return false;
  if (year_digits == 2) {
    date.year += date.year < 70 ? 2000 : 1900;
  } else if (year_digits != 4) {
    return false;
  }
  return true;
}

// "a", "p", "am", "pm", "a.m.", "p.m." in any case; 0 when absent, -1 when malformed.
int read_meridiem(std::string_view rest) {
  std::string lowered;
  for (char c : rest) lowered.push_back(ascii_lower(c));
  if (lowered.empty()) return 0;
  if (lowered == "a" || lowered == "am" || lowered == "a.m.") return 'a';
  if (lowered == "p" || lowered == "pm" || lowered == "p.m.") return 'p';
  return -1;
}

bool read_time(std::string_view text, std::size_t& at, DateTime& date) {
  if (!read_number(text, at, 2, date.hour) || !read_char(text, at, ':')) return false;
  std::size_t digits = 0;
  if (!read_number(text, at, 2, date.minute, &digits) || digits != 2) return false;
  if (read_char(text, at, ':') && (!read_number(text, at, 2, date.second, &digits) || digits != 2))
    return false;
  while (at < text.size() && text[at] == ' ') ++at;
  const int meridiem = read_meridiem(text.substr(at));
  at = text.size();
  if (meridiem < 0 || date.minute > 59 || date.second > 59) return false;
  if (meridiem == 0) return date.hour <= 23;
  if (date.hour < 1 || date.hour > 12) return false;
  date.hour = date.hour % 12 + (meridiem == 'p' ? 12 : 0);
  return true;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

int seconds_of_day(const DateTime& t) { return t.hour * 3600 + t.minute * 60 + t.second; }

}  // namespace

std::optional<ComparisonDate> parse_comparison_date(std::string_view text) {
  text = trimmed(text);
  ComparisonDate result;
  std::size_t at = 0;
  if (!read_date(text, at, result.date)) return std::nullopt;
  if (at < text.size()) {
    if (text[at] != ' ' && text[at] != '\t') return std::nullopt;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    if (!read_time(text, at, result.date)) return std::nullopt;
    result.has_time = true;
  }
  if (result.date.year == 0 || result.date.month < 1 || result.date.month > 12 || result.date.day < 1)
    return std::nullopt;
  result.date.weekday = weekday_of(result.date);
  if (!is_valid(result.date)) return std::nullopt;
  return result;
}

std::int32_t parse_comparison_size(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r'))) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  const std::int64_t limit =
      negative ? -static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::min())
               : std::numeric_limits<std::int32_t>::max();
  std::int64_t value = 0;
  for (; at < text.size() && is_digit(text[at]); ++at) {
    value = value * 10 + (text[at] - '0');
    if (value > limit) {
      value = limit;
      break;
    }
  }
  return static_cast<std::int32_t>(negative ? -value : value);
}

ConditionVerdict conditional_verdict(const ConditionalDelete& entry, const FileFacts& facts) {
  const auto verdict = [](bool take) { return take ? ConditionVerdict::Delete : ConditionVerdict::Keep; };
  switch (entry.kind) {
    case 1:
    case 2:
    case 3: {
      std::optional<ComparisonDate> value = parse_comparison_date(entry.value);
      if (!value) return ConditionVerdict::BadDate;
      int order = compare(facts.last_write, value->date);
      if (order == 0 && value->has_time)
        order = seconds_of_day(facts.last_write) - seconds_of_day(value->date);
      if (entry.kind == 1) return verdict(order == 0);
      if (entry.kind == 2) return verdict(order >= 0);
      return verdict(order <= 0);
    }
    case 4:
    case 5:
    case 6: {
      const std::int64_t value = parse_comparison_size(entry.value);
      if (entry.kind == 4) return verdict(facts.size == value);
      if (entry.kind == 5) return verdict(facts.size >= value);
      return verdict(facts.size <= value);
    }
    default:
      return ConditionVerdict::Delete;
  }
}

bool is_relative_pattern(std::string_view pattern) {
  if (pattern.size() >= 2 && pattern[1] == ':') return false;
  return pattern.empty() || (pattern[0] != '\\' && pattern[0] != '/');
}

namespace {

std::string quoted_line(std::string_view before, std::string_view path, std::string_view middle,
                        std::string_view reason) {
  std::string line(before);
  line.append(path).append(middle).append(reason).append("\r\n");
  return line;
}

}  // namespace

std::string deleted_file_log_line(std::string_view path) {
  std::string line = "Deleted file: ";
  line.append(path).append("\r\n");
  return line;
}

std::string failed_delete_log_line(std::string_view path, std::string_view reason) {
  return quoted_line("Failed to delete file '", path, "': ", reason);
}

std::string delete_after_reboot_log_line(std::string_view path, std::string_view reason) {
  return quoted_line("File '", path, "' will be deleted after rebooting: ", reason);
}

std::string failed_registration_line(std::string_view path, std::string_view reason) {
  return quoted_line("Failed to register '", path, "' for deletion: ", reason);
}

}  // namespace halvard
