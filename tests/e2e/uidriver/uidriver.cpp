// A small Win32 UI driver for the end-to-end tests. It sees the desktop as a user does:
// it finds top-level windows (message boxes included), lists their controls with ids,
// classes and texts, sets texts, presses buttons and closes windows. It also starts a
// program with an exact command-line text, which `wine prog.exe args` cannot do.
//
//   uidriver serve                      one command per stdin line, fields separated by
//                                       tabs, escaped as \\ \t \n \r
//   uidriver COMMAND key=value ...      one command from the command line
//   uidriver launch TIMEOUT_MS HEX      run the UTF-16LE command line HEX (hex digits)
//
// Commands: find [caption= class= pid= visible=1 timeout=ms], windows [pid= visible=],
// controls hwnd=, settext hwnd= [id=] text=, press hwnd= id= [how=command|click],
// close hwnd=, gone hwnd= [timeout=ms], process pid= (is it running), kill pid=, ping,
// select hwnd= id= index= (a list box entry, as a click chooses it),
// layout hwnd= [face= points= dpi=] (geometry and text extents of a dialog, see command_layout).
//
// Every answer is one JSON line on stdout, {"ok":true,...} or {"ok":false,"error":...}.
// Windows belong to other processes and may vanish at any moment: every message sent to
// them has a time-out, and a window gone between two calls is an error, never a crash.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr UINT message_timeout_ms = 3000;
constexpr DWORD poll_ms = 50;

// ---- text and JSON ----

std::string to_utf8(const std::wstring& text) {
  if (text.empty()) return {};
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

std::wstring from_utf8(const std::string& text) {
  if (text.empty()) return {};
  int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

std::string json_string(const std::wstring& text) {
  std::string out = "\"";
  for (unsigned char c : to_utf8(text)) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

// Builds one JSON object; values are added already encoded.
class JsonObject {
 public:
  JsonObject& raw(const char* key, const std::string& value) {
    body_ += body_.empty() ? "" : ",";
    body_ += "\"";
    body_ += key;
    body_ += "\":";
    body_ += value;
    return *this;
  }
  JsonObject& text(const char* key, const std::wstring& value) { return raw(key, json_string(value)); }
  JsonObject& number(const char* key, long long value) { return raw(key, std::to_string(value)); }
  JsonObject& boolean(const char* key, bool value) { return raw(key, value ? "true" : "false"); }
  std::string str() const { return "{" + body_ + "}"; }

 private:
  std::string body_;
};

void emit(const std::string& line) {
  std::string out = line + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
}

std::string failure(const std::wstring& error) {
  return JsonObject().boolean("ok", false).text("error", error).str();
}

std::wstring windows_error_text(DWORD code) {
  wchar_t* buffer = nullptr;
  DWORD size = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                  FORMAT_MESSAGE_IGNORE_INSERTS,
                              nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = L"error " + std::to_wstring(code);
  if (size && buffer) {
    std::wstring message(buffer, size);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r')) message.pop_back();
    text += L": " + message;
  }
  if (buffer) LocalFree(buffer);
  return text;
}

// ---- arguments ----

struct Command {
  std::wstring name;
  std::vector<std::pair<std::wstring, std::wstring>> fields;

  const std::wstring* find(const wchar_t* key) const {
    for (const auto& [k, v] : fields)
      if (k == key) return &v;
    return nullptr;
  }
};

bool parse_number(const std::wstring& text, long long& value) {
  if (text.empty()) return false;
  wchar_t* end = nullptr;
  value = static_cast<long long>(std::wcstoull(text.c_str(), &end, 0));
  return end && *end == L'\0';
}

// A numeric field: absent gives `fallback`; present but malformed is an error.
bool number_field(const Command& command, const wchar_t* key, long long fallback, long long& value,
                  std::string& error) {
  const std::wstring* text = command.find(key);
  if (!text) {
    value = fallback;
    return true;
  }
  if (parse_number(*text, value)) return true;
  error = failure(std::wstring(L"bad number for ") + key + L": " + *text);
  return false;
}

bool window_field(const Command& command, HWND& hwnd, std::string& error) {
  long long value = 0;
  if (!command.find(L"hwnd")) {
    error = failure(L"hwnd= is required");
    return false;
  }
  if (!number_field(command, L"hwnd", 0, value, error)) return false;
  hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(value));
  if (!IsWindow(hwnd)) {
    error = failure(L"no such window: " + std::to_wstring(value));
    return false;
  }
  return true;
}

Command split_fields(const std::wstring& name, const std::vector<std::wstring>& parts) {
  Command command{name, {}};
  for (const auto& part : parts) {
    size_t equals = part.find(L'=');
    if (equals == std::wstring::npos)
      command.fields.emplace_back(part, L"");
    else
      command.fields.emplace_back(part.substr(0, equals), part.substr(equals + 1));
  }
  return command;
}

// ---- windows ----

std::wstring class_of(HWND hwnd) {
  wchar_t name[256] = {};
  GetClassNameW(hwnd, name, 256);
  return name;
}

// The text through WM_GETTEXT, which the owning process answers, as a user would read it.
bool text_of(HWND hwnd, std::wstring& text) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, message_timeout_ms, &length))
    return false;
  std::vector<wchar_t> buffer(length + 64);
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                           SMTO_ABORTIFHUNG, message_timeout_ms, &copied))
    return false;
  text.assign(buffer.data(), wcsnlen(buffer.data(), buffer.size()));
  return true;
}

