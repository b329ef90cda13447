// The Linux editor window inside a real X window, driven through the
// plug-in's dispatcher and by input the X server makes up (XTest): the child
// window, what reaches the screen, mouse and key routing, the text box,
// popup menus and message boxes answered from a second thread, the browser,
// values from other threads. Runs on an Xvfb of its own.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <thread>

#include "graphics/IGraphicsX11.h"
#include "tests/graphics/GraphicsTestSupport.h"
#include "tests/support/PrivateDisplay.h"

// X's KeyCode type would clash with the editor's key numbering.
#define KeyCode XKeyCode
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#undef KeyCode

namespace gfxtest {
namespace {

// The helper threads below use connections of their own.
const bool kXThreads = XInitThreads() != 0;

std::atomic<int> gXErrors{0};
int CountXError(Display*, XErrorEvent*) { return ++gXErrors, 0; }

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Runs step() until done() or the time is up; answers done().
bool WaitFor(const std::function<bool()>& done, const std::function<void()>& step = {}, int ms = 3000) {
  for (const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);; SleepMs(3)) {
    if (step) step();
    if (done()) return true;
    if (std::chrono::steady_clock::now() > until) return done();
  }
}

// A connection of its own: made-up input, and a look at windows.
struct Input {
  Display* display = XOpenDisplay(nullptr);
  ~Input() {
    if (display != nullptr) XCloseDisplay(display);
  }
  Window Root() const { return DefaultRootWindow(display); }
  void MoveTo(int rootX, int rootY) { XTestFakeMotionEvent(display, -1, rootX, rootY, CurrentTime), Sync(); }
  void Button(unsigned button, bool down) { XTestFakeButtonEvent(display, button, down, CurrentTime), Sync(); }
  void Click(unsigned button = Button1) { Button(button, true), Button(button, false); }
  void Sync() { XSync(display, False); }
  void Key(KeySym sym, bool shifted = false) {
    const unsigned shift = XKeysymToKeycode(display, XK_Shift_L), code = XKeysymToKeycode(display, sym);
    if (shifted) XTestFakeKeyEvent(display, shift, True, CurrentTime);
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    if (shifted) XTestFakeKeyEvent(display, shift, False, CurrentTime);
    Sync();
  }
  // Printable ASCII, shifted where the keyboard map says so.
  void Type(const std::string& text) {
    for (char c : text) {
      const KeySym sym = static_cast<unsigned char>(c);
      int perCode = 0;
      KeySym* map = XGetKeyboardMapping(display, static_cast<unsigned char>(XKeysymToKeycode(display, sym)), 1, &perCode);
      Key(sym, map != nullptr && perCode > 1 && map[0] != sym && map[1] == sym);
      if (map != nullptr) XFree(map);
    }
  }
  XWindowAttributes Attributes(Window w) {
    XWindowAttributes a{};
    XGetWindowAttributes(display, w, &a);
    return a;
  }
  void RootPosition(Window w, int& x, int& y) {
    Window child = 0;
    XTranslateCoordinates(display, w, Root(), 0, 0, &x, &y, &child);
  }
  Window Parent(Window w) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    XQueryTree(display, w, &root, &parent, &children, &count);
    if (children != nullptr) XFree(children);
    return parent;
  }
  // A viewable child of the root that `accept` takes, waited for.
  Window Find(const std::function<bool(Window)>& accept) {
    Window found = 0;
    WaitFor([&] {
      Window root = 0, parent = 0, *children = nullptr;
      unsigned count = 0;
      XQueryTree(display, Root(), &root, &parent, &children, &count);
      for (unsigned i = 0; i < count && found == 0; ++i)
        if (Attributes(children[i]).map_state == IsViewable && accept(children[i])) found = children[i];
      if (children != nullptr) XFree(children);
      return found != 0;
    });
    return found;
  }
  // A message box, found by its class once it has the keyboard.
  Window FindMessageBox() {
    const Window box = Find([this](Window w) {
      XClassHint hint{};
      if (XGetClassHint(display, w, &hint) == 0) return false;
      const bool ours = hint.res_name != nullptr && std::string(hint.res_name) == IGraphicsX11::kMessageClass;
      XFree(hint.res_name), XFree(hint.res_class);
      return ours;
    });
    WaitFor([&] {
      Window focus = 0;
      int revert = 0;
      XGetInputFocus(display, &focus, &revert);
      return focus == box;
    });
    return box;
  }
};

class TestX11Graphics : public IGraphicsX11 {
 public:
  using IGraphicsX11::IGraphicsX11;
  LICE_IBitmap* LoadImageResource(int id, const char* name) override { return MakeTestImage(id, name); }
};

