#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "tests/host/HostEditorModals.h"

namespace testhost {
namespace {

Display* D(void* display) { return static_cast<Display*>(display); }

// The same class name the editor's message boxes carry.
constexpr char kMessageClass[] = "veltrane-message";

bool Viewable(Display* display, Window window, bool* overrideRedirect = nullptr) {
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display, window, &attributes) == 0) return false;
  if (overrideRedirect != nullptr) *overrideRedirect = attributes.override_redirect != 0;
  return attributes.map_state == IsViewable;
}

std::vector<Window> ChildrenOf(Display* display, Window window) {
  std::vector<Window> out;
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display, window, &root, &parent, &children, &count) != 0) out.assign(children, children + count);
  if (children != nullptr) XFree(children);
  return out;
}

bool IsMessageBox(Display* display, Window window) {
  XClassHint hint{};
  if (XGetClassHint(display, window, &hint) == 0) return false;
  const bool ours = hint.res_class != nullptr && std::strcmp(hint.res_class, kMessageClass) == 0;
  if (hint.res_name != nullptr) XFree(hint.res_name);
  if (hint.res_class != nullptr) XFree(hint.res_class);
  return ours;
}

// The menus are the override-redirect windows on the root besides the
// parent the editor sits in.
Window FindModal(Display* display, Window editor, ModalKind kind) {
  if (kind == ModalKind::kTextBox) {
    for (Window child : ChildrenOf(display, editor))
      if (Viewable(display, child)) return child;
    return 0;
  }
  Window root = 0, parent = 0;
  Window* unused = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display, editor, &root, &parent, &unused, &count) == 0) return 0;
  if (unused != nullptr) XFree(unused);
  Window host = editor;  // the top-level window the editor is in
  while (parent != root && parent != 0) {
    host = parent;
    if (XQueryTree(display, host, &root, &parent, &unused, &count) == 0) return 0;
    if (unused != nullptr) XFree(unused);
  }
  for (Window top : ChildrenOf(display, root)) {
    bool overrideRedirect = false;
    if (top == host || !Viewable(display, top, &overrideRedirect)) continue;
    if (kind == ModalKind::kMessageBox && IsMessageBox(display, top)) return top;
    if (kind == ModalKind::kMenu && overrideRedirect && !IsMessageBox(display, top)) return top;
  }
  return 0;
}

int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

}  // namespace

EditorInput::EditorInput(void* editorWindow) : window_(editorWindow) {
  static const bool threads = XInitThreads() != 0;
  (void)threads;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return;
  int event = 0, error = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(display, &event, &error, &major, &minor)) {
    XCloseDisplay(display);
    return;
  }
  display_ = display;
  ok_ = true;
}

EditorInput::~EditorInput() {
  if (display_ != nullptr) XCloseDisplay(D(display_));
}

void EditorInput::Click(int x, int y, int button) {
  if (!ok_) return;
  Display* display = D(display_);
  XErrorHandler previous = XSetErrorHandler(&IgnoreErrors);
  const Window editor = static_cast<Window>(reinterpret_cast<uintptr_t>(window_));
  int rootX = 0, rootY = 0;
  Window child = 0;
  XTranslateCoordinates(display, editor, DefaultRootWindow(display), x, y, &rootX, &rootY, &child);
  XTestFakeMotionEvent(display, -1, rootX, rootY, CurrentTime);
  XTestFakeButtonEvent(display, static_cast<unsigned>(button), True, CurrentTime);
  XTestFakeButtonEvent(display, static_cast<unsigned>(button), False, CurrentTime);
  XSync(display, False);
  XSetErrorHandler(previous);
}

bool EditorInput::WaitForModal(ModalKind kind, int ms) {
  if (!ok_) return false;
  Display* display = D(display_);
  const Window editor = static_cast<Window>(reinterpret_cast<uintptr_t>(window_));
  XErrorHandler previous = XSetErrorHandler(&IgnoreErrors);
  modal_ = 0;
  for (const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
       modal_ == 0 && std::chrono::steady_clock::now() < until;) {
    XSync(display, False);
    modal_ = FindModal(display, editor, kind);
    if (modal_ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  XSetErrorHandler(previous);
  return modal_ != 0;
}

void EditorInput::ChooseMenuItem(int index) {
  if (!ok_) return;
  Display* display = D(display_);
  auto press = [&](KeySym sym) {
    const unsigned code = XKeysymToKeycode(display, sym);
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
  };
  for (int i = 0; i <= index; ++i) press(XK_Down);
  press(XK_Return);
  XSync(display, False);
}

bool EditorInput::DismissModal(int ms) {
  if (!ok_ || modal_ == 0) return false;
  Display* display = D(display_);
  XErrorHandler previous = XSetErrorHandler(&IgnoreErrors);
  // The menus hold the keyboard; the box and the text box have the focus,
  // once they have taken it: a key before that goes elsewhere, so Escape
  // goes again until the modal is gone.
  const unsigned code = XKeysymToKeycode(display, XK_Escape);
  bool gone = false;
  auto next = std::chrono::steady_clock::now();
  for (const auto until = next + std::chrono::milliseconds(ms); !gone && std::chrono::steady_clock::now() < until;) {
    if (std::chrono::steady_clock::now() >= next) {
      XTestFakeKeyEvent(display, code, True, CurrentTime);
      XTestFakeKeyEvent(display, code, False, CurrentTime);
      next += std::chrono::milliseconds(250);
    }
    XSync(display, False);
    gone = !Viewable(display, static_cast<Window>(modal_));
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  XSetErrorHandler(previous);
  return gone;
}

}  // namespace testhost
