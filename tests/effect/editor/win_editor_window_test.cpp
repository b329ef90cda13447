// The effect's editor in a real Windows child window (the default window
// class) inside a top-level window of this program: what reaches the screen,
// the program menu and the version menu as real popup menus, the version
// check's real message boxes, and renaming through the real edit box. The
// modal menus and boxes are answered from a second thread. Runs under Wine
// with an X server.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include "effect/editor/IQVOnlineVersionMenu.h"
#include "effect/editor/IQVPresetMenu.h"
#include "graphics/IControl.h"
#include "graphics/IGraphicsWin.h"
#include "tests/effect/editor/EditorTestSupport.h"
#include "tests/support/DialogCloser.h"
#include "tests/support/LocalHttpServer.h"

namespace edtest {
namespace {

using veltrane_test::DialogCloser;
using veltrane_test::HttpReply;
using veltrane_test::LocalHttpServer;
using veltrane_test::SeenDialog;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 584, kHeight = 390;

void PumpMessages() {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (Clock::now() > deadline) return done();
    PumpMessages();
    Sleep(5);
  }
  return true;
}

// A top-level window whose client area holds the editor exactly, put on the
// side of the screen away from the pointer so that no hover changes the
// status line and no menu opens under it.
HWND MakeHostWindow() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    wc.lpszClassName = "VeltraneEditorTestHost";
    registered = RegisterClassA(&wc) != 0;
  }
  RECT frame{0, 0, kWidth, kHeight};
  AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
  const int w = frame.right - frame.left, h = frame.bottom - frame.top;
  const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
  POINT pointer{0, 0};
  GetCursorPos(&pointer);
  const int x = pointer.x >= screenW / 2 ? 0 : screenW - w;
  const int y = pointer.y >= screenH / 2 ? 0 : screenH - h;
  HWND window = CreateWindowExA(0, "VeltraneEditorTestHost", "Editor test host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x,
                                y, w, h, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (window != nullptr) {
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    UpdateWindow(window);
  }
  return window;
}

// The child window's pixels as the screen has them, read through its DC.
std::unique_ptr<LICE_MemBitmap> CaptureWindow(HWND window) {
  HDC windowDC = GetDC(window);
  if (windowDC == nullptr) return nullptr;
  HDC memory = CreateCompatibleDC(windowDC);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = kWidth;
  info.bmiHeader.biHeight = -kHeight;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP shot = CreateDIBSection(windowDC, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  std::unique_ptr<LICE_MemBitmap> out;
  if (shot != nullptr && memory != nullptr) {
    HGDIOBJ old = SelectObject(memory, shot);
    if (BitBlt(memory, 0, 0, kWidth, kHeight, windowDC, 0, 0, SRCCOPY)) {
      GdiFlush();
      out = std::make_unique<LICE_MemBitmap>(kWidth, kHeight);
      const PackedPixel* src = static_cast<const PackedPixel*>(bits);
      for (int y = 0; y < kHeight; ++y) {
        PackedPixel* row = out->PixelBuffer() + static_cast<ptrdiff_t>(y) * out->RowSpanPixels();
        for (int x = 0; x < kWidth; ++x) row[x] = src[y * kWidth + x] | 0xFF000000u;
      }
    }
    SelectObject(memory, old);
  }
  if (shot != nullptr) DeleteObject(shot);
  if (memory != nullptr) DeleteDC(memory);
  ReleaseDC(window, windowDC);
  return out;
}

std::string ClassOf(HWND window) {
  char name[64] = {0};
  GetClassNameA(window, name, sizeof name);
  return name;
}

// What a popup menu showed and what became of it.
struct SeenMenu {
  bool found = false;
  std::vector<std::string> items;
  int checked = -1;      // the item with a check mark
  int highlighted = -1;  // the item selected just before the last key
  bool closed = false;   // the menu went away before the deadline
};

BOOL CALLBACK FindPopupMenu(HWND window, LPARAM data) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == GetCurrentProcessId() && IsWindowVisible(window) && ClassOf(window) == "#32768") {
    *reinterpret_cast<HWND*>(data) = window;
    return FALSE;
  }
  return TRUE;
}

