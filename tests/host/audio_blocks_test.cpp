// Where the host cuts its blocks must not be audible: the same input in any
// block sizes gives the same output, bit for bit.
#include "tests/host/AudioSupport.h"

namespace testhost {
namespace {

using Blocks = HostTest;

ref::Settings Sweeping() {
  ref::Settings s;
  s.volume[0] = 1.25;
  s.volume[1] = 0.8;
  s.mix[0] = 0.9;
  s.mix[1] = 0.6;
  s.mode[0] = 1;
  s.mode[1] = 0;
  s.rangeIndex = 3;
  s.freqMin[0] = -0.7;
  s.freqMax[0] = 0.55;
  s.freqMin[1] = 0.1;
  s.freqMax[1] = -0.8;
  s.waveform = 1;
  s.lfoRate = 0.6;
  return s;
}

std::unique_ptr<PluginInstance> Prepared(const ref::Settings& s, VstIntPtr announcedBlockSize) {
  auto plugin = PluginInstance::Create(SharedModule());
  if (!plugin) return plugin;
  plugin->Open();
  plugin->Start(44100.0f, announcedBlockSize);
  Configure(*plugin, s);
  return plugin;
}

TEST_F(Blocks, AnyBlockSizesGiveTheSameBits) {
  const size_t frames = 3 * 4096 + 123;
  const DoubleBuffers in = {ref::Noise(frames, 5, 0.5), ref::Noise(frames, 6, 0.5)};
  for (const ref::Settings& s : {Sweeping(), [] {
                                   ref::Settings linked = Sweeping();
                                   linked.linked = true;
                                   linked.waveform = 3;
                                   return linked;
                                 }()}) {
    auto whole = Prepared(s, 4096);
    ASSERT_TRUE(whole);
    const DoubleBuffers expected = RenderDouble(*whole, in, {4096});
    const std::vector<std::vector<int>> patterns = {{1}, {7}, {44}, {512}, {4096}, {1, 7, 44, 512, 4096, 3, 45}};
    for (const auto& pattern : patterns) {
      auto plugin = Prepared(s, 4096);
      ASSERT_TRUE(plugin);
      const DoubleBuffers got = RenderDouble(*plugin, in, pattern);
      for (int ch = 0; ch < 2; ++ch) {
        EXPECT_EQ(FirstDifference(got[ch], expected[ch]), -1)
            << "blocks of " << pattern[0] << (pattern.size() > 1 ? " and others" : "") << ", channel " << ch
            << ", linked " << s.linked;
      }
    }
  }
}

// A host may send more frames than it announced: nothing is dropped or
// repeated at the plug-in's internal boundaries.
TEST_F(Blocks, BlocksLongerThanAnnouncedGiveTheSameBits) {
  const size_t frames = 20000;
  const DoubleBuffers in = {ref::Noise(frames, 7, 0.5), ref::Noise(frames, 8, 0.5)};
  auto small = Prepared(Sweeping(), 64);
  auto reference = Prepared(Sweeping(), 4096);
  ASSERT_TRUE(small && reference);
  const DoubleBuffers expected = RenderDouble(*reference, in, {441});
  const DoubleBuffers got = RenderDouble(*small, in, {5000, 9000, 1});
  EXPECT_EQ(FirstDifference(got[0], expected[0]), -1);
  EXPECT_EQ(FirstDifference(got[1], expected[1]), -1);

  // The single-precision path converts, shifts and converts back the same
  // way whatever the block size.
  FloatBuffers fin(2);
  for (int ch = 0; ch < 2; ++ch) fin[ch].assign(in[ch].begin(), in[ch].end());
  auto a = Prepared(Sweeping(), 64);
  auto b = Prepared(Sweeping(), 4096);
  ASSERT_TRUE(a && b);
  const FloatBuffers longBlocks = RenderFloat(*a, fin, {7000, 13000});
  const FloatBuffers shortBlocks = RenderFloat(*b, fin, {1, 7, 44, 512, 4096});
  EXPECT_EQ(longBlocks, shortBlocks);
}

}  // namespace
}  // namespace testhost
