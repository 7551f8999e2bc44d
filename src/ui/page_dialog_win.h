#pragma once
// What every wizard page shares: the dialog made from its resource, the common set-up
// (close enabled, small icon, centred, texts, caption, side picture or banner), the
// pictures painted over their controls, and OK and Cancel ending the page.

#include <windows.h>

#include <string>
#include <string_view>

#include "ui/page_rules.h"
#include "ui/user_interface_win.h"

namespace halvard {

// Brings a dialog to the middle of the screen, never beyond its edges.
void centre_on_screen(HWND window);

class PageDialog {
 public:
  // `title`: the message that names the page (caption, banner title); -1 none.
  PageDialog(UserInterface& ui, std::string_view resource, PageStyle style, int title);
  virtual ~PageDialog();
  PageDialog(const PageDialog&) = delete;
  PageDialog& operator=(const PageDialog&) = delete;

  // Shows the page modally over the boxes' owner; the control that ended it (PAGE_OK,
  // PAGE_CANCEL, ...), or -1 when the dialog could not be made.
  INT_PTR run();
  // Makes the page modeless and shows it; null when it could not be made.
  HWND open();

 protected:
  // Sets the page's control texts; called at set-up and when the language changes.
  virtual void set_texts(HWND dialog) = 0;
  // Further set-up after the texts and the header.
  virtual void prepare(HWND) {}
  // A command the page handles itself; false leaves OK and Cancel to end the page.
  virtual bool command(HWND, int /*control*/, int /*code*/) { return false; }
  // Any other message the page answers; false: not handled.
  virtual bool handle(HWND, UINT, WPARAM, LPARAM, INT_PTR& /*result*/) { return false; }
  // What closing the window (or Esc) means: the Cancel button by default.
  virtual void closed(HWND dialog);
  // Where the page goes: the middle of the screen by default.
  virtual void place(HWND dialog) { centre_on_screen(dialog); }

  // The caption and the banner's texts, again after a change of language.
  void set_header(HWND dialog);
  void end(HWND dialog, INT_PTR result);
  std::string text(int n) const { return ui_.text(n); }

  UserInterface& ui_;
  const PageStyle style_;
  // The password and must-uninstall pages only take the icon, centre and their caption.
  bool wizard_set_up_ = true;
  int caption_ = -1;  // the caption's message where it is not the page's usual one

 private:
  static INT_PTR CALLBACK procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR dispatch(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
  void set_up(HWND dialog);
  bool draw(const DRAWITEMSTRUCT& item);

  std::wstring resource_;
  const int title_;
  bool modeless_ = false;
  HBITMAP picture_ = nullptr;  // side picture or banner
  HFONT bold_font_ = nullptr;  // the banner's product line
};

}  // namespace halvard
