#pragma once
// The background window: a borderless window over the desktop's work area behind the
// pages, showing the product's colours, picture, title and copyright line. Its text is
// what the taskbar shows, and it owns the pages and the message boxes.

#include <windows.h>

#include "package/install_settings.h"

namespace halvard {

// Registers the window class (once), creates, shows and activates the window. The
// window reads `settings` whenever it paints, so a change of language shows after a
// redraw; `settings` must outlive the window. When no window can be made at all, the
// program ends through the fatal-error path.
HWND create_background_window(const InstallSettings& settings, HINSTANCE instance, bool start_minimized);

// Paints the whole window anew, background included (after a change of language).
void redraw_background_window(HWND window);

// Minimizes the window, then destroys it.
void close_background_window(HWND window);

}  // namespace halvard
