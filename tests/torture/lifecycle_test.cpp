// Instances come and go the way hosts make them: scanned and dropped, opened
// and never switched on, closed while still processing, several alive at
// once, created on two threads at the same moment.
#include <algorithm>
#include <atomic>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "tests/torture/TortureSupport.h"

namespace torture {
namespace {

using testhost::HostTest;
using Lifecycle = HostTest;

const size_t kBlock = 256;

// What each instance does between creation and effClose.
enum class Life { NeverOpened, OpenedOnly, ClosedWhileActive, Stopped, ToggledThenClosed };

DoubleBuffers RenderTwoBlocks(PluginInstance& plugin, const DoubleBuffers& in) {
  DoubleBuffers out(2, std::vector<double>(2 * kBlock, 0.0));
  AEffect* e = plugin.effect();
  for (size_t at = 0; at < 2 * kBlock; at += kBlock) {
    double* inputs[2] = {const_cast<double*>(in[0].data() + at), const_cast<double*>(in[1].data() + at)};
    double* outputs[2] = {out[0].data() + at, out[1].data() + at};
    e->processDoubleReplacing(e, inputs, outputs, static_cast<VstInt32>(kBlock));
  }
  return out;
}

TEST_F(Lifecycle, AThousandInstancesInEveryStateOfLife) {
  const int total = 1000;
  const size_t maxAlive = 6;
  const DoubleBuffers in = NoiseDouble(2 * kBlock, 77);
  const bool haveLegacy = testhost::SharedModule().legacyMain() != nullptr;

  // The output every processing instance must give for the same settings.
  DoubleBuffers expected;
  {
    auto first = NewInstance();
    ASSERT_TRUE(first);
    first->Open();
    first->Start(44100.0f, kBlock);
    testhost::Configure(*first, BusySettings());
    expected = RenderTwoBlocks(*first, in);
    ASSERT_TRUE(AllFinite(expected, 2 * kBlock));
  }

  Rng rng(1000);
  std::vector<std::unique_ptr<PluginInstance>> alive;
  std::set<AEffect*> records;
  int created = 0, processed = 0;
  auto retireOne = [&] {
    const size_t k = static_cast<size_t>(rng.Below(static_cast<int>(alive.size())));
    PluginInstance& p = *alive[k];
    // Every call the plug-in made carried its own record.
    for (const auto& call : p.Calls()) ASSERT_EQ(call.effect, p.effect()) << "opcode " << call.opcode;
    records.erase(p.effect());
    alive.erase(alive.begin() + static_cast<long>(k));  // effClose, active or not
  };

  for (int i = 0; i < total; ++i) {
    const Life life = static_cast<Life>(i % 5);
    const bool legacy = haveLegacy && i % 10 == 9;
    auto plugin = PluginInstance::Create(testhost::SharedModule(), {},
                                         legacy ? PluginInstance::Entry::LegacyMain : PluginInstance::Entry::PluginMain);
    ASSERT_TRUE(plugin) << "instance " << i;
    ++created;
    AEffect* e = plugin->effect();
    ASSERT_EQ(e->magic, kEffectMagic) << "instance " << i;
    ASSERT_EQ(e->numParams, 15);
    ASSERT_TRUE(records.insert(e).second) << "instance " << i << " reuses a live record";

    if (life != Life::NeverOpened) plugin->Open();
    if (life == Life::ClosedWhileActive || life == Life::Stopped || life == Life::ToggledThenClosed) {
      plugin->Start(44100.0f, kBlock);
      testhost::Configure(*plugin, BusySettings());
      if (life == Life::ToggledThenClosed) {
        plugin->Stop();
        plugin->Dispatch(effMainsChanged, 0, 1);
      }
      const DoubleBuffers out = RenderTwoBlocks(*plugin, in);
      ++processed;
      ASSERT_EQ(testhost::FirstDifference(out[0], expected[0]), -1) << "instance " << i;
      ASSERT_EQ(testhost::FirstDifference(out[1], expected[1]), -1) << "instance " << i;
      if (life == Life::Stopped) plugin->Stop();
    }
    alive.push_back(std::move(plugin));
    // Let the number alive wander between one and maxAlive.
    while (alive.size() > maxAlive || (alive.size() > 1 && rng.Below(3) == 0)) retireOne();
  }
  while (!alive.empty()) retireOne();

  EXPECT_EQ(created, total);
  EXPECT_EQ(processed, 3 * total / 5);
  EXPECT_TRUE(testhost::OrphanCalls().empty()) << "the plug-in called the host after effClose";
}

TEST_F(Lifecycle, TwoInstancesCreatedAndClosedAtTheSameMoment) {
  const int rounds = kUnderWine ? 40 : 150;
  for (int round = 0; round < rounds; ++round) {
    std::unique_ptr<PluginInstance> made[2];
    std::atomic<int> ready{0};
    auto create = [&](int slot) {
      ready.fetch_add(1);
      while (ready.load() < 2) std::this_thread::yield();
      made[slot] = PluginInstance::Create(testhost::SharedModule());
      if (made[slot]) made[slot]->Open();
    };
    std::thread a(create, 0), b(create, 1);
    a.join();
    b.join();
    ASSERT_TRUE(made[0] && made[1]) << "round " << round;
    ASSERT_NE(made[0]->effect(), made[1]->effect());
    ASSERT_NE(made[0]->effect()->object, made[1]->effect()->object);
    for (VstInt32 p = 0; p < testhost::kNumParams; ++p)
      ASSERT_EQ(made[0]->GetParameter(p), made[1]->GetParameter(p)) << "round " << round << " parameter " << p;
    for (int slot = 0; slot < 2; ++slot)
      for (const auto& call : made[slot]->Calls()) ASSERT_EQ(call.effect, made[slot]->effect());
    // Each has its own state.
    made[0]->SetParameter(testhost::kMixL, 0.125f);
    made[1]->SetParameter(testhost::kMixL, 0.875f);
    ASSERT_EQ(made[0]->GetParameter(testhost::kMixL), 0.125f);
    ASSERT_EQ(made[1]->GetParameter(testhost::kMixL), 0.875f);

    ready = 0;
    auto close = [&](int slot) {
      ready.fetch_add(1);
      while (ready.load() < 2) std::this_thread::yield();
      made[slot]->Close();
    };
    std::thread c(close, 0), d(close, 1);
    c.join();
    d.join();
  }
  EXPECT_TRUE(testhost::OrphanCalls().empty());
}

}  // namespace
}  // namespace torture
