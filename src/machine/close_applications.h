#pragma once
// Closing the product's running programs: which top-level window an entry of the
// automatic-close list takes, and what each mode does with it. Pure: the Windows layer
// describes the windows and carries out the plan.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "package/install_settings.h"

namespace halvard {

// Phase bits of an entry and of a call.
inline constexpr uint8_t close_before_install = 0x1;
inline constexpr uint8_t close_before_uninstall = 0x2;
inline constexpr uint8_t close_after_confirmation = 0x4;

// Language strings of the ask mode's question.
inline constexpr int close_question_message = 99;
inline constexpr int close_question_title_uninstall = 55;
inline constexpr int close_question_title_install = 65;

// What a top-level window shows of itself; empty texts where it could not be read.
struct WindowDescription {
  std::string class_name;
  std::string title;
  uint32_t process_id = 0;
};

// What a mode does with a window it takes.
enum class CloseAction : uint8_t {
  none,        // a mode this engine does not know: the entry decides, nothing happens
  post_close,  // mode 0: bring forward, post WM_CLOSE
  post_quit,   // mode 1: bring forward, post WM_QUIT
  ask,         // mode 2: ask the user while the window exists
};

CloseAction close_action(uint32_t mode);
// Modes 0 and 1 bring the window forward before posting.
bool brings_forward(CloseAction action);

// The title rule: exact, or "*text" for a title that contains text (case-sensitive).
// A window without text never matches. A lone "*" tests nothing (see window_matches).
bool title_matches(std::string_view pattern, std::string_view title);

// Class (exact, case-sensitive) and title; both when both are given. An entry that
// tests neither matches nothing; a lone "*" title counts as not given, so that such
// an entry without a class cannot take every window of the desktop.
bool window_matches(const CloseApplication& entry, const WindowDescription& window);

// Phase, match, and not a window of the engine's own process.
bool entry_applies(const CloseApplication& entry, const WindowDescription& window, uint8_t phase,
                   uint32_t own_process_id);

// Whether any entry is meant for `phase`; none: the windows need not be walked.
bool has_entries_for_phase(const std::vector<CloseApplication>& entries, uint8_t phase);

// One window taken by the first entry that applies to it.
struct CloseStep {
  size_t window = 0;  // index into the described windows
  size_t entry = 0;   // index into the list
  CloseAction action = CloseAction::none;
  friend bool operator==(const CloseStep&, const CloseStep&) = default;
};

// Steps in window order; windows that no entry takes, and those whose deciding entry
// has an unknown mode, are left out.
std::vector<CloseStep> plan_closing(const std::vector<CloseApplication>& entries,
                                    const std::vector<WindowDescription>& windows, uint8_t phase,
                                    uint32_t own_process_id);

// The ask mode's question: message 99 with the application name at its first "%s" and
// the text tags replaced around it, never inside the name. A text without "%s" stands
// as it is; an empty one gives the name alone, so that the box never asks nothing.
std::string close_question_text(const InstallSettings& settings, std::string_view application_name,
                                std::string_view os_description);
// Message 55 in uninstall mode, 65 otherwise, tags replaced.
std::string close_question_title(const InstallSettings& settings, std::string_view os_description);

// Drops the entries whose phases lack close_before_uninstall; the rest goes to the
// uninstall data.
void keep_uninstall_entries(std::vector<CloseApplication>& entries);

}  // namespace halvard
