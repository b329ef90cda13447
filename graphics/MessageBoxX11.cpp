// The Linux editor's message box: a modal dialog window with its own event
// loop, buttons and answers as on Windows.
#include "graphics/IGraphicsX11.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/X11Internal.h"  // last: the X headers

using namespace x11_detail;

namespace {

void Frame(LICE_IBitmap* bitmap, const PixelRect& r, PackedPixel color, int thickness) {
  const int w = r.right - r.left, h = r.bottom - r.top;
  FillBitmapRect(bitmap, r.left, r.top, w, thickness, color, 1.0f, BlendCopy);
  FillBitmapRect(bitmap, r.left, r.bottom - thickness, w, thickness, color, 1.0f, BlendCopy);
  FillBitmapRect(bitmap, r.left, r.top, thickness, h, color, 1.0f, BlendCopy);
  FillBitmapRect(bitmap, r.right - thickness, r.top, thickness, h, color, 1.0f, BlendCopy);
}

// Lines of a message: tabs become spaces up to the next multiple of eight.
std::vector<std::string> MessageLines(const char* text) {
  std::vector<std::string> lines(1);
  for (const char* c = text != nullptr ? text : ""; *c != '\0'; ++c) {
    if (*c == '\r') continue;
    if (*c == '\n') {
      lines.emplace_back();
    } else if (*c == '\t') {
      do lines.back().push_back(' ');
      while (lines.back().size() % 8 != 0);
    } else {
      lines.back().push_back(*c);
    }
  }
  return lines;
}

bool HasProperty(Display* display, Window window, Atom property) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, property, 0, 0, False, AnyPropertyType, &type, &format, &count, &after,
                         &data) != Success)
    return false;
  if (data != nullptr) XFree(data);
  return type != 0;
}

void SetUtf8Property(Display* display, Window window, const char* name, const char* value) {
  const Atom property = XInternAtom(display, name, False);
  const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  XChangeProperty(display, window, property, utf8, 8, PropModeReplace, reinterpret_cast<const unsigned char*>(value),
                  static_cast<int>(std::strlen(value)));
}

void SetWindowType(Display* display, Window window, const char* type) {
  const Atom property = XInternAtom(display, "_NET_WM_WINDOW_TYPE", False);
  const Atom value = XInternAtom(display, type, False);
  XChangeProperty(display, window, property, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&value), 1);
}

}  // namespace

unsigned long IGraphicsX11::MessageOwner() {
  // The host's top-level window: the first ancestor a window manager
  // manages (it carries WM_STATE), else the last one below the root.
  if (mDisplay == nullptr || mParent == 0) return 0;
  Display* display = D(mDisplay);
  const Atom wmState = XInternAtom(display, "WM_STATE", True);
  Window window = mParent;
  for (int depth = 0; depth < 64; ++depth) {
    if (wmState != 0 && HasProperty(display, window, wmState)) return window;
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count) == 0) return 0;
    if (children != nullptr) XFree(children);
    if (parent == 0 || parent == root) return window;
    window = parent;
  }
  return window;
}

int IGraphicsX11::ShowMessage(const char* text, const char* caption, int type) {
  if (mDisplay != nullptr) return RunMessageBox(mDisplay, text, caption, type);
  // No editor open: a connection for the box alone.
  Display* display = OpenDisplay();
  if (display == nullptr) return kAnswerNone;
  const int answer = RunMessageBox(display, text, caption, type);
  CloseDisplay(display);
  return answer;
}

