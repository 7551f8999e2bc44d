#include "machine/path_edit.h"

#include <cstddef>

#include "foundation/text.h"

namespace halvard {
namespace {

bool same_text(std::u16string_view a, std::u16string_view b, CaseFold fold) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (fold(a[i]) != fold(b[i])) return false;
  return true;
}

}  // namespace

char16_t ascii_case_fold(char16_t unit) {
  return (unit >= u'a' && unit <= u'z') ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
}

std::optional<std::u16string> edited_path_value(std::u16string_view value, std::u16string_view dir,
                                                bool add, CaseFold fold) {
  if (value.empty() || dir.empty()) return std::nullopt;
  for (std::size_t start = 0; start <= value.size();) {
    std::size_t end = value.find(u';', start);
    if (end == std::u16string_view::npos) end = value.size();
    if (same_text(value.substr(start, end - start), dir, fold)) {
      if (add) return std::nullopt;
      std::u16string edited(value);
      if (end < value.size())
        edited.erase(start, end + 1 - start);  // with the ";" after it
      else if (start > 0)
        edited.erase(start - 1);  // the last entry, with the ";" before it
      else
        edited.clear();
      return edited;
    }
    start = end + 1;
  }
  if (!add) return std::nullopt;
  std::u16string edited(value);
  if (edited.back() != u';') edited.push_back(u';');
  edited.append(dir);
  return edited;
}

std::string autoexec_path_line(std::string_view dir) {
  std::string line = "PATH=%PATH%;";
  line.append(dir);
  return line;
}

std::optional<std::string> edited_autoexec(std::string_view text, std::string_view line, bool add) {
  for (std::size_t start = 0; start < text.size();) {
    std::size_t feed = text.find('\n', start);
    std::size_t next = feed == std::string_view::npos ? text.size() : feed + 1;
    std::string_view current = text.substr(start, (feed == std::string_view::npos ? text.size() : feed) - start);
    if (!current.empty() && current.back() == '\r') current.remove_suffix(1);
    if (equal_ignoring_case(current, line)) {
      if (add) return std::nullopt;
      std::string edited(text);
      edited.erase(start, next - start);
      return edited;
    }
    start = next;
  }
  if (!add) return std::nullopt;
  std::string edited(text);
  if (!edited.empty() && edited.back() != '\n') edited.append("\r\n");
  edited.append(line);
  edited.append("\r\n");
  return edited;
}

std::string path_edit_report(std::string_view target, std::string_view dir, bool add) {
  std::string report = "Unable to modify ";
  report.append(target);
  report.append(".  You will need to manually ");
  report.append(add ? "add " : "remove ");
  report.append(dir);
  report.append(add ? " to" : " from");
  report.append(" the PATH environment variable.\r\n\r\n");
  return report;
}

}  // namespace halvard
