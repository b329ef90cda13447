// The effect's own controls: the stock knob, fader and switches, each telling
// the status line what the user touches. The fader also gets a finer fine
// wheel step, so a fader can be set to the fourth decimal.
#pragma once

#include "graphics/IControl.h"

class Effect;

class IQVKnobMultiControl : public IKnobMultiControl {
 public:
  IQVKnobMultiControl(Effect* plug, int x, int y, int paramIdx, const ImageStrip& strip, int32_t direction,
                      double gearing);
  void OnDrag(int x, int y, int dx, int dy, const MouseModifiers& mods) override;
  void OnWheel(int x, int y, const MouseModifiers& mods, int notches) override;
  void OnHover(int x, int y, const MouseModifiers& mods) override;
};

class IQVFaderControl : public IFaderControl {
 public:
  IQVFaderControl(Effect* plug, int x, int y, int trackLength, int paramIdx, const ImageStrip& handle,
                  int32_t direction);
  void OnDrag(int x, int y, int dx, int dy, const MouseModifiers& mods) override;
  void OnWheel(int x, int y, const MouseModifiers& mods, int notches) override;
  void OnHover(int x, int y, const MouseModifiers& mods) override;
};

class IQVSwitchControl : public ISwitchControl {
 public:
  IQVSwitchControl(Effect* plug, int x, int y, int paramIdx, const ImageStrip& strip);
  void OnHover(int x, int y, const MouseModifiers& mods) override;
};

class IQVSwitchFramesControl : public ISwitchFramesControl {
 public:
  IQVSwitchFramesControl(Effect* plug, int x, int y, int paramIdx, const ImageStrip& strip);
  void OnHover(int x, int y, const MouseModifiers& mods) override;
};
