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
#include <thread>
#include <utility>

#include "graphics/IControl.h"
#include "platform/Module.h"
#include "plugin/IPlugBase.h"
#include "render/PngImage.h"

// Last: the X headers define macros (None, Status, True...) that would clash
// with names in the project's headers. X's own KeyCode type is renamed, the
// name is the editor's key numbering here.
#define KeyCode XKeyCode
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#undef KeyCode

extern char** environ;

namespace {

constexpr long kEditorEvents = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                               LeaveWindowMask | KeyPressMask | StructureNotifyMask;
constexpr long kEntryEvents = ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
constexpr long kGrabEvents = ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
constexpr int kEntryReadLimit = 31;  // what the Windows box reads back: 31 characters
constexpr int kEntryHardLimit = 1024;
constexpr int kModalWaitMs = 50;

Display* D(void* display) { return static_cast<Display*>(display); }
GC G(void* gc) { return static_cast<GC>(gc); }
XEvent& E(void* event) { return *static_cast<XEvent*>(event); }

int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

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

// The error code of the last failed request on the connection (0: none), cleared.
int TakeError(Display* display) {
  XSync(display, False);
  std::lock_guard<std::mutex> guard(gErrorLock);
  for (auto& entry : gOurDisplays) {
    if (entry.first == display) return std::exchange(entry.second, 0);
  }
  return 0;
}

// Waits until the connection has input or the time is over.
void WaitForEvents(Display* display, int ms) {
  pollfd fd{ConnectionNumber(display), POLLIN, 0};
  poll(&fd, 1, ms);
}

bool SameFormat(const Visual* visual, int depth) {
  return visual != nullptr && visual->c_class == TrueColor && (depth == 24 || depth == 32) &&
         visual->red_mask == 0xFF0000 && visual->green_mask == 0xFF00 && visual->blue_mask == 0xFF;
}

// Copies `area` of the bitmap to (destX, destY) of the drawable. The pixel
// words are 0xAARRGGBB, which a 24/32-bit TrueColor visual with these masks
// takes as they are; other visuals are refused.
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

constexpr PackedPixel kPanel = PackPixel(255, 240, 240, 240);
constexpr PackedPixel kInk = PackPixel(255, 0, 0, 0);
constexpr PackedPixel kGreyInk = PackPixel(255, 144, 144, 144);
constexpr PackedPixel kHighlight = PackPixel(255, 51, 153, 255);
constexpr PackedPixel kHighlightInk = PackPixel(255, 255, 255, 255);
constexpr PackedPixel kFrame = PackPixel(255, 112, 112, 112);
constexpr PackedPixel kFocusFrame = PackPixel(255, 0, 120, 215);
constexpr PackedPixel kButtonFace = PackPixel(255, 225, 225, 225);
constexpr PackedPixel kButtonDown = PackPixel(255, 204, 228, 247);

void Fill(LICE_IBitmap* bitmap, const PixelRect& r, PackedPixel color) {
  FillBitmapRect(bitmap, r.left, r.top, r.right - r.left, r.bottom - r.top, color, 1.0f, BlendCopy);
}

void Frame(LICE_IBitmap* bitmap, const PixelRect& r, PackedPixel color, int thickness) {
  const int w = r.right - r.left, h = r.bottom - r.top;
  FillBitmapRect(bitmap, r.left, r.top, w, thickness, color, 1.0f, BlendCopy);
  FillBitmapRect(bitmap, r.left, r.bottom - thickness, w, thickness, color, 1.0f, BlendCopy);
  FillBitmapRect(bitmap, r.left, r.top, thickness, h, color, 1.0f, BlendCopy);
  FillBitmapRect(bitmap, r.right - thickness, r.top, thickness, h, color, 1.0f, BlendCopy);
}

int TextWidth(LICE_IFont* font, const std::string& text) {
  if (font == nullptr || text.empty()) return 0;
  PixelRect extent{};
  font->DrawString(nullptr, text.c_str(), static_cast<int>(text.size()), &extent,
                   DrawTextCalcRect | DrawTextSingleLine);
  return extent.right;
}

void DrawLabel(LICE_IFont* font, LICE_IBitmap* bitmap, const std::string& text, PixelRect r, int format,
               PackedPixel color) {
  if (font == nullptr || text.empty()) return;
  font->SetInkColor(color);
  font->DrawString(bitmap, text.c_str(), static_cast<int>(text.size()), &r,
                   format | DrawTextVCenter | DrawTextSingleLine);
}

// A tick in the box at (x, y), 10 pixels wide.
void DrawCheckMark(LICE_IBitmap* bitmap, int x, int y, PackedPixel color) {
  for (int i = 0; i < 3; ++i) FillBitmapRect(bitmap, x + i, y + 4 + i, 2, 2, color, 1.0f, BlendCopy);
  for (int i = 0; i < 6; ++i) FillBitmapRect(bitmap, x + 3 + i, y + 5 - i, 2, 2, color, 1.0f, BlendCopy);
}

TextStyle DialogStyle() {
  TextStyle style;
  style.size = 14;
  style.alignment = kAlignNear;
  return style;
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

IGraphicsX11::IGraphicsX11(IPlugBase* plug, int width, int height, int fps) : IGraphics(plug, width, height, fps) {}

IGraphicsX11::~IGraphicsX11() { CloseEditorWindow(); }

// Window

void* IGraphicsX11::OpenEditorWindow(void* parent) {
  int x = 0, y = 0;
  unsigned int width = static_cast<unsigned int>(std::max(Width(), 1));
  unsigned int height = static_cast<unsigned int>(std::max(Height(), 1));
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
  MarkAllDirty();
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
  const PixelRect visible = RectIntersection(area, PixelRect{0, 0, Width(), Height()});
  const bool shown = RectIsEmpty(visible) ||
                     PutPixels(D(mDisplay), mWindow, G(mGC), static_cast<Visual*>(mVisual), mDepth, Surface(),
                               visible, visible.left, visible.top, mPresentPixels);
  XFlush(D(mDisplay));
  return shown;
}

void IGraphicsX11::SetEditorSize(int width, int height) {
  if (width == Width() && height == Height()) return;
  const int dw = width - Width();
  const int dh = height - Height();
  // The box's control is about to be deleted with the others.
  DestroyTextEntry();
  IGraphics::SetEditorSize(width, height);
  if (mWindow == 0) return;
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
  const PixelRect all{0, 0, Width(), Height()};
  if (mRepaintAll) {
    mRepaintAll = false;
    if (NumControls() > 0) {
      PaintArea(all);
      mExposed = PixelRect{};
    } else {
      mExposed = all;
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
  if (code >= 0 && KeyAt(key.x, key.y, code)) return;
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
        if (mGrabbed && mEntryBox == 0) DragTo(e.xmotion.x, e.xmotion.y, mods);
      } else if (HoverAt(e.xmotion.x, e.xmotion.y, mods)) {
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
        WheelAt(b.x, b.y, ModifiersOf(b.state, 0, true), b.button == Button4 ? 1 : -1);
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
        if (b.button == Button1 && DoubleClickAt(b.x, b.y, mods)) GrabPointer(b.time);
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
      PressAt(b.x, b.y, mods);
      return;
    }
    case ButtonRelease: {
      const XButtonEvent& b = e.xbutton;
      if (b.button > Button3) return;
      UngrabPointer(b.time);
      ReleaseAt(b.x, b.y, ModifiersOf(b.state, b.button, false));
      return;
    }
    default:
      return;
  }
}

// Text entry

void IGraphicsX11::BeginTextEntry(IControl* control, const TextStyle& style, const PixelRect& rect,
                                  const char* text, ParamRecord* param) {
  if (control == nullptr || mEntryBox != 0 || mWindow == 0) return;
  Display* display = D(mDisplay);
  const int width = std::max(rect.right - rect.left + 1, 1);
  const int height = std::max(rect.bottom - rect.top + 1, 1);
  XSetWindowAttributes wa;
  std::memset(&wa, 0, sizeof wa);
  wa.background_pixmap = 0;
  wa.event_mask = kEntryEvents;
  const Window box = XCreateWindow(display, mWindow, rect.left, rect.top, static_cast<unsigned>(width),
                                   static_cast<unsigned>(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                                   CWBackPixmap | CWEventMask, &wa);
  if (box == 0) return;
  mEntryBox = box;
  mEntryGC = XCreateGC(display, box, 0, nullptr);
  mEntryStyle = style;
  mEntryRect = PixelRect{rect.left, rect.top, rect.left + width, rect.top + height};
  mEntryText = text != nullptr ? text : "";
  mEntrySelected = true;  // typing replaces the initial text
  mEntryControl = control;
  mEntryParam = param;
  mEntryState = EntryIdle;
  XMapRaised(display, box);
  int revert = 0;
  Window focus = 0;
  XGetInputFocus(display, &focus, &revert);
  mEntryPreviousFocus = focus;
  XSetInputFocus(display, box, RevertToParent, CurrentTime);
  // Selected after taking the focus: that first focus is not the box's own
  // (on Windows it does not pass through the box's procedure either), so
  // the state stays idle and a click into the editor commits.
  XSelectInput(display, box, kEntryEvents | FocusChangeMask);
  DrawTextEntry();
  // Typing may start at once: the keyboard must be the box's first.
  XSync(display, False);
}

void IGraphicsX11::DrawTextEntry() {
  if (mEntryBox == 0 || mDisplay == nullptr) return;
  const int width = mEntryRect.right - mEntryRect.left;
  const int height = mEntryRect.bottom - mEntryRect.top;
  LICE_MemBitmap pixels(width, height);
  if (pixels.PixelBuffer() == nullptr) return;
  const PixelRect all{0, 0, width, height};
  Fill(&pixels, all, PackPixel(255, mEntryStyle.entryBackground.red, mEntryStyle.entryBackground.green,
                               mEntryStyle.entryBackground.blue));
  LICE_IFont* font = FontFor(mEntryStyle);
  const int textWidth = TextWidth(font, mEntryText);
  int x = 2;
  if (mEntryStyle.alignment == kAlignCenter) x = (width - textWidth) / 2;
  if (mEntryStyle.alignment == kAlignFar) x = width - 2 - textWidth;
  const PackedPixel ink =
      PackPixel(255, mEntryStyle.entryText.red, mEntryStyle.entryText.green, mEntryStyle.entryText.blue);
  if (mEntrySelected && !mEntryText.empty()) {
    Fill(&pixels, PixelRect{x, 1, x + textWidth, height - 1}, kHighlight);
    DrawLabel(font, &pixels, mEntryText, PixelRect{x, 0, x + textWidth, height}, DrawTextNoClip, kHighlightInk);
  } else {
    DrawLabel(font, &pixels, mEntryText, PixelRect{x, 0, x + textWidth, height}, DrawTextNoClip, ink);
    Fill(&pixels, PixelRect{x + textWidth, 2, x + textWidth + 1, height - 2}, ink);  // the caret
  }
  std::vector<uint32_t> rows;
  PutPixels(D(mDisplay), mEntryBox, G(mEntryGC), static_cast<Visual*>(mVisual), mDepth, &pixels, all, 0, 0, rows);
  XFlush(D(mDisplay));
}

void IGraphicsX11::TextEntryKey(void* keyEvent) {
  XKeyEvent& key = *static_cast<XKeyEvent*>(keyEvent);
  char typed[16] = {0};
  KeySym sym = 0;
  const int count = XLookupString(&key, typed, sizeof typed, &sym, nullptr);
  if (sym == XK_Return || sym == XK_KP_Enter) {
    mEntryState = EntryCommit;
    return;
  }
  if (sym == XK_Escape) {
    mEntryState = EntryCancel;
    return;
  }
  if (sym == XK_BackSpace) {
    if (mEntrySelected)
      mEntryText.clear();
    else if (!mEntryText.empty())
      mEntryText.pop_back();
    mEntrySelected = false;
    DrawTextEntry();
    return;
  }
  const int limit = mEntryControl != nullptr && mEntryControl->TextEntryLength() > 0
                        ? std::min(mEntryControl->TextEntryLength(), kEntryHardLimit)
                        : kEntryHardLimit;
  for (int i = 0; i < count; ++i) {
    const int c = static_cast<unsigned char>(typed[i]);
    if (c < 32 || c > 126 || !EntryAcceptsChar(mEntryParam, c)) continue;
    if (mEntrySelected) {
      mEntryText.clear();
      mEntrySelected = false;
    }
    if (static_cast<int>(mEntryText.size()) >= limit) continue;
    mEntryText.push_back(static_cast<char>(c));
  }
  DrawTextEntry();
}

void IGraphicsX11::DestroyTextEntry() {
  if (mEntryBox == 0) return;
  Display* display = D(mDisplay);
  const Window box = mEntryBox;
  mEntryBox = 0;
  mEntryControl = nullptr;
  mEntryParam = nullptr;
  mEntryState = EntryIdle;
  // The keyboard goes back to whoever had it, if the box still has it.
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(display, &focus, &revert);
  if (focus == box) XSetInputFocus(display, mEntryPreviousFocus, RevertToParent, CurrentTime);
  if (mEntryGC != nullptr) XFreeGC(display, G(mEntryGC));
  mEntryGC = nullptr;
  XDestroyWindow(display, box);
  XFlush(display);
}

void IGraphicsX11::CommitOrCancelTextEntry() {
  IControl* control = mEntryControl;
  ParamRecord* param = mEntryParam;
  const bool commit = mEntryState == EntryCommit;
  const std::string text = mEntryText.substr(0, kEntryReadLimit);
  if (commit) ApplyEnteredText(control, param, text.c_str());
  DestroyTextEntry();
}

// Menus

PopupMenu* IGraphicsX11::RunPopupMenu(PopupMenu& menu, const PixelRect& rect) {
  DropMouseCapture();
  if (mWindow == 0) return nullptr;
  Display* display = D(mDisplay);
  // The menu takes the pointer from the press that opened it.
  if (mGrabbed) UngrabPointer(CurrentTime);
  const std::vector<PopupMenuEntry> entries = menu.Entries();
  if (entries.empty()) return nullptr;

  // Submenus are shown in place, their items indented under their title.
  TextStyle style = DialogStyle();
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

// Message boxes

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
  if (display == nullptr) return 0;
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
  static const Button kOk[] = {{"OK", 1, 0}};
  static const Button kOkCancel[] = {{"OK", 1, 0}, {"Cancel", 2, 0}};
  static const Button kAbortRetryIgnore[] = {{"Abort", 3, 'a'}, {"Retry", 4, 'r'}, {"Ignore", 5, 'i'}};
  static const Button kYesNoCancel[] = {{"Yes", 6, 'y'}, {"No", 7, 'n'}, {"Cancel", 2, 0}};
  static const Button kYesNo[] = {{"Yes", 6, 'y'}, {"No", 7, 'n'}};
  static const Button kRetryCancel[] = {{"Retry", 4, 'r'}, {"Cancel", 2, 0}};
  const Button* buttons = kOk;
  int count = 1;
  switch (type & 0xF) {
    case 1: buttons = kOkCancel; count = 2; break;
    case 2: buttons = kAbortRetryIgnore; count = 3; break;
    case 3: buttons = kYesNoCancel; count = 3; break;
    case 4: buttons = kYesNo; count = 2; break;
    case 5: buttons = kRetryCancel; count = 2; break;
    default: break;
  }
  // Escape and the close box answer Cancel where there is one, OK where it
  // is the only button, and nothing otherwise (Windows disables closing).
  int escapeAnswer = count == 1 ? buttons[0].answer : 0;
  for (int i = 0; i < count; ++i)
    if (buttons[i].answer == 2) escapeAnswer = 2;
  int focus = (type >> 8) & 0xF;  // the default button
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
          if (escapeAnswer != 0) answer = escapeAnswer;
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
        if (static_cast<Atom>(e.xclient.data.l[0]) == deleteWindow && escapeAnswer != 0) answer = escapeAnswer;
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

// Browser, folders, images

bool IGraphicsX11::LaunchUrl(const char* address, const char* caption, const char* confirmation,
                             const char* error) {
  if (confirmation != nullptr && ShowMessage(confirmation, caption, 4 /* yes/no */) != 6 /* yes */) return false;
  if (address != nullptr && address[0] != '\0' && StartOpener(address)) return true;
  if (error != nullptr) ShowMessage(error, caption, 0 /* OK */);
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
