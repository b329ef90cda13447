// The effect's editor: the 584 x 390 panel built once in the constructor,
// and the controls the effect updates itself (status line, shift
// indicators, rate and "Freq Min" controls).
#include <cstdio>

#include "effect/Veltrane.h"
#include "effect/editor/IQVControls.h"
#include "effect/editor/IQVOnlineVersionMenu.h"
#include "effect/editor/IQVPresetMenu.h"
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

void Veltrane::LayoutEditor(IGraphics* graphics) {
  mLaidOut = graphics;
  graphics->SetEditorSize(584, 390);

  const ImageStrip button = graphics->LoadImageStrip(101, "resources/img/button.png", 2);
  const ImageStrip lever = graphics->LoadImageStrip(102, "resources/img/switch_3.png", 3);
  const ImageStrip knob4 = graphics->LoadImageStrip(103, "resources/img/switch_4.png", 4);
  const ImageStrip knob6 = graphics->LoadImageStrip(104, "resources/img/switch_6.png", 6);
  const ImageStrip handle = graphics->LoadImageStrip(100, "resources/img/handle.png", 1);
  const ImageStrip indicator = graphics->LoadImageStrip(105, "resources/img/vu.png", 11);

  // The status line follows the pointer, so hovering must reach the controls.
  graphics->SetHandlesHover(true);
  graphics->AddBackground(1, "resources/img/back.png");

  graphics->AddControl(new IQVOnlineVersionMenu(this, PixelRect{420, 12, 570, 40}));
  graphics->AddControl(new IQVPresetMenu(this, PixelRect{17, 355, 37, 371}, PixelRect{45, 355, 245, 371}));
  graphics->AddControl(new IQVSwitchControl(this, 528, 300, kLink, button));
  graphics->AddControl(new IQVSwitchFramesControl(this, 427, 154, kModeL, lever));
  graphics->AddControl(new IQVSwitchFramesControl(this, 457, 154, kModeR, lever));
  graphics->AddControl(new IQVFaderControl(this, 426, 228, 72, kMixL, handle, kVertical));
  graphics->AddControl(new IQVFaderControl(this, 463, 228, 72, kMixR, handle, kVertical));
  graphics->AddControl(new IQVFaderControl(this, 509, 228, 72, kVolumeL, handle, kVertical));
  graphics->AddControl(new IQVFaderControl(this, 546, 228, 72, kVolumeR, handle, kVertical));
  // The four Freq faders overlap by three pixels; only their handles take
  // presses, and the later one wins where two handles meet.
  mFreqMinFader[0] = new IQVFaderControl(this, 268, 228, 130, kFreqMinL, handle, kHorizontal);
  graphics->AddControl(mFreqMinFader[0]);
  mFreqMinFader[1] = new IQVFaderControl(this, 268, 245, 130, kFreqMinR, handle, kHorizontal);
  graphics->AddControl(mFreqMinFader[1]);
  graphics->AddControl(new IQVFaderControl(this, 268, 262, 130, kFreqMaxL, handle, kHorizontal));
  graphics->AddControl(new IQVFaderControl(this, 268, 279, 130, kFreqMaxR, handle, kHorizontal));
  graphics->AddControl(new IQVKnobMultiControl(this, 183, 244, kFreqRange, knob4, kVertical, 1.0));
  graphics->AddControl(new IQVKnobMultiControl(this, 39, 244, kLfoWaveform, knob6, kVertical, 1.0));
  mRateFader = new IQVFaderControl(this, 112, 228, 72, kLfoRate, handle, kVertical);
  graphics->AddControl(mRateFader);
  graphics->AddControl(new IQVSwitchControl(this, 112, 300, kSyncToHost, button));
  mShiftIndicator[0] = new IBitmapControl(this, 277, 305, -1, indicator);
  graphics->AddControl(mShiftIndicator[0]);
  mShiftIndicator[1] = new IBitmapControl(this, 277, 313, -1, indicator);
  graphics->AddControl(mShiftIndicator[1]);
  mStatusLine = new ITextControl(this, PixelRect{367, 355, 567, 371}, StatusLineStyle(), "Version 2.0.3");
  graphics->AddControl(mStatusLine);
}

void Veltrane::AttachEditor(IGraphics* editor) {
  // Another editor replaces ours (tests attach their own): the kept
  // controls go with the old one.
  if (editor != nullptr && editor != mLaidOut) {
    mLaidOut = nullptr;
    mStatusLine = nullptr;
    mShiftIndicator[0] = mShiftIndicator[1] = nullptr;
    mRateFader = nullptr;
    mFreqMinFader[0] = mFreqMinFader[1] = nullptr;
  }
  Effect::AttachEditor(editor);
}

// Controls are touched only on the thread of an open window; calls from
// elsewhere (automation, program changes from the host's other threads)
// leave their update for the window's next idle call. With the window
// closed there is nothing to update: opening brings the controls up to date.
void Veltrane::ShowStatusText(int index) {
  IGraphics* editor = Editor();
  if (editor == nullptr || mStatusLine == nullptr) return;
  if (editor->WindowOpenElsewhere()) {
    mPendingStatus.store(index != kNoPendingStatus ? index : -1, std::memory_order_release);
    return;
  }
  if (!editor->OnOpenWindowThread()) return;
  char text[64];
  FormatStatusText(index, text, sizeof text);
  mStatusLine->SetTextFromPlugin(text);
  mStatusLine->MarkDirty(false);
}

void Veltrane::UpdateRateDisplay() {
  ParamAt(kLfoRate)->DisplayFunction = syncToHost ? &FormatRateSync : &FormatRateHz;
  IGraphics* editor = Editor();
  if (editor == nullptr || mRateFader == nullptr) return;
  if (editor->OnOpenWindowThread())
    ShowRateControls();
  else if (editor->WindowOpenElsewhere())
    mPendingRateControls.store(true, std::memory_order_release);
}

void Veltrane::ShowRateControls() {
  mRateFader->MarkDirty(false);
  // With the LFO off only "Freq Max" sets the shift.
  bool off;
  {
    CriticalSectionGuard guard(mLock);  // waveformParam is written on the host's threads
    off = waveformParam == 0;
  }
  for (IControl* fader : mFreqMinFader) fader->SetHidden(off);
}

void Veltrane::EditorOpened() {
  // The waveform may have changed while the window was closed.
  if (mRateFader != nullptr && Editor()->OnOpenWindowThread()) ShowRateControls();
}

void Veltrane::IdleTick() {
  IGraphics* editor = Editor();
  if (editor == nullptr || mStatusLine == nullptr || !editor->OnOpenWindowThread()) return;
  if (mPendingRateControls.exchange(false, std::memory_order_acq_rel)) ShowRateControls();
  const int status = mPendingStatus.exchange(kNoPendingStatus, std::memory_order_acq_rel);
  if (status != kNoPendingStatus) ShowStatusText(status);
  for (int k = 0; k < 2; ++k) {
    mShiftIndicator[k]->SetValueFromPlugin((shownFreq[k].load(std::memory_order_relaxed) + 1.0) / 2.0);
    mShiftIndicator[k]->MarkDirty(false);
  }
}
