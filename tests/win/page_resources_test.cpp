// The engine's resources as the pages find them: every dialog by the name the program
// asks for, its frame and its controls, and the default pictures, icon and manifest.
// Read from the resource bytes and drawn into memory DCs; no window is created.
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

// The palette indices of a BI_RLE8 stream, rows bottom-up as stored. Strict: nullopt
// unless every row is filled exactly (a jump or a short row would leave pixels unpainted)
// and the stream ends with the last row, where the bitmap's end says so.
std::optional<std::vector<BYTE>> decode_rle8(const BYTE* data, size_t size, int width, int height) {
  std::vector<BYTE> pixels;
  size_t at = 0;
  int x = 0, y = 0;
  while (size - at >= 2) {
    const BYTE count = data[at], value = data[at + 1];
    at += 2;
    if (count > 0) {
      if (y >= height || width - x < count) return std::nullopt;
      pixels.insert(pixels.end(), count, value);
      x += count;
    } else if (value == 0) {  // end of line
      if (x != width) return std::nullopt;
      x = 0;
      ++y;
    } else if (value == 1) {  // end of bitmap, after the last row's end of line or in its place
      const bool complete = (y == height && x == 0) || (y == height - 1 && x == width);
      if (!complete || at != size) return std::nullopt;
      return pixels;
    } else if (value == 2) {  // a jump, which skips pixels
      return std::nullopt;
    } else {  // absolute: `value` indices, padded to an even count
      const size_t padded = value + (value & 1u);
      if (y >= height || width - x < value || size - at < padded) return std::nullopt;
      pixels.insert(pixels.end(), data + at, data + at + value);
      x += value;
      at += padded;
    }
  }
  return std::nullopt;
}