// Opens a popup menu when pressed and keeps the answer.
class MenuButton : public IControl {
 public:
  MenuButton(IPlugBase* plug, IGraphics* graphics, PopupMenu* menu)
      : IControl(plug, PixelRect{400, 200, 460, 220}), mGraphics(graphics), mMenu(menu) {}
  void OnPress(int x, int y, const MouseModifiers& mods) override {
    chosen = mGraphics->RunPopupMenu(*mMenu, mRect);
    ++runs;
  }
  bool Paint(IGraphics*) override { return true; }
  PopupMenu* chosen = nullptr;
  int runs = 0;

 private:
  IGraphics* mGraphics;
  PopupMenu* mMenu;
};

class X11Editor : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!testsupport::UsePrivateDisplay(&why)) GTEST_SKIP() << "these tests need an X server: " << why;
    // Held for the whole program: an X server resets when its last client
    // leaves and refuses connections meanwhile.
    static Display* const keeper = XOpenDisplay(nullptr);
    ASSERT_NE(keeper, nullptr) << "cannot connect to the X server at " << std::getenv("DISPLAY");
    ASSERT_TRUE(kXThreads);
    x = std::make_unique<Input>();
    ASSERT_NE(x->display, nullptr);
    int event = 0, error = 0, major = 0, minor = 0;
    ASSERT_TRUE(XTestQueryExtension(x->display, &event, &error, &major, &minor)) << "the X server has no XTest";
    XSetErrorHandler(&CountXError);
    XSetInputFocus(x->display, PointerRoot, RevertToPointerRoot, CurrentTime);
    host = MakeHost();
    HostNotices().clear();
    plug = std::make_unique<TestPlug>();
    editor = new TestX11Graphics(plug.get());
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
    if (x != nullptr && x->display != nullptr) XDestroyWindow(x->display, host);
  }
  Window MakeHost() {
    const Window w = XCreateSimpleWindow(x->display, x->Root(), 20, 20, 700, 500, 0, 0, 0x808080);
    XSelectInput(x->display, w, KeyPressMask);
    XMapWindow(x->display, w);
    x->Sync();
    return w;
  }
  VstIntPtr Dispatch(VstInt32 opcode, void* ptr = nullptr) { return effect->dispatcher(effect, opcode, 0, 0, ptr, 0.0f); }
  static void* Handle(Window w) { return reinterpret_cast<void*>(static_cast<uintptr_t>(w)); }
  Window Child() { return static_cast<Window>(reinterpret_cast<uintptr_t>(editor->EditorWindowHandle())); }
  Window Open() { return Dispatch(effEditOpen, Handle(host)) == 1 ? Child() : 0; }
  // Pumps through the host's idle call.
  bool PumpUntil(const std::function<bool()>& done, int ms = 3000) {
    return WaitFor(done, [this] { x->Sync(), Dispatch(effEditIdle); }, ms);
  }
  void PumpFor(int ms) { PumpUntil([] { return false; }, ms); }
  bool Exists(Window w) {
    x->Sync();
    const int before = gXErrors;
    XWindowAttributes a;
    return XGetWindowAttributes(x->display, w, &a) != 0 && (x->Sync(), gXErrors == before);
  }
  void MoveTo(int ex, int ey) {  // editor coordinates
    int rx = 0, ry = 0;
    x->RootPosition(Child(), rx, ry);
    x->MoveTo(rx + ex, ry + ey);
  }
  void ClickAt(int ex, int ey, unsigned button = Button1) { MoveTo(ex, ey), x->Click(button); }
  bool Logged(const std::string& what) { return std::find(journal.begin(), journal.end(), what) != journal.end(); }
  std::vector<std::string> Events() {  // the journal without paints
    std::vector<std::string> out;
    for (const std::string& e : journal)
      if (e.find(" paint") == std::string::npos) out.push_back(e);
    return out;
  }

  std::unique_ptr<Input> x;
  Window host = 0;
  std::unique_ptr<TestPlug> plug;
  TestX11Graphics* editor = nullptr;
  IFaderControl* fader = nullptr;
  IKnobMultiControl* knob = nullptr;
  ProbeControl* probe = nullptr;
  AEffect* effect = nullptr;
  std::vector<std::string> journal;
};

