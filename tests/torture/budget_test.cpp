// The audio thread's budget: no process, processReplacing or
// processDoubleReplacing call allocates or frees memory, whatever the
// parameters, programs and transport, and the only host calls made from the
// audio thread are audioMasterWantMidi and audioMasterGetTime.
#include <sstream>
#include <string>
#include <vector>

#include "tests/torture/AllocationAudit.h"
#include "tests/torture/TortureSupport.h"

namespace torture {
namespace {

using testhost::HostTest;
using AudioBudget = HostTest;

enum class Fn { Replacing, Accumulating, Double };
const char* const kFnNames[] = {"processReplacing", "process", "processDoubleReplacing"};

const VstIntPtr kAnnounced = 512;
// Lengths of the blocks, the last two longer than announced.
const VstInt32 kLengths[] = {1, 64, 512, 7, 700, 4096};
const size_t kMaxFrames = 4096;

// A host transport that moves on with every block: playing, stopped,
// looping, changing tempo.
class Transport {
 public:
  VstTimeInfo Next(VstInt32 frames) {
    ++block_;
    if (block_ % 40 == 0) playing_ = !playing_;
    if (block_ % 70 == 0) tempo_ = kTempi[(block_ / 70) % 4];
    VstInt32 flags = 0x3E00;
    if (playing_) flags |= kVstTransportPlaying;
    if (block_ % 3 == 0) flags |= kVstTransportCycleActive;
    VstTimeInfo t = testhost::MakeTimeInfo(flags, tempo_, ppq_, samples_);
    if (playing_) {
      samples_ += frames;
      ppq_ += frames / 44100.0 * tempo_ / 60.0;
    }
    return t;
  }

 private:
  static constexpr double kTempi[4] = {120.0, 61.5, 300.0, 133.7};
  long block_ = 0;
  bool playing_ = true;
  double tempo_ = 120.0;
  double ppq_ = 0.0;
  double samples_ = 0.0;
};

// Runs blocks on a host-style audio thread, each one counted, and keeps the
// first few broken rules.
class Auditor {
 public:
  explicit Auditor(PluginInstance& plugin)
      : plugin_(plugin), in_(NoiseDouble(kMaxFrames, 3)), fin_(ToFloat(in_)),
        fout_(2, std::vector<float>(kMaxFrames)), dout_(2, std::vector<double>(kMaxFrames)) {}

  // One block of the given function; `what` says what the host changed before.
  void Block(Fn fn, VstInt32 frames, const std::string& what) {
    plugin_.EditScript([&](testhost::HostScript& s) { s.timeInfo = transport_.Next(frames); });
    plugin_.ClearCalls();
    HeapCounts counts;
    audio_.Run([&] {
      ArmAllocationAudit();
      AEffect* e = plugin_.effect();
      float* fi[2] = {fin_[0].data(), fin_[1].data()};
      float* fo[2] = {fout_[0].data(), fout_[1].data()};
      double* di[2] = {in_[0].data(), in_[1].data()};
      double* dd[2] = {dout_[0].data(), dout_[1].data()};
      switch (fn) {
        case Fn::Replacing: e->processReplacing(e, fi, fo, frames); break;
        case Fn::Accumulating: e->process(e, fi, fo, frames); break;
        case Fn::Double: e->processDoubleReplacing(e, di, dd, frames); break;
      }
      counts = DisarmAllocationAudit();
    });
    ++blocks_;
    std::vector<VstInt32> foreign;
    for (const auto& call : plugin_.Calls()) {
      if (call.thread != audio_.id()) {
        foreign.push_back(-1 - call.opcode);  // marks a call from another thread
      } else if (call.opcode == audioMasterGetTime) {
        ++timeRequests_;
      } else if (call.opcode != audioMasterWantMidi) {
        foreign.push_back(call.opcode);
      }
    }
    if ((counts.allocations == 0 && counts.frees == 0 && foreign.empty()) || failures_.size() >= 5) return;
    std::ostringstream text;
    text << kFnNames[static_cast<int>(fn)] << " of " << frames << " frames after " << what << ": "
         << counts.allocations << " allocations, " << counts.frees << " frees";
    for (VstInt32 op : foreign) {
      if (op < 0)
        text << "; a host call (opcode " << (-1 - op) << ") from another thread during the block";
      else
        text << "; host opcode " << op << " from the audio thread";
    }
    const std::string site = FirstAllocationSite();
    if (!site.empty()) text << "\nfirst allocation from:\n" << site;
    failures_.push_back(text.str());
  }

  // A few blocks through every function and length.
  void Round(const std::string& what) {
    for (int k = 0; k < 3; ++k) {
      const Fn fn = static_cast<Fn>((round_ + k) % 3);
      Block(fn, kLengths[(round_ * 3 + k) % (sizeof kLengths / sizeof kLengths[0])], what);
    }
    ++round_;
  }

  const std::vector<std::string>& failures() const { return failures_; }
  long blocks() const { return blocks_; }
  long timeRequests() const { return timeRequests_; }

