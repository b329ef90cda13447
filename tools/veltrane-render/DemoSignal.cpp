#include "tools/veltrane-render/DemoSignal.h"

#include <cmath>
#include <cstdint>

namespace render {

namespace {

constexpr double kTwoPi = 6.283185307179586;

// A small fixed-seed generator: the demo must not change between runs.
class Noise {
 public:
  double Next() {
    mState = mState * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(static_cast<int64_t>(mState >> 11) - (1LL << 52)) / static_cast<double>(1LL << 52);
  }

 private:
  uint64_t mState = 0x5eed5eedULL;
};

void Add(std::vector<double>& out, long frame, double left, double right) {
  const size_t at = static_cast<size_t>(frame) * 2;
  if (at + 1 >= out.size()) return;
  out[at] += left;
  out[at + 1] += right;
}

}  // namespace

std::vector<double> MakeDemoSignal(double sampleRate) {
  const long frames = static_cast<long>(kDemoSeconds * sampleRate);
  std::vector<double> out(static_cast<size_t>(frames) * 2, 0.0);
  const double beat = 60.0 / kDemoTempo;

  // A held A minor chord that fades in and out: steady lines in the picture.
  const double chord[] = {220.0, 261.63, 329.63};
  for (long i = 0; i < frames; ++i) {
    const double t = i / sampleRate;
    const double fade = std::fmin(1.0, std::fmin(t / 0.3, (kDemoSeconds - t) / 0.3));
    double l = 0.0, r = 0.0;
    for (int k = 0; k < 3; ++k) {
      const double v = std::sin(kTwoPi * chord[k] * t);
      l += v * (k == 2 ? 0.04 : 0.07);
      r += v * (k == 0 ? 0.04 : 0.07);
    }
    Add(out, i, l * fade, r * fade);
  }

  // A melody of pure eighth notes, left of centre.
  const double melody[] = {880.0, 1318.5, 1046.5, 659.25, 880.0, 1568.0, 1318.5, 987.77};
  const long eighth = static_cast<long>(beat / 2 * sampleRate);
  for (long note = 0; note * eighth < frames; ++note) {
    const double f = melody[note % 8];
    for (long j = 0; j < eighth; ++j) {
      const double t = j / sampleRate;
      const double envelope = std::fmin(1.0, t / 0.005) * std::exp(-t / 0.12);
      const double v = 0.16 * envelope * std::sin(kTwoPi * f * t);
      Add(out, note * eighth + j, v, 0.5 * v);
    }
  }

  // Drums: kick on beats 1 and 3, snare on 2 and 4, hi-hat on eighths.
  Noise noise;
  const long beatFrames = static_cast<long>(beat * sampleRate);
  for (long b = 0; b * beatFrames < frames; ++b) {
    const long start = b * beatFrames;
    if (b % 2 == 0) {
      double phase = 0.0;
      for (long j = 0; j < static_cast<long>(0.35 * sampleRate); ++j) {
        const double t = j / sampleRate;
        const double f = 45.0 + 105.0 * std::exp(-t / 0.04);
        phase += kTwoPi * f / sampleRate;
        const double v = 0.5 * std::exp(-t / 0.12) * std::sin(phase);
        Add(out, start + j, v, v);
      }
    } else {
      double low = 0.0;
      for (long j = 0; j < static_cast<long>(0.2 * sampleRate); ++j) {
        const double t = j / sampleRate;
        const double n = noise.Next();
        low += 0.3 * (n - low);  // a gentle low-pass keeps the burst from hissing
        const double v = std::exp(-t / 0.06) * (0.22 * low + 0.12 * std::sin(kTwoPi * 190.0 * t));
        Add(out, start + j, v, v);
      }
    }
  }
  double previous = 0.0;
  for (long e = 0; e * eighth < frames; ++e) {
    for (long j = 0; j < static_cast<long>(0.05 * sampleRate); ++j) {
      const double t = j / sampleRate;
      const double n = noise.Next();
      const double v = 0.07 * std::exp(-t / 0.015) * (n - previous);  // a difference: high-passed noise
      previous = n;
      Add(out, e * eighth + j, 0.6 * v, v);
    }
  }

  double peak = 0.0;
  for (double v : out) peak = std::fmax(peak, std::fabs(v));
  if (peak > 0.0) {
    const double gain = 0.7 / peak;
    for (double& v : out) v *= gain;
  }
  return out;
}

}  // namespace render
