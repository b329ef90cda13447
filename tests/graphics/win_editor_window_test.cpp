// The Windows editor window inside a real top-level window, driven through
// the plug-in's dispatcher and by Windows messages: window class and child
// window, timer repaint, mouse and key routing, the text entry box, popup
// menus, class registration across editors, and what reaches the screen.
// Runs under Wine with an X server.
#include <windows.h>

#include <functional>

#include "graphics/IGraphicsWin.h"
#include "tests/graphics/GraphicsTestSupport.h"

namespace gfxtest {
namespace {

// Messages the host's top-level window received.
std::vector<MSG>& RootMessages() {
  static std::vector<MSG> messages;
  return messages;
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_KEYDOWN || message == WM_KEYUP) {
    MSG m{};
    m.hwnd = window;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    RootMessages().push_back(m);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeHostWindow() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &HostWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    wc.lpszClassName = "VeltraneTestHostWindow";
    registered = RegisterClassA(&wc) != 0;
  }
  HWND w = CreateWindowExA(0, "VeltraneTestHostWindow", "Test host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 700,
                           500, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ShowWindow(w, SW_SHOW);
  UpdateWindow(w);
  return w;
}

void PumpMessages() {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
}

// Runs the message loop until done() or the time runs out; answers done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 3000) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > timeoutMs) return done();
    PumpMessages();
    Sleep(5);
  }
  return true;
}

void PumpFor(DWORD ms) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    PumpMessages();
    Sleep(5);
  }
}

bool ClassRegistered() {
  WNDCLASSA wc;
  return GetClassInfoA(GetModuleHandleA(nullptr), "IPlugWndClass", &wc) != 0;
}

// The window class for tests: images from memory, presents counted.
class TestWinGraphics : public IGraphicsWin {
 public:
  using IGraphicsWin::IGraphicsWin;
  LICE_IBitmap* LoadImageResource(int id, const char* name) override { return MakeTestImage(id, name); }
  bool PresentArea(const PixelRect& area) override {
    ++presents;
    return IGraphicsWin::PresentArea(area);
  }
  int presents = 0;
};

LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

// A journal without the paints the timer makes meanwhile.
std::vector<std::string> Events(const std::vector<std::string>& journal) {
  std::vector<std::string> out;
  for (const std::string& e : journal)
    if (e.size() < 6 || e.compare(e.size() - 6, 6, " paint") != 0) out.push_back(e);
  return out;
}

class EditorWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    HostNotices().clear();
    RootMessages().clear();
    host = MakeHostWindow();
    ASSERT_NE(host, nullptr);
    plug = std::make_unique<TestPlug>();
    editor = new TestWinGraphics(plug.get());
    editor->SetModuleInstance(GetModuleHandleA(nullptr));
    editor->AddBackground(kImageBackground, "back.png");
    fader = new IFaderControl(plug.get(), 100, 50, 72, kParamA, editor->LoadImageStrip(kImageHandle, "h.png", 1));
    knob = new IKnobMultiControl(plug.get(), 200, 50, kParamB, editor->LoadImageStrip(kImageKnob4, "k.png", 4),
                                 kVertical, 1.0);
    probe = new ProbeControl(plug.get(), PixelRect{300, 50, 380, 70}, -1, &journal, "probe");
    editor->AddControl(fader);
    editor->AddControl(knob);
    editor->AddControl(probe);
    plug->AttachEditor(editor);
    effect = plug->EffectRecord();
  }
  void TearDown() override {
    plug.reset();
    if (host != nullptr) DestroyWindow(host);
    PumpMessages();
  }
  VstIntPtr Dispatch(VstInt32 opcode, void* ptr = nullptr) {
    return effect->dispatcher(effect, opcode, 0, 0, ptr, 0.0f);
  }
  HWND Open() {
    EXPECT_EQ(Dispatch(effEditOpen, host), 1);
    return static_cast<HWND>(editor->EditorWindowHandle());
  }
  HWND Child() { return static_cast<HWND>(editor->EditorWindowHandle()); }
  LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) { return SendMessageA(Child(), message, wParam, lParam); }
  // Waits for the timer to take down an open text entry box.
  bool WaitForBoxToClose() {
    return PumpUntil([this] { return editor->TextEntryBox() == nullptr; });
  }
  HWND Box() { return static_cast<HWND>(editor->TextEntryBox()); }
  std::string BoxText() {
    char text[256] = {0};
    GetWindowTextA(Box(), text, sizeof text);
    return text;
  }
  void Type(const char* text) {
    for (const char* c = text; *c != '\0'; ++c) SendMessageA(Box(), WM_CHAR, static_cast<WPARAM>(*c), 1);
  }

  HWND host = nullptr;
  std::unique_ptr<TestPlug> plug;
  TestWinGraphics* editor = nullptr;
  IFaderControl* fader = nullptr;
  IKnobMultiControl* knob = nullptr;
  ProbeControl* probe = nullptr;
  AEffect* effect = nullptr;
  std::vector<std::string> journal;
};

