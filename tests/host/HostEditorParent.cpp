#include "tests/host/HostEditorParent.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "tests/support/PrivateDisplay.h"

namespace testhost {
namespace {

Display* D(void* display) { return static_cast<Display*>(display); }

// Xlib's own handler ends the process; a window that went away between two
// requests should fail the test instead. The plug-in's handler, installed
// over this one, passes on only errors of connections that are not its own.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

int ShiftOf(unsigned long mask) {
  int shift = 0;
  while (mask != 0 && (mask & 1) == 0) {
    mask >>= 1;
    ++shift;
  }
  return shift;
}

// A channel of any width, to 8 bits.
uint8_t Channel(unsigned long pixel, unsigned long mask) {
  if (mask == 0) return 0;
  const unsigned long top = mask >> ShiftOf(mask);
  return static_cast<uint8_t>(((pixel & mask) >> ShiftOf(mask)) * 255 / top);
}

}  // namespace

X11Parent::X11Parent(int width, int height) {
  // The plug-in's window opens on the same display: the process's own.
  if (!testsupport::UsePrivateDisplay(&why_)) return;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    why_ = "cannot connect to the X server";
    return;
  }
  static const bool installed = (XSetErrorHandler(&IgnoreXError), true);
  (void)installed;
  const int screen = DefaultScreen(display);
  XSetWindowAttributes wa{};
  wa.background_pixel = BlackPixel(display, screen);
  // Placed where asked and mapped at once even under a window manager.
  wa.override_redirect = True;
  const Window window =
      XCreateWindow(display, RootWindow(display, screen), 0, 0, static_cast<unsigned>(width),
                    static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                    CWBackPixel | CWOverrideRedirect, &wa);
  XStoreName(display, window, "host");
  XMapRaised(display, window);
  XSync(display, False);
  XWindowAttributes attributes;
  if (window == 0 || XGetWindowAttributes(display, window, &attributes) == 0 ||
      attributes.map_state != IsViewable) {
    XCloseDisplay(display);
    return;
  }
  display_ = display;
  window_ = window;
}

X11Parent::~X11Parent() {
  if (display_ == nullptr) return;
  if (window_ != 0) XDestroyWindow(D(display_), window_);
  XCloseDisplay(D(display_));
}

void X11Parent::Sync() const {
  if (display_ != nullptr) XSync(D(display_), False);
}

std::vector<unsigned long> X11Parent::Children() const {
  std::vector<unsigned long> out;
  if (!ok()) return out;
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(D(display_), window_, &root, &parent, &children, &count) != 0) {
    out.assign(children, children + count);
  }
  if (children != nullptr) XFree(children);
  return out;
}

bool X11Parent::Size(unsigned long window, int* width, int* height) const {
  XWindowAttributes attributes;
  if (!ok() || XGetWindowAttributes(D(display_), window, &attributes) == 0) return false;
  *width = attributes.width;
  *height = attributes.height;
  return true;
}

Image X11Parent::Capture(unsigned long window) const {
  Image out;
  XWindowAttributes attributes;
  if (!ok() || XGetWindowAttributes(D(display_), window, &attributes) == 0 ||
      attributes.map_state != IsViewable || attributes.visual == nullptr) {
    return out;
  }
  XImage* image = XGetImage(D(display_), window, 0, 0, static_cast<unsigned>(attributes.width),
                            static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
  if (image == nullptr) return out;
  const Visual* visual = attributes.visual;
  out.width = attributes.width;
  out.height = attributes.height;
  out.bgra.resize(static_cast<size_t>(out.width) * out.height * 4);
  uint8_t* p = out.bgra.data();
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x, p += 4) {
      const unsigned long pixel = XGetPixel(image, x, y);
      p[0] = Channel(pixel, visual->blue_mask);
      p[1] = Channel(pixel, visual->green_mask);
      p[2] = Channel(pixel, visual->red_mask);
      p[3] = 255;
    }
  }
  XDestroyImage(image);
  return out;
}

void X11Parent::MovePointerAway() const {
  if (!ok()) return;
  Display* display = D(display_);
  const int screen = DefaultScreen(display);
  Window root = 0;
  int x = 0, y = 0;
  unsigned int w = 0, h = 0, border = 0, depth = 0;
  XGetGeometry(display, window_, &root, &x, &y, &w, &h, &border, &depth);
  const int rootW = DisplayWidth(display, screen), rootH = DisplayHeight(display, screen);
  const int cx = x + static_cast<int>(w) / 2 < rootW / 2 ? rootW - 1 : 0;
  const int cy = y + static_cast<int>(h) / 2 < rootH / 2 ? rootH - 1 : 0;
  XWarpPointer(display, 0, RootWindow(display, screen), 0, 0, 0, 0, cx, cy);
  XSync(display, False);
}

void X11Parent::SendDrag(unsigned long window, int x0, int y0, int x1, int y1) const {
  if (!ok()) return;
  Display* display = D(display_);
  auto send = [&](int type, int x, int y, unsigned int state) {
    XEvent e{};
    e.type = type;
    if (type == MotionNotify) {
      XMotionEvent& m = e.xmotion;
      m.display = display;
      m.window = window;
      m.root = DefaultRootWindow(display);
      m.x = x;
      m.y = y;
      m.state = state;
      m.same_screen = True;
      XSendEvent(display, window, False, PointerMotionMask, &e);
    } else {
      XButtonEvent& b = e.xbutton;
      b.display = display;
      b.window = window;
      b.root = DefaultRootWindow(display);
      b.x = x;
      b.y = y;
      b.state = state;
      b.button = Button1;
      b.same_screen = True;
      XSendEvent(display, window, False, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &e);
    }
  };
  send(ButtonPress, x0, y0, 0);
  const int steps = 4;
  for (int i = 1; i <= steps; ++i)
    send(MotionNotify, x0 + (x1 - x0) * i / steps, y0 + (y1 - y0) * i / steps, Button1Mask);
  send(ButtonRelease, x1, y1, Button1Mask);
  XSync(display, False);
}

}  // namespace testhost
