// The editor through VST3's view: its platform and size, and the panel in a
// real parent window (X11 with the host's run loop natively, HWND under
// Wine) that looks like the golden image, sends a dragged control's changes
// and its linked partner's to the host inside their gestures, and goes away
// when removed.
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <utility>

#include "tests/host/HostEditorModals.h"
#include "tests/host/HostEditorParent.h"
#include "tests/plugin/vst3/Vst3TestSupport.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#endif

namespace vst3host {
namespace {

using namespace vst3;
using Vst3Editor = Vst3Test;

constexpr int kWidth = 584, kHeight = 390;
#if defined(_WIN32)
const char* const kNative = kPlatformTypeHWND;
const char* const kOther = kPlatformTypeX11EmbedWindowID;
#else
const char* const kNative = kPlatformTypeX11EmbedWindowID;
const char* const kOther = kPlatformTypeHWND;
#endif

TEST_F(Vst3Editor, TheViewAnswersForItsPlatformAndItsOneSize) {
  auto plugin = Instance::Create();
  ASSERT_TRUE(plugin);
  EXPECT_EQ(plugin->controller->createView("inspector"), nullptr);
  IPlugView* view = plugin->controller->createView(kEditorViewName);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->isPlatformTypeSupported(kNative), kResultTrue);
  EXPECT_EQ(view->isPlatformTypeSupported(kOther), kResultFalse);
  ViewRect size{};
  ASSERT_EQ(view->getSize(&size), kResultOk);
  EXPECT_EQ(size.right - size.left, kWidth);
  EXPECT_EQ(size.bottom - size.top, kHeight);
  EXPECT_EQ(view->canResize(), kResultFalse);
  ViewRect bigger{10, 10, 1000, 800};
  EXPECT_EQ(view->onSize(&bigger), kResultFalse);
  ASSERT_EQ(view->checkSizeConstraint(&bigger), kResultOk);
  EXPECT_EQ(bigger.right, 10 + kWidth);
  EXPECT_EQ(bigger.bottom, 10 + kHeight);
  EXPECT_EQ(view->attached(nullptr, kNative), kInvalidArgument);
  int notAWindow = 0;
  EXPECT_EQ(view->attached(&notAWindow, kOther), kResultFalse);
  EXPECT_EQ(view->removed(), kResultFalse);
  EXPECT_EQ(view->release(), 0u);
}

TEST_F(Vst3Editor, InARealParentItShowsThePanelAndSendsGesturesToTheHost) {
  auto plugin = Instance::Create();
  ASSERT_TRUE(plugin);
  Frame frame;
  IPlugView* view = plugin->controller->createView(kEditorViewName);
  ASSERT_NE(view, nullptr);
  ASSERT_EQ(view->setFrame(&frame), kResultOk);

#if defined(_WIN32)
  const std::string golden = VELTRANE_GOLDEN_DIR "/editor_window_wine.png";
  HWND parent = static_cast<HWND>(testhost::MakeParentWindow(kWidth, kHeight));
  ASSERT_NE(parent, nullptr) << "no parent window (is the X server running?)";
  ASSERT_EQ(view->attached(parent, kNative), kResultOk);
  HWND child = FindWindowExA(parent, nullptr, "IPlugWndClass", nullptr);
  ASSERT_NE(child, nullptr);
  const std::function<void(int)> run = [](int ms) {
    for (int t = 0; t < ms; t += 10) testhost::PumpWindowMessages(), Sleep(10);
  };
  const std::function<testhost::Image()> capture = [child] {
    return testhost::CaptureWindow(child, kWidth, kHeight);
  };
  const std::function<void(int, int, int)> mouse = [child](int message, int x, int y) {
    PostMessageA(child, static_cast<UINT>(message), message == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(x, y));
  };
  const int press = WM_LBUTTONDOWN, move = WM_MOUSEMOVE, release = WM_LBUTTONUP;
#else
  const std::string golden = VELTRANE_GOLDEN_DIR "/editor_window_linux.png";
  testhost::X11Parent parent(kWidth, kHeight);
  if (!parent.ok()) GTEST_SKIP() << "no X display to open the editor on: " << parent.why();
  parent.MovePointerAway();
  ASSERT_EQ(view->attached(parent.handle(), kNative), kResultOk);
  // The window lives on the host's loop: a 40 ms timer and the X connection.
  ASSERT_EQ(frame.timers.size(), 1u);
  EXPECT_EQ(frame.timers[0].interval, 40u);
  EXPECT_EQ(frame.fds.size(), 1u);
  const std::vector<unsigned long> children = parent.Children();
  ASSERT_EQ(children.size(), 1u);
  const unsigned long child = children[0];
  const std::function<void(int)> run = [&frame, &parent](int ms) {
    parent.Sync();
    frame.RunFor(ms);
  };
  const std::function<testhost::Image()> capture = [&parent, child] { return parent.Capture(child); };
  Display* input = XOpenDisplay(nullptr);
  ASSERT_NE(input, nullptr);
  int rootX = 0, rootY = 0;
  Window unused = 0;
  XTranslateCoordinates(input, child, DefaultRootWindow(input), 0, 0, &rootX, &rootY, &unused);
  const std::function<void(int, int, int)> mouse = [&](int what, int x, int y) {
    XTestFakeMotionEvent(input, -1, rootX + x, rootY + y, CurrentTime);
    if (what != 0) XTestFakeButtonEvent(input, 1, what > 0, CurrentTime);
    XSync(input, False);
  };
  const int press = 1, move = 0, release = -1;
#endif

  // One window at a time.
  IPlugView* second = plugin->controller->createView(kEditorViewName);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->attached(reinterpret_cast<void*>(uintptr_t{1}), kNative), kResultFalse);
  second->release();