std::string describe_window(HWND hwnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  std::wstring caption;
  bool readable = text_of(hwnd, caption);
  JsonObject object;
  object.number("hwnd", static_cast<long long>(reinterpret_cast<uintptr_t>(hwnd)))
      .text("class", class_of(hwnd))
      .text("caption", caption)
      .number("pid", pid)
      .boolean("visible", IsWindowVisible(hwnd) != 0);
  if (!readable) object.boolean("unreadable", true);
  return object.str();
}

struct WindowFilter {
  const std::wstring* caption = nullptr;
  const std::wstring* window_class = nullptr;
  long long pid = 0;
  bool visible_only = true;

  bool matches(HWND hwnd) const {
    if (visible_only && !IsWindowVisible(hwnd)) return false;
    if (pid) {
      DWORD owner = 0;
      GetWindowThreadProcessId(hwnd, &owner);
      if (owner != static_cast<DWORD>(pid)) return false;
    }
    if (window_class && class_of(hwnd) != *window_class) return false;
    if (caption) {
      std::wstring text;
      if (!text_of(hwnd, text) || text != *caption) return false;
    }
    return true;
  }
};

BOOL CALLBACK collect_window(HWND hwnd, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
  return TRUE;
}

std::vector<HWND> top_level_windows() {
  std::vector<HWND> found;
  EnumWindows(collect_window, reinterpret_cast<LPARAM>(&found));
  return found;
}

std::string window_list(const WindowFilter& filter) {
  std::string list = "[";
  for (HWND hwnd : top_level_windows()) {
    if (!IsWindow(hwnd) || !filter.matches(hwnd)) continue;
    list += list.size() > 1 ? "," : "";
    list += describe_window(hwnd);
  }
  return list + "]";
}

bool filter_fields(const Command& command, WindowFilter& filter, std::string& error) {
  filter.caption = command.find(L"caption");
  filter.window_class = command.find(L"class");
  long long visible = 1;
  if (!number_field(command, L"pid", 0, filter.pid, error)) return false;
  if (!number_field(command, L"visible", 1, visible, error)) return false;
  filter.visible_only = visible != 0;
  return true;
}

// ---- commands ----

std::string command_find(const Command& command) {
  std::string error;
  WindowFilter filter;
  long long timeout = 0;
  if (!filter_fields(command, filter, error) || !number_field(command, L"timeout", 0, timeout, error))
    return error;
  DWORD start = GetTickCount();
  for (;;) {
    for (HWND hwnd : top_level_windows())
      if (IsWindow(hwnd) && filter.matches(hwnd))
        return "{\"ok\":true,\"window\":" + describe_window(hwnd) + "}";
    if (GetTickCount() - start >= static_cast<DWORD>(timeout)) break;
    Sleep(poll_ms);
  }
  // What was there instead tells the reader more than "not found".
  WindowFilter visible;
  return JsonObject()
      .boolean("ok", false)
      .text("error", L"timeout")
      .raw("windows", window_list(visible))
      .str();
}

