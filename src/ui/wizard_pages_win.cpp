#include "ui/wizard_pages_win.h"

#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/byte_size.h"
#include "foundation/disk.h"
#include "foundation/file.h"
#include "foundation/text.h"
#include "package/file_table.h"
#include "package/message_numbers.h"
#include "package/option_bits.h"
#include "package/settings_stream.h"
#include "ui/background_window_win.h"
#include "ui/page_controls.h"
#include "ui/page_dialog_win.h"
#include "ui/page_rules.h"

namespace halvard {

namespace {

namespace msg = message_number;

constexpr int folder_text_limit = 259;
constexpr int password_limit = 64;
constexpr DWORD wrong_password_pause_ms = 500;

std::wstring item_text(HWND dialog, int control) {
  HWND item = GetDlgItem(dialog, control);
  if (!item) return {};
  std::wstring text(size_t(GetWindowTextLengthW(item)) + 1, L'\0');
  text.resize(size_t(GetWindowTextW(item, text.data(), int(text.size()))));
  return text;
}

// The text of an edit in the package's code page, as the settings hold it.
std::string item_text_1252(HWND dialog, int control) {
  const std::wstring wide = item_text(dialog, control);
  if (wide.empty()) return {};
  const int size = WideCharToMultiByte(1252, 0, wide.c_str(), int(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string text(size_t(std::max(size, 0)), '\0');
  if (size > 0) WideCharToMultiByte(1252, 0, wide.c_str(), int(wide.size()), text.data(), size, nullptr, nullptr);
  return text;
}

bool high(const UserInterface& ui, uint32_t bit) { return (ui.settings().ProductFlags.high & bit) != 0; }
bool low(const UserInterface& ui, uint32_t bit) { return (ui.settings().ProductFlags.low & bit) != 0; }

void redraw(const UserInterface& ui) {
  if (HWND background = ui.background_window()) redraw_background_window(background);
}

// The language page -----------------------------------------------------------------

class LanguagePage : public PageDialog {
 public:
  explicit LanguagePage(UserInterface& ui)
      : PageDialog(ui, page_resource(Page::language, style(ui)), style(ui), msg::language_title) {}

 private:
  static PageStyle style(const UserInterface& ui) {
    // The language page has no plain layout: 1 gives the side picture, the rest the banner.
    return page_style(ui.settings(), Page::language) == PageStyle::side_picture ? PageStyle::side_picture
                                                                                : PageStyle::banner;
  }

  void set_texts(HWND dialog) override {
    set_item_text(dialog, PAGE_PROMPT, text(msg::language_prompt));
    set_item_text(dialog, PAGE_OK, text(msg::next_button));
    set_item_text(dialog, PAGE_CANCEL, text(msg::cancel_button));
  }

  void prepare(HWND dialog) override {
    InstallSettings& settings = ui_.settings();
    HWND list = GetDlgItem(dialog, PAGE_LANGUAGE_LIST);
    for (const std::string& name : settings.LanguageNames) {
      const std::wstring wide = code_page_to_wide(name, code_page_windows_1252);
      if (SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str())) < 0)
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
    char native[128] = "";
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SNATIVELANGNAME, native, sizeof native);
    const size_t chosen = preselected_language(settings.LanguageNames, native);
    SendMessageW(list, LB_SETCURSEL, chosen, 0);
    switch_to(dialog, chosen);
  }

  void switch_to(HWND dialog, size_t index) {
    InstallSettings& settings = ui_.settings();
    settings.LanguageIndex = int(std::min(index, settings.LanguageNames.size() - 1));
    if (!high(ui_, product_flag::high_keep_title)) settings.WindowTitle = message(settings, msg::window_title);
    set_texts(dialog);
    set_header(dialog);
    redraw(ui_);
  }

  bool command(HWND dialog, int control, int code) override {
    if (control != PAGE_LANGUAGE_LIST && control != PAGE_OK) return false;
    const LRESULT selected = SendDlgItemMessageW(dialog, PAGE_LANGUAGE_LIST, LB_GETCURSEL, 0, 0);
    if (control == PAGE_LANGUAGE_LIST && code == LBN_SELCHANGE && selected >= 0) {
      switch_to(dialog, size_t(selected));
      return true;
    }
    if (control == PAGE_OK || code == LBN_DBLCLK) {
      switch_to(dialog, selected < 0 ? 0 : size_t(selected));
      end(dialog, PAGE_OK);
      return true;
    }
    return false;
  }
};

// Pages that show one text ----------------------------------------------------------

class GreetingPage : public PageDialog {
 public:
  GreetingPage(UserInterface& ui, PageStyle style)
      : PageDialog(ui, page_resource(Page::greeting, style), style, msg::welcome_title) {}

