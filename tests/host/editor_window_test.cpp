// The editor of the built plug-in as a host meets it: the record announces
// an editor and its size, and the window the plug-in opens inside a real
// parent shows the panel of a golden image (an X11 parent natively; a
// Windows one under Wine, both with an X server).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "tests/host/EditorImages.h"
#include "tests/host/HostEditorModals.h"
#include "tests/host/HostEditorParent.h"
#include "tests/host/HostTestSupport.h"

namespace testhost {
namespace {

using EditorWindow = HostTest;

TEST_F(EditorWindow, TheRecordAnnouncesAnEditorOfThePanelsSize) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  EXPECT_EQ(plugin->effect()->flags, effFlagsHasEditor | effFlagsCanMono | effFlagsCanReplacing |
                                         effFlagsProgramChunks | effFlagsCanDoubleReplacing);
  EXPECT_EQ(plugin->effect()->flags, 0x1039);
  ERect* rect = nullptr;
  ASSERT_EQ(plugin->Dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->right, kWidth);
  EXPECT_EQ(rect->bottom, kHeight);
}


// The plug-in's editor opened by effEditOpen in a real parent window of
// `width` x `height` (Windows under Wine, X11 natively), with what a test
// does to it: wait for repaints, capture it, drag on it, close it.
class EditorInParent {
 public:
  EditorInParent(PluginInstance& plugin, int width, int height)
      : plugin_(plugin),
        width_(width),
        height_(height)
#if !defined(_WIN32)
        ,
        parent_(width, height)
#endif
  {
#if defined(_WIN32)
    parent_ = static_cast<HWND>(MakeParentWindow(width, height));
    if (parent_ == nullptr) {
      problem_ = "no parent window (is the X server running?)";
      return;
    }
    if (plugin_.Dispatch(effEditOpen, 0, 0, parent_) != 1) {
      problem_ = "effEditOpen failed";
      return;
    }
    child_ = FindWindowExA(parent_, nullptr, "IPlugWndClass", nullptr);
    if (child_ == nullptr) problem_ = "the editor made no child window";
    // A host's first idle call sets the shift indicators; the window's own
    // timer paints, so the host only has to run its message loop.
    plugin_.Dispatch(effEditIdle);
#else
    if (!parent_.ok()) {
      skip_ = "no X display to open the editor on: " + parent_.why();
      return;
    }
    parent_.MovePointerAway();
    if (plugin_.Dispatch(effEditOpen, 0, 0, parent_.handle()) != 1) {
      problem_ = "effEditOpen failed";
      return;
    }
    const std::vector<unsigned long> children = parent_.Children();
    if (children.size() != 1) problem_ = "the editor made " + std::to_string(children.size()) + " windows";
    if (!children.empty()) child_ = children[0];
#endif
  }

  ~EditorInParent() {
#if defined(_WIN32)
    if (parent_ != nullptr) DestroyWindow(parent_);
    PumpWindowMessages();
#endif
  }

  // Why the test cannot run here, or why opening failed; empty when open.
  const std::string& skip() const { return skip_; }
  const std::string& problem() const { return problem_; }

  std::pair<int, int> Size() const {
    int width = 0, height = 0;
#if defined(_WIN32)
    RECT r{};
    GetClientRect(child_, &r);
    width = r.right - r.left;
    height = r.bottom - r.top;
#else
    parent_.Size(child_, &width, &height);
#endif
    return {width, height};
  }

  // Lets the window repaint: a Windows window on its own timer, the X11
  // editor (no timer of its own) in the host's idle calls.
  void Wait() {
#if defined(_WIN32)
    PumpWindowMessages();
    Sleep(20);
#else
    plugin_.Dispatch(effEditIdle);
    parent_.Sync();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
#endif
  }

  Image Capture() const {
#if defined(_WIN32)
    return CaptureWindow(child_, width_, height_);
#else
    return parent_.Capture(child_);
#endif
  }

  // A left-button drag in window pixels.
  void Drag(int x0, int y0, int x1, int y1) const {
#if defined(_WIN32)
    SendMessageA(child_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x0, y0));
    for (int i = 1; i <= 4; ++i)
      SendMessageA(child_, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x0 + (x1 - x0) * i / 4, y0 + (y1 - y0) * i / 4));
    SendMessageA(child_, WM_LBUTTONUP, 0, MAKELPARAM(x1, y1));
#else
    parent_.SendDrag(child_, x0, y0, x1, y1);
#endif
  }

  // The editor's own window: an HWND, or an X11 window id.
  void* Window() const {
#if defined(_WIN32)
    return child_;
#else
    return reinterpret_cast<void*>(static_cast<uintptr_t>(child_));
#endif
  }

  // effEditClose's answer; the child window must be gone after it.
  bool CloseLeavesNoWindow() {
    const bool closed = plugin_.Dispatch(effEditClose) == 1;
#if defined(_WIN32)
    return closed && FindWindowExA(parent_, nullptr, "IPlugWndClass", nullptr) == nullptr;
#else
    return closed && parent_.Children().empty();
#endif
  }

  void ExpectMatchesGolden(const std::string& goldenPath, const char* artifact, bool mayRewrite = true) {
    const std::function<void()> wait = [this] { Wait(); };
    const std::function<Image()> capture = [this] { return Capture(); };
    ExpectWindowMatchesGolden(wait, capture, goldenPath, width_, height_, artifact, mayRewrite);
  }

 private:
  PluginInstance& plugin_;
  const int width_, height_;
  std::string skip_, problem_;
