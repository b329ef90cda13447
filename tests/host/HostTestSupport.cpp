#include "tests/host/HostTestSupport.h"

#include <cmath>

namespace testhost {

namespace {
const double kPi = 3.14159265358979323846;
}

std::unique_ptr<PluginInstance> HostTest::NewInstance(HostScript script) {
  auto plugin = PluginInstance::Create(SharedModule(), std::move(script));
  if (!plugin) ADD_FAILURE() << "VSTPluginMain returned null";
  return plugin;
}

std::unique_ptr<PluginInstance> HostTest::Running(HostScript script, float sampleRate, VstIntPtr blockSize) {
  auto plugin = NewInstance(std::move(script));
  if (plugin) {
    plugin->Open();
    plugin->Start(sampleRate, blockSize);
  }
  return plugin;
}

void SetPassThrough(PluginInstance& plugin) {
  plugin.SetParameter(kLink, 0.0f);
  plugin.SetParameter(kMixL, 0.0f);
  plugin.SetParameter(kMixR, 0.0f);
  plugin.SetParameter(kModeL, 1.0f);  // "Input"
  plugin.SetParameter(kModeR, 1.0f);
  plugin.SetParameter(kVolumeL, 0.5f);  // shape 2: 0.25 of 0..4, unit gain
  plugin.SetParameter(kVolumeR, 0.5f);
}

std::vector<float> Noise(size_t frames, uint32_t seed, float amplitude) {
  std::vector<float> out(frames);
  uint32_t state = seed ? seed : 1;
  for (auto& s : out) {
    state = state * 1664525u + 1013904223u;
    s = amplitude * (static_cast<float>(state >> 8) / 8388608.0f - 1.0f);
  }
  return out;
}

double ToneAmplitude(const float* x, size_t n, double hz, double sampleRate) {
  double re = 0.0;
  double im = 0.0;
  double weight = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const double w = 0.5 - 0.5 * std::cos(2.0 * kPi * static_cast<double>(i) / static_cast<double>(n));
    const double phase = 2.0 * kPi * hz * static_cast<double>(i) / sampleRate;
    re += w * x[i] * std::cos(phase);
    im -= w * x[i] * std::sin(phase);
    weight += w;
  }
  return 2.0 * std::sqrt(re * re + im * im) / weight;
}

}  // namespace testhost
