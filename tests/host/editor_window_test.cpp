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
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "tests/host/EditorImages.h"
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


TEST_F(EditorWindow, TheWindowInARealParentShowsTheGoldenPanel) {
  const std::string goldenPath = VELTRANE_HOST_EDITOR_GOLDEN;
#if defined(_WIN32)
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  HWND parent = static_cast<HWND>(MakeParentWindow(kWidth, kHeight));
  ASSERT_NE(parent, nullptr) << "no parent window (is the X server running?)";
  ASSERT_EQ(plugin->Dispatch(effEditOpen, 0, 0, parent), 1);
  HWND child = FindWindowExA(parent, nullptr, "IPlugWndClass", nullptr);
  ASSERT_NE(child, nullptr);
  RECT r{};
  GetClientRect(child, &r);
  EXPECT_EQ(r.right, kWidth);
  EXPECT_EQ(r.bottom, kHeight);
  // A host's first idle call sets the shift indicators; the window's own
  // timer paints, so the host only has to run its message loop.
  plugin->Dispatch(effEditIdle);
  const std::function<void()> wait = [] {
    PumpWindowMessages();
    Sleep(20);
  };
  const std::function<Image()> capture = [child] { return CaptureWindow(child, kWidth, kHeight); };
#else
  X11Parent parent(kWidth, kHeight);
  if (!parent.ok()) GTEST_SKIP() << "no X display to open the editor on: " << parent.why();
  parent.MovePointerAway();
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  ASSERT_EQ(plugin->Dispatch(effEditOpen, 0, 0, parent.handle()), 1);
  const std::vector<unsigned long> children = parent.Children();
  ASSERT_EQ(children.size(), 1u);
  const unsigned long child = children[0];
  int width = 0, height = 0;
  ASSERT_TRUE(parent.Size(child, &width, &height));
  EXPECT_EQ(width, kWidth);
  EXPECT_EQ(height, kHeight);
  // The X11 editor has no timer of its own: it paints in the host's idle calls.
  const std::function<void()> wait = [&plugin, &parent] {
    plugin->Dispatch(effEditIdle);
    parent.Sync();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  };
  const std::function<Image()> capture = [&parent, child] { return parent.Capture(child); };
#endif

  ExpectWindowMatchesGolden(wait, capture, goldenPath, kWidth, kHeight, "editor_window_host.png");
  EXPECT_EQ(plugin->Dispatch(effEditClose), 1);
#if defined(_WIN32)
  EXPECT_EQ(FindWindowExA(parent, nullptr, "IPlugWndClass", nullptr), nullptr);
  DestroyWindow(parent);
  PumpWindowMessages();
#else
  EXPECT_TRUE(parent.Children().empty());
#endif
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
#if defined(_WIN32)
  HWND parent = static_cast<HWND>(MakeParentWindow(kW, kH));
  ASSERT_NE(parent, nullptr) << "no parent window (is the X server running?)";
  ASSERT_EQ(plugin->Dispatch(effEditOpen, 0, 0, parent), 1);
  HWND child = FindWindowExA(parent, nullptr, "IPlugWndClass", nullptr);
  ASSERT_NE(child, nullptr);
  RECT r{};
  GetClientRect(child, &r);
  EXPECT_EQ(r.right, kW);
  EXPECT_EQ(r.bottom, kH);
  plugin->Dispatch(effEditIdle);
  const std::function<void()> wait = [] {
    PumpWindowMessages();
    Sleep(20);
  };
  const std::function<Image()> capture = [child] { return CaptureWindow(child, kW, kH); };
  const std::function<void()> drag = [child, x, y] {
    SendMessageA(child, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    for (int i = 1; i <= 4; ++i) SendMessageA(child, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, y - 10 * i));
    SendMessageA(child, WM_LBUTTONUP, 0, MAKELPARAM(x, y - 40));
  };
#else
  X11Parent parent(kW, kH);
  if (!parent.ok()) GTEST_SKIP() << "no X display to open the editor on: " << parent.why();
  parent.MovePointerAway();
  ASSERT_EQ(plugin->Dispatch(effEditOpen, 0, 0, parent.handle()), 1);
  const std::vector<unsigned long> children = parent.Children();
  ASSERT_EQ(children.size(), 1u);
  const unsigned long child = children[0];
  int width = 0, height = 0;
  ASSERT_TRUE(parent.Size(child, &width, &height));
  EXPECT_EQ(width, kW);
  EXPECT_EQ(height, kH);
  const std::function<void()> wait = [&plugin, &parent] {
    plugin->Dispatch(effEditIdle);
    parent.Sync();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  };
  const std::function<Image()> capture = [&parent, child] { return parent.Capture(child); };
  const std::function<void()> drag = [&parent, child, x, y] { parent.SendDrag(child, x, y, x, y - 40); };
#endif
  // Never rewritten from here: the golden image is the painted surface's.
  ExpectWindowMatchesGolden(wait, capture, goldenPath, kW, kH, "editor_window_2x_host.png", false);

  plugin->SetParameter(kLink, 0.0f);
  wait();
  drag();
  for (int i = 0; i < 5; ++i) wait();
  // The handle's middle follows the pointer: panel y 244 is 1 - (244 - 238) / 52.
  EXPECT_NEAR(plugin->GetParameter(kVolumeR), 1.0 - 6.0 / 52.0, 1e-6);
  EXPECT_NEAR(plugin->GetParameter(kVolumeL), 0.5, 1e-6) << "unlinked: the left stays";

  EXPECT_EQ(plugin->Dispatch(effEditClose), 1);
#if defined(_WIN32)
  DestroyWindow(parent);
  PumpWindowMessages();
#endif
}

}  // namespace
}  // namespace testhost
