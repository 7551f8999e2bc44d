#include "ui/background_window_win.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "crash/fatal_error.h"
#include "foundation/file.h"
#include "foundation/system_library_win.h"
#include "foundation/windows_error.h"
#include "package/message_numbers.h"
#include "package/settings_stream.h"
#include "ui/background_paint.h"
#include "ui/page_controls.h"

#define BACKGROUND_CLASS "SEA Window Class"

namespace halvard {
namespace {

constexpr wchar_t background_class_wide[] = L"" BACKGROUND_CLASS;

constexpr double title_points_per_unit = 26;
constexpr double copyright_points_per_unit = 16;
constexpr int heavy_weight = 900;

using GradientFillFn = BOOL(WINAPI*)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG);

// The package's picture as drawn: decoded once, with its transparency mask and the copy
// whose transparent entry is black, until the settings bring another picture.
struct Picture {
  bool read = false;
  const uint8_t* data = nullptr;
  size_t size = 0;
  int transparent_index = -1;
  PictureLayout layout;
  std::vector<uint8_t> mask;
  std::vector<uint8_t> black;
};

struct MaskInfo {
  BITMAPINFOHEADER header;
  RGBQUAD colours[2];
};

// The one background window of a run. Its procedure gets no context of its own, and
// the window lives until the program ends, so what it draws from lives here.
struct BackgroundState {
  const InstallSettings* settings = nullptr;
  bool gradient_fill_looked_up = false;
  GradientFillFn gradient_fill = nullptr;
  std::vector<std::pair<std::string, bool>> font_installed;  // by the name in the font list; a few at most
  Picture picture;
};
BackgroundState state;
bool wide_class_registered = false;
bool narrow_class_registered = false;

Rect client_rect(HWND window) {
  RECT r{};
  GetClientRect(window, &r);
  return {int(r.left), int(r.top), int(r.right), int(r.bottom)};
}

void fill_solid(HDC dc, Rect area, Colour colour) {
  RECT r{area.left, area.top, area.right, area.bottom};
  HBRUSH brush = CreateSolidBrush(colour_ref(colour));
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

GradientFillFn gradient_fill() {
  if (!state.gradient_fill_looked_up) {
    state.gradient_fill_looked_up = true;
    if (HMODULE library = load_system_library("msimg32.dll")) {
      state.gradient_fill =
          reinterpret_cast<GradientFillFn>(reinterpret_cast<void*>(GetProcAddress(library, "GradientFill")));
    }
  }
  return state.gradient_fill;
}

TRIVERTEX vertex(int x, int y, Colour colour) {
  TRIVERTEX v{};
  v.x = x;
  v.y = y;
  v.Red = COLOR16(colour.red << 8);
  v.Green = COLOR16(colour.green << 8);
  v.Blue = COLOR16(colour.blue << 8);
  return v;
}

void paint_gradient(HDC dc, Rect client, Colour top, Colour bottom) {
  if (GradientFillFn fill = gradient_fill()) {
    // The far vertex lies just outside the client, past its last row and column.
    TRIVERTEX vertices[2] = {vertex(client.left, client.top, top), vertex(client.right, client.bottom, bottom)};
    GRADIENT_RECT mesh{0, 1};
    if (fill(dc, vertices, 2, &mesh, 1, GRADIENT_FILL_RECT_V)) return;
  }
  for (const ColourBand& band : gradient_bands(client.height(), top, bottom))
    fill_solid(dc, {client.left, client.top + band.top, client.right, client.top + band.bottom}, band.colour);
}

const Picture& current_picture(const InstallSettings& s) {
  Picture& p = state.picture;
  const std::vector<uint8_t>& bytes = s.BackgroundBitmap;
  if (p.read && p.data == bytes.data() && p.size == bytes.size() && p.transparent_index == s.BitmapTPI) return p;
  p = Picture{true, bytes.data(), bytes.size(), s.BitmapTPI, read_picture(bytes), {}, {}};
  if (draws_transparent(p.layout, s.BitmapTPI)) {
    p.mask = transparency_mask(p.layout, bytes, s.BitmapTPI);
    p.black = with_black_entry(p.layout, bytes, s.BitmapTPI);
  }
  return p;
}

void stretch(HDC dc, Rect target, const PictureLayout& layout, const uint8_t* bits, const void* info, DWORD rop) {
  StretchDIBits(dc, target.left, target.top, target.width(), target.height(), 0, 0, layout.width, layout.height, bits,
                static_cast<const BITMAPINFO*>(info), DIB_RGB_COLORS, rop);
}

void stretch_packed(HDC dc, Rect target, const PictureLayout& layout, const uint8_t* packed, DWORD rop) {
  stretch(dc, target, layout, packed + layout.pixel_offset, packed, rop);
}

void paint_picture(HDC dc, Rect client, const InstallSettings& s) {
  if (s.BackgroundBitmap.empty() || s.BitmapSize <= 0) return;
  const Picture& picture = current_picture(s);
  const PictureLayout& layout = picture.layout;
  if (!layout.ok()) return;
  const uint8_t* bytes = s.BackgroundBitmap.data();

  if (s.StretchMode == stretch_mode::tile) {
    const TileGrid grid = tile_grid(client, layout.width, layout.height);
    for (int column = 0; column < grid.columns; ++column) {
      for (int row = 0; row < grid.rows; ++row) stretch_packed(dc, grid.tile(column, row), layout, bytes, SRCCOPY);
    }
    return;
  }

  const Rect target = fit_picture(picture_area(client, s.BitmapSize), layout.width, layout.height, s.StretchMode);
  if (target.empty()) return;
  // Lines dropped, not merged, when the picture shrinks: the mask and the picture lose
  // the same pixels, and colours stay as they are.
  const int old_mode = SetStretchBltMode(dc, COLORONCOLOR);
  if (picture.mask.empty()) {
    stretch_packed(dc, target, layout, bytes, SRCCOPY);
  } else {
    MaskInfo mask{};
    mask.header.biSize = sizeof mask.header;
    mask.header.biWidth = layout.width;
    mask.header.biHeight = layout.top_down ? -layout.height : layout.height;
    mask.header.biPlanes = 1;
    mask.header.biBitCount = 1;
    mask.header.biCompression = BI_RGB;
    mask.header.biClrUsed = 2;
    mask.colours[1] = {255, 255, 255, 0};
    stretch(dc, target, layout, picture.mask.data(), &mask, SRCAND);
    stretch_packed(dc, target, layout, picture.black.data(), SRCPAINT);
  }
  if (old_mode) SetStretchBltMode(dc, old_mode);
}

void paint_background(HWND window, HDC dc) {
  const InstallSettings& s = *state.settings;
  const Rect client = client_rect(window);
  if (s.MonoColor) {
    fill_solid(dc, client, colour_from_ref(s.TopColor));
  } else {
    paint_gradient(dc, client, colour_from_ref(s.TopColor), colour_from_ref(s.BottomColor));
  }
  paint_picture(dc, client, s);
}

// ---- texts ----

int CALLBACK note_family(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool font_installed(HDC dc, const std::string& name) {
  LOGFONTA query{};
  query.lfCharSet = DEFAULT_CHARSET;
  const std::string asked = font_query_name(name);
  std::memcpy(query.lfFaceName, asked.c_str(), asked.size() + 1);
  bool found = false;
  EnumFontFamiliesExA(dc, &query, note_family, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

std::string font_face(HDC dc, std::string_view list) {
  for (const std::string& name : font_face_names(list)) {
    auto known = std::find_if(state.font_installed.begin(), state.font_installed.end(),
                              [&](const auto& entry) { return entry.first == name; });
    if (known == state.font_installed.end()) {
      state.font_installed.emplace_back(name, font_installed(dc, name));
      known = state.font_installed.end() - 1;
    }
    if (known->second) return name.substr(0, LF_FACESIZE - 1);
  }
  return fallback_font_face;
}

struct TextStyle {
  std::string_view text;
  std::string_view fonts;
  double points = 0;
  uint32_t colour = 0;
  int position = 0;
  int shadow = 0;
};

int line_width(HDC dc, std::string_view line) {
  SIZE size{};
  GetTextExtentPoint32A(dc, line.data(), int(line.size()), &size);
  return int(size.cx);
}
int line_width(HDC dc, std::wstring_view line) {
  SIZE size{};
  GetTextExtentPoint32W(dc, line.data(), int(line.size()), &size);
  return int(size.cx);
}
void put_line(HDC dc, int x, int y, std::string_view line) { TextOutA(dc, x, y, line.data(), int(line.size())); }
void put_line(HDC dc, int x, int y, std::wstring_view line) { TextOutW(dc, x, y, line.data(), int(line.size())); }

template <class Char>
void draw_lines(HDC dc, Rect client, const TextStyle& style, const std::string& face,
                std::basic_string_view<Char> text) {
  const std::vector<std::basic_string_view<Char>> lines = text_lines(text);
  if (lines.empty()) return;
  const int pixels_per_inch = GetDeviceCaps(dc, LOGPIXELSY);
  double points = style.points;
  HFONT font = nullptr;
  std::vector<int> widths;
  int line_height = 0;
  while (true) {
    font = CreateFontA(int(pixels_per_inch * points / 72), 0, 0, 0, heavy_weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH, face.c_str());
    HGDIOBJ previous = SelectObject(dc, font);
    widths.clear();
    int widest = 0;
    for (auto line : lines) {
      widths.push_back(line_width(dc, line));
      widest = std::max(widest, widths.back());
    }
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    line_height = int(metrics.tmHeight);
    SelectObject(dc, previous);
    if (font_fits(points, widest, client, style.shadow)) break;
    DeleteObject(font);
    points -= 1;
  }

  const std::vector<TextOrigin> origins = place_text_lines(client, style.position, style.shadow, widths, line_height);
  HGDIOBJ previous = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  if (style.shadow > 0) {
    SetTextColor(dc, RGB(0, 0, 0));
    for (size_t i = 0; i < origins.size(); ++i)
      put_line(dc, origins[i].x + style.shadow, origins[i].y + style.shadow, lines[i]);
  }
  SetTextColor(dc, colour_ref(colour_from_ref(style.colour)));
  for (size_t i = 0; i < origins.size(); ++i) put_line(dc, origins[i].x, origins[i].y, lines[i]);
  SelectObject(dc, previous);
  DeleteObject(font);
}

void draw_text(HDC dc, Rect client, const TextStyle& style) {
  if (style.text.empty() || style.position == 0) return;
  const std::string face = font_face(dc, style.fonts);
  const std::wstring wide = code_page_to_wide(style.text, code_page_windows_1252);
  if (!wide.empty()) {
    draw_lines(dc, client, style, face, std::wstring_view(wide));
  } else {
    draw_lines(dc, client, style, face, style.text);
  }
}

void paint_texts(HWND window, HDC dc) {
  const InstallSettings& s = *state.settings;
  const Rect client = client_rect(window);
  const std::string& title = s.DisplayTitle.empty() ? message(s, message_number::window_title) : s.DisplayTitle;
  draw_text(dc, client,
            {title, s.TitleFont, text_points(s.TitleSize, title_points_per_unit), s.TitleColor, s.TitlePosition,
             s.TitleShadow});
  draw_text(dc, client,
            {s.CopyrightText, s.CopyrightFont, text_points(s.CopyrightSize, copyright_points_per_unit),
             s.CopyrightColor, s.CopyrightPos, 0});
}

LRESULT CALLBACK background_procedure(HWND window, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_ERASEBKGND:
      if (!state.settings) break;
      paint_background(window, reinterpret_cast<HDC>(wparam));
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      if (state.settings) paint_texts(window, dc);
      EndPaint(window, &paint);
      return 0;
    }
    default:
      break;
  }
  return IsWindowUnicode(window) ? DefWindowProcW(window, msg, wparam, lparam)
                                 : DefWindowProcA(window, msg, wparam, lparam);
}

[[noreturn]] void creation_failed() {
  const DWORD code = GetLastError();
  fatal_error(
      "Failed to create the installer's window.  Please reboot your machine and try again.\r\n\r\nError code %d: %s",
      int(code), windows_error_text(code).c_str());
}

}  // namespace

HWND create_background_window(const InstallSettings& settings, HINSTANCE instance, bool start_minimized) {
  state.settings = &settings;
  bool maximized = settings.MaximizedBackground;
  RECT area{};
  if (!maximized && !SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) maximized = true;
  if (maximized) area = {0, 0, 1, 1};
  // The work area's right and bottom edges lie outside it: counting them in would put a
  // line of the window on the next monitor.
  const int width = int(area.right - area.left);
  const int height = int(area.bottom - area.top);
  const DWORD style = WS_POPUP | (start_minimized ? WS_MINIMIZE : 0);
  HICON icon = LoadIconA(instance, MAKEINTRESOURCEA(ENGINE_ICON));
  HCURSOR arrow = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));

