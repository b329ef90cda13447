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

testhost::Values Held(Instance& plug) {
  std::vector<float> in(16, 0.0f), out(16);
  plug.Run(in.data(), in.data(), out.data(), out.data(), 16);
  const auto saved = testhost::ParseProgram(plug.SavedChunk());
  return saved ? saved->values : testhost::Values{};
}

// Port numbers over each port's range (for the shifts in every range) give
// values whose numbers are those ports again; a port that echoes the number
// of an exact value the editor set moves nothing.
TEST(Lv2Ports, NumbersInHostUnitsComeBackFromTheirValues) {
  auto plug = Instance::Make();
  ASSERT_TRUE(plug);
  plug->Start();
  float low[lv2host::kNotify + 1], high[lv2host::kNotify + 1];
  lilv_plugin_get_port_ranges_float(lv2host::Plugin(), low, high, nullptr);
  EXPECT_EQ(std::vector<float>(low + 1, low + 5), (std::vector<float>{-90.0f, -90.0f, 0.0f, 0.0f}));
  EXPECT_EQ(std::vector<float>(high + 7, high + 14), (std::vector<float>{5000, 5000, 5000, 5000, 5000, 5, 40}));
  for (int i = 0; i < lv2host::kParams; ++i) {
    if (i > 0) plug->control[0] = 0.0f;  // unlinked: a partner's port would not follow
    for (int range = 0; range < 4; ++range) {
      if (range > 0 && (i < 8 || i > 11)) break;
      plug->control[7] = lv2host::PortOf(7, range, 0);
      const double top = i >= 8 && i <= 11 ? plug->control[7] : high[i];
      const double bottom = i >= 8 && i <= 11 ? -top : low[i];
      const bool whole = i == 0 || (i >= 5 && i <= 7) || (i >= 12 && i != 13);
      for (int k = 0; k <= 40; ++k) {
        // Across the range and back, so that neighbours differ.
        const double at = k % 2 == 0 ? k / 40.0 : 1.0 - k / 40.0;
        float number = static_cast<float>(bottom + at * (top - bottom));
        if (whole) number = i == 7 ? lv2host::PortOf(7, k % 4, 0) : std::round(number);
        if (i == 7) plug->control[7] = number;
        plug->control[i] = number;
        const testhost::Values held = Held(*plug);
        ASSERT_EQ(lv2host::PortOf(i, held[i], held[7]), number) << "port " << i << " range " << range;
      }
    }
  }
  testhost::Values values = testhost::DistinctValues();
  values[2] = 1e-6;  // below the port's -90 dB, which reads back as silence
  plug->QueueProgram(0, 3, testhost::ProgramChunk(testhost::Record201(values), "Exact"));
  EXPECT_EQ(Held(*plug), values);
  const std::vector<float> echo = lv2host::PortsOf(values);
  std::copy(echo.begin(), echo.end(), plug->control);
  EXPECT_EQ(Held(*plug), values);
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
    plug->control[10] = 2.0f * k;  // Hz
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
