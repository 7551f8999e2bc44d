#include "ui/page_dialog_win.h"

#include <algorithm>

#include "foundation/file.h"
#include "package/message_numbers.h"
#include "ui/page_controls.h"

namespace halvard {

namespace {

RECT control_rect(HWND dialog, int control) {
  RECT rect{};
  HWND item = GetDlgItem(dialog, control);
  if (!item) return rect;
  GetWindowRect(item, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// Owner-drawn statics paint their whole rectangle themselves, so the banner's texts can
// lie over its picture whatever order the controls paint in.
void make_owner_drawn(HWND dialog, int control) {
  HWND item = GetDlgItem(dialog, control);
  if (!item) return;
  LONG_PTR style = GetWindowLongPtrW(item, GWL_STYLE);
  SetWindowLongPtrW(item, GWL_STYLE, (style & ~LONG_PTR(SS_TYPEMASK)) | SS_OWNERDRAW);
}

// Paints the part of `picture` that lies under `part` when the whole picture is stretched
// over `whole` (both in the same coordinates), at `target` in `dc`.
void paint_picture_part(HDC dc, HBITMAP picture, const RECT& whole, const RECT& part, const RECT& target) {
  BITMAP info{};
  if (!picture || !GetObjectW(picture, sizeof info, &info)) return;
  const int whole_width = std::max<LONG>(1, whole.right - whole.left);
  const int whole_height = std::max<LONG>(1, whole.bottom - whole.top);
  const int source_left = MulDiv(part.left - whole.left, info.bmWidth, whole_width);
  const int source_top = MulDiv(part.top - whole.top, info.bmHeight, whole_height);
  const int source_width = MulDiv(part.right - part.left, info.bmWidth, whole_width);
  const int source_height = MulDiv(part.bottom - part.top, info.bmHeight, whole_height);
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ previous = SelectObject(memory, picture);
  SetStretchBltMode(dc, HALFTONE);
  SetBrushOrgEx(dc, 0, 0, nullptr);
  StretchBlt(dc, target.left, target.top, target.right - target.left, target.bottom - target.top, memory, source_left,
             source_top, std::max(1, source_width), std::max(1, source_height), SRCCOPY);
  SelectObject(memory, previous);
  DeleteDC(memory);
}

// The pictures are run-length compressed to keep the engine small, which a DIB section
// cannot hold: they load as bitmaps of the screen's format.
HBITMAP load_picture(HINSTANCE instance, int id) {
  return static_cast<HBITMAP>(LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
}

std::wstring window_text(HWND window) {
  std::wstring text(size_t(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(size_t(GetWindowTextW(window, text.data(), int(text.size()))));
  return text;
}

}  // namespace

void centre_on_screen(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left, height = rect.bottom - rect.top;
  const int screen_width = GetSystemMetrics(SM_CXSCREEN), screen_height = GetSystemMetrics(SM_CYSCREEN);
  const int left = std::max(0, (screen_width - width) / 2), top = std::max(0, (screen_height - height) / 2);
  SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

PageDialog::PageDialog(UserInterface& ui, std::string_view resource, PageStyle style, int title)
    : ui_(ui), style_(style), resource_(resource.begin(), resource.end()), title_(title) {}

PageDialog::~PageDialog() {
  if (picture_) DeleteObject(picture_);
  if (bold_font_) DeleteObject(bold_font_);
}

INT_PTR PageDialog::run() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  INT_PTR result = DialogBoxParamW(instance, resource_.c_str(), ui_.owner(), procedure, reinterpret_cast<LPARAM>(this));
  if (result == -1 && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED) {
    const std::string narrow(resource_.begin(), resource_.end());
    result = DialogBoxParamA(instance, narrow.c_str(), ui_.owner(), procedure, reinterpret_cast<LPARAM>(this));
  }
  return result;
}

HWND PageDialog::open() {
  modeless_ = true;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  HWND dialog = CreateDialogParamW(instance, resource_.c_str(), ui_.owner(), procedure, reinterpret_cast<LPARAM>(this));
  if (!dialog && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED) {
    const std::string narrow(resource_.begin(), resource_.end());
    dialog = CreateDialogParamA(instance, narrow.c_str(), ui_.owner(), procedure, reinterpret_cast<LPARAM>(this));
  }
  if (dialog) ShowWindow(dialog, SW_SHOW);
  return dialog;
}

void PageDialog::end(HWND dialog, INT_PTR result) {
  if (modeless_)
    DestroyWindow(dialog);
  else
    EndDialog(dialog, result);
}

void PageDialog::closed(HWND dialog) {
  HWND cancel = GetDlgItem(dialog, PAGE_CANCEL);
  if (cancel && IsWindowEnabled(cancel)) end(dialog, PAGE_CANCEL);
}

void PageDialog::set_header(HWND dialog) {
  if (!wizard_set_up_) {
    if (caption_ >= 0) set_window_text(dialog, text(caption_));
    return;
  }
  const std::string title = title_ >= 0 ? text(title_) : std::string();
  if (caption_ >= 0)
    set_window_text(dialog, text(caption_));
  else
    set_window_text(dialog, style_ == PageStyle::banner ? text(message_number::greeting_title) : title);
  if (style_ == PageStyle::banner) {
    set_item_text(dialog, PAGE_BANNER_PRODUCT, ui_.settings().InstallingText);
    set_item_text(dialog, PAGE_BANNER_TITLE, title);
  }
  InvalidateRect(dialog, nullptr, TRUE);
}

void PageDialog::set_up(HWND dialog) {
  if (HICON icon = ui_.small_icon()) SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  if (!wizard_set_up_) {
    centre_on_screen(dialog);
    set_texts(dialog);
    set_header(dialog);
    prepare(dialog);
    return;
  }
  EnableMenuItem(GetSystemMenu(dialog, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_ENABLED);
  place(dialog);
  set_texts(dialog);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  if (style_ == PageStyle::side_picture) {
    picture_ = load_picture(instance, SIDE_PICTURE_BITMAP);
    make_owner_drawn(dialog, PAGE_SIDE_PICTURE);
    if (HWND frame = GetDlgItem(dialog, PAGE_SIDE_PICTURE)) {
      LONG_PTR style = GetWindowLongPtrW(frame, GWL_STYLE) & ~LONG_PTR(WS_BORDER);
      LONG_PTR extended = GetWindowLongPtrW(frame, GWL_EXSTYLE) & ~LONG_PTR(WS_EX_CLIENTEDGE);
      if (ui_.settings().SidePictureFrame == 1) extended |= WS_EX_CLIENTEDGE;
      if (ui_.settings().SidePictureFrame == 2) style |= WS_BORDER;
      SetWindowLongPtrW(frame, GWL_STYLE, style);
      SetWindowLongPtrW(frame, GWL_EXSTYLE, extended);
      SetWindowPos(frame, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    }
  } else if (style_ == PageStyle::banner) {
    picture_ = load_picture(instance, BANNER_PICTURE_BITMAP);
    for (int control : {PAGE_BANNER, PAGE_BANNER_PRODUCT, PAGE_BANNER_TITLE}) make_owner_drawn(dialog, control);
    if (HWND product = GetDlgItem(dialog, PAGE_BANNER_PRODUCT)) {
      LOGFONTW font{};
      HFONT dialog_font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
      if (dialog_font && GetObjectW(dialog_font, sizeof font, &font)) {
        font.lfWeight = FW_BOLD;
        bold_font_ = CreateFontIndirectW(&font);
        if (bold_font_) SendMessageW(product, WM_SETFONT, reinterpret_cast<WPARAM>(bold_font_), FALSE);
      }
    }
  }
  set_header(dialog);
  prepare(dialog);
}

bool PageDialog::draw(const DRAWITEMSTRUCT& item) {
  const int control = int(item.CtlID);
  HWND dialog = GetParent(item.hwndItem);
  if (control == PAGE_SIDE_PICTURE) {
    paint_picture_part(item.hDC, picture_, item.rcItem, item.rcItem, item.rcItem);
    return true;
  }
  if (control != PAGE_BANNER && control != PAGE_BANNER_PRODUCT && control != PAGE_BANNER_TITLE) return false;
  const RECT banner = control_rect(dialog, PAGE_BANNER);
  const RECT part = control_rect(dialog, control);
  paint_picture_part(item.hDC, picture_, banner, part, item.rcItem);
  if (control == PAGE_BANNER) return true;
  // The banner's texts are black over the picture.
  RECT bounds = item.rcItem;
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0));
  HGDIOBJ previous = font ? SelectObject(item.hDC, font) : nullptr;
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, RGB(0, 0, 0));
  const std::wstring label = window_text(item.hwndItem);
  DrawTextW(item.hDC, label.c_str(), int(label.size()), &bounds, DT_LEFT | DT_NOPREFIX | DT_WORDBREAK);
  if (previous) SelectObject(item.hDC, previous);
  return true;
}

INT_PTR CALLBACK PageDialog::procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) SetWindowLongPtrW(dialog, DWLP_USER, lparam);
  auto* page = reinterpret_cast<PageDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
  return page ? page->dispatch(dialog, message, wparam, lparam) : FALSE;
}

INT_PTR PageDialog::dispatch(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  INT_PTR result = 0;
  switch (message) {
    case WM_INITDIALOG:
      set_up(dialog);
      return TRUE;
    case WM_DRAWITEM:
      if (draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam))) return TRUE;
      break;
    case WM_COMMAND: {
      const int control = LOWORD(wparam), code = HIWORD(wparam);
      if (command(dialog, control, code)) return TRUE;
      if (control == PAGE_OK || control == PAGE_CANCEL) {
        end(dialog, control);
        return TRUE;
      }
      if (control == IDCANCEL) {
        closed(dialog);
        return TRUE;
      }
      // Enter where no button is the default.
      if (control == IDOK) {
        HWND ok = GetDlgItem(dialog, PAGE_OK);
        if (ok && IsWindowEnabled(ok)) SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(PAGE_OK, BN_CLICKED), LPARAM(ok));
        return TRUE;
      }
      break;
    }
    default:
      break;
  }
  return handle(dialog, message, wparam, lparam, result) ? result : FALSE;
}

}  // namespace halvard
