// What hosts do to an LV2 audio instance: nonsense rates, ports connected
// late or not at all, no URID map (lv2apply), blocks longer than announced
// with positions and program messages inside; run() never allocates.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/host/StateSupport.h"
#include "tests/plugin/lv2/Lv2Host.h"
#include "tests/torture/AllocationAudit.h"

namespace {

using lv2host::Instance;

bool Silent(const std::vector<float>& v) {
  for (float x : v)
    if (x != 0.0f) return false;
  return true;
}

TEST(Lv2Ports, MisbehavingHostsAreRefusedCleanly) {
  for (double rate : {0.0, -44100.0, double(NAN), double(INFINITY)}) EXPECT_FALSE(Instance::Make(rate)) << rate;

  auto plug = Instance::Make(44100.0, 0, false);  // as lv2apply: no features at all
  ASSERT_TRUE(plug);
  plug->Activate();
  std::vector<float> in(256, 0.5f), outL(256, 1.0f), outR(256, 1.0f);
  // Controls not connected yet: silence, nothing else.
  plug->Run(in.data(), in.data(), outL.data(), outR.data(), 256);
  EXPECT_TRUE(Silent(outL) && Silent(outR));
  // A null output among connected ones: the other one is silenced.
  plug->ConnectControls();
  std::fill(outL.begin(), outL.end(), 1.0f);
  plug->Run(in.data(), in.data(), outL.data(), nullptr, 256);
  EXPECT_TRUE(Silent(outL));
  // Every port there: the dry input comes through (mix 0.5, mode "Input").
  plug->Run(in.data(), in.data(), outL.data(), outR.data(), 256);
  EXPECT_FALSE(Silent(outL) || Silent(outR));
  EXPECT_TRUE(plug->Save().empty());  // no map, no state: said, not faked
}

TEST(Lv2Ports, RunAllocatesNothingAndAnswersProgramMessages) {
  std::string why;
  testhost::SetPluginPathFromCommandLine(VELTRANE_VST2_PLUGIN);
  ASSERT_TRUE(torture::PrepareAllocationAudit(testhost::SharedModule(), why)) << why;
  auto plug = Instance::Make(44100.0, 256);
  ASSERT_TRUE(plug);
  plug->ConnectControls();
  plug->Activate();
  plug->control[12] = 5.0f;  // "S/H"
  plug->control[14] = 1.0f;  // synced
  const testhost::Values values = testhost::DistinctValues();
  const lv2host::Bytes chunk = testhost::ProgramChunk(testhost::Record201(values), "From the editor");
  std::vector<float> in(5000, 0.25f), outL(5000), outR(5000);
  torture::HeapCounts counts;
  plug->beforeRun = [] { torture::ArmAllocationAudit(); };
  plug->afterRun = [&counts] {
    const torture::HeapCounts c = torture::DisarmAllocationAudit();
    counts.allocations += c.allocations;
    counts.frees += c.frees;
  };
  for (int k = 0; k < 50; ++k) {
    plug->control[10] = 0.02f * k;
    plug->QueuePosition(static_cast<uint32_t>(k * 97), 1.5 * k, 90.0 + k, k % 3 == 0 ? 0.0f : 1.0f);
    if (k == 40) plug->QueueProgram(1234, 14, chunk);
    plug->Run(in.data(), in.data(), outL.data(), outR.data(), 5000);
    if (k == 40) {
      // The program applies exactly, the editor hears of it.
      ASSERT_EQ(plug->Reports().size(), 1u);
      EXPECT_EQ(plug->Reports()[0].first, 14);
      const auto reported = testhost::ParseProgram(plug->Reports()[0].second);
      ASSERT_TRUE(reported.has_value());
      EXPECT_EQ(reported->values, values);
      EXPECT_EQ(reported->name, "From the editor");
    }
  }
  EXPECT_EQ(counts.allocations, 0) << torture::FirstAllocationSite();
  EXPECT_EQ(counts.frees, 0);
  for (float x : outL) ASSERT_TRUE(std::isfinite(x));
}

}  // namespace
