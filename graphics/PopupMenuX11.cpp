// The Linux editor's popup menu: a modal, override-redirect window with
// its own event loop.
#include "graphics/IGraphicsX11.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "graphics/X11Internal.h"  // last: the X headers

using namespace x11_detail;

namespace {

// A tick in the box at (x, y), 10 pixels wide.
void DrawCheckMark(LICE_IBitmap* bitmap, int x, int y, PackedPixel color) {
  for (int i = 0; i < 3; ++i) FillBitmapRect(bitmap, x + i, y + 4 + i, 2, 2, color, 1.0f, BlendCopy);
  for (int i = 0; i < 6; ++i) FillBitmapRect(bitmap, x + 3 + i, y + 5 - i, 2, 2, color, 1.0f, BlendCopy);
}

}  // namespace

PopupMenu* IGraphicsX11::RunPopupMenu(PopupMenu& menu, const PixelRect& logicalRect) {
  DropMouseCapture();
  const PixelRect rect = ToWindowRect(logicalRect);
  if (mWindow == 0) return nullptr;
  Display* display = D(mDisplay);
  // The menu takes the pointer from the press that opened it.
  if (mGrabbed) UngrabPointer(CurrentTime);
  const std::vector<PopupMenuEntry> entries = menu.Entries();
  if (entries.empty()) return nullptr;

  // Submenus are shown in place, their items indented under their title.
  // The menu's text at the editor's scale, like the editor's own.
  TextStyle style = DialogStyle();
  style.size = ScaledTextSize(style.size);
  LICE_IFont* font = FontFor(style);
  const int rowHeight = std::max(font != nullptr ? font->LineHeight() + 6 : 0, 20);
  const int separatorHeight = 7;
  const int checkColumn = 20;
  const int indentStep = 14;
  struct Row {
    int top;
    int bottom;
    bool selectable;
  };
  std::vector<Row> rows;
  int width = 120, height = 2;
  for (const PopupMenuEntry& entry : entries) {
    const bool separator = (entry.flags & PopupMenuItem::kSeparator) != 0;
    const int h = separator ? separatorHeight : rowHeight;
    const bool selectable = !separator && !entry.opensSubmenu &&
                            (entry.flags & (PopupMenuItem::kGrayed | PopupMenuItem::kDisabled)) == 0;
    rows.push_back(Row{height, height + h, selectable});
    height += h;
    if (!separator)
      width = std::max(width, checkColumn + entry.depth * indentStep + TextWidth(font, entry.label) + 24);
  }
  height += 2;
  const int screen = DefaultScreen(display);
  const Window root = RootWindow(display, screen);
  width = std::min(width, DisplayWidth(display, screen));
  height = std::min(height, DisplayHeight(display, screen));
  int x = 0, y = 0, topY = 0;
  Window child = 0;
  XTranslateCoordinates(display, mWindow, root, rect.left, rect.bottom, &x, &y, &child);
  XTranslateCoordinates(display, mWindow, root, rect.left, rect.top, &x, &topY, &child);
  if (x + width > DisplayWidth(display, screen)) x = DisplayWidth(display, screen) - width;
  if (y + height > DisplayHeight(display, screen)) y = topY - height;  // above the rectangle instead
  x = std::max(x, 0);
  y = std::max(y, 0);

  XSetWindowAttributes wa;
  std::memset(&wa, 0, sizeof wa);
  wa.override_redirect = True;
  wa.save_under = True;
  wa.background_pixmap = 0;
  wa.border_pixel = BlackPixel(display, screen);
  wa.event_mask = ExposureMask | kGrabEvents | KeyPressMask | StructureNotifyMask;
  const Window popup = XCreateWindow(display, root, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height), 1,
                                     CopyFromParent, InputOutput, CopyFromParent,
                                     CWOverrideRedirect | CWSaveUnder | CWBackPixmap | CWBorderPixel | CWEventMask, &wa);
  GC gc = XCreateGC(display, popup, 0, nullptr);
  Visual* visual = DefaultVisual(display, screen);
  const int depth = DefaultDepth(display, screen);
  XMapRaised(display, popup);

  // The grab needs the window on screen; a pointer that stays grabbed by
  // someone else gives up after a second instead of waiting forever.
  bool grabbed = false;
  for (const int64_t until = NowMs() + 1000; !grabbed && NowMs() < until;) {
    grabbed = XGrabPointer(display, popup, False, kGrabEvents, GrabModeAsync, GrabModeAsync, 0, 0, CurrentTime) ==
              GrabSuccess;
    if (!grabbed) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  bool keyboard = false;
  for (int tries = 0; grabbed && !keyboard && tries < 20; ++tries) {
    keyboard = XGrabKeyboard(display, popup, False, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
    if (!keyboard) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

  int hot = -1;
  LICE_MemBitmap pixels(width, height);
  std::vector<uint32_t> buffer;
  auto draw = [&]() {
    if (pixels.PixelBuffer() == nullptr) return;
    Fill(&pixels, PixelRect{0, 0, width, height}, kPanel);
    for (size_t i = 0; i < entries.size(); ++i) {
      const PopupMenuEntry& entry = entries[i];
      const Row& row = rows[i];
      if (entry.flags & PopupMenuItem::kSeparator) {
        Fill(&pixels, PixelRect{4, (row.top + row.bottom) / 2, width - 4, (row.top + row.bottom) / 2 + 1}, kFrame);
        continue;
      }
      const bool lit = static_cast<int>(i) == hot;
      if (lit) Fill(&pixels, PixelRect{1, row.top, width - 1, row.bottom}, kHighlight);
      const PackedPixel ink = lit ? kHighlightInk : (entry.flags & PopupMenuItem::kGrayed) ? kGreyInk : kInk;
      const int left = 4 + entry.depth * indentStep;
      if (entry.flags & PopupMenuItem::kChecked)
        DrawCheckMark(&pixels, left + 2, (row.top + row.bottom) / 2 - 5, ink);
      DrawLabel(font, &pixels, entry.label, PixelRect{left + checkColumn, row.top, width - 4, row.bottom},
                DrawTextNoClip, ink);
    }
    PutPixels(display, popup, gc, visual, depth, &pixels, PixelRect{0, 0, width, height}, 0, 0, buffer);
    XFlush(display);
  };
  auto rowAt = [&](int px, int py) {
    if (px < 0 || px >= width) return -1;
    for (size_t i = 0; i < rows.size(); ++i)
      if (py >= rows[i].top && py < rows[i].bottom) return static_cast<int>(i);
    return -1;
  };
  auto moveHot = [&](int step) {
    const int n = static_cast<int>(rows.size());
    int i = hot >= 0 ? hot : (step > 0 ? -1 : n);
    for (int k = 0; k < n; ++k) {
      i = (i + step + n) % n;
      if (rows[static_cast<size_t>(i)].selectable) {
        hot = i;
        return;
      }
    }
  };

  int chosen = -1;
  bool editorGone = false;
  bool pressedInside = false;
  bool done = !grabbed;
  if (!done) draw();
  while (!done) {
    if (XPending(display) == 0) {
      WaitForEvents(display, kModalWaitMs);
      continue;
    }
    XEvent e;
    XNextEvent(display, &e);
    if (e.xany.window == mWindow) {
      if (e.type == Expose) {
        PresentArea(PixelRect{e.xexpose.x, e.xexpose.y, e.xexpose.x + e.xexpose.width, e.xexpose.y + e.xexpose.height});
      } else if (e.type == DestroyNotify && e.xdestroywindow.window == mWindow) {
        editorGone = true;
        done = true;
      }
      continue;
    }
    if (e.xany.window != popup) continue;
    switch (e.type) {
      case Expose:
        if (e.xexpose.count == 0) draw();
        break;
      case MotionNotify: {
        const int row = rowAt(e.xmotion.x, e.xmotion.y);
        const int lit = row >= 0 && rows[static_cast<size_t>(row)].selectable ? row : -1;
        if (lit != hot) {
          hot = lit;
          draw();
        }
        break;
      }
      case ButtonPress:
        if (e.xbutton.button == Button4 || e.xbutton.button == Button5) break;
        if (e.xbutton.x < 0 || e.xbutton.y < 0 || e.xbutton.x >= width || e.xbutton.y >= height) {
          done = true;  // a press outside dismisses the menu
        } else {
          pressedInside = true;
        }
        break;
      case ButtonRelease: {
        if (!pressedInside || e.xbutton.button == Button4 || e.xbutton.button == Button5) break;
        const int row = rowAt(e.xbutton.x, e.xbutton.y);
        if (row >= 0 && rows[static_cast<size_t>(row)].selectable) {
          chosen = entries[static_cast<size_t>(row)].command;
          done = true;
        }
        break;
      }
      case KeyPress: {
        const KeySym sym = XLookupKeysym(&e.xkey, 0);
        if (sym == XK_Escape) {
          done = true;
        } else if (sym == XK_Down || sym == XK_Up) {
          moveHot(sym == XK_Down ? 1 : -1);
          draw();
        } else if ((sym == XK_Return || sym == XK_KP_Enter) && hot >= 0) {
          chosen = entries[static_cast<size_t>(hot)].command;
          done = true;
        }
        break;
      }
      default:
        break;
    }
  }
  if (keyboard) XUngrabKeyboard(display, CurrentTime);
  if (grabbed) XUngrabPointer(display, CurrentTime);
  XFreeGC(display, gc);
  XDestroyWindow(display, popup);
  XFlush(display);
  mLastPressTime = 0;
  if (editorGone) {
    WindowDestroyedByOthers();
    return nullptr;
  }
  mRepaintAll = true;
  if (chosen < 0) return nullptr;
  int position = -1;
  PopupMenu* owner = menu.FindCommand(chosen, &position);
  if (owner != nullptr) owner->SetChosenIndex(position);
  return owner;
}

