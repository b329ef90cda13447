// Host-side helpers of the audio, LFO and state tests: setting exact values
// through the host's text entry, rendering in blocks, reading the
// oscillator back out of the audio.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tests/host/AudioReference.h"
#include "tests/host/HostTestSupport.h"

namespace testhost {

inline const char* const kModeTexts[] = {"Imag.", "Real", "Input"};
inline const char* const kRangeTexts[] = {"5", "50", "500", "5000"};
inline const char* const kWaveformTexts[] = {"Off", "Triangle", "Square", "Ramp Dn", "Ramp Up", "S/H"};

// effString2Parameter with every digit, so the plug-in holds exactly v.
inline void SetExact(PluginInstance& plugin, VstInt32 index, double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", v);
  EXPECT_EQ(plugin.SetParameterText(index, text), 1) << "parameter " << index << " = " << text;
}

inline void SetText(PluginInstance& plugin, VstInt32 index, const char* text) {
  EXPECT_EQ(plugin.SetParameterText(index, text), 1) << "parameter " << index << " = " << text;
}

// Puts the reference's settings into the plug-in. Link goes last, so that
// while linked the right side takes the left's values, as the plug-in does.
inline void Configure(PluginInstance& plugin, const ref::Settings& s) {
  SetText(plugin, kLink, "Off");
  SetText(plugin, kSyncToHost, s.syncToHost ? "On" : "Off");
  for (int ch = 0; ch < 2; ++ch) {
    SetExact(plugin, kVolumeL + ch, s.volume[ch]);
    SetExact(plugin, kMixL + ch, s.mix[ch]);
    SetText(plugin, kModeL + ch, kModeTexts[s.mode[ch]]);
    SetExact(plugin, kFreqMinL + ch, s.freqMin[ch]);
    SetExact(plugin, kFreqMaxL + ch, s.freqMax[ch]);
  }
  SetText(plugin, kFreqRange, kRangeTexts[s.rangeIndex]);
  SetText(plugin, kLfoWaveform, kWaveformTexts[s.waveform]);
  SetExact(plugin, kLfoRate, s.lfoRate);
  if (s.linked) SetText(plugin, kLink, "On");
}

// The settings as the plug-in ends up with them: while linked the right
// side equals the left.
inline ref::Settings AsApplied(ref::Settings s) {
  if (s.linked) {
    s.volume[1] = s.volume[0];
    s.mix[1] = s.mix[0];
    s.mode[1] = s.mode[0];
    s.freqMin[1] = s.freqMin[0];
    s.freqMax[1] = s.freqMax[0];
  }
  return s;
}

// Renders a stereo signal through processDoubleReplacing in blocks whose
// sizes cycle through `blocks`. beforeBlock(offset) runs before each block.
inline DoubleBuffers RenderDouble(PluginInstance& plugin, const DoubleBuffers& in, const std::vector<int>& blocks,
                                  const std::function<void(size_t)>& beforeBlock = nullptr) {
  const size_t frames = in[0].size();
  DoubleBuffers out(2, std::vector<double>(frames, 0.0));
  AEffect* e = plugin.effect();
  size_t at = 0;
  for (size_t b = 0; at < frames; ++b) {
    const size_t n = std::min(frames - at, static_cast<size_t>(blocks[b % blocks.size()]));
    if (beforeBlock) beforeBlock(at);
    double* inputs[2] = {const_cast<double*>(in[0].data() + at), const_cast<double*>(in[1].data() + at)};
    double* outputs[2] = {out[0].data() + at, out[1].data() + at};
    e->processDoubleReplacing(e, inputs, outputs, static_cast<VstInt32>(n));
    at += n;
  }
  return out;
}

inline FloatBuffers RenderFloat(PluginInstance& plugin, const FloatBuffers& in, const std::vector<int>& blocks) {
  const size_t frames = in[0].size();
  FloatBuffers out(2, std::vector<float>(frames, 0.0f));
  AEffect* e = plugin.effect();
  size_t at = 0;
  for (size_t b = 0; at < frames; ++b) {
    const size_t n = std::min(frames - at, static_cast<size_t>(blocks[b % blocks.size()]));
    float* inputs[2] = {const_cast<float*>(in[0].data() + at), const_cast<float*>(in[1].data() + at)};
    float* outputs[2] = {out[0].data() + at, out[1].data() + at};
    e->processReplacing(e, inputs, outputs, static_cast<VstInt32>(n));
    at += n;
  }
  return out;
}

inline ref::Shifter RenderReference(double sampleRate, const ref::Settings& s, const DoubleBuffers& in,
                                    DoubleBuffers& out, const std::vector<int>& blocks) {
  ref::Shifter shifter(sampleRate);
  shifter.Apply(AsApplied(s));
  const size_t frames = in[0].size();
  out.assign(2, std::vector<double>(frames, 0.0));
  size_t at = 0;
  for (size_t b = 0; at < frames; ++b) {
    const size_t n = std::min(frames - at, static_cast<size_t>(blocks[b % blocks.size()]));
    shifter.Process(in[0].data() + at, in[1].data() + at, out[0].data() + at, out[1].data() + at,
                    static_cast<int>(n));
    at += n;
  }
  return shifter;
}

// The first sample at which a and b differ (bitwise), or -1.
inline long FirstDifference(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size()) return 0;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::memcmp(&a[i], &b[i], sizeof(double)) != 0) return static_cast<long>(i);
  return -1;
}