TEST_F(X11Editor, OpensAChildOfTheHostsWindowAndClosesItAgain) {
  EXPECT_STREQ(editor->BackendName(), "X11");
  EXPECT_EQ(Dispatch(effEditOpen, nullptr), 0);
  EXPECT_EQ(Dispatch(effEditOpen, Handle(0x7654321)), 0);  // no such window
  EXPECT_FALSE(editor->IsWindowOpen());
  EXPECT_EQ(Dispatch(effEditClose), 1);  // without opening

  const Window child = Open();
  ASSERT_NE(child, 0u);
  EXPECT_EQ(x->Parent(child), host);
  const XWindowAttributes a = x->Attributes(child);
  EXPECT_EQ(a.width, 584);
  EXPECT_EQ(a.height, 390);
  EXPECT_EQ(a.map_state, IsViewable);
  // Again without closing: the new window takes the old one's place (the
  // new connection may reuse the old window's number).
  XMoveWindow(x->display, child, 10, 20);
  x->Sync();
  const Window second = Open();
  ASSERT_NE(second, 0u);
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  XQueryTree(x->display, host, &root, &parent, &children, &count);
  XFree(children);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(x->Attributes(second).x, 10);
  EXPECT_EQ(x->Attributes(second).y, 20);
  EXPECT_EQ(Dispatch(effEditClose), 1);
  EXPECT_FALSE(Exists(second));
  EXPECT_EQ(editor->DisplayConnection(), nullptr);
  EXPECT_EQ(Dispatch(effEditClose), 1);  // twice
  // Reopened; the plug-in's end closes it.
  const Window third = Open();
  ASSERT_NE(third, 0u);
  plug.reset();
  EXPECT_FALSE(Exists(third));
}

TEST_F(X11Editor, AHostThatDestroysItsWindowFirstLeavesNothingBehind) {
  ASSERT_NE(Open(), 0u);
  editor->BeginTextEntry(probe, probe->Style(), probe->Rect(), "x", nullptr);
  ASSERT_NE(editor->TextEntryBox(), 0u);
  XDestroyWindow(x->display, host);
  host = MakeHost();
  ASSERT_TRUE(PumpUntil([this] { return editor->EditorWindowHandle() == nullptr; }));
  EXPECT_EQ(editor->TextEntryBox(), 0u);
  EXPECT_EQ(editor->DisplayConnection(), nullptr);
  EXPECT_EQ(Dispatch(effEditClose), 1);
  // Destroyed again and closed before any event was seen: no error reaches the host.
  ASSERT_NE(Open(), 0u);
  XDestroyWindow(x->display, host);
  x->Sync();
  const int errors = gXErrors;
  EXPECT_EQ(Dispatch(effEditClose), 1);
  EXPECT_EQ(gXErrors, errors);
  host = MakeHost();
}

TEST_F(X11Editor, TheTimerPaintsAndTheScreenShowsTheSurface) {
  const Window child = Open();
  ASSERT_NE(child, 0u);
  // Opening marks everything dirty: the first ticks paint the whole layout.
  ASSERT_TRUE(PumpUntil([this] { return editor->TimerTicks() >= 1 && !fader->NeedsPaint(); }));
  effect->setParameter(effect, kParamB, 1.0f);
  EXPECT_TRUE(knob->NeedsPaint());
  ASSERT_TRUE(PumpUntil([this] { return !knob->NeedsPaint(); }));
  PumpFor(60);
  XImage* shot = XGetImage(x->display, child, 0, 0, 584, 390, AllPlanes, ZPixmap);
  ASSERT_NE(shot, nullptr);
  int mismatches = 0;
  for (int py = 0; py < 390; ++py)
    for (int px = 0; px < 584; ++px)
      mismatches += (XGetPixel(shot, px, py) & 0xFFFFFF) != (PixelAt(editor->Surface(), px, py) & 0xFFFFFF);
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(XGetPixel(shot, 205, 55), FrameColor(kImageKnob4, 4) & 0xFFFFFF);  // the knob at 1.0
  EXPECT_EQ(XGetPixel(shot, 500, 300), FrameColor(kImageBackground, 1) & 0xFFFFFF);
  XDestroyImage(shot);
  // Covered and uncovered: the exposed part is shown again.
  const Window cover = XCreateSimpleWindow(x->display, host, 0, 0, 300, 200, 0, 0, 0x00FF00);
  XMapWindow(x->display, cover);
  x->Sync();
  XDestroyWindow(x->display, cover);
  PumpFor(80);
  shot = XGetImage(x->display, child, 150, 150, 1, 1, AllPlanes, ZPixmap);
  EXPECT_EQ(XGetPixel(shot, 0, 0), FrameColor(kImageBackground, 1) & 0xFFFFFF);
  XDestroyImage(shot);
}

