// Linux: the host's run loop the editor lives on, as a GUI toolkit's main
// loop would run it: poll() on the registered descriptors until the next
// timer is due.
#include <poll.h>

#include <algorithm>
#include <chrono>

#include "tests/plugin/vst3/Vst3Host.h"

using namespace vst3;

namespace vst3host {
namespace {

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

tresult Frame::registerEventHandler(IEventHandler* handler, FileDescriptor fd) {
  if (handler == nullptr || fd < 0) return kInvalidArgument;
  handler->addRef();
  fds.emplace_back(handler, fd);
  return kResultOk;
}

tresult Frame::unregisterEventHandler(IEventHandler* handler) {
  for (size_t i = 0; i < fds.size(); ++i) {
    if (fds[i].first != handler) continue;
    fds.erase(fds.begin() + static_cast<long>(i));
    handler->release();
    return kResultOk;
  }
  return kInvalidArgument;
}

tresult Frame::registerTimer(ITimerHandler* handler, TimerInterval ms) {
  if (handler == nullptr || ms == 0) return kInvalidArgument;
  handler->addRef();
  timers.push_back(Timer{handler, ms, NowMs() + static_cast<int64_t>(ms)});
  return kResultOk;
}

tresult Frame::unregisterTimer(ITimerHandler* handler) {
  for (size_t i = 0; i < timers.size(); ++i) {
    if (timers[i].handler != handler) continue;
    timers.erase(timers.begin() + static_cast<long>(i));
    handler->release();
    return kResultOk;
  }
  return kInvalidArgument;
}

void Frame::RunFor(int milliseconds) {
  const int64_t end = NowMs() + milliseconds;
  for (int64_t now = NowMs(); now < end; now = NowMs()) {
    int64_t wait = end - now;
    for (const Timer& timer : timers) wait = std::min(wait, std::max<int64_t>(0, timer.due - now));
    std::vector<pollfd> polled;
    for (const auto& entry : fds) polled.push_back(pollfd{entry.second, POLLIN, 0});
    poll(polled.data(), polled.size(), static_cast<int>(wait));
    // Handlers may unregister themselves: walk copies.
    const auto handlers = fds;
    for (size_t i = 0; i < polled.size() && i < handlers.size(); ++i)
      if (polled[i].revents & POLLIN) handlers[i].first->onFDIsSet(handlers[i].second);
    const auto due = timers;
    now = NowMs();
    for (const Timer& timer : due) {
      if (timer.due > now) continue;
      for (Timer& live : timers)
        if (live.handler == timer.handler) live.due = now + static_cast<int64_t>(live.interval);
      timer.handler->onTimer();
    }
  }
}

}  // namespace vst3host
