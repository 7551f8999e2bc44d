#include "ui/page_rules.h"

#include <algorithm>

#include "foundation/text.h"
#include "package/message_numbers.h"
#include "package/option_bits.h"
#include "package/settings_stream.h"
#include "ui/page_controls.h"

namespace halvard {

PageStyle page_style(const InstallSettings& settings, Page page) {
  const int32_t value = settings.DialogOptions[1 + size_t(page)];
  if (value == 0) return PageStyle::plain;
  if (value == 1) return PageStyle::side_picture;
  return PageStyle::banner;
}

std::string_view page_resource(Page page, PageStyle style) {
  struct Names {
    std::string_view plain, side_picture, banner;
  };
  static constexpr Names names[] = {
      {"", "GreetingDlg", "GreetingDlg3"},
      {"LanguageDlg3", "LanguageDlg", "LanguageDlg3"},
      {"LicenseDlg2", "LicenseDlg", "LicenseDlg3"},
      {"ReadmeDlg2", "ReadmeDlg", "ReadmeDlg3"},
      {"ChooseDirDlg2", "ChooseDirDlg", "ChooseDirDlg3"},
      {"StartMenuDlg2", "StartMenuDlg", "StartMenuDlg3"},
      {"ProgressDlg2", "ProgressDlg", "ProgressDlg3"},
      {"SummaryDlg3", "SummaryDlg", "SummaryDlg3"},
  };
  const Names& row = names[size_t(page)];
  switch (style) {
    case PageStyle::plain:
      return row.plain;
    case PageStyle::side_picture:
      return row.side_picture;
    case PageStyle::banner:
      break;
  }
  return row.banner;
}

size_t preselected_language(std::span<const std::string> names, std::string_view native_name) {
  std::string_view wanted = native_name.substr(0, native_name.find('('));
  const std::string_view trimmed = trim_blanks(wanted);
  auto first_beginning = [&](std::string_view prefix) -> std::optional<size_t> {
    if (prefix.empty()) return std::nullopt;
    for (size_t i = 0; i < names.size(); ++i) {
      if (names[i].starts_with(prefix)) return i;
    }
    return std::nullopt;
  };
  if (auto found = first_beginning(trimmed)) return *found;
  if (auto found = first_beginning("English")) return *found;
  return 0;
}

bool start_menu_folder_acceptable(std::string_view folder) {
  if (folder.find_first_of("/\"<>|*?:;") != std::string_view::npos) return false;
  if (folder.starts_with('\\')) return false;
  return folder.find("\\\\") == std::string_view::npos;
}

namespace {

// Without a kept log there is nothing to view.
bool view_log_offered(const InstallSettings& settings) {
  return (settings.ProductFlags.high & product_flag::high_offer_view_log) &&
         (settings.ProductFlags.low & product_flag::low_keep_log);
}

}  // namespace

bool summary_page_wanted(const InstallSettings& settings) {
  const bool any_choice = !settings.ExitViewFile.empty() || !settings.ExitLaunchProgram.empty() ||
                          !settings.ExitOpenFile.empty() || view_log_offered(settings);
  // A product that wants a restart ends with the plain completion box: nothing to launch.
  return any_choice && !(settings.ProductFlags.low & product_flag::low_reboot);
}

std::vector<SummaryChoice> summary_choices(const InstallSettings& settings, PageStyle style) {
  std::vector<SummaryChoice> choices = {
      {PAGE_LAUNCH_PROGRAM, message_number::launch_program_choice, !settings.ExitLaunchProgram.empty(),
       (settings.SetupOptions & setup_option::check_launch_program) != 0},
      {PAGE_VIEW_FILE, message_number::view_file_choice, !settings.ExitViewFile.empty(),
       (settings.SetupOptions & setup_option::check_view_file) != 0},
      {PAGE_OPEN_FILE, message_number::open_file_choice, !settings.ExitOpenFile.empty(),
       (settings.SetupOptions & setup_option::check_open_file) != 0},
      {PAGE_VIEW_LOG, message_number::view_log_choice, view_log_offered(settings), false},
  };
  const int x = style == PageStyle::banner ? 20 : 102;
  int y = style == PageStyle::banner ? 78 : 52;
  for (SummaryChoice& choice : choices) {
    if (!choice.present) {
      choice.checked = false;
      continue;
    }
    choice.x = x;
    choice.y = y;
    choice.width = 173;
    choice.height = 9;
    y += 14;
  }
  return choices;
}

ViewText view_text(std::string_view stored) {
  ViewText text;
  if (stored.size() >= 2 && uint8_t(stored[0]) == 0xFF && uint8_t(stored[1]) == 0xFE) {
    for (size_t i = 2; i + 1 < stored.size(); i += 2) {
      text.utf16.push_back(char16_t(uint8_t(stored[i]) | uint8_t(stored[i + 1]) << 8));
    }
    return text;
  }
  if (stored.starts_with("\xEF\xBB\xBF")) {
    text.code_page = 65001;
    text.bytes = stored.substr(3);
    return text;
  }
  text.code_page = 1252;
  text.bytes = stored;
  return text;
}

std::optional<char> directory_drive(std::string_view directory) {
  if (directory.starts_with('|')) directory.remove_prefix(1);
  if (directory.size() < 2 || directory[1] != ':') return std::nullopt;
  const char letter = directory[0];
  if ((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')) return letter;
  return std::nullopt;
}

WindowPlace progress_window_place(uint32_t placement, WindowPlace current, int width, int height, int area_left,
                                  int area_top, int area_right, int area_bottom) {
  WindowPlace place = current;
  switch (placement & 0x3) {
    case 1:
      place.left = area_left;
      break;
    case 2:
      place.left = area_right - width;
      break;
    case 3:
      place.left = area_left + (area_right - area_left - width) / 2;
      break;
  }
  switch (placement & 0x18) {
    case 8:
      place.top = area_top;
      break;
    case 16:
      place.top = area_bottom - height;
      break;
    case 24:
      place.top = area_top + (area_bottom - area_top - height) / 2;
      break;
  }
  return place;
}

std::vector<ButtonLabel> message_box_labels(const InstallSettings& settings) {
  constexpr int id_cancel = 2, id_retry = 4, id_yes = 6, id_no = 7;
  const ButtonLabel all[] = {{id_yes, message_number::yes_button},
                             {id_no, message_number::no_button},
                             {id_cancel, message_number::cancel_button},
                             {id_retry, message_number::retry_button}};
  std::vector<ButtonLabel> labels;
  for (const ButtonLabel& label : all) {
    if (!message(settings, label.message).empty()) labels.push_back(label);
  }
  return labels;
}

}  // namespace halvard
