#pragma once
// The decisions of the wizard pages that need no window: which layout a page takes,
// which language is preselected, when the Start-menu folder may be accepted, where the
// summary's check boxes go, how a licence text is decoded. The pages' Windows code
// asks these and only places what they say.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "package/install_settings.h"

namespace halvard {

// The pages in the order of their styles in DialogOptions (after the first value).
enum class Page { greeting, language, license, readme, directory, start_menu, progress, summary };

enum class PageStyle { plain = 0, side_picture = 1, banner = 2 };

// A page's style: DialogOptions[1 + page]; any value other than 0 and 1 is the banner.
PageStyle page_style(const InstallSettings& settings, Page page);

// The dialog resource for a page in a style, as the program asks for it; empty for
// the greeting in the plain style, which is a message box.
std::string_view page_resource(Page page, PageStyle style);

// The entry to preselect: the first that begins with the user's native language name
// (cut before "(" and trimmed), else the first that begins with "English", else 0.
size_t preselected_language(std::span<const std::string> names, std::string_view native_name);

// Whether the Start-menu page's OK button may be pressed for this folder text.
bool start_menu_folder_acceptable(std::string_view folder);

// A summary check box placed by the page: its control, message, and dialog-unit rectangle.
struct SummaryChoice {
  int control = 0;
  int label = 0;  // message number
  bool present = false;
  bool checked = false;
  int x = 0, y = 0, width = 0, height = 0;
};
// The four choices in their fixed order (launch program, view file, open file, view
// log); the present ones stacked from the top of the content area.
std::vector<SummaryChoice> summary_choices(const InstallSettings& settings, PageStyle style);
// Whether the summary page is shown at all, rather than the completion box.
bool summary_page_wanted(const InstallSettings& settings);

// A licence or read-me text for the read-only view: UTF-16 after its byte-order mark,
// UTF-8 after its mark, else Windows-1252. `encoding` tells which code page to convert
// from (0: already UTF-16 in `utf16`).
struct ViewText {
  unsigned code_page = 0;  // 0: the text was UTF-16
  std::string bytes;       // to convert from code_page
  std::u16string utf16;    // when code_page is 0
};
ViewText view_text(std::string_view stored);

// The drive letter of a directory text: a letter followed by ":" after an optional "|".
std::optional<char> directory_drive(std::string_view directory);

// Where the progress window goes inside the work area: placement bits 0-1 horizontal
// (1 left, 2 right, 3 centred), bits 3-4 vertical (8 top, 16 bottom, 24 centred); 0 keeps
// the given position.
struct WindowPlace {
  int left = 0, top = 0;
};
WindowPlace progress_window_place(uint32_t placement, WindowPlace current, int width, int height, int area_left,
                                  int area_top, int area_right, int area_bottom);

// The message-box buttons the package relabels: Yes, No, Cancel and Retry take messages
// 79, 80, 49 and 100. A button whose message is empty keeps the system's label.
struct ButtonLabel {
  int button = 0;  // IDYES, IDNO, IDCANCEL, IDRETRY
  int message = 0;
};
std::vector<ButtonLabel> message_box_labels(const InstallSettings& settings);

}  // namespace halvard