// Constant input on both channels.
inline DoubleBuffers Dc(size_t frames, double value = 1.0) {
  return DoubleBuffers(2, std::vector<double>(frames, value));
}

// Reading the oscillator back. With DC of 1 on both inputs, mix 1 and the
// right channel's "Freq" values the negatives of the left's, both analytic
// pairs settle at yR = yI = 1, so the outputs are cos t + sin t (left) and
// cos t - sin t (right), t the left oscillator's phase. The shift during a
// control tick is the phase advance over the tick's samples.
class TickMeter {
 public:
  // Ticks before `settle` frames (the filters' transient) are not measured.
  TickMeter(double sampleRate, int controlPeriod, size_t settle)
      : rate_(sampleRate), period_(static_cast<size_t>(controlPeriod)), settle_(settle) {}

  void Feed(const double* left, const double* right, size_t frames) {
    const double pi = 3.14159265358979323846;
    for (size_t i = 0; i < frames; ++i, ++frame_) {
      const double t = std::atan2(0.5 * (left[i] - right[i]), 0.5 * (left[i] + right[i])) / (2.0 * pi);
      if (frame_ % period_ == 0) {
        if (measuring_) shifts_.push_back(turns_ * rate_ / static_cast<double>(period_));
        measuring_ = frame_ >= settle_ && frame_ > 0;
        turns_ = 0.0;
      }
      double step = t - previous_;
      step -= std::floor(step + 0.5);  // under half a turn per sample
      turns_ += step;
      previous_ = t;
    }
  }

  // Average shift in hertz of each complete tick, from the first tick that
  // starts at or after `settle`.
  const std::vector<double>& Shifts() const { return shifts_; }
  // The tick number of Shifts()[0].
  size_t FirstTick() const { return (settle_ + period_ - 1) / period_ + (settle_ == 0 ? 1 : 0); }

 private:
  double rate_;
  size_t period_;
  size_t settle_;
  size_t frame_ = 0;
  bool measuring_ = false;
  double turns_ = 0.0;
  double previous_ = 0.0;
  std::vector<double> shifts_;
};