 private:
  void set_texts(HWND dialog) override {
    const std::string greeting = text(msg::greeting_text);
    set_item_text(dialog, PAGE_PROMPT, style_ == PageStyle::banner ? "\r\n\r\n" + greeting : greeting);
    set_item_text(dialog, PAGE_OK, text(msg::next_button));
    set_item_text(dialog, PAGE_CANCEL, text(msg::cancel_button));
  }
};

// Licence and read-me: the text in a read-only view, black on white.
class TextPage : public PageDialog {
 public:
  struct Labels {
    int title, prompt, ok, cancel;
  };
  TextPage(UserInterface& ui, Page page, std::string_view stored, Labels labels)
      : PageDialog(ui, page_resource(page, page_style(ui.settings(), page)), page_style(ui.settings(), page),
                   labels.title),
        text_(view_text(stored)),
        labels_(labels) {}
  ~TextPage() override {
    if (white_) DeleteObject(white_);
  }

 private:
  void set_texts(HWND dialog) override {
    set_item_text(dialog, PAGE_PROMPT, text(labels_.prompt));
    set_item_text(dialog, PAGE_OK, text(labels_.ok));
    set_item_text(dialog, PAGE_CANCEL, text(labels_.cancel));
  }

  void prepare(HWND dialog) override {
    // A licence may be longer than an edit's default limit.
    SendDlgItemMessageW(dialog, PAGE_TEXT_VIEW, EM_SETLIMITTEXT, 0, 0);
    if (text_.code_page == 0) {
      set_item_text(dialog, PAGE_TEXT_VIEW, std::u16string_view(text_.utf16));
      return;
    }
    const std::wstring wide = code_page_to_wide(text_.bytes, text_.code_page);
    if (!wide.empty() || text_.bytes.empty())
      SetDlgItemTextW(dialog, PAGE_TEXT_VIEW, wide.c_str());
    else
      SetDlgItemTextA(dialog, PAGE_TEXT_VIEW, text_.bytes.c_str());
  }

  bool handle(HWND, UINT message, WPARAM wparam, LPARAM lparam, INT_PTR& result) override {
    if (message != WM_CTLCOLORSTATIC || GetDlgCtrlID(reinterpret_cast<HWND>(lparam)) != PAGE_TEXT_VIEW) return false;
    if (!white_) white_ = CreateSolidBrush(RGB(255, 255, 255));
    HDC dc = reinterpret_cast<HDC>(wparam);
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    result = reinterpret_cast<INT_PTR>(white_);
    return true;
  }

  ViewText text_;
  Labels labels_;
  HBRUSH white_ = nullptr;
};

class PasswordPage : public PageDialog {
 public:
  explicit PasswordPage(UserInterface& ui) : PageDialog(ui, "EnterPassword", PageStyle::plain, -1) {
    wizard_set_up_ = false;
    caption_ = msg::password_title;
  }

 private:
  void set_texts(HWND dialog) override {
    set_item_text(dialog, PAGE_PROMPT, text(msg::password_prompt));
    set_item_text(dialog, PAGE_CANCEL, text(msg::cancel_button));
    SendDlgItemMessageW(dialog, PAGE_PASSWORD_EDIT, EM_LIMITTEXT, password_limit, 0);
  }

