#include "tests/support/DialogCloser.h"

#include <windows.h>

#include <chrono>

namespace veltrane_test {

namespace {

using Clock = std::chrono::steady_clock;

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::string TextOf(HWND window) {
  char text[4096] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

struct Search {
  HWND skip;  // the dialog just answered, possibly still on its way out
  HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM data) {
  Search& search = *reinterpret_cast<Search*>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (window != search.skip && process == GetCurrentProcessId() && IsWindowVisible(window) &&
      ClassOf(window) == "#32770") {
    search.found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectStatic(HWND child, LPARAM data) {
  std::string& text = *reinterpret_cast<std::string*>(data);
  if (ClassOf(child) == "Static") {
    const std::string piece = TextOf(child);
    if (!piece.empty()) text += (text.empty() ? "" : "\n") + piece;
  }
  return TRUE;
}

void Press(HWND dialog, int id) {
  // WM_COMMAND as a click sends it; posted, so this thread never waits on
  // the dialog's modal loop.
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace

DialogCloser::DialogCloser(int buttonId) : DialogCloser(std::vector<int>{buttonId}) {}

DialogCloser::DialogCloser(std::vector<int> buttonIds, int timeoutMs)
    : buttons_(std::move(buttonIds)), timeoutMs_(timeoutMs), seen_(buttons_.size()) {
  thread_ = std::thread([this] {
    Run();
    finished_ = true;
  });
}

DialogCloser::~DialogCloser() {
  if (thread_.joinable()) thread_.join();
}

SeenDialog DialogCloser::Wait() {
  const std::vector<SeenDialog> all = WaitAll();
  return all.empty() ? SeenDialog() : all.front();
}

std::vector<SeenDialog> DialogCloser::WaitAll() {
  if (thread_.joinable()) thread_.join();
  return seen_;
}

void DialogCloser::Run() {
  HWND previous = nullptr;
  for (size_t i = 0; i < buttons_.size(); ++i) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs_);
    Search search{previous, nullptr};
    while (Clock::now() < deadline) {
      // Forget the last dialog once it is gone: its handle may be reused.
      if (search.skip != nullptr && !IsWindow(search.skip)) search.skip = nullptr;
      EnumWindows(&FindDialog, reinterpret_cast<LPARAM>(&search));
      if (search.found != nullptr) break;
      Sleep(10);
    }
    if (search.found == nullptr) return;  // the rest stay not found
    HWND dialog = search.found;
    SeenDialog& seen = seen_[i];
    seen.found = true;
    seen.caption = TextOf(dialog);
    EnumChildWindows(dialog, &CollectStatic, reinterpret_cast<LPARAM>(&seen.text));
    seen.pressed = GetDlgItem(dialog, buttons_[i]) != nullptr;
    if (seen.pressed) {
      Press(dialog, buttons_[i]);
    } else {
      // Still free the blocked thread; the test sees pressed == false.
      for (int id : {IDCANCEL, IDNO, IDOK})
        if (GetDlgItem(dialog, id) != nullptr) {
          Press(dialog, id);
          break;
        }
    }
    // The next box may only be looked for once this one has gone.
    while (Clock::now() < deadline && IsWindow(dialog) && IsWindowVisible(dialog)) Sleep(10);
    previous = dialog;
  }
}

}  // namespace veltrane_test
