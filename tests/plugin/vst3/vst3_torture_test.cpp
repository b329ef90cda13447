// The torture scenarios that apply to VST3, against the built bundle:
// instances made and dropped in every state and on two threads at once;
// blocks of any length in both precisions against one reference, and rates
// from 500 Hz to 384 kHz; processing while the GUI thread automates,
// switches programs and moves state; and the audio thread's budget (no
// heap calls, no host calls but the output queue) under automation,
// program changes and a moving transport.
#include <sstream>

#include "tests/plugin/vst3/Vst3TestSupport.h"
#include "tests/torture/AllocationAudit.h"
#include "tests/torture/TortureSupport.h"

namespace vst3host {
namespace {

using namespace vst3;
using torture::AudioThread;
using torture::Budget;
using torture::Rng;
using Vst3Torture = Vst3Test;
using std::chrono::seconds;

const ParamID kProgram = 0x50726F67;

template <typename Sample>
tresult ProcessAt(Instance& plugin, std::vector<std::vector<Sample>>& in, std::vector<std::vector<Sample>>& out,
                  size_t at, int frames) {
  Sample* i[2] = {in[0].data() + at, in[1].data() + at};
  Sample* o[2] = {out[0].data() + at, out[1].data() + at};
  return plugin.Process(i, 2, o, 2, frames);
}

TEST_F(Vst3Torture, InstancesMadeAndDroppedInEveryStateAndOnTwoThreads) {
  Budget rounds(torture::kUnderWine ? 40 : 400, seconds(60));
  std::vector<float> buffer(512, 0.25f);
  float* io[2] = {buffer.data(), buffer.data()};
  while (rounds.Next()) {
    auto plugin = Instance::Create();
    ASSERT_TRUE(plugin) << "round " << rounds.done();
    switch (rounds.done() % 4) {
      case 1: plugin->Start(); break;
      case 2: plugin->Start(48000.0, 512), plugin->Process(io, 2, io, 2, 512); break;  // dropped while active
      case 3: plugin->controller->createView(kEditorViewName)->release(); break;
      default: break;
    }
  }
  std::atomic<int> made{0};
  auto churn = [&made] {
    for (int k = 0; k < (torture::kUnderWine ? 10 : 50); ++k)
      if (auto plugin = Instance::Create()) plugin->Start(), ++made;
  };
  std::thread a(churn), b(churn);
  a.join(), b.join();
  EXPECT_EQ(made, torture::kUnderWine ? 20 : 100);
}

TEST_F(Vst3Torture, BlocksOfAnyLengthInBothPrecisionsAndEveryRate) {
  const size_t frames = 256 * 512;
  DoubleBuffers in = torture::NoiseDouble(frames, 5), reference(2, std::vector<double>(frames));
  FloatBuffers inFloat = torture::ToFloat(in), outFloat(2, std::vector<float>(frames));
  DoubleBuffers out(2, std::vector<double>(frames));
  auto make = [](int32_t size) {
    auto plugin = Instance::Create();
    if (!plugin) return plugin;
    plugin->Start(44100.0, 512, size);
    plugin->SetState(testhost::ProgramChunk(testhost::Record201(testhost::DistinctValues()), "busy"));
    return plugin;
  };
  auto steady = make(kSample64), wild = make(kSample64);
  ASSERT_TRUE(steady && wild);
  for (size_t at = 0; at < frames; at += 512) ProcessAt(*steady, in, reference, at, 512);
  // Lengths from 0 to 5000 (the announced 512 often exceeded), the two
  // precisions in turn: the same signal as in steady blocks of 512.
  Rng rng(11);
  size_t mismatches = 0;
  for (size_t at = 0, block = 0; at < frames; ++block) {
    const int n = static_cast<int>(std::min<size_t>(frames - at, rng.Below(5001)));
    if (block % 2 == 0) {
      ASSERT_EQ(ProcessAt(*wild, in, out, at, n), kResultOk);
      for (int c = 0; c < 2; ++c)
        for (int i = 0; i < n; ++i) mismatches += out[c][at + i] != reference[c][at + i];
    } else {
      ASSERT_EQ(ProcessAt(*wild, inFloat, outFloat, at, n), kResultOk);
      for (int c = 0; c < 2; ++c)
        for (int i = 0; i < n; ++i) mismatches += outFloat[c][at + i] != static_cast<float>(reference[c][at + i]);
    }
    at += static_cast<size_t>(n);
  }
  EXPECT_EQ(mismatches, 0u);

  for (double rate : {500.0, 8000.0, 44100.0, 192000.0, 384000.0}) {
    auto plugin = make(kSample64);
    ASSERT_TRUE(plugin);
    plugin->Stop();
    plugin->Start(rate, 4096, kSample64);
    for (size_t at = 0; at + 4096 <= frames; at += 4096) ProcessAt(*plugin, in, out, at, 4096);
    EXPECT_TRUE(torture::AllFinite(out, frames)) << rate;
    EXPECT_LT(torture::PeakOf(out, frames), torture::kSaneOutputPeak) << rate;
  }
}

TEST_F(Vst3Torture, ProcessingWhileTheGuiThreadAutomatesSwitchesProgramsAndMovesState) {
  auto plugin = Instance::Create();
  ASSERT_TRUE(plugin);
  plugin->Start(44100.0, 256, kSample32);
  std::atomic<bool> stop{false};
  std::atomic<long> blocks{0};
  std::thread::id audioId;
  FloatBuffers in = torture::ToFloat(torture::NoiseDouble(256, 9)), out(2, std::vector<float>(256));
  std::thread audio([&] {
    audioId = std::this_thread::get_id();
    Rng rng(3);
    bool finite = true;
    while (!stop) {
      plugin->input.Add(static_cast<ParamID>(rng.Below(15)), rng.Below(256), rng.Unit());
      ProcessAt(*plugin, in, out, 0, 256);
      finite = finite && torture::AllFinite(out, 256);
      ++blocks;
    }
    EXPECT_TRUE(finite);
  });
  // The GUI thread starts once the audio thread is processing.
  for (const auto until = std::chrono::steady_clock::now() + seconds(60);
       blocks == 0 && std::chrono::steady_clock::now() < until;)
    std::this_thread::yield();
  Rng rng(4);
  Budget rounds(torture::kUnderWine ? 300 : 3000, seconds(30));
  while (rounds.Next()) {
    IEditController* c = plugin->controller;
    switch (rng.Below(5)) {
      case 0: c->setParamNormalized(static_cast<ParamID>(rng.Below(15)), rng.Unit()); break;
      case 1: c->setParamNormalized(kProgram, rng.Below(32) / 31.0); break;
      case 2: plugin->SetState(plugin->GetState()); break;
      case 3: plugin->ParamText(static_cast<ParamID>(rng.Below(15)), rng.Unit()); break;
      default: c->getParamNormalized(static_cast<ParamID>(rng.Below(15))); break;
    }
  }
  stop = true;
  audio.join();
  EXPECT_GT(blocks, 0);
  for (const Handler::Call& call : plugin->handler.Calls()) EXPECT_NE(call.thread, audioId) << call.kind;
  // What is left is a whole session: a fresh instance takes it and saves
  // the same bytes, its program, names and values exactly.
  const Bytes saved = plugin->GetState();
  ASSERT_TRUE(testhost::ParseSession(saved).has_value());
  auto fresh = Instance::Create();
  ASSERT_TRUE(fresh);
  ASSERT_EQ(fresh->SetState(saved), kResultOk);
  EXPECT_EQ(fresh->GetState(), saved);
}

TEST_F(Vst3Torture, TheAudioThreadNeitherAllocatesNorCallsTheHost) {
  std::string why;
  if (!torture::PrepareAllocationAuditAt(SharedModule().factory(), why)) GTEST_SKIP() << why;
  auto plugin = Instance::Create();
  ASSERT_TRUE(plugin);
  plugin->Start(44100.0, 512, kSample32);
  plugin->controller->setParamNormalized(testhost::kSyncToHost, 1.0);
  plugin->controller->setParamNormalized(testhost::kLfoWaveform, 0.2);
  plugin->sendContext = true;
  plugin->handler.Clear();
  AudioThread audio;
  const size_t most = 4096;
  DoubleBuffers in = torture::NoiseDouble(most, 3), out(2, std::vector<double>(most));
  FloatBuffers inFloat = torture::ToFloat(in), outFloat(2, std::vector<float>(most));
  const int lengths[] = {1, 64, 512, 7, 700, 4096};
  Rng rng(21);
  std::vector<std::string> failures;
  double ppq = 0.0;
  for (int block = 0; block < (torture::kUnderWine ? 200 : 1000); ++block) {
    const int n = lengths[block % 6];
    // What the host changes for this block: a few parameters at their
    // samples, Link now and then (partners go out on the output queue), a
    // program every so often, and a transport that plays, stops and loops.
    for (int k = 0; k < 4; ++k) plugin->input.Add(static_cast<ParamID>(rng.Below(15)), rng.Below(n), rng.Unit());
    if (block % 25 == 0) plugin->input.Add(testhost::kLink, 0, (block / 25) % 2);
    if (block % 40 == 0) plugin->input.Add(kProgram, n / 2, rng.Below(32) / 31.0);
    ProcessContext& c = plugin->context;
    c.state = ProcessContext::kTempoValid | ProcessContext::kProjectTimeMusicValid |
              ((block / 30) % 2 ? ProcessContext::kPlaying : 0u) | (block % 3 ? ProcessContext::kCycleActive : 0u);
    c.tempo = 60.0 + block % 7 * 30.0;
    c.projectTimeMusic = ppq;
    ppq += n / 44100.0 * c.tempo / 60.0;
    torture::HeapCounts counts;
    tresult result = kResultFalse;
    audio.Run([&] {
      torture::ArmAllocationAudit();
      result = block % 2 ? ProcessAt(*plugin, inFloat, outFloat, 0, n) : ProcessAt(*plugin, in, out, 0, n);
      counts = torture::DisarmAllocationAudit();
    });
    if (result != kResultOk || counts.allocations != 0 || counts.frees != 0) {
      std::ostringstream text;
      text << "block " << block << " of " << n << ": result " << result << ", " << counts.allocations
           << " allocations, " << counts.frees << " frees\n" << torture::FirstAllocationSite();
      if (failures.size() < 5) failures.push_back(text.str());
    }
  }
  for (const std::string& failure : failures) ADD_FAILURE() << failure;
  for (const Handler::Call& call : plugin->handler.Calls()) ADD_FAILURE() << "host call '" << call.kind << "' from process()";
}

}  // namespace
}  // namespace vst3host