  bool command(HWND dialog, int control, int) override {
    if (control != PAGE_OK) return false;
    if (item_text_1252(dialog, PAGE_PASSWORD_EDIT) == ui_.settings().Password) {
      end(dialog, PAGE_OK);
      return true;
    }
    // The pause makes guessing slow without limiting a user who mistyped.
    Sleep(wrong_password_pause_ms);
    ui_.error_box(text(msg::wrong_password));
    HWND edit = GetDlgItem(dialog, PAGE_PASSWORD_EDIT);
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    return true;
  }
};

class MustUninstallPage : public PageDialog {
 public:
  explicit MustUninstallPage(UserInterface& ui) : PageDialog(ui, "MustUninstall", PageStyle::plain, -1) {
    wizard_set_up_ = false;
    caption_ = msg::error_title;
  }

 private:
  void set_texts(HWND dialog) override {
    set_item_text(dialog, PAGE_PROMPT, text(msg::must_uninstall_first));
    set_item_text(dialog, PAGE_OK, text(msg::uninstall_button));
    set_item_text(dialog, PAGE_CANCEL, text(msg::cancel_button));
  }
};

// Folder pages ----------------------------------------------------------------------

struct BrowseStart {
  std::string folder;
};

int CALLBACK browse_started(HWND window, UINT message, LPARAM, LPARAM data) {
  const auto* start = reinterpret_cast<const BrowseStart*>(data);
  if (message == BFFM_INITIALIZED && start && !start->folder.empty())
    SendMessageA(window, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(start->folder.c_str()));
  return 0;
}

// The folder browser: the chosen folder, or nothing when the user cancelled.
std::optional<std::string> browse_for_folder(HWND owner, const std::string& title, UINT flags, int root_folder,
                                             const std::string& start) {
  BrowseStart starting{start};
  BROWSEINFOA info{};
  info.hwndOwner = owner;
  info.lpszTitle = title.c_str();
  info.ulFlags = flags;
  info.lpfn = browse_started;
  info.lParam = reinterpret_cast<LPARAM>(&starting);
  LPITEMIDLIST root = nullptr;
  if (root_folder >= 0 && SHGetSpecialFolderLocation(owner, root_folder, &root) == S_OK) info.pidlRoot = root;
  std::optional<std::string> chosen;
  if (LPITEMIDLIST picked = SHBrowseForFolderA(&info)) {
    char path[MAX_PATH] = "";
    if (SHGetPathFromIDListA(picked, path)) chosen = path;
    CoTaskMemFree(picked);
  }
  if (root) CoTaskMemFree(root);
  return chosen;
}

class DirectoryPage : public PageDialog {
 public:
  DirectoryPage(UserInterface& ui, std::span<const int32_t> file_sizes)
      : PageDialog(ui, page_resource(Page::directory, page_style(ui.settings(), Page::directory)),
                   page_style(ui.settings(), Page::directory), msg::directory_title),
        file_sizes_(file_sizes) {}

 private:
  void set_texts(HWND dialog) override {
    set_item_text(dialog, PAGE_PROMPT, text(msg::directory_prompt));
    const bool start_menu_follows = high(ui_, product_flag::high_start_menu_page);
    set_item_text(dialog, PAGE_OK, text(start_menu_follows ? msg::next_button : msg::install_button));
    set_item_text(dialog, PAGE_CANCEL, text(msg::cancel_button));
    set_item_text(dialog, PAGE_BROWSE, text(msg::browse_button));
  }

  void prepare(HWND dialog) override {
    SendDlgItemMessageW(dialog, PAGE_EDIT, EM_LIMITTEXT, folder_text_limit, 0);
    set_item_text(dialog, PAGE_EDIT, ui_.settings().InstallDir);
    show_space(dialog);
  }

  void show_space(HWND dialog) {
    const std::optional<char> drive = directory_drive(item_text_1252(dialog, PAGE_EDIT));
    const int64_t cluster = drive ? cluster_size(*drive) : 0;
    const int64_t needed = required_space(ui_.settings(), file_sizes_, cluster);
    set_item_text(dialog, PAGE_SPACE_REQUIRED, text(msg::space_needed) + " " + format_byte_size(needed));
    std::string available;
    uint64_t free = 0, total = 0;
    if (drive && free_space(*drive, free, total))
      available = text(msg::space_free) + " " + format_byte_size(int64_t(free));
    set_item_text(dialog, PAGE_SPACE_AVAILABLE, available);
  }