TEST_F(EditorWindow, OpensAVisibleChildOfTheHostWindowWithTheEditorsSize) {
  EXPECT_FALSE(ClassRegistered());
  HWND child = Open();
  ASSERT_NE(child, nullptr);
  char name[64] = {0};
  GetClassNameA(child, name, sizeof name);
  EXPECT_STREQ(name, "IPlugWndClass");
  GetWindowTextA(child, name, sizeof name);
  EXPECT_STREQ(name, "IPlug");
  EXPECT_EQ(GetParent(child), host);
  EXPECT_TRUE(IsWindowVisible(child));
  EXPECT_NE(GetWindowLongA(child, GWL_STYLE) & WS_CHILD, 0);
  RECT r{};
  GetClientRect(child, &r);
  EXPECT_EQ(r.right - r.left, 584);
  EXPECT_EQ(r.bottom - r.top, 390);
  WNDCLASSA wc{};
  ASSERT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), "IPlugWndClass", &wc));
  EXPECT_NE(wc.style & CS_DBLCLKS, 0u);
  EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 1);
  EXPECT_STREQ(editor->BackendName(), "Windows GDI");

  EXPECT_EQ(Dispatch(effEditClose), 1);
  EXPECT_FALSE(IsWindow(child));
  EXPECT_FALSE(ClassRegistered());
  EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 0);
  EXPECT_EQ(Dispatch(effEditClose), 1);  // closing twice
}

TEST_F(EditorWindow, BadParentsOpenNothingAndReopeningKeepsThePlace) {
  EXPECT_EQ(Dispatch(effEditOpen, nullptr), 0);
  EXPECT_EQ(Dispatch(effEditOpen, reinterpret_cast<void*>(static_cast<intptr_t>(0x7654))), 0);
  EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 0);
  EXPECT_FALSE(ClassRegistered());

  HWND first = Open();
  ASSERT_NE(first, nullptr);
  SetWindowPos(first, nullptr, 10, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  HWND second = Open();  // again, without closing
  ASSERT_NE(second, nullptr);
  EXPECT_FALSE(IsWindow(first));
  EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 1);
  RECT hostRect{}, childRect{};
  GetWindowRect(host, &hostRect);
  GetWindowRect(second, &childRect);
  POINT origin{0, 0};
  ClientToScreen(host, &origin);
  EXPECT_EQ(childRect.left - origin.x, 10);
  EXPECT_EQ(childRect.top - origin.y, 20);
}

