// The torture scenarios that apply to CLAP: instances in every state of
// life, blocks of every length and every rate against the VST 2.4 build,
// the main thread's calls racing the audio thread, and an audio thread that
// neither allocates nor calls the host beyond what CLAP allows there.
#include <atomic>
#include <cmath>
#include <thread>

#include "tests/host/StateSupport.h"
#include "tests/plugin/clap/ClapTestSupport.h"
#include "tests/torture/AllocationAudit.h"
#include "tests/torture/TortureSupport.h"

namespace claphost {
namespace {

using ClapTorture = ClapTest;
using torture::kUnderWine;
using torture::Rng;

DoubleBuffers RenderBlocks(ClapInstance& plugin, const DoubleBuffers& in, size_t block) {
  return RenderClap<double>(plugin, in, {static_cast<int>(block)});
}

TEST_F(ClapTorture, InstancesInEveryStateOfLife) {
  const int total = kUnderWine ? 40 : 300;
  const DoubleBuffers in = torture::NoiseDouble(512, 77);
  DoubleBuffers expected;
  {
    auto first = Running(44100.0, 256);
    ASSERT_TRUE(first);
    Configure(*first, torture::BusySettings());
    expected = RenderBlocks(*first, in, 256);
    ASSERT_TRUE(torture::AllFinite(expected, 512));
  }
  Rng rng(1000);
  std::vector<std::unique_ptr<ClapInstance>> alive;
  int processed = 0;
  for (int n = 0; n < total; ++n) {
    auto plugin = ClapInstance::Create();
    ASSERT_TRUE(plugin) << "instance " << n;
    switch (rng.Below(4)) {
      case 0:  // scanned and dropped
        break;
      case 1:  // activated, never processed
        ASSERT_TRUE(plugin->Activate(44100.0, 256));
        break;
      case 2: {  // processed, then destroyed while still active
        ASSERT_TRUE(plugin->Activate(44100.0, 256));
        Configure(*plugin, torture::BusySettings());
        const DoubleBuffers out = RenderBlocks(*plugin, in, 256);
        for (int c = 0; c < 2; ++c) ASSERT_EQ(FirstDifference(out[c], expected[c]), -1) << "instance " << n;
        ++processed;
        plugin->DestroyWhileActive();
        break;
      }
      default:  // kept alive for a while, deactivated and reactivated
        ASSERT_TRUE(plugin->Activate(48000.0, 512));
        plugin->Deactivate();
        ASSERT_TRUE(plugin->Activate(44100.0, 256));
        alive.push_back(std::move(plugin));
        if (alive.size() > 6) alive.erase(alive.begin() + rng.Below(static_cast<int>(alive.size())));
        break;
    }
  }
  EXPECT_GT(processed, total / 8);

  // Two instances created and destroyed at the same moment on two threads.
  std::atomic<int> ready{0};
  std::atomic<int> failures{0};
  auto worker = [&] {
    ++ready;
    while (ready.load() < 2) std::this_thread::yield();
    for (int i = 0; i < (kUnderWine ? 5 : 50); ++i) {
      auto plugin = ClapInstance::Create();
      if (!plugin || !plugin->Activate()) ++failures;
    }
  };
  std::thread a(worker), b(worker);
  a.join();
  b.join();
  EXPECT_EQ(failures.load(), 0);
}

// Empty blocks change nothing; every rate sounds as the VST 2.4 build at
// that rate.
TEST_F(ClapTorture, EmptyBlocksAndEveryRate) {
  const DoubleBuffers in = torture::NoiseDouble(8000, 5);
  auto steady = Running(44100.0, 1024);
  auto gappy = Running(44100.0, 1024);
  ASSERT_TRUE(steady && gappy);
  Configure(*steady, torture::BusySettings());
  Configure(*gappy, torture::BusySettings());
  const DoubleBuffers want = RenderBlocks(*steady, in, 500);
  const DoubleBuffers got = RenderClap<double>(*gappy, in, {500, 0, 0});
  for (int c = 0; c < 2; ++c) EXPECT_EQ(FirstDifference(got[c], want[c]), -1) << "channel " << c;

  const std::vector<double> rates = kUnderWine ? std::vector<double>{96000.0}
                                               : std::vector<double>{500.0, 8000.0, 22050.0, 96000.0, 192000.0, 384000.0};
  for (double rate : rates) {
    SCOPED_TRACE(testing::Message() << "rate " << rate);
    auto clap = Running(rate, 2048);
    auto vst = Vst2(static_cast<float>(rate), 2048);
    ASSERT_TRUE(clap && vst);
    Configure(*clap, torture::BusySettings());
    testhost::Configure(*vst, torture::BusySettings());
    const DoubleBuffers short_in = torture::NoiseDouble(6000, 9);
    const DoubleBuffers a = RenderBlocks(*clap, short_in, 2048);
    const DoubleBuffers b = testhost::RenderDouble(*vst, short_in, {2048});
    for (int c = 0; c < 2; ++c) EXPECT_EQ(FirstDifference(a[c], b[c]), -1) << "channel " << c;
  }
}

// The audio thread processes with parameter events and a moving transport
// while the main thread saves and loads state and reads values and texts.
TEST_F(ClapTorture, MainThreadCallsRaceTheAudioThread) {
  auto plugin = Running(44100.0, 512);
  ASSERT_TRUE(plugin);
  // The audio thread runs from before the main thread's first call until
  // after its last, so every main-thread call meets processing.
  std::atomic<bool> started{false}, done{false};
  long blocks = 0;
  std::thread audio([&] {
    DoubleBuffers in = torture::NoiseDouble(512, 3), out(2, std::vector<double>(512));
    Rng rng(5);
    double beats = 0.0;
    while (!done.load() && blocks < 10000000) {
      EventList events;
      for (uint32_t k = 0, time = 0; k < 4; ++k, time += static_cast<uint32_t>(rng.Below(128))) {
        const uint32_t id = static_cast<uint32_t>(rng.Below(15));
        events.Value(time, id, id == 0 ? rng.Below(2) : rng.Unit() * 2.0 - 0.5);
      }
      const clap_event_transport_t transport = MakeTransport(
          CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_HAS_BEATS_TIMELINE | CLAP_TRANSPORT_IS_PLAYING, 120.0, beats);
      beats += 512 / 44100.0 * 2.0;
      plugin->ProcessDouble(in, out, 512, &events, &transport);
      ++blocks;
      started = true;
    }
  });
  while (!started.load()) std::this_thread::yield();
  Rng rng(6);
  int failures = 0;
  std::vector<uint8_t> saved;
  for (int round = 0; round < (kUnderWine ? 30 : 300) && failures == 0; ++round) {
    if (!plugin->Save(saved) || (rng.Below(2) == 0 && !plugin->Load(saved))) ++failures;
    for (uint32_t id = 0; id < 15; ++id) {
      const double v = plugin->Value(id);
      if (!std::isfinite(v) || plugin->Text(id, v) == "<failed>") ++failures;
    }
  }
  done = true;
  audio.join();
  EXPECT_EQ(failures, 0);
  ASSERT_TRUE(plugin->Save(saved));
  EXPECT_TRUE(testhost::ParseSession(saved).has_value());
}

// No process call allocates or frees, whatever its events, transport,
// precision or length; from inside it the plug-in calls the host only to
// ask for a main-thread callback (thread-safe in CLAP).
TEST_F(ClapTorture, TheAudioThreadNeitherAllocatesNorCallsTheHost) {
  std::string why;
  if (!torture::PrepareAllocationAuditAt(SharedClapModule().entry(), why)) GTEST_SKIP() << why;
  auto plugin = Running(44100.0, 512);
  ASSERT_TRUE(plugin);
  const size_t kMax = 4096;
  std::vector<std::vector<float>> fin(2, std::vector<float>(kMax, 0.25f)), fout(2, std::vector<float>(kMax));
  DoubleBuffers din = torture::NoiseDouble(kMax, 8), dout(2, std::vector<double>(kMax));
  float* fi[2] = {fin[0].data(), fin[1].data()};
  float* fo[2] = {fout[0].data(), fout[1].data()};
  double* di[2] = {din[0].data(), din[1].data()};
  double* dd[2] = {dout[0].data(), dout[1].data()};
  const uint32_t lengths[] = {1, 64, 512, 7, 700, 4096};
  torture::AudioThread audio;
  Rng rng(21);
  int blocks = 0;
  double beats = 0.0;
  for (int round = 0; round < (kUnderWine ? 60 : 600); ++round) {
    const bool useDouble = round % 2 == 1;
    const uint32_t frames = lengths[round % 6];
    EventList events;
    uint32_t time = 0;
    for (int k = 0; k < 3; ++k) {
      time += static_cast<uint32_t>(rng.Below(static_cast<int>(frames)));
      if (time >= frames) time = frames - 1;
      const uint32_t id = static_cast<uint32_t>(rng.Below(15));
      events.Value(time, id, id == 0 || id == 14 ? rng.Below(2) : rng.Unit() * 3.0 - 1.0);
    }
    const clap_event_transport_t transport =
        MakeTransport(CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_HAS_BEATS_TIMELINE |
                          (round % 50 < 25 ? CLAP_TRANSPORT_IS_PLAYING : 0u), 90.0 + round % 7, beats);
    beats += frames / 44100.0 * 1.5;
    clap_audio_buffer_t in{useDouble ? nullptr : fi, useDouble ? di : nullptr, 2, 0, 0};
    clap_audio_buffer_t out{useDouble ? nullptr : fo, useDouble ? dd : nullptr, 2, 0, 0};
    clap_process_t process;
    std::memset(&process, 0, sizeof process);
    process.frames_count = frames;
    process.transport = &transport;
    process.audio_inputs = &in;
    process.audio_outputs = &out;
    process.audio_inputs_count = process.audio_outputs_count = 1;
    plugin->ClearCalls();
    plugin->ClearOutEvents();
    torture::HeapCounts counts;
    audio.Run([&] {
      torture::ArmAllocationAudit();
      plugin->Run(process, &events);
      counts = torture::DisarmAllocationAudit();
    });
    ASSERT_EQ(counts.allocations, 0) << "round " << round << "\n" << torture::FirstAllocationSite();
    ASSERT_EQ(counts.frees, 0) << "round " << round;
    for (const HostCall& call : plugin->Calls()) {
      EXPECT_TRUE(call.what == "request_callback") << call.what << " from the audio thread";
      EXPECT_FALSE(call.mainThread);
    }
    ++blocks;
  }
  EXPECT_EQ(blocks, kUnderWine ? 60 : 600);
}

}  // namespace
}  // namespace claphost