  const testhost::Image want = testhost::ReadPng(golden);
  ASSERT_EQ(want.width, kWidth) << "cannot read " << golden;
  int differing = kWidth * kHeight;
  for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
       differing >= kWidth * kHeight / 200 && std::chrono::steady_clock::now() < until;) {
    run(40);
    differing = testhost::DifferingPixels(capture(), want, 48);
  }
  EXPECT_LT(differing, kWidth * kHeight / 200) << "pixels differ from " << golden;

  // Linked, Mix L at the top of its track (its handle at 426, 228), then
  // dragged down: Mix R follows, each change inside its gesture.
  plugin->controller->setParamNormalized(testhost::kLink, 1.0);
  plugin->controller->setParamNormalized(testhost::kMixL, 1.0);
  run(60);
  plugin->handler.Clear();
  mouse(press, 436, 238);
  run(60);
  mouse(move, 436, 250);
  run(60);
  mouse(move, 436, 262);
  run(60);
  mouse(release, 436, 262);
  run(60);
  const std::string script = plugin->handler.Script();
  EXPECT_EQ(script.rfind("b 3 p 3", 0), 0u) << script;
  EXPECT_NE(script.find("p 3 b 4 p 4"), std::string::npos) << script;
  EXPECT_EQ(script.size() > 8 ? script.substr(script.size() - 7) : script, "e 3 e 4") << script;
  EXPECT_EQ(script.find('e'), script.size() - 7) << script;
  EXPECT_LT(plugin->controller->getParamNormalized(testhost::kMixR), 1.0);

  ASSERT_EQ(view->removed(), kResultOk);
#if defined(_WIN32)
  EXPECT_EQ(FindWindowExA(parent, nullptr, "IPlugWndClass", nullptr), nullptr);
  DestroyWindow(parent);
  testhost::PumpWindowMessages();
#else
  XCloseDisplay(input);
  EXPECT_TRUE(parent.Children().empty());
  EXPECT_TRUE(frame.timers.empty());
  EXPECT_TRUE(frame.fds.empty());
#endif
  EXPECT_EQ(view->release(), 0u);
}