TEST_F(EditorWindow, TheTimerRepaintsChangedControlsAndTheScreenShowsTheSurface) {
  HWND child = Open();
  ASSERT_NE(child, nullptr);
  // Opening marks everything dirty: the first ticks paint the whole layout.
  ASSERT_TRUE(PumpUntil([this] { return editor->presents >= 1 && !fader->NeedsPaint(); }));
  const int before = editor->presents;
  effect->setParameter(effect, kParamB, 1.0f);
  ASSERT_TRUE(PumpUntil([this, before] { return editor->presents >= before + 2; }));
  PumpFor(100);

  // Read the window back and compare it with the drawing surface.
  HDC windowDC = GetDC(child);
  HDC memory = CreateCompatibleDC(windowDC);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = 584;
  info.bmiHeader.biHeight = -390;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP shot = CreateDIBSection(windowDC, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(shot, nullptr);
  HGDIOBJ old = SelectObject(memory, shot);
  ASSERT_TRUE(BitBlt(memory, 0, 0, 584, 390, windowDC, 0, 0, SRCCOPY));
  GdiFlush();
  int mismatches = 0;
  const PackedPixel* screen = static_cast<const PackedPixel*>(bits);
  for (int y = 0; y < 390; ++y)
    for (int x = 0; x < 584; ++x)
      if ((screen[y * 584 + x] & 0xFFFFFF) != (PixelAt(editor->Surface(), x, y) & 0xFFFFFF)) ++mismatches;
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(screen[55 * 584 + 205] & 0xFFFFFF, FrameColor(kImageKnob4, 4) & 0xFFFFFF);  // the knob at 1.0
  EXPECT_EQ(screen[300 * 584 + 500] & 0xFFFFFF, FrameColor(kImageBackground, 1) & 0xFFFFFF);
  SelectObject(memory, old);
  DeleteObject(shot);
  DeleteDC(memory);
  ReleaseDC(child, windowDC);
}

TEST_F(EditorWindow, MouseMessagesReachControlsAndTheHostHearsTheGesture) {
  ASSERT_NE(Open(), nullptr);
  effect->setParameter(effect, kParamA, 1.0f);  // fader handle at 100..112 x 50..70
  HostNotices().clear();
  Send(WM_LBUTTONDOWN, MK_LBUTTON, At(106, 60));
  EXPECT_EQ(GetCapture(), Child());
  Send(WM_MOUSEMOVE, MK_LBUTTON, At(106, 86));
  Send(WM_LBUTTONUP, 0, At(106, 86));
  EXPECT_EQ(GetCapture(), nullptr);
  ASSERT_EQ(HostNotices().size(), 4u);
  EXPECT_EQ(HostNotices()[0].opcode, audioMasterBeginEdit);
  EXPECT_EQ(HostNotices()[1].opcode, audioMasterAutomate);
  EXPECT_EQ(HostNotices()[2].opcode, audioMasterAutomate);
  EXPECT_FLOAT_EQ(HostNotices()[2].value, 0.5f);
  EXPECT_EQ(HostNotices()[3].opcode, audioMasterEndEdit);
  EXPECT_FLOAT_EQ(effect->getParameter(effect, kParamA), 0.5f);

  for (UINT down : {WM_RBUTTONDOWN, WM_MBUTTONDOWN}) {  // every button ends with the capture released
    Send(down, 0, At(310, 60));
    EXPECT_EQ(GetCapture(), Child());
    Send(down + 1, 0, At(310, 60));
    EXPECT_EQ(GetCapture(), nullptr);
  }
  EXPECT_EQ(journal, (std::vector<std::string>{"probe press 310,60", "probe release 310,60",
                                                "probe press 310,60", "probe release 310,60"}));

  // The wheel: whole notches only, at screen coordinates.
  effect->setParameter(effect, kParamB, 0.5f);
  POINT p{205, 55};
  ClientToScreen(Child(), &p);
  Send(WM_MOUSEWHEEL, MAKEWPARAM(0, 60), At(p.x, p.y));
  EXPECT_NEAR(knob->Value(), 0.5, 1e-6);
  Send(WM_MOUSEWHEEL, MAKEWPARAM(0, 240), At(p.x, p.y));
  EXPECT_NEAR(knob->Value(), 0.52, 1e-6);
  Send(WM_MOUSEWHEEL, MAKEWPARAM(MK_CONTROL, static_cast<WORD>(-120)), At(p.x, p.y));
  EXPECT_NEAR(knob->Value(), 0.519, 1e-6);

  // A double click restores the value the fader first received.
  const PixelRect handle = fader->HandleRect();
  Send(WM_LBUTTONDBLCLK, MK_LBUTTON, At(handle.left + 3, handle.top + 3));
  EXPECT_DOUBLE_EQ(fader->Value(), fader->ResetValue());

  // Hover and leave.
  editor->SetHandlesHover(true);
  journal.clear();
  Send(WM_MOUSEMOVE, 0, At(320, 60));
  Send(WM_MOUSEMOVE, 0, At(500, 300));
  Send(WM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(journal, (std::vector<std::string>{"probe hover", "probe hover end", "probe hover end"}));
}

TEST_F(EditorWindow, KeysNoControlTakesReachTheHostsMainWindow) {
  ASSERT_NE(Open(), nullptr);
  POINT outside{5, 380};  // over the background
  ClientToScreen(Child(), &outside);
  SetCursorPos(outside.x, outside.y);
  Send(WM_KEYDOWN, 'A', 0x001E0001);
  Send(WM_KEYDOWN, VK_F1, 0x003B0001);  // no key code
  Send(WM_KEYUP, 'A', 0xC01E0001);
  ASSERT_EQ(RootMessages().size(), 3u);
  EXPECT_EQ(RootMessages()[0].message, static_cast<UINT>(WM_KEYDOWN));
  EXPECT_EQ(RootMessages()[0].wParam, static_cast<WPARAM>('A'));
  EXPECT_EQ(RootMessages()[0].lParam, static_cast<LPARAM>(0x001E0001));
  EXPECT_EQ(RootMessages()[1].wParam, static_cast<WPARAM>(VK_F1));
  EXPECT_EQ(RootMessages()[2].message, static_cast<UINT>(WM_KEYUP));
  for (const MSG& m : RootMessages()) EXPECT_EQ(m.hwnd, host);

  // A control under the pointer that takes keys keeps them, but not the release.
  POINT over{320, 60};
  ClientToScreen(Child(), &over);
  SetCursorPos(over.x, over.y);
  POINT now{};
  GetCursorPos(&now);
  ASSERT_EQ(now.x, over.x);
  ASSERT_EQ(now.y, over.y);
  probe->takesKeys = true;
  RootMessages().clear();
  Send(WM_KEYDOWN, VK_SPACE, 0x00390001);
  EXPECT_TRUE(RootMessages().empty());
  EXPECT_EQ(journal.back(), "probe key 0");
  Send(WM_KEYUP, VK_SPACE, 0xC0390001);
  EXPECT_EQ(RootMessages().size(), 1u);
}

TEST_F(EditorWindow, TheTextBoxFiltersByKindAndCommitsOnEnter) {
  ASSERT_NE(Open(), nullptr);
  PumpFor(100);
  auto* negated = new ProbeControl(plug.get(), PixelRect{300, 100, 380, 120}, kParamNegated, &journal, "neg");
  editor->AddControl(negated);
  editor->BeginTextEntry(negated, negated->Style(), negated->Rect(), "0", plug->ParamAt(kParamNegated));
  ASSERT_NE(Box(), nullptr);
  char name[32] = {0};
  GetClassNameA(Box(), name, sizeof name);
  EXPECT_STREQ(name, "Edit");
  EXPECT_EQ(GetParent(Box()), Child());
  EXPECT_EQ(GetDlgCtrlID(Box()), 99);
  RECT r{};
  GetWindowRect(Box(), &r);
  EXPECT_EQ(r.right - r.left, 81);
  EXPECT_EQ(r.bottom - r.top, 21);
  EXPECT_EQ(BoxText(), "0");
  SendMessageA(Box(), EM_SETSEL, 0, -1);
  Type("1x.5q");
  EXPECT_EQ(BoxText(), "1.5");
  SendMessageA(Box(), WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(editor->TextEntryStateNow(), IGraphicsWin::EntryCommit);
  ASSERT_TRUE(WaitForBoxToClose());
  EXPECT_DOUBLE_EQ(plug->ParamAt(kParamNegated)->value, -1.5);
  EXPECT_DOUBLE_EQ(negated->Value(), 0.425);

  // Enumerations take digits and signs only; at most the control's limit.
  auto* digits = new ProbeControl(plug.get(), PixelRect{300, 130, 380, 150}, kParamDigits, &journal, "digits");
  editor->AddControl(digits);
  editor->BeginTextEntry(digits, digits->Style(), digits->Rect(), "", plug->ParamAt(kParamDigits));
  ASSERT_NE(Box(), nullptr);
  Type("9.a-+123456");
  EXPECT_EQ(BoxText(), "9-+1234");
  SendMessageA(Box(), EM_SETSEL, 0, -1);
  SendMessageA(Box(), WM_CHAR, 8, 1);  // backspace always passes
  Type("9");
  SendMessageA(Box(), WM_KEYDOWN, VK_RETURN, 0);
  ASSERT_TRUE(WaitForBoxToClose());
  EXPECT_DOUBLE_EQ(digits->Value(), 1.0);

  // Free text takes every character but the Enter's own.
  journal.clear();
  editor->BeginTextEntry(probe, probe->Style(), probe->Rect(), "", nullptr);
  ASSERT_NE(Box(), nullptr);
  Type("a b!\r");
  SendMessageA(Box(), WM_KEYDOWN, VK_RETURN, 0);
  ASSERT_TRUE(WaitForBoxToClose());
  EXPECT_EQ(Events(journal), std::vector<std::string>{"probe text a b!"});
}

TEST_F(EditorWindow, TheTextBoxCancelsOnEscapeAndTheWheelAndCommitsOnAClickIntoTheEditor) {
  ASSERT_NE(Open(), nullptr);
  PumpFor(100);
  editor->BeginTextEntry(probe, probe->Style(), probe->Rect(), "old", nullptr);
  ASSERT_NE(Box(), nullptr);
  Type("new");
  SendMessageA(Box(), WM_KEYDOWN, VK_ESCAPE, 0);
  ASSERT_TRUE(WaitForBoxToClose());
  EXPECT_TRUE(Events(journal).empty());

  editor->BeginTextEntry(probe, probe->Style(), probe->Rect(), "old", nullptr);
  ASSERT_NE(Box(), nullptr);
  POINT p{350, 60};
  ClientToScreen(Child(), &p);
  Send(WM_MOUSEWHEEL, MAKEWPARAM(0, 120), At(p.x, p.y));
  ASSERT_TRUE(WaitForBoxToClose());
  EXPECT_TRUE(Events(journal).empty());

  editor->BeginTextEntry(probe, probe->Style(), probe->Rect(), "", nullptr);
  ASSERT_NE(Box(), nullptr);
  Type("clicked");
  Send(WM_LBUTTONDOWN, MK_LBUTTON, At(320, 60));  // commits; the click reaches no control
  ASSERT_TRUE(WaitForBoxToClose());
  EXPECT_EQ(Events(journal), std::vector<std::string>{"probe text clicked"});

  // The box goes with the window.
  editor->BeginTextEntry(probe, probe->Style(), probe->Rect(), "x", nullptr);
  HWND box = Box();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(Dispatch(effEditClose), 1);
  EXPECT_FALSE(IsWindow(box));
  EXPECT_EQ(editor->TextEntryBox(), nullptr);
}

TEST_F(EditorWindow, TwoEditorsRegisterTheClassOnceAndClosingBothUnregistersIt) {
  ASSERT_NE(Open(), nullptr);
  TestPlug other;
  auto* second = new TestWinGraphics(&other);
  second->SetModuleInstance(GetModuleHandleA(nullptr));
  other.AttachEditor(second);
  HWND otherHost = MakeHostWindow();
  AEffect* otherEffect = other.EffectRecord();
  ASSERT_EQ(otherEffect->dispatcher(otherEffect, effEditOpen, 0, 0, otherHost, 0.0f), 1);
  EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 2);
  EXPECT_EQ(Dispatch(effEditClose), 1);
  EXPECT_TRUE(ClassRegistered());
  EXPECT_TRUE(IsWindow(static_cast<HWND>(second->EditorWindowHandle())));
  PumpFor(100);  // the remaining editor keeps running
  EXPECT_EQ(otherEffect->dispatcher(otherEffect, effEditClose, 0, 0, nullptr, 0.0f), 1);
  EXPECT_FALSE(ClassRegistered());
  EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 0);
  DestroyWindow(otherHost);
}

TEST_F(EditorWindow, AHostThatDestroysItsWindowFirstLeavesNothingBehind) {
  HWND child = Open();
  ASSERT_NE(child, nullptr);
  editor->BeginTextEntry(probe, probe->Style(), probe->Rect(), "x", nullptr);
  DestroyWindow(host);
  host = nullptr;
  EXPECT_FALSE(IsWindow(child));
  EXPECT_EQ(editor->EditorWindowHandle(), nullptr);
  EXPECT_EQ(editor->TextEntryBox(), nullptr);
  EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 0);
  // The class goes once its last window is gone for good.
  EXPECT_EQ(Dispatch(effEditClose), 1);
  EXPECT_FALSE(ClassRegistered());
  HWND again = MakeHostWindow();
  EXPECT_EQ(Dispatch(effEditOpen, again), 1);
  EXPECT_EQ(Dispatch(effEditClose), 1);
  EXPECT_FALSE(ClassRegistered());
  DestroyWindow(again);
}