std::string command_windows(const Command& command) {
  std::string error;
  WindowFilter filter;
  if (!filter_fields(command, filter, error)) return error;
  return JsonObject().boolean("ok", true).raw("windows", window_list(filter)).str();
}

std::string command_controls(const Command& command) {
  std::string error;
  HWND hwnd = nullptr;
  if (!window_field(command, hwnd, error)) return error;
  std::vector<HWND> children;
  EnumChildWindows(hwnd, collect_window, reinterpret_cast<LPARAM>(&children));
  std::string list = "[";
  for (HWND child : children) {
    std::wstring text;
    if (!text_of(child, text)) {
      if (!IsWindow(hwnd)) return failure(L"window closed while reading it");
      continue;  // this control went away on its own
    }
    list += list.size() > 1 ? "," : "";
    list += JsonObject()
                .number("hwnd", static_cast<long long>(reinterpret_cast<uintptr_t>(child)))
                .number("id", GetDlgCtrlID(child))
                .text("class", class_of(child))
                .text("text", text)
                .boolean("visible", IsWindowVisible(child) != 0)
                .boolean("enabled", IsWindowEnabled(child) != 0)
                .str();
  }
  if (!IsWindow(hwnd)) return failure(L"window closed while reading it");
  return JsonObject().boolean("ok", true).raw("window", describe_window(hwnd)).raw("controls", list + "]").str();
}

// ---- layout ----

// Geometry is read per-monitor DPI aware: an unaware reader would get rectangles scaled
// to 96 DPI by the system. Looked up at run time, as older systems lack the calls.
class DpiAwareThread {
 public:
  DpiAwareThread() {
    HMODULE user = GetModuleHandleW(L"user32.dll");
    set_ = reinterpret_cast<SetContext>(reinterpret_cast<void*>(GetProcAddress(user, "SetThreadDpiAwarenessContext")));
    if (!set_) return;
    previous_ = set_(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    if (!previous_) previous_ = set_(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE);
  }
  ~DpiAwareThread() {
    if (previous_) set_(previous_);
  }
  DpiAwareThread(const DpiAwareThread&) = delete;
  DpiAwareThread& operator=(const DpiAwareThread&) = delete;

 private:
  using SetContext = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);
  SetContext set_ = nullptr;
  DPI_AWARENESS_CONTEXT previous_ = nullptr;
};

// The DPI the window sees; 0 where the system cannot say per window.
UINT window_dpi(HWND hwnd) {
  using GetDpi = UINT(WINAPI*)(HWND);
  auto get = reinterpret_cast<GetDpi>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  return get ? get(hwnd) : 0;
}