TEST(PageResources, RunLengthDecoderTakesOnlyCompletePictures) {
  struct Case {
    const char* name;
    std::vector<BYTE> stream;
    bool complete;
  };
  // Three pixels by two rows: a run, then three lone pixels in absolute mode.
  const std::vector<BYTE> rows = {3, 5, 0, 0, 0, 3, 1, 2, 3, 0};
  auto with = [&](std::initializer_list<BYTE> tail) {
    std::vector<BYTE> stream = rows;
    stream.insert(stream.end(), tail);
    return stream;
  };
  const Case cases[] = {
      {"end of line, then end of bitmap", with({0, 0, 0, 1}), true},
      {"end of bitmap in place of the last end of line", with({0, 1}), true},
      {"no end of bitmap", with({0, 0}), false},
      {"bytes after the end", with({0, 0, 0, 1, 0, 0}), false},
      {"a third row", with({0, 0, 3, 5, 0, 0, 0, 1}), false},
      {"one row only", {3, 5, 0, 0, 0, 1}, false},
      {"a run past the row's end", {4, 5, 0, 0, 3, 5, 0, 0, 0, 1}, false},
      {"a short row", {2, 5, 0, 0, 3, 5, 0, 0, 0, 1}, false},
      {"a jump", {0, 2, 0, 1, 3, 5, 0, 0, 0, 1}, false},
      {"absolute mode cut short", {3, 5, 0, 0, 0, 3, 1, 2}, false},
      {"absolute mode past the row's end", {3, 5, 0, 0, 0, 4, 1, 2, 3, 4, 0, 1}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<std::vector<BYTE>> pixels = decode_rle8(c.stream.data(), c.stream.size(), 3, 2);
    ASSERT_EQ(pixels.has_value(), c.complete);
    if (pixels) {
      EXPECT_EQ(*pixels, (std::vector<BYTE>{5, 5, 5, 1, 2, 3}));
    }
  }
}

struct StoredPicture {
  BITMAPINFOHEADER header{};
  std::vector<RGBQUAD> palette;
  std::vector<BYTE> indices;  // rows bottom-up
};

// A default picture as stored: its header, palette and decoded pixels, with failures
// reported against the resource.
std::optional<StoredPicture> stored_picture(int id, LONG width, LONG height) {
  const ResourceBytes bitmap = resource(MAKEINTRESOURCEW(2), id);  // RT_BITMAP
  if (bitmap.size < sizeof(BITMAPINFOHEADER)) {
    ADD_FAILURE() << "missing or cut short";
    return std::nullopt;
  }
  StoredPicture picture;
  BITMAPINFOHEADER& header = picture.header;
  std::copy(bitmap.data, bitmap.data + sizeof header, reinterpret_cast<BYTE*>(&header));
  EXPECT_EQ(header.biSize, sizeof header);
  EXPECT_EQ(header.biWidth, width);
  EXPECT_EQ(header.biHeight, height);  // positive: a run-length coded bitmap is bottom-up
  EXPECT_EQ(header.biBitCount, 8);
  EXPECT_EQ(header.biCompression, DWORD{BI_RLE8});
  // Counted out: some loaders misread a compressed bitmap whose count is left at zero.
  EXPECT_GE(header.biClrUsed, 1u);
  EXPECT_LE(header.biClrUsed, 256u);
  const bool readable = header.biSize == sizeof header && header.biWidth == width && header.biHeight == height &&
                        header.biBitCount == 8 && header.biCompression == BI_RLE8 && header.biClrUsed >= 1 &&
                        header.biClrUsed <= 256;
  if (!readable) return std::nullopt;
  const size_t palette_end = header.biSize + 4 * size_t{header.biClrUsed};
  if (bitmap.size != palette_end + header.biSizeImage) {
    ADD_FAILURE() << "header, palette and pixel data do not fill the resource's " << bitmap.size << " bytes";
    return std::nullopt;
  }
  picture.palette.resize(header.biClrUsed);
  std::copy(bitmap.data + header.biSize, bitmap.data + palette_end, reinterpret_cast<BYTE*>(picture.palette.data()));
  std::optional<std::vector<BYTE>> indices = decode_rle8(bitmap.data + palette_end, header.biSizeImage, width, height);
  if (!indices) {
    ADD_FAILURE() << "the pixel data does not cover the picture exactly";
    return std::nullopt;
  }
  const BYTE highest = *std::max_element(indices->begin(), indices->end());
  if (highest >= header.biClrUsed) {
    ADD_FAILURE() << "index " << int(highest) << " lies past the palette";
    return std::nullopt;
  }
  picture.indices = std::move(*indices);
  return picture;
}

struct DefaultPicture {
  int id;
  LONG width, height;
};
constexpr DefaultPicture default_pictures[] = {{SIDE_PICTURE_BITMAP, 212, 424}, {BANNER_PICTURE_BITMAP, 600, 64}};

// Loaded as the pages load them, selected into a memory DC and copied out: every pixel
// has the colour the stored picture gives it.
TEST(PageResources, DefaultPicturesPaintAsStored) {
  for (const DefaultPicture& expected : default_pictures) {
    SCOPED_TRACE(expected.id);
    const std::optional<StoredPicture> stored = stored_picture(expected.id, expected.width, expected.height);
    ASSERT_TRUE(stored);
    const int width = expected.width, height = expected.height;

    HBITMAP picture = static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(expected.id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    ASSERT_NE(picture, nullptr) << GetLastError();
    BITMAP info{};
    ASSERT_TRUE(GetObjectW(picture, sizeof info, &info));
    EXPECT_EQ(info.bmWidth, width);
    EXPECT_EQ(info.bmHeight, height);

    // The copy's rows top-down, one 0x00RRGGBB value a pixel.
    BITMAPINFO copy_info{};
    copy_info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP copy = CreateDIBSection(nullptr, &copy_info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(copy, nullptr);
    HDC source = CreateCompatibleDC(nullptr);
    HDC target = CreateCompatibleDC(nullptr);
    HGDIOBJ previous_source = SelectObject(source, picture);
    HGDIOBJ previous_target = SelectObject(target, copy);
    EXPECT_NE(previous_source, nullptr);
    EXPECT_TRUE(BitBlt(target, 0, 0, width, height, source, 0, 0, SRCCOPY));
    GdiFlush();

    const auto* copied = static_cast<const DWORD*>(bits);
    int wrong = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const RGBQUAD colour = stored->palette[stored->indices[size_t(height - 1 - y) * width + x]];
        const DWORD wanted = DWORD(colour.rgbRed) << 16 | DWORD(colour.rgbGreen) << 8 | colour.rgbBlue;
        const DWORD got = copied[size_t(y) * width + x] & 0xFFFFFF;
        if (got != wanted && wrong++ < 5)
          ADD_FAILURE() << "(" << x << ", " << y << "): " << std::hex << got << ", not " << wanted;
      }
    }
    EXPECT_EQ(wrong, 0);

    SelectObject(source, previous_source);
    SelectObject(target, previous_target);
    DeleteDC(source);
    DeleteDC(target);
    DeleteObject(copy);
    DeleteObject(picture);
  }
}

TEST(PageResources, BannerIsLightUnderItsTexts) {
  // The banner's texts are black and take its left two thirds.
  const DefaultPicture& banner = default_pictures[1];
  const std::optional<StoredPicture> stored = stored_picture(banner.id, banner.width, banner.height);
  ASSERT_TRUE(stored);
  int darkest = 255;
  for (LONG y = 0; y < banner.height; ++y) {
    for (LONG x = 0; x < banner.width * 2 / 3; ++x) {
      const RGBQUAD c = stored->palette[stored->indices[size_t(y) * banner.width + x]];
      darkest = std::min(darkest, (299 * c.rgbRed + 587 * c.rgbGreen + 114 * c.rgbBlue) / 1000);
    }
  }
  EXPECT_GE(darkest, 200);
}

// An icon image is either a bitmap with its AND mask or, from Windows Vista on, a PNG.
void expect_icon_image(const ResourceBytes& image, int size) {
  static const BYTE png_signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  ASSERT_GE(image.size, sizeof(BITMAPINFOHEADER));
  if (std::equal(std::begin(png_signature), std::end(png_signature), image.data)) {
    // The signature, then the header chunk: length, "IHDR", width, height, depth, colour type.
    auto big_endian = [&](size_t at) {
      return DWORD(image.data[at]) << 24 | DWORD(image.data[at + 1]) << 16 | DWORD(image.data[at + 2]) << 8 |
             image.data[at + 3];
    };
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.data + 12), 4), "IHDR");
    EXPECT_EQ(big_endian(16), DWORD(size));
    EXPECT_EQ(big_endian(20), DWORD(size));
    EXPECT_EQ(image.data[24], 8);  // bits a channel
    EXPECT_EQ(image.data[25], 6);  // RGBA
    return;
  }
  BITMAPINFOHEADER header;
  std::copy(image.data, image.data + sizeof header, reinterpret_cast<BYTE*>(&header));
  EXPECT_EQ(header.biWidth, size);
  EXPECT_EQ(header.biHeight, 2 * size);  // colour rows and mask rows
  EXPECT_EQ(header.biBitCount, 32);
  // Colour, then the mask's rows padded to four bytes.
  EXPECT_EQ(image.size, header.biSize + size * size * 4u + ((size + 31) / 32) * 4u * size);
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
    SCOPED_TRACE(size);
    sizes.push_back(size);
    WORD bits = 0, id = 0;
    std::copy(entry + 6, entry + 8, reinterpret_cast<BYTE*>(&bits));
    std::copy(entry + 12, entry + 14, reinterpret_cast<BYTE*>(&id));
    EXPECT_EQ(bits, 32);
    expect_icon_image(resource(MAKEINTRESOURCEW(3), id), size);  // RT_ICON
  }
  std::sort(sizes.begin(), sizes.end());
  EXPECT_EQ(sizes, (std::vector<int>{16, 32, 48}));
}

