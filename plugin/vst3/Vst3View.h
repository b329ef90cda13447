// The editor's view for a VST3 host: the plug-in's editor window inside the
// host's (an HWND on Windows, an X11 window on Linux). Made by
// IPlugVST3::createView; holds a reference to the plug-in for its life.
//
// Threads: every call arrives on the host's GUI thread. On Linux the view
// keeps the window alive through the host's run loop (asked for through the
// frame): a 40 ms timer repaints and refreshes the indicators, and the X
// connection's descriptor wakes it for input. On Windows the window repaints
// on its own timer and the view adds one for the indicators.
//
// Sizes are window pixels at the editor's scale in effect; the host's scale
// comes through IPlugViewContentScaleSupport, and a new scale while the view
// is attached asks the host's frame for the new size.
#pragma once

#include <atomic>

#include "plugin/vst3/vst3_interfaces.h"

class IPlugVST3;

class Vst3View final : public vst3::IPlugView,
                       public vst3::IPlugViewContentScaleSupport,
                       public vst3::ITimerHandler,
                       public vst3::IEventHandler {
 public:
  static constexpr int kRefreshMs = 40;

  explicit Vst3View(IPlugVST3* plug);
  Vst3View(const Vst3View&) = delete;
  Vst3View& operator=(const Vst3View&) = delete;

  // FUnknown
  vst3::tresult queryInterface(const vst3::TUID iid, void** obj) override;
  uint32_t addRef() override;
  uint32_t release() override;

  // IPlugView
  vst3::tresult isPlatformTypeSupported(vst3::FIDString type) override;
  vst3::tresult attached(void* parent, vst3::FIDString type) override;
  vst3::tresult removed() override;
  vst3::tresult onWheel(float distance) override { return vst3::kResultFalse; }
  vst3::tresult onKeyDown(vst3::char16 key, int16_t keyCode, int16_t modifiers) override {
    return vst3::kResultFalse;
  }
  vst3::tresult onKeyUp(vst3::char16 key, int16_t keyCode, int16_t modifiers) override {
    return vst3::kResultFalse;
  }
  vst3::tresult getSize(vst3::ViewRect* size) override;
  vst3::tresult onSize(vst3::ViewRect* newSize) override;
  vst3::tresult onFocus(vst3::TBool state) override { return vst3::kResultOk; }
  vst3::tresult setFrame(vst3::IPlugFrame* frame) override;
  vst3::tresult canResize() override { return vst3::kResultFalse; }
  vst3::tresult checkSizeConstraint(vst3::ViewRect* rect) override;

  // IPlugViewContentScaleSupport
  vst3::tresult setContentScaleFactor(ScaleFactor factor) override;

  // The editor's window has a new size: the host's frame follows.
  void RequestResize(int width, int height);

  // ITimerHandler, IEventHandler (Linux run loop)
  void onTimer() override;
  void onFDIsSet(vst3::FileDescriptor fd) override;

 private:
  ~Vst3View();

  // The OS's part (Vst3ViewX11.cpp, Vst3ViewWin.cpp).
  static const char* PlatformType();
  void StartRefresh();
  void StopRefresh();

  std::atomic<uint32_t> mRefCount{1};
  IPlugVST3* mPlug;
  vst3::IPlugFrame* mFrame = nullptr;  // the host's, not counted
  bool mAttached = false;
  // The size getSize last answered (0 before the host asked).
  int mAnsweredWidth = 0;
  int mAnsweredHeight = 0;
  vst3::IRunLoop* mRunLoop = nullptr;  // Linux
  void* mTimerWindow = nullptr;        // Windows
};