TEST_F(X11Editor, PressDragWheelDoubleClickAndHoverReachControls) {
  ASSERT_NE(Open(), 0u);
  PumpFor(50);
  effect->setParameter(effect, kParamA, 1.0f);  // fader handle at 100..112 x 50..70
  HostNotices().clear();
  MoveTo(106, 60);
  x->Button(Button1, true);
  ASSERT_TRUE(PumpUntil([] { return !HostNotices().empty(); }));
  MoveTo(106, 86);
  ASSERT_TRUE(PumpUntil([this] { return std::abs(fader->Value() - 0.5) < 1e-9; }));
  x->Button(Button1, false);
  ASSERT_TRUE(PumpUntil([] { return HostNotices().back().opcode == audioMasterEndEdit; }));
  EXPECT_EQ(HostNotices().front().opcode, audioMasterBeginEdit);
  EXPECT_EQ(HostNotices()[HostNotices().size() - 2].opcode, audioMasterAutomate);
  EXPECT_FLOAT_EQ(HostNotices()[HostNotices().size() - 2].value, 0.5f);
  EXPECT_FLOAT_EQ(effect->getParameter(effect, kParamA), 0.5f);

  ClickAt(310, 60, Button3);
  ASSERT_TRUE(PumpUntil([this] { return Logged("probe release 310,60"); }));
  EXPECT_EQ(Events(), (std::vector<std::string>{"probe press 310,60 right", "probe release 310,60"}));

  // The wheel: a notch per click, finer with Control.
  effect->setParameter(effect, kParamB, 0.5f);
  ClickAt(205, 55, Button4);
  ASSERT_TRUE(PumpUntil([this] { return std::abs(knob->Value() - 0.51) < 1e-9; }));
  ClickAt(205, 55, Button5);
  ClickAt(205, 55, Button5);
  ASSERT_TRUE(PumpUntil([this] { return std::abs(knob->Value() - 0.49) < 1e-9; }));
  const unsigned control = XKeysymToKeycode(x->display, XK_Control_L);
  XTestFakeKeyEvent(x->display, control, True, CurrentTime);
  ClickAt(205, 55, Button4);
  XTestFakeKeyEvent(x->display, control, False, CurrentTime);
  ASSERT_TRUE(PumpUntil([this] { return std::abs(knob->Value() - 0.491) < 1e-9; }));

  // Two quick clicks restore the value the fader first received; slow ones do not.
  effect->setParameter(effect, kParamA, 1.0f);
  const PixelRect handle = fader->HandleRect();
  const int hx = (handle.left + handle.right) / 2, hy = (handle.top + handle.bottom) / 2;
  for (int pause : {IGraphicsX11::kDoubleClickMs + 100, 0}) {
    SleepMs(IGraphicsX11::kDoubleClickMs + 100);
    ClickAt(hx, hy);
    SleepMs(pause);
    ClickAt(hx, hy);
    PumpFor(40);
    if (pause > 0) {
      EXPECT_NEAR(fader->Value(), 1.0, 0.02);
    }
  }
  EXPECT_EQ(fader->Value(), fader->ResetValue());
  journal.clear();  // the second press is the double click's alone
  SleepMs(IGraphicsX11::kDoubleClickMs + 100);
  ClickAt(310, 60);
  ClickAt(310, 60);
  ASSERT_TRUE(PumpUntil([this] { return Events().size() >= 4; }));
  EXPECT_EQ(Events(), (std::vector<std::string>{"probe press 310,60", "probe release 310,60", "probe double",
                                                "probe release 310,60"}));

  // Hover, hover elsewhere, and leaving the window.
  editor->SetHandlesHover(true);
  journal.clear();
  MoveTo(320, 60);
  ASSERT_TRUE(PumpUntil([this] { return Logged("probe hover"); }));
  MoveTo(500, 300);
  ASSERT_TRUE(PumpUntil([this] { return Logged("probe hover end"); }));
  MoveTo(650, 450);  // over the host's window only
  ASSERT_TRUE(PumpUntil([this] { return Events().size() >= 3; }));
  EXPECT_EQ(Events(), (std::vector<std::string>{"probe hover", "probe hover end", "probe hover end"}));
}