// The host offers scale 2 before attaching: the view answers the doubled
// size and the window opens at it. Offered while attached, a new scale
// resizes the window and asks the host's frame for the new size.
TEST_F(Vst3Editor, InARealParentTheHostsScaleSizesTheWindowAndTheFrame) {
  auto plugin = Instance::Create();
  ASSERT_TRUE(plugin);
  Frame frame;
  IPlugView* view = plugin->controller->createView(kEditorViewName);
  ASSERT_NE(view, nullptr);
  ASSERT_EQ(view->setFrame(&frame), kResultOk);
  void* found = nullptr;
  ASSERT_EQ(view->queryInterface(kIPlugViewContentScaleSupportIid.bytes, &found), kResultOk);
  auto* scale = static_cast<IPlugViewContentScaleSupport*>(found);
  EXPECT_EQ(scale->setContentScaleFactor(std::nanf("")), kInvalidArgument);
  ASSERT_EQ(scale->setContentScaleFactor(2.0f), kResultTrue);
  ViewRect size{};
  ASSERT_EQ(view->getSize(&size), kResultOk);
  EXPECT_EQ(size.right - size.left, 2 * kWidth);
  EXPECT_EQ(size.bottom - size.top, 2 * kHeight);
  ViewRect asked{0, 0, 800, 600};
  ASSERT_EQ(view->checkSizeConstraint(&asked), kResultOk);
  EXPECT_EQ(asked.right, 2 * kWidth);
  EXPECT_EQ(asked.bottom, 2 * kHeight);

#if defined(_WIN32)
  HWND parent = static_cast<HWND>(testhost::MakeParentWindow(2 * kWidth, 2 * kHeight));
  ASSERT_NE(parent, nullptr) << "no parent window (is the X server running?)";
  ASSERT_EQ(view->attached(parent, kNative), kResultOk);
  HWND child = FindWindowExA(parent, nullptr, "IPlugWndClass", nullptr);
  ASSERT_NE(child, nullptr);
  const std::function<std::pair<int, int>()> windowSize = [child] {
    testhost::PumpWindowMessages();
    RECT r{};
    GetClientRect(child, &r);
    return std::make_pair(static_cast<int>(r.right - r.left), static_cast<int>(r.bottom - r.top));
  };
#else
  testhost::X11Parent parent(2 * kWidth, 2 * kHeight);
  if (!parent.ok()) GTEST_SKIP() << "no X display to open the editor on: " << parent.why();
  ASSERT_EQ(view->attached(parent.handle(), kNative), kResultOk);
  const std::vector<unsigned long> children = parent.Children();
  ASSERT_EQ(children.size(), 1u);
  const unsigned long child = children[0];
  const std::function<std::pair<int, int>()> windowSize = [&parent, child] {
    parent.Sync();
    int w = 0, h = 0;
    parent.Size(child, &w, &h);
    return std::make_pair(w, h);
  };
#endif
  EXPECT_EQ(windowSize(), std::make_pair(2 * kWidth, 2 * kHeight));
  // The size the host was told is the window's: nothing to ask for.
  EXPECT_TRUE(frame.resizes.empty());

  ASSERT_EQ(scale->setContentScaleFactor(1.0f), kResultTrue);
  ASSERT_EQ(frame.resizes.size(), 1u);
  EXPECT_EQ(frame.resizes[0].width, kWidth);
  EXPECT_EQ(frame.resizes[0].height, kHeight);
  EXPECT_EQ(frame.resizes[0].onSize, kResultOk);
  EXPECT_EQ(windowSize(), std::make_pair(kWidth, kHeight));
  ASSERT_EQ(scale->setContentScaleFactor(2.0f), kResultTrue);
  ASSERT_EQ(frame.resizes.size(), 2u);
  EXPECT_EQ(frame.resizes[1].width, 2 * kWidth);
  EXPECT_EQ(frame.resizes[1].height, 2 * kHeight);
  EXPECT_EQ(frame.resizes[1].onSize, kResultOk);
  EXPECT_EQ(windowSize(), std::make_pair(2 * kWidth, 2 * kHeight));
  ASSERT_EQ(view->getSize(&size), kResultOk);
  EXPECT_EQ(size.right - size.left, 2 * kWidth);
  // Beyond what the panel draws: limited to 2, and the host hears so.
  EXPECT_EQ(scale->setContentScaleFactor(3.0f), kResultFalse);
  EXPECT_EQ(frame.resizes.size(), 2u);

  ASSERT_EQ(view->removed(), kResultOk);
#if defined(_WIN32)
  DestroyWindow(parent);
  testhost::PumpWindowMessages();
#endif
  scale->release();
  EXPECT_EQ(view->release(), 0u);
}

// The host's audio thread keeps running while the editor's menus and its
// rename box are open, each opened by a click from another thread while
// the host's GUI thread runs its loop.
TEST_F(Vst3Editor, AudioRunsWhileTheEditorsMenusAndTextBoxAreOpen) {
  auto plugin = Instance::Create();
  ASSERT_TRUE(plugin);
  plugin->Start(44100.0, 512);
  Frame frame;
  IPlugView* view = plugin->controller->createView(kEditorViewName);
  ASSERT_NE(view, nullptr);
  ASSERT_EQ(view->setFrame(&frame), kResultOk);
#if defined(_WIN32)
  HWND parent = static_cast<HWND>(testhost::MakeParentWindow(kWidth, kHeight));
  ASSERT_NE(parent, nullptr) << "no parent window (is the X server running?)";
  ASSERT_EQ(view->attached(parent, kNative), kResultOk);
  void* child = FindWindowExA(parent, nullptr, "IPlugWndClass", nullptr);
  const std::function<void()> guiTurn = [] { testhost::PumpWindowMessages(), Sleep(10); };
#else
  testhost::X11Parent parent(kWidth, kHeight);
  if (!parent.ok()) GTEST_SKIP() << "no X display to open the editor on: " << parent.why();
  ASSERT_EQ(view->attached(parent.handle(), kNative), kResultOk);
  const std::vector<unsigned long> children = parent.Children();
  ASSERT_EQ(children.size(), 1u);
  void* child = reinterpret_cast<void*>(static_cast<uintptr_t>(children[0]));
  const std::function<void()> guiTurn = [&] { parent.Sync(), frame.RunFor(10); };
#endif
  ASSERT_NE(child, nullptr);
  testhost::EditorInput input(child);
  ASSERT_TRUE(input.ok());
  std::vector<float> left(512, 0.25f), right(512, 0.25f), outLeft(512), outRight(512);
  float* in[2] = {left.data(), right.data()};
  float* out[2] = {outLeft.data(), outRight.data()};
  const testhost::HostLoops loops{guiTurn, [&] { plugin->Process(in, 2, out, 2, 512); }};
  for (const testhost::ModalCase& c : testhost::kEditorModals)
    EXPECT_EQ(AudioWhileModalOpen(loops, input, c.kind, [&] { input.Click(c.x, c.y, c.button); }), "") << c.what;

  ASSERT_EQ(view->removed(), kResultOk);
#if defined(_WIN32)
  DestroyWindow(parent);
  testhost::PumpWindowMessages();
#endif
  EXPECT_EQ(view->release(), 0u);
}

}  // namespace
}  // namespace vst3host
