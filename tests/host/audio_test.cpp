// Audio through the three processing functions of the effect record.
#include <cmath>

#include "tests/host/HostTestSupport.h"

namespace testhost {
namespace {

using Audio = HostTest;

FloatBuffers StereoNoise(size_t frames, uint32_t seed) {
  return {Noise(frames, seed, 0.5f), Noise(frames, seed * 7919u + 17u, 0.5f)};
}

DoubleBuffers ToDouble(const FloatBuffers& in) {
  DoubleBuffers out;
  for (const auto& channel : in) out.emplace_back(channel.begin(), channel.end());
  return out;
}

TEST_F(Audio, ReplacingOverwritesTheOutput) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  SetPassThrough(*plugin);
  FloatBuffers in = StereoNoise(512, 1);
  FloatBuffers out(2, std::vector<float>(512, 123.0f));
  plugin->ProcessReplacing(in, out);
  EXPECT_EQ(out[0], in[0]);
  EXPECT_EQ(out[1], in[1]);
}

TEST_F(Audio, VolumeScalesEachChannel) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  SetPassThrough(*plugin);
  plugin->SetParameter(kVolumeL, 1.0f);  // 4.0, +12 dB
  FloatBuffers in = StereoNoise(512, 2);
  FloatBuffers out(2, std::vector<float>(512, 0.0f));
  plugin->ProcessReplacing(in, out);
  for (size_t i = 0; i < 512; ++i) {
    ASSERT_EQ(out[0][i], 4.0f * in[0][i]) << "frame " << i;
    ASSERT_EQ(out[1][i], in[1][i]) << "frame " << i;
  }
}

TEST_F(Audio, ProcessAddsToTheOutput) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  SetPassThrough(*plugin);
  FloatBuffers in = StereoNoise(512, 3);
  FloatBuffers out(2, std::vector<float>(512, 0.25f));
  plugin->Process(in, out);
  for (int c = 0; c < 2; ++c) {
    for (size_t i = 0; i < 512; ++i) ASSERT_FLOAT_EQ(out[c][i], 0.25f + in[c][i]) << "channel " << c << " frame " << i;
  }
}

// Whatever the effect computes: process() leaves K + what processReplacing
// writes, for twin instances fed the same audio.
TEST_F(Audio, ProcessIsTheConstantPlusTheReplacingResult) {
  auto replacing = Running();
  auto accumulating = Running();
  ASSERT_TRUE(replacing && accumulating);
  const float k = 0.25f;
  for (uint32_t block = 0; block < 8; ++block) {
    FloatBuffers in = StereoNoise(512, 100 + block);
    FloatBuffers a(2, std::vector<float>(512, -7.0f));
    FloatBuffers b(2, std::vector<float>(512, k));
    replacing->ProcessReplacing(in, a);
    accumulating->Process(in, b);
    for (int c = 0; c < 2; ++c) {
      for (size_t i = 0; i < 512; ++i) {
        ASSERT_FLOAT_EQ(b[c][i], k + a[c][i]) << "block " << block << " channel " << c << " frame " << i;
      }
    }
  }
}

// The double path runs the same arithmetic on the host's buffers, so its
// result rounded to single precision is what the single path delivers.
TEST_F(Audio, DoublePathMatchesTheSinglePath) {
  auto single = Running();
  auto twin = Running();
  ASSERT_TRUE(single && twin);
  for (uint32_t block = 0; block < 8; ++block) {
    FloatBuffers in = StereoNoise(512, 200 + block);
    DoubleBuffers din = ToDouble(in);
    FloatBuffers out(2, std::vector<float>(512, 0.0f));
    DoubleBuffers dout(2, std::vector<double>(512, 99.0));
    single->ProcessReplacing(in, out);
    twin->ProcessDouble(din, dout);
    for (int c = 0; c < 2; ++c) {
      for (size_t i = 0; i < 512; ++i) {
        ASSERT_EQ(static_cast<float>(dout[c][i]), out[c][i]) << "block " << block << " channel " << c << " frame " << i;
      }
    }
  }
}

TEST_F(Audio, DoublePathKeepsDoublePrecision) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  SetPassThrough(*plugin);
  DoubleBuffers in(2, std::vector<double>(256));
  for (size_t i = 0; i < 256; ++i) {
    in[0][i] = 0.1 + 1e-12 * static_cast<double>(i);  // not representable in single precision
    in[1][i] = -0.3 / (1.0 + static_cast<double>(i));
  }
  DoubleBuffers out(2, std::vector<double>(256, 5.0));
  plugin->ProcessDouble(in, out);
  EXPECT_EQ(out[0], in[0]);
  EXPECT_EQ(out[1], in[1]);
}