// Each size loads and draws: clear at the corner, the arrow's colour in the middle.
TEST(PageResources, IconDrawsAtEverySize) {
  for (int size : {16, 32, 48}) {
    SCOPED_TRACE(size);
    HICON icon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(ENGINE_ICON), IMAGE_ICON, size, size, 0));
    ASSERT_NE(icon, nullptr);
    ICONINFO parts{};
    ASSERT_TRUE(GetIconInfo(icon, &parts));
    BITMAP colour{};
    EXPECT_TRUE(parts.hbmColor && GetObjectW(parts.hbmColor, sizeof colour, &colour));
    EXPECT_EQ(colour.bmWidth, size);
    EXPECT_EQ(colour.bmHeight, size);
    if (parts.hbmColor) DeleteObject(parts.hbmColor);
    if (parts.hbmMask) DeleteObject(parts.hbmMask);

    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP canvas = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(canvas, nullptr);
    std::fill_n(static_cast<DWORD*>(bits), size * size, 0xFFFFFFu);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, canvas);
    EXPECT_TRUE(DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL));
    GdiFlush();
    const auto* pixels = static_cast<const DWORD*>(bits);
    EXPECT_EQ(pixels[0] & 0xFFFFFF, 0xFFFFFFu);
    const DWORD middle = pixels[size_t(size / 2) * size + size / 2] & 0xFFFFFF;
    const int red = (middle >> 16) & 0xFF, green = (middle >> 8) & 0xFF, blue = middle & 0xFF;
    EXPECT_TRUE(red > 200 && green > 120 && blue < 120) << std::hex << middle;
    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(canvas);
    DestroyIcon(icon);
  }
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