// Dialog base units as the dialog manager derives them from a font: the average width of
// the Latin letters and the full cell height.
SIZE base_units_of(HDC dc) {
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SIZE letters{};
  static const wchar_t alphabet[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  GetTextExtentPoint32W(dc, alphabet, 52, &letters);
  return {(letters.cx / 26 + 1) / 2, metrics.tmHeight};
}

std::string rect_json(const RECT& rect) {
  return "[" + std::to_string(rect.left) + "," + std::to_string(rect.top) + "," + std::to_string(rect.right) + "," +
         std::to_string(rect.bottom) + "]";
}

std::string size_json(long width, long height) {
  return JsonObject().number("width", width).number("height", height).str();
}

// Statics and buttons draw their text through DrawText; a static with SS_NOPREFIX shows
// "&" as it is, every other one hides it and underlines the next character.
bool draws_prefixes(const std::wstring& window_class, LONG style) {
  if (_wcsicmp(window_class.c_str(), L"Static") != 0) return true;
  return (style & SS_NOPREFIX) == 0;
}

// For each child: where it lies in the dialog's client area, and how much room its text
// needs in its own font: on one line, and wrapped at the width of its client area.
// A font handle belongs to the process that made it, so for another process's dialog the
// texts are measured with the font of the dialog's template, made again here from `face`
// and `points` ("font":"template"; "unknown" and unmeasured without) at `dpi`, by default
// the window's DPI. Wine answers GetDpiForWindow for another process's per-monitor aware
// window from what the caller knows, not always the DPI that window was made at.
std::string command_layout(const Command& command) {
  std::string error;
  HWND dialog = nullptr;
  if (!window_field(command, dialog, error)) return error;
  long long points = 0, font_dpi = 0;
  if (!number_field(command, L"points", 0, points, error) || !number_field(command, L"dpi", 0, font_dpi, error))
    return error;
  const std::wstring* face = command.find(L"face");
  if (face && points <= 0) return failure(L"face= needs points=");

  DpiAwareThread aware;
  HDC screen = GetDC(nullptr);
  const int device_dpi = GetDeviceCaps(screen, LOGPIXELSX);
  const UINT dpi = window_dpi(dialog);
  DWORD owner = 0;
  GetWindowThreadProcessId(dialog, &owner);
  const bool own_process = owner == GetCurrentProcessId();

  HFONT template_font = nullptr;
  if (face) {
    if (!font_dpi) font_dpi = dpi ? dpi : device_dpi;
    const int height = -MulDiv(static_cast<int>(points), static_cast<int>(font_dpi), 72);
    template_font = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_DONTCARE, face->c_str());
  }

  // The dialog's own units where the system tells another process (Wine does not); the
  // remade font's units beside them show whether the remade font is the dialog's.
  RECT units{0, 0, 4, 8};
  const bool mapped = MapDialogRect(dialog, &units) != FALSE;
  std::string font_units = "null";
  if (template_font) {
    HGDIOBJ previous = SelectObject(screen, template_font);
    const SIZE remade = base_units_of(screen);
    SelectObject(screen, previous);
    font_units = JsonObject().number("x", remade.cx).number("y", remade.cy).str();
  }

  RECT client{};
  GetClientRect(dialog, &client);
  std::vector<HWND> children;
  EnumChildWindows(dialog, collect_window, reinterpret_cast<LPARAM>(&children));
  std::string list = "[";
  for (HWND child : children) {
    std::wstring text;
    if (!text_of(child, text)) {
      if (!IsWindow(dialog)) break;
      continue;
    }
    const std::wstring window_class = class_of(child);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    RECT inside{};
    GetClientRect(child, &inside);

    HFONT measuring = template_font;
    const wchar_t* font_kind = template_font ? L"template" : L"unknown";
    if (own_process) {
      measuring = reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0));
      font_kind = measuring ? L"own" : L"system";
      if (!measuring) measuring = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    }

    JsonObject object;
    object.number("hwnd", static_cast<long long>(reinterpret_cast<uintptr_t>(child)))
        .number("id", GetDlgCtrlID(child))
        .text("class", window_class)
        .text("text", text)
        .boolean("visible", IsWindowVisible(child) != 0)
        .boolean("enabled", IsWindowEnabled(child) != 0)
        .number("style", static_cast<DWORD>(style))
        .number("exstyle", static_cast<DWORD>(GetWindowLongW(child, GWL_EXSTYLE)))
        .raw("rect", rect_json(rect))
        .raw("client", size_json(inside.right, inside.bottom))
        .text("font", font_kind);
    if (measuring) {
      HGDIOBJ previous = SelectObject(screen, measuring);
      const UINT prefix = draws_prefixes(window_class, style) ? 0 : DT_NOPREFIX;
      RECT line{0, 0, 0, 0};
      DrawTextW(screen, text.c_str(), static_cast<int>(text.size()), &line, DT_CALCRECT | DT_SINGLELINE | prefix);
      RECT wrapped{0, 0, inside.right, 0};
      DrawTextW(screen, text.c_str(), static_cast<int>(text.size()), &wrapped,
                DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | prefix);
      TEXTMETRICW metrics{};
      GetTextMetricsW(screen, &metrics);
      SelectObject(screen, previous);
      object.raw("line", size_json(line.right - line.left, line.bottom - line.top))
          .raw("wrapped", size_json(wrapped.right - wrapped.left, wrapped.bottom - wrapped.top))
          .number("line_height", metrics.tmHeight)
          .number("average_char_width", metrics.tmAveCharWidth);
    }
    list += list.size() > 1 ? "," : "";
    list += object.str();
  }
  if (template_font) DeleteObject(template_font);
  ReleaseDC(nullptr, screen);
  if (!IsWindow(dialog)) return failure(L"window closed while reading it");
  return JsonObject()
      .boolean("ok", true)
      .raw("window", describe_window(dialog))
      .raw("client", size_json(client.right, client.bottom))
      .number("dpi", dpi ? dpi : static_cast<UINT>(device_dpi))
      .number("device_dpi", device_dpi)
      .raw("base_units", mapped ? JsonObject().number("x", units.right).number("y", units.bottom).str() : "null")
      .raw("font_base_units", font_units)
      .raw("controls", list + "]")
      .str();
}

