#include "message_table.h"

#include <algorithm>

#include "builtin_messages.h"
#include "package/settings_stream.h"
#include "text_encoding.h"

namespace halvard::builder {

std::string printf_conversions(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    size_t j = i + 1;
    while (j < text.size() && std::string_view("-+ #0123456789.*lhIL").find(text[j]) != std::string_view::npos) ++j;
    if (j >= text.size()) {
      out += "%";
      break;
    }
    if (text[j] != '%') out += text.substr(i, j - i + 1);
    i = j;
  }
  return out;
}

bool build_message_table(const std::vector<LanguageTexts>& languages, InstallSettings& settings,
                         std::vector<std::string>& errors) {
  const size_t errors_before = errors.size();
  if (languages.empty() || languages.size() > size_t(max_languages)) {
    errors.push_back("a package needs 1 to " + std::to_string(max_languages) + " languages");
    return false;
  }
  int rows = builtin_message_rows();
  for (const LanguageTexts& l : languages)
    if (!l.texts.empty()) rows = std::max(rows, l.texts.rbegin()->first + 1);
  if (rows > max_messages) {
    errors.push_back("message numbers must be below " + std::to_string(max_messages));
    return false;
  }

  // The English column every other language falls back on.
  std::vector<std::string> english(static_cast<size_t>(rows));
  for (const BuiltinMessage& m : builtin_messages()) english[size_t(m.number)] = std::string(m.text);
  const LanguageTexts* named_english = nullptr;
  for (const LanguageTexts& l : languages)
    if (l.name == "English") named_english = &l;
  auto language_index = [&](const LanguageTexts* l) { return size_t(l - languages.data()); };
  auto own_text = [&](const LanguageTexts& l, int n) -> const std::string* {
    if (auto it = l.texts.find(n); it != l.texts.end()) return &it->second;
    const size_t index = language_index(&l);
    if (n == 63 && index < settings.LicenseTexts.size()) return &settings.LicenseTexts[index];
    if (n == 64 && index < settings.ReadmeTexts.size()) return &settings.ReadmeTexts[index];
    return nullptr;
  };
  for (int n = 0; n < rows; ++n) {
    if (named_english) {
      if (const std::string* own = own_text(*named_english, n)) english[size_t(n)] = *own;
    } else if (n == 63 && !settings.LicenseTexts.empty()) {
      english[size_t(n)] = settings.LicenseTexts[0];  // no column named English: the first licence
    } else if (n == 64 && !settings.ReadmeTexts.empty()) {
      english[size_t(n)] = settings.ReadmeTexts[0];
    }
  }

  settings.LanguageNames.clear();
  for (const LanguageTexts& l : languages) settings.LanguageNames.push_back(l.name);
  settings.Messages.assign(size_t(rows), std::vector<std::string>(languages.size()));
  for (size_t c = 0; c < languages.size(); ++c) {
    const LanguageTexts& l = languages[c];
    for (int n = 0; n < rows; ++n) {
      const std::string* own = own_text(l, n);
      std::string& cell = settings.Messages[size_t(n)][c];
      cell = own ? *own : english[size_t(n)];
      const BuiltinMessage* builtin = find_builtin_message(n);
      if (!builtin || builtin->conversions.empty() || printf_conversions(cell) == builtin->conversions) continue;
      auto where = l.positions.find(n);
      const std::string place = where != l.positions.end() ? where->second.text() + ": " : "";
      const std::string expected = builtin->conversions.empty() ? "none" : std::string(builtin->conversions);
      const std::string found = printf_conversions(cell);
      errors.push_back(place + "[messages." + cp1252_to_utf8(l.name) + "] " + std::string(builtin->name) + " (" +
                       std::to_string(n) + "): the engine fills this text with the conversions " + expected +
                       ", in that order; the text has " + (found.empty() ? std::string("none") : found) +
                       " (write %% for a percent sign)");
    }
  }
  return errors.size() == errors_before;
}

}  // namespace halvard::builder
