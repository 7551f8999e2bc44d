// The engine's resources as the pages find them: every dialog by the name the program
// asks for, its frame and its controls, and the default pictures, icon and manifest.
// Read from the resource bytes; no window is created.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cwctype>
#include <optional>
#include <string>
#include <vector>

#include "ui/page_controls.h"

namespace halvard {
namespace {

// ---- Reading a dialog template (classic or extended).

struct Control {
  int id = 0;
  DWORD style = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  std::wstring class_name;  // lower case; predefined atoms given their names
  std::wstring text;
};

struct Dialog {
  DWORD style = 0;
  int cx = 0, cy = 0;
  int point_size = 0;
  std::wstring font;
  std::vector<Control> controls;
};

class TemplateReader {
 public:
  TemplateReader(const BYTE* data, size_t size) : start_(data), at_(data), end_(data + size) {}
  bool ok() const { return ok_; }

  WORD word() {
    WORD value = 0;
    take(&value, sizeof value);
    return value;
  }
  DWORD dword() {
    DWORD value = 0;
    take(&value, sizeof value);
    return value;
  }
  short coordinate() { return static_cast<short>(word()); }
  BYTE byte() {
    BYTE value = 0;
    take(&value, sizeof value);
    return value;
  }
  std::wstring text() {
    std::wstring value;
    while (ok_) {
      const WORD c = word();
      if (c == 0) break;
      value += static_cast<wchar_t>(c);
    }
    return value;
  }
  // A text, or 0xFFFF and an ordinal (returned as "#n").
  std::wstring text_or_ordinal() {
    if (at_ + 2 <= end_ && at_[0] == 0xFF && at_[1] == 0xFF) {
      word();
      return L"#" + std::to_wstring(word());
    }
    return text();
  }
  void skip(size_t count) {
    if (static_cast<size_t>(end_ - at_) < count)
      ok_ = false;
    else
      at_ += count;
  }
  void align_dword() { skip((4 - (at_ - start_) % 4) % 4); }

