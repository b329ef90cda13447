// The editor through CLAP's gui extension, in a real parent window (an X11
// window natively, a Windows one under Wine): the embedding rules, the
// panel's fixed size, the host timer and X connection the Linux editor runs
// on, the panel of the golden image, and closing without a trace.
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "tests/host/EditorImages.h"
#include "tests/host/HostEditorModals.h"
#include "tests/plugin/clap/ClapTestSupport.h"

namespace claphost {
namespace {

using ClapEditor = ClapTest;
using testhost::Image;
using testhost::kHeight;
using testhost::kWidth;

TEST_F(ClapEditor, EmbeddingRulesAndTheFixedSize) {
  auto plugin = ClapInstance::Create();
  ASSERT_TRUE(plugin);
  const clap_plugin_gui_t* gui = plugin->gui();
  ASSERT_NE(gui, nullptr);
  const clap_plugin_t* p = plugin->plugin();
#if defined(_WIN32)
  const char* ours = CLAP_WINDOW_API_WIN32;
  const char* other = CLAP_WINDOW_API_X11;
#else
  const char* ours = CLAP_WINDOW_API_X11;
  const char* other = CLAP_WINDOW_API_WIN32;
#endif
  EXPECT_TRUE(gui->is_api_supported(p, ours, false));
  EXPECT_FALSE(gui->is_api_supported(p, ours, true));  // no floating window
  EXPECT_FALSE(gui->is_api_supported(p, other, false));
  EXPECT_FALSE(gui->is_api_supported(p, nullptr, false));
  const char* api = nullptr;
  bool floating = true;
  ASSERT_TRUE(gui->get_preferred_api(p, &api, &floating));
  EXPECT_STREQ(api, ours);
  EXPECT_FALSE(floating);
  EXPECT_FALSE(gui->create(p, other, false));
  ASSERT_TRUE(gui->create(p, ours, false));
  EXPECT_FALSE(gui->create(p, ours, false));  // one at a time
  uint32_t w = 0, h = 0;
  ASSERT_TRUE(gui->get_size(p, &w, &h));
  EXPECT_EQ(w, static_cast<uint32_t>(kWidth));
  EXPECT_EQ(h, static_cast<uint32_t>(kHeight));
  EXPECT_FALSE(gui->can_resize(p));
  clap_gui_resize_hints_t hints;
  std::memset(&hints, 0xFF, sizeof hints);
  ASSERT_TRUE(gui->get_resize_hints(p, &hints));
  EXPECT_FALSE(hints.can_resize_horizontally || hints.can_resize_vertically || hints.preserve_aspect_ratio);
  EXPECT_FALSE(gui->set_size(p, 800, 600));
  EXPECT_TRUE(gui->set_size(p, kWidth, kHeight));
  w = 1000, h = 10;
  ASSERT_TRUE(gui->adjust_size(p, &w, &h));
  EXPECT_EQ(w, static_cast<uint32_t>(kWidth));
  // A host's scale: the window has that many more pixels; beyond 2 it is
  // limited, and the host hears so.
  ASSERT_TRUE(gui->set_scale(p, 2.0));
  ASSERT_TRUE(gui->get_size(p, &w, &h));
  EXPECT_EQ(w, 2u * kWidth);
  EXPECT_EQ(h, 2u * kHeight);
  EXPECT_FALSE(gui->set_scale(p, 3.0));
  EXPECT_FALSE(gui->set_scale(p, std::nan("")));
  ASSERT_TRUE(gui->set_scale(p, 1.0));
  ASSERT_TRUE(gui->get_size(p, &w, &h));
  EXPECT_EQ(w, static_cast<uint32_t>(kWidth));
  const clap_window_t wrong{other, {nullptr}};
  EXPECT_FALSE(gui->set_parent(p, &wrong));
  EXPECT_FALSE(gui->set_parent(p, nullptr));
  EXPECT_FALSE(gui->show(p));  // nothing to show without a parent
  gui->destroy(p);
  EXPECT_FALSE(plugin->TimerRegistered(nullptr, nullptr));
}

TEST_F(ClapEditor, TheWindowInARealParentShowsTheGoldenPanel) {
  const std::string goldenPath = VELTRANE_HOST_EDITOR_GOLDEN;
#if defined(_WIN32)
  HWND parent = static_cast<HWND>(testhost::MakeParentWindow(kWidth, kHeight));
  ASSERT_NE(parent, nullptr) << "no parent window (is the X server running?)";
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  clap_window_t window{CLAP_WINDOW_API_WIN32, {nullptr}};
  window.win32 = parent;
#else
  testhost::X11Parent parent(kWidth, kHeight);
  if (!parent.ok()) GTEST_SKIP() << "no X display to open the editor on: " << parent.why();
  parent.MovePointerAway();
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  clap_window_t window{CLAP_WINDOW_API_X11, {nullptr}};
  window.x11 = static_cast<unsigned long>(reinterpret_cast<uintptr_t>(parent.handle()));
#endif
  const clap_plugin_gui_t* gui = plugin->gui();
  const clap_plugin_t* p = plugin->plugin();
  plugin->ClearCalls();
  ASSERT_TRUE(gui->create(p, window.api, false));
  ASSERT_TRUE(gui->set_parent(p, &window));
  EXPECT_TRUE(gui->show(p));
  for (const HostCall& call : plugin->Calls()) EXPECT_TRUE(call.mainThread) << call.what;

#if defined(_WIN32)
  // The window repaints from its own timer: no host timer is asked for.
  EXPECT_EQ(plugin->Count("register_timer"), 0u);
  HWND child = FindWindowExA(parent, nullptr, "IPlugWndClass", nullptr);
  ASSERT_NE(child, nullptr);
  const std::function<void()> wait = [] {
    testhost::PumpWindowMessages();
    Sleep(20);
  };
  const std::function<Image()> capture = [child] { return testhost::CaptureWindow(child, kWidth, kHeight); };
#else
  // The X11 editor runs on the host's timer and its connection's descriptor.
  clap_id timer = CLAP_INVALID_ID;
  uint32_t period = 0;
  ASSERT_TRUE(plugin->TimerRegistered(&timer, &period));
  EXPECT_GT(period, 0u);
  EXPECT_LE(period, 40u);
  EXPECT_GE(plugin->RegisteredFd(), 0);
  const std::vector<unsigned long> children = parent.Children();
  ASSERT_EQ(children.size(), 1u);
  const unsigned long child = children[0];
  int width = 0, height = 0;
  ASSERT_TRUE(parent.Size(child, &width, &height));
  EXPECT_EQ(width, kWidth);
  EXPECT_EQ(height, kHeight);
  const std::function<void()> wait = [&plugin, &parent] {
    plugin->FireFd();
    plugin->FireTimer();
    parent.Sync();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  };
  const std::function<Image()> capture = [&parent, child] { return parent.Capture(child); };
#endif

  testhost::ExpectWindowMatchesGolden(wait, capture, goldenPath, kWidth, kHeight, "clap_editor_window.png", false);

  gui->destroy(p);
#if defined(_WIN32)
  EXPECT_EQ(FindWindowExA(parent, nullptr, "IPlugWndClass", nullptr), nullptr);
#else
  EXPECT_TRUE(parent.Children().empty());
  EXPECT_FALSE(plugin->TimerRegistered(nullptr, nullptr));
  EXPECT_EQ(plugin->RegisteredFd(), -1);
#endif
  // Open again after a close, as hosts do when the user reopens the editor.
  ASSERT_TRUE(gui->create(p, window.api, false));
  ASSERT_TRUE(gui->set_parent(p, &window));
  gui->destroy(p);
#if defined(_WIN32)
  DestroyWindow(parent);
  testhost::PumpWindowMessages();
#endif
}

// The host's audio thread keeps running while the editor's menus and its
// rename box are open, each opened by a click from another thread while
// the host's main thread runs its loop.
TEST_F(ClapEditor, AudioRunsWhileTheEditorsMenusAndTextBoxAreOpen) {
#if defined(_WIN32)
  HWND parent = static_cast<HWND>(testhost::MakeParentWindow(kWidth, kHeight));
  ASSERT_NE(parent, nullptr) << "no parent window (is the X server running?)";
  clap_window_t window{CLAP_WINDOW_API_WIN32, {nullptr}};
  window.win32 = parent;
#else
  testhost::X11Parent parent(kWidth, kHeight);
  if (!parent.ok()) GTEST_SKIP() << "no X display to open the editor on: " << parent.why();
  clap_window_t window{CLAP_WINDOW_API_X11, {nullptr}};
  window.x11 = static_cast<unsigned long>(reinterpret_cast<uintptr_t>(parent.handle()));
#endif
  auto plugin = Running(44100.0, 512);
  ASSERT_TRUE(plugin);
  const clap_plugin_gui_t* gui = plugin->gui();
  const clap_plugin_t* p = plugin->plugin();
  ASSERT_TRUE(gui->create(p, window.api, false));
  ASSERT_TRUE(gui->set_parent(p, &window));
#if defined(_WIN32)
  void* child = FindWindowExA(parent, nullptr, "IPlugWndClass", nullptr);
  const std::function<void()> guiTurn = [] { testhost::PumpWindowMessages(), Sleep(10); };
#else
  const std::vector<unsigned long> children = parent.Children();
  ASSERT_EQ(children.size(), 1u);
  void* child = reinterpret_cast<void*>(static_cast<uintptr_t>(children[0]));
  const std::function<void()> guiTurn = [&] {
    plugin->FireFd();
    plugin->FireTimer();
    parent.Sync();
  };
#endif
  ASSERT_NE(child, nullptr);
  testhost::EditorInput input(child);
  ASSERT_TRUE(input.ok());
  std::vector<std::vector<float>> in(2, std::vector<float>(512, 0.25f)), out(2, std::vector<float>(512));
  const testhost::HostLoops loops{guiTurn, [&] { plugin->ProcessFloat(in, out, 512); }};
  for (const testhost::ModalCase& c : testhost::kEditorModals)
    EXPECT_EQ(AudioWhileModalOpen(loops, input, c.kind, [&] { input.Click(c.x, c.y, c.button); }), "") << c.what;
  gui->destroy(p);
#if defined(_WIN32)
  DestroyWindow(parent);
  testhost::PumpWindowMessages();
#endif
}

}  // namespace
}  // namespace claphost
