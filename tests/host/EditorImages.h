// What the editor window tests of every format share: golden images read
// and written with libpng, a tolerant comparison that waits for the window
// to show its golden image, and under Windows a top-level parent window,
// its message loop and a capture of a child. VELTRANE_HOST_ARTIFACTS names
// the folder a failing capture is written to.
#pragma once

#include <png.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "tests/host/HostEditorParent.h"

namespace testhost {

constexpr int kWidth = 584, kHeight = 390;

inline Image ReadPng(const std::string& path) {
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

inline bool WritePng(const std::string& path, const Image& image) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width);
  png.height = static_cast<png_uint_32>(image.height);
  png.format = PNG_FORMAT_BGRA;
  return png_image_write_to_file(&png, path.c_str(), 0, image.bgra.data(), 0, nullptr) != 0;
}

// VELTRANE_UPDATE_GOLDEN=1 rewrites the golden image from this run.
inline bool UpdatingGolden() {
  const char* update = std::getenv("VELTRANE_UPDATE_GOLDEN");
  return update != nullptr && update[0] == '1';
}

// Pixels with a colour channel further apart than the threshold; all of
// them when the sizes differ.
inline int DifferingPixels(const Image& a, const Image& b, int threshold) {
  if (a.width != b.width || a.height != b.height || a.bgra.size() != b.bgra.size()) return a.width * a.height + 1;
  int differing = 0;
  for (size_t i = 0; i < a.bgra.size(); i += 4) {
    int worst = 0;
    for (size_t c = 0; c < 3; ++c) worst = std::max(worst, std::abs(a.bgra[i + c] - b.bgra[i + c]));
    differing += worst > threshold ? 1 : 0;
  }
  return differing;
}

// Waits (up to 5 s) for the window to show the golden image; with
// VELTRANE_UPDATE_GOLDEN=1 first rewrites the golden image from it.
inline void ExpectWindowMatchesGolden(const std::function<void()>& wait, const std::function<Image()>& capture,
                               const std::string& goldenPath, int width, int height, const char* artifactName,
                               bool mayUpdate = true) {
  if (mayUpdate && UpdatingGolden()) {
    // A second lets the panel and its indicators settle.
    const auto settled = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (std::chrono::steady_clock::now() < settled) wait();
    ASSERT_TRUE(WritePng(goldenPath, capture())) << goldenPath;
  }
  const Image golden = ReadPng(goldenPath);
  ASSERT_EQ(golden.width, width) << "cannot read " << goldenPath
                                 << " (run once with VELTRANE_UPDATE_GOLDEN=1 and look at it)";
  ASSERT_EQ(golden.height, height);

  // Text edges may differ by a shade; 0.5 % of the panel is about a word.
  const int allowed = width * height / 200;
  Image shot;
  int differing = width * height;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    wait();
    shot = capture();
    differing = DifferingPixels(shot, golden, 48);
    if (differing < allowed) break;
  }
  EXPECT_LT(differing, allowed) << differing << " pixels differ from " << goldenPath;
  if (differing >= allowed && shot.width == width) {
    const std::string artifact = std::string(VELTRANE_HOST_ARTIFACTS) + "/" + artifactName;
    EXPECT_TRUE(WritePng(artifact, shot)) << artifact;
    ADD_FAILURE() << "the window as captured is in " << artifact;
  }
}

#if defined(_WIN32)

// The window's pixels as the screen has them.
inline Image Capture(HWND window, int width = kWidth, int height = kHeight) {
  Image out;
  HDC windowDC = GetDC(window);
  if (windowDC == nullptr) return out;
  HDC memory = CreateCompatibleDC(windowDC);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP shot = CreateDIBSection(windowDC, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (shot != nullptr && memory != nullptr) {
    HGDIOBJ old = SelectObject(memory, shot);
    if (BitBlt(memory, 0, 0, width, height, windowDC, 0, 0, SRCCOPY)) {
      GdiFlush();
      out.width = width;
      out.height = height;
      const uint8_t* p = static_cast<const uint8_t*>(bits);
      out.bgra.assign(p, p + static_cast<size_t>(width) * height * 4);
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
inline HWND MakeParent(int width = kWidth, int height = kHeight) {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VeltraneHostEditorParent";
    registered = RegisterClassA(&wc) != 0;
  }
  RECT frame{0, 0, width, height};
  AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
  const int w = frame.right - frame.left, h = frame.bottom - frame.top;
  POINT pointer{0, 0};
  GetCursorPos(&pointer);
  const int x = pointer.x >= GetSystemMetrics(SM_CXSCREEN) / 2 ? 0 : GetSystemMetrics(SM_CXSCREEN) - w;
  const int y = pointer.y >= GetSystemMetrics(SM_CYSCREEN) / 2 ? 0 : GetSystemMetrics(SM_CYSCREEN) - h;
  return CreateWindowExA(0, "VeltraneHostEditorParent", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y, w, h,
                         nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

inline void PumpMessages() {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
}

#endif
}  // namespace testhost