int IGraphicsX11::RunMessageBox(void* connection, const char* text, const char* caption, int type) {
  Display* display = D(connection);
  const bool ours = connection == mDisplay;
  struct Button {
    const char* label;
    int answer;
    char mnemonic;
  };
  static const Button kOk[] = {{"OK", kAnswerOk, 0}};
  static const Button kOkCancel[] = {{"OK", kAnswerOk, 0}, {"Cancel", kAnswerCancel, 0}};
  static const Button kAbortRetryIgnore[] = {
      {"Abort", kAnswerAbort, 'a'}, {"Retry", kAnswerRetry, 'r'}, {"Ignore", kAnswerIgnore, 'i'}};
  static const Button kYesNoCancel[] = {{"Yes", kAnswerYes, 'y'}, {"No", kAnswerNo, 'n'}, {"Cancel", kAnswerCancel, 0}};
  static const Button kYesNo[] = {{"Yes", kAnswerYes, 'y'}, {"No", kAnswerNo, 'n'}};
  static const Button kRetryCancel[] = {{"Retry", kAnswerRetry, 'r'}, {"Cancel", kAnswerCancel, 0}};
  const Button* buttons = kOk;
  int count = 1;
  switch (type & kMessageButtonsMask) {
    case kMessageOkCancel: buttons = kOkCancel; count = 2; break;
    case kMessageAbortRetryIgnore: buttons = kAbortRetryIgnore; count = 3; break;
    case kMessageYesNoCancel: buttons = kYesNoCancel; count = 3; break;
    case kMessageYesNo: buttons = kYesNo; count = 2; break;
    case kMessageRetryCancel: buttons = kRetryCancel; count = 2; break;
    default: break;
  }
  // Escape and the close box answer Cancel where there is one, OK where it
  // is the only button, and nothing otherwise (Windows disables closing).
  int escapeAnswer = count == 1 ? buttons[0].answer : kAnswerNone;
  for (int i = 0; i < count; ++i)
    if (buttons[i].answer == kAnswerCancel) escapeAnswer = kAnswerCancel;
  int focus = (type & kMessageDefaultMask) / kMessageDefaultButton2;  // the default button
  if (focus >= count) focus = 0;

  TextStyle style = DialogStyle();
  LICE_IFont* font = FontFor(style);
  const std::vector<std::string> lines = MessageLines(text);
  const int lineHeight = std::max(font != nullptr ? font->LineHeight() : 0, 16);
  const int margin = 16, gap = 8;
  const int buttonHeight = lineHeight + 12;
  int buttonWidth = 80;
  for (int i = 0; i < count; ++i) buttonWidth = std::max(buttonWidth, TextWidth(font, buttons[i].label) + 24);
  int textWidth = 0;
  for (const std::string& line : lines) textWidth = std::max(textWidth, TextWidth(font, line));
  const int screen = DefaultScreen(display);
  const int rowWidth = count * buttonWidth + (count - 1) * gap;
  const int width = std::min(std::max({textWidth, rowWidth, 200}) + 2 * margin, DisplayWidth(display, screen));
  const int height = std::min(margin + static_cast<int>(lines.size()) * lineHeight + margin + buttonHeight + margin,
                              DisplayHeight(display, screen));
  std::vector<PixelRect> buttonRects;
  for (int i = 0; i < count; ++i) {
    const int left = (width - rowWidth) / 2 + i * (buttonWidth + gap);
    buttonRects.push_back(PixelRect{left, height - margin - buttonHeight, left + buttonWidth, height - margin});
  }

  // Centred over the host's window, or on the screen.
  const Window root = RootWindow(display, screen);
  const Window owner = ours ? MessageOwner() : 0;
  int x = (DisplayWidth(display, screen) - width) / 2, y = (DisplayHeight(display, screen) - height) / 2;
  XWindowAttributes ownerAttributes;
  if (owner != 0 && XGetWindowAttributes(display, owner, &ownerAttributes) != 0) {
    Window child = 0;
    int ox = 0, oy = 0;
    XTranslateCoordinates(display, owner, root, 0, 0, &ox, &oy, &child);
    x = std::max(ox + (ownerAttributes.width - width) / 2, 0);
    y = std::max(oy + (ownerAttributes.height - height) / 2, 0);
  }
  XSetWindowAttributes wa;
  std::memset(&wa, 0, sizeof wa);
  wa.background_pixmap = 0;
  wa.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | KeyPressMask | StructureNotifyMask;
  const Window box = XCreateWindow(display, root, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                                   CopyFromParent, InputOutput, CopyFromParent, CWBackPixmap | CWEventMask, &wa);
  const char* title = caption != nullptr ? caption : "Error";  // Windows' title for none
  XStoreName(display, box, title);
  SetUtf8Property(display, box, "_NET_WM_NAME", title);
  std::string className = kMessageClass;
  XClassHint classHint{&className[0], &className[0]};
  XSetClassHint(display, box, &classHint);
  if (owner != 0) XSetTransientForHint(display, box, owner);
  SetWindowType(display, box, "_NET_WM_WINDOW_TYPE_DIALOG");
  Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(display, box, &deleteWindow, 1);
  XSizeHints* size = XAllocSizeHints();
  if (size != nullptr) {
    size->flags = PPosition | PMinSize | PMaxSize;
    size->x = x;
    size->y = y;
    size->min_width = size->max_width = width;
    size->min_height = size->max_height = height;
    XSetWMNormalHints(display, box, size);
    XFree(size);
  }
  XWMHints* hints = XAllocWMHints();
  if (hints != nullptr) {
    hints->flags = InputHint;
    hints->input = True;
    XSetWMHints(display, box, hints);
    XFree(hints);
  }
  GC gc = XCreateGC(display, box, 0, nullptr);
  Visual* visual = DefaultVisual(display, screen);
  const int depth = DefaultDepth(display, screen);
  Window previousFocus = 0;
  int revert = 0;
  XGetInputFocus(display, &previousFocus, &revert);
  XMapRaised(display, box);
  XFlush(display);

  int pressed = -1;
  LICE_MemBitmap pixels(width, height);
  std::vector<uint32_t> buffer;
  auto draw = [&]() {
    if (pixels.PixelBuffer() == nullptr) return;
    Fill(&pixels, PixelRect{0, 0, width, height}, kPanel);
    for (size_t i = 0; i < lines.size(); ++i) {
      const int top = margin + static_cast<int>(i) * lineHeight;
      DrawLabel(font, &pixels, lines[i], PixelRect{margin, top, width - margin, top + lineHeight}, 0, kInk);
    }
    for (int i = 0; i < count; ++i) {
      const PixelRect& r = buttonRects[static_cast<size_t>(i)];
      Fill(&pixels, r, i == pressed ? kButtonDown : kButtonFace);
      Frame(&pixels, r, i == focus ? kFocusFrame : kFrame, i == focus ? 2 : 1);
      DrawLabel(font, &pixels, buttons[i].label, r, DrawTextCenter, kInk);
    }
    PutPixels(display, box, gc, visual, depth, &pixels, PixelRect{0, 0, width, height}, 0, 0, buffer);
    XFlush(display);
  };
  auto buttonAt = [&](int px, int py) {
    for (int i = 0; i < count; ++i)
      if (RectContains(buttonRects[static_cast<size_t>(i)], px, py)) return i;
    return -1;
  };

  int answer = -1;
  bool editorGone = false;
  while (answer < 0) {
    if (XPending(display) == 0) {
      WaitForEvents(display, kModalWaitMs);
      continue;
    }
    XEvent e;
    XNextEvent(display, &e);
    if (ours && mWindow != 0 && e.xany.window == mWindow) {
      // The editor shows itself but takes no input while the box is up.
      if (e.type == Expose)
        PresentArea(PixelRect{e.xexpose.x, e.xexpose.y, e.xexpose.x + e.xexpose.width, e.xexpose.y + e.xexpose.height});
      else if (e.type == DestroyNotify && e.xdestroywindow.window == mWindow)
        editorGone = true;
      continue;
    }
    if (e.xany.window != box) continue;
    switch (e.type) {
      case MapNotify:
        XSetInputFocus(display, box, RevertToParent, CurrentTime);
        break;
      case Expose:
        if (e.xexpose.count == 0) draw();
        break;
      case ButtonPress:
        if (e.xbutton.button == Button1) {
          pressed = buttonAt(e.xbutton.x, e.xbutton.y);
          if (pressed >= 0) focus = pressed;
          draw();
        }
        break;
      case ButtonRelease:
        if (e.xbutton.button == Button1 && pressed >= 0) {
          if (buttonAt(e.xbutton.x, e.xbutton.y) == pressed) answer = buttons[pressed].answer;
          pressed = -1;
          draw();
        }
        break;
      case KeyPress: {
        const KeySym sym = XLookupKeysym(&e.xkey, 0);
        if (sym == XK_Escape) {
          if (escapeAnswer != kAnswerNone) answer = escapeAnswer;
        } else if (sym == XK_Return || sym == XK_KP_Enter || sym == XK_space) {
          answer = buttons[focus].answer;
        } else if (sym == XK_Tab || sym == XK_Right || sym == XK_ISO_Left_Tab || sym == XK_Left) {
          const bool back = sym == XK_Left || sym == XK_ISO_Left_Tab || (e.xkey.state & ShiftMask) != 0;
          focus = (focus + (back ? count - 1 : 1)) % count;
          draw();
        } else if (sym >= XK_a && sym <= XK_z) {
          for (int i = 0; i < count; ++i)
            if (buttons[i].mnemonic == static_cast<char>(sym - XK_a + 'a')) answer = buttons[i].answer;
        }
        break;
      }
      case ClientMessage:
        if (static_cast<Atom>(e.xclient.data.l[0]) == deleteWindow && escapeAnswer != kAnswerNone)
          answer = escapeAnswer;
        break;
      case DestroyNotify:
        answer = escapeAnswer;  // destroyed by someone else
        break;
      default:
        break;
    }
  }
  XFreeGC(display, gc);
  XDestroyWindow(display, box);
  // The keyboard goes back where it was (a window that has gone meanwhile
  // only makes a harmless error).
  if (previousFocus > PointerRoot) XSetInputFocus(display, previousFocus, RevertToParent, CurrentTime);
  XFlush(display);
  if (ours) {
    mLastPressTime = 0;
    if (editorGone) WindowDestroyedByOthers();
  }
  return answer;
}