 private:
  PluginInstance& plugin_;
  AudioThread audio_;
  Transport transport_;
  DoubleBuffers in_;
  FloatBuffers fin_;
  FloatBuffers fout_;
  DoubleBuffers dout_;
  std::vector<std::string> failures_;
  long blocks_ = 0;
  long round_ = 0;
  long timeRequests_ = 0;
};

void ExpectClean(const Auditor& auditor) {
  for (const std::string& f : auditor.failures()) ADD_FAILURE() << f;
}

// The counting itself works: the plug-in does allocate when the host
// announces a new block size, outside processing.
TEST_F(AudioBudget, TheAuditSeesThePluginsAllocations) {
  std::string why;
  if (!PrepareAllocationAudit(testhost::SharedModule(), why)) GTEST_SKIP() << why;
  auto plugin = Running({}, 44100.0f, kAnnounced);
  ASSERT_TRUE(plugin);
  ArmAllocationAudit();
  plugin->Dispatch(effSetBlockSize, 0, 3000);
  const HeapCounts counts = DisarmAllocationAudit();
  EXPECT_GT(counts.allocations, 0) << "the scratch buffers are resized here";
  EXPECT_GT(counts.frees, 0);
}

std::unique_ptr<PluginInstance> Prepared() {
  testhost::HostScript script;
  script.timeInfo = testhost::MakeTimeInfo(0x3E00 | kVstTransportPlaying);
  auto plugin = PluginInstance::Create(testhost::SharedModule(), script);
  if (!plugin) return nullptr;
  plugin->Open();
  plugin->Start(44100.0f, kAnnounced);
  // The test host records every callback in a list that grows; let it grow
  // here, off the audio thread, so that only the plug-in can allocate there.
  DoubleBuffers in(2, std::vector<double>(64)), out(2, std::vector<double>(64));
  plugin->SetParameter(testhost::kSyncToHost, 1.0f);
  for (int i = 0; i < 64; ++i) plugin->ProcessDouble(in, out);
  plugin->SetParameter(testhost::kSyncToHost, 0.0f);
  return plugin;
}

TEST_F(AudioBudget, EveryParameterSettingWithAndWithoutTempoSync) {
  std::string why;
  if (!PrepareAllocationAudit(testhost::SharedModule(), why)) GTEST_SKIP() << why;
  auto plugin = Prepared();
  ASSERT_TRUE(plugin);
  Auditor auditor(*plugin);
  auditor.Round("start");  // the audio thread's very first blocks count too
  const float values[] = {0.0f, 0.2f, 0.4f, 0.5f, 0.6f, 0.8f, 1.0f};
  long timeBefore = 0;
  for (int sync = 0; sync < 2; ++sync) {
    plugin->SetParameter(testhost::kSyncToHost, static_cast<float>(sync));
    timeBefore = auditor.timeRequests();
    for (VstInt32 p = 0; p < testhost::kNumParams; ++p) {
      if (p == testhost::kSyncToHost) continue;
      for (float v : values) {
        plugin->SetParameter(p, v);
        std::ostringstream what;
        what << "parameter " << p << " = " << v << (sync ? ", synced" : "");
        auditor.Round(what.str());
      }
    }
  }
  ExpectClean(auditor);
  EXPECT_GT(auditor.timeRequests() - timeBefore, 0) << "with Sync to Host the transport was never read";
  RecordProperty("blocks", static_cast<int>(auditor.blocks()));
}

TEST_F(AudioBudget, EveryProgramAndWhatHostsDoBetweenBlocks) {
  std::string why;
  if (!PrepareAllocationAudit(testhost::SharedModule(), why)) GTEST_SKIP() << why;
  auto plugin = Prepared();
  ASSERT_TRUE(plugin);
  Auditor auditor(*plugin);
  for (int program = 0; program < 32; ++program) {
    plugin->Dispatch(effSetProgram, 0, program);
    auditor.Round("program " + std::to_string(program));
    plugin->SetParameter(testhost::kSyncToHost, 1.0f);
    auditor.Round("program " + std::to_string(program) + ", synced");
  }
  const std::vector<uint8_t> program = plugin->GetChunk(true);
  const std::vector<uint8_t> bank = plugin->GetChunk(false);
  for (int k = 0; k < 4; ++k) {
    plugin->SetChunk(program, true);
    auditor.Round("a program chunk");
    plugin->SetChunk(bank, false);
    auditor.Round("a bank chunk");
    plugin->SetParameterText(testhost::kFreqMaxL, "-0.5");
    auditor.Round("text entry");
    plugin->Stop();
    plugin->Start(k % 2 ? 96000.0f : 44100.0f, kAnnounced);
    auditor.Round("a restart");
    plugin->Dispatch(effSetBlockSize, 0, 256 + 512 * k);
    auditor.Round("a new block size");
    plugin->Dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
    auditor.Round("a new sample rate");
    plugin->SetParameter(testhost::kLink, k % 2 ? 0.0f : 1.0f);
    auditor.Round("Link L+R");
    plugin->Dispatch(effEditIdle);
    plugin->Dispatch(effIdle);
    auditor.Round("idle requests");
  }
  ExpectClean(auditor);
  RecordProperty("blocks", static_cast<int>(auditor.blocks()));
}

}  // namespace
}  // namespace torture
