#include <windows.h>

#include <shellapi.h>
#include <wininet.h>

#include "graphics/IGraphicsWin.h"

#include <cstring>
#include <vector>

#include "graphics/IControl.h"
#include "platform/Module.h"
#include "plugin/IPlugBase.h"
#include "render/PngImage.h"

namespace {
// Messages of Windows 8.1 and 10 (numbered here: older headers lack them).
constexpr UINT kDpiChanged = 0x02E0;
constexpr UINT kDpiChangedAfterParent = 0x02E3;
}  // namespace

namespace {

const char kWindowClass[] = "IPlugWndClass";
const UINT_PTR kTimerId = 2;
const int kEntryChildId = 99;
const int kEntryReadBytes = 32;  // the box's text is read with its terminator

// Process-wide, used only on threads that own editor windows.
int gOpenWindows = 0;
double gRepaintRate = IGraphics::kFramesPerSecond;
// The class could not be unregistered while its last window was still being
// destroyed (by the host); done at the next chance.
bool gUnregisterPending = false;

void UnregisterWindowClass(HINSTANCE instance) {
  WNDCLASSA info;
  gUnregisterPending = !UnregisterClassA(kWindowClass, instance) && GetClassInfoA(instance, kWindowClass, &info);
}

HWND H(void* handle) { return static_cast<HWND>(handle); }

COLORREF WindowsColor(const ArgbColor& c) {
  return static_cast<COLORREF>((c.red & 0xFF) | ((c.green & 0xFF) << 8) | ((c.blue & 0xFF) << 16));
}

MouseModifiers ModifiersOf(WPARAM wParam) {
  MouseModifiers mods;
  mods.left = (wParam & MK_LBUTTON) != 0;
  mods.right = (wParam & MK_RBUTTON) != 0;
  mods.shift = (wParam & MK_SHIFT) != 0;
  mods.control = (wParam & MK_CONTROL) != 0;
  mods.alt = GetKeyState(VK_MENU) < 0;
  return mods;
}

// The editor's key code of a virtual key, or -1.
int KeyCodeOf(WPARAM key) {
  switch (key) {
    case VK_SPACE: return kKeySpace;
    case VK_UP: return kKeyUp;
    case VK_DOWN: return kKeyDown;
    case VK_LEFT: return kKeyLeft;
    case VK_RIGHT: return kKeyRight;
    default: break;
  }
  if (key >= '0' && key <= '9') return kKeyDigit0 + static_cast<int>(key - '0');
  if (key >= 'A' && key <= 'Z') return kKeyLetterA + static_cast<int>(key - 'A');
  return -1;
}

UINT MenuFlagsOf(int32_t flags) {
  UINT out = 0;
  if (flags & PopupMenuItem::kGrayed) out |= MF_GRAYED;
  if (flags & PopupMenuItem::kDisabled) out |= MF_DISABLED;
  if (flags & PopupMenuItem::kChecked) out |= MF_CHECKED;
  return out;
}

// Builds the Windows menu from the listing, which carries the depth-first
// numbering; a submenu that cannot be made is left out with its items.
HMENU BuildMenu(const PopupMenu& menu) {
  HMENU top = CreatePopupMenu();
  if (top == nullptr) return nullptr;
  struct Level {
    HMENU handle;
    std::string label;  // the title it is appended under in its parent
  };
  std::vector<Level> open{{top, std::string()}};
  int skipBelow = -1;  // depth of a submenu that failed; its items are dropped
  auto closeLevel = [&open]() {
    Level done = open.back();
    open.pop_back();
    if (!AppendMenuA(open.back().handle, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(done.handle),
                     done.label.c_str()))
      DestroyMenu(done.handle);
  };
  for (const PopupMenuEntry& entry : menu.Entries()) {
    while (static_cast<int>(open.size()) > entry.depth + 1) closeLevel();
    if (skipBelow >= 0) {
      if (entry.depth > skipBelow) continue;
      skipBelow = -1;
    }
    if (static_cast<int>(open.size()) != entry.depth + 1) continue;
    HMENU into = open.back().handle;
    if (entry.flags & PopupMenuItem::kSeparator) {
      AppendMenuA(into, MF_SEPARATOR, 0, nullptr);
    } else if (entry.opensSubmenu) {
      HMENU sub = CreatePopupMenu();
      if (sub == nullptr)
        skipBelow = entry.depth;
      else
        open.push_back(Level{sub, entry.label});
    } else {
      AppendMenuA(into, MF_STRING | MenuFlagsOf(entry.flags), static_cast<UINT_PTR>(entry.command),
                  entry.label.c_str());
    }
  }
  while (open.size() > 1) closeLevel();
  return top;
}

}  // namespace

