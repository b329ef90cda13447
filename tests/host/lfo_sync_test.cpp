// "Sync to Host": cycle lengths from the host's tempo, the restart when the
// transport starts, and 120 BPM when the host gives no usable tempo.
#include <optional>

#include "tests/host/AudioSupport.h"

namespace testhost {
namespace {

using TempoSync = HostTest;

const size_t kBlock = 4096;
const double kSecondsPerTick = 44.0 / 44100.0;

// "LFO Rate" values that select a division: sqrt(v) * 19 rounds to it.
double RateForDivision(int index) { return (index / 19.0) * (index / 19.0); }
const int kQuarter = 14;  // "1/4"
const int kSixteenBars = 0;  // "16/1"

std::unique_ptr<PluginInstance> SyncedRamp(std::optional<VstTimeInfo> time, int division) {
  HostScript script;
  script.timeInfo = time;
  auto plugin = PluginInstance::Create(SharedModule(), script);
  if (!plugin) return plugin;
  plugin->Open();
  plugin->Start(44100.0f, kBlock);
  ref::Settings s = ProbeSettings(4, RateForDivision(division));  // "Ramp Up": output = phase
  s.syncToHost = true;
  Configure(*plugin, s);
  return plugin;
}

// Seconds between the ramp's wraps, over `seconds` of audio.
std::vector<double> CycleLengths(PluginInstance& plugin, double seconds) {
  TickMeter meter(44100.0, 44, kBlock);
  const std::vector<double> lfo = MeasureLfo(plugin, static_cast<size_t>(seconds * 44100.0), kBlock, meter);
  std::vector<size_t> wraps;
  for (size_t m = 1; m < lfo.size(); ++m)
    if (lfo[m - 1] - lfo[m] > 0.5) wraps.push_back(m);
  std::vector<double> lengths;
  for (size_t k = 0; k + 1 < wraps.size(); ++k) lengths.push_back((wraps[k + 1] - wraps[k]) * kSecondsPerTick);
  return lengths;
}

void ExpectCycles(const std::vector<double>& lengths, double seconds, size_t atLeast, const char* what) {
  ASSERT_GE(lengths.size(), atLeast) << what;
  for (double length : lengths) EXPECT_NEAR(length, seconds, kSecondsPerTick) << what;
}

// Transport stopped: the oscillator runs free at the synced speed.
VstTimeInfo Stopped(double tempo, VstInt32 extraFlags = kVstTempoValid) {
  return MakeTimeInfo(extraFlags | kVstPpqPosValid, tempo, 0.0);
}

TEST_F(TempoSync, CycleLengthsAt120Bpm) {
  auto quarter = SyncedRamp(Stopped(120.0), kQuarter);
  ASSERT_TRUE(quarter);
  ExpectCycles(CycleLengths(*quarter, 3.0), 0.5, 4, "1/4 at 120 BPM");

  auto sixteenBars = SyncedRamp(Stopped(120.0), kSixteenBars);
  ASSERT_TRUE(sixteenBars);
  ExpectCycles(CycleLengths(*sixteenBars, 70.0), 32.0, 1, "16/1 at 120 BPM");

  // The tempo is really read: half the tempo, twice the length.
  auto slow = SyncedRamp(Stopped(60.0), kQuarter);
  ASSERT_TRUE(slow);
  ExpectCycles(CycleLengths(*slow, 4.5), 1.0, 3, "1/4 at 60 BPM");
}

TEST_F(TempoSync, WithoutAUsableTempo120Bpm) {
  struct Case {
    const char* what;
    std::optional<VstTimeInfo> time;
  };
  const Case cases[] = {
      {"no tempo flag", Stopped(60.0, 0)},
      {"tempo 0", Stopped(0.0)},
      {"negative tempo", Stopped(-90.0)},
      {"no time info at all", std::nullopt},
  };
  for (const Case& c : cases) {
    auto plugin = SyncedRamp(c.time, kQuarter);
    ASSERT_TRUE(plugin);
    ExpectCycles(CycleLengths(*plugin, 3.0), 0.5, 4, c.what);
  }
}

// Blocks of ten ticks; stopped for 40 blocks, then playing from quarter
// note 7.3 at 120 BPM.
TEST_F(TempoSync, TransportStartRestartsTheCycleThenFollowsTheSongPosition) {
  const size_t block = 440, startBlock = 40;
  const double ppqPerBlock = block / 44100.0 * 2.0;
  auto plugin = SyncedRamp(Stopped(120.0), kQuarter);
  ASSERT_TRUE(plugin);
  TickMeter meter(44100.0, 44, kBlock);
  const std::vector<double> lfo = MeasureLfo(*plugin, block * 60, block, meter, [&](size_t at) {
    const size_t b = at / block;
    if (b < startBlock) return;
    const double ppq = 7.3 + (b - startBlock) * ppqPerBlock;
    plugin->EditScript([&](HostScript& s) {
      s.timeInfo = MakeTimeInfo(kVstTempoValid | kVstPpqPosValid | kVstTransportPlaying, 120.0, ppq);
    });
  });
  const double perTick = 120.0 / (4.0 * 15.0 * (44100.0 / 44.0));
  auto firstTickOf = [&](size_t b) { return lfo.at(b * 10 - meter.FirstTick()); };

  // Free running before the start: somewhere else in the cycle.
  EXPECT_GT(std::fabs(firstTickOf(startBlock - 1) - perTick), 0.1);
  // The first playing block starts the cycle at phase 0 (one tick in).
  EXPECT_NEAR(firstTickOf(startBlock), perTick, 0.003);
  EXPECT_NEAR(lfo.at(startBlock * 10 + 9 - meter.FirstTick()), 10 * perTick, 0.003);
  // From the next block on the phase is the song position: "1/4" is one
  // cycle per quarter note.
  for (size_t b = startBlock + 1; b < 60; ++b) {
    const double ppq = 7.3 + (b - startBlock) * ppqPerBlock;
    const double expected = (ppq - std::floor(ppq)) + perTick;
    if (expected > 0.99) continue;  // a wrap inside the tick's reading
    EXPECT_NEAR(firstTickOf(b), expected, 0.003) << "block " << b;
  }
}

}  // namespace
}  // namespace testhost