TEST_F(EditorWindow, OpeningAndClosingRepeatedlyLeaksNoHandles) {
  const DWORD gdiBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  const DWORD userBefore = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  for (int i = 0; i < 30; ++i) {
    ASSERT_NE(Open(), nullptr);
    editor->BeginTextEntry(probe, probe->Style(), probe->Rect(), "x", nullptr);
    PumpMessages();
    EXPECT_EQ(Dispatch(effEditClose), 1);
  }
  PumpMessages();
  EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdiBefore + 2);
  EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), userBefore + 2);
  EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 0);
}

// Keys posted from a timer drive the menu's own modal loop.
std::vector<WPARAM>& MenuKeys() {
  static std::vector<WPARAM> keys;
  return keys;
}
HWND gMenuOwner = nullptr;

void CALLBACK PressMenuKeys(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  for (WPARAM key : MenuKeys()) {
    PostMessageA(gMenuOwner, WM_KEYDOWN, key, 1);
    PostMessageA(gMenuOwner, WM_KEYUP, key, 0xC0000001);
  }
}

TEST_F(EditorWindow, APopupMenuAnswersTheSubmenuOfTheChosenItem) {
  ASSERT_NE(Open(), nullptr);
  PopupMenu menu(2);
  menu.AddItem("first");
  PopupMenu* sub = new PopupMenu();
  sub->AddItem("inner one");
  sub->AddItem("inner two");
  menu.AddSubmenu("second", sub);
  menu.AddItem("third");
  gMenuOwner = Child();

  MenuKeys() = {VK_ESCAPE};
  SetTimer(nullptr, 0, 100, &PressMenuKeys);
  EXPECT_EQ(editor->RunPopupMenu(menu, PixelRect{10, 10, 60, 30}), nullptr);
  PumpMessages();

  MenuKeys() = {VK_DOWN, VK_DOWN, VK_RIGHT, VK_DOWN, VK_RETURN};
  SetTimer(nullptr, 0, 100, &PressMenuKeys);
  PopupMenu* chosen = editor->RunPopupMenu(menu, PixelRect{10, 10, 60, 30});
  EXPECT_EQ(chosen, sub);
  EXPECT_EQ(sub->ChosenIndex(), 1);
  PumpMessages();

  MenuKeys() = {VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN};
  SetTimer(nullptr, 0, 100, &PressMenuKeys);
  chosen = editor->RunPopupMenu(menu, PixelRect{10, 10, 60, 30});
  EXPECT_EQ(chosen, &menu);
  EXPECT_EQ(menu.ChosenIndex(), 2);
  PumpMessages();

  PopupMenu empty;
  MenuKeys() = {VK_ESCAPE};
  SetTimer(nullptr, 0, 100, &PressMenuKeys);
  EXPECT_EQ(editor->RunPopupMenu(empty, PixelRect{0, 0, 0, 0}), nullptr);
  PumpMessages();
}