TEST_F(Audio, InPlaceProcessingGivesTheSameResult) {
  auto separate = Running();
  auto inPlace = Running();
  auto separateDouble = Running();
  auto inPlaceDouble = Running();
  ASSERT_TRUE(separate && inPlace && separateDouble && inPlaceDouble);
  for (uint32_t block = 0; block < 4; ++block) {
    FloatBuffers in = StereoNoise(512, 300 + block);
    FloatBuffers out(2, std::vector<float>(512, 0.0f));
    separate->ProcessReplacing(in, out);
    FloatBuffers shared = in;
    inPlace->ProcessReplacing(shared, shared);
    EXPECT_EQ(shared, out) << "block " << block;

    DoubleBuffers din = ToDouble(in);
    DoubleBuffers dout(2, std::vector<double>(512, 0.0));
    separateDouble->ProcessDouble(din, dout);
    DoubleBuffers dshared = din;
    inPlaceDouble->ProcessDouble(dshared, dshared);
    EXPECT_EQ(dshared, dout) << "block " << block;
  }
}

TEST_F(Audio, EveryFactoryProgramTurnsSilenceIntoSilence) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  for (VstIntPtr program = 0; program < 32; ++program) {
    plugin->Dispatch(effSetProgram, 0, program);
    for (int block = 0; block < 4; ++block) {
      FloatBuffers in(2, std::vector<float>(1024, 0.0f));
      FloatBuffers out(2, std::vector<float>(1024, 1.0f));
      plugin->ProcessReplacing(in, out);
      for (int c = 0; c < 2; ++c) {
        for (float s : out[c]) ASSERT_EQ(s, 0.0f) << "program " << program << " channel " << c;
      }
    }
  }
}

TEST_F(Audio, EveryFactoryProgramStaysFiniteAndBounded) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  for (VstIntPtr program = 0; program < 32; ++program) {
    plugin->Dispatch(effSetProgram, 0, program);
    for (uint32_t block = 0; block < 8; ++block) {
      FloatBuffers in = StereoNoise(1024, 400 + block);
      FloatBuffers out(2, std::vector<float>(1024, 0.0f));
      plugin->ProcessReplacing(in, out);
      for (int c = 0; c < 2; ++c) {
        for (float s : out[c]) {
          ASSERT_TRUE(std::isfinite(s)) << "program " << program;
          // Unit-gain allpass chains, volume at most 4: far below 16.
          ASSERT_LT(std::fabs(s), 16.0f) << "program " << program;
        }
      }
    }
  }
}

TEST_F(Audio, UnconnectedSecondInputReadsSilence) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  SetPassThrough(*plugin);
  VstSpeakerArrangement mono{};
  mono.type = kSpeakerArrMono;
  mono.numChannels = 1;
  VstSpeakerArrangement stereo{};
  stereo.type = kSpeakerArrStereo;
  stereo.numChannels = 2;
  ASSERT_EQ(plugin->Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&mono), &stereo), 1);

  // The host passes a second buffer anyway; it must not be read.
  FloatBuffers in = {Noise(512, 5, 0.5f), std::vector<float>(512, 0.75f)};
  FloatBuffers out(2, std::vector<float>(512, 3.0f));
  plugin->ProcessReplacing(in, out);
  EXPECT_EQ(out[0], in[0]);
  EXPECT_EQ(out[1], std::vector<float>(512, 0.0f));

  DoubleBuffers din = ToDouble(in);
  DoubleBuffers dout(2, std::vector<double>(512, 3.0));
  plugin->ProcessDouble(din, dout);
  EXPECT_EQ(dout[0], din[0]);
  EXPECT_EQ(dout[1], std::vector<double>(512, 0.0));

  // Reconnected, the second input is heard again.
  ASSERT_EQ(plugin->Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&stereo), &stereo), 1);
  plugin->ProcessReplacing(in, out);
  EXPECT_EQ(out[1], in[1]);
}

