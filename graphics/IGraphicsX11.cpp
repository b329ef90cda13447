#include "graphics/IGraphicsX11.h"

#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/Module.h"
#include "plugin/IPlugBase.h"
#include "plugin/ParamRecord.h"
#include "render/PngImage.h"

#include "graphics/X11Internal.h"  // last: the X headers

extern char** environ;

using namespace x11_detail;

namespace {

// The value of "Xft.dpi" in a resource database text ("Xft.dpi:\t192"
// lines), 0 without one.
double XftDpiOf(const std::string& database) {
  size_t start = 0;
  while (start < database.size()) {
    size_t end = database.find('\n', start);
    if (end == std::string::npos) end = database.size();
    const std::string line = database.substr(start, end - start);
    start = end + 1;
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    size_t a = 0, b = colon;
    while (a < b && (line[a] == ' ' || line[a] == '\t')) ++a;
    while (b > a && (line[b - 1] == ' ' || line[b - 1] == '\t')) --b;
    if (line.compare(a, b - a, "Xft.dpi") != 0) continue;
    const double dpi = ParseLeadingNumber(line.c_str() + colon + 1);
    return dpi > 0.0 && dpi < 10000.0 ? dpi : 0.0;
  }
  return 0.0;
}

constexpr long kEditorEvents = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                               LeaveWindowMask | KeyPressMask | StructureNotifyMask;

// Errors on our own connections are expected (a host may destroy its window
// before it closes the editor) and must not end the host; errors on other
// connections go to the handler that was installed before ours.
std::mutex gErrorLock;
std::vector<std::pair<Display*, int>> gOurDisplays;
XErrorHandler gPreviousHandler = nullptr;

int OnXError(Display* display, XErrorEvent* error) {
  XErrorHandler previous = nullptr;
  {
    std::lock_guard<std::mutex> guard(gErrorLock);
    for (auto& entry : gOurDisplays) {
      if (entry.first == display) {
        entry.second = error->error_code;
        return 0;
      }
    }
    previous = gPreviousHandler;
  }
  return previous != nullptr ? previous(display, error) : 0;
}

// The error code of the last failed request on the connection (0: none), cleared.
int TakeError(Display* display) {
  XSync(display, False);
  std::lock_guard<std::mutex> guard(gErrorLock);
  for (auto& entry : gOurDisplays) {
    if (entry.first == display) return std::exchange(entry.second, 0);
  }
  return 0;
}

bool SameFormat(const Visual* visual, int depth) {
  return visual != nullptr && visual->c_class == TrueColor && (depth == 24 || depth == 32) &&
         visual->red_mask == 0xFF0000 && visual->green_mask == 0xFF00 && visual->blue_mask == 0xFF;
}

MouseModifiers ModifiersOf(unsigned int state, unsigned int button, bool pressing) {
  MouseModifiers mods;
  // The state is the one before the event: a press adds its button, a
  // release takes it away (as the Windows flags count them).
  mods.left = (state & Button1Mask) != 0;
  mods.right = (state & Button3Mask) != 0;
  if (button == Button1) mods.left = pressing;
  if (button == Button3) mods.right = pressing;
  mods.shift = (state & ShiftMask) != 0;
  mods.control = (state & ControlMask) != 0;
  mods.alt = (state & Mod1Mask) != 0;
  return mods;
}

int KeyCodeOfSym(KeySym sym) {
  switch (sym) {
    case XK_space: return kKeySpace;
    case XK_Up: case XK_KP_Up: return kKeyUp;
    case XK_Down: case XK_KP_Down: return kKeyDown;
    case XK_Left: case XK_KP_Left: return kKeyLeft;
    case XK_Right: case XK_KP_Right: return kKeyRight;
    default: break;
  }
  if (sym >= XK_0 && sym <= XK_9) return kKeyDigit0 + static_cast<int>(sym - XK_0);
  if (sym >= XK_a && sym <= XK_z) return kKeyLetterA + static_cast<int>(sym - XK_a);
  if (sym >= XK_A && sym <= XK_Z) return kKeyLetterA + static_cast<int>(sym - XK_A);
  return -1;
}

// The editor's key code of a physical key, whatever the layout puts on it
// first (digits are shifted on some layouts, as Windows' key codes ignore).
int KeyCodeOf(XKeyEvent* key) {
  const int plain = KeyCodeOfSym(XLookupKeysym(key, 0));
  return plain >= 0 ? plain : KeyCodeOfSym(XLookupKeysym(key, 1));
}

// Starts the opener in a short-lived middle process: the opener is then
// adopted and reaped by init, and the host is left with no zombie. Answers
// whether it started.
bool StartOpener(const char* address) {
  char program[] = "xdg-open";
  std::string argument(address);
  char* argv[] = {program, &argument[0], nullptr};
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  // The host's files (audio devices, sockets) stay with the host.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
  const pid_t middle = fork();
  if (middle == 0) {
    pid_t opener = 0;
    const int rc = posix_spawnp(&opener, program, &actions, nullptr, argv, environ);
    _exit(rc == 0 ? 0 : 127);
  }
  posix_spawn_file_actions_destroy(&actions);
  if (middle < 0) return false;
  int status = 0;
  while (waitpid(middle, &status, 0) < 0) {
    // A host that ignores SIGCHLD has the middle process reaped for it and
    // its answer is lost: count the opener as started.
    if (errno == ECHILD) return true;
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

// Connections and pixels, shared with the text box, the menu and the message box.
namespace x11_detail {

Display* OpenDisplay() {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return nullptr;
  std::lock_guard<std::mutex> guard(gErrorLock);
  if (gOurDisplays.empty()) {
    XErrorHandler old = XSetErrorHandler(&OnXError);
    if (old != &OnXError) gPreviousHandler = old;
  }
  gOurDisplays.emplace_back(display, 0);
  return display;
}

void CloseDisplay(Display* display) {
  // Errors still queued for it arrive while it closes: it stays ours until then.
  XCloseDisplay(display);
  std::lock_guard<std::mutex> guard(gErrorLock);
  gOurDisplays.erase(std::remove_if(gOurDisplays.begin(), gOurDisplays.end(),
                                    [display](const std::pair<Display*, int>& e) { return e.first == display; }),
                     gOurDisplays.end());
  if (gOurDisplays.empty()) {
    // Put the earlier handler back unless someone replaced ours meanwhile.
    XErrorHandler current = XSetErrorHandler(gPreviousHandler);
    if (current != &OnXError) XSetErrorHandler(current);
  }
}

void WaitForEvents(Display* display, int ms) {
  pollfd fd{ConnectionNumber(display), POLLIN, 0};
  poll(&fd, 1, ms);
}

bool PutPixels(Display* display, Drawable target, GC gc, Visual* visual, int depth, LICE_IBitmap* bitmap,
               PixelRect area, int destX, int destY, std::vector<uint32_t>& rows) {
  if (display == nullptr || target == 0 || gc == nullptr || bitmap == nullptr || bitmap->PixelBuffer() == nullptr)
    return false;
  if (!SameFormat(visual, depth)) return false;
  area.left = std::max(area.left, 0);
  area.top = std::max(area.top, 0);
  area.right = std::min(area.right, bitmap->PixelWidth());
  area.bottom = std::min(area.bottom, bitmap->PixelHeight());
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return true;
  rows.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
  // A 32-bit visual would blend by the surface's alpha: the editor is opaque.
  const uint32_t opaque = depth == 32 ? 0xFF000000u : 0u;
  const PackedPixel* source = bitmap->PixelBuffer();
  const size_t span = static_cast<size_t>(bitmap->RowSpanPixels());
  for (int y = 0; y < height; ++y) {
    const PackedPixel* from = source + static_cast<size_t>(area.top + y) * span + static_cast<size_t>(area.left);
    uint32_t* to = rows.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
    for (int x = 0; x < width; ++x) to[x] = from[x] | opaque;
  }
  const uint32_t probe = 1;
  const bool littleEndian = *reinterpret_cast<const unsigned char*>(&probe) == 1;
  XImage image;
  std::memset(&image, 0, sizeof image);
  image.width = width;
  image.height = height;
  image.format = ZPixmap;
  image.data = reinterpret_cast<char*>(rows.data());
  image.byte_order = littleEndian ? LSBFirst : MSBFirst;
  image.bitmap_unit = 32;
  image.bitmap_bit_order = image.byte_order;
  image.bitmap_pad = 32;
  image.depth = depth;
  image.bytes_per_line = width * 4;
  image.bits_per_pixel = 32;
  image.red_mask = visual->red_mask;
  image.green_mask = visual->green_mask;
  image.blue_mask = visual->blue_mask;
  if (XInitImage(&image) == 0) return false;
  XPutImage(display, target, gc, &image, 0, 0, destX, destY, static_cast<unsigned>(width),
            static_cast<unsigned>(height));
  return true;
}

}  // namespace x11_detail

IGraphicsX11::IGraphicsX11(IPlugBase* plug, int width, int height, int fps) : IGraphics(plug, width, height, fps) {}

IGraphicsX11::~IGraphicsX11() { CloseEditorWindow(); }

// Window

void* IGraphicsX11::OpenEditorWindow(void* parent) {
  if (mWindow == 0 && parent != nullptr) RefreshScale(parent);
  int x = 0, y = 0;
  unsigned int width = static_cast<unsigned int>(std::max(WindowWidth(), 1));
  unsigned int height = static_cast<unsigned int>(std::max(WindowHeight(), 1));
  if (mWindow != 0) {
    // Reopened without closing: the new window takes the old one's place.
    Window root = 0;
    unsigned int w = 0, h = 0, border = 0, depth = 0;
    if (XGetGeometry(D(mDisplay), mWindow, &root, &x, &y, &w, &h, &border, &depth) == 0) x = y = 0;
    if (w > 0 && h > 0) {
      width = w;
      height = h;
    }
    CloseEditorWindow();
  }
  mParent = static_cast<unsigned long>(reinterpret_cast<uintptr_t>(parent));
  if (mParent == 0) return nullptr;  // a child window needs a parent
  Display* display = OpenDisplay();
  if (display == nullptr) return nullptr;
  XWindowAttributes parentAttributes;
  if (XGetWindowAttributes(display, mParent, &parentAttributes) == 0 || TakeError(display) != 0) {
    CloseDisplay(display);
    return nullptr;
  }
  XSetWindowAttributes wa;
  std::memset(&wa, 0, sizeof wa);
  wa.background_pixmap = 0;  // None: the surface covers everything
  wa.event_mask = kEditorEvents;
  wa.bit_gravity = NorthWestGravity;
  const Window window =
      XCreateWindow(display, mParent, x, y, width, height, 0, CopyFromParent, InputOutput, CopyFromParent,
                    CWBackPixmap | CWEventMask | CWBitGravity, &wa);
  XStoreName(display, window, "IPlug");
  XMapWindow(display, window);
  XWindowAttributes attributes;
  if (TakeError(display) != 0 || XGetWindowAttributes(display, window, &attributes) == 0) {
    CloseDisplay(display);  // takes the window with it, if there is one
    return nullptr;
  }
  mDisplay = display;
  mWindow = window;
  mVisual = attributes.visual;
  mDepth = attributes.depth;
  mGC = XCreateGC(display, window, 0, nullptr);
  mExposed = PixelRect{};
  mRepaintAll = false;
  mGrabbed = false;
  mTrackingLeave = false;
  mLastPressTime = 0;
  mLastPressButton = 0;
  mLastTickMs = NowMs();
  XFlush(display);
  AdoptWindowThread();
  return EditorWindowHandle();
}

void IGraphicsX11::CloseEditorWindow() {
  if (mWindow == 0) {
    ReleaseDisplay();
    return;
  }
  DestroyTextEntry();
  RestoreCursor();
  Display* display = D(mDisplay);
  if (mGrabbed) XUngrabPointer(display, CurrentTime);
  mGrabbed = false;
  const Window window = mWindow;
  // Cleared first: nothing may reach the window while it goes away.
  mWindow = 0;
  XDestroyWindow(display, window);
  ReleaseDisplay();
  ReleaseWindowThread();
}

void IGraphicsX11::ReleaseDisplay() {
  if (mDisplay == nullptr) return;
  Display* display = D(mDisplay);
  if (mGC != nullptr) XFreeGC(display, G(mGC));
  if (mEntryGC != nullptr) XFreeGC(display, G(mEntryGC));
  if (mBlankCursor != 0) XFreeCursor(display, mBlankCursor);
  mGC = nullptr;
  mEntryGC = nullptr;
  mBlankCursor = 0;
  mVisual = nullptr;
  mDisplay = nullptr;
  CloseDisplay(display);
}

void IGraphicsX11::WindowDestroyedByOthers() {
  // The host destroyed its window (and so ours, with the box) before asking
  // us to close: forget the windows; the connection goes too.
  mEntryBox = 0;
  mEntryControl = nullptr;
  mEntryParam = nullptr;
  mEntryState = EntryIdle;
  mCursorHidden = false;
  mGrabbed = false;
  mWindow = 0;
  ReleaseDisplay();
  ReleaseWindowThread();
}

bool IGraphicsX11::PresentArea(const PixelRect& area) {
  if (mDisplay == nullptr || mWindow == 0) return false;
  const PixelRect visible = RectIntersection(area, PixelRect{0, 0, WindowWidth(), WindowHeight()});
  const bool shown = RectIsEmpty(visible) ||
                     PutPixels(D(mDisplay), mWindow, G(mGC), static_cast<Visual*>(mVisual), mDepth, Surface(),
                               visible, visible.left, visible.top, mPresentPixels);
  XFlush(D(mDisplay));
  return shown;
}

void IGraphicsX11::SetEditorSize(int width, int height) {
  if (width == Width() && height == Height()) return;
  const int oldWidth = WindowWidth(), oldHeight = WindowHeight();
  // The box's control is about to be deleted with the others.
  DestroyTextEntry();
  IGraphics::SetEditorSize(width, height);
  ResizeWindows(oldWidth, oldHeight);
}

void IGraphicsX11::WindowScaleChanged(int oldWidth, int oldHeight) {
  // The box sat over the old pixels.
  DestroyTextEntry();
  ResizeWindows(oldWidth, oldHeight);
}

void IGraphicsX11::ResizeWindows(int oldWidth, int oldHeight) {
  if (mWindow == 0) return;
  const int width = WindowWidth(), height = WindowHeight();
  const int dw = width - oldWidth;
  const int dh = height - oldHeight;
  Display* display = D(mDisplay);
  XResizeWindow(display, mWindow, static_cast<unsigned>(std::max(width, 1)), static_cast<unsigned>(std::max(height, 1)));
  // The host's window grows with the editor, as on Windows, except for the
  // plug-in kinds whose hosts size it themselves.
  const int kind = Plug() != nullptr ? Plug()->PluginApiKind() : 0;
  XWindowAttributes parent;
  if (kind != 1 && kind != 3 && XGetWindowAttributes(display, mParent, &parent) != 0)
    XResizeWindow(display, mParent, static_cast<unsigned>(std::max(parent.width + dw, 1)),
                  static_cast<unsigned>(std::max(parent.height + dh, 1)));
  mRepaintAll = true;
  XFlush(display);
}

double IGraphicsX11::SystemScale(void* parent) {
  // Our own connection while the window is open, else a short one.
  Display* display = mDisplay != nullptr ? D(mDisplay) : OpenDisplay();
  if (display == nullptr) return 0.0;
  double dpi = 0.0;
  // The resource database the desktop set on the root window; read fresh
  // from the server, as a desktop may change it while we run.
  Atom resources = XInternAtom(display, "RESOURCE_MANAGER", True);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (resources != 0 &&
      XGetWindowProperty(display, DefaultRootWindow(display), resources, 0, 1 << 16, False, XA_STRING, &type,
                         &format, &count, &after, &data) == Success &&
      data != nullptr && format == 8) {
    dpi = XftDpiOf(std::string(reinterpret_cast<const char*>(data), count));
  }
  if (data != nullptr) XFree(data);
  if (display != D(mDisplay)) CloseDisplay(display);
  return dpi > 0.0 ? dpi / 96.0 : 0.0;
}

void IGraphicsX11::HideCursor() {
  if (mCursorHidden || mWindow == 0) return;
  Display* display = D(mDisplay);
  Window root = 0, child = 0;
  int wx = 0, wy = 0;
  unsigned int mask = 0;
  XQueryPointer(display, mWindow, &root, &child, &mCursorX, &mCursorY, &wx, &wy, &mask);
  if (mBlankCursor == 0) {
    static const char kNoBits[1] = {0};
    const Pixmap empty = XCreateBitmapFromData(display, mWindow, kNoBits, 1, 1);
    XColor black;
    std::memset(&black, 0, sizeof black);
    mBlankCursor = XCreatePixmapCursor(display, empty, empty, &black, &black, 0, 0);
    XFreePixmap(display, empty);
  }
  XDefineCursor(display, mWindow, mBlankCursor);
  XFlush(display);
  mCursorHidden = true;
}

void IGraphicsX11::RestoreCursor() {
  if (!mCursorHidden) return;
  mCursorHidden = false;
  if (mWindow == 0) return;
  Display* display = D(mDisplay);
  XWarpPointer(display, 0, DefaultRootWindow(display), 0, 0, 0, 0, mCursorX, mCursorY);
  XUndefineCursor(display, mWindow);
  XFlush(display);
}

// Events and the timer

void IGraphicsX11::PumpEvents() {
  if (mDisplay == nullptr || mWindow == 0) return;
  DeliverPendingValues();
  while (mDisplay != nullptr && mWindow != 0 && XPending(D(mDisplay)) > 0) {
    XEvent event;
    XNextEvent(D(mDisplay), &event);
    HandleEvent(&event);
  }
  if (mWindow == 0) return;
  if (mRepaintAll) {
    mRepaintAll = false;
    if (NumControls() > 0) {
      PaintArea(PixelRect{0, 0, Width(), Height()});
      mExposed = PixelRect{};
    } else {
      mExposed = PixelRect{0, 0, WindowWidth(), WindowHeight()};
    }
  }
  if (!RectIsEmpty(mExposed)) {
    const PixelRect exposed = mExposed;
    mExposed = PixelRect{};
    PresentArea(exposed);
  }
  const int rate = FPS() > 0 ? FPS() : kFramesPerSecond;
  const int64_t now = NowMs();
  if (now - mLastTickMs >= 1000 / rate) {
    mLastTickMs = now;
    Tick();
  }
  if (mDisplay != nullptr) XFlush(D(mDisplay));
}

void IGraphicsX11::Tick() {
  ++mTimerTicks;
  if (mEntryBox != 0 && (mEntryState == EntryCommit || mEntryState == EntryCancel)) {
    CommitOrCancelTextEntry();
    return;
  }
  if (mEntryBox != 0 && (mEntryState == EntryRepainted || mEntryState == EntryFocused)) {
    mEntryState = EntryIdle;
    return;
  }
  PixelRect area{};
  if (!CollectDirtyArea(area)) return;
  // The box is a window of its own over the editor: the server keeps the
  // editor's pixels from covering it.
  PaintArea(area);
  if (mEntryBox != 0) mEntryState = EntryRepainted;
}

void IGraphicsX11::HandleEvent(void* event) {
  XEvent& e = E(event);
  const Window window = e.xany.window;
  switch (e.type) {
    case Expose:
      if (window == mWindow) {
        const PixelRect r{e.xexpose.x, e.xexpose.y, e.xexpose.x + e.xexpose.width, e.xexpose.y + e.xexpose.height};
        mExposed = RectUnion(mExposed, r);
      } else if (window == mEntryBox && e.xexpose.count == 0) {
        DrawTextEntry();
      }
      return;
    case DestroyNotify:
      if (e.xdestroywindow.window == mWindow) WindowDestroyedByOthers();
      return;
    case FocusIn:
    case FocusOut:
      // Only real moves of the keyboard, not grabs or the pointer's way in.
      if (window != mEntryBox || e.xfocus.mode != NotifyNormal || e.xfocus.detail == NotifyInferior ||
          e.xfocus.detail == NotifyPointer)
        return;
      // Leaving the box, for example for the host, commits it.
      mEntryState = e.type == FocusIn ? EntryFocused : EntryCommit;
      return;
    default:
      break;
  }
  if (mEntryBox != 0 && window == mEntryBox) {
    if (e.type == KeyPress) {
      TextEntryKey(&e.xkey);
    } else if (e.type == ButtonPress && (e.xbutton.button <= Button3)) {
      mEntrySelected = false;
      DrawTextEntry();
    }
    return;
  }
  if (window != mWindow) return;
  if (mEntryBox != 0 && mEntryState == EntryFocused) {
    // The box has the focus back: only a press (which cancels) counts.
    if (e.type == ButtonPress && (e.xbutton.button == Button1 || e.xbutton.button == Button3))
      mEntryState = EntryCancel;
    return;
  }
  if (e.type == KeyPress) {
    // Keys typed over the editor while the box is open belong to the box
    // (the window manager may not have let it have the keyboard).
    if (mEntryBox != 0)
      TextEntryKey(&e.xkey);
    else
      EditorKey(&e.xkey);
    return;
  }
  EditorMouse(event);
}

void IGraphicsX11::EditorKey(void* keyEvent) {
  XKeyEvent& key = *static_cast<XKeyEvent*>(keyEvent);
  const int code = KeyCodeOf(&key);
  if (code >= 0 && KeyAt(ToLogical(key.x), ToLogical(key.y), code)) return;
  // Keys the editor does not use go to the host's window.
  XEvent forward;
  std::memset(&forward, 0, sizeof forward);
  forward.xkey = key;
  forward.xkey.window = mParent;
  forward.xkey.subwindow = mWindow;
  XSendEvent(D(mDisplay), mParent, True, KeyPressMask, &forward);
}

void IGraphicsX11::GrabPointer(unsigned long time) {
  mGrabbed = XGrabPointer(D(mDisplay), mWindow, False, kGrabEvents, GrabModeAsync, GrabModeAsync, 0, 0, time) ==
             GrabSuccess;
}

void IGraphicsX11::UngrabPointer(unsigned long time) {
  XUngrabPointer(D(mDisplay), time);
  mGrabbed = false;
}

void IGraphicsX11::EditorMouse(void* event) {
  XEvent& e = E(event);
  switch (e.type) {
    case MotionNotify: {
      // Only the latest position of a run of moves counts.
      XEvent next;
      while (XEventsQueued(D(mDisplay), QueuedAlready) > 0) {
        XPeekEvent(D(mDisplay), &next);
        if (next.type != MotionNotify || next.xmotion.window != mWindow) break;
        XNextEvent(D(mDisplay), &e);
      }
      const MouseModifiers mods = ModifiersOf(e.xmotion.state, 0, true);
      if (mods.left || mods.right) {
        if (mGrabbed && mEntryBox == 0) DragTo(ToLogical(e.xmotion.x), ToLogical(e.xmotion.y), mods);
      } else if (HoverAt(ToLogical(e.xmotion.x), ToLogical(e.xmotion.y), mods)) {
        mTrackingLeave = true;
      }
      return;
    }
    case LeaveNotify:
      if (e.xcrossing.mode != NotifyNormal || e.xcrossing.detail == NotifyInferior || !mTrackingLeave) return;
      mTrackingLeave = false;
      HoverEnded();
      return;
    case ButtonPress: {
      const XButtonEvent& b = e.xbutton;
      if (b.button == Button4 || b.button == Button5) {
        if (mEntryBox != 0) {
          mEntryState = EntryCancel;
          return;
        }
        WheelAt(ToLogical(b.x), ToLogical(b.y), ModifiersOf(b.state, 0, true), b.button == Button4 ? 1 : -1);
        return;
      }
      if (b.button > Button3) return;
      const MouseModifiers mods = ModifiersOf(b.state, b.button, true);
      const bool second = mLastPressTime != 0 && b.button == mLastPressButton &&
                          static_cast<uint32_t>(b.time - mLastPressTime) <= static_cast<uint32_t>(kDoubleClickMs) &&
                          std::abs(b.x - mLastPressX) <= kDoubleClickPixels &&
                          std::abs(b.y - mLastPressY) <= kDoubleClickPixels;
      if (second) {
        mLastPressTime = 0;
        // Windows gives the window double clicks of the left button only;
        // a quick second press of another button does nothing.
        if (b.button == Button1 && DoubleClickAt(ToLogical(b.x), ToLogical(b.y), mods)) GrabPointer(b.time);
        return;
      }
      mLastPressTime = b.time != 0 ? b.time : 1;
      mLastPressButton = b.button;
      mLastPressX = b.x;
      mLastPressY = b.y;
      if (mEntryBox != 0) {
        mEntryState = EntryCommit;
        return;
      }
      GrabPointer(b.time);
      PressAt(ToLogical(b.x), ToLogical(b.y), mods);
      return;
    }
    case ButtonRelease: {
      const XButtonEvent& b = e.xbutton;
      if (b.button > Button3) return;
      UngrabPointer(b.time);
      ReleaseAt(ToLogical(b.x), ToLogical(b.y), ModifiersOf(b.state, b.button, false));
      return;
    }
    default:
      return;
  }
}

// Browser, folders, images

bool IGraphicsX11::LaunchUrl(const char* address, const char* caption, const char* confirmation,
                             const char* error) {
  if (confirmation != nullptr && ShowMessage(confirmation, caption, kMessageYesNo) != kAnswerYes) return false;
  if (address != nullptr && address[0] != '\0' && StartOpener(address)) return true;
  if (error != nullptr) ShowMessage(error, caption, kMessageOk);
  return false;
}

void IGraphicsX11::PluginFolder(std::string& folder) { folder = PluginModuleFolder(); }

void IGraphicsX11::HostFolder(std::string& folder) {
  folder.clear();
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return;
  folder = FolderOfModulePath(std::string(path, static_cast<size_t>(length)), '/');
}

LICE_IBitmap* IGraphicsX11::LoadImageResource(int id, const char* name) { return ::LoadImageResource(id, name); }

int IGraphicsX11::EventFd() const { return mDisplay != nullptr ? ConnectionNumber(D(mDisplay)) : -1; }
