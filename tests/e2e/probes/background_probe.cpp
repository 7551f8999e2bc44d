// Shows the background window for one of a few fixed sets of display settings, reads
// back what it painted and prints it as one JSON line:
//   background_probe CASE [hold]
// The pixels of the client area are base64 of top-down RGB rows. With "hold" the
// window stays up after the line until it is closed; without, the probe closes it.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "package/install_settings.h"
#include "ui/background_window_win.h"
#include "ui/message_pump_win.h"

namespace {

using halvard::InstallSettings;

constexpr uint32_t rgb(int r, int g, int b) { return uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16; }

void put_u16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void put_u32(std::vector<uint8_t>& out, uint32_t v) {
  put_u16(out, v & 0xFFFF);
  put_u16(out, v >> 16);
}

std::vector<uint8_t> info_header(int width, int height, int bits, int colours) {
  std::vector<uint8_t> dib;
  put_u32(dib, 40);
  put_u32(dib, uint32_t(width));
  put_u32(dib, uint32_t(height));
  put_u16(dib, 1);
  put_u16(dib, uint32_t(bits));
  for (int i = 0; i < 4; ++i) put_u32(dib, 0);
  put_u32(dib, uint32_t(colours));
  put_u32(dib, 0);
  return dib;
}

// 16 x 8, 8 bits, bottom-up. The top four rows: 8 red, 4 of the transparent index 2,
// 4 green; the bottom four rows green.
std::vector<uint8_t> indexed_picture() {
  std::vector<uint8_t> dib = info_header(16, 8, 8, 3);
  const uint32_t palette[] = {rgb(255, 0, 0), rgb(0, 255, 0), rgb(255, 0, 255)};
  for (uint32_t colour : palette) {
    dib.push_back(uint8_t(colour >> 16));
    dib.push_back(uint8_t(colour >> 8));
    dib.push_back(uint8_t(colour));
    dib.push_back(0);
  }
  for (int stored = 0; stored < 8; ++stored) {
    const int row = 7 - stored;
    for (int x = 0; x < 16; ++x) dib.push_back(row >= 4 ? 1 : x < 8 ? 0 : x < 12 ? 2 : 1);
  }
  return dib;
}

// 40 x 30, 24 bits, bottom-up; the pixel at (x, y) from the top is RGB(6x, 8y, 100).
std::vector<uint8_t> tile_picture() {
  std::vector<uint8_t> dib = info_header(40, 30, 24, 0);
  for (int stored = 0; stored < 30; ++stored) {
    const int y = 29 - stored;
    for (int x = 0; x < 40; ++x) {
      dib.push_back(100);
      dib.push_back(uint8_t(8 * y));
      dib.push_back(uint8_t(6 * x));
    }
  }
  return dib;
}

InstallSettings base_settings() {
  InstallSettings s;
  s.TaskbarText = "Caf\xe9 Setup \x99";
  s.TitleSize = 1.0;
  s.TitleColor = rgb(255, 255, 255);
  s.TitleShadow = 2;
  s.TitleFont = "No Such Face, Tahoma";
  s.TopColor = s.BottomColor = rgb(0, 0, 128);
  s.MonoColor = true;
  s.BitmapTPI = -1;
  s.StretchMode = 2;
  s.CopyrightSize = 1.0;
  s.CopyrightColor = rgb(255, 255, 0);
  s.CopyrightFont = "Tahoma";
  s.LanguageNames = {"English"};
  s.Messages = {{""}};
  return s;
}

bool settings_for(const std::string& name, InstallSettings& s, bool& start_minimized) {
  s = base_settings();
  start_minimized = false;
  if (name == "gradient") {
    s.TopColor = rgb(200, 30, 10);
    s.BottomColor = rgb(10, 60, 220);
    s.MonoColor = false;
  } else if (name == "mono") {
    s.TopColor = s.BottomColor = rgb(40, 120, 90);
  } else if (name == "picture") {
    s.BackgroundBitmap = indexed_picture();
    s.BitmapTPI = 2;
    s.BitmapSize = 50;
  } else if (name == "opaque") {
    s.BackgroundBitmap = indexed_picture();
    s.BitmapSize = 50;
  } else if (name == "tiles") {
    s.BackgroundBitmap = tile_picture();
    s.BitmapSize = 1;
    s.StretchMode = 3;
  } else if (name == "hidden") {
    s.BackgroundBitmap = indexed_picture();
    s.BitmapSize = 0;
  } else if (name == "title") {
    s.DisplayTitle = "Product Title";
    s.TitlePosition = 1;
  } else if (name == "no-title") {
    s.DisplayTitle = "Product Title";
    s.TitlePosition = 0;
  } else if (name == "wide-title") {
    s.DisplayTitle = "A Rather Long Product Title That Cannot Fit At Its Size";
    s.TitleSize = 4.0;
    s.TitlePosition = 1;
  } else if (name == "bottom") {
    s.DisplayTitle = "Product\r\nTitle";
    s.TitlePosition = 5;
  } else if (name == "language") {
    s.LanguageNames = {"English", "Deutsch"};
    s.Messages = {{"", "Produkt"}};
    s.TitlePosition = 1;
  } else if (name == "typical") {
    s.TopColor = rgb(0, 40, 140);
    s.BottomColor = rgb(0, 0, 20);
    s.MonoColor = false;
    s.BackgroundBitmap = indexed_picture();
    s.BitmapTPI = 2;
    s.BitmapSize = 30;
    s.DisplayTitle = "Halvard Example";
    s.TitlePosition = 1;
    s.CopyrightText = "Copyright \xa9 2026 Example Makers";
    s.CopyrightPos = 6;
  } else if (name == "truncated-picture") {
    s.BackgroundBitmap = indexed_picture();
    s.BackgroundBitmap.resize(s.BackgroundBitmap.size() / 2);
    s.BitmapTPI = 2;
    s.BitmapSize = 50;
  } else if (name == "index-beyond-palette") {
    s.BackgroundBitmap = indexed_picture();
    s.BackgroundBitmap.back() = 200;  // the palette holds three colours
    s.BitmapSize = 50;
  } else if (name == "transparent-index-beyond-palette") {
    s.BackgroundBitmap = indexed_picture();
    s.BitmapTPI = 77;
    s.BitmapSize = 50;
  } else if (name == "empty-font-list") {
    s.DisplayTitle = "Product Title";
    s.TitleFont = " , ,";
    s.TitlePosition = 1;
  } else if (name == "huge-title") {
    for (int line = 0; s.DisplayTitle.size() < 65536; ++line)
      s.DisplayTitle += "A line of the title " + std::to_string(line) + "\r\n";
    s.TitlePosition = 2;
  } else if (name == "maximized") {
    s.MaximizedBackground = true;
  } else if (name == "minimized") {
    start_minimized = true;
  } else if (name == "refused") {
    // Every window is refused at its creation: the probe ends through the fatal path.
  } else {
    return false;
  }
  return true;
}

LRESULT CALLBACK refuse_windows(int code, WPARAM wparam, LPARAM lparam) {
  return code == HCBT_CREATEWND ? 1 : CallNextHookEx(nullptr, code, wparam, lparam);
}

void settle(HWND window) {
  for (int i = 0; i < 5; ++i) {
    halvard::pump_messages();
    UpdateWindow(window);
    GdiFlush();
    Sleep(50);
  }
}

std::string base64(const std::vector<uint8_t>& bytes) {
  static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t v = uint32_t(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= uint32_t(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) v |= bytes[i + 2];
    out += digits[v >> 18];
    out += digits[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? digits[(v >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? digits[v & 63] : '=';
  }
  return out;
}

// The client area as top-down RGB rows, read through the window's own DC.
std::vector<uint8_t> client_pixels(HWND window, int width, int height) {
  std::vector<uint8_t> rgb_rows;
  if (width <= 0 || height <= 0) return rgb_rows;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC window_dc = GetDC(window);
  HDC memory = CreateCompatibleDC(window_dc);
  HBITMAP bitmap = CreateDIBSection(window_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (memory && bitmap && bits) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, window_dc, 0, 0, SRCCOPY);
    GdiFlush();
    const uint8_t* bgrx = static_cast<const uint8_t*>(bits);
    rgb_rows.reserve(size_t(width) * size_t(height) * 3);
    for (size_t i = 0; i < size_t(width) * size_t(height); ++i) {
      rgb_rows.push_back(bgrx[4 * i + 2]);
      rgb_rows.push_back(bgrx[4 * i + 1]);
      rgb_rows.push_back(bgrx[4 * i]);
    }
    SelectObject(memory, old);
  }
  if (bitmap) DeleteObject(bitmap);
  if (memory) DeleteDC(memory);
  ReleaseDC(window, window_dc);
  return rgb_rows;
}

std::string json_text(const std::wstring& wide) {
  std::string utf8;
  if (!wide.empty()) {
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    utf8.resize(size_t(n));
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), utf8.data(), n, nullptr, nullptr);
  }
  std::string out = "\"";
  for (char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string json_rect(const RECT& r) {
  return "[" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom) + "]";
}

}  // namespace

int main(int argc, char** argv) {
  const std::string name = argc > 1 ? argv[1] : "";
  const bool hold = argc > 2 && std::string(argv[2]) == "hold";
  static InstallSettings settings;
  bool start_minimized = false;
  if (!settings_for(name, settings, start_minimized)) {
    std::fprintf(stderr, "usage: background_probe CASE [hold]\n");
    return 2;
  }

  if (name == "refused") SetWindowsHookExW(WH_CBT, refuse_windows, nullptr, GetCurrentThreadId());
  HWND window = halvard::create_background_window(settings, GetModuleHandleW(nullptr), start_minimized);
  settle(window);

  wchar_t class_name[256] = {};
  GetClassNameW(window, class_name, 256);
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  RECT window_rect{}, client{}, work_area{};
  GetWindowRect(window, &window_rect);
  GetClientRect(window, &client);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work_area, 0);
  const bool iconic = IsIconic(window);
  std::vector<uint8_t> pixels = iconic ? std::vector<uint8_t>{} : client_pixels(window, client.right, client.bottom);

