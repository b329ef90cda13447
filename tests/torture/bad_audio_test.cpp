// Bad numbers from the host: NaN, infinities and huge values in the audio,
// garbage in the time info. Non-finite input samples are taken as silence;
// filter histories that overflowed are cleared at the end of their block;
// finite input, however large, gives exactly the ordinary arithmetic.
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "tests/torture/TortureSupport.h"

namespace torture {
namespace {

using testhost::HostTest;
using BadAudio = HostTest;

const std::vector<int> kBlocks = {256, 1, 7, 1000, 64};

// Every dry and wet path in use: the "Input" mode passes x itself.
testhost::ref::Settings MixedSettings() {
  testhost::ref::Settings s = BusySettings();
  s.mix[1] = 0.5;
  s.mode[1] = 2;
  return s;
}

std::unique_ptr<PluginInstance> Busy(const testhost::ref::Settings& s, testhost::HostScript script = {}) {
  auto plugin = PluginInstance::Create(testhost::SharedModule(), std::move(script));
  if (!plugin) return nullptr;
  plugin->Open();
  plugin->Start(44100.0f, 1024);
  testhost::Configure(*plugin, s);
  return plugin;
}

// Noise with non-finite samples at scattered places; `clean` gets zeros there.
template <typename Sample>
void Poison(std::vector<std::vector<Sample>>& bad, std::vector<std::vector<Sample>>& clean, uint64_t seed) {
  const Sample values[] = {std::numeric_limits<Sample>::quiet_NaN(), -std::numeric_limits<Sample>::quiet_NaN(),
                           std::numeric_limits<Sample>::signaling_NaN(), std::numeric_limits<Sample>::infinity(),
                           -std::numeric_limits<Sample>::infinity()};
  Rng rng(seed);
  for (size_t c = 0; c < bad.size(); ++c) {
    for (size_t i = 0; i < bad[c].size(); ++i) {
      if (rng.Below(97) != 0) continue;
      // Runs of bad samples too, as from a broken source.
      const size_t run = rng.Below(8) == 0 ? 1 + static_cast<size_t>(rng.Below(300)) : 1;
      for (size_t k = i; k < i + run && k < bad[c].size(); ++k) {
        bad[c][k] = values[rng.Below(5)];
        clean[c][k] = 0;
      }
      i += run;
    }
  }
}

TEST_F(BadAudio, NonFiniteSamplesAreTakenAsSilenceInDoublePrecision) {
  const size_t frames = 2 * 44100;
  DoubleBuffers bad = NoiseDouble(frames, 8), clean = bad;
  Poison(bad, clean, 1);
  auto a = Busy(MixedSettings()), b = Busy(MixedSettings());
  ASSERT_TRUE(a && b);
  const DoubleBuffers got = testhost::RenderDouble(*a, bad, kBlocks);
  const DoubleBuffers want = testhost::RenderDouble(*b, clean, kBlocks);
  ASSERT_TRUE(AllFinite(got, frames));
  for (int c = 0; c < 2; ++c) EXPECT_EQ(testhost::FirstDifference(got[c], want[c]), -1) << "channel " << c;
}

TEST_F(BadAudio, NonFiniteSamplesAreTakenAsSilenceInSinglePrecision) {
  const size_t frames = 2 * 44100;
  FloatBuffers bad = ToFloat(NoiseDouble(frames, 9)), clean = bad;
  Poison(bad, clean, 2);
  auto a = Busy(MixedSettings()), b = Busy(MixedSettings());
  ASSERT_TRUE(a && b);
  const FloatBuffers got = testhost::RenderFloat(*a, bad, kBlocks);
  const FloatBuffers want = testhost::RenderFloat(*b, clean, kBlocks);
  ASSERT_TRUE(AllFinite(got, frames));
  for (int c = 0; c < 2; ++c)
    EXPECT_EQ(std::memcmp(got[c].data(), want[c].data(), frames * sizeof(float)), 0) << "channel " << c;
}

// Scaling the input by a power of two scales every operation of the signal
// path exactly, so huge and tiny finite input must give exactly the scaled
// output: nothing finite is mistaken for bad input.
TEST_F(BadAudio, HugeAndTinyFiniteInputIsProcessedExactly) {
  const size_t frames = 44100;
  const DoubleBuffers in = NoiseDouble(frames, 10);
  auto reference = Busy(MixedSettings());
  ASSERT_TRUE(reference);
  const DoubleBuffers base = testhost::RenderDouble(*reference, in, kBlocks);
  for (int exponent : {900, 1000, -900}) {
    SCOPED_TRACE(::testing::Message() << "input times 2^" << exponent);
    DoubleBuffers scaled = in;
    for (auto& channel : scaled)
      for (double& v : channel) v = std::ldexp(v, exponent);
    auto plugin = Busy(MixedSettings());
    ASSERT_TRUE(plugin);
    const DoubleBuffers out = testhost::RenderDouble(*plugin, scaled, kBlocks);
    for (int c = 0; c < 2; ++c) {
      std::vector<double> back(out[c]);
      for (double& v : back) v = std::ldexp(v, -exponent);
      EXPECT_EQ(testhost::FirstDifference(back, base[c]), -1) << "channel " << c;
    }
  }
  // The same in single precision, within its range.
  const FloatBuffers fin = ToFloat(in);
  auto floatReference = Busy(MixedSettings());
  ASSERT_TRUE(floatReference);
  const FloatBuffers fbase = testhost::RenderFloat(*floatReference, fin, kBlocks);
  for (int exponent : {100, -100}) {
    SCOPED_TRACE(::testing::Message() << "single-precision input times 2^" << exponent);
    FloatBuffers scaled = fin;
    for (auto& channel : scaled)
      for (float& v : channel) v = std::ldexp(v, exponent);
    auto plugin = Busy(MixedSettings());
    ASSERT_TRUE(plugin);
    const FloatBuffers out = testhost::RenderFloat(*plugin, scaled, kBlocks);
    for (int c = 0; c < 2; ++c) {
      size_t differ = 0;
      for (size_t i = 0; i < frames; ++i)
        if (std::ldexp(out[c][i], -exponent) != fbase[c][i]) ++differ;
      EXPECT_EQ(differ, 0u) << "channel " << c;
    }
  }
}

// A burst that overflows the filters poisons its own block at most: the
// histories are cleared at the block's end, so from the next block on the
// output is that of an instance that got silence instead of the burst.
TEST_F(BadAudio, OverflowingBurstLeavesNothingBehindItsBlock) {
  const size_t block = 512;
  const size_t frames = block + 44100;
  const double big = std::numeric_limits<double>::max();
  DoubleBuffers burst = NoiseDouble(frames, 11), silent = burst;
  for (int c = 0; c < 2; ++c) {
    for (size_t i = 0; i < block; ++i) {
      burst[c][i] = i >= 100 && i < 132 ? (i % 2 ? big : -big) : 0.0;
      silent[c][i] = 0.0;
    }
  }
  auto a = Busy(MixedSettings()), b = Busy(MixedSettings());
  ASSERT_TRUE(a && b);
  const DoubleBuffers got = testhost::RenderDouble(*a, burst, {static_cast<int>(block)});
  const DoubleBuffers want = testhost::RenderDouble(*b, silent, {static_cast<int>(block)});
  ASSERT_FALSE(AllFinite(got, block)) << "the burst did not overflow: this tests nothing";
  for (int c = 0; c < 2; ++c) {
    const std::vector<double> after(got[c].begin() + block, got[c].end());
    const std::vector<double> expected(want[c].begin() + block, want[c].end());
    EXPECT_EQ(testhost::FirstDifference(after, expected), -1) << "channel " << c;
  }
}

// Huge finite input that does not overflow the histories is a loud signal
// like any other: it rings down, and once its tail has gone (flushed to zero
// rather than lingering as subnormal numbers) nothing of it remains. The
// slowest pole of the allpass chains (0.995 at 44.1 kHz) takes about 6.5 s
// from 1e308 down to the smallest normal number.
TEST_F(BadAudio, HugeFiniteBurstRingsDownCompletely) {
  const size_t block = 512;
  const size_t frames = 9 * 44100;
  const size_t compareFrom = 8 * 44100;
  for (double magnitude : {1e308, 1e307, 1e200}) {
    SCOPED_TRACE(::testing::Message() << "burst of " << magnitude);
    DoubleBuffers burst = NoiseDouble(frames, 11), silent = burst;
    for (int c = 0; c < 2; ++c) {
      for (size_t i = 0; i < compareFrom; ++i) {
        burst[c][i] = i >= 100 && i < 132 ? (i % 2 ? magnitude : -magnitude) : 0.0;
        silent[c][i] = 0.0;
      }
    }
    auto a = Busy(MixedSettings()), b = Busy(MixedSettings());
    ASSERT_TRUE(a && b);
    const DoubleBuffers got = testhost::RenderDouble(*a, burst, {static_cast<int>(block)});
    const DoubleBuffers want = testhost::RenderDouble(*b, silent, {static_cast<int>(block)});
    for (int c = 0; c < 2; ++c) {
      const std::vector<double> after(got[c].begin() + compareFrom, got[c].end());
      const std::vector<double> expected(want[c].begin() + compareFrom, want[c].end());
      EXPECT_EQ(testhost::FirstDifference(after, expected), -1) << "channel " << c;
    }
  }
}

// In single precision a host's largest values cannot overflow the double
// filters: the output rings down like any loud signal, never turns into
// NaN, and once the tail has died away the instance is as if untouched.
TEST_F(BadAudio, LargestSinglePrecisionValuesRingDownCompletely) {
  const size_t frames = 3 * 44100;
  const size_t burstEnd = 1000;
  const size_t compareFrom = 2 * 44100;
  const float big = std::numeric_limits<float>::max();
  FloatBuffers burst = ToFloat(NoiseDouble(frames, 12)), quiet = burst;
  for (int c = 0; c < 2; ++c) {
    for (size_t i = 0; i < compareFrom; ++i) {
      burst[c][i] = i < burstEnd ? (i % 3 == 0 ? big : -big) : 0.0f;
      quiet[c][i] = 0.0f;
    }
  }
  auto a = Busy(MixedSettings()), b = Busy(MixedSettings());
  ASSERT_TRUE(a && b);
  const FloatBuffers got = testhost::RenderFloat(*a, burst, kBlocks);
  const FloatBuffers want = testhost::RenderFloat(*b, quiet, kBlocks);
  for (int c = 0; c < 2; ++c) {
    for (size_t i = 0; i < frames; ++i) ASSERT_FALSE(std::isnan(got[c][i])) << "channel " << c << " frame " << i;
    EXPECT_EQ(std::memcmp(got[c].data() + compareFrom, want[c].data() + compareFrom,
                          (frames - compareFrom) * sizeof(float)),
              0)
        << "channel " << c << " still differs a second after the burst";
  }
}

// Time info full of garbage: outputs stay finite and bounded throughout.
TEST_F(BadAudio, GarbageTimeInfoIsSurvived) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double values[] = {nan, inf, -inf, 0.0, -1.0, 1e300, -1e300, 5e-324, 120.0, 1e9};
  const VstInt32 flagSets[] = {0, kVstTransportPlaying | 0x3E00, 0x3E00, kVstTempoValid, kVstPpqPosValid,
                               kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid, -1};
  testhost::ref::Settings s = MixedSettings();
  s.syncToHost = true;
  testhost::HostScript script;
  script.timeInfo = testhost::MakeTimeInfo(0x3E00);
  auto plugin = Busy(s, script);
  ASSERT_TRUE(plugin);
  const size_t block = 256;
  DoubleBuffers in = NoiseDouble(block, 13);
  DoubleBuffers out(2, std::vector<double>(block));
  Rng rng(14);
  for (int step = 0; step < 3000; ++step) {
    plugin->EditScript([&](testhost::HostScript& h) {
      if (rng.Below(10) == 0) {
        h.timeInfo.reset();
        return;
      }
      VstTimeInfo t = testhost::MakeTimeInfo(flagSets[rng.Below(7)]);
      t.tempo = values[rng.Below(10)];
      t.ppqPos = values[rng.Below(10)];
      t.samplePos = values[rng.Below(10)];
      t.barStartPos = values[rng.Below(10)];
      t.cycleStartPos = values[rng.Below(10)];
      t.cycleEndPos = values[rng.Below(10)];
      t.timeSigNumerator = rng.Below(3) - 1;
      t.timeSigDenominator = rng.Below(3) == 0 ? 0 : 1 << rng.Below(31);
      h.timeInfo = t;
    });
    if (step % 100 == 0) plugin->SetParameter(testhost::kLfoRate, rng.Unit());
    if (step % 250 == 0) plugin->SetParameter(testhost::kLfoWaveform, rng.Unit());
    plugin->ProcessDouble(in, out);
    ASSERT_TRUE(AllFinite(out, block)) << "step " << step;
    ASSERT_LT(PeakOf(out, block), kSaneOutputPeak) << "step " << step;
  }
}

// The oscillator's phase must not be left infinite or NaN by one bad time
// info: with the transport stopped it runs free at the synced speed, and it
// must still sweep once the host's tempo is sane again.
TEST_F(BadAudio, SyncedOscillatorStillSweepsAfterANonFiniteTempo) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  // 120 BPM at position 0 first: the measurement itself works.
  for (double tempo : {120.0, inf, nan, 1e308, 1e300}) {
    for (double ppq : {0.0, inf, 1e308}) {
      SCOPED_TRACE(::testing::Message() << "tempo " << tempo << ", ppq " << ppq);
      testhost::HostScript script;
      script.timeInfo = testhost::MakeTimeInfo(kVstTempoValid | kVstPpqPosValid | kVstTransportPlaying, tempo, ppq);
      auto plugin = PluginInstance::Create(testhost::SharedModule(), script);
      ASSERT_TRUE(plugin);
      plugin->Open();
      plugin->Start(44100.0f, 4096);
      testhost::ref::Settings s = testhost::ProbeSettings(1, 0.6);  // "Triangle"
      s.syncToHost = true;
      testhost::Configure(*plugin, s);
      DoubleBuffers in = testhost::Dc(4096), out(2, std::vector<double>(4096));
      for (int i = 0; i < 4; ++i) plugin->ProcessDouble(in, out);
      // The host comes to its senses, transport stopped.
      plugin->EditScript([](testhost::HostScript& h) {
        h.timeInfo = testhost::MakeTimeInfo(kVstTempoValid | kVstPpqPosValid, 120.0, 0.0);
      });
      testhost::TickMeter meter(44100.0, 44, 4096);
      const std::vector<double> lfo = testhost::MeasureLfo(*plugin, 3 * 44100, 4096, meter);
      ASSERT_GT(lfo.size(), 100u);
      double low = lfo[0], high = lfo[0];
      for (double v : lfo) {
        low = std::fmin(low, v);
        high = std::fmax(high, v);
      }
      EXPECT_GT(high - low, 0.5) << "the oscillator is stuck at " << low;
    }
  }
}

}  // namespace
}  // namespace torture
