// Hosts with hostile timing: blocks of every length and none at all, blocks
// longer than announced, the three processing functions taking turns, every
// sample rate from 500 Hz to 384 kHz, and the host changing rate, block size
// and activation between blocks.
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "tests/torture/TortureSupport.h"

namespace torture {
namespace {

using testhost::HostTest;
using Timing = HostTest;

enum class Path { Double, Replacing, Accumulating };

const float kAccumulateBase = 0.25f;

// One block through one of the three record functions, from frame `at` of
// the input; float paths see the input in single precision (exact for
// NoiseDouble) and leave their result in floatOut.
struct BlockRunner {
  explicit BlockRunner(size_t maxFrames)
      : fin(2, std::vector<float>(maxFrames)), fout(2, std::vector<float>(maxFrames)),
        dout(2, std::vector<double>(maxFrames)) {}

  void Run(PluginInstance& plugin, Path path, const DoubleBuffers& in, size_t at, size_t n) {
    AEffect* e = plugin.effect();
    if (path == Path::Double) {
      double* inputs[2] = {const_cast<double*>(in[0].data() + at), const_cast<double*>(in[1].data() + at)};
      double* outputs[2] = {dout[0].data(), dout[1].data()};
      e->processDoubleReplacing(e, inputs, outputs, static_cast<VstInt32>(n));
      return;
    }
    for (int c = 0; c < 2; ++c) {
      for (size_t i = 0; i < n; ++i) {
        fin[c][i] = static_cast<float>(in[c][at + i]);
        fout[c][i] = path == Path::Accumulating ? kAccumulateBase : 123.0f;
      }
    }
    float* inputs[2] = {fin[0].data(), fin[1].data()};
    float* outputs[2] = {fout[0].data(), fout[1].data()};
    if (path == Path::Replacing) {
      e->processReplacing(e, inputs, outputs, static_cast<VstInt32>(n));
    } else {
      e->process(e, inputs, outputs, static_cast<VstInt32>(n));
    }
  }

  // The block's output as what the double path gives, for sanity checks.
  double Peak(Path path, size_t n, bool& finite) const {
    double peak = 0.0;
    finite = true;
    for (int c = 0; c < 2; ++c) {
      for (size_t i = 0; i < n; ++i) {
        double v = path == Path::Double ? dout[c][i] : static_cast<double>(fout[c][i]);
        if (path == Path::Accumulating) v -= kAccumulateBase;
        if (!std::isfinite(v)) finite = false;
        peak = std::fmax(peak, std::fabs(v));
      }
    }
    return peak;
  }