struct IGraphicsWin::Procs {
  static LRESULT CALLBACK EditorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK TextEntryWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT Editor(IGraphicsWin* g, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static void Tick(IGraphicsWin* g, HWND window);
};

int IGraphicsWin::OpenWindowCount() { return gOpenWindows; }

IGraphicsWin::IGraphicsWin(IPlugBase* plug, int width, int height, int fps)
    : IGraphics(plug, width, height, fps), mModule(PluginModuleHandle()) {}

IGraphicsWin::~IGraphicsWin() { CloseEditorWindow(); }

static HINSTANCE InstanceOf(void* module) {
  return module != nullptr ? static_cast<HINSTANCE>(module) : GetModuleHandleA(nullptr);
}

// Window

void* IGraphicsWin::OpenEditorWindow(void* parent) {
  if (mWindow == nullptr && parent != nullptr) RefreshScale(parent);
  int x = 0, y = 0, width = WindowWidth(), height = WindowHeight();
  mParent = parent;
  if (mWindow != nullptr) {
    // Reopened without closing: the new window takes the old one's place
    // relative to the (new) parent's top-left corner. Child positions count
    // from the client area, so that is the corner used, not the frame's.
    POINT origin{0, 0};
    ClientToScreen(H(parent), &origin);
    RECT windowRect{};
    GetWindowRect(H(mWindow), &windowRect);
    CloseEditorWindow();
    x = windowRect.left - origin.x;
    y = windowRect.top - origin.y;
    width = windowRect.right - windowRect.left;
    height = windowRect.bottom - windowRect.top;
  }
  HINSTANCE instance = InstanceOf(mModule);
  if (gOpenWindows == 0) {
    WNDCLASSA wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &Procs::EditorWindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kWindowClass;
    RegisterClassA(&wc);
  }
  ++gOpenWindows;
  gRepaintRate = FPS() > 0 ? FPS() : kFramesPerSecond;
  HWND window = CreateWindowExA(0, kWindowClass, "IPlug", WS_CHILD | WS_VISIBLE, x, y, width, height, H(parent),
                                nullptr, instance, this);
  if (window == nullptr) {
    if (--gOpenWindows == 0) UnregisterWindowClass(instance);
  } else {
    mWindow = window;
    AdoptWindowThread();
  }
  if (window != nullptr || gOpenWindows > 0)
    MarkAllDirty();
  return window;
}

void IGraphicsWin::CloseEditorWindow() {
  if (gUnregisterPending && gOpenWindows == 0) UnregisterWindowClass(InstanceOf(mModule));
  if (mWindow == nullptr) return;
  DestroyTextEntry();
  HWND window = H(mWindow);
  RestoreCursor();
  // Cleared first: messages sent while it goes away take the default path.
  mWindow = nullptr;
  DestroyWindow(window);
  WindowGone();
}

void IGraphicsWin::WindowGone() {
  if (gOpenWindows-- == 1) UnregisterWindowClass(InstanceOf(mModule));
  ReleaseWindowThread();
}

void IGraphicsWin::WindowDestroyedByOthers() {
  // The host destroyed its window (and so ours, with the box) before asking
  // us to close: forget the handles and keep the counter right.
  if (mEntryFont != nullptr) DeleteObject(static_cast<HFONT>(mEntryFont));
  mEntryFont = nullptr;
  mEntryBox = nullptr;
  mEntryControl = nullptr;
  mEntryParam = nullptr;
  mEntryPreviousProc = 0;
  mEntryState = EntryIdle;
  RestoreCursor();
  mWindow = nullptr;
  WindowGone();
}

bool IGraphicsWin::PresentArea(const PixelRect& area) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(H(mWindow), &ps);
  LICE_SysBitmap* surface = Surface();
  if (dc != nullptr && surface != nullptr && surface->DrawingDC() != nullptr)
    BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top,
           static_cast<HDC>(surface->DrawingDC()), area.left, area.top, SRCCOPY);
  EndPaint(H(mWindow), &ps);
  return true;
}

