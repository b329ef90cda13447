#include "effect/editor/IQVControls.h"

#include "effect/Effect.h"

namespace {

// Our controls are only ever made with an Effect as their owner.
void ShowStatus(IPlugBase* plug, int paramIdx) { static_cast<Effect*>(plug)->ShowStatusText(paramIdx); }

}  // namespace

IQVKnobMultiControl::IQVKnobMultiControl(Effect* plug, int x, int y, int paramIdx, const ImageStrip& strip,
                                         int32_t direction, double gearing)
    : IKnobMultiControl(plug, x, y, paramIdx, strip, direction, gearing) {}

void IQVKnobMultiControl::OnDrag(int x, int y, int dx, int dy, const MouseModifiers& mods) {
  IKnobMultiControl::OnDrag(x, y, dx, dy, mods);
  ShowStatus(mPlug, mParamIdx);
}

void IQVKnobMultiControl::OnWheel(int x, int y, const MouseModifiers& mods, int notches) {
  IKnobMultiControl::OnWheel(x, y, mods, notches);
  ShowStatus(mPlug, mParamIdx);
}

void IQVKnobMultiControl::OnHover(int x, int y, const MouseModifiers& mods) { ShowStatus(mPlug, mParamIdx); }

IQVFaderControl::IQVFaderControl(Effect* plug, int x, int y, int trackLength, int paramIdx,
                                 const ImageStrip& handle, int32_t direction)
    : IFaderControl(plug, x, y, trackLength, paramIdx, handle, direction) {}

void IQVFaderControl::OnDrag(int x, int y, int dx, int dy, const MouseModifiers& mods) {
  JumpToPointer(x, y);
  ShowStatus(mPlug, mParamIdx);
}

void IQVFaderControl::OnWheel(int x, int y, const MouseModifiers& mods, int notches) {
  // Ten times finer than the stock fader: Freq and Mix want fine steps.
  mValue += notches * (mods.control || mods.shift ? 0.0001 : 0.01);
  MarkDirty(true);
  ShowStatus(mPlug, mParamIdx);
}

void IQVFaderControl::OnHover(int x, int y, const MouseModifiers& mods) { ShowStatus(mPlug, mParamIdx); }

IQVSwitchControl::IQVSwitchControl(Effect* plug, int x, int y, int paramIdx, const ImageStrip& strip)
    : ISwitchControl(plug, x, y, paramIdx, strip) {}

void IQVSwitchControl::OnHover(int x, int y, const MouseModifiers& mods) { ShowStatus(mPlug, mParamIdx); }

IQVSwitchFramesControl::IQVSwitchFramesControl(Effect* plug, int x, int y, int paramIdx, const ImageStrip& strip)
    : ISwitchFramesControl(plug, x, y, paramIdx, strip) {}

void IQVSwitchFramesControl::OnHover(int x, int y, const MouseModifiers& mods) { ShowStatus(mPlug, mParamIdx); }