bool control_field(const Command& command, HWND window, HWND& control, std::string& error) {
  long long id = 0;
  if (!number_field(command, L"id", -1, id, error)) return false;
  if (id == -1 && !command.find(L"id")) {
    control = window;
    return true;
  }
  control = GetDlgItem(window, static_cast<int>(id));
  if (!control) {
    error = failure(L"no control with id " + std::to_wstring(id));
    return false;
  }
  return true;
}

std::string command_settext(const Command& command) {
  std::string error;
  HWND hwnd = nullptr;
  HWND target = nullptr;
  if (!window_field(command, hwnd, error) || !control_field(command, hwnd, target, error)) return error;
  const std::wstring* text = command.find(L"text");
  if (!text) return failure(L"text= is required");
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(target, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text->c_str()), SMTO_ABORTIFHUNG,
                           message_timeout_ms, &result))
    return failure(L"WM_SETTEXT failed: " + windows_error_text(GetLastError()));
  return JsonObject().boolean("ok", true).boolean("accepted", result != 0).str();
}

std::string command_press(const Command& command) {
  std::string error;
  HWND hwnd = nullptr;
  if (!window_field(command, hwnd, error)) return error;
  long long id = 0;
  if (!command.find(L"id")) return failure(L"id= is required");
  if (!number_field(command, L"id", 0, id, error)) return error;
  HWND button = GetDlgItem(hwnd, static_cast<int>(id));
  if (!button) return failure(L"no control with id " + std::to_wstring(id));
  // A user cannot press what is hidden or greyed out; neither may a test.
  if (!IsWindowVisible(button)) return failure(L"control " + std::to_wstring(id) + L" is hidden");
  if (!IsWindowEnabled(button)) return failure(L"control " + std::to_wstring(id) + L" is disabled");
  const std::wstring* how = command.find(L"how");
  BOOL posted = FALSE;
  // Posted, never sent: a press that opens a modal dialog must not block the driver.
  if (!how || *how == L"command") {
    posted = PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
                          reinterpret_cast<LPARAM>(button));
  } else if (*how == L"click") {
    posted = PostMessageW(button, BM_CLICK, 0, 0);
  } else {
    return failure(L"how= must be command or click");
  }
  if (!posted) return failure(L"PostMessage failed: " + windows_error_text(GetLastError()));
  return JsonObject().boolean("ok", true).str();
}

// Chooses a list box entry as a click on it does: the selection moves and the owner hears
// LBN_SELCHANGE (a list box tells its owner only of changes made by the user).
std::string command_select(const Command& command) {
  std::string error;
  HWND hwnd = nullptr;
  long long id = 0, index = 0;
  if (!window_field(command, hwnd, error)) return error;
  if (!command.find(L"id") || !command.find(L"index")) return failure(L"id= and index= are required");
  if (!number_field(command, L"id", 0, id, error) || !number_field(command, L"index", 0, index, error)) return error;
  HWND list = GetDlgItem(hwnd, static_cast<int>(id));
  if (!list) return failure(L"no control with id " + std::to_wstring(id));
  if (!IsWindowVisible(list)) return failure(L"control " + std::to_wstring(id) + L" is hidden");
  if (!IsWindowEnabled(list)) return failure(L"control " + std::to_wstring(id) + L" is disabled");
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0, SMTO_ABORTIFHUNG, message_timeout_ms,
                           &result))
    return failure(L"LB_SETCURSEL failed: " + windows_error_text(GetLastError()));
  if (static_cast<LRESULT>(result) == LB_ERR) return failure(L"no entry " + std::to_wstring(index));
  if (!PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), LBN_SELCHANGE), reinterpret_cast<LPARAM>(list)))
    return failure(L"PostMessage failed: " + windows_error_text(GetLastError()));
  return JsonObject().boolean("ok", true).str();
}

