#include <windows.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "tests/host/HostEditorModals.h"

namespace testhost {
namespace {

struct Search {
  const char* className;
  HWND found;
};

BOOL CALLBACK FindOwnWindow(HWND window, LPARAM data) {
  Search* search = reinterpret_cast<Search*>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  char name[64] = {0};
  GetClassNameA(window, name, sizeof name);
  if (process == GetCurrentProcessId() && IsWindowVisible(window) && std::strcmp(name, search->className) == 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND FindModal(HWND editor, ModalKind kind) {
  if (kind == ModalKind::kTextBox) {
    HWND edit = FindWindowExA(editor, nullptr, "Edit", nullptr);
    return edit != nullptr && IsWindowVisible(edit) ? edit : nullptr;
  }
  Search search{kind == ModalKind::kMenu ? "#32768" : "#32770", nullptr};
  EnumWindows(&FindOwnWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

EditorInput::EditorInput(void* editorWindow) : window_(editorWindow), ok_(editorWindow != nullptr) {}

EditorInput::~EditorInput() = default;

void EditorInput::Click(int x, int y, int button) {
  HWND editor = static_cast<HWND>(window_);
  const UINT down = button == 3 ? WM_RBUTTONDOWN : WM_LBUTTONDOWN;
  const UINT up = button == 3 ? WM_RBUTTONUP : WM_LBUTTONUP;
  PostMessageA(editor, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
  PostMessageA(editor, down, button == 3 ? MK_RBUTTON : MK_LBUTTON, MAKELPARAM(x, y));
  PostMessageA(editor, up, 0, MAKELPARAM(x, y));
}

bool EditorInput::WaitForModal(ModalKind kind, int ms) {
  HWND found = nullptr;
  for (const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
       found == nullptr && std::chrono::steady_clock::now() < until;) {
    found = FindModal(static_cast<HWND>(window_), kind);
    if (found == nullptr) Sleep(10);
  }
  modal_ = reinterpret_cast<uintptr_t>(found);
  return found != nullptr;
}

void EditorInput::ChooseMenuItem(int index) {
  HWND menu = reinterpret_cast<HWND>(modal_);
  auto press = [menu](WPARAM key) {
    PostMessageA(menu, WM_KEYDOWN, key, 1);
    PostMessageA(menu, WM_KEYUP, key, 0xC0000001);
  };
  for (int i = 0; i <= index; ++i) press(VK_DOWN);
  press(VK_RETURN);
}

bool EditorInput::DismissModal(int ms) {
  HWND modal = reinterpret_cast<HWND>(modal_);
  if (modal == nullptr) return false;
  char name[64] = {0};
  GetClassNameA(modal, name, sizeof name);
  if (std::strcmp(name, "#32770") == 0) {
    // A box with OK takes cancel as OK; one with Yes and No takes No.
    PostMessageA(modal, WM_COMMAND, IDCANCEL, 0);
    PostMessageA(modal, WM_COMMAND, IDNO, 0);
  } else {
    PostMessageA(modal, WM_KEYDOWN, VK_ESCAPE, 1);
    PostMessageA(modal, WM_KEYUP, VK_ESCAPE, 0xC0000001);
  }
  bool gone = false;
  for (const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
       !gone && std::chrono::steady_clock::now() < until;) {
    gone = !IsWindow(modal) || !IsWindowVisible(modal);
    if (!gone) Sleep(10);
  }
  if (!gone && std::strcmp(name, "#32768") == 0) EndMenu();
  return gone;
}

}  // namespace testhost
