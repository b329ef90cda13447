#include <windows.h>

#include "tests/host/HostEditorParent.h"

namespace testhost {

Image CaptureWindow(void* handle, int width, int height) {
  Image out;
  HWND window = static_cast<HWND>(handle);
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

void* MakeParentWindow(int width, int height) {
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

void PumpWindowMessages() {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
}

}  // namespace testhost
