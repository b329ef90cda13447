// Quorvel Veltrane: a stereo frequency shifter. Each channel forms an analytic
// signal with two allpass chains, multiplies it with a complex oscillator and
// so moves every frequency by the same number of hertz; one LFO sweeps the
// shifts between their minimum and maximum.
//
// This class holds the parameters and their meaning for the effect; the
// signal path is a FrequencyShifter (effect/dsp/), the editor's own state a
// VeltraneEditor (effect/editor/).
#pragma once

#include "effect/Effect.h"
#include "effect/dsp/FrequencyShifter.h"
#include "effect/editor/VeltraneEditor.h"

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

class Veltrane : public Effect {
 public:
  explicit Veltrane(const HostConnection* host, EditorWindowFactory makeWindow = &CreateEditorWindow);

  void ResetProcessing() override;
  void ParameterChanged(int index) override;
  void ProcessBlock(double** inputs, double** outputs, int frames) override;
  bool ProcessFloatBlock(float** inputs, float** outputs, int frames) override;
  void HandOverToAudio() override;
  void EditorOpened() override;
  void EditorClosed() override;
  void IdleTick() override;
  bool WriteState(ChunkBuffer& chunk) override;
  int ReadState(const ChunkBuffer& chunk, int position) override;
  int StateEnd(const ChunkBuffer& chunk, int position) const override;
  // "Link L+R" decides how a batch's other values apply.
  int BatchSwitch() const override { return kLink; }
  void AttachEditor(IGraphics* editor) override;
  void PresetsChanged() override;
  void DeclareParams() override;
  void ShowStatusText(int index) override;
  // The two shift indicators, for formats whose editor is another instance.
  int NumMeters() const override { return 2; }
  MeterInfo MeterAt(int index) const override;
  double MeterValue(int index) const override;
  void ShowMeter(int index, double value) override;

  void UpdateRateDisplay();
  // The shift parameters' texts follow "Freq Range".
  void UpdateFreqDisplay(int rangeIndex);
  // The status line's text for a parameter; -1 gives the version.
  void FormatStatusText(int index, char* text, int size) const;
  // With the LFO off only "Freq Max" sets the shift: the editor hides
  // "Freq Min". Any thread; takes the plug-in's section.
  bool FreqMinHidden();

  // Display functions of the parameters, and the readers of their texts.
  // A shift shows its hertz in the selected range, with sign and unit
  // ("+125.0 Hz", "-1250 Hz", "0.0 Hz"); the free LFO rate shows the
  // oscillator's cycles per second ("40.00 Hz"), the synced one its
  // division ("1/16"). Texts with the unit read as hertz, division names as
  // the division; bare numbers stay the parameter's own value.
  static void FormatVolume(double v, char* text);
  static void FormatMix(double v, char* text);
  // "-6 dB", "-6dB", "-inf dB", "-oo"; "75:25", "Dry", "Wet". A bare
  // number is not theirs: it keeps its meaning as the value itself.
  static bool ParseVolume(const char* text, double* v);
  static bool ParseMix(const char* text, double* v);
  static void FormatFreq(int rangeIndex, double v, char* text);
  static bool ParseFreq(int rangeIndex, const char* text, double* v);
  static void FormatRateHz(double v, char* text);
  static bool ParseRateHz(const char* text, double* v);
  static void FormatRateSync(double v, char* text);
  static bool ParseRateSync(const char* text, double* v);

  // The audio thread's signal path (tests select its vector width and read
  // its state).
  FrequencyShifter& Shifter() { return mShifter; }
  const FrequencyShifter& Shifter() const { return mShifter; }
  // The editor's controls the effect updates itself.
  VeltraneEditor& EditorView() { return mEditorView; }

 private:
  template <typename Sample>
  void Process(Sample** inputs, Sample** outputs, int frames);

  // The host's threads set mControl under the section; the audio thread
  // processes with mShifter, which takes mControl's settings at each piece
  // of a block whose section it holds.
  FrequencyShifter mControl;
  FrequencyShifter mShifter;
  VeltraneEditor mEditorView;
  double mShownMeters[2] = {0.0, 0.0};  // editor thread (ShowMeter)
};
