// The plug-in's double-precision output against the plain formulas of the
// signal path (AudioReference.h), sample for sample, over many control ticks.
#include <optional>

#include "tests/host/AudioSupport.h"

namespace testhost {
namespace {

using Exactness = HostTest;

struct Change {
  size_t at;  // frame at which the host changes the settings, between blocks
  std::function<void(ref::Settings&)> edit;
};

using TimeScript = std::function<std::optional<VstTimeInfo>(size_t frame)>;

// Renders `in` through a fresh plug-in and through the reference with the
// same settings, changes and host time, and compares every sample.
void ExpectSameAsReference(double rate, ref::Settings s, const DoubleBuffers& in, const std::vector<int>& blocks,
                           const std::vector<Change>& changes = {}, const TimeScript& time = nullptr) {
  auto plugin = PluginInstance::Create(SharedModule());
  ASSERT_TRUE(plugin);
  plugin->Open();
  plugin->Start(static_cast<float>(rate), 4096);
  Configure(*plugin, s);
  ref::Shifter shifter(rate);
  shifter.Apply(AsApplied(s));

  const size_t frames = in[0].size();
  DoubleBuffers got(2, std::vector<double>(frames)), want(2, std::vector<double>(frames));
  AEffect* e = plugin->effect();
  size_t next = 0;
  size_t at = 0;
  for (size_t b = 0; at < frames; ++b) {
    const size_t n = std::min(frames - at, static_cast<size_t>(blocks[b % blocks.size()]));
    while (next < changes.size() && changes[next].at <= at) {
      changes[next].edit(s);
      Configure(*plugin, s);
      shifter.Apply(AsApplied(s));
      ++next;
    }
    ref::Transport transport;
    if (time) {
      const std::optional<VstTimeInfo> info = time(at);
      plugin->EditScript([&](HostScript& script) { script.timeInfo = info; });
      transport = ref::TransportFrom(info ? &*info : nullptr);
    }
    double* inputs[2] = {const_cast<double*>(in[0].data() + at), const_cast<double*>(in[1].data() + at)};
    double* outputs[2] = {got[0].data() + at, got[1].data() + at};
    e->processDoubleReplacing(e, inputs, outputs, static_cast<VstInt32>(n));
    shifter.Process(in[0].data() + at, in[1].data() + at, want[0].data() + at, want[1].data() + at,
                    static_cast<int>(n), transport);
    at += n;
  }
  for (int ch = 0; ch < 2; ++ch) {
    const long i = FirstDifference(got[ch], want[ch]);
    EXPECT_EQ(i, -1) << "channel " << ch << " first differs at frame " << i << " (control tick "
                     << (i < 0 ? 0 : i / shifter.ControlPeriod()) << "): plug-in "
                     << (i < 0 ? 0.0 : got[ch][i]) << ", plain formulas " << (i < 0 ? 0.0 : want[ch][i]);
  }
  // The comparison is only worth something if the shifter did something.
  double wet = 0.0;
  for (size_t i = 0; i < frames; ++i) wet += std::fabs(want[0][i] - in[0][i]) + std::fabs(want[1][i] - in[1][i]);
  EXPECT_GT(wet, 0.01 * frames);
}

DoubleBuffers StereoNoise(size_t frames, uint32_t seed) {
  return {ref::Noise(frames, seed, 0.5), ref::Noise(frames, seed + 1000, 0.5)};
}

ref::Settings Unlinked() {
  ref::Settings s;
  s.volume[0] = 1.5;
  s.volume[1] = 0.7;
  s.mix[0] = 0.3;
  s.mix[1] = 0.8;
  s.mode[0] = 0;
  s.mode[1] = 1;
  s.rangeIndex = 3;
  s.freqMin[0] = -0.45;
  s.freqMin[1] = 0.2;
  s.freqMax[0] = 0.62;
  s.freqMax[1] = -0.93;
  return s;
}

TEST_F(Exactness, StaticShiftsEveryModeAndMix) {
  for (int modeL = 0; modeL < 3; ++modeL) {
    ref::Settings s = Unlinked();
    s.mode[0] = modeL;
    s.mode[1] = (modeL + 1) % 3;
    ExpectSameAsReference(44100.0, s, StereoNoise(9000, 1 + modeL), {512});
  }
  // Beyond full scale ("Freq Max" 1 at 5000 Hz) and exactly zero.
  ref::Settings s = Unlinked();
  s.freqMax[0] = 1.0;
  s.freqMax[1] = 0.0;
  s.mix[1] = 1.0;
  ExpectSameAsReference(44100.0, s, StereoNoise(9000, 7), {512});
}

TEST_F(Exactness, EverySweepingWaveform) {
  // Rate 1 is 40 cycles a second: a cycle every 25 ticks, many wraps.
  for (int waveform = 1; waveform <= 4; ++waveform) {
    for (double rate : {1.0, 0.37}) {
      SCOPED_TRACE(testing::Message() << "waveform " << waveform << " rate " << rate);
      ref::Settings s = Unlinked();
      s.waveform = waveform;
      s.lfoRate = rate;
      ExpectSameAsReference(44100.0, s, StereoNoise(30000, 10 + waveform), {512, 100, 3});
    }
  }
}

TEST_F(Exactness, LinkedChannelsShareTheLeftOscillator) {
  // Dyadic values survive the link's normalised copy exactly.
  ref::Settings s;
  s.linked = true;
  s.volume[0] = 2.25;
  s.mix[0] = 0.625;
  s.mode[0] = 1;
  s.rangeIndex = 2;
  s.freqMin[0] = -0.25;
  s.freqMax[0] = 0.875;
  s.waveform = 1;
  s.lfoRate = 0.5;
  // The right-hand values are overwritten by the link.
  s.volume[1] = 0.1;
  s.freqMax[1] = -0.5;
  ExpectSameAsReference(44100.0, s, StereoNoise(20000, 30), {512, 44, 7});

  s.waveform = 0;
  s.rangeIndex = 3;
  ExpectSameAsReference(44100.0, s, StereoNoise(20000, 31), {4096});
}

TEST_F(Exactness, OtherSampleRatesAndTheirControlPeriods) {
  // Periods 48, 96 and 22; below 1000 Hz a tick every sample.
  for (double rate : {48000.0, 96000.0, 22050.0, 800.0}) {
    SCOPED_TRACE(testing::Message() << "rate " << rate);
    ref::Settings s = Unlinked();
    s.rangeIndex = rate < 1000.0 ? 0 : 3;
    s.waveform = 4;
    s.lfoRate = 0.8;
    ExpectSameAsReference(rate, s, StereoNoise(20000, 40), {512, 1, 77});
  }
}

TEST_F(Exactness, ChangesTakeEffectAtTheNextControlTick) {
  ref::Settings s = Unlinked();
  const std::vector<Change> changes = {
      {1000, [](ref::Settings& x) { x.freqMax[0] = -0.2; }},
      {2000, [](ref::Settings& x) { x.waveform = 1; x.lfoRate = 0.9; }},
      {4000, [](ref::Settings& x) { x.rangeIndex = 1; x.mix[1] = 0.05; }},
      // Linking freezes the right oscillator's phase ...
      {6000,
       [](ref::Settings& x) {
         x.linked = true;
         x.volume[0] = 2.25;  // values the link's normalised copy keeps exactly
         x.mix[0] = 0.625;
       }},
      // ... and unlinking resumes it from there.
      {9000, [](ref::Settings& x) { x.linked = false; x.waveform = 0; x.freqMax[1] = 0.4; x.rangeIndex = 3; }},
      {12000, [](ref::Settings& x) { x.lfoRate = 0.0; x.waveform = 2; }},
  };
  // Blocks of 100 frames: changes land in the middle of control periods.
  ExpectSameAsReference(44100.0, s, StereoNoise(15000, 50), {100}, changes);
}

TEST_F(Exactness, TempoSyncFollowsTheHostsTransport) {
  ref::Settings s = Unlinked();
  s.waveform = 4;
  s.syncToHost = true;
  s.lfoRate = (17.0 / 19.0) * (17.0 / 19.0);  // division "1/8"
  const double tempo = 133.3337;  // rounded to 1/1000 BPM by the plug-in
  // Stopped for the first 4000 frames, then playing from quarter note 2.7.
  const TimeScript time = [tempo](size_t frame) -> std::optional<VstTimeInfo> {
    const bool playing = frame >= 4000;
    const double ppq = playing ? 2.7 + (frame - 4000) / 44100.0 * tempo / 60.0 : 0.0;
    return MakeTimeInfo(kVstTempoValid | kVstPpqPosValid | (playing ? kVstTransportPlaying : 0), tempo, ppq,
                        static_cast<double>(frame));
  };
  ExpectSameAsReference(44100.0, s, StereoNoise(30000, 60), {441, 300}, {}, time);

  // A host without time info: 120 BPM, free running.
  const TimeScript none = [](size_t) -> std::optional<VstTimeInfo> { return std::nullopt; };
  ExpectSameAsReference(44100.0, s, StereoNoise(30000, 61), {512}, {}, none);
}

}  // namespace
}  // namespace testhost
