// What the editor host tests need of a window system: pixels as a test
// compares them, and on Linux an X11 parent window for effEditOpen with
// ways to find, measure and capture the window the plug-in puts in it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testhost {

// Pixels as a 32-bit top-down DIB holds them: blue, green, red, unused.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bgra;
};

#if !defined(_WIN32)

// A mapped top-level window on a connection of the test's own, the way a
// host's is separate from the plug-in's. Xlib types stay out of the header:
// its macros (None, Status, Bool) clash with other code.
class X11Parent {
 public:
  X11Parent(int width, int height);
  ~X11Parent();
  X11Parent(const X11Parent&) = delete;
  X11Parent& operator=(const X11Parent&) = delete;

  // False when there is no X server to talk to; why() says what failed.
  bool ok() const { return window_ != 0; }
  const std::string& why() const { return why_; }
  // What effEditOpen takes.
  void* handle() const { return reinterpret_cast<void*>(static_cast<uintptr_t>(window_)); }
  // Waits until the server has handled everything sent so far.
  void Sync() const;
  std::vector<unsigned long> Children() const;
  // False when the window is gone.
  bool Size(unsigned long window, int* width, int* height) const;
  // The window's pixels as the server has them; empty when it cannot say.
  Image Capture(unsigned long window) const;
  // Puts the pointer in the root's corner away from the window: a hover
  // would change the status line.
  void MovePointerAway() const;
  // A left-button drag in `window` from one point to another, as the
  // server would report it (press, moves with the button held, release).
  void SendDrag(unsigned long window, int x0, int y0, int x1, int y1) const;

 private:
  void* display_ = nullptr;
  unsigned long window_ = 0;
  std::string why_;
};

#endif

}  // namespace testhost
