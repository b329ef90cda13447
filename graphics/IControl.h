// Controls: the elements of the editor, each with a rectangle, an optional
// plug-in parameter, a normalised value 0..1, a text style and the flags that
// drive repainting; and the framework's stock controls built on IControl.
//
// Threads: everything runs on the window thread, except SetValueFromPlugin
// and SetAuxValueFromPlugin, which the graphics core or the plug-in call
// while no window is open or from the window thread (IGraphics hands values
// from other threads over). They only store the value and flags.
// Ownership: the graphics object owns its controls; strip images belong to
// the image cache.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/GraphicsRecords.h"

class IGraphics;
class IPlugBase;

class IControl {
 public:
  struct AuxBinding {
    double value;
    int32_t paramIdx;
  };

  IControl(IPlugBase* plug, const PixelRect& rect, int paramIdx = -1, int32_t blendMethod = BlendStandard);
  IControl(const IControl&) = delete;
  IControl& operator=(const IControl&) = delete;

  // The table of virtual operations, in its fixed order.
  virtual ~IControl();
  virtual void OnPress(int x, int y, const MouseModifiers& mods) {}
  virtual void OnRelease(int x, int y, const MouseModifiers& mods) {}
  virtual void OnDrag(int x, int y, int dx, int dy, const MouseModifiers& mods) {}
  virtual void OnDoubleClick(int x, int y, const MouseModifiers& mods);
  virtual void OnWheel(int x, int y, const MouseModifiers& mods, int notches) {}
  virtual bool OnKey(int x, int y, int key) { return false; }
  virtual void OnHover(int x, int y, const MouseModifiers& mods) {}
  virtual void OnHoverEnd() {}
  virtual bool Paint(IGraphics* graphics) = 0;
  virtual void SetValueFromPlugin(double value);
  virtual void SetValueFromUser(double value);
  virtual void OnTextEntered(const char* text) {}
  virtual void SetHidden(bool hidden);
  virtual void SetGrayed(bool grayed);
  virtual bool HitTest(int x, int y);
  // Clamps the value, marks the control dirty and, when asked and bound,
  // sends the value to the plug-in.
  virtual void MarkDirty(bool sendToPlugin = true);
  virtual void MarkClean();
  virtual bool NeedsPaint() { return mDirty; }
  virtual void ReservedControlHook() {}
  virtual void SetAuxValueFromPlugin(int bindingIndex, double value);

  IPlugBase* Plug() const { return mPlug; }
  const PixelRect& Rect() const { return mRect; }
  const PixelRect& HitRect() const { return mHitRect; }
  void SetHitRect(const PixelRect& rect) { mHitRect = rect; }
  int ParamIdx() const { return mParamIdx; }
  double Value() const { return mValue; }
  double ResetValue() const { return mResetValue; }
  void SetClamp(double low, double high) { mClampLow = low; mClampHigh = high; }
  bool IsHidden() const { return mHidden; }
  bool IsGrayed() const { return mGrayed; }
  bool RedrawRequested() const { return mRedrawRequested; }
  const BlendSpec& Blend() const { return mBlend; }
  TextStyle& Style() { return mStyle; }
  int TextEntryLength() const { return mTextEntryLength; }
  void SetTextEntryLength(int length) { mTextEntryLength = length; }
  const std::vector<AuxBinding>& AuxBindings() const { return mAuxBindings; }
  void AddAuxBinding(int paramIdx) { mAuxBindings.push_back(AuxBinding{0.0, paramIdx}); }

 protected:
  int32_t mTextEntryLength = 7;
  TextStyle mStyle;
  IPlugBase* mPlug;
  PixelRect mRect;
  PixelRect mHitRect;
  int32_t mParamIdx;
  std::vector<AuxBinding> mAuxBindings;
  double mValue = 0.0;
  double mResetValue = -1.0;  // negative: no value from the plug-in yet
  double mClampLow = 0.0;
  double mClampHigh = 1.0;
  bool mDirty = true;
  bool mHidden = false;
  bool mGrayed = false;
  bool mRedrawRequested = false;
  BlendSpec mBlend;
};

