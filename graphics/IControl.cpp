#include "graphics/IControl.h"

#include "graphics/IGraphics.h"
#include "plugin/IPlugBase.h"

namespace {

// Size of one frame of a strip: the strip divided along its frame direction.
int FrameWidth(const ImageStrip& strip) {
  return strip.sideBySide && strip.frames > 0 ? strip.width / strip.frames : strip.width;
}
int FrameHeight(const ImageStrip& strip) {
  return !strip.sideBySide && strip.frames > 0 ? strip.height / strip.frames : strip.height;
}

// Values a control may show before MarkDirty clamps them (the first value
// from the plug-in is stored as it comes) stay inside 0..1 for geometry.
double Unit(double v) { return v >= 0.0 ? (v <= 1.0 ? v : 1.0) : 0.0; }

}  // namespace

int FrameForValue(int frames, double value) {
  if (frames < 2) return 1;
  const double t = (frames - 1) * value + 0.5;
  if (!(t >= 1.0)) return 1;  // also NaN
  if (t >= frames) return frames;
  return static_cast<int>(t) + 1;
}

// IControl

IControl::IControl(IPlugBase* plug, const PixelRect& rect, int paramIdx, int32_t blendMethod)
    : mPlug(plug), mRect(rect), mHitRect(rect), mParamIdx(paramIdx) {
  mBlend.method = blendMethod;
  mBlend.weight = 1.0f;
}

IControl::~IControl() = default;

void IControl::OnDoubleClick(int x, int y, const MouseModifiers& mods) {
  if (mResetValue >= 0.0) {
    mValue = mResetValue;
    MarkDirty(true);
  }
}

void IControl::SetValueFromPlugin(double value) {
  if (mResetValue < 0.0) {
    // The first value from the plug-in is also what a double click restores.
    mValue = value;
    mResetValue = value;
    return;
  }
  if (value != mValue) {
    mValue = value;
    MarkDirty(false);
    mRedrawRequested = true;
  }
}

void IControl::SetValueFromUser(double value) {
  if (value != mValue) {
    mValue = value;
    MarkDirty(true);
    mRedrawRequested = true;
  }
}

void IControl::SetHidden(bool hidden) {
  mHidden = hidden;
  mRedrawRequested = true;
  MarkDirty(false);
}

void IControl::SetGrayed(bool grayed) {
  mGrayed = grayed;
  mBlend.weight = grayed ? 0.25f : 1.0f;
  MarkDirty(false);
}

bool IControl::HitTest(int x, int y) { return RectContains(mHitRect, x, y); }

void IControl::MarkDirty(bool sendToPlugin) {
  // NaN (a division by a zero extent, a host's bad value) clamps low.
  if (!(mValue >= mClampLow))
    mValue = mClampLow;
  else if (mValue > mClampHigh)
    mValue = mClampHigh;
  mDirty = true;
  if (sendToPlugin && mParamIdx >= 0 && mPlug != nullptr) mPlug->SetParameterFromEditor(mParamIdx, mValue);
}

void IControl::MarkClean() {
  mDirty = mRedrawRequested;
  mRedrawRequested = false;
}

void IControl::SetAuxValueFromPlugin(int bindingIndex, double value) {
  if (bindingIndex < 0 || bindingIndex >= static_cast<int>(mAuxBindings.size())) return;
  AuxBinding& binding = mAuxBindings[static_cast<size_t>(bindingIndex)];
  if (binding.value != value) {
    binding.value = value;
    MarkDirty(false);
    mRedrawRequested = true;
  }
}

// IBitmapControl and the switches

IBitmapControl::IBitmapControl(IPlugBase* plug, int x, int y, int paramIdx, const ImageStrip& strip,
                               int32_t blendMethod)
    : IControl(plug, PixelRect{x, y, x + FrameWidth(strip), y + FrameHeight(strip)}, paramIdx, blendMethod),
      mStrip(strip) {}

bool IBitmapControl::Paint(IGraphics* graphics) {
  return graphics->BlitFrame(mStrip, mRect, FrameForValue(mStrip.frames, mValue), &mBlend);
}

void ISwitchControl::OnPress(int x, int y, const MouseModifiers& mods) {
  mValue += mStrip.frames < 2 ? 1.0 : 1.0 / (mStrip.frames - 1);
  if (mValue > 1.001) mValue = 0.0;
  MarkDirty(true);
}

ISwitchFramesControl::ISwitchFramesControl(IPlugBase* plug, int x, int y, int paramIdx, const ImageStrip& strip,
                                           int32_t blendMethod)
    : ISwitchControl(plug, x, y, paramIdx, strip, blendMethod) {
  const int frames = strip.frames > 0 ? strip.frames : 1;
  const float step = static_cast<float>(mRect.bottom - mRect.top) / static_cast<float>(frames);
  for (int i = 0; i < frames; ++i) {
    const int top = mRect.top + static_cast<int>(static_cast<float>(i) * step);
    const int bottom = static_cast<int>(static_cast<float>(top) + step);
    mBands.push_back(PixelRect{mRect.left, top, mRect.right, bottom});
  }
}

