// The effect's signal path alone: per channel two allpass chains form an
// analytic signal, a complex oscillator read from the cosine table shifts
// it, the dry signal is mixed in and the result scaled. The shift of each
// channel is recomputed at control ticks (about 1000 a second) from its
// "Freq" settings and the modulation oscillator.
//
// Threads: one shifter is driven from one thread at a time. The plug-in
// keeps two: its host threads call the setters and Prepare on a control
// shifter, under the plug-in's section, and the audio thread processes with
// its own, which takes the control's settings (TakeSettingsFrom) at a block
// boundary while it holds the section. The audio thread thus never waits:
// when the section is taken, it processes with the settings it has.
// Nothing here allocates, locks or calls the system.
#pragma once

#include <cstdint>

#include "effect/dsp/LfoState.h"

// cos(2 pi k / 4096), shared by every instance: committed literals, so every
// build reads the same bits.
extern const double cosTable[4096];

// The vector width the signal path runs at. Every path gives the same bits.
enum class ShiftKernel { kScalar, kSse2, kAvx };
ShiftKernel BestShiftKernel();
bool ShiftKernelSupported(ShiftKernel kernel);

// Filter histories of the four allpass chains, in the lane order the vector
// paths use: left real, left imaginary, right real, right imaginary; for each
// the first and second section's last two inputs and outputs.
struct AllpassLanes {
  alignas(32) double u1[2][4];  // [section of the chain][lane]
  alignas(32) double u2[2][4];
  alignas(32) double y1[2][4];
  alignas(32) double y2[2][4];
};

struct SegmentPlan;

class FrequencyShifter {
 public:
  FrequencyShifter();

  // The control timing for a sample rate, with every history, phase and
  // increment cleared; the oscillator restarts only when the rate changed.
  void Prepare(double sampleRate);

  // Settings; each marks the shifts for recomputation at the next tick.
  // Channel 0 is left, 1 right.
  void SetVolume(int channel, double gain);
  void SetMix(int channel, double wet);
  // 0 "Imag.", 1 "Real", anything else "Input": the dry signal.
  void SetMode(int channel, int32_t mode);
  // Range 0..3 selects 5, 50, 500 or 5000 Hz for a full-scale shift at the
  // given sample rate.
  void SetRange(int32_t rangeIndex, double sampleRate);
  void SetFreqMin(int channel, double value);
  void SetFreqMax(int channel, double value);
  // While linked the right channel takes the left one's oscillator.
  void SetLinked(bool linked);
  void SetWaveform(int32_t waveform);
  void SetRate(double rate);
  void SetSyncToHost(bool on);

  // Processes `frames` samples of both channels; an output may be the same
  // memory as its input. With sync on, `transport` (never null then) locks
  // the oscillator to the host first.
  void Process(const double* const* inputs, double* const* outputs, int frames, const LfoTransport* transport);
  // The same for a host's single-precision buffers: the bits of widening
  // the input block, processing it and rounding the output block, without
  // the passes over the block that would take.
  void Process(const float* const* inputs, float* const* outputs, int frames, const LfoTransport* transport);

  // Makes this shifter's settings the control's, as if its setters and
  // Prepare had been called in the order the control's were: a Prepare
  // since the last call clears the histories and phases first. Settings
  // that did not change leave the signal path as it is.
  void TakeSettingsFrom(const FrequencyShifter& control);

  // Selects the vector width (tests compare them).
  void SetShiftKernel(ShiftKernel kernel) { mKernel = ShiftKernelSupported(kernel) ? kernel : mKernel; }

  bool Linked() const { return linked; }
  bool SyncsToHost() const { return syncToHost; }
  int32_t Waveform() const { return waveformParam; }
  int32_t RangeIndex() const { return rangeIndex; }
  double CurrentFreq(int channel) const { return currentFreq[channel]; }
  int32_t PhaseIncrement(int channel) const { return phaseInc[channel]; }
  int ControlPeriod() const { return controlPeriod; }
  const LfoState& Lfo() const { return lfo; }

 private:
  template <typename Sample>
  void ProcessSamples(const Sample* const* inputs, Sample* const* outputs, int frames, const LfoTransport* transport);
  void UpdateShifts();
  int PlanSegments(int frames, SegmentPlan* plan, int maxSegments);

  // Settings.
  bool linked = false;
  double volume[2] = {0.0, 0.0};
  double mix[2] = {0.0, 0.0};
  int32_t mode[2] = {0, 0};
  int32_t rangeIndex = 0;
  double rangeFactor = 0.0;  // phase units per sample for a full-scale shift
  double freqMin[2] = {0.0, 0.0};
  double freqMax[2] = {0.0, 0.0};
  int32_t waveformParam = 0;
  bool syncToHost = false;
  bool dirty = false;

  // Signal path.
  uint32_t phase[2] = {0, 0};
  int32_t phaseInc[2] = {0, 0};
  double currentFreq[2] = {0.0, 0.0};
  AllpassLanes allpassState = {};
  int32_t controlPeriod = 44;
  int32_t samplesLeft = 0;

  LfoState lfo;
  bool transportWasPlaying = false;

  // How often each kind of change was made, so a taker copies only what
  // changed since it last took: settings, Prepare, a Prepare that restarted
  // the oscillator, and the oscillator's increment set from the rate.
  uint32_t settingsChanges = 0;
  uint32_t prepares = 0;
  uint32_t lfoRestarts = 0;
  uint32_t incrementChanges = 0;
  // The counts of the control as last taken.
  uint32_t takenSettings = 0;
  uint32_t takenPrepares = 0;
  uint32_t takenLfoRestarts = 0;
  uint32_t takenIncrement = 0;

  ShiftKernel mKernel;
};
