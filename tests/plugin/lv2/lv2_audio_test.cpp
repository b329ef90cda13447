// The LV2 build's audio is the VST 2.4 build's, bit for bit: the committed
// fingerprint through restored state; settings through the control ports
// and the host's transport through time positions, against Veltrane.so.
#include "tests/host/AudioSupport.h"
#include "tests/host/RenderFingerprint.h"
#include "tests/host/StateSupport.h"
#include "tests/plugin/lv2/Lv2Host.h"

namespace {

using lv2host::Audio;
using testhost::ref::Settings;

testhost::Values ValuesOf(const Settings& s) {
  return {double(s.linked), s.volume[0], s.volume[1], s.mix[0], s.mix[1], double(s.mode[0]), double(s.mode[1]),
          double(s.rangeIndex), s.freqMin[0], s.freqMin[1], s.freqMax[0], s.freqMax[1], double(s.waveform),
          s.lfoRate, double(s.syncToHost)};
}

Audio Slice(const Audio& in, size_t from, size_t to) {
  return {{in[0].begin() + from, in[0].begin() + to}, {in[1].begin() + from, in[1].begin() + to}};
}

TEST(Lv2Audio, FingerprintThroughRestoredStateIsTheCommittedHash) {
  auto plug = lv2host::Instance::Make();
  ASSERT_TRUE(plug);
  plug->Start();
  using namespace testhost::fingerprint;
  const uint64_t hash = HashRender<float>([&](int part, const Audio& in) {
    // A host restores the exact values from state and the ports as floats
    // in dB, % wet and Hz.
    const testhost::Values v = ValuesOf(PartSettings(part));
    EXPECT_EQ(plug->RestoreChunk(testhost::ProgramChunk(testhost::Record201(v), "part")), LV2_STATE_SUCCESS);
    const std::vector<float> ports = lv2host::PortsOf(v);
    std::copy(ports.begin(), ports.end(), plug->control);
    return plug->Render(in, kBlocks);
  });
  EXPECT_EQ(hash, kFloatRenderHash) << "got 0x" << std::hex << hash;
}

// Settings whose ports' numbers (dB, % wet, Hz) read back exactly, through
// the ports between blocks; the second part synced to a running transport.
TEST(Lv2Audio, PortsAndTransportSoundAsTheVst2Build) {
  testhost::SetPluginPathFromCommandLine(VELTRANE_VST2_PLUGIN);
  auto vst = testhost::PluginInstance::Create(testhost::SharedModule());
  auto plug = lv2host::Instance::Make(48000.0, 512);
  ASSERT_TRUE(vst && plug);
  vst->Open();
  vst->Start(48000.0f, 512);
  plug->Start();
  const size_t frames = 3 * 9600;
  const Audio input = {testhost::Noise(frames, 7, 0.7f), testhost::Noise(frames, 8, 0.7f)};
  for (int part = 0; part < 3; ++part) {
    Settings s;
    s.volume[0] = 0.1;  // -20 dB
    s.volume[1] = 0.01;
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
    // but only a VST 2.4 host is told the partners' values to send back.
    s.linked = part == 2;
    testhost::Configure(*vst, s);
    const std::vector<float> ports = lv2host::PortsOf(ValuesOf(s));
    std::copy(ports.begin(), ports.end(), plug->control);
    // 1024 is longer than announced: a VST 2.4 host's position is the
    // block's start for each of its pieces, LV2's moves on, so the synced
    // part keeps to announced lengths.
    const std::vector<int> blocks = part != 1 ? std::vector<int>{480, 17, 1024, 1, 300} : std::vector<int>{480, 17, 1};
    const size_t start = part * frames / 3;
    auto position = [&](size_t at) {  // 120 beats a minute from beat 3
      const double beat = 3.0 + (start + at) * 2.0 / 48000.0;
      plug->QueuePosition(0, beat, 120.0, 1.0f);
      vst->EditScript([&](testhost::HostScript& h) {
        h.timeInfo = testhost::MakeTimeInfo(kVstTempoValid | kVstPpqPosValid | kVstTransportPlaying, 120.0, beat);
      });
    };
    const Audio in = Slice(input, start, (part + 1) * frames / 3);
    Audio expected(2, std::vector<float>(in[0].size()));
    for (size_t at = 0, b = 0; at < in[0].size(); ++b) {
      const size_t n = std::min(in[0].size() - at, static_cast<size_t>(blocks[b % blocks.size()]));
      position(at);
      testhost::FloatBuffers i = Slice(in, at, at + n), o(2, std::vector<float>(n));
      vst->ProcessReplacing(i, o);
      for (int c = 0; c < 2; ++c) std::copy(o[c].begin(), o[c].end(), expected[c].begin() + at);
      at += n;
    }
    EXPECT_EQ(plug->Render(in, blocks, position), expected) << "part " << part;
  }
}

}  // namespace
