// Shared pieces of the host tests: the fixture that loads the plug-in, the
// parameter indices as a host sees them, and measuring helpers for audio.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
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

// Settings whose output is known exactly whatever the shifter does: the dry
// input alone (mix 0, mode "Input") at unit gain, channels unlinked.
void SetPassThrough(PluginInstance& plugin);

std::vector<float> Sine(size_t frames, double hz, double sampleRate, double amplitude);
// Deterministic noise in [-amplitude, amplitude].
std::vector<float> Noise(size_t frames, uint32_t seed, float amplitude);
// Amplitude of the component at hz in x[0..n), Hann-windowed DFT at one
// frequency; a sine of amplitude A reads about A.
double ToneAmplitude(const float* x, size_t n, double hz, double sampleRate);

}  // namespace testhost
