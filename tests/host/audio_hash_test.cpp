// One fixed render hashes to the same value on Veltrane.so, Veltrane64.dll
// and Veltrane.dll: the builds compute bit-identical audio.
#include "tests/host/AudioSupport.h"

namespace testhost {
namespace {

using Fingerprint = HostTest;

// FNV-1a over the output bytes; computed once natively and confirmed on
// both Windows builds under Wine.
const uint64_t kDoubleRenderHash = 0x966616f5904bb4c7ull;
const uint64_t kFloatRenderHash = 0x444e569c73d20473ull;

// Parameters, input and block sizes of the fixed render: every mode, a
// sweeping LFO, a stretch with the channels linked.
void Script(PluginInstance& plugin, int part) {
  ref::Settings s;
  s.volume[0] = 1.75;
  s.volume[1] = 0.6;
  s.mix[0] = 0.8;
  s.mix[1] = 0.45;
  s.mode[0] = part % 3;
  s.mode[1] = (part + 1) % 3;
  s.rangeIndex = 3 - part % 4;
  s.freqMin[0] = -0.66;
  s.freqMax[0] = 0.71;
  s.freqMin[1] = 0.35;
  s.freqMax[1] = -0.9;
  s.waveform = 1 + part % 4;
  s.lfoRate = 0.45;
  s.linked = part == 2;
  Configure(plugin, s);
}

const std::vector<int> kBlocks = {256, 1, 7, 44, 512, 4096, 100, 33};
const size_t kFrames = 6 * 8192;

template <typename Sample>
uint64_t HashRender() {
  auto plugin = PluginInstance::Create(SharedModule());
  if (!plugin) {
    ADD_FAILURE() << "no instance";
    return 0;
  }
  plugin->Open();
  plugin->Start(44100.0f, 1024);
  const std::vector<double> left = ref::Noise(kFrames, 2024, 0.5), right = ref::Noise(kFrames, 4202, 0.5);
  uint64_t hash = ref::Fnv1a(nullptr, 0);
  for (int part = 0; part < 6; ++part) {
    Script(*plugin, part);
    const size_t from = part * kFrames / 6, to = (part + 1) * kFrames / 6;
    std::vector<std::vector<Sample>> in(2);
    in[0].assign(left.begin() + from, left.begin() + to);
    in[1].assign(right.begin() + from, right.begin() + to);
    std::vector<std::vector<Sample>> out;
    if constexpr (sizeof(Sample) == sizeof(double)) {
      out = RenderDouble(*plugin, in, kBlocks);
    } else {
      out = RenderFloat(*plugin, in, kBlocks);
    }
    // Interleaved, little-endian as in memory on every build.
    for (size_t i = 0; i < out[0].size(); ++i) {
      hash = ref::Fnv1a(&out[0][i], sizeof(Sample), hash);
      hash = ref::Fnv1a(&out[1][i], sizeof(Sample), hash);
    }
  }
  return hash;
}

TEST_F(Fingerprint, DoubleRenderHashesToTheCommittedValue) {
  const uint64_t hash = HashRender<double>();
  EXPECT_EQ(hash, kDoubleRenderHash) << "got 0x" << std::hex << hash;
}

TEST_F(Fingerprint, SingleRenderHashesToTheCommittedValue) {
  const uint64_t hash = HashRender<float>();
  EXPECT_EQ(hash, kFloatRenderHash) << "got 0x" << std::hex << hash;
}

}  // namespace
}  // namespace testhost
