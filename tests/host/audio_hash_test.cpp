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
  return fingerprint::HashRender<Sample>([&](int part, const std::vector<std::vector<Sample>>& in) {
    Configure(*plugin, fingerprint::PartSettings(part));
    if constexpr (sizeof(Sample) == sizeof(double)) {
      return RenderDouble(*plugin, in, fingerprint::kBlocks);
    } else {
      return RenderFloat(*plugin, in, fingerprint::kBlocks);
    }
  });
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
