// The sound through the CLAP binding is the VST 2.4 build's, bit for bit:
// single and double precision, blocks of every size, changes at their
// frame inside a block, the host's transport, and hosts that give fewer
// channels.
#include <algorithm>
#include <cmath>

#include "tests/host/RenderFingerprint.h"
#include "tests/plugin/clap/ClapTestSupport.h"

namespace claphost {
namespace {

using Audio = ClapTest;
namespace fingerprint = testhost::fingerprint;
using fingerprint::PartSettings;

// The VST 2.4 host tests' fixed render (every mode, sweeping LFOs, a linked
// stretch, blocks of 1 to 4096 frames) hashes to the values committed there
// for the VST 2.4 build: bit-identical audio in both precisions.
TEST_F(Audio, TheFixedRenderHashesToTheVst2BuildsValue) {
  for (bool useDouble : {true, false}) {
    auto plugin = Running(44100.0, 1024);
    ASSERT_TRUE(plugin);
    auto render = [&](int part, const auto& in) {
      Configure(*plugin, PartSettings(part));
      return RenderClap(*plugin, in, fingerprint::kBlocks);
    };
    const uint64_t hash = useDouble ? fingerprint::HashRender<double>(render) : fingerprint::HashRender<float>(render);
    EXPECT_EQ(hash, useDouble ? fingerprint::kDoubleRenderHash : fingerprint::kFloatRenderHash)
        << "got 0x" << std::hex << hash;
  }
}

// A change at frame k of a block sounds as a VST 2.4 host's change between
// a block of k frames and the rest; so does a transport event.
TEST_F(Audio, ChangesTakeEffectAtTheirFrame) {
  auto clap = Running();
  ASSERT_TRUE(clap);
  auto vst = Vst2();
  ASSERT_TRUE(vst);
  ref::Settings s = PartSettings(1);
  s.syncToHost = true;
  s.lfoRate = (17.0 / 19.0) * (17.0 / 19.0);
  Configure(*clap, s);
  testhost::Configure(*vst, s);
  const DoubleBuffers in = {ref::Noise(512 * 12, 5, 0.5), ref::Noise(512 * 12, 6, 0.5)};
  DoubleBuffers got(2, std::vector<double>(in[0].size())), want = got;
  for (size_t block = 0; block < 12; ++block) {
    const uint32_t split = static_cast<uint32_t>(37 * block + 5);  // 5 .. 412
    const double fmax = -0.8 + 0.13 * block;
    const bool playing = block >= 4;
    const double beats = playing ? 1.25 + 0.5 * block : 0.0;
    const clap_event_transport_t start =
        MakeTransport(CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_HAS_BEATS_TIMELINE |
                          (playing ? CLAP_TRANSPORT_IS_PLAYING : 0u), 128.0, beats);
    const clap_event_transport_t later = MakeTransport(start.flags, 128.0, beats + 0.25);
    EventList events;
    events.Value(split, testhost::kFreqMaxL, fmax);
    events.Transport(split, later);
    DoubleBuffers input = in;
    ASSERT_EQ(clap->ProcessDouble(input, got, 512, &events, &start, block * 512), CLAP_PROCESS_CONTINUE);

    const VstInt32 flags = kVstTempoValid | kVstPpqPosValid | (playing ? kVstTransportPlaying : 0);
    double* inputs[2] = {const_cast<double*>(in[0].data() + block * 512), const_cast<double*>(in[1].data() + block * 512)};
    double* outputs[2] = {want[0].data() + block * 512, want[1].data() + block * 512};
    vst->EditScript([&](testhost::HostScript& h) { h.timeInfo = testhost::MakeTimeInfo(flags, 128.0, beats); });
    vst->effect()->processDoubleReplacing(vst->effect(), inputs, outputs, static_cast<VstInt32>(split));
    testhost::SetExact(*vst, testhost::kFreqMaxL, fmax);
    vst->EditScript([&](testhost::HostScript& h) { h.timeInfo = testhost::MakeTimeInfo(flags, 128.0, beats + 0.25); });
    for (double*& p : inputs) p += split;
    for (double*& p : outputs) p += split;
    vst->effect()->processDoubleReplacing(vst->effect(), inputs, outputs, static_cast<VstInt32>(512 - split));
  }
  for (int c = 0; c < 2; ++c) EXPECT_EQ(FirstDifference(got[c], want[c]), -1) << "channel " << c;
}

// A free-running host (no transport) is the VST 2.4 host without time
// info; a playing one locks the LFO to its song position the same way.
TEST_F(Audio, TempoSyncFollowsTheTransport) {
  for (bool withTransport : {true, false}) {
    auto clap = Running();
    ASSERT_TRUE(clap);
    auto vst = Vst2();
    ASSERT_TRUE(vst);
    ref::Settings s = PartSettings(0);
    s.waveform = 4;
    s.syncToHost = true;
    s.lfoRate = (17.0 / 19.0) * (17.0 / 19.0);  // "1/8"
    Configure(*clap, s);
    testhost::Configure(*vst, s);
    const double tempo = 133.3337;
    auto beatsAt = [&](size_t frame) { return frame >= 4000 ? 2.5 + (frame - 4000) / 44100.0 * tempo / 60.0 : 0.0; };
    const DoubleBuffers in = {ref::Noise(30000, 60, 0.5), ref::Noise(30000, 61, 0.5)};
    clap_event_transport_t transport;
    const DoubleBuffers got = RenderClap<double>(*clap, in, {441, 300}, [&](size_t at, EventList&, const clap_event_transport_t** t) {
      if (!withTransport) return;
      const bool playing = at >= 4000;
      transport = MakeTransport(CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_HAS_BEATS_TIMELINE |
                                    (playing ? CLAP_TRANSPORT_IS_PLAYING : 0u), tempo, beatsAt(at));
      *t = &transport;
    });
    const DoubleBuffers want = testhost::RenderDouble(*vst, in, {441, 300}, [&](size_t at) {
      const bool playing = at >= 4000;
      // The fixed-point beat position the CLAP host sends, as a double.
      const double beats = static_cast<double>(std::llround(beatsAt(at) * CLAP_BEATTIME_FACTOR)) / CLAP_BEATTIME_FACTOR;
      vst->EditScript([&](testhost::HostScript& h) {
        if (withTransport)
          h.timeInfo = testhost::MakeTimeInfo(kVstTempoValid | kVstPpqPosValid | (playing ? kVstTransportPlaying : 0),
                                              tempo, beats);
        else
          h.timeInfo = std::nullopt;
      });
    });
    for (int c = 0; c < 2; ++c) EXPECT_EQ(FirstDifference(got[c], want[c]), -1) << "channel " << c << " transport " << withTransport;
  }
}

// A host with a mono input: the second input reads silence. A mono output:
// only the first channel is written.
TEST_F(Audio, FewerChannelsThanTheStereoPorts) {
  auto clap = Running();
  ASSERT_TRUE(clap);
  auto vst = Vst2();
  ASSERT_TRUE(vst);
  const ref::Settings s = PartSettings(3);
  Configure(*clap, s);
  testhost::Configure(*vst, s);
  const std::vector<double> noise = ref::Noise(1000, 9, 0.5);
  const std::vector<float> left(noise.begin(), noise.end());
  FloatBuffers mono = {left};
  FloatBuffers got(2, std::vector<float>(1000, 7.0f));
  ASSERT_EQ(clap->ProcessFloat(mono, got, 1000), CLAP_PROCESS_CONTINUE);
  FloatBuffers stereo = {left, std::vector<float>(1000, 0.0f)};
  const FloatBuffers want = testhost::RenderFloat(*vst, stereo, {1000});
  for (int c = 0; c < 2; ++c) EXPECT_EQ(FirstDifference(got[c], want[c]), -1) << "channel " << c;

  FloatBuffers one(1, std::vector<float>(500, 7.0f));
  FloatBuffers in = {left, left};
  ASSERT_EQ(clap->ProcessFloat(in, one, 500), CLAP_PROCESS_CONTINUE);
  EXPECT_NE(one[0][0], 7.0f);
}

TEST_F(Audio, BuffersOfMixedPrecisionAreRefusedAndNoBuffersAreFine) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  std::vector<float*> in32(2, nullptr);
  std::vector<float> a(64, 0.5f), b(64, 0.5f);
  in32[0] = a.data();
  in32[1] = b.data();
  std::vector<double> c(64), d(64);
  double* out64[2] = {c.data(), d.data()};
  clap_audio_buffer_t in{in32.data(), nullptr, 2, 0, 0}, out{nullptr, out64, 2, 0, 0};
  clap_process_t process;
  std::memset(&process, 0, sizeof process);
  process.frames_count = 64;
  process.audio_inputs = &in;
  process.audio_outputs = &out;
  process.audio_inputs_count = process.audio_outputs_count = 1;
  EventList events;
  events.Value(0, testhost::kMixL, 0.25);
  process.in_events = events.list();
  const clap_output_events_t none{nullptr, [](const clap_output_events_t*, const clap_event_header_t*) { return false; }};
  process.out_events = &none;
  EXPECT_EQ(plugin->plugin()->process(plugin->plugin(), &process), CLAP_PROCESS_ERROR);
  EXPECT_EQ(plugin->Value(testhost::kMixL), 0.25);  // the events still count

