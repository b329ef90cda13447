#include "effect/editor/VeltraneEditor.h"

#include <cstdio>

#include "VeltraneVersion.h"
#include "effect/Veltrane.h"
#include "effect/editor/IQVControls.h"
#include "effect/editor/IQVOnlineVersionMenu.h"
#include "effect/editor/IQVPresetMenu.h"
#include "effect/editor/PanelGeometry.h"
#include "graphics/IGraphics.h"

namespace {

constexpr ArgbColor kPanelText{192, 255, 255, 255};  // white at 3/4, blended with the panel

TextStyle StatusLineStyle() {
  TextStyle style;
  style.SetFace("Arial");
  style.size = 14;
  style.color = kPanelText;
  style.alignment = kAlignCenter;
  return style;
}

}  // namespace

void VeltraneEditor::Layout(IGraphics* graphics) {
  using namespace panel;
  Veltrane* const plug = mPlug;
  mLaidOut = graphics;
  graphics->SetEditorSize(kWidth, kHeight);

  const ImageStrip button = graphics->LoadImageStrip(101, "resources/img/button.png", 2);
  const ImageStrip lever = graphics->LoadImageStrip(102, "resources/img/switch_3.png", 3);
  const ImageStrip knob4 = graphics->LoadImageStrip(103, "resources/img/switch_4.png", 4);
  const ImageStrip knob6 = graphics->LoadImageStrip(104, "resources/img/switch_6.png", 6);
  const ImageStrip handle = graphics->LoadImageStrip(100, "resources/img/handle.png", 1);
  const ImageStrip indicator = graphics->LoadImageStrip(105, "resources/img/vu.png", 11);

  // Faders run along the longer side of their rectangle.
  auto vertical = [&](const PixelRect& r, int param) {
    return new IQVFaderControl(plug, r.left, r.top, Height(r), param, handle, kVertical);
  };
  auto horizontal = [&](const PixelRect& r, int param) {
    return new IQVFaderControl(plug, r.left, r.top, Width(r), param, handle, kHorizontal);
  };

  // The status line follows the pointer, so hovering must reach the controls.
  graphics->SetHandlesHover(true);
  // A right press on the bare panel sets the user's own zoom, kept per user.
  graphics->OfferUserZoom("quorvel", "veltrane.ini");
  graphics->AddBackground(1, "resources/img/back.png");

  mVersionMenu = new IQVOnlineVersionMenu(plug, version);
  graphics->AddControl(mVersionMenu);
  graphics->AddControl(new IQVPresetMenu(plug, prog_num, prog_name));
  graphics->AddControl(new IQVSwitchControl(plug, link.left, link.top, kLink, button));
  graphics->AddControl(new IQVSwitchFramesControl(plug, mode_l.left, mode_l.top, kModeL, lever));
  graphics->AddControl(new IQVSwitchFramesControl(plug, mode_r.left, mode_r.top, kModeR, lever));
  graphics->AddControl(vertical(mix_l, kMixL));
  graphics->AddControl(vertical(mix_r, kMixR));
  graphics->AddControl(vertical(vol_l, kVolumeL));
  graphics->AddControl(vertical(vol_r, kVolumeR));
  // The four Freq faders overlap by three pixels; only their handles take
  // presses, and the later one wins where two handles meet.
  mFreqMinFader[0] = horizontal(fmin_l, kFreqMinL);
  graphics->AddControl(mFreqMinFader[0]);
  mFreqMinFader[1] = horizontal(fmin_r, kFreqMinR);
  graphics->AddControl(mFreqMinFader[1]);
  graphics->AddControl(horizontal(fmax_l, kFreqMaxL));
  graphics->AddControl(horizontal(fmax_r, kFreqMaxR));
  graphics->AddControl(new IQVKnobMultiControl(plug, range.left, range.top, kFreqRange, knob4, kVertical, 1.0));
  graphics->AddControl(new IQVKnobMultiControl(plug, wave.left, wave.top, kLfoWaveform, knob6, kVertical, 1.0));
  mRateFader = vertical(rate, kLfoRate);
  graphics->AddControl(mRateFader);
  graphics->AddControl(new IQVSwitchControl(plug, sync.left, sync.top, kSyncToHost, button));
  mShiftIndicator[0] = new IBitmapControl(plug, ind_l.left, ind_l.top, -1, indicator);
  graphics->AddControl(mShiftIndicator[0]);
  mShiftIndicator[1] = new IBitmapControl(plug, ind_r.left, ind_r.top, -1, indicator);
  graphics->AddControl(mShiftIndicator[1]);
  mStatusLine = new ITextControl(plug, status, StatusLineStyle(), "Version " VELTRANE_VERSION_STRING);
  graphics->AddControl(mStatusLine);
}