  bool command(HWND dialog, int control, int code) override {
    if (control == PAGE_EDIT && code == EN_CHANGE) {
      show_space(dialog);
      return true;
    }
    if (control == PAGE_BROWSE) {
      const bool network_allowed = !high(ui_, product_flag::high_refuse_network_directory);
      UINT flags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | (network_allowed ? BIF_SHAREABLE : 0);
      if (auto chosen = browse_for_folder(dialog, text(msg::directory_prompt), flags,
                                          network_allowed ? CSIDL_DRIVES : -1, item_text_1252(dialog, PAGE_EDIT))) {
        set_item_text(dialog, PAGE_EDIT, *chosen);
      }
      SetFocus(GetDlgItem(dialog, PAGE_EDIT));
      return true;
    }
    if (control == PAGE_OK) {
      ui_.settings().InstallDir = item_text_1252(dialog, PAGE_EDIT);
      end(dialog, PAGE_OK);
      return true;
    }
    return false;
  }

  std::span<const int32_t> file_sizes_;
};

class StartMenuPage : public PageDialog {
 public:
  explicit StartMenuPage(UserInterface& ui)
      : PageDialog(ui, page_resource(Page::start_menu, page_style(ui.settings(), Page::start_menu)),
                   page_style(ui.settings(), Page::start_menu), msg::start_menu_title) {}

 private:
  int root() const { return ui_.settings().ShortcutMode == 1 ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS; }

  void set_texts(HWND dialog) override {
    set_item_text(dialog, PAGE_PROMPT, text(msg::start_menu_prompt));
    set_item_text(dialog, PAGE_OK, text(msg::install_button));
    set_item_text(dialog, PAGE_CANCEL, text(msg::cancel_button));
    set_item_text(dialog, PAGE_BROWSE, text(msg::browse_button));
  }

  void prepare(HWND dialog) override {
    SendDlgItemMessageW(dialog, PAGE_EDIT, EM_LIMITTEXT, folder_text_limit, 0);
    set_item_text(dialog, PAGE_EDIT, ui_.settings().ProductStartMenu);
    check(dialog);
  }

  void check(HWND dialog) {
    EnableWindow(GetDlgItem(dialog, PAGE_OK), start_menu_folder_acceptable(item_text_1252(dialog, PAGE_EDIT)));
  }

  bool command(HWND dialog, int control, int code) override {
    if (control == PAGE_EDIT && code == EN_CHANGE) {
      check(dialog);
      return true;
    }
    if (control == PAGE_BROWSE) {
      char base[MAX_PATH] = "";
      SHGetSpecialFolderPathA(dialog, base, root(), FALSE);
      const std::string root_path = base;
      const std::string start = root_path + "\\" + item_text_1252(dialog, PAGE_EDIT);
      if (auto chosen = browse_for_folder(dialog, text(msg::start_menu_prompt),
                                          BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE, root(), start)) {
        std::string relative = *chosen;
        if (relative.size() >= root_path.size() && equal_ignoring_case(relative.substr(0, root_path.size()), root_path))
          relative.erase(0, root_path.size());
        while (relative.starts_with('\\')) relative.erase(0, 1);
        set_item_text(dialog, PAGE_EDIT, relative);
      }
      SetFocus(GetDlgItem(dialog, PAGE_EDIT));
      return true;
    }
    if (control == PAGE_OK) {
      ui_.settings().ProductStartMenu = item_text_1252(dialog, PAGE_EDIT);
      end(dialog, PAGE_OK);
      return true;
    }
    return false;
  }
};

// The summary page ------------------------------------------------------------------

class SummaryPage : public PageDialog {
 public:
  explicit SummaryPage(UserInterface& ui)
      : PageDialog(ui, page_resource(Page::summary, style(ui)), style(ui), msg::completed_title),
        choices_(summary_choices(ui.settings(), style(ui))) {}

  ExitChoices recorded() const { return recorded_; }

 private:
  static PageStyle style(const UserInterface& ui) {
    return page_style(ui.settings(), Page::summary) == PageStyle::side_picture ? PageStyle::side_picture
                                                                               : PageStyle::banner;
  }

