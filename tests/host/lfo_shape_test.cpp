// The modulation oscillator's waveforms as a listener meets them: read back
// from the shift, tick by tick, over a whole cycle.
#include "tests/host/AudioSupport.h"

namespace testhost {
namespace {

using LfoShape = HostTest;

const size_t kSettle = 4096;

std::unique_ptr<PluginInstance> Probe(int waveform, double lfoRate) {
  auto plugin = PluginInstance::Create(SharedModule());
  if (!plugin) return plugin;
  plugin->Open();
  plugin->Start(44100.0f, 4096);
  Configure(*plugin, ProbeSettings(waveform, lfoRate));
  return plugin;
}

// The shape of each waveform at cycle position p, as a musician reads the
// manual: triangle up then down, square high then low, ramps.
double Shape(int waveform, double p) {
  switch (waveform) {
    case 1: return p < 0.5 ? 2.0 * p : 2.0 * (1.0 - p);
    case 2: return p < 0.5 ? 1.0 : 0.0;
    case 3: return 1.0 - p;
    case 4: return p;
    default: return 0.0;
  }
}

TEST_F(LfoShape, EachWaveformOverACycle) {
  // "LFO Rate" 0.01: 0.4 cycles a second, a cycle lasts about 2506 ticks.
  const double rate = 0.01;
  const double perTick = rate * 40.0 / (44100.0 / 44.0);
  for (int waveform = 1; waveform <= 4; ++waveform) {
    SCOPED_TRACE(kWaveformTexts[waveform]);
    auto plugin = Probe(waveform, rate);
    ASSERT_TRUE(plugin);
    TickMeter meter(44100.0, 44, kSettle);
    const std::vector<double> lfo = MeasureLfo(*plugin, 44 * 3200, 4096, meter);
    ASSERT_GT(lfo.size(), 3000u);
    // Tick n (counted from 0) sees the phase after n + 1 advances.
    double p = 0.0;
    size_t tick = 0, checked = 0;
    for (; tick < meter.FirstTick(); ++tick) {
      p = p + perTick;
      if (p >= 1.0) p -= 1.0;
    }
    double highest = -1.0, lowest = 2.0;
    for (size_t m = 0; m < lfo.size(); ++m, ++tick) {
      p = p + perTick;
      if (p >= 1.0) p -= 1.0;
      highest = std::max(highest, lfo[m]);
      lowest = std::min(lowest, lfo[m]);
      // Right at an edge the tick may fall either side.
      if (std::fabs(p - 0.5) < 2 * perTick || p < 2 * perTick || p > 1.0 - 2 * perTick) continue;
      ASSERT_NEAR(lfo[m], Shape(waveform, p), 0.003) << "tick " << tick << " cycle position " << p;
      ++checked;
    }
    EXPECT_GT(checked, 2900u);
    // The sweep spans the whole range between "Freq Min" and "Freq Max".
    EXPECT_GT(highest, 0.99);
    EXPECT_LT(lowest, 0.01);
  }
}

TEST_F(LfoShape, SquareIsHighForTheFirstHalfAndRampDownStartsAtTheTop) {
  const double rate = 0.04;  // a cycle of about 626 ticks
  const double perTick = rate * 40.0 / (44100.0 / 44.0);
  for (int waveform : {2, 3}) {
    auto plugin = Probe(waveform, rate);
    ASSERT_TRUE(plugin);
    TickMeter meter(44100.0, 44, kSettle);
    const std::vector<double> lfo = MeasureLfo(*plugin, 44 * 3 * 630, 4096, meter);
    // Find the starts of cycles: where the output jumps up.
    std::vector<size_t> starts;
    for (size_t m = 1; m < lfo.size(); ++m)
      if (lfo[m] - lfo[m - 1] > 0.5) starts.push_back(m);
    ASSERT_GE(starts.size(), 2u) << kWaveformTexts[waveform];
    for (size_t k = 0; k + 1 < starts.size(); ++k) {
      const size_t length = starts[k + 1] - starts[k];
      EXPECT_NEAR(static_cast<double>(length), 1.0 / perTick, 1.0);
      if (waveform == 2) {
        for (size_t m = starts[k]; m < starts[k] + length / 2 - 1; ++m) ASSERT_NEAR(lfo[m], 1.0, 0.003) << m;
        for (size_t m = starts[k] + length / 2 + 1; m < starts[k + 1]; ++m) ASSERT_NEAR(lfo[m], 0.0, 0.003) << m;
      } else {
        EXPECT_NEAR(lfo[starts[k]], 1.0, 2.0 * perTick + 0.003);
        EXPECT_NEAR(lfo[starts[k + 1] - 1], 0.0, 2.0 * perTick + 0.003);
      }
    }
  }
}

TEST_F(LfoShape, OffHoldsFreqMaxAndRateZeroFreezes) {
  // "Off": the shift is "Freq Max" (1, so 5000 Hz), "Freq Min" is ignored.
  {
    auto plugin = Probe(0, 1.0);
    ASSERT_TRUE(plugin);
    TickMeter meter(44100.0, 44, kSettle);
    MeasureLfo(*plugin, 44 * 500, 4096, meter);
    for (double hz : meter.Shifts()) ASSERT_NEAR(hz, 5000.0, 1.0);
  }
  // Rate 0: the triangle stays at its start, output 0, the shift at "Freq Min".
  {
    auto plugin = Probe(1, 0.0);
    ASSERT_TRUE(plugin);
    TickMeter meter(44100.0, 44, kSettle);
    MeasureLfo(*plugin, 44 * 2000, 4096, meter);
    for (double hz : meter.Shifts()) ASSERT_NEAR(hz, 1250.0, 1.0);
  }
}

}  // namespace
}  // namespace testhost