 private:
  void take(void* out, size_t count) {
    if (static_cast<size_t>(end_ - at_) < count) {
      ok_ = false;
      return;
    }
    std::copy(at_, at_ + count, static_cast<BYTE*>(out));
    at_ += count;
  }
  const BYTE* start_;
  const BYTE* at_;
  const BYTE* end_;
  bool ok_ = true;
};

std::wstring class_named(std::wstring name) {
  static const std::pair<const wchar_t*, const wchar_t*> atoms[] = {
      {L"#128", L"button"}, {L"#129", L"edit"}, {L"#130", L"static"}, {L"#131", L"listbox"}};
  for (const auto& [atom, known] : atoms) {
    if (name == atom) return known;
  }
  for (wchar_t& c : name) c = static_cast<wchar_t>(std::towlower(c));
  return name;
}

std::optional<Dialog> parse_dialog(const BYTE* data, size_t size) {
  TemplateReader in(data, size);
  Dialog dialog;
  const bool extended = size >= 4 && data[0] == 1 && data[1] == 0 && data[2] == 0xFF && data[3] == 0xFF;
  if (extended) {
    in.skip(4 + 4 + 4);  // version and signature, help id, extended style
    dialog.style = in.dword();
  } else {
    dialog.style = in.dword();
    in.dword();  // extended style
  }
  const WORD count = in.word();
  in.coordinate(), in.coordinate();
  dialog.cx = in.coordinate();
  dialog.cy = in.coordinate();
  in.text_or_ordinal(), in.text_or_ordinal(), in.text();  // menu, class, caption
  if (dialog.style & DS_SETFONT) {
    dialog.point_size = in.word();
    if (extended) in.skip(2 + 1 + 1);  // weight, italic, character set
    dialog.font = in.text();
  }
  for (WORD i = 0; i < count && in.ok(); ++i) {
    in.align_dword();
    Control control;
    if (extended) {
      in.dword();  // help id
      in.dword();  // extended style
      control.style = in.dword();
    } else {
      control.style = in.dword();
      in.dword();
    }
    control.x = in.coordinate();
    control.y = in.coordinate();
    control.cx = in.coordinate();
    control.cy = in.coordinate();
    control.id = extended ? static_cast<int>(in.dword()) : in.word();
    control.class_name = class_named(in.text_or_ordinal());
    control.text = in.text_or_ordinal();
    in.skip(in.word());  // creation data
    dialog.controls.push_back(control);
  }
  if (!in.ok()) return std::nullopt;
  return dialog;
}

BOOL CALLBACK collect_name(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR names) {
  auto& list = *reinterpret_cast<std::vector<std::wstring>*>(names);
  list.push_back(IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(name)) : name);
  return TRUE;
}

// The names of this program's resources of a type, as stored ("#n" for numbers).
std::vector<std::wstring> resource_names(const wchar_t* type) {
  std::vector<std::wstring> names;
  EnumResourceNamesW(nullptr, type, collect_name, reinterpret_cast<LONG_PTR>(&names));
  return names;
}

std::optional<Dialog> load_dialog(const wchar_t* name) {
  HRSRC found = FindResourceW(nullptr, name, MAKEINTRESOURCEW(5));  // RT_DIALOG
  if (!found) return std::nullopt;
  const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
  if (!data) return std::nullopt;
  return parse_dialog(data, SizeofResource(nullptr, found));
}

// ---- What the pages expect.

enum class Kind { picture, line, text, button, edit, list, progress, smooth_progress, check };

constexpr int any = -1;  // a position the layout leaves to the resource

struct Expected {
  int id;
  Kind kind;
  int x = any, y = any, cx = any, cy = any;
  const wchar_t* text = L"";
};

struct Page {
  const wchar_t* name;
  int cx, cy;
  std::vector<Expected> controls;  // in tab order
};

std::vector<Expected> joined(std::initializer_list<std::vector<Expected>> parts) {
  std::vector<Expected> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

const std::vector<Expected> side_header = {{PAGE_SIDE_PICTURE, Kind::picture, any, any, 94, 188}};
std::vector<Expected> banner_header(int width) {
  return {{PAGE_BANNER, Kind::picture, 0, 0, width, 26},
          {PAGE_BANNER_PRODUCT, Kind::text},
          {PAGE_BANNER_TITLE, Kind::text}};
}
const std::vector<Expected> plain_header = {};
const std::vector<Expected> page_buttons = {{PAGE_ETCHED_LINE, Kind::line, any, 196},
                                            {PAGE_OK, Kind::button, 140, 201, 66, 13},
                                            {PAGE_CANCEL, Kind::button, 210, 201, 66, 13}};

const std::vector<Expected> language_body = {{PAGE_PROMPT, Kind::text}, {PAGE_LANGUAGE_LIST, Kind::list}};
const std::vector<Expected> text_view_body = {{PAGE_PROMPT, Kind::text}, {PAGE_TEXT_VIEW, Kind::edit}};
const std::vector<Expected> folder_body = {
    {PAGE_PROMPT, Kind::text}, {PAGE_EDIT, Kind::edit}, {PAGE_BROWSE, Kind::button}};
const std::vector<Expected> space_texts = {{PAGE_SPACE_REQUIRED, Kind::text}, {PAGE_SPACE_AVAILABLE, Kind::text}};
const std::vector<Expected> summary_body = {{PAGE_PROMPT, Kind::text},
                                            {PAGE_LAUNCH_PROGRAM, Kind::check, any, any, 0, 0},
                                            {PAGE_VIEW_FILE, Kind::check, any, any, 0, 0},
                                            {PAGE_OPEN_FILE, Kind::check, any, any, 0, 0},
                                            {PAGE_VIEW_LOG, Kind::check, any, any, 0, 0},
                                            {PAGE_ETCHED_LINE, Kind::line, any, 196},
                                            {PAGE_OK, Kind::button, 210, 201, 66, 13, L"&OK"}};

const std::vector<Page>& pages() {
  static const std::vector<Page> all = {
      {L"LanguageDlg", 280, 218, joined({side_header, language_body, page_buttons})},
      {L"LanguageDlg3", 280, 218, joined({banner_header(280), language_body, page_buttons})},
      {L"GreetingDlg", 280, 218, joined({side_header, {{PAGE_PROMPT, Kind::text, 102, 24, 174, 168}}, page_buttons})},
      {L"GreetingDlg3", 280, 120,
       joined({banner_header(280),
               {{PAGE_PROMPT, Kind::text, 4, 30, 272, 64},
                {PAGE_ETCHED_LINE, Kind::line},
                {PAGE_OK, Kind::button, 140, 103, 66, 13},
                {PAGE_CANCEL, Kind::button, 210, 103, 66, 13}}})},
      {L"LicenseDlg", 280, 218, joined({side_header, text_view_body, page_buttons})},
      {L"LicenseDlg2", 280, 218, joined({plain_header, text_view_body, page_buttons})},
      {L"LicenseDlg3", 280, 218, joined({banner_header(280), text_view_body, page_buttons})},
      {L"ReadmeDlg", 280, 218, joined({side_header, text_view_body, page_buttons})},
      {L"ReadmeDlg2", 280, 218, joined({plain_header, text_view_body, page_buttons})},
      {L"ReadmeDlg3", 280, 218, joined({banner_header(280), text_view_body, page_buttons})},
      {L"ChooseDirDlg", 280, 218, joined({side_header, folder_body, space_texts, page_buttons})},
      {L"ChooseDirDlg2", 280, 218, joined({plain_header, folder_body, space_texts, page_buttons})},
      {L"ChooseDirDlg3", 280, 218, joined({banner_header(280), folder_body, space_texts, page_buttons})},
      {L"StartMenuDlg", 280, 218, joined({side_header, folder_body, page_buttons})},
      {L"StartMenuDlg2", 280, 218, joined({plain_header, folder_body, page_buttons})},
      {L"StartMenuDlg3", 280, 218, joined({banner_header(280), folder_body, page_buttons})},
      {L"SummaryDlg", 280, 218, joined({side_header, summary_body})},
      {L"SummaryDlg3", 280, 218, joined({banner_header(280), summary_body})},
      {L"ProgressDlg", 280, 218,
       joined({side_header,
               {{PAGE_PROMPT, Kind::text},
                {PAGE_PROGRESS_BAR, Kind::progress, 102, 32, 174, 9},
                {PAGE_STATUS, Kind::text},
                {PAGE_ETCHED_LINE, Kind::line, any, 196},
                {PAGE_CANCEL, Kind::button, 210, 201, 66, 13}}})},
      {L"ProgressDlg2",
       195,
       73,
       {{PAGE_PROMPT, Kind::text},
        {PAGE_PROGRESS_BAR, Kind::smooth_progress},
        {PAGE_STATUS, Kind::text},
        {PAGE_CANCEL, Kind::button, 60, 57, 75, 12}}},
      {L"ProgressDlg3", 225, 99,
       joined({banner_header(225),
               {{PAGE_PROMPT, Kind::text},
                {PAGE_PROGRESS_BAR, Kind::smooth_progress},
                {PAGE_STATUS, Kind::text},
                {PAGE_CANCEL, Kind::button, 75, 83, 75, 12}}})},
      {L"EnterPassword",
       269,
       54,
       {{PAGE_PROMPT, Kind::text},
        {PAGE_PASSWORD_EDIT, Kind::edit},
        {PAGE_ETCHED_LINE, Kind::line},
        {PAGE_OK, Kind::button, any, any, any, any, L"&OK"},
        {PAGE_CANCEL, Kind::button, any, any, any, any, L"Cancel"}}},
      {L"MustUninstall",
       269,
       61,
       {{PAGE_PROMPT, Kind::text},
        {PAGE_ETCHED_LINE, Kind::line},
        {PAGE_OK, Kind::button, any, any, any, any, L"Uninstall"},
        {PAGE_CANCEL, Kind::button, any, any, any, any, L"Cancel"}}},
  };
  return all;
}

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// The style bits that make a control what the page code takes it for.
void expect_kind(const Control& control, Kind kind) {
  EXPECT_EQ(control.style & (WS_CHILD | WS_VISIBLE), DWORD{WS_CHILD | WS_VISIBLE});
  const DWORD type = control.style & (control.class_name == L"static" ? SS_TYPEMASK : BS_TYPEMASK);
  switch (kind) {
    case Kind::picture:
      EXPECT_EQ(control.class_name, L"static");
      EXPECT_EQ(type, DWORD{SS_OWNERDRAW});
      break;
    case Kind::line:
      EXPECT_EQ(control.class_name, L"static");
      EXPECT_EQ(type, DWORD{SS_ETCHEDHORZ});
      break;
    case Kind::text:
      EXPECT_EQ(control.class_name, L"static");
      EXPECT_EQ(type, DWORD{SS_LEFT});
      break;
    case Kind::button:
      EXPECT_EQ(control.class_name, L"button");
      EXPECT_TRUE(control.style & WS_TABSTOP);
      // Enter presses OK wherever a page has one.
      EXPECT_EQ(type, DWORD(control.id == PAGE_OK ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON));
      break;
    case Kind::check:
      EXPECT_EQ(control.class_name, L"button");
      EXPECT_TRUE(control.style & WS_TABSTOP);
      EXPECT_EQ(type, DWORD{BS_AUTOCHECKBOX});
      break;
    case Kind::edit: {
      EXPECT_EQ(control.class_name, L"edit");
      EXPECT_TRUE(control.style & WS_TABSTOP);
      DWORD wanted = 0;
      if (control.id == PAGE_TEXT_VIEW) wanted = ES_MULTILINE | ES_READONLY | WS_VSCROLL;
      if (control.id == PAGE_EDIT) wanted = ES_AUTOHSCROLL;
      if (control.id == PAGE_PASSWORD_EDIT) wanted = ES_PASSWORD | ES_AUTOHSCROLL;
      EXPECT_EQ(control.style & wanted, wanted);
      EXPECT_EQ(control.id == PAGE_PASSWORD_EDIT, (control.style & ES_PASSWORD) != 0);
      EXPECT_EQ(control.id == PAGE_TEXT_VIEW, (control.style & ES_READONLY) != 0);
      break;
    }
    case Kind::list:
      EXPECT_EQ(control.class_name, L"listbox");
      EXPECT_EQ(control.style & (LBS_NOTIFY | WS_VSCROLL | WS_TABSTOP), DWORD(LBS_NOTIFY | WS_VSCROLL | WS_TABSTOP));
      break;
    case Kind::progress:
    case Kind::smooth_progress:
      EXPECT_EQ(control.class_name, L"msctls_progress32");
      EXPECT_EQ((control.style & PBS_SMOOTH) != 0, kind == Kind::smooth_progress);
      break;
  }
}

TEST(PageResources, EveryPageIsFoundByTheNameTheProgramAsks) {
  std::vector<std::wstring> stored = resource_names(MAKEINTRESOURCEW(5));
  for (const Page& page : pages()) {
    SCOPED_TRACE(narrow(page.name));
    // Stored upper-case; found by the mixed-case name through both calls.
    std::wstring upper = page.name;
    for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
    EXPECT_TRUE(std::find(stored.begin(), stored.end(), upper) != stored.end()) << "not stored as " << narrow(upper);
    EXPECT_NE(FindResourceW(nullptr, page.name, MAKEINTRESOURCEW(5)), nullptr);
    EXPECT_NE(FindResourceA(nullptr, narrow(page.name).c_str(), MAKEINTRESOURCEA(5)), nullptr);
  }
}

TEST(PageResources, PagesHaveTheirFrameAndControls) {
  for (const Page& page : pages()) {
    SCOPED_TRACE(narrow(page.name));
    std::optional<Dialog> dialog = load_dialog(page.name);
    ASSERT_TRUE(dialog) << "missing or cut short";
    EXPECT_EQ(dialog->style & ~DWORD{DS_SETFONT},
              DWORD(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME));
    EXPECT_EQ(dialog->font, L"MS Shell Dlg");
    EXPECT_EQ(dialog->point_size, 10);
    EXPECT_EQ(dialog->cx, page.cx);
    EXPECT_EQ(dialog->cy, page.cy);

    // The controls, in tab order, and nothing else.
    std::vector<int> ids, expected_ids;
    for (const Control& control : dialog->controls) ids.push_back(control.id);
    for (const Expected& expected : page.controls) expected_ids.push_back(expected.id);
    ASSERT_EQ(ids, expected_ids);

    for (size_t i = 0; i < page.controls.size(); ++i) {
      const Expected& expected = page.controls[i];
      const Control& control = dialog->controls[i];
      SCOPED_TRACE(expected.id);
      expect_kind(control, expected.kind);
      EXPECT_EQ(control.text, expected.text);
      // x, y, width, height; where the layout leaves a value free, the stored one stands.
      const std::vector<int> place{control.x, control.y, control.cx, control.cy};
      std::vector<int> wanted{expected.x, expected.y, expected.cx, expected.cy};
      for (size_t k = 0; k < wanted.size(); ++k) {
        if (wanted[k] == any) wanted[k] = place[k];
      }
      EXPECT_EQ(place, wanted);
    }
  }
}

TEST(PageResources, ControlsFitTheirPageAndDoNotOverlap) {
  for (const Page& page : pages()) {
    SCOPED_TRACE(narrow(page.name));
    std::optional<Dialog> dialog = load_dialog(page.name);
    ASSERT_TRUE(dialog);
    const std::vector<Control>& controls = dialog->controls;
    for (const Control& control : controls) {
      SCOPED_TRACE(control.id);
      EXPECT_GE(control.x, 0);
      EXPECT_GE(control.y, 0);
      EXPECT_LE(control.x + control.cx, dialog->cx);
      EXPECT_LE(control.y + control.cy, dialog->cy);
      // Only the check boxes wait for the page to size them.
      const bool sized_by_page = control.class_name == L"button" && (control.style & BS_TYPEMASK) == BS_AUTOCHECKBOX;
      EXPECT_EQ(control.cx == 0 || control.cy == 0, sized_by_page);
    }
    // Only the banner's two lines stand on something: the band they are drawn over.
    for (size_t i = 0; i < controls.size(); ++i) {
      for (size_t j = i + 1; j < controls.size(); ++j) {
        const Control& a = controls[i];
        const Control& b = controls[j];
        const bool overlap = a.x < b.x + b.cx && b.x < a.x + a.cx && a.y < b.y + b.cy && b.y < a.y + a.cy;
        const bool on_band = a.id == PAGE_BANNER && (b.id == PAGE_BANNER_PRODUCT || b.id == PAGE_BANNER_TITLE);
        EXPECT_EQ(overlap, on_band) << a.id << " and " << b.id;
      }
    }
  }
}

// ---- Pictures, icon and manifest.

struct ResourceBytes {
  const BYTE* data = nullptr;
  DWORD size = 0;
};

ResourceBytes resource(const wchar_t* type, int id) {
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), type);
  if (!found) return {};
  return {static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found))), SizeofResource(nullptr, found)};
}