// The frame of a strip that a value in 0..1 shows, counting from 1.
int FrameForValue(int frames, double value);

// One frame of an image strip chosen by the value.
class IBitmapControl : public IControl {
 public:
  IBitmapControl(IPlugBase* plug, int x, int y, int paramIdx, const ImageStrip& strip,
                 int32_t blendMethod = BlendStandard);
  bool Paint(IGraphics* graphics) override;
  const ImageStrip& Strip() const { return mStrip; }

 protected:
  ImageStrip mStrip;
};

// Each press steps to the next frame's value and wraps after the last.
class ISwitchControl : public IBitmapControl {
 public:
  using IBitmapControl::IBitmapControl;
  void OnPress(int x, int y, const MouseModifiers& mods) override;
  void OnDoubleClick(int x, int y, const MouseModifiers& mods) override { OnPress(x, y, mods); }
};

// A press picks the frame whose horizontal band holds the pointer.
class ISwitchFramesControl : public ISwitchControl {
 public:
  ISwitchFramesControl(IPlugBase* plug, int x, int y, int paramIdx, const ImageStrip& strip,
                       int32_t blendMethod = BlendStandard);
  void OnPress(int x, int y, const MouseModifiers& mods) override;
  void OnDoubleClick(int x, int y, const MouseModifiers& mods) override { OnPress(x, y, mods); }
  const std::vector<PixelRect>& Bands() const { return mBands; }

 protected:
  std::vector<PixelRect> mBands;
};

enum ControlDirection : int32_t { kVertical = 0, kHorizontal = 1 };

class IKnobControl : public IControl {
 public:
  IKnobControl(IPlugBase* plug, const PixelRect& rect, int paramIdx, int32_t direction, double gearing,
               int32_t blendMethod = BlendStandard)
      : IControl(plug, rect, paramIdx, blendMethod), mDirection(direction), mGearing(gearing) {}

 protected:
  int32_t mDirection;
  double mGearing;
};

// A knob drawn from the frames of a strip; dragging and the wheel turn it.
class IKnobMultiControl : public IKnobControl {
 public:
  IKnobMultiControl(IPlugBase* plug, int x, int y, int paramIdx, const ImageStrip& strip,
                    int32_t direction, double gearing);
  void OnDrag(int x, int y, int dx, int dy, const MouseModifiers& mods) override;
  void OnWheel(int x, int y, const MouseModifiers& mods, int notches) override;
  bool Paint(IGraphics* graphics) override;
  const ImageStrip& Strip() const { return mStrip; }

 protected:
  ImageStrip mStrip;
};

// A handle sliding along a track; value 1 is at the top (vertical) or the
// right (horizontal).
class IFaderControl : public IControl {
 public:
  IFaderControl(IPlugBase* plug, int x, int y, int trackLength, int paramIdx, const ImageStrip& handle,
                int32_t direction = kVertical);
  void OnPress(int x, int y, const MouseModifiers& mods) override;
  void OnDrag(int x, int y, int dx, int dy, const MouseModifiers& mods) override { JumpToPointer(x, y); }
  void OnWheel(int x, int y, const MouseModifiers& mods, int notches) override;
  bool Paint(IGraphics* graphics) override;
  bool HitTest(int x, int y) override;
  // Sets the value that puts the handle's middle under the pointer.
  virtual void JumpToPointer(int x, int y);

  PixelRect HandleRect() const;
  int TrackLength() const { return mTrackLength; }
  int HandleExtent() const { return mHandleExtent; }

 protected:
  int32_t mTrackLength;
  int32_t mHandleExtent;
  ImageStrip mHandle;
  int32_t mDirection;
  bool mHandleOnlyHit = true;
};

// A line of text in the control's style.
class ITextControl : public IControl {
 public:
  ITextControl(IPlugBase* plug, const PixelRect& rect, const TextStyle& style, const char* text);
  bool Paint(IGraphics* graphics) override;
  // Changes the text; an equal text changes nothing.
  void SetTextFromPlugin(const char* text);
  const std::string& Text() const { return mText; }

 protected:
  std::string mText;
};
