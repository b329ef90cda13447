// One fixed render hashes to the same value on Veltrane.so, Veltrane64.dll
// and Veltrane.dll: the builds compute bit-identical audio.
#include "tests/host/AudioSupport.h"
#include "tests/host/RenderFingerprint.h"

namespace testhost {
namespace {

using Fingerprint = HostTest;

template <typename Sample>
uint64_t HashRender() {
  auto plugin = PluginInstance::Create(SharedModule());
  if (!plugin) {
    ADD_FAILURE() << "no instance";
    return 0;
  }
  plugin->Open();
  plugin->Start(44100.0f, 1024);
  const std::vector<double> left = fingerprint::Input(0), right = fingerprint::Input(1);
  uint64_t hash = ref::Fnv1a(nullptr, 0);
  for (int part = 0; part < fingerprint::kParts; ++part) {
    Configure(*plugin, fingerprint::PartSettings(part));
    const size_t from = part * fingerprint::kFrames / 6, to = (part + 1) * fingerprint::kFrames / 6;
    std::vector<std::vector<Sample>> in(2);
    in[0].assign(left.begin() + from, left.begin() + to);
    in[1].assign(right.begin() + from, right.begin() + to);
    std::vector<std::vector<Sample>> out;
    if constexpr (sizeof(Sample) == sizeof(double)) {
      out = RenderDouble(*plugin, in, fingerprint::kBlocks);
    } else {
      out = RenderFloat(*plugin, in, fingerprint::kBlocks);
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
  EXPECT_EQ(hash, fingerprint::kDoubleRenderHash) << "got 0x" << std::hex << hash;
}

TEST_F(Fingerprint, SingleRenderHashesToTheCommittedValue) {
  const uint64_t hash = HashRender<float>();
  EXPECT_EQ(hash, fingerprint::kFloatRenderHash) << "got 0x" << std::hex << hash;
}

}  // namespace
}  // namespace testhost
