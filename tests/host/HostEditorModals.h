// The editor's modal windows (popup menus, message boxes, the text box) as
// a host's tests meet them: opened by input the test makes from a thread of
// its own, found, and closed again; and the check that the host's audio
// thread keeps running while one is open.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace testhost {

enum class ModalKind { kMenu, kMessageBox, kTextBox };

// Input to an editor window that a parent of the test's holds, and the
// modal windows it opens: on X11 through a connection of its own (XTest),
// under Windows by messages. Any thread.
class EditorInput {
 public:
  // The editor's window: an X11 window id or an HWND.
  explicit EditorInput(void* editorWindow);
  ~EditorInput();
  EditorInput(const EditorInput&) = delete;
  EditorInput& operator=(const EditorInput&) = delete;

  bool ok() const { return ok_; }
  // A press and release of the left (1) or right (3) button at a point of
  // the window, in window pixels.
  void Click(int x, int y, int button);
  // True once a modal of this kind shows; waits at most `ms`.
  bool WaitForModal(ModalKind kind, int ms);
  // Escape (or the dialog's cancel) to the modal found last; true once it
  // has gone, within `ms`.
  bool DismissModal(int ms);
  // Chooses item `index` (from 0) of the menu found last by its keys.
  void ChooseMenuItem(int index);

 private:
  void* window_;
  void* display_ = nullptr;  // X11
  uintptr_t modal_ = 0;      // X11 window, or HWND
  bool ok_ = false;
};

// Where the panel opens its modals, in panel pixels at scale 1.
struct ModalCase {
  const char* what;
  int x, y, button;
  ModalKind kind;
};
constexpr ModalCase kEditorModals[] = {
    {"the program menu", 27, 363, 1, ModalKind::kMenu},
    {"the zoom menu", 300, 100, 3, ModalKind::kMenu},
    {"the rename box", 140, 363, 1, ModalKind::kTextBox},
};

// The host's two loops as a test drives them.
struct HostLoops {
  std::function<void()> guiTurn;     // one turn of the host's GUI thread: idle, timers, messages
  std::function<void()> audioBlock;  // one process call on the audio thread
};

// Runs the audio loop on a thread of its own and the GUI loop on the
// caller's; on a third thread `open` opens something (a modal, a request
// that keeps the editor waiting) and answers once it is open. Then waits
// for `blocks` more audio blocks while it is, at most `capSeconds` (the
// limit is generous: reaching it means the audio stopped), and `close`
// closes it, answering once it has. Empty when the audio kept running;
// otherwise what went wrong.
std::string AudioWhileOpen(const HostLoops& loops, const std::function<bool()>& open,
                           const std::function<bool()>& close, int blocks = 100, int capSeconds = 60);
// The same for a modal of `kind` that `open` makes the editor show.
std::string AudioWhileModalOpen(const HostLoops& loops, EditorInput& input, ModalKind kind,
                                const std::function<void()>& open, int blocks = 100, int capSeconds = 60);

}  // namespace testhost
