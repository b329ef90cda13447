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

TEST(Lv2Ports, MisbehavingHostsAreRefusedCleanly) {
  for (double rate : {0.0, -44100.0, double(NAN), double(INFINITY)}) EXPECT_FALSE(Instance::Make(rate)) << rate;
  auto plug = Instance::Make(44100.0, 0, false);  // as lv2apply: no features at all
  ASSERT_TRUE(plug);
  lilv_instance_activate(plug->lilv());
  const std::vector<float> in(256, 0.5f), silence(256, 0.0f);
  std::vector<float> outL(256, 1.0f), outR(256, 1.0f);
  // Controls not connected yet: silence, nothing else.
  plug->Run(in.data(), in.data(), outL.data(), outR.data(), 256);
  EXPECT_EQ(outL, silence);
  EXPECT_EQ(outR, silence);
  for (uint32_t i = 0; i < lv2host::kParams; ++i) lilv_instance_connect_port(plug->lilv(), i, &plug->control[i]);
  outL.assign(256, 1.0f);
  plug->Run(in.data(), in.data(), outL.data(), nullptr, 256);  // a null output among the others
  EXPECT_EQ(outL, silence);
  // Every required port there (meters and atom ports are optional): the
  // dry input comes through (mix 0.5, mode "Input").
  plug->Run(in.data(), in.data(), outL.data(), outR.data(), 256);
  EXPECT_NE(outL, silence);
  EXPECT_NE(outR, silence);
  EXPECT_TRUE(plug->Save().empty());  // no map, no state: said, not faked
}

TEST(Lv2Ports, RunAllocatesNothingAndAnswersProgramMessages) {
  std::string why;
  testhost::SetPluginPathFromCommandLine(VELTRANE_VST2_PLUGIN);
  ASSERT_TRUE(torture::PrepareAllocationAudit(testhost::SharedModule(), why)) << why;
  auto plug = Instance::Make(44100.0, 256);
  ASSERT_TRUE(plug);
  plug->Start();
  plug->control[12] = 5.0f;  // "S/H"
  plug->control[14] = 1.0f;  // synced
  const testhost::Values values = testhost::DistinctValues();
  const lv2host::Bytes chunk = testhost::ProgramChunk(testhost::Record201(values), "From the editor");
  std::vector<float> in(5000, 0.25f), outL(5000), outR(5000);
  long allocations = 0, frees = 0;
  for (int k = 0; k < 50; ++k) {
    plug->control[10] = 0.02f * k;
    plug->QueuePosition(static_cast<uint32_t>(k * 97), 1.5 * k, 90.0 + k, k % 3 == 0 ? 0.0f : 1.0f);
    if (k == 40) plug->QueueProgram(1234, 14, chunk);
    torture::ArmAllocationAudit();
    plug->Run(in.data(), in.data(), outL.data(), outR.data(), 5000);
    const torture::HeapCounts c = torture::DisarmAllocationAudit();
    allocations += c.allocations;
    frees += c.frees;
    if (k != 40) continue;
    // The program applies exactly; the editor hears of it.
    const auto reports = plug->Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].first, 14);
    const auto reported = testhost::ParseProgram(reports[0].second);
    ASSERT_TRUE(reported.has_value());
    EXPECT_EQ(reported->values, values);
    EXPECT_EQ(reported->name, "From the editor");
  }
  EXPECT_EQ(allocations, 0) << torture::FirstAllocationSite();
  EXPECT_EQ(frees, 0);
  for (float x : outL) ASSERT_TRUE(std::isfinite(x));
}

}  // namespace