void IGraphicsWin::SetEditorSize(int width, int height) {
  if (width == Width() && height == Height()) return;
  const int oldWidth = WindowWidth(), oldHeight = WindowHeight();
  // The box's control is about to be deleted with the others.
  DestroyTextEntry();
  IGraphics::SetEditorSize(width, height);
  ResizeWindows(WindowWidth() - oldWidth, WindowHeight() - oldHeight);
}

void IGraphicsWin::WindowScaleChanged(int oldWidth, int oldHeight) {
  // The box sat over the old pixels.
  DestroyTextEntry();
  ResizeWindows(WindowWidth() - oldWidth, WindowHeight() - oldHeight);
}

void IGraphicsWin::ResizeWindows(int dw, int dh) {
  if (mWindow == nullptr) return;
  HWND window = H(mWindow);
  RECT r{};
  GetWindowRect(window, &r);
  auto isPlainChild = [](HWND w) {
    return (GetWindowLongA(w, GWL_STYLE) & WS_CHILD) != 0 && (GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_MDICHILD) == 0;
  };
  HWND parent = nullptr, grand = nullptr;
  RECT pr{}, gr{};
  if (isPlainChild(window)) {
    parent = GetParent(window);
    if (parent != nullptr) {
      GetWindowRect(parent, &pr);
      if (isPlainChild(parent)) {
        grand = GetParent(parent);
        if (grand != nullptr) GetWindowRect(grand, &gr);
      }
    }
  }
  const UINT flags = SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE;
  SetWindowPos(window, nullptr, 0, 0, r.right - r.left + dw, r.bottom - r.top + dh, flags);
  const int kind = Plug() != nullptr ? Plug()->PluginApiKind() : 0;
  if (kind != 1 && kind != 3) {
    if (parent != nullptr) SetWindowPos(parent, nullptr, 0, 0, pr.right - pr.left + dw, pr.bottom - pr.top + dh, flags);
    if (grand != nullptr) SetWindowPos(grand, nullptr, 0, 0, gr.right - gr.left + dw, gr.bottom - gr.top + dh, flags);
  }
  RECT all{0, 0, WindowWidth(), WindowHeight()};
  InvalidateRect(window, &all, FALSE);
}

double IGraphicsWin::SystemScale(void* parent) {
  // Windows 10 1607 and later know each window's DPI; before that only the
  // screen's. Looked up at run time so the DLL loads on older Windows.
  typedef UINT(WINAPI * DpiForWindowFunc)(HWND);
  HMODULE user = GetModuleHandleA("user32.dll");
  DpiForWindowFunc dpiForWindow =
      user != nullptr ? reinterpret_cast<DpiForWindowFunc>(reinterpret_cast<void*>(GetProcAddress(user, "GetDpiForWindow")))
                      : nullptr;
  UINT dpi = 0;
  if (parent != nullptr && dpiForWindow != nullptr) dpi = dpiForWindow(H(parent));
  if (dpi == 0) {
    HDC screen = GetDC(nullptr);
    if (screen != nullptr) {
      dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSX));
      ReleaseDC(nullptr, screen);
    }
  }
  return dpi > 0 ? dpi / 96.0 : 0.0;
}

// Text entry