TEST_F(Audio, OneConnectedInputBufferIsEnough) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  SetPassThrough(*plugin);
  VstSpeakerArrangement mono{};
  mono.type = kSpeakerArrMono;
  mono.numChannels = 1;
  VstSpeakerArrangement stereo{};
  stereo.type = kSpeakerArrStereo;
  stereo.numChannels = 2;
  ASSERT_EQ(plugin->Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&mono), &stereo), 1);
  FloatBuffers in = {Noise(256, 6, 0.5f)};  // a pointer array of exactly one entry
  FloatBuffers out(2, std::vector<float>(256, 3.0f));
  plugin->ProcessReplacing(in, out);
  EXPECT_EQ(out[0], in[0]);
  EXPECT_EQ(out[1], std::vector<float>(256, 0.0f));
}

TEST_F(Audio, UnconnectedSecondOutputIsNotWritten) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  SetPassThrough(*plugin);
  VstSpeakerArrangement mono{};
  mono.type = kSpeakerArrMono;
  mono.numChannels = 1;
  VstSpeakerArrangement stereo{};
  stereo.type = kSpeakerArrStereo;
  stereo.numChannels = 2;
  ASSERT_EQ(plugin->Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&stereo), &mono), 1);
  FloatBuffers in = StereoNoise(512, 7);
  FloatBuffers out(2, std::vector<float>(512, 9.0f));
  plugin->ProcessReplacing(in, out);
  EXPECT_EQ(out[0], in[0]);
  EXPECT_EQ(out[1], std::vector<float>(512, 9.0f));
  plugin->Process(in, out);
  EXPECT_EQ(out[1], std::vector<float>(512, 9.0f));
}

TEST_F(Audio, ZeroFrameBlocksTouchNothing) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  SetPassThrough(*plugin);
  FloatBuffers in = StereoNoise(16, 8);
  FloatBuffers out(2, std::vector<float>(16, 42.0f));
  plugin->ProcessReplacing(in, out, 0);
  plugin->Process(in, out, 0);
  EXPECT_EQ(out, FloatBuffers(2, std::vector<float>(16, 42.0f)));
  DoubleBuffers din = ToDouble(in);
  DoubleBuffers dout(2, std::vector<double>(16, 42.0));
  plugin->ProcessDouble(din, dout, 0);
  EXPECT_EQ(dout, DoubleBuffers(2, std::vector<double>(16, 42.0)));
  // And the next real block is processed normally.
  plugin->ProcessReplacing(in, out);
  EXPECT_EQ(out, in);
}

// effSetBlockSize announces 64 frames; a host that then sends 5000 must get
// all 5000 processed and nothing written past its buffers.
TEST_F(Audio, BlockLargerThanAnnounced) {
  const VstInt32 frames = 5000;
  const size_t guard = 256;
  auto plugin = Running({}, 44100.0f, 64);
  ASSERT_TRUE(plugin);
  SetPassThrough(*plugin);

  FloatBuffers in = {Noise(frames + guard, 9, 0.5f), Noise(frames + guard, 10, 0.5f)};
  FloatBuffers out(2, std::vector<float>(frames + guard, -1.0f));
  plugin->ProcessReplacing(in, out, frames);
  for (int c = 0; c < 2; ++c) {
    for (VstInt32 i = 0; i < frames; ++i) ASSERT_EQ(out[c][i], in[c][i]) << "channel " << c << " frame " << i;
    for (size_t i = frames; i < frames + guard; ++i) ASSERT_EQ(out[c][i], -1.0f) << "wrote past the block";
  }

  FloatBuffers acc(2, std::vector<float>(frames + guard, 1.0f));
  plugin->Process(in, acc, frames);
  for (int c = 0; c < 2; ++c) {
    for (VstInt32 i = 0; i < frames; ++i) ASSERT_FLOAT_EQ(acc[c][i], 1.0f + in[c][i]);
    for (size_t i = frames; i < frames + guard; ++i) ASSERT_EQ(acc[c][i], 1.0f) << "wrote past the block";
  }

  DoubleBuffers din = ToDouble(in);
  DoubleBuffers dout(2, std::vector<double>(frames + guard, -1.0));
  plugin->ProcessDouble(din, dout, frames);
  for (int c = 0; c < 2; ++c) {
    for (VstInt32 i = 0; i < frames; ++i) ASSERT_EQ(dout[c][i], din[c][i]);
    for (size_t i = frames; i < frames + guard; ++i) ASSERT_EQ(dout[c][i], -1.0) << "wrote past the block";
  }
}