TEST(PageResources, DefaultPicturesHaveTheirSizes) {
  struct Picture {
    int id;
    LONG width, height;
  };
  for (const Picture& picture : {Picture{SIDE_PICTURE_BITMAP, 212, 424}, Picture{BANNER_PICTURE_BITMAP, 600, 64}}) {
    SCOPED_TRACE(picture.id);
    const ResourceBytes bitmap = resource(MAKEINTRESOURCEW(2), picture.id);  // RT_BITMAP
    ASSERT_GE(bitmap.size, sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER header;
    std::copy(bitmap.data, bitmap.data + sizeof header, reinterpret_cast<BYTE*>(&header));
    EXPECT_EQ(header.biWidth, picture.width);
    EXPECT_EQ(header.biHeight, picture.height);  // positive: rows bottom-up, as StretchDIBits takes them
    EXPECT_EQ(header.biCompression, DWORD{BI_RGB});
    // Every row is there: header, palette, rows padded to four bytes.
    const DWORD colours = header.biBitCount > 8 ? 0 : (header.biClrUsed ? header.biClrUsed : 1u << header.biBitCount);
    const DWORD row = ((picture.width * header.biBitCount + 31) / 32) * 4;
    EXPECT_EQ(bitmap.size, header.biSize + colours * 4 + row * picture.height);
  }
}

TEST(PageResources, IconHasThreeSizesInFullColour) {
  const ResourceBytes group = resource(MAKEINTRESOURCEW(14), ENGINE_ICON);  // RT_GROUP_ICON
  ASSERT_GE(group.size, 6u);
  WORD count = 0;
  std::copy(group.data + 4, group.data + 6, reinterpret_cast<BYTE*>(&count));
  ASSERT_EQ(group.size, 6u + 14u * count);
  std::vector<int> sizes;
  for (WORD i = 0; i < count; ++i) {
    const BYTE* entry = group.data + 6 + 14 * i;  // width, height, colours, reserved, planes, bits, bytes, id
    const int size = entry[0] ? entry[0] : 256;
    sizes.push_back(size);
    WORD bits = 0, id = 0;
    std::copy(entry + 6, entry + 8, reinterpret_cast<BYTE*>(&bits));
    std::copy(entry + 12, entry + 14, reinterpret_cast<BYTE*>(&id));
    EXPECT_EQ(bits, 32);
    const ResourceBytes image = resource(MAKEINTRESOURCEW(3), id);  // RT_ICON
    ASSERT_GE(image.size, sizeof(BITMAPINFOHEADER)) << size;
    BITMAPINFOHEADER header;
    std::copy(image.data, image.data + sizeof header, reinterpret_cast<BYTE*>(&header));
    EXPECT_EQ(header.biWidth, size);
    EXPECT_EQ(header.biHeight, 2 * size);  // colour rows and mask rows
    // Colour, then the mask's rows padded to four bytes.
    EXPECT_EQ(image.size, header.biSize + size * size * 4u + ((size + 31) / 32) * 4u * size);
  }
  std::sort(sizes.begin(), sizes.end());
  EXPECT_EQ(sizes, (std::vector<int>{16, 32, 48}));
}

TEST(PageResources, OneManifestAsksForThemedControls) {
  // A second manifest (a toolchain's default one) would leave it to chance which counts.
  EXPECT_EQ(resource_names(MAKEINTRESOURCEW(24)), std::vector<std::wstring>{L"#1"});
  const ResourceBytes manifest = resource(MAKEINTRESOURCEW(24), 1);  // RT_MANIFEST
  ASSERT_NE(manifest.data, nullptr);
  const std::string text(reinterpret_cast<const char*>(manifest.data), manifest.size);
  for (const char* part :
       {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"", "level=\"highestAvailable\"", "PerMonitorV2",
        "true/pm", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part;
  }
}

}  // namespace
}  // namespace halvard