  std::string line = "{\"hwnd\":" + std::to_string(reinterpret_cast<uintptr_t>(window)) +
                     ",\"class\":" + json_text(class_name) + ",\"text\":" + json_text(text) +
                     ",\"unicode\":" + (IsWindowUnicode(window) ? "true" : "false") +
                     ",\"window\":" + json_rect(window_rect) + ",\"client\":" + json_rect(client) +
                     ",\"work_area\":" + json_rect(work_area) + ",\"iconic\":" + (iconic ? "true" : "false") +
                     ",\"visible\":" + (IsWindowVisible(window) ? "true" : "false") +
                     ",\"foreground\":" + (GetForegroundWindow() == window ? "true" : "false") + ",\"pixels\":\"" +
                     base64(pixels) + "\"";
  if (name == "language") {
    // The language changes after the window was made: it must show the new title.
    settings.LanguageIndex = 1;
    halvard::redraw_background_window(window);
    settle(window);
    line += ",\"after\":\"" + base64(client_pixels(window, client.right, client.bottom)) + "\"";
  }
  if (!hold) {
    halvard::close_background_window(window);
    line += std::string(",\"closed\":") + (IsWindow(window) ? "false" : "true");
  }
  line += "}\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);

  if (hold) {
    const ULONGLONG deadline = GetTickCount64() + 60000;
    while (IsWindow(window) && GetTickCount64() < deadline) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
      halvard::pump_messages();
    }
  }
  return 0;
}
