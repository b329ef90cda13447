// The effect's editor: the 584 x 390 panel, built once when the plug-in is
// made, and the controls the effect updates itself (the status line, the
// two shift indicators, the rate fader and the "Freq Min" faders).
//
// Threads: controls are touched only on the thread of an open window.
// Updates asked for elsewhere (automation and program changes from the
// host's other threads) wait in atomics for the window's next idle call;
// with the window closed there is nothing to update, since opening brings
// the controls up to date. PublishShifts runs on the audio thread.
#pragma once

#include <atomic>
#include <climits>

class IBitmapControl;
class IControl;
class IGraphics;
class IQVOnlineVersionMenu;
class ITextControl;
class Veltrane;

class VeltraneEditor {
 public:
  explicit VeltraneEditor(Veltrane* plug) : mPlug(plug) {}
  VeltraneEditor(const VeltraneEditor&) = delete;
  VeltraneEditor& operator=(const VeltraneEditor&) = delete;

  // Builds the panel into the plug-in's graphics object and keeps its
  // controls.
  void Layout(IGraphics* graphics);
  // The plug-in attaches an editor: one that is not ours takes the place of
  // ours, and the kept controls go with the old one.
  void Attaching(IGraphics* editor);

  // The status line shows the text of a parameter (-1: the version).
  void ShowStatusText(int index);
  // The rate fader's text and the "Freq Min" faders' visibility follow the
  // LFO's settings.
  void RateControlsChanged();
  // The window opened: settings may have changed while it was closed.
  void EditorOpened();
  // The window closes: a version check's answer still to come is dropped.
  void EditorClosed();
  // The host's idle call: a version check's answer, pending updates, then
  // the shift indicators.
  void IdleTick();
  // The shifts in effect at the end of a block, for the indicators.
  void PublishShifts(double left, double right);

  ITextControl* StatusLine() const { return mStatusLine; }
  IBitmapControl* ShiftIndicator(int channel) const { return mShiftIndicator[channel]; }
  IQVOnlineVersionMenu* VersionMenu() const { return mVersionMenu; }

 private:
  void ShowRateControls();

  Veltrane* mPlug;
  // Kept while mLaidOut is the plug-in's editor; owned by it.
  IGraphics* mLaidOut = nullptr;
  ITextControl* mStatusLine = nullptr;
  IBitmapControl* mShiftIndicator[2] = {nullptr, nullptr};
  IControl* mRateFader = nullptr;
  IControl* mFreqMinFader[2] = {nullptr, nullptr};
  IQVOnlineVersionMenu* mVersionMenu = nullptr;

  static constexpr int kNoPendingStatus = INT_MIN;
  std::atomic<int> mPendingStatus{kNoPendingStatus};
  std::atomic<bool> mPendingRateControls{false};
  std::atomic<double> mShownFreq[2] = {{0.0}, {0.0}};
};