TEST_F(X11Editor, KeysReachTheControlUnderThePointerAndOthersGoToTheHost) {
  ASSERT_NE(Open(), 0u);
  XEvent e;
  auto hostGotKey = [&] { return XCheckTypedWindowEvent(x->display, host, KeyPress, &e) != 0; };
  MoveTo(5, 380);  // over the background, which takes no keys
  x->Key(XK_a);
  ASSERT_TRUE(PumpUntil(hostGotKey));
  EXPECT_EQ(XLookupKeysym(&e.xkey, 0), static_cast<KeySym>(XK_a));
  probe->takesKeys = true;
  MoveTo(320, 60);
  for (KeySym key : {XK_space, XK_7, XK_Up}) x->Key(key);
  ASSERT_TRUE(PumpUntil([this] { return Events().size() >= 3; }));
  EXPECT_EQ(Events(), (std::vector<std::string>{"probe key 0", "probe key 12", "probe key 1"}));
  PumpFor(30);
  EXPECT_FALSE(hostGotKey());
}

TEST_F(X11Editor, TheTextBoxFiltersTypedKeysAndCommitsOrCancels) {
  const Window child = Open();
  ASSERT_NE(child, 0u);
  auto* negated = new ProbeControl(plug.get(), PixelRect{300, 100, 380, 120}, kParamNegated, &journal, "neg");
  editor->AddControl(negated);
  editor->BeginTextEntry(negated, negated->Style(), negated->Rect(), "0", plug->ParamAt(kParamNegated));
  const Window box = editor->TextEntryBox();
  ASSERT_NE(box, 0u);
  EXPECT_EQ(x->Parent(box), child);
  const XWindowAttributes a = x->Attributes(box);
  EXPECT_EQ(a.x, 300);
  EXPECT_EQ(a.width, 81);
  EXPECT_EQ(a.height, 21);
  x->Type("1x.5q");  // the first character replaces the selected "0"
  ASSERT_TRUE(PumpUntil([this] { return editor->TextEntryText() == "1.5"; }));
  x->Key(XK_Return);
  ASSERT_TRUE(PumpUntil([this] { return editor->TextEntryBox() == 0; }));
  EXPECT_DOUBLE_EQ(plug->ParamAt(kParamNegated)->value, -1.5);
  EXPECT_DOUBLE_EQ(negated->Value(), 0.425);

  // Enumerations take digits and signs only, at most the control's limit;
  // Escape throws the text away.
  auto* digits = new ProbeControl(plug.get(), PixelRect{300, 130, 380, 150}, kParamDigits, &journal, "digits");
  editor->AddControl(digits);
  editor->BeginTextEntry(digits, digits->Style(), digits->Rect(), "", plug->ParamAt(kParamDigits));
  x->Type("9.a-+123456");
  ASSERT_TRUE(PumpUntil([this] { return editor->TextEntryText() == "9-+1234"; }));
  x->Key(XK_BackSpace);
  ASSERT_TRUE(PumpUntil([this] { return editor->TextEntryText() == "9-+123"; }));
  x->Key(XK_Escape);
  ASSERT_TRUE(PumpUntil([this] { return editor->TextEntryBox() == 0; }));
  EXPECT_DOUBLE_EQ(digits->Value(), 0.0);

  // Free text: a press into the editor commits it and reaches no control,
  // the wheel cancels.
  journal.clear();
  editor->BeginTextEntry(probe, probe->Style(), probe->Rect(), "", nullptr);
  x->Type("a b!");
  ASSERT_TRUE(PumpUntil([this] { return editor->TextEntryText() == "a b!"; }));
  ClickAt(500, 300);
  ASSERT_TRUE(PumpUntil([this] { return editor->TextEntryBox() == 0; }));
  editor->BeginTextEntry(probe, probe->Style(), probe->Rect(), "old", nullptr);
  x->Type("new");
  ClickAt(500, 300, Button4);
  ASSERT_TRUE(PumpUntil([this] { return editor->TextEntryBox() == 0; }));
  EXPECT_EQ(Events(), std::vector<std::string>{"probe text a b!"});
  // The box goes with the window.
  editor->BeginTextEntry(probe, probe->Style(), probe->Rect(), "x", nullptr);
  const Window last = editor->TextEntryBox();
  EXPECT_EQ(Dispatch(effEditClose), 1);
  EXPECT_FALSE(Exists(last));
  EXPECT_EQ(editor->TextEntryBox(), 0u);
}