std::string command_close(const Command& command) {
  std::string error;
  HWND hwnd = nullptr;
  if (!window_field(command, hwnd, error)) return error;
  if (!PostMessageW(hwnd, WM_CLOSE, 0, 0))
    return failure(L"PostMessage failed: " + windows_error_text(GetLastError()));
  return JsonObject().boolean("ok", true).str();
}

std::string command_gone(const Command& command) {
  std::string error;
  long long value = 0;
  long long timeout = 0;
  if (!number_field(command, L"hwnd", 0, value, error) || !number_field(command, L"timeout", 0, timeout, error))
    return error;
  HWND hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(value));
  DWORD start = GetTickCount();
  while (IsWindow(hwnd)) {
    if (GetTickCount() - start >= static_cast<DWORD>(timeout)) return failure(L"timeout");
    Sleep(poll_ms);
  }
  return JsonObject().boolean("ok", true).str();
}

// Whether a process still runs, and ending one: the harness's view of programs whose
// Unix side it cannot see.
std::string command_process(const Command& command, bool terminate) {
  std::string error;
  long long pid = 0;
  if (!number_field(command, L"pid", 0, pid, error)) return error;
  DWORD access = PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE | (terminate ? PROCESS_TERMINATE : 0);
  HANDLE process = OpenProcess(access, FALSE, static_cast<DWORD>(pid));
  if (!process) return JsonObject().boolean("ok", true).boolean("running", false).str();
  bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  if (running && terminate) {
    TerminateProcess(process, 1);
    running = WaitForSingleObject(process, message_timeout_ms) == WAIT_TIMEOUT;
  }
  CloseHandle(process);
  return JsonObject().boolean("ok", true).boolean("running", running).str();
}

// The clipboard's text, as a program that pastes it gets it (CF_UNICODETEXT, which
// Windows also makes from a CF_TEXT that another program put there).
std::string command_clipboard(const Command&) {
  // The program that just copied may still hold it open for a moment.
  bool opened = false;
  for (DWORD start = GetTickCount(); !(opened = OpenClipboard(nullptr)) && GetTickCount() - start < message_timeout_ms;)
    Sleep(poll_ms);
  if (!opened) return failure(L"OpenClipboard failed: " + windows_error_text(GetLastError()));
  std::wstring text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
      text = chars;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return JsonObject().boolean("ok", true).text("text", text).str();
}

std::string run_command(const Command& command) {
  if (command.name == L"find") return command_find(command);
  if (command.name == L"windows") return command_windows(command);
  if (command.name == L"controls") return command_controls(command);
  if (command.name == L"settext") return command_settext(command);
  if (command.name == L"press") return command_press(command);
  if (command.name == L"select") return command_select(command);
  if (command.name == L"layout") return command_layout(command);
  if (command.name == L"close") return command_close(command);
  if (command.name == L"clipboard") return command_clipboard(command);
  if (command.name == L"gone") return command_gone(command);
  if (command.name == L"process") return command_process(command, false);
  if (command.name == L"kill") return command_process(command, true);
  if (command.name == L"ping") return JsonObject().boolean("ok", true).number("pid", GetCurrentProcessId()).str();
  return failure(L"unknown command: " + command.name);
}

// ---- serve mode ----

std::vector<std::wstring> unescape_fields(const std::string& line) {
  std::vector<std::wstring> fields;
  std::string field;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '\t') {
      fields.push_back(from_utf8(field));
      field.clear();
    } else if (c == '\\' && i + 1 < line.size()) {
      char next = line[++i];
      field += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    } else {
      field += c;
    }
  }
  fields.push_back(from_utf8(field));
  return fields;
}

