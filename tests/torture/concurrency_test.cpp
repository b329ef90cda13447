// Many threads at one instance, the way hosts use them: the audio thread
// processing while others automate parameters, switch programs, save and
// restore chunks and read display texts. Afterwards the state must hold
// together. Built with -fsanitize=thread, these are the ThreadSanitizer runs.
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/torture/TortureSupport.h"

namespace torture {
namespace {

using testhost::HostTest;
using Concurrency = HostTest;

// Each thread's rounds; the time cap ends them early on slow builds
// (Wine, ThreadSanitizer).
const long kRounds = kUnderWine ? 40000 : 300000;
const auto kCap = std::chrono::seconds(3);

// Problems seen on worker threads, reported on the test's thread.
class Problems {
 public:
  void Add(const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (list_.size() < 10) list_.push_back(what);
  }
  void Report() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& p : list_) ADD_FAILURE() << p;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> list_;
};

// The audio thread: blocks of changing length through all three functions.
void ProcessUntil(PluginInstance& plugin, const std::atomic<bool>& stop, Problems& problems, long& blocks,
                  uint64_t seed) {
  const size_t maxFrames = 2048;
  DoubleBuffers din = NoiseDouble(maxFrames, static_cast<uint32_t>(seed)), dout(2, std::vector<double>(maxFrames));
  FloatBuffers fin = ToFloat(din), fout(2, std::vector<float>(maxFrames));
  const VstInt32 lengths[] = {1, 64, 512, 700, 2048, 33};
  Rng rng(seed);
  AEffect* e = plugin.effect();
  while (!stop.load()) {
    const VstInt32 n = lengths[rng.Below(6)];
    const int fn = rng.Below(3);
    double peak = 0.0;
    bool finite = true;
    if (fn == 2) {
      double* i[2] = {din[0].data(), din[1].data()};
      double* o[2] = {dout[0].data(), dout[1].data()};
      e->processDoubleReplacing(e, i, o, n);
      finite = AllFinite(dout, static_cast<size_t>(n));
      peak = PeakOf(dout, static_cast<size_t>(n));
    } else {
      float* i[2] = {fin[0].data(), fin[1].data()};
      float* o[2] = {fout[0].data(), fout[1].data()};
      if (fn == 0) {
        e->processReplacing(e, i, o, n);
      } else {
        for (auto& c : fout) std::fill(c.begin(), c.begin() + n, 0.0f);
        e->process(e, i, o, n);
      }
      finite = AllFinite(fout, static_cast<size_t>(n));
      peak = PeakOf(fout, static_cast<size_t>(n));
    }
    ++blocks;
    if (!finite || !(peak < kSaneOutputPeak)) {
      problems.Add("block " + std::to_string(blocks) + " of " + std::to_string(n) + " frames: peak " +
                   std::to_string(peak) + (finite ? "" : ", not finite"));
    }
  }
}

std::string Text(PluginInstance& plugin, VstInt32 opcode, VstInt32 index) {
  char text[512] = {};
  plugin.Dispatch(opcode, index, 0, text);
  return std::string(text, strnlen(text, sizeof text));
}

TEST_F(Concurrency, AudioWhileParametersProgramsChunksAndTextsChange) {
  testhost::HostScript script;
  script.timeInfo = testhost::MakeTimeInfo(0x3E00 | kVstTransportPlaying, 128.0, 3.5, 100000.0);
  auto plugin = Running(script, 44100.0f, 512);
  ASSERT_TRUE(plugin);
  const std::vector<uint8_t> seedProgram = plugin->GetChunk(true);
  const std::vector<uint8_t> seedBank = plugin->GetChunk(false);
  ASSERT_FALSE(seedProgram.empty());
  ASSERT_FALSE(seedBank.empty());

  Problems problems;
  std::atomic<bool> stop{false};
  long blocks = 0;
  std::thread audio(ProcessUntil, std::ref(*plugin), std::cref(stop), std::ref(problems), std::ref(blocks), 1);

  std::vector<std::thread> workers;
  std::vector<long> rounds(4, 0);
  // Automation, as from a host's automation lane or a control surface.
  workers.emplace_back([&] {
    Rng rng(2);
    Budget budget(kRounds, kCap);
    while (budget.Next()) {
      const VstInt32 p = rng.Below(testhost::kNumParams);
      plugin->SetParameter(p, rng.Unit());
      const float v = plugin->GetParameter(rng.Below(testhost::kNumParams));
      if (!(v >= 0.0f && v <= 1.0f)) problems.Add("getParameter gave " + std::to_string(v));
    }
    rounds[0] = budget.done();
  });
  // Program changes and names, as from a host's preset browser.
  workers.emplace_back([&] {
    Rng rng(3);
    Budget budget(kRounds / 4, kCap);
    while (budget.Next()) {
      plugin->Dispatch(effSetProgram, 0, rng.Below(32));
      const VstIntPtr current = plugin->Dispatch(effGetProgram);
      if (current < 0 || current >= 32) problems.Add("effGetProgram gave " + std::to_string(current));
      plugin->ProgramName();
      plugin->ProgramNameIndexed(rng.Below(32));
      if (rng.Below(50) == 0) {
        char name[32] = "Storm";
        plugin->Dispatch(effSetProgramName, 0, 0, name);
      }
    }
    rounds[1] = budget.done();
  });
  // Saving and restoring, as on project save, undo and preset recall.
  workers.emplace_back([&] {
    Rng rng(4);
    Budget budget(kRounds / 8, kCap);
    std::vector<uint8_t> program = seedProgram, bank = seedBank;
    while (budget.Next()) {
      switch (rng.Below(4)) {
        case 0: program = plugin->GetChunk(true); break;
        case 1: bank = plugin->GetChunk(false); break;
        case 2:
          if (plugin->SetChunk(program, true) != 1) problems.Add("a program chunk it gave was refused");
          break;
        default:
          if (plugin->SetChunk(bank, false) != 1) problems.Add("a bank chunk it gave was refused");
          break;
      }
    }
    rounds[2] = budget.done();
  });
  // Texts, as a host's generic editor and its idle timer read them.
  workers.emplace_back([&] {
    Rng rng(5);
    Budget budget(kRounds, kCap);
    const char* const entries[] = {"0.5", "-1", "Wet", "On", "Off", "5000", "1e9", "nan", "", "S/H"};
    while (budget.Next()) {
      const VstInt32 p = rng.Below(testhost::kNumParams);
      const std::string display = Text(*plugin, effGetParamDisplay, p);
      Text(*plugin, effGetParamName, p);
      Text(*plugin, effGetParamLabel, p);
      if (display.size() > 31) problems.Add("display text of " + std::to_string(p) + " too long");
      char text[64] = {};
      plugin->Dispatch(effVendorSpecific, 7, p, text, rng.Unit());
      if (rng.Below(8) == 0) plugin->SetParameterText(p, entries[rng.Below(10)]);
      if (rng.Below(16) == 0) {
        plugin->Dispatch(effEditIdle);
        plugin->Dispatch(effIdle);
      }
    }
    rounds[3] = budget.done();
  });
  for (auto& w : workers) w.join();
  stop = true;
  audio.join();
  problems.Report();
  EXPECT_GT(blocks, 0);
  for (long r : rounds) EXPECT_GT(r, 0);
  RecordProperty("blocks", static_cast<int>(blocks));

  // The state holds together.
  for (VstInt32 p = 0; p < testhost::kNumParams; ++p) {
    const float v = plugin->GetParameter(p);
    EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << "parameter " << p << " = " << v;
  }
  if (plugin->GetParameter(testhost::kLink) >= 0.5f) {
    for (VstInt32 left : {testhost::kVolumeL, testhost::kMixL, testhost::kModeL, testhost::kFreqMinL,
                          testhost::kFreqMaxL})
      EXPECT_EQ(plugin->GetParameter(left), plugin->GetParameter(left + 1)) << "linked pair " << left;
  }
  // A program taken now moves to a fresh instance at the same program number
  // (the record names the current program, which the reader skips), and
  // back. Unlinked it moves exactly; linked, reading it makes each right
  // value the left one's normalised copy, which can differ from a typed or
  // automated right value in the last bit, and one reading settles it.
  const std::vector<uint8_t> program = plugin->GetChunk(true);
  const bool linked = plugin->GetParameter(testhost::kLink) >= 0.5f;
  const VstIntPtr current = plugin->Dispatch(effGetProgram);
  auto fresh = NewInstance();
  ASSERT_TRUE(fresh);
  fresh->Open();
  fresh->Dispatch(effSetProgram, 0, current);
  ASSERT_EQ(fresh->SetChunk(program, true), 1);
  const std::vector<uint8_t> settled = fresh->GetChunk(true);
  if (!linked) EXPECT_EQ(settled, program);
  ASSERT_EQ(plugin->SetChunk(program, true), 1);
  EXPECT_EQ(plugin->GetChunk(true), settled);
  for (VstInt32 p = 0; p < testhost::kNumParams; ++p) {
    EXPECT_EQ(fresh->GetParameter(p), plugin->GetParameter(p)) << "parameter " << p;
    EXPECT_EQ(fresh->ParamDisplay(p), plugin->ParamDisplay(p)) << "parameter " << p;
  }
  ASSERT_EQ(fresh->SetChunk(settled, true), 1);
  EXPECT_EQ(fresh->GetChunk(true), settled);
  // And so does the whole bank: every program's name and values (a bank
  // does not carry the program number either).
  const std::vector<uint8_t> bank = plugin->GetChunk(false);
  auto other = NewInstance();
  ASSERT_TRUE(other);
  other->Open();
  other->Dispatch(effSetProgram, 0, current);
  ASSERT_EQ(other->SetChunk(bank, false), 1);
  for (VstInt32 p = 0; p < testhost::kNumParams; ++p)
    EXPECT_EQ(other->GetParameter(p), plugin->GetParameter(p)) << "current program, parameter " << p;
  for (VstInt32 k = 0; k < 32; ++k) {
    EXPECT_EQ(other->ProgramNameIndexed(k), plugin->ProgramNameIndexed(k)) << "program " << k;
    plugin->Dispatch(effSetProgram, 0, k);
    other->Dispatch(effSetProgram, 0, k);
    for (VstInt32 p = 0; p < testhost::kNumParams; ++p)
      ASSERT_EQ(other->GetParameter(p), plugin->GetParameter(p)) << "program " << k << ", parameter " << p;
  }
}

// While linked, two threads move the two sides of every pair at once; the
// plug-in keeps each pair equal whatever the interleaving.
TEST_F(Concurrency, LinkedPairsStayEqualUnderCompetingAutomation) {
  auto plugin = Running({}, 48000.0f, 256);
  ASSERT_TRUE(plugin);
  plugin->SetParameter(testhost::kLink, 1.0f);
  Problems problems;
  std::atomic<bool> stop{false};
  long blocks = 0;
  std::thread audio(ProcessUntil, std::ref(*plugin), std::cref(stop), std::ref(problems), std::ref(blocks), 6);
  const VstInt32 lefts[] = {testhost::kVolumeL, testhost::kMixL, testhost::kModeL, testhost::kFreqMinL,
                            testhost::kFreqMaxL};
  auto side = [&](int offset, uint64_t seed) {
    Rng rng(seed);
    Budget budget(kRounds, kCap);
    while (budget.Next()) {
      const VstInt32 p = lefts[rng.Below(5)] + offset;
      if (rng.Below(4) == 0) {
        char text[32];
        std::snprintf(text, sizeof text, "%.3f", rng.Unit() * 2.0 - 1.0);
        plugin->SetParameterText(p, text);
      } else {
        plugin->SetParameter(p, rng.Unit());
      }
    }
  };
  std::thread left(side, 0, 7), right(side, 1, 8);
  left.join();
  right.join();
  stop = true;
  audio.join();
  problems.Report();
  for (VstInt32 l : lefts)
    EXPECT_EQ(plugin->GetParameter(l), plugin->GetParameter(l + 1)) << "pair " << l << " drifted apart";
  // The host was told about every partner change it did not make itself.
  EXPECT_GT(plugin->CountCalls(audioMasterAutomate), 0u);
}

// Instances share process-wide tables and the sample-and-hold sequence;
// one instance's audio must not depend on another running beside it, nor on
// instances being created and closed meanwhile.
TEST_F(Concurrency, InstancesOnTheirOwnThreadsDoNotDisturbEachOther) {
  const size_t frames = 4 * 44100;
  const DoubleBuffers in = NoiseDouble(frames, 21);
  const std::vector<int> blocks = {512, 7, 1024};
  const testhost::ref::Settings steady = BusySettings();
  testhost::ref::Settings random = BusySettings();
  random.waveform = 5;  // "S/H" draws from the shared sequence
  random.lfoRate = 1.0;

  auto start = [](const testhost::ref::Settings& s) {
    auto p = PluginInstance::Create(testhost::SharedModule());
    if (p) {
      p->Open();
      p->Start(44100.0f, 1024);
      testhost::Configure(*p, s);
    }
    return p;
  };
  DoubleBuffers alone;
  {
    auto p = start(steady);
    ASSERT_TRUE(p);
    alone = testhost::RenderDouble(*p, in, blocks);
  }

  const int pairs = kUnderWine ? 2 : 6;
  for (int round = 0; round < pairs; ++round) {
    auto a = start(steady), b = start(random), c = start(random);
    ASSERT_TRUE(a && b && c);
    DoubleBuffers outA, outB, outC;
    std::atomic<bool> done{false};
    std::thread ta([&] { outA = testhost::RenderDouble(*a, in, blocks); });
    std::thread tb([&] { outB = testhost::RenderDouble(*b, in, blocks); });
    std::thread tc([&] { outC = testhost::RenderDouble(*c, in, {64}); });
    std::thread churn([&] {
      while (!done.load()) {
        auto p = PluginInstance::Create(testhost::SharedModule());
        if (p) {
          p->Open();
          p->Start(96000.0f, 128);
        }
      }
    });
    ta.join();
    tb.join();
    tc.join();
    done = true;
    churn.join();
    for (int ch = 0; ch < 2; ++ch) EXPECT_EQ(testhost::FirstDifference(outA[ch], alone[ch]), -1) << ch;
    EXPECT_TRUE(AllFinite(outB, frames));
    EXPECT_TRUE(AllFinite(outC, frames));
    EXPECT_LT(PeakOf(outB, frames), kSaneOutputPeak);
  }
}

}  // namespace
}  // namespace torture