// Answers the next popup menu of this process from a second thread (the
// thread that opened it is inside the menu's modal loop): reads its items,
// presses `moves`, waits until item `expectHighlight` is selected (when not
// -1), then presses `last` (Escape if another item is selected). If no menu
// shows up in time, ends menu mode so that the test fails instead of hanging.
class MenuDriver {
 public:
  MenuDriver(std::vector<WPARAM> moves, WPARAM last, int expectHighlight = -1)
      : moves_(std::move(moves)), last_(last), expect_(expectHighlight) {
    thread_ = std::thread([this] { Run(); });
  }
  ~MenuDriver() {
    if (thread_.joinable()) thread_.join();
  }
  SeenMenu Wait() {
    if (thread_.joinable()) thread_.join();
    return seen_;
  }

 private:
  static void Press(HWND menuWindow, WPARAM key) {
    PostMessageA(menuWindow, WM_KEYDOWN, key, 1);
    PostMessageA(menuWindow, WM_KEYUP, key, 0xC0000001);
  }
  static int Highlighted(HMENU menu) {
    for (int i = 0; i < GetMenuItemCount(menu); ++i)
      if (GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_HILITE) return i;
    return -1;
  }
  void Run() {
    auto deadline = Clock::now() + std::chrono::seconds(10);
    HWND window = nullptr;
    while (window == nullptr && Clock::now() < deadline) {
      EnumWindows(&FindPopupMenu, reinterpret_cast<LPARAM>(&window));
      if (window == nullptr) Sleep(10);
    }
    if (window == nullptr) {
      EndMenu();
      return;
    }
    seen_.found = true;
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(window, MN_GETHMENU, 0, 0, SMTO_NORMAL, 2000, &answer);
    HMENU menu = reinterpret_cast<HMENU>(answer);
    if (menu != nullptr) {
      for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        char text[256] = {0};
        GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        seen_.items.push_back(text);
        if (GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_CHECKED) seen_.checked = i;
      }
    }
    for (WPARAM key : moves_) Press(window, key);
    deadline = Clock::now() + std::chrono::seconds(3);
    if (menu != nullptr) {
      seen_.highlighted = Highlighted(menu);
      while (expect_ >= 0 && seen_.highlighted != expect_ && Clock::now() < deadline) {
        Sleep(10);
        seen_.highlighted = Highlighted(menu);
      }
    }
    // Never press on a wrong item: the version menu's other item opens the browser.
    const bool onTarget = expect_ < 0 || seen_.highlighted == expect_;
    Press(window, onTarget ? last_ : VK_ESCAPE);
    deadline = Clock::now() + std::chrono::seconds(5);
    while (IsWindow(window) && IsWindowVisible(window) && Clock::now() < deadline) Sleep(10);
    seen_.closed = !IsWindow(window) || !IsWindowVisible(window);
    if (!seen_.closed) EndMenu();
  }

  std::vector<WPARAM> moves_;
  WPARAM last_;
  int expect_;
  SeenMenu seen_;
  std::thread thread_;
};

class WinEditorWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    HostCalls().clear();
    host = MakeHostWindow();
    ASSERT_NE(host, nullptr) << "no host window (is the X server running?)";
    static const HostConnection host{&RecordingHost};
    plug = new Veltrane(&host);  // the default window class
    effect = plug->EffectRecord();
    Dispatch(effOpen);
    editor = dynamic_cast<IGraphicsWin*>(plug->Editor());
    ASSERT_NE(editor, nullptr);
    HostCalls().clear();
  }
  void TearDown() override {
    if (effect != nullptr) {
      Dispatch(effEditClose);
      Dispatch(effClose);
    }
    if (host != nullptr) DestroyWindow(host);
    PumpMessages();
  }
  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr) {
    return effect->dispatcher(effect, opcode, index, value, ptr, 0.0f);
  }
  // The check's answer comes from a worker and shows at the host's next idle
  // call, as a host idles the editor while the box is waited for.
  SeenDialog IdleUntilAnswered(DialogCloser& closer) {
    while (!closer.Finished()) {
      Dispatch(effEditIdle);
      PumpMessages();
      Sleep(5);
    }
    return closer.Wait();
  }
  HWND Child() const { return static_cast<HWND>(editor->EditorWindowHandle()); }
  IControl* Control(int position) const { return editor->GetControl(position); }
  IQVPresetMenu* PresetMenu() const { return static_cast<IQVPresetMenu*>(Control(kPresetMenu)); }
  IQVOnlineVersionMenu* VersionMenu() const { return static_cast<IQVOnlineVersionMenu*>(Control(kVersionMenu)); }

  // Nothing left for the timer to paint, and Windows has nothing pending.
  bool Painted() {
    for (int i = 0; i < editor->NumControls(); ++i)
      if (Control(i)->NeedsPaint()) return false;
    return GetUpdateRect(Child(), nullptr, FALSE) == 0;
  }
  // Opens the editor the way a host does and waits for the timer to paint it.
  void Open() {
    ASSERT_EQ(Dispatch(effEditOpen, 0, 0, host), 1);
    ASSERT_NE(Child(), nullptr);
    // The host's first idle call sets the shift indicators.
    Dispatch(effEditIdle);
    ASSERT_TRUE(PumpUntil([this] { return Painted(); })) << "the timer never painted the editor";
  }
  // A left click as Windows delivers it; a menu opened by the press runs
  // inside the first call.
  void Click(int x, int y) {
    SendMessageA(Child(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageA(Child(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
  }
  HttpEndpoint Local(int port) const { return HttpEndpoint{"127.0.0.1", port}; }

  HWND host = nullptr;
  Veltrane* plug = nullptr;
  AEffect* effect = nullptr;
  IGraphicsWin* editor = nullptr;
};

TEST_F(WinEditorWindow, TheScreenShowsTheLayoutThatThePanelPainted) {
  ASSERT_NO_FATAL_FAILURE(Open());
  EXPECT_EQ(ClassOf(Child()), "IPlugWndClass");
  EXPECT_EQ(GetParent(Child()), host);
  RECT r{};
  GetClientRect(Child(), &r);
  EXPECT_EQ(r.right, kWidth);
  EXPECT_EQ(r.bottom, kHeight);

  std::unique_ptr<LICE_MemBitmap> shot = CaptureWindow(Child());
  ASSERT_NE(shot, nullptr);
  ExpectMatchesGolden(shot.get(), "editor_window_wine.png");
  ASSERT_NE(editor->Surface(), nullptr);
  const ImageDifference d = CompareBitmaps(shot.get(), editor->Surface(), 2);
  EXPECT_EQ(d.differing, 0) << "the window differs from the drawing surface, largest " << d.largest;
}

TEST_F(WinEditorWindow, TheProgramMenuOpensOnAClickAndOnlyAChosenItemSwitches) {
  ASSERT_NO_FATAL_FAILURE(Open());
  const std::string name0 = plug->PresetName(0);
  {
    MenuDriver driver({}, VK_ESCAPE);
    Click(25, 362);
    const SeenMenu seen = driver.Wait();
    ASSERT_TRUE(seen.found) << "no popup menu appeared";
    EXPECT_TRUE(seen.closed);
    ASSERT_EQ(seen.items.size(), 32u);
    EXPECT_EQ(seen.items[0], std::string("00: ") + name0);
    char item5[64];
    std::snprintf(item5, sizeof item5, "05: %s", plug->PresetName(5));
    item5[32] = '\0';
    EXPECT_EQ(seen.items[5], item5);
    EXPECT_EQ(seen.checked, 0);
  }
  PumpMessages();
  EXPECT_EQ(plug->CurrentPresetIndex(), 0) << "dismissed: nothing changes";
  EXPECT_EQ(CountHostCalls(audioMasterUpdateDisplay), 0);
  EXPECT_EQ(plug->PresetName(0), name0);

  {
    // Down from no selection lands on the first item.
    MenuDriver driver(std::vector<WPARAM>(6, VK_DOWN), VK_RETURN, 5);
    Click(25, 362);
    const SeenMenu seen = driver.Wait();
    ASSERT_TRUE(seen.found) << "no popup menu appeared";
    EXPECT_EQ(seen.highlighted, 5);
    EXPECT_TRUE(seen.closed);
  }
  EXPECT_EQ(plug->CurrentPresetIndex(), 5);
  EXPECT_GE(CountHostCalls(audioMasterUpdateDisplay), 1);
  EXPECT_GE(CountHostCalls(audioMasterAutomate), kNumVeltraneParams);
  EXPECT_TRUE(PumpUntil([this] { return Painted() && PresetMenu()->NumberText() == "05"; }))
      << "the number box still shows " << PresetMenu()->NumberText();
  EXPECT_EQ(PresetMenu()->NameText(), std::string(plug->PresetName(5)).substr(0, 32));
}

TEST_F(WinEditorWindow, TheVersionMenuChecksOnlineAndAnswersInRealMessageBoxes) {
  ASSERT_NO_FATAL_FAILURE(Open());
  {
    LocalHttpServer server(HttpReply::Body("2003"));
    VersionMenu()->SetUpdateServer(Local(server.Port()));
    DialogCloser closer(IDOK);
    MenuDriver driver({VK_DOWN}, VK_RETURN, 0);
    Click(500, 25);
    const SeenMenu menu = driver.Wait();
    ASSERT_TRUE(menu.found) << "no popup menu appeared";
    EXPECT_EQ(menu.items, (std::vector<std::string>{"Check Online for Update", "Visit www.quorvel.com"}));
    EXPECT_EQ(menu.highlighted, 0);
    const SeenDialog box = IdleUntilAnswered(closer);
    ASSERT_TRUE(box.found) << "no message box";
    EXPECT_TRUE(box.pressed);
    EXPECT_EQ(box.caption, "Check Online for Update");
    EXPECT_EQ(box.text, "Your version is up to date.");
    const std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(veltrane_test::RequestLine(requests[0]).rfind("GET /music/version/?file=veltrane HTTP/1.", 0), 0u)
        << requests[0];
  }
  {
    // A newer release asks; No keeps the browser shut.
    LocalHttpServer server(HttpReply::Body("2004"));
    VersionMenu()->SetUpdateServer(Local(server.Port()));
    DialogCloser closer(IDNO);
    MenuDriver driver({VK_DOWN}, VK_RETURN, 0);
    Click(500, 25);
    ASSERT_TRUE(driver.Wait().found);
    const SeenDialog box = IdleUntilAnswered(closer);
    ASSERT_TRUE(box.found) << "no message box";
    EXPECT_TRUE(box.pressed) << "the question has a No button";
    EXPECT_EQ(box.caption, "New Version of Quorvel Veltrane Detected");
    EXPECT_NE(box.text.find("\tNew version: \t2.0.4"), std::string::npos) << box.text;
    EXPECT_NE(box.text.find("Do you want to go to http://www.quorvel.com to get the new version?"),
              std::string::npos)
        << box.text;
  }
  {
    // Dismissed: no request at all.
    LocalHttpServer server(HttpReply::Body("2003"));
    VersionMenu()->SetUpdateServer(Local(server.Port()));
    MenuDriver driver({}, VK_ESCAPE);
    Click(500, 25);
    ASSERT_TRUE(driver.Wait().found);
    EXPECT_FALSE(server.WaitForRequests(1, std::chrono::milliseconds(200)));
  }
  EXPECT_TRUE(PumpUntil([this] { return Painted(); }));
}

TEST_F(WinEditorWindow, EveryKindOfReplyEndsInItsMessageBox) {
  ASSERT_NO_FATAL_FAILURE(Open());
  const std::string contactError = "An error occurred while contacting www.quorvel.com.";
  {
    LocalHttpServer server(HttpReply::Body(" 2010"));
    DialogCloser closer(IDNO);
    EXPECT_EQ(CheckOnlineVersion(plug, Local(server.Port())), 0);
    const SeenDialog box = closer.Wait();
    ASSERT_TRUE(box.found);
    EXPECT_TRUE(box.pressed);
    EXPECT_EQ(box.caption, "New Version of Quorvel Veltrane Detected");
    EXPECT_NE(box.text.find("\tNew version: \t .2.10"), std::string::npos) << box.text;
  }
  {
    LocalHttpServer server(HttpReply::Raw(
        "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n<html><body>2004</body></html>"));
    DialogCloser closer(IDOK);
    EXPECT_EQ(CheckOnlineVersion(plug, Local(server.Port())), -3);
    const SeenDialog box = closer.Wait();
    ASSERT_TRUE(box.found);
    EXPECT_EQ(box.caption, "Check Online for Update");
    EXPECT_EQ(box.text, "Invalid call to www.quorvel.com.");
  }
  {
    LocalHttpServer server(HttpReply::Nothing());
    DialogCloser closer(IDOK);
    EXPECT_EQ(CheckOnlineVersion(plug, Local(server.Port())), -1);
    const SeenDialog box = closer.Wait();
    ASSERT_TRUE(box.found);
    EXPECT_EQ(box.caption, "Check Online for Update");
    EXPECT_EQ(box.text, contactError);
  }
  {
    DialogCloser closer(IDOK);
    EXPECT_EQ(CheckOnlineVersion(plug, Local(veltrane_test::UnusedLocalPort())), -1);
    const SeenDialog box = closer.Wait();
    ASSERT_TRUE(box.found);
    EXPECT_EQ(box.text, contactError);
  }
}

TEST_F(WinEditorWindow, AClickOnTheNameOpensTheEditBoxAndEnterRenamesTheProgram) {
  ASSERT_NO_FATAL_FAILURE(Open());
  const std::string before = plug->PresetName(0);
  Click(150, 362);
  HWND box = static_cast<HWND>(editor->TextEntryBox());
  ASSERT_NE(box, nullptr) << "no edit box";
  EXPECT_EQ(ClassOf(box), "Edit");
  EXPECT_EQ(GetParent(box), Child());
  EXPECT_TRUE(IsWindowVisible(box));
  char text[256] = {0};
  GetWindowTextA(box, text, sizeof text);
  EXPECT_EQ(std::string(text), before);
  EXPECT_EQ(plug->PresetName(0), before) << "nothing changes before Enter";

  SendMessageA(box, EM_SETSEL, 0, -1);
  for (const char* c = "Harbour Bells"; *c != '\0'; ++c) SendMessageA(box, WM_CHAR, static_cast<WPARAM>(*c), 1);
  GetWindowTextA(box, text, sizeof text);
  EXPECT_STREQ(text, "Harbour Bells");
  SendMessageA(box, WM_KEYDOWN, VK_RETURN, 0x001C0001);
  ASSERT_TRUE(PumpUntil([this] { return editor->TextEntryBox() == nullptr; })) << "the box stayed open";
  EXPECT_FALSE(IsWindow(box));
  EXPECT_STREQ(plug->PresetName(0), "Harbour Bells");
  EXPECT_EQ(plug->CurrentPresetIndex(), 0);
  EXPECT_GE(CountHostCalls(audioMasterUpdateDisplay), 1);
  EXPECT_TRUE(PumpUntil([this] { return Painted() && PresetMenu()->NameText() == "Harbour Bells"; }));
}

}  // namespace
}  // namespace edtest