int serve() {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  std::string pending;
  char buffer[4096];
  emit(JsonObject().boolean("ok", true).text("ready", L"uidriver").number("pid", GetCurrentProcessId()).str());
  for (;;) {
    size_t newline;
    while ((newline = pending.find('\n')) == std::string::npos) {
      DWORD got = 0;
      if (!ReadFile(input, buffer, sizeof buffer, &got, nullptr) || got == 0) return 0;
      pending.append(buffer, got);
    }
    std::string line = pending.substr(0, newline);
    pending.erase(0, newline + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::vector<std::wstring> fields = unescape_fields(line);
    std::wstring name = fields.front();
    if (name == L"quit") return 0;
    fields.erase(fields.begin());
    emit(run_command(split_fields(name, fields)));
  }
}

// ---- launch ----

bool from_hex(const std::wstring& hex, std::wstring& text) {
  if (hex.size() % 4) return false;
  text.clear();
  for (size_t i = 0; i < hex.size(); i += 4) {
    // UTF-16LE: two bytes, low first.
    unsigned value = 0;
    for (size_t j = 0; j < 4; ++j) {
      wchar_t c = hex[i + j];
      unsigned digit = c >= L'0' && c <= L'9'   ? c - L'0'
                       : c >= L'a' && c <= L'f' ? c - L'a' + 10
                       : c >= L'A' && c <= L'F' ? c - L'A' + 10
                                                : 16;
      if (digit > 15) return false;
      value = value * 16 + digit;
    }
    text += static_cast<wchar_t>(((value & 0xFF) << 8) | (value >> 8));
  }
  return true;
}

// Runs the program in a job that dies with this process, so that killing the launcher
// from outside also ends the program. A program that ends normally leaves its own
// children running, as it would on Windows.
int launch(const std::wstring& timeout_text, const std::wstring& hex) {
  long long timeout = 0;
  std::wstring command_line;
  if (!parse_number(timeout_text, timeout) || !from_hex(hex, command_line) || command_line.empty()) {
    emit(JsonObject().text("event", L"error").text("error", L"usage: launch TIMEOUT_MS HEX").str());
    return 127;
  }
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (job) SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::vector<wchar_t> writable(command_line.begin(), command_line.end());
  writable.push_back(L'\0');
  // Wine now and then fails a process start with ERROR_INTERNAL_ERROR when the new
  // process dies during its own start-up, before any code of ours runs; a second try
  // starts it. Any other failure is the test's to see.
  bool started = false;
  DWORD error = 0;
  for (int attempt = 0; attempt < 3 && !started; ++attempt) {
    if (attempt > 0) Sleep(200);
    started = CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                             &startup, &process);
    error = started ? 0 : GetLastError();
    if (error != ERROR_INTERNAL_ERROR) break;
  }
  if (!started) {
    emit(JsonObject()
             .text("event", L"error")
             .text("error", L"CreateProcess failed: " + windows_error_text(error))
             .str());
    return 127;
  }
  bool in_job = job && AssignProcessToJobObject(job, process.hProcess);
  ResumeThread(process.hThread);
  CloseHandle(process.hThread);
  emit(JsonObject()
           .text("event", L"started")
           .number("pid", process.dwProcessId)
           .boolean("job", in_job)
           .str());

  DWORD wait = WaitForSingleObject(process.hProcess, timeout > 0 ? static_cast<DWORD>(timeout) : INFINITE);
  if (wait != WAIT_OBJECT_0) {
    if (in_job) TerminateJobObject(job, 1);
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 5000);
    emit(JsonObject().text("event", L"timeout").number("pid", process.dwProcessId).str());
    return 124;
  }
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  if (in_job) {
    limits.BasicLimitInformation.LimitFlags = 0;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  }
  emit(JsonObject().text("event", L"exited").number("code", code).str());
  return static_cast<int>(code);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    emit(failure(L"usage: uidriver serve | launch TIMEOUT_MS HEX | COMMAND key=value ..."));
    return 2;
  }
  std::wstring name = argv[1];
  if (name == L"serve") return serve();
  if (name == L"launch") return argc == 4 ? launch(argv[2], argv[3]) : launch(L"", L"");
  std::vector<std::wstring> parts(argv + 2, argv + argc);
  std::string answer = run_command(split_fields(name, parts));
  emit(answer);
  return answer.rfind("{\"ok\":true", 0) == 0 ? 0 : 1;
}
