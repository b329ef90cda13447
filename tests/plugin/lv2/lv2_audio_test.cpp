// The LV2 build's audio is the VST 2.4 build's, bit for bit: the committed
// fingerprint through restored state, settings through the control ports
// and the host's transport through time positions, against Veltrane.so.
#include <gtest/gtest.h>

#include "tests/host/AudioSupport.h"
#include "tests/host/RenderFingerprint.h"
#include "tests/host/StateSupport.h"
#include "tests/plugin/lv2/Lv2Host.h"

namespace {

using lv2host::Instance;
using testhost::ref::Settings;

testhost::Values ValuesOf(const Settings& s) {
  return {s.linked ? 1.0 : 0.0, s.volume[0], s.volume[1], s.mix[0], s.mix[1], double(s.mode[0]), double(s.mode[1]),
          double(s.rangeIndex), s.freqMin[0], s.freqMin[1], s.freqMax[0], s.freqMax[1], double(s.waveform),
          s.lfoRate, s.syncToHost ? 1.0 : 0.0};
}

std::vector<std::vector<float>> Slice(const std::vector<std::vector<float>>& in, size_t from, size_t to) {
  return {std::vector<float>(in[0].begin() + from, in[0].begin() + to),
          std::vector<float>(in[1].begin() + from, in[1].begin() + to)};
}

TEST(Lv2Audio, FingerprintThroughRestoredStateIsTheCommittedHash) {
  auto plug = Instance::Make();
  ASSERT_TRUE(plug);
  plug->ConnectControls();
  plug->Activate();
  using namespace testhost::fingerprint;
  const std::vector<double> left = Input(0), right = Input(1);
  const std::vector<std::vector<float>> in = {std::vector<float>(left.begin(), left.end()),
                                              std::vector<float>(right.begin(), right.end())};
  uint64_t hash = testhost::ref::Fnv1a(nullptr, 0);
  for (int part = 0; part < kParts; ++part) {
    // A host restores the exact values from state and the ports as floats.
    const testhost::Values v = ValuesOf(PartSettings(part));
    ASSERT_EQ(plug->RestoreChunk(testhost::ProgramChunk(testhost::Record201(v), "part")), LV2_STATE_SUCCESS);
    for (int i = 0; i < lv2host::kParams; ++i) plug->control[i] = static_cast<float>(v[i]);
    const auto out = plug->Render(Slice(in, part * kFrames / 6, (part + 1) * kFrames / 6), kBlocks);
    for (size_t i = 0; i < out[0].size(); ++i) {
      hash = testhost::ref::Fnv1a(&out[0][i], sizeof(float), hash);
      hash = testhost::ref::Fnv1a(&out[1][i], sizeof(float), hash);
    }
  }
  EXPECT_EQ(hash, kFloatRenderHash) << "got 0x" << std::hex << hash;
}

// Settings a float holds exactly, changed through the ports between blocks
// (the LFO synced to a running transport in the second part), rendered by
// both builds.
TEST(Lv2Audio, PortsAndTransportSoundAsTheVst2Build) {
  testhost::SetPluginPathFromCommandLine(VELTRANE_VST2_PLUGIN);
  auto vst = testhost::PluginInstance::Create(testhost::SharedModule());
  auto plug = Instance::Make(48000.0, 512);
  ASSERT_TRUE(vst && plug);
  vst->Open();
  vst->Start(48000.0f, 512);
  plug->ConnectControls();
  plug->Activate();
  const size_t frames = 3 * 9600;
  const std::vector<float> left = testhost::Noise(frames, 7, 0.7f), right = testhost::Noise(frames, 8, 0.7f);
  for (int part = 0; part < 3; ++part) {
    // 1024 is longer than announced. A VST 2.4 host's time info is the
    // block's start for every piece of such a block, where LV2 moves the
    // position on: the synced part keeps to announced lengths.
    const std::vector<int> blocks = part != 1 ? std::vector<int>{480, 17, 1024, 1, 300} : std::vector<int>{480, 17, 1};
    Settings s;
    s.volume[0] = 1.5;
    s.volume[1] = 0.25;
    s.mix[0] = 0.75;
    s.mode[1] = part;
    s.rangeIndex = 2 + part % 2;
    s.freqMin[0] = -0.5;
    s.freqMax[0] = 0.625;
    s.freqMax[1] = -0.875;
    s.waveform = part == 0 ? 0 : 1 + part;
    s.lfoRate = 0.25;
    s.syncToHost = part == 1;
    // Linked last: unlinking changes no other parameter in either format,
    // but only a VST 2.4 host is told of the partners' values to send back.
    s.linked = part == 2;
    testhost::Configure(*vst, s);
    const testhost::Values v = ValuesOf(s);
    for (int i = 0; i < lv2host::kParams; ++i) plug->control[i] = static_cast<float>(v[i]);
    // 120 beats a minute from beat 3, a position with every block.
    const size_t start = part * frames / 3;
    auto position = [&](size_t at) {
      const double beat = 3.0 + (start + at) * 2.0 / 48000.0;
      plug->QueuePosition(0, beat, 120.0, 1.0f);
      vst->EditScript([&](testhost::HostScript& h) {
        h.timeInfo = testhost::MakeTimeInfo(kVstTempoValid | kVstPpqPosValid | kVstTransportPlaying | kVstBarsValid |
                                                kVstTimeSigValid,
                                            120.0, beat, static_cast<double>(start + at), 48000.0);
        h.timeInfo->barStartPos = beat - std::fmod(beat, 4.0);
      });
    };
    const auto in = Slice({left, right}, start, (part + 1) * frames / 3);
    std::vector<std::vector<float>> expected(2, std::vector<float>(in[0].size()));
    for (size_t at = 0, b = 0; at < in[0].size(); ++b) {
      const size_t n = std::min(in[0].size() - at, static_cast<size_t>(blocks[b % blocks.size()]));
      position(at);
      testhost::FloatBuffers i = Slice(in, at, at + n), o(2, std::vector<float>(n));
      vst->ProcessReplacing(i, o);
      std::copy(o[0].begin(), o[0].end(), expected[0].begin() + at);
      std::copy(o[1].begin(), o[1].end(), expected[1].begin() + at);
      at += n;
    }
    const auto out = plug->Render(in, blocks, position);
    for (int c = 0; c < 2; ++c)
      EXPECT_EQ(0, std::memcmp(out[c].data(), expected[c].data(), sizeof(float) * out[c].size()))
          << "part " << part << ", channel " << c;
  }
}

}  // namespace
