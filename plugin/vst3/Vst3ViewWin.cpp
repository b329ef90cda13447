// Windows: the editor window paints on its own timer; a second one on the
// same window refreshes the indicators, as a VST 2.4 host's idle calls do.
#include <windows.h>

#include "graphics/IGraphics.h"
#include "plugin/vst3/IPlugVST3.h"
#include "plugin/vst3/Vst3View.h"

namespace {

const UINT_PTR kIdleTimerId = 0x5633;
const char kPlugProperty[] = "VeltraneVst3Plug";

VOID CALLBACK IdleTimer(HWND window, UINT, UINT_PTR, DWORD) {
  if (IPlugBase* plug = static_cast<IPlugBase*>(GetPropA(window, kPlugProperty))) plug->IdleTick();
}

}  // namespace

const char* Vst3View::PlatformType() { return vst3::kPlatformTypeHWND; }

void Vst3View::StartRefresh() {
  HWND window = static_cast<HWND>(mPlug->Editor()->EditorWindowHandle());
  if (window == nullptr) return;
  SetPropA(window, kPlugProperty, static_cast<IPlugBase*>(mPlug));
  SetTimer(window, kIdleTimerId, kRefreshMs, &IdleTimer);
  mTimerWindow = window;
}

void Vst3View::StopRefresh() {
  HWND window = static_cast<HWND>(mTimerWindow);
  if (window == nullptr) return;
  KillTimer(window, kIdleTimerId);
  RemovePropA(window, kPlugProperty);
  mTimerWindow = nullptr;
}
