// Shared pieces of the VST3 tests: the fixture, and the VST 2.4 build
// loaded beside the VST3 one, configured alike through its own interface,
// as the reference the VST3 plug-in must match bit for bit.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "tests/host/AudioSupport.h"
#include "tests/host/StateSupport.h"
#include "tests/plugin/vst3/Vst3Host.h"

namespace vst3host {

using testhost::DoubleBuffers;
using testhost::FloatBuffers;

class Vst3Test : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(SharedModule().factory(), nullptr) << SharedModule().error();
    ASSERT_NE(testhost::SharedModule().entry(), nullptr) << testhost::SharedModule().error();
  }
};

// A VST 2.4 instance set up as the reference's settings say (exact values,
// through its text entry) and a started VST3 instance loaded with the
// VST 2.4 instance's program chunk: the same settings to the last bit.
struct Pair {
  std::unique_ptr<testhost::PluginInstance> vst2;
  std::unique_ptr<Instance> vst3;
};

inline Pair ConfiguredPair(const testhost::ref::Settings& settings, double rate = 44100.0, int block = 1024,
                           int32_t sampleSize = vst3::kSample32) {
  Pair pair;
  pair.vst2 = testhost::PluginInstance::Create(testhost::SharedModule());
  pair.vst3 = Instance::Create();
  if (!pair.vst2 || !pair.vst3) return pair;
  pair.vst2->Open();
  pair.vst2->Start(static_cast<float>(rate), block);
  testhost::Configure(*pair.vst2, settings);
  pair.vst3->Start(rate, block, sampleSize);
  EXPECT_EQ(pair.vst3->SetState(pair.vst2->GetChunk(true)), vst3::kResultOk);
  return pair;
}

}  // namespace vst3host
