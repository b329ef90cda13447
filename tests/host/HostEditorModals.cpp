#include "tests/host/HostEditorModals.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace testhost {

std::string AudioWhileOpen(const HostLoops& loops, const std::function<bool()>& open,
                           const std::function<bool()>& close, int blocks, int capSeconds) {
  std::atomic<bool> stop{false};
  std::atomic<long> done{0};
  std::thread audio([&] {
    while (!stop.load()) {
      loops.audioBlock();
      ++done;
    }
  });
  std::string problem;
  std::atomic<bool> finished{false};
  std::thread prober([&] {
    if (!open()) {
      problem = "it did not open";
    } else {
      const long start = done.load();
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(capSeconds);
      while (done.load() < start + blocks && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      const long ran = done.load() - start;
      if (ran < blocks)
        problem = "audio stopped: " + std::to_string(ran) + " blocks in " + std::to_string(capSeconds) +
                  " s while it was open";
      if (!close()) problem += (problem.empty() ? "" : "; ") + std::string("it did not close");
    }
    finished.store(true);
  });
  // The host's GUI thread: a modal's loop runs inside one of these turns.
  while (!finished.load()) {
    loops.guiTurn();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  prober.join();
  loops.guiTurn();
  stop.store(true);
  audio.join();
  return problem;
}

std::string AudioWhileModalOpen(const HostLoops& loops, EditorInput& input, ModalKind kind,
                                const std::function<void()>& open, int blocks, int capSeconds) {
  return AudioWhileOpen(
      loops,
      [&] {
        open();
        return input.WaitForModal(kind, capSeconds * 1000);
      },
      [&] { return input.DismissModal(10000); }, blocks, capSeconds);
}

}  // namespace testhost