TEST_F(EditorWindow, ANewSizeResizesTheEditorAndItsParent) {
  HWND child = Open();
  ASSERT_NE(child, nullptr);
  RECT hostBefore{};
  GetWindowRect(host, &hostBefore);
  editor->SetEditorSize(600, 400);
  RECT r{};
  GetClientRect(child, &r);
  EXPECT_EQ(r.right, 600);
  EXPECT_EQ(r.bottom, 400);
  RECT hostAfter{};
  GetWindowRect(host, &hostAfter);
  EXPECT_EQ(hostAfter.right - hostAfter.left, hostBefore.right - hostBefore.left + 16);
  EXPECT_EQ(hostAfter.bottom - hostAfter.top, hostBefore.bottom - hostBefore.top + 10);
  EXPECT_EQ(editor->NumControls(), 0);
  ERect* rect = nullptr;
  ASSERT_EQ(Dispatch(effEditGetRect, &rect), 1);
  EXPECT_EQ(rect->right, 600);
  EXPECT_EQ(rect->bottom, 400);
  PumpFor(100);
}

TEST_F(EditorWindow, TheFolderOfTheModuleEndsWithABackslash) {
  std::string folder;
  editor->PluginFolder(folder);
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '\\');
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, sizeof path);
  EXPECT_EQ(std::string(path).rfind(folder, 0), 0u);
}

}  // namespace
}  // namespace gfxtest
