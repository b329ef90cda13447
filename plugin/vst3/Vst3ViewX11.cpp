// Linux: the window lives on the host's run loop.
#include "graphics/IGraphicsX11.h"
#include "plugin/vst3/IPlugVST3.h"
#include "plugin/vst3/Vst3View.h"

using namespace vst3;

const char* Vst3View::PlatformType() { return kPlatformTypeX11EmbedWindowID; }

void Vst3View::StartRefresh() {
  void* found = nullptr;
  if (mFrame == nullptr || mFrame->queryInterface(kIRunLoopIid.bytes, &found) != kResultOk || found == nullptr)
    return;  // a host without a run loop gets a window that never repaints
  mRunLoop = static_cast<IRunLoop*>(found);
  mRunLoop->registerTimer(static_cast<ITimerHandler*>(this), kRefreshMs);
  const IGraphicsX11* window = dynamic_cast<const IGraphicsX11*>(mPlug->Editor());
  const int fd = window != nullptr ? window->EventFd() : -1;
  if (fd >= 0) mRunLoop->registerEventHandler(static_cast<IEventHandler*>(this), fd);
}

void Vst3View::StopRefresh() {
  if (mRunLoop == nullptr) return;
  mRunLoop->unregisterEventHandler(static_cast<IEventHandler*>(this));
  mRunLoop->unregisterTimer(static_cast<ITimerHandler*>(this));
  mRunLoop->release();
  mRunLoop = nullptr;
}