  HWND window = nullptr;
  const std::wstring text = code_page_to_wide(settings.TaskbarText, code_page_windows_1252);
  if (settings.TaskbarText.empty() || !text.empty()) {
    if (!wide_class_registered) {
      wide_class_registered = true;
      WNDCLASSEXW wide{};
      wide.cbSize = sizeof wide;
      wide.style = CS_HREDRAW | CS_VREDRAW;
      wide.lpfnWndProc = background_procedure;
      wide.hInstance = instance;
      wide.hIcon = icon;
      wide.hCursor = arrow;
      wide.lpszClassName = background_class_wide;
      RegisterClassExW(&wide);
    }
    window = CreateWindowExW(WS_EX_LEFT, background_class_wide, text.c_str(), style, int(area.left), int(area.top),
                             width, height, nullptr, nullptr, instance, nullptr);
  }
  if (!window) {
    if (!narrow_class_registered) {
      WNDCLASSA narrow{};
      narrow.style = CS_HREDRAW | CS_VREDRAW;
      narrow.lpfnWndProc = background_procedure;
      narrow.hInstance = instance;
      narrow.hIcon = icon;
      narrow.hCursor = arrow;
      narrow.lpszClassName = BACKGROUND_CLASS;
      // The wide class of the same name, when it is there, serves as well.
      if (!RegisterClassA(&narrow) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) creation_failed();
      narrow_class_registered = true;
    }
    // A refusal that sets no error of its own must not report one left from before.
    SetLastError(0);
    window = CreateWindowExA(WS_EX_LEFT, BACKGROUND_CLASS, settings.TaskbarText.c_str(), style, int(area.left),
                             int(area.top), width, height, nullptr, nullptr, instance, nullptr);
    if (!window) creation_failed();
  }

  ShowWindow(window, SW_HIDE);
  ShowWindow(window, maximized ? SW_SHOWMAXIMIZED : SW_SHOW);
  if (start_minimized) ShowWindow(window, SW_MINIMIZE);
  SetForegroundWindow(window);
  SetActiveWindow(window);
  InvalidateRect(window, nullptr, TRUE);
  return window;
}

void redraw_background_window(HWND window) { InvalidateRect(window, nullptr, TRUE); }

void close_background_window(HWND window) {
  ShowWindow(window, SW_MINIMIZE);
  DestroyWindow(window);
}

}  // namespace halvard