void VeltraneEditor::Attaching(IGraphics* editor) {
  if (editor == nullptr || editor == mLaidOut) return;
  mLaidOut = nullptr;
  mStatusLine = nullptr;
  mShiftIndicator[0] = mShiftIndicator[1] = nullptr;
  mRateFader = nullptr;
  mFreqMinFader[0] = mFreqMinFader[1] = nullptr;
  mVersionMenu = nullptr;
}

void VeltraneEditor::ShowStatusText(int index) {
  IGraphics* editor = mPlug->Editor();
  if (editor == nullptr || mStatusLine == nullptr) return;
  if (editor->WindowOpenElsewhere()) {
    mPendingStatus.store(index != kNoPendingStatus ? index : -1, std::memory_order_release);
    return;
  }
  if (!editor->OnOpenWindowThread()) return;
  char text[64];
  {
    // The texts follow settings the host's threads change.
    CriticalSectionGuard guard(mPlug->Lock());
    mPlug->FormatStatusText(index, text, sizeof text);
  }
  mStatusLine->SetTextFromPlugin(text);
  mStatusLine->MarkDirty(false);
}

void VeltraneEditor::RateControlsChanged() {
  IGraphics* editor = mPlug->Editor();
  if (editor == nullptr || mRateFader == nullptr) return;
  if (editor->OnOpenWindowThread())
    ShowRateControls();
  else if (editor->WindowOpenElsewhere())
    mPendingRateControls.store(true, std::memory_order_release);
}

void VeltraneEditor::ShowRateControls() {
  mRateFader->MarkDirty(false);
  const bool hidden = mPlug->FreqMinHidden();
  for (IControl* fader : mFreqMinFader) fader->SetHidden(hidden);
}

void VeltraneEditor::EditorOpened() {
  if (mRateFader != nullptr && mPlug->Editor()->OnOpenWindowThread()) ShowRateControls();
}

void VeltraneEditor::EditorClosed() {
  if (mVersionMenu != nullptr) mVersionMenu->ForgetPendingCheck();
}

void VeltraneEditor::IdleTick() {
  IGraphics* editor = mPlug->Editor();
  if (editor == nullptr || mStatusLine == nullptr || !editor->OnOpenWindowThread()) return;
  if (mVersionMenu != nullptr) mVersionMenu->ShowArrivedAnswer();
  if (mPendingRateControls.exchange(false, std::memory_order_acq_rel)) ShowRateControls();
  const int status = mPendingStatus.exchange(kNoPendingStatus, std::memory_order_acq_rel);
  if (status != kNoPendingStatus) ShowStatusText(status);
  for (int k = 0; k < 2; ++k) {
    mShiftIndicator[k]->SetValueFromPlugin((mShownFreq[k].load(std::memory_order_relaxed) + 1.0) / 2.0);
    mShiftIndicator[k]->MarkDirty(false);
  }
}

void VeltraneEditor::PublishShifts(double left, double right) {
  mShownFreq[0].store(left, std::memory_order_relaxed);
  mShownFreq[1].store(right, std::memory_order_relaxed);
}
