// "S/H" draws from one random sequence for the whole process: the first
// three values after loading are 16807, 282475249 and 1622647863 times
// 2^-31, whichever instance draws them.
//
// The sequence cannot be rewound, so this test needs a process in which no
// other instance has run "S/H": CTest runs every test of this program in a
// process of its own; run alone by hand with --gtest_filter=SampleHold.*.
#include "tests/host/AudioSupport.h"

namespace testhost {
namespace {

using SampleHold = HostTest;

const double kRate = 0.04;  // "LFO Rate": a new value about every 626 ticks
const size_t kBlock = 4096;

// The shift the probe settings make for a held value h (left channel).
double ShiftFor(double h) {
  const double f = 0.5 + (1.0 - 0.5) * h;
  const double inc = std::trunc(f * f * (5000.0 * 268435456.0 / 44100.0));
  return inc * 44100.0 / 268435456.0;
}

// Mean shift over the ticks of each held value, leaving out two ticks at
// each end. A new value is drawn at the tick where the LFO phase wraps.
std::vector<double> HeldShifts(const TickMeter& meter) {
  const double perTick = kRate * 40.0 / (44100.0 / 44.0);
  const std::vector<double>& shifts = meter.Shifts();
  const size_t first = meter.FirstTick(), end = first + shifts.size();
  std::vector<size_t> edges = {first};
  double p = 0.0;
  for (size_t tick = 0; tick < end; ++tick) {
    p = p + perTick;
    if (p >= 1.0) {
      p -= 1.0;
      if (tick > first) edges.push_back(tick);
    }
  }
  edges.push_back(end);
  std::vector<double> means;
  for (size_t k = 0; k + 1 < edges.size(); ++k) {
    if (edges[k + 1] - edges[k] < 100) continue;
    double sum = 0.0;
    for (size_t tick = edges[k] + 2; tick < edges[k + 1] - 2; ++tick) sum += shifts[tick - first];
    means.push_back(sum / static_cast<double>(edges[k + 1] - edges[k] - 4));
  }
  return means;
}

TEST_F(SampleHold, FirstThreeValuesAreSharedAmongInstances) {
  if (testing::UnitTest::GetInstance()->test_to_run_count() != 1)
    GTEST_SKIP() << "needs a fresh process (other tests may have drawn from the sequence)";

  const double v1 = 16807 * 4.656612873077393e-10, v2 = 282475249 * 4.656612873077393e-10,
               v3 = 1622647863 * 4.656612873077393e-10;
  auto a = Running({}, 44100.0f, kBlock);
  auto b = Running({}, 44100.0f, kBlock);
  ASSERT_TRUE(a && b);
  Configure(*a, ProbeSettings(5, kRate));
  Configure(*b, ProbeSettings(5, kRate));
  TickMeter meterA(44100.0, 44, kBlock), meterB(44100.0, 44, kBlock);

  // a draws the first value, then b the second, then a the third.
  const size_t cycle = 626 * 44;
  MeasureLfo(*a, (cycle * 3 / 2) / kBlock * kBlock, kBlock, meterA);
  MeasureLfo(*b, (cycle * 3 / 2) / kBlock * kBlock, kBlock, meterB);
  MeasureLfo(*a, cycle * 3 / 2 / kBlock * kBlock, kBlock, meterA);

  const std::vector<double> heldA = HeldShifts(meterA);
  const std::vector<double> heldB = HeldShifts(meterB);
  ASSERT_GE(heldA.size(), 3u);
  ASSERT_GE(heldB.size(), 2u);
  // Before the first draw the held value is 0.
  EXPECT_NEAR(heldA[0], ShiftFor(0.0), 0.003);
  EXPECT_NEAR(heldB[0], ShiftFor(0.0), 0.003);
  // The first value is tiny (7.8e-6) but still moves the shift by 0.02 Hz.
  EXPECT_NEAR(heldA[1], ShiftFor(v1), 0.003) << "first value";
  EXPECT_GT(heldA[1] - heldA[0], 0.015);
  EXPECT_NEAR(heldB[1], ShiftFor(v2), 0.003) << "second value, drawn by the other instance";
  EXPECT_NEAR(heldA[2], ShiftFor(v3), 0.003) << "third value";
}

}  // namespace
}  // namespace testhost