// Probe settings: "Freq Min" 0.5 and "Freq Max" 1 on the left, mirrored on
// the right, range 5000, so the shift is 5000 (0.5 + 0.5 x)^2 Hz for LFO
// output x, and x can be read back from it.
inline ref::Settings ProbeSettings(int waveform, double lfoRate) {
  ref::Settings s;
  s.rangeIndex = 3;
  s.freqMin[0] = 0.5;
  s.freqMax[0] = 1.0;
  s.freqMin[1] = -0.5;
  s.freqMax[1] = -1.0;
  s.waveform = waveform;
  s.lfoRate = lfoRate;
  return s;
}

inline double LfoOutputFromShift(double hz) { return 2.0 * std::sqrt(std::fabs(hz) / 5000.0) - 1.0; }

// Renders DC through the plug-in in blocks and measures every tick.
inline std::vector<double> MeasureLfo(PluginInstance& plugin, size_t frames, size_t block, TickMeter& meter,
                                      const std::function<void(size_t)>& beforeBlock = nullptr) {
  DoubleBuffers in = Dc(block), out(2, std::vector<double>(block));
  AEffect* e = plugin.effect();
  for (size_t at = 0; at < frames; at += block) {
    if (beforeBlock) beforeBlock(at);
    double* inputs[2] = {in[0].data(), in[1].data()};
    double* outputs[2] = {out[0].data(), out[1].data()};
    e->processDoubleReplacing(e, inputs, outputs, static_cast<VstInt32>(block));
    meter.Feed(out[0].data(), out[1].data(), block);
  }
  std::vector<double> lfo;
  for (double hz : meter.Shifts()) lfo.push_back(LfoOutputFromShift(hz));
  return lfo;
}

// What a host's bypass switched on at frame `on` and off at `off` must give,
// for one channel: the effect's own output (`wet`, rendered unbypassed) up
// to `on`, the input (`dry`) exactly once `fade` frames have passed, the
// effect's output again, bit for bit, `fade` frames after `off`. No step
// between frames is larger than the two signals' own plus the fade's share
// of their difference: a click, as a hard switch makes, is.
inline void ExpectBypassCrossfade(const std::vector<float>& dry, const std::vector<float>& wet,
                                  const std::vector<float>& out, size_t on, size_t off, size_t fade) {
  ASSERT_TRUE(dry.size() == out.size() && wet.size() == out.size() && off + fade < out.size());
  double ownStep = 0.0, difference = 0.0;
  for (size_t i = 1; i < out.size(); ++i) {
    ownStep = std::max({ownStep, std::fabs(double(dry[i]) - dry[i - 1]), std::fabs(double(wet[i]) - wet[i - 1])});
    difference = std::max(difference, std::fabs(double(dry[i]) - wet[i]));
  }
  const double bound = ownStep + difference / double(fade) + 1e-6;
  ASSERT_GT(std::fabs(double(dry[on]) - wet[on - 1]), bound) << "the signals would not show a hard switch";
  for (size_t i = 1; i < out.size(); ++i)
    ASSERT_LE(std::fabs(double(out[i]) - out[i - 1]), bound) << "a jump at frame " << i;
  for (size_t i = 0; i < out.size(); ++i) {
    if (i >= on + fade && i < off) {
      ASSERT_EQ(out[i], dry[i]) << "frame " << i << " is not the input";
    }
    if (i < on || i >= off + fade) {
      ASSERT_EQ(out[i], wet[i]) << "frame " << i << " is not the effect's";
    }
  }
  // Halfway through each fade the output is neither signal.
  for (size_t middle : {on + fade / 2, off + fade / 2}) {
    double fromDry = 0.0, fromWet = 0.0;
    for (size_t i = middle - fade / 4; i < middle + fade / 4; ++i) {
      fromDry = std::max(fromDry, std::fabs(double(out[i]) - dry[i]));
      fromWet = std::max(fromWet, std::fabs(double(out[i]) - wet[i]));
    }
    EXPECT_GT(fromDry, 0.0) << "no fade around " << middle;
    EXPECT_GT(fromWet, 0.0) << "no fade around " << middle;
  }
}

}  // namespace testhost