  FloatBuffers fin, fout;
  DoubleBuffers dout;
};

// Whether the block matches the double reference ref[at..at+n) exactly: the
// double path bit for bit, the float paths as the reference rounded once
// (and added to what the buffer held, for process).
::testing::AssertionResult MatchesReference(const BlockRunner& r, Path path, const DoubleBuffers& ref, size_t at,
                                            size_t n) {
  for (int c = 0; c < 2; ++c) {
    for (size_t i = 0; i < n; ++i) {
      const double want = ref[c][at + i];
      bool same;
      if (path == Path::Double) {
        same = std::memcmp(&r.dout[c][i], &want, sizeof want) == 0;
      } else {
        float expected = static_cast<float>(want);
        if (path == Path::Accumulating) expected = kAccumulateBase + expected;
        same = std::memcmp(&r.fout[c][i], &expected, sizeof expected) == 0;
      }
      if (!same) {
        return ::testing::AssertionFailure() << "channel " << c << " frame " << at + i << " (block at " << at
                                             << ", " << n << " frames, path " << static_cast<int>(path) << ")";
      }
    }
  }
  return ::testing::AssertionSuccess();
}

TEST_F(Timing, EveryBlockLengthAndPrecisionInTurnGivesTheReferenceBits) {
  const size_t frames = 10 * 44100;
  const DoubleBuffers in = NoiseDouble(frames, 4242);
  const testhost::ref::Settings settings = BusySettings();

  // The reference: the double path in blocks of the announced size.
  DoubleBuffers ref;
  {
    auto plugin = Running({}, 44100.0f, 64);
    ASSERT_TRUE(plugin);
    testhost::Configure(*plugin, settings);
    ref = testhost::RenderDouble(*plugin, in, {64});
  }

  auto plugin = Running({}, 44100.0f, 64);  // announces 64 frames
  ASSERT_TRUE(plugin);
  testhost::Configure(*plugin, settings);
  // Lengths: the usual, the odd, and longer than announced (and than the
  // 1024 frames the plug-in starts with).
  const size_t lengths[] = {1, 2, 7, 64, 4096, 65, 1000, 5000, 3, 44, 128, 4097, 1, 1, 63};
  const Path paths[] = {Path::Double, Path::Replacing, Path::Accumulating};
  BlockRunner runner(8192);
  Rng rng(9);
  size_t at = 0;
  long blocks = 0, empty = 0;
  while (at < frames) {
    const size_t n = std::min(frames - at, lengths[blocks % (sizeof lengths / sizeof lengths[0])]);
    const Path path = paths[rng.Below(3)];
    runner.Run(*plugin, path, in, at, n);
    ASSERT_TRUE(MatchesReference(runner, path, ref, at, n));
    at += n;
    ++blocks;

    // Empty blocks in between change nothing: zero and negative counts, with
    // real buffers and without any.
    if (rng.Below(4) == 0) {
      AEffect* e = plugin->effect();
      float* f[2] = {runner.fout[0].data(), runner.fout[1].data()};
      double* d[2] = {runner.dout[0].data(), runner.dout[1].data()};
      const VstInt32 count = rng.Below(2) == 0 ? 0 : -1 - rng.Below(100);
      switch (rng.Below(4)) {
        case 0: e->processReplacing(e, f, f, count); break;
        case 1: e->process(e, f, f, count); break;
        case 2: e->processDoubleReplacing(e, d, d, count); break;
        default: e->processDoubleReplacing(e, nullptr, nullptr, 0); break;
      }
      ++empty;
    }
  }
  EXPECT_GT(empty, blocks / 8);
  RecordProperty("blocks", static_cast<int>(blocks));
}

// Shift to measure at a rate: about rate / 100, from the smallest range
// that holds it.
struct RateCase {
  int rangeIndex;
  double freq;  // "Freq Max" value: shift = freq^2 x range
};

const double kRangesHz[] = {5.0, 50.0, 500.0, 5000.0};

RateCase CaseFor(double rate) {
  const double want = rate / 100.0;
  for (int r = 0; r < 4; ++r)
    if (kRangesHz[r] >= want) return {r, std::sqrt(want / kRangesHz[r])};
  return {3, 1.0};
}

TEST_F(Timing, EverySampleRateShiftsByTheSetNumberOfHertz) {
  const double rates[] = {500, 8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000, 176400, 192000,
                          352800, 384000};
  const size_t n = 16384;
  for (double rate : rates) {
    SCOPED_TRACE("rate " + std::to_string(rate));
    auto plugin = Running({}, static_cast<float>(rate), 512);
    ASSERT_TRUE(plugin);
    const RateCase c = CaseFor(rate);
    testhost::ref::Settings s;
    s.rangeIndex = c.rangeIndex;
    s.freqMax[0] = c.freq;
    s.freqMax[1] = -c.freq;
    testhost::Configure(*plugin, s);
    const double shift = c.freq * c.freq * kRangesHz[c.rangeIndex];
    const double tone = rate / 8.0;
    const std::vector<float> sine = testhost::Sine(n, tone, rate, 0.5);
    FloatBuffers in = {sine, sine}, out(2, std::vector<float>(n));
    // Twice: the first pass lets the allpass chains settle.
    plugin->ProcessReplacing(in, out);
    plugin->ProcessReplacing(in, out);
    ASSERT_TRUE(AllFinite(out, n));
    EXPECT_GT(testhost::ToneAmplitude(out[0].data(), n, tone + shift, rate), 0.45) << "left, up by " << shift;
    EXPECT_GT(testhost::ToneAmplitude(out[1].data(), n, tone - shift, rate), 0.45) << "right, down by " << shift;
    EXPECT_LT(testhost::ToneAmplitude(out[0].data(), n, tone, rate), 0.02) << "left keeps the input tone";
    EXPECT_LT(testhost::ToneAmplitude(out[0].data(), n, tone - shift, rate), 0.02) << "left image";
    EXPECT_LT(testhost::ToneAmplitude(out[1].data(), n, tone + shift, rate), 0.02) << "right image";
  }
}

// Starts an instance the way a host does after a change of settings.
std::unique_ptr<PluginInstance> StartedLike(float rate, VstIntPtr blockSize, const testhost::ref::Settings& s) {
  auto plugin = PluginInstance::Create(testhost::SharedModule());
  if (!plugin) return nullptr;
  plugin->Open();
  testhost::Configure(*plugin, s);
  plugin->Start(rate, blockSize);
  return plugin;
}

TEST_F(Timing, SettingsChangedBetweenBlocksNeverBreakTheOutput) {
  const long steps = kUnderWine ? 3000 : 20000;
  const float rates[] = {500.0f, 8000.0f, 22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f, 384000.0f};
  const VstIntPtr blockSizes[] = {1, 2, 7, 64, 256, 1024, 4096, 8192};
  const size_t frames = 8 * 44100;
  const DoubleBuffers in = NoiseDouble(frames, 99);
  // A static shift: with the oscillator off, an instance is back to its
  // starting state after every restart, and a fresh one must agree.
  testhost::ref::Settings s = BusySettings();
  s.waveform = 0;

  float rate = 44100.0f;
  VstIntPtr announced = 256;
  auto plugin = StartedLike(rate, announced, s);
  ASSERT_TRUE(plugin);
  bool active = true;
  BlockRunner runner(2 * 8192);
  BlockRunner fresh(2 * 8192);
  Rng rng(31337);
  size_t at = 0;
  long restarts = 0, checked = 0;
  Budget budget(steps, std::chrono::seconds(60));
  while (budget.Next()) {
    bool restarted = false;
    switch (rng.Below(8)) {
      case 0:  // the rate changes while running
        rate = rates[rng.Below(8)];
        plugin->Dispatch(effSetSampleRate, 0, 0, nullptr, rate);
        break;
      case 1:
        announced = blockSizes[rng.Below(8)];
        plugin->Dispatch(effSetBlockSize, 0, announced);
        break;
      case 2:
        plugin->Dispatch(effMainsChanged, 0, active ? 0 : 1);
        active = !active;
        break;
      case 3:  // the well-behaved restart: off, new settings, on
        plugin->Stop();
        rate = rates[rng.Below(8)];
        announced = blockSizes[rng.Below(8)];
        plugin->Start(rate, announced);
        active = true;
        restarted = true;
        ++restarts;
        break;
      default:
        break;
    }
    // Mostly the announced size, sometimes shorter, sometimes up to twice.
    size_t n = static_cast<size_t>(announced);
    const int pick = rng.Below(4);
    if (pick == 1) n = 1 + static_cast<size_t>(rng.Below(static_cast<int>(announced)));
    if (pick == 2) n = static_cast<size_t>(announced) + 1 + static_cast<size_t>(rng.Below(static_cast<int>(announced)));
    if (at + n > frames) at = 0;
    const Path path = static_cast<Path>(rng.Below(3));
    runner.Run(*plugin, path, in, at, n);
    bool finite = true;
    const double peak = runner.Peak(path, n, finite);
    ASSERT_TRUE(finite) << "step " << budget.done();
    ASSERT_LT(peak, kSaneOutputPeak) << "step " << budget.done();
    if (restarted && n <= static_cast<size_t>(announced)) {
      auto other = StartedLike(rate, announced, s);
      ASSERT_TRUE(other);
      fresh.Run(*other, Path::Double, in, at, n);
      for (int c = 0; c < 2; ++c) {
        std::vector<double> got(n), want(fresh.dout[c].begin(), fresh.dout[c].begin() + static_cast<long>(n));
        for (size_t i = 0; i < n; ++i) {
          got[i] = path == Path::Double ? runner.dout[c][i] : static_cast<double>(runner.fout[c][i]);
          if (path != Path::Double) want[i] = static_cast<double>(static_cast<float>(want[i]));
          if (path == Path::Accumulating) want[i] = static_cast<double>(kAccumulateBase + static_cast<float>(want[i]));
        }
        ASSERT_EQ(testhost::FirstDifference(got, want), -1)
            << "restart at " << rate << " Hz, block " << announced << ", channel " << c;
      }
      ++checked;
    }
    at += n;
  }
  EXPECT_GT(restarts, budget.done() / 16);
  EXPECT_GT(checked, 0);
  RecordProperty("steps", static_cast<int>(budget.done()));
}

TEST_F(Timing, NonsenseRatesAndSizesAreSurvived) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const float oddRates[] = {1.0f, 0.5f, 1e-3f, 999.0f, 3.0e38f, 0.0f, -44100.0f, nan, inf, -inf};
  const VstIntPtr oddSizes[] = {0, -1, 1, 100000};
  const size_t frames = 4096;
  const DoubleBuffers in = NoiseDouble(frames, 5);
  testhost::ref::Settings s = BusySettings();
  s.rangeIndex = 3;
  s.freqMax[0] = 1.0;
  s.waveform = 5;  // "S/H" can drive the shift beyond its range
  for (float rate : oddRates) {
    for (VstIntPtr size : oddSizes) {
      SCOPED_TRACE("rate " + std::to_string(rate) + ", block size " + std::to_string(size));
      auto plugin = StartedLike(rate, size, s);
      ASSERT_TRUE(plugin);
      BlockRunner runner(frames);
      for (size_t n : {size_t{1}, size_t{7}, size_t{1500}, frames}) {
        for (Path path : {Path::Double, Path::Replacing, Path::Accumulating}) {
          runner.Run(*plugin, path, in, 0, n);
          bool finite = true;
          const double peak = runner.Peak(path, n, finite);
          ASSERT_TRUE(finite);
          ASSERT_LT(peak, kSaneOutputPeak);
        }
      }
      // Back to sane settings, the instance works as a fresh one.
      testhost::ref::Settings still = s;
      still.waveform = 0;
      testhost::Configure(*plugin, still);
      plugin->Stop();
      plugin->Start(48000.0f, 512);
      auto other = StartedLike(48000.0f, 512, still);
      ASSERT_TRUE(other);
      BlockRunner fresh(frames);
      runner.Run(*plugin, Path::Double, in, 0, 512);
      fresh.Run(*other, Path::Double, in, 0, 512);
      for (int c = 0; c < 2; ++c)
        ASSERT_EQ(std::memcmp(runner.dout[c].data(), fresh.dout[c].data(), 512 * sizeof(double)), 0) << c;
    }
  }
}

}  // namespace
}  // namespace torture