TEST_F(Audio, ProcessingBeforeTheHostSwitchesOnIsSurvived) {
  auto unopened = NewInstance();
  ASSERT_TRUE(unopened);
  FloatBuffers in = StereoNoise(512, 11);
  FloatBuffers out(2, std::vector<float>(512, 0.0f));
  unopened->ProcessReplacing(in, out);
  for (const auto& channel : out) {
    for (float s : channel) ASSERT_TRUE(std::isfinite(s));
  }

  auto opened = NewInstance();
  ASSERT_TRUE(opened);
  opened->Open();
  opened->Process(in, out);
  DoubleBuffers din = ToDouble(in);
  DoubleBuffers dout(2, std::vector<double>(512, 0.0));
  opened->ProcessDouble(din, dout);
  for (const auto& channel : dout) {
    for (double s : channel) ASSERT_TRUE(std::isfinite(s));
  }
}

TEST_F(Audio, EveryBlockAsksForMidiOnTheAudioThread) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  plugin->ClearCalls();
  std::thread::id audioThread;
  std::thread t([&] {
    audioThread = std::this_thread::get_id();
    FloatBuffers in = StereoNoise(256, 12);
    FloatBuffers out(2, std::vector<float>(256, 0.0f));
    plugin->ProcessReplacing(in, out);
    plugin->Process(in, out);
    DoubleBuffers din = ToDouble(in);
    DoubleBuffers dout(2, std::vector<double>(256, 0.0));
    plugin->ProcessDouble(din, dout);
  });
  t.join();
  const auto calls = plugin->CallsWith(audioMasterWantMidi);
  ASSERT_EQ(calls.size(), 3u);
  for (const auto& c : calls) {
    EXPECT_EQ(c.thread, audioThread);
    EXPECT_EQ(c.effect, plugin->effect());
  }
}

// What a listener hears: the factory programs "Plus 250Hz" and "Minus 250Hz"
// move a 1 kHz tone by 250 Hz, at about -6 dB, without the mirror image.
struct ShiftCase {
  VstIntPtr program;
  float sampleRate;
  double expectedHz;
  double imageHz;
};

void PrintTo(const ShiftCase& c, std::ostream* os) {
  *os << "program " << c.program << " at " << c.sampleRate << " Hz";
}

class FactoryShift : public HostTest, public ::testing::WithParamInterface<ShiftCase> {};

TEST_P(FactoryShift, MovesAToneByTheProgramsShift) {
  const ShiftCase c = GetParam();
  auto plugin = Running({}, c.sampleRate, 512);
  ASSERT_TRUE(plugin);
  plugin->Dispatch(effSetProgram, 0, c.program);

  const size_t total = static_cast<size_t>(c.sampleRate);  // one second
  const std::vector<float> tone = Sine(total, 1000.0, c.sampleRate, 0.5);
  FloatBuffers result(2, std::vector<float>(total, 0.0f));
  for (size_t start = 0; start < total; start += 512) {
    const size_t n = std::min<size_t>(512, total - start);
    FloatBuffers in(2, std::vector<float>(tone.begin() + start, tone.begin() + start + n));
    FloatBuffers out(2, std::vector<float>(n, 0.0f));
    plugin->ProcessReplacing(in, out);
    for (int ch = 0; ch < 2; ++ch) std::copy(out[ch].begin(), out[ch].end(), result[ch].begin() + start);
  }
  const size_t skip = 4096;  // let the allpass chains settle
  for (int ch = 0; ch < 2; ++ch) {
    const float* x = result[ch].data() + skip;
    const size_t n = total - skip;
    const double shifted = ToneAmplitude(x, n, c.expectedHz, c.sampleRate);
    const double original = ToneAmplitude(x, n, 1000.0, c.sampleRate);
    const double image = ToneAmplitude(x, n, c.imageHz, c.sampleRate);
    EXPECT_NEAR(shifted, 0.5 * 0.5, 0.03) << "channel " << ch;
    EXPECT_LT(original, 0.05 * shifted) << "channel " << ch;
    EXPECT_LT(image, 0.05 * shifted) << "channel " << ch;
  }
}

INSTANTIATE_TEST_SUITE_P(Programs, FactoryShift,
                         ::testing::Values(ShiftCase{14, 44100.0f, 1250.0, 750.0},
                                           ShiftCase{9, 44100.0f, 750.0, 1250.0},
                                           ShiftCase{14, 48000.0f, 1250.0, 750.0},
                                           ShiftCase{9, 96000.0f, 750.0, 1250.0}));

}  // namespace
}  // namespace testhost
