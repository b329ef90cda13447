// The host's window an editor opens into, as a DAW would make it: a Windows
// top-level window, or an X11 window on the default display. Only the test
// host's side; the plug-in brings its own child window.
#pragma once

#include <string>

namespace torture {

class EditorParent {
 public:
  EditorParent();
  ~EditorParent();
  EditorParent(const EditorParent&) = delete;
  EditorParent& operator=(const EditorParent&) = delete;

  // What effEditOpen takes: the HWND, or the X11 window id; null when no
  // window could be made (no display).
  void* Handle() const { return handle_; }
  const std::string& Why() const { return why_; }
  // Handles the parent's own waiting events (Windows messages of this thread).
  void Pump();
  // Child windows the plug-in left in the parent.
  int Children() const;

 private:
  void* handle_ = nullptr;
  void* display_ = nullptr;
  std::string why_;
};

}  // namespace torture
