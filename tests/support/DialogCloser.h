// Windows only: answers the message boxes a test makes the code under test
// show. A second thread waits for each dialog box ("#32770") of this process,
// records what it says and presses the chosen button, so the thread blocked
// in MessageBoxA gets its answer.
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace veltrane_test {

struct SeenDialog {
  bool found = false;    // a dialog appeared before the deadline
  bool pressed = false;  // it had the chosen button, which was pressed
  std::string caption;   // the window title
  std::string text;      // its non-empty static texts, joined by "\n"
};

class DialogCloser {
 public:
  // Button ids as MessageBoxA returns them: IDOK 1, IDCANCEL 2, IDYES 6, IDNO 7.
  // Waits up to 10 s for the dialog.
  explicit DialogCloser(int buttonId);
  // One id per expected dialog, answered in order; each waits up to timeoutMs.
  explicit DialogCloser(std::vector<int> buttonIds, int timeoutMs = 10000);
  ~DialogCloser();  // joins; returns within the deadlines
  DialogCloser(const DialogCloser&) = delete;
  DialogCloser& operator=(const DialogCloser&) = delete;

  // Joins the thread; what it saw of the first expected dialog.
  SeenDialog Wait();
  // Joins the thread; one entry per expected dialog, in order.
  std::vector<SeenDialog> WaitAll();
  // Every expected dialog was answered or waited for in vain: Wait() returns
  // at once. Lets the test keep idling the editor meanwhile.
  bool Finished() const { return finished_.load(); }

 private:
  void Run();

  std::vector<int> buttons_;
  int timeoutMs_;
  std::vector<SeenDialog> seen_;
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

}  // namespace veltrane_test