#if defined(_WIN32)
  HWND parent_ = nullptr;
  HWND child_ = nullptr;
#else
  X11Parent parent_;
  unsigned long child_ = 0;
#endif
};

TEST_F(EditorWindow, TheWindowInARealParentShowsTheGoldenPanel) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  EditorInParent editor(*plugin, kWidth, kHeight);
  if (!editor.skip().empty()) GTEST_SKIP() << editor.skip();
  ASSERT_EQ(editor.problem(), "");
  EXPECT_EQ(editor.Size(), std::make_pair(kWidth, kHeight));
  editor.ExpectMatchesGolden(VELTRANE_HOST_EDITOR_GOLDEN, "editor_window_host.png");
  EXPECT_TRUE(editor.CloseLeavesNoWindow());
}

// A scale-aware host says 2x: it is told a window of twice the panel's
// size, the window shows the panel as the editor paints it at that scale
// (the headless editor's golden image at 2x; only the shift indicators,
// which the host's idle calls set, may differ), and a drag of 40 window
// pixels moves the right volume fader by 20 panel pixels.
TEST_F(EditorWindow, AtTwiceTheScaleTheWindowShowsThePaintedPanelAndTakesDrags) {
  constexpr int kW = 2 * kWidth, kH = 2 * kHeight;
  std::string goldenPath = VELTRANE_HOST_EDITOR_GOLDEN;
  goldenPath.replace(goldenPath.rfind("editor_window_"), 14, "editor_fresh_2x_");
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  ASSERT_EQ(plugin->Dispatch(effVendorSpecific, CCONST('P', 'r', 'e', 'S'), CCONST('A', 'e', 'C', 's'), nullptr, 2.0f),
            1);
  ERect* rect = nullptr;
  ASSERT_EQ(plugin->Dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->right, kW);
  EXPECT_EQ(rect->bottom, kH);
  // The fader's handle: Volume R at 0.5 (program 0's 0 dB) puts it at
  // panel (546..566, 254..274).
  ASSERT_NEAR(plugin->GetParameter(kVolumeR), 0.5f, 1e-6);
  const int x = 2 * 556, y = 2 * 264;

  EditorInParent editor(*plugin, kW, kH);
  if (!editor.skip().empty()) GTEST_SKIP() << editor.skip();
  ASSERT_EQ(editor.problem(), "");
  EXPECT_EQ(editor.Size(), std::make_pair(kW, kH));
  // Never rewritten from here: the golden image is the painted surface's.
  editor.ExpectMatchesGolden(goldenPath, "editor_window_2x_host.png", false);

  plugin->SetParameter(kLink, 0.0f);
  editor.Wait();
  editor.Drag(x, y, x, y - 40);
  for (int i = 0; i < 5; ++i) editor.Wait();
  // The handle's middle follows the pointer: panel y 244 is 1 - (244 - 238) / 52.
  EXPECT_NEAR(plugin->GetParameter(kVolumeR), 1.0 - 6.0 / 52.0, 1e-6);
  EXPECT_NEAR(plugin->GetParameter(kVolumeL), 0.5, 1e-6) << "unlinked: the left stays";
  EXPECT_TRUE(editor.CloseLeavesNoWindow());
}

// The host's audio thread keeps running while the editor's modal windows
// are open: the program menu, the zoom menu (a right click on the bare
// panel) and the rename box, each opened by a click from another thread
// while the host's GUI thread idles the editor.
TEST_F(EditorWindow, AudioRunsWhileTheEditorsMenusAndTextBoxAreOpen) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  EditorInParent editor(*plugin, kWidth, kHeight);
  if (!editor.skip().empty()) GTEST_SKIP() << editor.skip();
  ASSERT_EQ(editor.problem(), "");
  EditorInput input(editor.Window());
  ASSERT_TRUE(input.ok());
  FloatBuffers in(2, std::vector<float>(512, 0.25f)), out(2, std::vector<float>(512, 0.0f));
  const HostLoops loops{[&] { editor.Wait(); }, [&] { plugin->ProcessReplacing(in, out, 512); }};
  for (const ModalCase& c : kEditorModals)
    EXPECT_EQ(AudioWhileModalOpen(loops, input, c.kind, [&] { input.Click(c.x, c.y, c.button); }), "") << c.what;
  EXPECT_TRUE(editor.CloseLeavesNoWindow());
}

}  // namespace
}  // namespace testhost
