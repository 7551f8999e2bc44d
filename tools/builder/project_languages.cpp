// [languages] and [messages.<language>]: the message table's columns and the texts
// that replace or add to the built-in English ones, each keyed by the message's name
// in the engine's table or by its number.

#include <cctype>
#include <charconv>
#include <map>
#include <utility>

#include "builtin_messages.h"
#include "project_sections.h"
#include "package/settings_stream.h"
#include "text_encoding.h"

namespace halvard::builder {

void read_languages(TomlReader& r, const toml::table& root, Project& project) {
  if (const auto* t = r.table(root, "languages")) {
    r.unknown_keys(*t, "[languages]", section_keys("languages"));
    std::vector<std::string> names;
    if (r.texts(*t, "names", names)) {
      const toml::node& node = *t->get("names");
      if (names.empty() || names.size() > size_t(max_languages))
        r.error(node, "'names' must list 1 to " + std::to_string(max_languages) + " languages");
      project.languages.clear();
      for (const std::string& name : names) {
        if (name.empty()) r.error(node, "a language name must not be empty");
        for (const LanguageTexts& earlier : project.languages)
          if (earlier.name == name) r.error(node, "the language \"" + name + "\" is listed twice");
        project.languages.push_back({name, r.position(node), {}, {}});
      }
    }
  }

  const toml::table* messages = r.table(root, "messages");
  if (!messages) return;
  for (auto&& [key, value] : *messages) {
    const auto utf8_name = std::string(key.str());
    const std::string name = utf8_to_cp1252(utf8_name).value_or(utf8_name);
    LanguageTexts* language = nullptr;
    for (LanguageTexts& l : project.languages)
      if (l.name == name) language = &l;
    if (!language) {
      r.error(value, "[messages." + utf8_name + "]: \"" + utf8_name +
                         "\" is not one of the languages of [languages] names");
      continue;
    }
    const auto* texts = value.as_table();
    if (!texts) {
      r.error(value, "[messages." + utf8_name + "] must be a table of name or number = \"text\"");
      continue;
    }
    // The key and node that gave each message, to name both when one is given twice.
    std::map<int, std::pair<std::string_view, const toml::node*>> given;
    for (auto&& [message_key, text] : *texts) {
      const std::string_view k = message_key.str();
      int number = -1;
      if (!k.empty() && (std::isdigit(static_cast<unsigned char>(k[0])) || k[0] == '-' || k[0] == '+')) {
        const auto [end, ec] = std::from_chars(k.data(), k.data() + k.size(), number);
        if (ec != std::errc() || end != k.data() + k.size() || number < 0 || number >= max_messages) {
          r.error(text, "[messages." + utf8_name + "]: '" + std::string(k) + "' is not a message number from 0 to " +
                            std::to_string(max_messages - 1));
          continue;
        }
      } else if (const BuiltinMessage* m = find_builtin_message(k)) {
        number = m->number;
      } else {
        r.error(text, "[messages." + utf8_name + "]: unknown message name \"" + std::string(k) +
                          "\"; halvard-build build --help lists every name and its number");
        continue;
      }
      if (auto [earlier, fresh] = given.try_emplace(number, k, &text); !fresh) {
        // Keys come in name order, not file order: report at the later of the two.
        auto [first_key, first] = earlier->second;
        std::string_view second_key = k;
        const toml::node* second = &text;
        if (second->source().begin < first->source().begin) {
          std::swap(first_key, second_key);
          std::swap(first, second);
        }
        r.error(*second, "[messages." + utf8_name + "]: '" + std::string(second_key) + "' is message " +
                             std::to_string(number) + ", already given as '" + std::string(first_key) + "' at " +
                             r.position(*first).text() + "; give each message once");
        continue;
      }
      const auto* s = text.as_string();
      if (!s) {
        r.error(text, "[messages." + utf8_name + "] " + std::string(k) + " must be a text in double quotes");
        continue;
      }
      auto converted = r.ansi(text, s->get());
      if (!converted) continue;
      if (converted->find('\0') != std::string::npos) {
        r.error(text, "[messages." + utf8_name + "] " + std::string(k) + " must not hold a NUL character");
        continue;
      }
      language->texts[number] = std::move(*converted);
      language->positions[number] = r.position(text);
    }
  }
}

}  // namespace halvard::builder