TEST_F(X11Editor, APopupMenuAnswersTheMenuOfTheClickedItemOrNothing) {
  PopupMenu menu;
  menu.AddItem("first");
  PopupMenu* sub = new PopupMenu();
  sub->AddItem("inner one");
  sub->AddItem("inner two");
  menu.AddSubmenu("second", sub);
  menu.AddItem("third", -1, PopupMenuItem::kChecked);
  menu.AddSeparator();
  menu.AddItem("grey", -1, PopupMenuItem::kGrayed);
  auto* button = new MenuButton(plug.get(), editor, &menu);
  editor->AddControl(button);
  ASSERT_NE(Open(), 0u);

  // Clicks on flattened rows (submenu items under their title): six lines
  // of one height, a 7-pixel separator before the last, 2-pixel margins.
  // Row -1 is Escape, -2 a click outside; after a row that cannot be
  // chosen a click outside ends the menu.
  std::atomic<bool> grabbed{false}, stayed{false};
  auto run = [&](int row) {
    const int before = button->runs;
    grabbed = stayed = false;
    std::thread helper([&] {
      Input in;
      const Window popup = in.Find([&](Window w) { return in.Attributes(w).override_redirect != 0; });
      // The menu's grab makes ours fail.
      grabbed = WaitFor([&] {
        const int r = XGrabPointer(in.display, in.Root(), False, 0, GrabModeAsync, GrabModeAsync, 0, 0, CurrentTime);
        XUngrabPointer(in.display, CurrentTime);
        return r == AlreadyGrabbed;
      });
      const XWindowAttributes a = in.Attributes(popup);
      int px = 0, py = 0;
      in.RootPosition(popup, px, py);
      const int line = (a.height - 11) / 6;
      if (row == -1) return in.Key(XK_Escape);
      if (row >= 0) {
        in.MoveTo(px + 30, py + 2 + row * line + (row > 5 ? 7 - line : 0) + line / 2);
        in.Click();
        SleepMs(100);
        stayed = in.Attributes(popup).map_state == IsViewable;
      }
      in.MoveTo(px + a.width + 40, py + a.height + 40);
      in.Click();
    });
    ClickAt(430, 210);
    EXPECT_TRUE(PumpUntil([&] { return button->runs > before; }, 5000));
    helper.join();
    EXPECT_TRUE(grabbed);
    return button->chosen;
  };
  EXPECT_EQ(run(3), sub);  // "inner two"
  EXPECT_EQ(sub->ChosenIndex(), 1);
  EXPECT_FALSE(stayed);
  EXPECT_EQ(run(4), &menu);  // "third"
  EXPECT_EQ(menu.ChosenIndex(), 2);
  menu.SetChosenIndex(-1);
  EXPECT_EQ(run(-1), nullptr);
  EXPECT_EQ(run(-2), nullptr);
  for (int row : {6, 1}) {  // "grey", the title "second"
    EXPECT_EQ(run(row), nullptr);
    EXPECT_TRUE(stayed);
  }
  EXPECT_EQ(menu.ChosenIndex(), -1);
}

TEST_F(X11Editor, MessageBoxesAnswerAsWindowsDoes) {
  ASSERT_NE(Open(), 0u);
  // Buttons are 80 pixels wide, 8 apart, centred, their middle 29 pixels
  // above the bottom.
  auto clickButton = [](int index, int count) {
    return [index, count](Input& in, Window box) {
      const XWindowAttributes a = in.Attributes(box);
      int bx = 0, by = 0;
      in.RootPosition(box, bx, by);
      in.MoveTo(bx + (a.width - count * 88 + 8) / 2 + index * 88 + 40, by + a.height - 29);
      in.Click();
    };
  };
  auto keys = [](std::vector<KeySym> sequence) {
    return [sequence](Input& in, Window) {
      for (KeySym k : sequence) in.Key(k), SleepMs(20);
    };
  };
  auto close = [](Input& in, Window box) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = box;
    e.xclient.message_type = XInternAtom(in.display, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(in.display, "WM_DELETE_WINDOW", False));
    XSendEvent(in.display, box, False, NoEventMask, &e);
    in.Sync();
  };
  struct Step {
    int type;
    std::function<void(Input&, Window)> answer;
    int expected;
  };
  const std::vector<Step> steps = {
      {4, keys({XK_Return}), 6},          {4, keys({XK_Tab, XK_Return}), 7},
      {4, keys({XK_Escape, XK_n}), 7},    {4, clickButton(1, 2), 7},
      {4, clickButton(0, 2), 6},          {1, keys({XK_Escape}), 2},
      {1, close, 2},                      {0, keys({XK_Escape}), 1},
  };
  for (size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE("step " + std::to_string(i));
    Window box = 0, owner = 0;
    std::string caption;
    std::thread helper([&] {
      Input in;
      box = in.FindMessageBox();
      if (box == 0) return;
      char* name = nullptr;
      XFetchName(in.display, box, &name);
      caption = name != nullptr ? name : "";
      XFree(name);
      XGetTransientForHint(in.display, box, &owner);
      steps[i].answer(in, box);
    });
    const int answer = editor->ShowMessage("First line\n\tindented", "Veltrane says", steps[i].type);
    helper.join();
    ASSERT_NE(box, 0u);
    EXPECT_EQ(answer, steps[i].expected);
    EXPECT_EQ(caption, "Veltrane says");
    EXPECT_EQ(owner, host);
    EXPECT_FALSE(Exists(box));
  }
  // With the editor closed the box still comes up.
  EXPECT_EQ(Dispatch(effEditClose), 1);
  std::thread helper([] {
    Input in;
    if (in.FindMessageBox() != 0) in.Key(XK_y);
  });
  EXPECT_EQ(editor->ShowMessage("Closed", "Later", 4), 6);
  helper.join();
}

