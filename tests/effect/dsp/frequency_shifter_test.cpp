// The signal path as a class of its own: what a listener hears, block
// boundaries, preparing for a sample rate, and the oscillator's lock to a
// transport.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "effect/dsp/FrequencyShifter.h"

namespace {

constexpr double kPi = 3.141592653589793;

// Amplitude of one frequency in a signal (Goertzel).
double Amplitude(const std::vector<double>& x, double hz, double rate) {
  const double w = 2.0 * kPi * hz / rate, c = 2.0 * std::cos(w);
  double s1 = 0.0, s2 = 0.0;
  for (double v : x) {
    const double s = v + c * s1 - s2;
    s2 = s1;
    s1 = s;
  }
  return std::sqrt(s1 * s1 + s2 * s2 - c * s1 * s2) * 2.0 / static_cast<double>(x.size());
}

// Both channels through the shifter in blocks of the given lengths, in turn.
std::vector<double> Render(FrequencyShifter& shifter, const std::vector<double>& input, const std::vector<int>& blocks,
                        const LfoTransport* transport = nullptr) {
  std::vector<double> out(input.size() * 2);
  size_t at = 0;
  for (size_t b = 0; at < input.size(); ++b) {
    const size_t n = std::min(input.size() - at, static_cast<size_t>(blocks[b % blocks.size()]));
    const double* in[2] = {&input[at], &input[at]};
    double* o[2] = {&out[at], &out[input.size() + at]};
    shifter.Process(in, o, static_cast<int>(n), transport);
    at += n;
  }
  return out;
}

std::vector<double> Sine(double hz, double rate, size_t frames) {
  std::vector<double> x(frames);
  for (size_t i = 0; i < frames; ++i) x[i] = 0.5 * std::sin(2.0 * kPi * hz * static_cast<double>(i) / rate);
  return x;
}

void Shift(FrequencyShifter& shifter, double rate, int range, double left, double right) {
  shifter.Prepare(rate);
  shifter.SetRange(range, rate);
  for (int ch = 0; ch < 2; ++ch) {
    shifter.SetVolume(ch, 1.0);
    shifter.SetMix(ch, 1.0);
    shifter.SetMode(ch, 2);
  }
  shifter.SetFreqMax(0, left);
  shifter.SetFreqMax(1, right);
}

TEST(FrequencyShifter, ShiftsEveryChannelByItsOwnNumberOfHertz) {
  const double rate = 48000.0;
  FrequencyShifter shifter;
  // 0.5 of the 500 Hz range up on the left, down on the right: +-250 Hz.
  Shift(shifter, rate, 2, std::sqrt(0.5), -std::sqrt(0.5));
  const std::vector<double> out = Render(shifter, Sine(1000.0, rate, 48000), {512});
  const std::vector<double> left(out.begin() + 24000, out.begin() + 48000);
  const std::vector<double> right(out.begin() + 72000, out.end());
  EXPECT_GT(Amplitude(left, 1250.0, rate), 0.45);
  EXPECT_LT(Amplitude(left, 750.0, rate), 0.01);   // the image the other sideband would be
  EXPECT_LT(Amplitude(left, 1000.0, rate), 0.01);  // no dry signal at full mix
  EXPECT_GT(Amplitude(right, 750.0, rate), 0.45);
  EXPECT_LT(Amplitude(right, 1250.0, rate), 0.01);
}

TEST(FrequencyShifter, BlockBoundariesChangeNoBit) {
  std::vector<double> input(20000);
  uint32_t seed = 7;
  for (double& v : input) v = ((seed = seed * 1664525u + 1013904223u) >> 8) / 8388608.0 - 1.0;
  auto make = [] {
    auto s = std::make_unique<FrequencyShifter>();
    Shift(*s, 44100.0, 3, -0.3, 0.8);
    s->SetFreqMin(0, 0.6);
    s->SetFreqMin(1, -0.2);
    s->SetWaveform(1);
    s->SetRate(0.7);
    return s;
  };
  auto whole = make(), pieces = make();
  const std::vector<double> a = Render(*whole, input, {20000});
  // Shorter and longer than a control tick (44 samples here), and empty.
  const std::vector<double> b = Render(*pieces, input, {1, 43, 0, 44, 45, 3000, 7});
  ASSERT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(double)), 0);
  EXPECT_NE(whole->PhaseIncrement(0), 0);
}

TEST(FrequencyShifter, PrepareClearsTheHistoriesAndRestartsTheOscillatorOnlyForANewRate) {
  const std::vector<double> input = Sine(440.0, 44100.0, 4000);
  FrequencyShifter fresh, used;
  for (FrequencyShifter* s : {&fresh, &used}) {
    Shift(*s, 44100.0, 2, 0.4, 0.4);
    s->SetWaveform(1);
    s->SetRate(0.5);
  }
  Render(used, input, {256});
  const double phase = used.Lfo().phase;
  ASSERT_GT(phase, 0.0);
  used.Prepare(44100.0);
  EXPECT_EQ(used.Lfo().phase, phase);  // same rate: the sweep goes on
  EXPECT_EQ(used.PhaseIncrement(0), 0);
  used.Prepare(48000.0);
  EXPECT_EQ(used.Lfo().phase, 0.0);
  EXPECT_EQ(used.ControlPeriod(), 48);
  EXPECT_EQ(used.Lfo().ticksPerSecond, 1000.0);
  // Back at the first rate, with the oscillator restarted: a fresh start.
  used.Prepare(44100.0);
  used.SetRate(0.5);
  fresh.SetRate(0.5);
  const std::vector<double> a = Render(fresh, input, {256}), b = Render(used, input, {256});
  EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(double)), 0);
}

TEST(FrequencyShifter, TheOscillatorFollowsTheTransportWhileSynced) {
  FrequencyShifter shifter;
  Shift(shifter, 48000.0, 2, 0.5, 0.5);
  shifter.SetWaveform(4);  // "Ramp Up": the output is the phase
  shifter.SetRate(std::pow(14.0 / 19.0, 2.0));  // division 14, "1/4"
  shifter.SetSyncToHost(true);
  const std::vector<double> input(480, 0.0);
  LfoTransport transport;
  transport.tempo = 120.0;
  Render(shifter, input, {480}, &transport);  // stopped: runs free at the synced speed
  // 10 ticks of a 0.5 s cycle at 1000 ticks a second.
  EXPECT_NEAR(shifter.Lfo().phase, 10 * 120.0 / (4.0 * 15.0 * 1000.0), 1e-12);
  transport.playing = true;
  transport.ppqPosition = 2.25;
  Render(shifter, input, {480}, &transport);  // just started: from the cycle's start
  EXPECT_NEAR(shifter.Lfo().phase, 10 * 0.002, 1e-12);
  Render(shifter, input, {480}, &transport);  // then locked to the song position
  EXPECT_NEAR(shifter.Lfo().phase, 0.25 + 10 * 0.002, 1e-12);
  shifter.SetSyncToHost(false);
  EXPECT_DOUBLE_EQ(shifter.Lfo().increment, std::pow(14.0 / 19.0, 2.0) * 40.0 / 1000.0);
}

}  // namespace
