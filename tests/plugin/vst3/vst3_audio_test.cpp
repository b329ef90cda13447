// The VST3 plug-in's audio against the VST 2.4 build's, bit for bit: the
// same settings and input in both precisions and odd block sizes,
// automation at its sample, the host's transport for the synced LFO, mono
// buses, buffers processed in place, and calls a careless host makes.
#include <algorithm>

#include "tests/host/RenderFingerprint.h"
#include "tests/plugin/vst3/Vst3TestSupport.h"

namespace vst3host {
namespace {

using namespace vst3;
using testhost::FirstDifference;
using testhost::ref::Settings;
using Audio = Vst3Test;

namespace fingerprint = testhost::fingerprint;
using fingerprint::kBlocks;  // 4096 is longer than announced
using fingerprint::PartSettings;

// The fixed render's input, its first `frames` frames.
template <typename Sample>
std::vector<std::vector<Sample>> Noise(size_t frames) {
  return fingerprint::InputFrames<Sample>(0, frames);
}

TEST_F(Audio, BitIdenticalToTheVst2BuildInBothPrecisions) {
  const DoubleBuffers in = Noise<double>(3 * 8192);
  const FloatBuffers inFloat = Noise<float>(3 * 8192);
  for (int variant = 0; variant < 4; ++variant) {
    Pair doubles = ConfiguredPair(PartSettings(variant), 48000.0, 1024, kSample64);
    Pair floats = ConfiguredPair(PartSettings(variant), 48000.0, 1024, kSample32);
    ASSERT_TRUE(doubles.vst3 && floats.vst3);
    const DoubleBuffers want = testhost::RenderDouble(*doubles.vst2, in, kBlocks);
    const DoubleBuffers got = Render(*doubles.vst3, in, kBlocks);
    const FloatBuffers wantFloat = testhost::RenderFloat(*floats.vst2, inFloat, kBlocks);
    const FloatBuffers gotFloat = Render(*floats.vst3, inFloat, kBlocks);
    for (int c = 0; c < 2; ++c) {
      EXPECT_EQ(FirstDifference(got[c], want[c]), -1) << "doubles, variant " << variant << " channel " << c;
      EXPECT_EQ(gotFloat[c], wantFloat[c]) << "floats, variant " << variant << " channel " << c;
    }
  }
}

TEST_F(Audio, AutomationAtItsSampleIsTheVst2BuildSetBetweenBlocks) {
  Pair pair = ConfiguredPair(PartSettings(0), 44100.0, 2048, kSample64);
  ASSERT_TRUE(pair.vst3);
  // Values a float holds exactly, so both builds get the same number.
  const struct {
    int offset;
    ParamID id;
    float value;
  } changes[] = {{0, testhost::kMixL, 0.25f}, {300, testhost::kFreqMaxL, 0.875f}, {300, testhost::kModeR, 0.5f},
                 {1000, testhost::kVolumeR, 0.375f}, {1500, testhost::kLfoWaveform, 0.4f}};
  const DoubleBuffers in = Noise<double>(2048);
  for (const auto& change : changes) pair.vst3->input.Add(change.id, change.offset, change.value);
  const DoubleBuffers got = Render(*pair.vst3, in, {2048});
  const std::vector<int> pieces = {300, 700, 500, 548};
  const DoubleBuffers want = testhost::RenderDouble(*pair.vst2, in, pieces, [&](size_t offset) {
    for (const auto& change : changes)
      if (static_cast<size_t>(change.offset) == offset)
        pair.vst2->SetParameter(static_cast<VstInt32>(change.id), change.value);
  });
  for (int c = 0; c < 2; ++c) EXPECT_EQ(FirstDifference(got[c], want[c]), -1) << "channel " << c;
}

TEST_F(Audio, TheHostsTransportDrivesTheSyncedLfoAsInTheVst2Build) {
  Settings s = PartSettings(1);
  s.syncToHost = true;
  s.lfoRate = 14.0 / 19.0 * (14.0 / 19.0);  // "1/4"
  Pair pair = ConfiguredPair(s, 44100.0, 1024, kSample64);
  ASSERT_TRUE(pair.vst3);
  pair.vst3->sendContext = true;
  const double tempo = 137.0;
  const int half = 512;
  // Blocks of 1024 for VST3, split at 512 by a change of "Mix L"; the VST 2.4
  // build gets the halves with the change between them and the song
  // position of each half. Stopped for four blocks, then playing.
  const DoubleBuffers in = Noise<double>(40 * 2 * half);
  DoubleBuffers want(2), got(2);
  for (size_t at = 0; at < in[0].size(); at += 2 * half) {
    const bool playing = at >= 8 * half;
    const double ppq = 8.0 + (playing ? (at - 8 * half) * tempo / (60.0 * 44100.0) : 0.0);
    ProcessContext& c = pair.vst3->context;
    c = ProcessContext{};
    c.state = ProcessContext::kTempoValid | ProcessContext::kProjectTimeMusicValid |
              (playing ? ProcessContext::kPlaying : 0u);
    c.tempo = tempo;
    c.projectTimeMusic = ppq;
    const float mix = (at / (2 * half)) % 2 ? 0.25f : 0.75f;
    pair.vst3->input.Add(testhost::kMixL, half, mix);
    const DoubleBuffers block = {std::vector<double>(in[0].begin() + at, in[0].begin() + at + 2 * half),
                                 std::vector<double>(in[1].begin() + at, in[1].begin() + at + 2 * half)};
    const DoubleBuffers b = Render(*pair.vst3, block, {2 * half});
    const DoubleBuffers a = testhost::RenderDouble(*pair.vst2, block, {half}, [&](size_t offset) {
      const double position = playing ? ppq + offset * tempo / (60.0 * 44100.0) : ppq;
      const VstInt32 flags = kVstTempoValid | kVstPpqPosValid | (playing ? kVstTransportPlaying : 0);
      pair.vst2->EditScript([&](testhost::HostScript& h) { h.timeInfo = testhost::MakeTimeInfo(flags, tempo, position); });
      if (offset == static_cast<size_t>(half)) pair.vst2->SetParameter(testhost::kMixL, mix);
    });
    for (int ch = 0; ch < 2; ++ch) {
      want[ch].insert(want[ch].end(), a[ch].begin(), a[ch].end());
      got[ch].insert(got[ch].end(), b[ch].begin(), b[ch].end());
    }
  }
  for (int ch = 0; ch < 2; ++ch) EXPECT_EQ(FirstDifference(got[ch], want[ch]), -1) << "channel " << ch;
}

TEST_F(Audio, MonoBusesAndBuffersProcessedInPlace) {
  const DoubleBuffers in = Noise<double>(4096);
  const DoubleBuffers leftOnly = {in[0], std::vector<double>(in[0].size(), 0.0)};
  Pair pair = ConfiguredPair(PartSettings(1), 44100.0, 1024, kSample64);
  ASSERT_TRUE(pair.vst3);
  const DoubleBuffers want = testhost::RenderDouble(*pair.vst2, leftOnly, {1024});

  // A mono input reads silence on the second channel.
  SpeakerArrangement mono = kMono, stereo = kStereo;
  Pair monoIn = ConfiguredPair(PartSettings(1), 44100.0, 1024, kSample64);
  monoIn.vst3->Stop();
  ASSERT_EQ(monoIn.vst3->processor->setBusArrangements(&mono, 1, &stereo, 1), kResultTrue);
  monoIn.vst3->Start(44100.0, 1024, kSample64);
  DoubleBuffers out(2, std::vector<double>(in[0].size()));
  for (size_t at = 0; at < in[0].size(); at += 1024) {
    double* inputs[1] = {const_cast<double*>(in[0].data() + at)};
    double* outputs[2] = {out[0].data() + at, out[1].data() + at};
    ASSERT_EQ(monoIn.vst3->Process(inputs, 1, outputs, 2, 1024), kResultOk);
  }
  for (int c = 0; c < 2; ++c) EXPECT_EQ(FirstDifference(out[c], want[c]), -1) << "mono in, channel " << c;

  // In place: the host's input buffers are its output buffers.
  Pair inPlace = ConfiguredPair(PartSettings(1), 44100.0, 1024, kSample64);
  DoubleBuffers buffers = leftOnly;
  for (size_t at = 0; at < in[0].size(); at += 1024) {
    double* io[2] = {buffers[0].data() + at, buffers[1].data() + at};
    ASSERT_EQ(inPlace.vst3->Process(io, 2, io, 2, 1024), kResultOk);
  }
  for (int c = 0; c < 2; ++c) EXPECT_EQ(FirstDifference(buffers[c], want[c]), -1) << "in place, channel " << c;
}

TEST_F(Audio, CarelessHostCallsAreAnsweredAndSurvived) {
  Pair pair = ConfiguredPair(PartSettings(3), 44100.0, 512, kSample32);
  ASSERT_TRUE(pair.vst3);
  Instance& p = *pair.vst3;
  ProcessSetup nonsense[] = {{kRealtime, kSample32, 512, 0.0}, {kRealtime, kSample32, 512, -44100.0},
                             {kRealtime, kSample32, 512, std::nan("")}, {kRealtime, kSample32, 0, 44100.0},
                             {kRealtime, 9, 512, 44100.0}};
  for (ProcessSetup& setup : nonsense) EXPECT_NE(p.processor->setupProcessing(setup), kResultOk);
  // Flushing parameters with no audio; a block with one input channel and
  // no outputs; a negative length.
  p.input.Add(testhost::kMixL, 0, 0.5);
  EXPECT_EQ(p.Process<float>(nullptr, 0, nullptr, 0, 0), kResultOk);
  std::vector<float> left(64, 0.25f);
  float* inputs[1] = {left.data()};
  EXPECT_EQ(p.Process<float>(inputs, 1, nullptr, 0, 64), kResultOk);
  EXPECT_EQ(p.Process<float>(nullptr, 0, nullptr, 0, -5), kInvalidArgument);
  // The VST 2.4 build given the same, and the audio after all that matches.
  pair.vst2->SetParameter(testhost::kMixL, 0.5f);
  testhost::RenderFloat(*pair.vst2, {left, std::vector<float>(64, 0.0f)}, {64});
  const FloatBuffers in = Noise<float>(2048);
  const FloatBuffers want = testhost::RenderFloat(*pair.vst2, in, {512});
  const FloatBuffers got = Render(p, in, {512});
  for (int c = 0; c < 2; ++c) EXPECT_EQ(got[c], want[c]) << "channel " << c;
}

// Outputs that are all zeros are flagged silent, and only those.
TEST_F(Audio, SilentOutputsAreFlagged) {
  auto plugin = Instance::Create();
  ASSERT_TRUE(plugin);
  plugin->Start(44100.0, 512);
  std::vector<float> l(512), r(512);
  float* io[2] = {l.data(), r.data()};
  auto block = [&](float level) {
    std::fill(l.begin(), l.end(), level);
    std::fill(r.begin(), r.end(), -level);
    plugin->Process(io, 2, io, 2, 512);
  };
  block(0.25f);
  EXPECT_EQ(plugin->silenceFlags, 0u);
  int blocks = 0;
  for (; blocks < 2000 && plugin->silenceFlags != 3u; ++blocks) block(0.0f);
  ASSERT_EQ(plugin->silenceFlags, 3u) << "the tail never died away";
  EXPECT_TRUE(std::all_of(l.begin(), l.end(), [](float x) { return x == 0.0f; }));
  EXPECT_TRUE(std::all_of(r.begin(), r.end(), [](float x) { return x == 0.0f; }));
  block(0.25f);
  EXPECT_EQ(plugin->silenceFlags, 0u);
}

// The host's bypass, switched in the middle of blocks: a fade to the input
// and back, with no click, and the effect's own bits outside the fades.
TEST_F(Audio, BypassFadesToTheInputAndBackWithoutAJump) {
  Pair pair = ConfiguredPair(PartSettings(2), 44100.0, 1024, kSample32);
  ASSERT_TRUE(pair.vst3);
  const std::vector<float> sine = testhost::Sine(8192, 110.0, 44100.0, 0.8);
  const FloatBuffers in = {sine, sine};
  const FloatBuffers wet = testhost::RenderFloat(*pair.vst2, in, {1024});
  const ParamID bypass = 0x42797073;
  const FloatBuffers got = Render(*pair.vst3, in, {1024}, [&](size_t at) {
    if (at == 1024) pair.vst3->input.Add(bypass, 1500 - 1024, 1.0);
    if (at == 4096) pair.vst3->input.Add(bypass, 5000 - 4096, 0.0);
  });
  for (int c = 0; c < 2; ++c) testhost::ExpectBypassCrossfade(in[c], wet[c], got[c], 1500, 5000, 441);
}

}  // namespace
}  // namespace vst3host