TEST_F(X11Editor, TheBrowserStartsWithoutAShellAndLeavesNoChildBehind) {
  char folder[] = "/tmp/veltrane-x11-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string dir = folder, opener = dir + "/xdg-open", opened = dir + "/opened";
  std::ofstream(opener) << "#!/bin/sh\nprintf '%s' \"$1\" > '" << opened << "'\n";
  ASSERT_EQ(chmod(opener.c_str(), 0755), 0);
  const std::string savedPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
  setenv("PATH", dir.c_str(), 1);
  ASSERT_NE(Open(), 0u);
  auto answerNext = [](KeySym key, std::string* caption) {
    return std::thread([key, caption] {
      Input in;
      const Window box = in.FindMessageBox();
      char* name = nullptr;
      if (box != 0 && XFetchName(in.display, box, &name) != 0) *caption = name, XFree(name);
      if (box != 0) in.Key(key);
    });
  };
  auto read = [&] {
    std::string text;
    std::getline(std::ifstream(opened), text);
    return text;
  };

  EXPECT_TRUE(editor->LaunchUrl("https://example.org/a b", "Browser", nullptr, "no browser"));
  EXPECT_TRUE(WaitFor([&] { return read() == "https://example.org/a b"; }));
  errno = 0;
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);  // no child of ours is left
  EXPECT_EQ(errno, ECHILD);
  // Asked first: No opens nothing.
  std::remove(opened.c_str());
  std::string caption;
  std::thread no = answerNext(XK_n, &caption);
  EXPECT_FALSE(editor->LaunchUrl("https://example.org/b", "Browser", "Open it?", "no browser"));
  no.join();
  SleepMs(50);
  EXPECT_EQ(read(), "");
  setenv("PATH", savedPath.c_str(), 1);
  std::remove(opener.c_str());
  rmdir(folder);
}

// Whether posix_spawnp here reports a program that cannot be started.
// qemu-user runs the vfork it is made of as a fork, so the failure stays in
// the child and the call answers success.
bool SpawnReportsAMissingProgram() {
  char name[] = "veltrane-no-such-program";
  char* argv[] = {name, nullptr};
  pid_t child = 0;
  const int rc = posix_spawnp(&child, name, nullptr, nullptr, argv, environ);
  if (rc == 0) waitpid(child, nullptr, 0);
  return rc != 0;
}

TEST_F(X11Editor, NoBrowserOnThePathShowsTheError) {
  char folder[] = "/tmp/veltrane-x11-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string savedPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
  setenv("PATH", folder, 1);  // an empty folder: no opener
  const bool reported = SpawnReportsAMissingProgram();
  if (reported) {
    ASSERT_NE(Open(), 0u);
    std::string caption;
    std::thread ok([&caption] {
      Input in;
      const Window box = in.FindMessageBox();
      char* name = nullptr;
      if (box != 0 && XFetchName(in.display, box, &name) != 0) caption = name, XFree(name);
      if (box != 0) in.Key(XK_Return);
    });
    EXPECT_FALSE(editor->LaunchUrl("https://example.org/c", "Browser", nullptr, "no browser"));
    ok.join();
    EXPECT_EQ(caption, "Browser");
  }
  setenv("PATH", savedPath.c_str(), 1);
  rmdir(folder);
  if (!reported)
    GTEST_SKIP() << "posix_spawnp here answers success for a program that does not exist (as under qemu-user, "
                    "which runs its vfork as a fork), so a missing browser cannot be told";
}