void IGraphicsWin::BeginTextEntry(IControl* control, const TextStyle& logicalStyle, const PixelRect& logicalRect,
                                  const char* text, ParamRecord* param) {
  if (control == nullptr || mEntryBox != nullptr || mWindow == nullptr) return;
  // The box sits over the control's window pixels, its text at the scaled size.
  const PixelRect rect = ToWindowRect(logicalRect);
  TextStyle style = logicalStyle;
  style.size = ScaledTextSize(logicalStyle.size);
  DWORD boxStyle = WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | ES_MULTILINE;
  if (style.alignment == kAlignCenter) boxStyle |= ES_CENTER;
  if (style.alignment == kAlignFar) boxStyle |= ES_RIGHT;
  HWND box = CreateWindowExA(0, "EDIT", text != nullptr ? text : "", boxStyle, rect.left, rect.top,
                             rect.right - rect.left + 1, rect.bottom - rect.top + 1, H(mWindow),
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEntryChildId)), InstanceOf(mModule),
                             nullptr);
  if (box == nullptr) return;
  char face[kFaceSize];
  std::memcpy(face, style.face, sizeof face);
  face[kFaceSize - 1] = '\0';
  HFONT font = CreateFontA(style.size, 0, 0, 0, style.weight == kTextBold ? FW_BOLD : 0, style.weight == kTextItalic,
                           FALSE, FALSE, 0, 0, 0, 0, 0, face);
  SendMessageA(box, EM_LIMITTEXT, static_cast<WPARAM>(control->TextEntryLength()), 0);
  SendMessageA(box, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
  SendMessageA(box, EM_SETSEL, 0, -1);
  // This first focus does not pass through our procedure: the state stays
  // idle, so the editor keeps repainting and a click into it commits.
  SetFocus(box);
  mEntryBox = box;
  mEntryFont = font;
  mEntryParam = param;
  mEntryControl = control;
  mEntryState = EntryIdle;
  mEntryPreviousProc = GetWindowLongPtrA(box, GWLP_WNDPROC);
  SetWindowLongPtrA(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Procs::TextEntryWindowProc));
}

void IGraphicsWin::DestroyTextEntry() {
  if (mEntryBox == nullptr) return;
  HWND box = H(mEntryBox);
  // The edit control's own procedure must see its destruction.
  SetWindowLongPtrA(box, GWLP_WNDPROC, mEntryPreviousProc);
  mEntryBox = nullptr;
  mEntryControl = nullptr;
  mEntryParam = nullptr;
  mEntryPreviousProc = 0;
  mEntryState = EntryIdle;
  DestroyWindow(box);
  if (mEntryFont != nullptr) DeleteObject(static_cast<HFONT>(mEntryFont));
  mEntryFont = nullptr;
}