  void set_texts(HWND dialog) override {
    set_item_text(dialog, PAGE_PROMPT, text(msg::completed));
    set_item_text(dialog, PAGE_OK, text(msg::finish_button));
    for (const SummaryChoice& choice : choices_) set_item_text(dialog, choice.control, text(choice.label));
  }

  void prepare(HWND dialog) override {
    for (const SummaryChoice& choice : choices_) {
      HWND box = GetDlgItem(dialog, choice.control);
      if (!box) continue;
      if (!choice.present) {
        ShowWindow(box, SW_HIDE);
        CheckDlgButton(dialog, choice.control, BST_UNCHECKED);
        continue;
      }
      RECT units{choice.x, choice.y, choice.x + choice.width, choice.y + choice.height};
      MapDialogRect(dialog, &units);
      SetWindowPos(box, nullptr, units.left, units.top, units.right - units.left, units.bottom - units.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      CheckDlgButton(dialog, choice.control, choice.checked ? BST_CHECKED : BST_UNCHECKED);
      ShowWindow(box, SW_SHOW);
    }
  }

  bool command(HWND dialog, int control, int) override {
    if (control != PAGE_OK) return false;
    auto checked = [&](int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; };
    recorded_ = {checked(PAGE_LAUNCH_PROGRAM), checked(PAGE_VIEW_FILE), checked(PAGE_OPEN_FILE),
                 checked(PAGE_VIEW_LOG)};
    end(dialog, PAGE_OK);
    return true;
  }

  void closed(HWND dialog) override {
    recorded_ = {};
    end(dialog, PAGE_CANCEL);
  }

  std::vector<SummaryChoice> choices_;
  ExitChoices recorded_;
};

}  // namespace

bool language_page(UserInterface& ui) {
  if (ui.settings().LanguageNames.size() < 2 || ui.automatic()) return true;
  return LanguagePage(ui).run() == PAGE_OK;
}

bool greeting_page(UserInterface& ui) {
  if (ui.automatic() || high(ui, product_flag::high_no_greeting)) return true;
  const PageStyle style = page_style(ui.settings(), Page::greeting);
  if (style == PageStyle::plain) {
    return ui.message_box(ui.text(msg::greeting_text), ui.text(msg::greeting_title), MB_OKCANCEL) == IDOK;
  }
  return GreetingPage(ui, style).run() == PAGE_OK;
}

bool password_page(UserInterface& ui) {
  if (ui.settings().Password.empty()) return true;
  return PasswordPage(ui).run() == PAGE_OK;
}

bool license_page(UserInterface& ui, std::string_view text) {
  if (ui.automatic() || text.empty()) return true;
  return TextPage(ui, Page::license, text,
                  {msg::license_title, msg::license_prompt, msg::license_agree_button, msg::license_decline_button})
             .run() != PAGE_CANCEL;
}

bool readme_page(UserInterface& ui, std::string_view text) {
  if (ui.automatic() || text.empty()) return true;
  return TextPage(ui, Page::readme, text, {msg::readme_title, msg::readme_prompt, msg::next_button, msg::cancel_button})
             .run() != PAGE_CANCEL;
}

bool must_uninstall_page(UserInterface& ui) { return MustUninstallPage(ui).run() == PAGE_OK; }

bool directory_page(UserInterface& ui, std::span<const int32_t> file_sizes) {
  while (true) {
    if (DirectoryPage(ui, file_sizes).run() != PAGE_OK) return false;
    // A blank folder asks again without a word; the installer checks the others.
    std::string& folder = ui.settings().InstallDir;
    folder = std::string(trim_blanks(folder));
    if (!folder.empty()) return true;
  }
}

bool start_menu_page(UserInterface& ui) { return StartMenuPage(ui).run() == PAGE_OK; }

ExitChoices completion(UserInterface& ui) {
  if (ui.automatic() || low(ui, product_flag::low_no_completion_notice)) return {};
  if (!summary_page_wanted(ui.settings())) {
    ui.message_box(ui.text(msg::completed), ui.text(msg::completed_title), MB_OK | MB_ICONINFORMATION);
    return {};
  }
  SummaryPage page(ui);
  page.run();
  return page.recorded();
}

}  // namespace halvard
