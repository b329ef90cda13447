#include <windows.h>

#include <string>

#include "tests/torture/EditorParent.h"

namespace torture {
namespace {

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

EditorParent::EditorParent() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &ParentProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VeltraneTortureParent";
    registered = RegisterClassA(&wc) != 0;
  }
  handle_ = CreateWindowExA(0, "VeltraneTortureParent", "torture host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 700,
                            500, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (handle_ == nullptr) why_ = "CreateWindowExA failed, error " + std::to_string(GetLastError());
}

EditorParent::~EditorParent() {
  if (handle_ != nullptr) DestroyWindow(static_cast<HWND>(handle_));
  Pump();
}

void EditorParent::Pump() {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
}

int EditorParent::Children() const {
  int count = 0;
  if (handle_ == nullptr) return 0;
  for (HWND c = GetWindow(static_cast<HWND>(handle_), GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) ++count;
  return count;
}

}  // namespace torture
