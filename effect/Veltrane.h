// Quorvel Veltrane: a stereo frequency shifter. Each channel forms an analytic
// signal with two allpass chains, multiplies it with a complex oscillator and
// so moves every frequency by the same number of hertz; one LFO sweeps the
// shifts between their minimum and maximum.
#pragma once

#include <atomic>
#include <climits>
#include <cstdint>

#include "effect/Effect.h"

class IBitmapControl;
class IControl;
class ITextControl;

enum VeltraneParam : int {
  kLink = 0,
  kVolumeL,
  kVolumeR,
  kMixL,
  kMixR,
  kModeL,
  kModeR,
  kFreqRange,
  kFreqMinL,
  kFreqMinR,
  kFreqMaxL,
  kFreqMaxR,
  kLfoWaveform,
  kLfoRate,
  kSyncToHost,
  kNumVeltraneParams
};

// The modulation oscillator, advanced once per control tick.
struct LfoState {
  double output = 0.0;
  double storedSampleRate = 44100.0;
  double ticksPerSecond = 44100.0 / 44.0;
  int32_t waveform = 0;
  int32_t syncIndex = 10;
  double rate = 0.0;
  double phase = 0.0;
  double increment = 0.0;
  double heldValue = 0.0;
};

// Filter histories of the four allpass chains, in the lane order the vector
// paths use: left real, left imaginary, right real, right imaginary; for each
// the first and second section's last two inputs and outputs.
struct AllpassLanes {
  alignas(32) double u1[2][4];  // [section of the chain][lane]
  alignas(32) double u2[2][4];
  alignas(32) double y1[2][4];
  alignas(32) double y2[2][4];
};

// Cycle lengths of the tempo-synced rates, in sixteenth notes, and their names.
constexpr int kNumSyncDivisions = 20;
extern const double kSyncDivisionLength[kNumSyncDivisions];
extern const char* const kSyncDivisionName[kNumSyncDivisions];

// cos(2 pi k / 4096), shared by every instance.
extern const double cosTable[4096];

// The vector width the signal path runs at. Every path gives the same bits.
enum class ShiftKernel { kScalar, kSse2, kAvx };
ShiftKernel BestShiftKernel();
bool ShiftKernelSupported(ShiftKernel kernel);

// The process-wide sample-and-hold sequence: one value per process, starting
// at 1, advanced atomically by every instance.
int32_t NextSampleHoldValue();

class Veltrane : public Effect {
 public:
  explicit Veltrane(audioMasterCallback hostCallback, EditorWindowFactory makeWindow = &CreateEditorWindow);

  void ResetProcessing() override;
  void ParameterChanged(int index) override;
  void ProcessBlock(double** inputs, double** outputs, int frames) override;
  void IdleTick() override;
  bool WriteState(ChunkBuffer& chunk) override;
  int ReadState(const ChunkBuffer& chunk, int position) override;
  void PresetsChanged() override;
  void DeclareParams() override;
  void EditorOpened() override;
  void AttachEditor(IGraphics* editor) override;

  void UpdateRateDisplay();
  // The status line's text for a parameter; -1 gives the version.
  void FormatStatusText(int index, char* text, int size) const;
  void ShowStatusText(int index) override;

  // Selects the vector width of the signal path (tests compare them).
  void SetShiftKernel(ShiftKernel kernel) { mKernel = ShiftKernelSupported(kernel) ? kernel : mKernel; }

  // Display functions of the parameters.
  static void FormatVolume(double v, char* text);
  static void FormatMix(double v, char* text);
  static void FormatFreq(double v, char* text);
  static void FormatRateHz(double v, char* text);
  static void FormatRateSync(double v, char* text);

  // Read-only views for the editor's indicators and for tests.
  double CurrentFreq(int channel) const { return currentFreq[channel]; }
  int32_t PhaseIncrement(int channel) const { return phaseInc[channel]; }
  int ControlPeriod() const { return controlPeriod; }
  const LfoState& Lfo() const { return lfo; }

  // The editor's controls the effect updates itself (owned by the editor).
  ITextControl* StatusLine() const { return mStatusLine; }
  IBitmapControl* ShiftIndicator(int channel) const { return mShiftIndicator[channel]; }

 private:
  void LayoutEditor(IGraphics* graphics);
  void ShowRateControls();
  void TickLfo();
  void SyncLfoToHost();
  void UpdateShifts();
  int PlanSegments(int frames, struct SegmentPlan* plan, int maxSegments);

  // Processing state written by ParameterChanged.
  bool linked = false;
  double volume[2] = {0.0, 0.0};
  double mix[2] = {0.0, 0.0};
  int32_t mode[2] = {0, 0};
  int32_t rangeIndex = 0;
  double rangeFactor = 0.0;
  double freqMin[2] = {0.0, 0.0};
  double freqMax[2] = {0.0, 0.0};
  int32_t waveformParam = 0;
  bool syncToHost = false;
  bool dirty = false;

  // Signal path.
  uint32_t phase[2] = {0, 0};
  int32_t phaseInc[2] = {0, 0};
  double currentFreq[2] = {0.0, 0.0};
  std::atomic<double> shownFreq[2] = {{0.0}, {0.0}};  // currentFreq at the last block's end
  AllpassLanes allpassState = {};
  int32_t controlPeriod = 44;
  int32_t samplesLeft = 0;

  LfoState lfo;
  bool transportWasPlaying = false;

  ShiftKernel mKernel;

  // Editor controls kept for later updates, while mLaidOut is our editor.
  IGraphics* mLaidOut = nullptr;
  ITextControl* mStatusLine = nullptr;
  IBitmapControl* mShiftIndicator[2] = {nullptr, nullptr};
  IControl* mRateFader = nullptr;
  IControl* mFreqMinFader[2] = {nullptr, nullptr};
  // Editor updates asked for off the window thread wait here for the next
  // idle call on it: the status line's parameter and the rate controls.
  static constexpr int kNoPendingStatus = INT_MIN;
  std::atomic<int> mPendingStatus{kNoPendingStatus};
  std::atomic<bool> mPendingRateControls{false};
};