void IGraphicsWin::CommitOrCancelTextEntry() {
  IControl* control = mEntryControl;
  ParamRecord* param = mEntryParam;
  const bool commit = mEntryState == EntryCommit;
  char text[kEntryReadBytes] = {0};
  if (commit) SendMessageA(H(mEntryBox), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  text[sizeof text - 1] = '\0';
  if (commit) ApplyEnteredText(control, param, text);
  DestroyTextEntry();
}

// Menus, messages, browser, folders, images

PopupMenu* IGraphicsWin::RunPopupMenu(PopupMenu& menu, const PixelRect& rect) {
  DropMouseCapture();
  if (mWindow == nullptr) return nullptr;
  HWND window = H(mWindow);
  HMENU handle = BuildMenu(menu);
  if (handle == nullptr) return nullptr;
  POINT at{ToWindowPixel(rect.left), ToWindowPixel(rect.bottom)};
  ClientToScreen(window, &at);
  TrackPopupMenu(handle, TPM_LEFTBUTTON, at.x, at.y, 0, window, nullptr);
  PopupMenu* chosen = nullptr;
  MSG msg;
  if (PeekMessageA(&msg, window, WM_COMMAND, WM_COMMAND, PM_REMOVE) && HIWORD(msg.wParam) == 0) {
    int position = -1;
    chosen = menu.FindCommand(LOWORD(msg.wParam), &position);
    if (chosen != nullptr) chosen->SetChosenIndex(position);
  }
  DestroyMenu(handle);
  RECT all{0, 0, WindowWidth(), WindowHeight()};
  InvalidateRect(window, &all, FALSE);
  return chosen;
}

// ShowMessage hands its type to MessageBoxA and answers what it answers.
static_assert(kMessageOk == MB_OK && kMessageOkCancel == MB_OKCANCEL &&
                  kMessageAbortRetryIgnore == MB_ABORTRETRYIGNORE && kMessageYesNoCancel == MB_YESNOCANCEL &&
                  kMessageYesNo == MB_YESNO && kMessageRetryCancel == MB_RETRYCANCEL &&
                  kMessageButtonsMask == MB_TYPEMASK,
              "message box buttons");
static_assert(kMessageIconError == MB_ICONERROR && kMessageIconQuestion == MB_ICONQUESTION &&
                  kMessageIconWarning == MB_ICONWARNING && kMessageIconInformation == MB_ICONINFORMATION,
              "message box icons");
static_assert(kMessageDefaultButton2 == MB_DEFBUTTON2 && kMessageDefaultButton3 == MB_DEFBUTTON3 &&
                  kMessageDefaultMask == MB_DEFMASK,
              "message box default buttons");
static_assert(kAnswerOk == IDOK && kAnswerCancel == IDCANCEL && kAnswerAbort == IDABORT && kAnswerRetry == IDRETRY &&
                  kAnswerIgnore == IDIGNORE && kAnswerYes == IDYES && kAnswerNo == IDNO,
              "message box answers");

int IGraphicsWin::ShowMessage(const char* text, const char* caption, int type) {
  if (mMessageOwner == nullptr && mParent != nullptr) {
    HWND owner = H(mParent);
    while (HWND up = GetParent(owner)) owner = up;
    mMessageOwner = owner;
  }
  return MessageBoxA(H(mMessageOwner), text, caption, static_cast<UINT>(type));
}

bool IGraphicsWin::LaunchUrl(const char* address, const char* caption, const char* confirmation,
                             const char* error) {
  HWND window = H(mWindow);
  if (confirmation != nullptr && MessageBoxA(window, confirmation, caption, MB_YESNO) != IDYES) return false;
  DWORD state = 0;
  if (address != nullptr && InternetGetConnectedState(&state, 0) &&
      reinterpret_cast<INT_PTR>(ShellExecuteA(window, "open", address, nullptr, nullptr, SW_SHOWNORMAL)) > 32)
    return true;
  if (error != nullptr) MessageBoxA(window, error, caption, MB_OK);
  return false;
}

void IGraphicsWin::PluginFolder(std::string& folder) {
  folder.clear();
  char name[256];
  const DWORD length = GetModuleFileNameA(InstanceOf(mModule), name, sizeof name);
  if (length == 0 || length >= sizeof name) return;
  const std::string path(name, length);
  const size_t slash = path.find_last_of('\\');
  if (slash == std::string::npos || slash + 1 == path.size()) return;
  folder = path.substr(0, slash + 1);
}

void IGraphicsWin::HostFolder(std::string& folder) {
  folder.clear();
  char name[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, name, sizeof name);
  if (length == 0 || length >= sizeof name) return;
  const std::string path(name, length);
  const size_t slash = path.find_last_of('\\');
  if (slash != std::string::npos) folder = path.substr(0, slash + 1);
}

void IGraphicsWin::HideCursor() {
  if (mCursorHidden) return;
  POINT p{};
  GetCursorPos(&p);
  mCursorX = p.x;
  mCursorY = p.y;
  ShowCursor(FALSE);
  mCursorHidden = true;
}

void IGraphicsWin::RestoreCursor() {
  if (!mCursorHidden) return;
  SetCursorPos(mCursorX, mCursorY);
  ShowCursor(TRUE);
  mCursorHidden = false;
}

LICE_IBitmap* IGraphicsWin::LoadImageResource(int id, const char* name) { return ::LoadImageResource(id, name); }

// Window procedures

LRESULT CALLBACK IGraphicsWin::Procs::EditorWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CREATE) {
    const CREATESTRUCTA* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    SetTimer(window, kTimerId, static_cast<UINT>(1000.0 / gRepaintRate), nullptr);
    SetFocus(window);
    return 0;
  }
  IGraphicsWin* g = reinterpret_cast<IGraphicsWin*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (g == nullptr || window != H(g->mWindow)) return DefWindowProcA(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    g->WindowDestroyedByOthers();
    return DefWindowProcA(window, message, wParam, lParam);
  }
  if (g->mEntryBox != nullptr && g->mEntryState == EntryFocused) {
    // The box has the focus back: only a press (which cancels) counts.
    if (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN) {
      g->mEntryState = EntryCancel;
      return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }
  return Editor(g, window, message, wParam, lParam);
}