  std::vector<std::vector<double>> nothing;
  EventList more;
  more.Value(0, testhost::kMixL, 0.75);
  EXPECT_EQ(plugin->ProcessDouble(nothing, nothing, 128, &more), CLAP_PROCESS_CONTINUE);
  EXPECT_EQ(plugin->Value(testhost::kMixL), 0.75);
}

// A silent output says so: its channels are constant and the host may let
// the plug-in sleep while its input is quiet.
TEST_F(Audio, SilentOutputLetsTheHostSleep) {
  auto plugin = Running(44100.0, 512);
  ASSERT_TRUE(plugin);
  std::vector<std::vector<float>> in(2, std::vector<float>(512, 0.25f)), out(2, std::vector<float>(512));
  EXPECT_EQ(plugin->ProcessFloat(in, out, 512), CLAP_PROCESS_CONTINUE);
  EXPECT_EQ(plugin->ConstantMask(), 0u);
  for (auto& channel : in) std::fill(channel.begin(), channel.end(), 0.0f);
  clap_process_status status = CLAP_PROCESS_CONTINUE;
  for (int blocks = 0; blocks < 2000 && status == CLAP_PROCESS_CONTINUE; ++blocks)
    status = plugin->ProcessFloat(in, out, 512);
  ASSERT_EQ(status, CLAP_PROCESS_CONTINUE_IF_NOT_QUIET) << "the tail never died away";
  EXPECT_EQ(plugin->ConstantMask(), 3u);
  for (const auto& channel : out)
    EXPECT_TRUE(std::all_of(channel.begin(), channel.end(), [](float x) { return x == 0.0f; }));
}

// The host's bypass, switched in the middle of blocks: a fade to the input
// and back, with no click, and the effect's own bits outside the fades.
TEST_F(Audio, BypassFadesToTheInputAndBackWithoutAJump) {
  auto plugin = Running(44100.0, 1024);
  auto vst = Vst2();
  ASSERT_TRUE(plugin && vst);
  Configure(*plugin, PartSettings(2));
  testhost::Configure(*vst, PartSettings(2));
  const std::vector<float> sine = testhost::Sine(8192, 110.0, 44100.0, 0.8);
  const std::vector<std::vector<float>> in = {sine, sine};
  const std::vector<std::vector<float>> wet = testhost::RenderFloat(*vst, in, {1024});
  const uint32_t bypass = plugin->Info(15).id;
  const auto got = RenderClap(*plugin, in, {1024}, [&](size_t at, EventList& events, const clap_event_transport_t**) {
    if (at == 1024) events.Value(1500 - 1024, bypass, 1.0);
    if (at == 4096) events.Value(5000 - 4096, bypass, 0.0);
  });
  for (int c = 0; c < 2; ++c) testhost::ExpectBypassCrossfade(in[c], wet[c], got[c], 1500, 5000, 441);
}

}  // namespace
}  // namespace claphost
