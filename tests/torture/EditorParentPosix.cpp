#include <X11/Xlib.h>

#include <cstdint>

#include "tests/support/PrivateDisplay.h"
#include "tests/torture/EditorParent.h"

namespace torture {

EditorParent::EditorParent() {
  // The plug-in's windows open on the same display: the process's own.
  if (!testsupport::UsePrivateDisplay(&why_)) return;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    why_ = "cannot connect to the X server";
    return;
  }
  display_ = display;
  const int screen = DefaultScreen(display);
  const Window w = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, 700, 500, 0,
                                       BlackPixel(display, screen), BlackPixel(display, screen));
  XMapWindow(display, w);
  XSync(display, False);
  handle_ = reinterpret_cast<void*>(static_cast<uintptr_t>(w));
}

EditorParent::~EditorParent() {
  Display* display = static_cast<Display*>(display_);
  if (display == nullptr) return;
  XDestroyWindow(display, static_cast<Window>(reinterpret_cast<uintptr_t>(handle_)));
  XCloseDisplay(display);
}

void EditorParent::Pump() {
  Display* display = static_cast<Display*>(display_);
  if (display == nullptr) return;
  while (XPending(display) > 0) {
    XEvent event;
    XNextEvent(display, &event);
  }
}

int EditorParent::Children() const {
  Display* display = static_cast<Display*>(display_);
  if (display == nullptr) return 0;
  Window root = 0, parent = 0, *children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, static_cast<Window>(reinterpret_cast<uintptr_t>(handle_)), &root, &parent, &children,
                  &count))
    return 0;
  if (children != nullptr) XFree(children);
  return static_cast<int>(count);
}

}  // namespace torture