void ISwitchFramesControl::OnPress(int x, int y, const MouseModifiers& mods) {
  const int count = static_cast<int>(mBands.size());
  for (int i = 0; i < count; ++i) {
    if (RectContains(mBands[static_cast<size_t>(i)], x, y)) {
      // A single band has nothing to choose between: it stands for 0.
      mValue = count > 1 ? static_cast<double>(i) / static_cast<double>(count - 1) : 0.0;
      break;
    }
  }
  MarkDirty(true);
}

// IKnobMultiControl

IKnobMultiControl::IKnobMultiControl(IPlugBase* plug, int x, int y, int paramIdx, const ImageStrip& strip,
                                     int32_t direction, double gearing)
    : IKnobControl(plug, PixelRect{x, y, x + FrameWidth(strip), y + FrameHeight(strip)}, paramIdx, direction,
                   gearing, BlendStandard),
      mStrip(strip) {}

void IKnobMultiControl::OnDrag(int x, int y, int dx, int dy, const MouseModifiers& mods) {
  double gearing = mGearing;
  if (mods.shift || mods.control) gearing *= 10.0;
  const int extent = mDirection == kHorizontal ? mRect.right - mRect.left : mRect.top - mRect.bottom;
  if (extent == 0 || gearing == 0.0) return;  // no travel to measure against
  const int delta = mDirection == kHorizontal ? dx : dy;
  mValue += static_cast<double>(delta) / static_cast<double>(extent) / gearing;
  MarkDirty(true);
}

void IKnobMultiControl::OnWheel(int x, int y, const MouseModifiers& mods, int notches) {
  mValue += notches * (mods.control || mods.shift ? 0.001 : 0.01);
  MarkDirty(true);
}

bool IKnobMultiControl::Paint(IGraphics* graphics) {
  return graphics->BlitFrame(mStrip, mRect, FrameForValue(mStrip.frames, mValue), &mBlend);
}

// IFaderControl

IFaderControl::IFaderControl(IPlugBase* plug, int x, int y, int trackLength, int paramIdx,
                             const ImageStrip& handle, int32_t direction)
    : IControl(plug,
               direction == kHorizontal ? PixelRect{x, y, x + trackLength, y + handle.height}
                                        : PixelRect{x, y, x + handle.width, y + trackLength},
               paramIdx, BlendStandard),
      mTrackLength(trackLength),
      mHandleExtent(direction == kHorizontal ? handle.width : handle.height),
      mHandle(handle),
      mDirection(direction) {}

PixelRect IFaderControl::HandleRect() const {
  PixelRect r{mRect.left, mRect.top, mRect.left + mHandle.width, mRect.top + mHandle.height};
  const int travel = mTrackLength - mHandleExtent;
  if (mDirection == kHorizontal) {
    const int shift = static_cast<int>(travel * Unit(mValue));
    r.left += shift;
    r.right += shift;
  } else {
    const int shift = static_cast<int>(travel * (1.0 - Unit(mValue)));
    r.top += shift;
    r.bottom += shift;
  }
  return r;
}

bool IFaderControl::Paint(IGraphics* graphics) { return graphics->BlitImage(mHandle, HandleRect(), 0, 0, &mBlend); }

bool IFaderControl::HitTest(int x, int y) {
  return RectContains(mHandleOnlyHit ? HandleRect() : mHitRect, x, y);
}

void IFaderControl::JumpToPointer(int x, int y) {
  const int travel = mTrackLength - mHandleExtent;
  const int half = mHandleExtent / 2;
  if (travel > 0) {  // a handle as long as the track cannot move
    if (mDirection == kHorizontal)
      mValue = static_cast<double>(x - mRect.left - half) / static_cast<double>(travel);
    else
      mValue = 1.0 - static_cast<double>(y - mRect.top - half) / static_cast<double>(travel);
  }
  MarkDirty(true);
}

void IFaderControl::OnPress(int x, int y, const MouseModifiers& mods) {
  if (mods.right) return;
  JumpToPointer(x, y);
}

void IFaderControl::OnWheel(int x, int y, const MouseModifiers& mods, int notches) {
  mValue += notches * (mods.control || mods.shift ? 0.001 : 0.01);
  MarkDirty(true);
}

// ITextControl

ITextControl::ITextControl(IPlugBase* plug, const PixelRect& rect, const TextStyle& style, const char* text)
    : IControl(plug, rect, -1, BlendStandard), mText(text != nullptr ? text : "") {
  mStyle = style;
}

bool ITextControl::Paint(IGraphics* graphics) {
  if (mText.empty()) return true;
  PixelRect r = mRect;
  return graphics->RenderText(mStyle, mText.c_str(), r, false);
}

void ITextControl::SetTextFromPlugin(const char* text) {
  const char* t = text != nullptr ? text : "";
  if (mText == t) return;
  MarkDirty(false);
  mText = t;
}
