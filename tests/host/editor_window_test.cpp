// The editor of the built plug-in as a host meets it: the record announces
// an editor and its size, and the window the plug-in opens inside a real
// parent shows the panel of a golden image (an X11 parent natively; a
// Windows one under Wine, both with an X server).
#include <png.h>

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
  HWND parent = MakeParent();
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
    PumpMessages();
    Sleep(20);
  };
  const std::function<Image()> capture = [child] { return Capture(child); };
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

  if (UpdatingGolden()) {
    // A second lets the panel and its indicators settle.
    const auto settled = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (std::chrono::steady_clock::now() < settled) wait();
    ASSERT_TRUE(WritePng(goldenPath, capture())) << goldenPath;
  }
  const Image golden = ReadPng(goldenPath);
  ASSERT_EQ(golden.width, kWidth) << "cannot read " << goldenPath
                                  << " (run once with VELTRANE_UPDATE_GOLDEN=1 and look at it)";
  ASSERT_EQ(golden.height, kHeight);

  // Text edges may differ by a shade; 0.5 % of the panel is about a word.
  const int allowed = kWidth * kHeight / 200;
  Image shot;
  int differing = kWidth * kHeight;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    wait();
    shot = capture();
    differing = DifferingPixels(shot, golden, 48);
    if (differing < allowed) break;
  }
  EXPECT_LT(differing, allowed) << differing << " pixels differ from " << goldenPath;
  if (differing >= allowed && shot.width == kWidth) {
    const std::string artifact = std::string(VELTRANE_HOST_ARTIFACTS) + "/editor_window_host.png";
    EXPECT_TRUE(WritePng(artifact, shot)) << artifact;
    ADD_FAILURE() << "the window as captured is in " << artifact;
  }

  EXPECT_EQ(plugin->Dispatch(effEditClose), 1);
#if defined(_WIN32)
  EXPECT_EQ(FindWindowExA(parent, nullptr, "IPlugWndClass", nullptr), nullptr);
  DestroyWindow(parent);
  PumpMessages();
#else
  EXPECT_TRUE(parent.Children().empty());
#endif
}

}  // namespace
}  // namespace testhost