void IGraphicsWin::Procs::Tick(IGraphicsWin* g, HWND window) {
  if (g->mEntryBox != nullptr && (g->mEntryState == EntryCommit || g->mEntryState == EntryCancel)) {
    g->CommitOrCancelTextEntry();
    return;
  }
  if (g->mEntryBox != nullptr && (g->mEntryState == EntryRepainted || g->mEntryState == EntryFocused)) {
    g->mEntryState = EntryIdle;
    return;
  }
  PixelRect area{};
  if (!g->CollectDirtyArea(area)) return;
  RECT r{area.left, area.top, area.right, area.bottom};
  InvalidateRect(window, &r, FALSE);
  if (g->mEntryBox != nullptr) {
    // The box paints itself; the editor must not paint over it.
    if (g->mEntryControl != nullptr) {
      const PixelRect& c = g->mEntryControl->Rect();
      RECT cr{c.left, c.top, c.right, c.bottom};
      ValidateRect(window, &cr);
    }
    UpdateWindow(window);
    g->mEntryState = EntryRepainted;
  } else {
    UpdateWindow(window);
  }
}

LRESULT IGraphicsWin::Procs::Editor(IGraphicsWin* g, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const int x = static_cast<short>(LOWORD(lParam));
  const int y = static_cast<short>(HIWORD(lParam));
  switch (message) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      return 0;

    case WM_PAINT: {
      RECT r;
      if (GetUpdateRect(window, &r, FALSE)) {
        g->PaintArea(g->ToLogicalRect(PixelRect{r.left, r.top, r.right, r.bottom}));
        // With nothing to present the area must still count as painted, or
        // Windows would ask again at once.
        ValidateRect(window, &r);
      }
      return 0;
    }

    case WM_CLOSE:
      g->CloseEditorWindow();
      return 0;

    case WM_KEYDOWN: {
      const int key = KeyCodeOf(wParam);
      if (key >= 0) {
        POINT p{};
        GetCursorPos(&p);
        ScreenToClient(window, &p);
        if (g->KeyAt(g->ToLogical(p.x), g->ToLogical(p.y), key)) return 0;
      }
      // Keys the editor does not use go to the host's main window.
      if (HWND root = GetAncestor(window, GA_ROOT)) SendMessageA(root, WM_KEYDOWN, wParam, lParam);
      return DefWindowProcA(window, message, wParam, lParam);
    }
    case WM_KEYUP:
      if (HWND root = GetAncestor(window, GA_ROOT)) SendMessageA(root, WM_KEYUP, wParam, lParam);
      return DefWindowProcA(window, message, wParam, lParam);

    case WM_TIMER:
      if (wParam == kTimerId) Tick(g, window);
      return 0;

    case WM_CTLCOLOREDIT: {
      if (g->mEntryControl == nullptr) return 0;
      HDC dc = reinterpret_cast<HDC>(wParam);
      const TextStyle& style = g->mEntryControl->Style();
      SetBkColor(dc, WindowsColor(style.entryBackground));
      SetTextColor(dc, WindowsColor(style.entryText));
      SetBkMode(dc, OPAQUE);
      // The brush fills the box beyond the text in the same colour.
      SetDCBrushColor(dc, WindowsColor(style.entryBackground));
      return reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
    }

    case WM_MOUSEMOVE: {
      const MouseModifiers mods = ModifiersOf(wParam);
      if (mods.left || mods.right) {
        if (GetCapture() == window && g->mEntryBox == nullptr) g->DragTo(g->ToLogical(x), g->ToLogical(y), mods);
      } else if (g->HoverAt(g->ToLogical(x), g->ToLogical(y), mods)) {
        TRACKMOUSEEVENT track{};
        track.cbSize = sizeof track;
        track.dwFlags = TME_LEAVE;
        track.hwndTrack = window;
        track.dwHoverTime = HOVER_DEFAULT;
        TrackMouseEvent(&track);
      }
      return 0;
    }

    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      if (g->mEntryBox != nullptr) {
        g->mEntryState = EntryCommit;
      } else {
        SetFocus(window);
        SetCapture(window);
        g->PressAt(g->ToLogical(x), g->ToLogical(y), ModifiersOf(wParam));
      }
      return 0;

    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      ReleaseCapture();
      g->ReleaseAt(g->ToLogical(x), g->ToLogical(y), ModifiersOf(wParam));
      return 0;

    case WM_LBUTTONDBLCLK:
      if (g->DoubleClickAt(g->ToLogical(x), g->ToLogical(y), ModifiersOf(wParam))) SetCapture(window);
      return 0;

    case WM_MOUSEWHEEL: {
      if (g->mEntryBox != nullptr) {
        g->mEntryState = EntryCancel;
        return 0;
      }
      RECT r{};
      GetWindowRect(window, &r);
      const int notches = static_cast<short>(HIWORD(wParam)) / WHEEL_DELTA;  // a partial notch is 0
      g->WheelAt(g->ToLogical(x - r.left), g->ToLogical(y - r.top), ModifiersOf(LOWORD(wParam)), notches);
      return 0;
    }

    case kDpiChanged:
      // The host's window moved to a screen of another scale (top-level
      // windows are told the new DPI, children after their parent).
      g->SetScaleFrom(IGraphics::kScaleSystem, LOWORD(wParam) / 96.0);
      return 0;
    case kDpiChangedAfterParent:
      g->SetScaleFrom(IGraphics::kScaleSystem, g->SystemScale(window));
      return 0;

    case WM_MOUSELEAVE:
      g->HoverEnded();
      return 0;

    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

LRESULT CALLBACK IGraphicsWin::Procs::TextEntryWindowProc(HWND window, UINT message, WPARAM wParam,
                                                          LPARAM lParam) {
  HWND parent = GetParent(window);
  IGraphicsWin* g = parent != nullptr ? reinterpret_cast<IGraphicsWin*>(GetWindowLongPtrA(parent, GWLP_USERDATA))
                                      : nullptr;
  if (g == nullptr || window != H(g->mEntryBox)) return DefWindowProcA(window, message, wParam, lParam);
  const WNDPROC previous = reinterpret_cast<WNDPROC>(g->mEntryPreviousProc);
  switch (message) {
    case WM_SETFOCUS:
      g->mEntryState = EntryFocused;
      break;
    case WM_KILLFOCUS:
      // Leaving the box, for example for the host, commits it.
      g->mEntryState = EntryCommit;
      break;
    case WM_KEYDOWN:
      if (wParam == VK_RETURN) {
        g->mEntryState = EntryCommit;
        return 0;
      }
      if (wParam == VK_ESCAPE) {
        g->mEntryState = EntryCancel;
        return 0;
      }
      break;
    case WM_CHAR:
      // Enter already commits; its character must not become a line break.
      if (wParam == '\r' || wParam == '\n') return 0;
      if (!EntryAcceptsChar(g->mEntryParam, static_cast<int>(wParam))) return 0;
      break;
    case WM_GETDLGCODE:
      if (g->mEntryParam == nullptr) {
        LRESULT code = CallWindowProcA(previous, window, message, wParam, lParam);
        const MSG* msg = reinterpret_cast<const MSG*>(lParam);
        if (msg != nullptr && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) code |= DLGC_WANTALLKEYS;
        return code;
      }
      break;
    case WM_COMMAND:
      if (HIWORD(wParam) == 1) {
        g->mEntryState = EntryCommit;
        return 0;
      }
      break;
    default:
      break;
  }
  return CallWindowProcA(previous, window, message, wParam, lParam);
}
