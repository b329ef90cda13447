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

#include "tests/host/HostEditorParent.h"
#include "tests/host/HostTestSupport.h"

namespace testhost {
namespace {

using EditorWindow = HostTest;

constexpr int kWidth = 584, kHeight = 390;

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

Image ReadPng(const std::string& path) {
  Image out;
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return out;
  png.format = PNG_FORMAT_BGRA;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr)) {
    png_image_free(&png);
    return out;
  }
  out.width = static_cast<int>(png.width);
  out.height = static_cast<int>(png.height);
  out.bgra = std::move(pixels);
  return out;
}

bool WritePng(const std::string& path, const Image& image) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width);
  png.height = static_cast<png_uint_32>(image.height);
  png.format = PNG_FORMAT_BGRA;
  return png_image_write_to_file(&png, path.c_str(), 0, image.bgra.data(), 0, nullptr) != 0;
}

// VELTRANE_UPDATE_GOLDEN=1 rewrites the golden image from this run.
bool UpdatingGolden() {
  const char* update = std::getenv("VELTRANE_UPDATE_GOLDEN");
  return update != nullptr && update[0] == '1';
}

// Pixels with a colour channel further apart than the threshold; all of
// them when the sizes differ.
int DifferingPixels(const Image& a, const Image& b, int threshold) {
  if (a.width != b.width || a.height != b.height || a.bgra.size() != b.bgra.size()) return kWidth * kHeight;
  int differing = 0;
  for (size_t i = 0; i < a.bgra.size(); i += 4) {
    int worst = 0;
    for (size_t c = 0; c < 3; ++c) worst = std::max(worst, std::abs(a.bgra[i + c] - b.bgra[i + c]));
    differing += worst > threshold ? 1 : 0;
  }
  return differing;
}

#if defined(_WIN32)

// The window's pixels as the screen has them.
Image Capture(HWND window) {
  Image out;
  HDC windowDC = GetDC(window);
  if (windowDC == nullptr) return out;
  HDC memory = CreateCompatibleDC(windowDC);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = kWidth;
  info.bmiHeader.biHeight = -kHeight;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP shot = CreateDIBSection(windowDC, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (shot != nullptr && memory != nullptr) {
    HGDIOBJ old = SelectObject(memory, shot);
    if (BitBlt(memory, 0, 0, kWidth, kHeight, windowDC, 0, 0, SRCCOPY)) {
      GdiFlush();
      out.width = kWidth;
      out.height = kHeight;
      const uint8_t* p = static_cast<const uint8_t*>(bits);
      out.bgra.assign(p, p + static_cast<size_t>(kWidth) * kHeight * 4);
      for (size_t i = 3; i < out.bgra.size(); i += 4) out.bgra[i] = 255;
    }
    SelectObject(memory, old);
  }
  if (shot != nullptr) DeleteObject(shot);
  if (memory != nullptr) DeleteDC(memory);
  ReleaseDC(window, windowDC);
  return out;
}

// A top-level window whose client area fits the editor, on the side of the
// screen away from the pointer (a hover would change the status line).
HWND MakeParent() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VeltraneHostEditorParent";
    registered = RegisterClassA(&wc) != 0;
  }
  RECT frame{0, 0, kWidth, kHeight};
  AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
  const int w = frame.right - frame.left, h = frame.bottom - frame.top;
  POINT pointer{0, 0};
  GetCursorPos(&pointer);
  const int x = pointer.x >= GetSystemMetrics(SM_CXSCREEN) / 2 ? 0 : GetSystemMetrics(SM_CXSCREEN) - w;
  const int y = pointer.y >= GetSystemMetrics(SM_CYSCREEN) / 2 ? 0 : GetSystemMetrics(SM_CYSCREEN) - h;
  return CreateWindowExA(0, "VeltraneHostEditorParent", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y, w, h,
                         nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

void PumpMessages() {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
}

#endif

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