TEST_F(X11Editor, TheHostsIdleCallPumpsAndDeliversValuesFromOtherThreads) {
  ASSERT_NE(Open(), 0u);
  ASSERT_TRUE(PumpUntil([this] { return editor->TimerTicks() >= 2; }));
  const double before = knob->Value();
  ASSERT_NE(before, 1.0);
  std::thread([this] { effect->setParameter(effect, kParamB, 1.0f); }).join();
  EXPECT_EQ(knob->Value(), before);  // parked until the window thread runs
  const int idle = plug->idleTicks;
  EXPECT_EQ(Dispatch(effEditIdle), 0);
  EXPECT_EQ(knob->Value(), 1.0);
  EXPECT_EQ(plug->idleTicks, idle + 1);
  const int ticks = editor->TimerTicks();
  PumpFor(150);
  EXPECT_GE(editor->TimerTicks(), ticks + 2);
  EXPECT_LE(editor->TimerTicks(), ticks + 5);  // 25 a second, not one per idle call
  const int now = editor->TimerTicks();
  SleepMs(60);
  effect->dispatcher(effect, effIdle, 0, 0, nullptr, 0.0f);  // leaves the window alone
  EXPECT_EQ(editor->TimerTicks(), now);
}

TEST_F(X11Editor, ANewSizeResizesBothWindowsAndFoldersAndImagesComeFromTheModule) {
  const Window child = Open();
  ASSERT_NE(child, 0u);
  editor->SetEditorSize(600, 400);
  auto sized = [this](Window w, int width, int height) {
    return PumpUntil([&] { return x->Attributes(w).width == width && x->Attributes(w).height == height; });
  };
  EXPECT_TRUE(sized(child, 600, 400));
  EXPECT_TRUE(sized(host, 716, 510));
  ERect* rect = nullptr;
  ASSERT_EQ(Dispatch(effEditGetRect, &rect), 1);
  EXPECT_EQ(rect->right, 600);

  std::string folder, hostFolder;
  editor->PluginFolder(folder);
  editor->HostFolder(hostFolder);
  char path[4096] = {0};
  ASSERT_GT(readlink("/proc/self/exe", path, sizeof path - 1), 0);
  EXPECT_EQ(hostFolder, std::string(path).substr(0, std::string(path).rfind('/') + 1));
  // The code is linked into this program, named as it was started.
  char* real = realpath(folder.c_str(), nullptr);
  ASSERT_NE(real, nullptr) << folder;
  EXPECT_EQ(std::string(real) + "/", hostFolder);
  std::free(real);
  IGraphicsX11 plain(plug.get());
  LICE_IBitmap* image = plain.LoadImageResource(1, "background.png");
  ASSERT_NE(image, nullptr);
  EXPECT_GT(image->PixelWidth(), 0);
  delete image;
  EXPECT_EQ(plain.LoadImageResource(1, "background.bmp"), nullptr);
}

}  // namespace
}  // namespace gfxtest

namespace gfxtest {
namespace {

// The desktop's Xft.dpi says 2x: the editor opens at twice the panel's size
// and the X server's pointer, in window pixels, reaches controls at their
// panel coordinates.
TEST_F(X11Editor, TheDesktopsXftDpiScalesTheWindowAndInputMapsBack) {
  const Atom resources = XInternAtom(x->display, "RESOURCE_MANAGER", False);
  const std::string database = "Xft.antialias:\t1\nXft.dpi:\t192\n";
  XChangeProperty(x->display, x->Root(), resources, XA_STRING, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(database.data()), static_cast<int>(database.size()));
  x->Sync();
  struct Restore {
    Display* display;
    Atom atom;
    ~Restore() { XDeleteProperty(display, DefaultRootWindow(display), atom), XSync(display, False); }
  } restore{x->display, resources};

  EXPECT_DOUBLE_EQ(editor->SystemScale(nullptr), 2.0);
  XResizeWindow(x->display, host, 1200, 800);
  const Window child = Open();
  ASSERT_NE(child, 0u);
  EXPECT_EQ(editor->Scale(), 2.0);
  const XWindowAttributes a = x->Attributes(child);
  EXPECT_EQ(a.width, 2 * editor->Width());
  EXPECT_EQ(a.height, 2 * editor->Height());
  PumpFor(50);
  journal.clear();
  // The probe covers panel (300..380, 50..70): window (600..760, 100..140).
  MoveTo(621, 121);
  x->Click(Button1);
  ASSERT_TRUE(PumpUntil([this] { return Logged("probe release 310,60"); }));
  EXPECT_EQ(Events(), (std::vector<std::string>{"probe press 310,60", "probe release 310,60"}));
  EXPECT_EQ(Dispatch(effEditClose), 1);
  // Without the resource the system says nothing.
  XDeleteProperty(x->display, x->Root(), resources);
  x->Sync();
  EXPECT_DOUBLE_EQ(editor->SystemScale(nullptr), 0.0);
}

}  // namespace
}  // namespace gfxtest
