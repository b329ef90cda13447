// The editor of the built plug-in as a host meets it: the record announces
// an editor and its size, and on Windows the window the plug-in opens inside
// a real parent shows the panel of the editor tests' golden image (run under
// Wine with an X server).
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>

#include <png.h>

#include <chrono>
#include <cstdlib>
#endif

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

#if defined(_WIN32)

// Pixels as a 32-bit top-down DIB holds them: blue, green, red, unused.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bgra;
};

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
#if !defined(_WIN32)
  GTEST_SKIP() << "the parent is a Windows window here";
#else
  const std::string goldenPath = VELTRANE_HOST_EDITOR_GOLDEN;
  const Image golden = ReadPng(goldenPath);
  ASSERT_EQ(golden.width, kWidth) << "cannot read " << goldenPath;
  ASSERT_EQ(golden.height, kHeight);
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

  // Text edges may differ by a shade; 0.5 % of the panel is about a word.
  const int allowed = kWidth * kHeight / 200;
  Image shot;
  int differing = kWidth * kHeight;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    PumpMessages();
    Sleep(20);
    shot = Capture(child);
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
  EXPECT_EQ(FindWindowExA(parent, nullptr, "IPlugWndClass", nullptr), nullptr);
  DestroyWindow(parent);
  PumpMessages();
#endif
}

}  // namespace
}  // namespace testhost
