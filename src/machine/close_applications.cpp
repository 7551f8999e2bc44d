#include "machine/close_applications.h"

#include <algorithm>

#include "package/settings_stream.h"

namespace halvard {

CloseAction close_action(uint32_t mode) {
  switch (mode) {
    case 0: return CloseAction::post_close;
    case 1: return CloseAction::post_quit;
    case 2: return CloseAction::ask;
    default: return CloseAction::none;
  }
}

bool brings_forward(CloseAction action) {
  return action == CloseAction::post_close || action == CloseAction::post_quit;
}

bool title_matches(std::string_view pattern, std::string_view title) {
  if (title.empty()) return false;
  if (!pattern.empty() && pattern.front() == '*') return title.find(pattern.substr(1)) != std::string_view::npos;
  return title == pattern;
}

bool window_matches(const CloseApplication& entry, const WindowDescription& window) {
  const bool tests_class = !entry.window_class.empty();
  const bool tests_title = !entry.window_title.empty() && entry.window_title != "*";
  if (!tests_class && !tests_title) return false;
  if (tests_class && window.class_name != entry.window_class) return false;
  if (tests_title && !title_matches(entry.window_title, window.title)) return false;
  return true;
}

bool entry_applies(const CloseApplication& entry, const WindowDescription& window, uint8_t phase,
                   uint32_t own_process_id) {
  return (entry.phases & phase) != 0 && window.process_id != own_process_id && window_matches(entry, window);
}

bool has_entries_for_phase(const std::vector<CloseApplication>& entries, uint8_t phase) {
  return std::any_of(entries.begin(), entries.end(),
                     [phase](const CloseApplication& entry) { return (entry.phases & phase) != 0; });
}

std::vector<CloseStep> plan_closing(const std::vector<CloseApplication>& entries,
                                    const std::vector<WindowDescription>& windows, uint8_t phase,
                                    uint32_t own_process_id) {
  std::vector<CloseStep> steps;
  for (size_t w = 0; w < windows.size(); ++w) {
    for (size_t e = 0; e < entries.size(); ++e) {
      if (!entry_applies(entries[e], windows[w], phase, own_process_id)) continue;
      CloseAction action = close_action(entries[e].mode);
      if (action != CloseAction::none) steps.push_back({w, e, action});
      break;
    }
  }
  return steps;
}

std::string close_question_text(const InstallSettings& settings, std::string_view application_name,
                                std::string_view os_description) {
  std::string_view text = message(settings, close_question_message);
  if (text.empty()) return std::string(application_name);
  size_t at = text.find("%s");
  if (at == std::string_view::npos) return expand_tags(text, settings, os_description);
  return expand_tags(text.substr(0, at), settings, os_description) + std::string(application_name) +
         expand_tags(text.substr(at + 2), settings, os_description);
}

std::string close_question_title(const InstallSettings& settings, std::string_view os_description) {
  int n = settings.UninstallMode ? close_question_title_uninstall : close_question_title_install;
  return expand_tags(message(settings, n), settings, os_description);
}

void keep_uninstall_entries(std::vector<CloseApplication>& entries) {
  std::erase_if(entries,
                [](const CloseApplication& entry) { return (entry.phases & close_before_uninstall) == 0; });
}

}  // namespace halvard
