// Shared pieces of the host tests: the fixture that loads the plug-in, the
// parameter indices as a host sees them, and measuring helpers for audio.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/host/TestHost.h"

namespace testhost {

enum Param : VstInt32 {
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
  kNumParams
};

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const PluginModule& module = SharedModule();
    ASSERT_NE(module.entry(), nullptr) << module.error();
  }

  // A fresh instance straight from the entry point (not opened).
  std::unique_ptr<PluginInstance> NewInstance(HostScript script = {});
  // Created, opened (effOpen) and switched on at the given rate and block size.
  std::unique_ptr<PluginInstance> Running(HostScript script = {}, float sampleRate = 44100.0f,
                                          VstIntPtr blockSize = 1024);
};

// The text VST3 and CLAP hosts show for a value whose VST 2.4 display is
// `display`: the same text, with the unit where the display has none.
inline std::string HostTextOf(VstInt32 param, const std::string& display) {
  if (param == kVolumeL || param == kVolumeR) return (display == "-oo" ? "-inf" : display) + " dB";
  if (param == kFreqRange) return display + " Hz";
  return display;
}

// What users type, and what the formats of our own design take it for, as
// the display reads it back (Freq Range at 500 Hz, LFO not synced).
struct TypedText {
  VstInt32 param;
  const char* typed;
  const char* shown;
};
inline const std::vector<TypedText>& TypedTexts() {
  static const std::vector<TypedText> texts = {
      {kVolumeL, "-6 dB", "-6.0 dB"},      {kVolumeL, "-6dB", "-6.0 dB"},         {kVolumeR, "-inf dB", "-inf dB"},
      {kVolumeR, "-6", "-6.0 dB"},         {kMixL, "75:25", "75:25"},             {kMixR, "wet", "Wet"},
      {kFreqMinL, "250 Hz", "+250.0 Hz"},  {kFreqMinR, "-125hz", "-125.0 Hz"},    {kFreqMaxL, "-125", "-125.0 Hz"},
      {kLfoRate, "10 Hz", "10.00 Hz"},     {kLfoRate, "2.5", "2.50 Hz"},          {kModeL, "input", "Input"},
      {kModeR, "REAL", "Real"},            {kLfoWaveform, "ramp up", "Ramp Up"},  {kFreqRange, "500 Hz", "500 Hz"},
      {kLink, "on", "On"},
  };
  return texts;
}

// Settings whose output is known exactly whatever the shifter does: the dry
// input alone (mix 0, mode "Input") at unit gain, channels unlinked.
void SetPassThrough(PluginInstance& plugin);

inline std::vector<float> Sine(size_t frames, double hz, double sampleRate, double amplitude) {
  std::vector<float> out(frames);
  for (size_t i = 0; i < frames; ++i)
    out[i] = static_cast<float>(amplitude * std::sin(2.0 * 3.14159265358979323846 * hz * double(i) / sampleRate));
  return out;
}
// Deterministic noise in [-amplitude, amplitude].
std::vector<float> Noise(size_t frames, uint32_t seed, float amplitude);
// Amplitude of the component at hz in x[0..n), Hann-windowed DFT at one
// frequency; a sine of amplitude A reads about A.
double ToneAmplitude(const float* x, size_t n, double hz, double sampleRate);

}  // namespace testhost
