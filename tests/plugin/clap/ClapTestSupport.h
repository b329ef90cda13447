// Shared pieces of the CLAP tests: the fixture that loads Veltrane.clap
// (VELTRANE_CLAP) beside the VST 2.4 build (VELTRANE_PLUGIN) it is compared
// with, settings as host events, and rendering in blocks through both.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "tests/host/AudioSupport.h"
#include "tests/plugin/clap/ClapTestHost.h"

namespace claphost {

using testhost::DoubleBuffers;
using testhost::FloatBuffers;
namespace ref = testhost::ref;

class ClapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ClapModule& module = SharedClapModule();
    ASSERT_NE(module.factory(), nullptr) << "VELTRANE_CLAP=" << ClapPath() << ": " << module.error();
  }
  // Created, initialised and processing at the rate.
  std::unique_ptr<ClapInstance> Running(double rate = 44100.0, uint32_t maxFrames = 1024) {
    auto plugin = ClapInstance::Create();
    if (plugin && !plugin->Activate(rate, maxFrames)) plugin.reset();
    return plugin;
  }
  // The VST 2.4 build, for comparisons.
  std::unique_ptr<testhost::PluginInstance> Vst2(float rate = 44100.0f, VstIntPtr block = 1024) {
    const testhost::PluginModule& module = testhost::SharedModule();
    if (module.entry() == nullptr) {
      ADD_FAILURE() << "VELTRANE_PLUGIN: " << module.error();
      return nullptr;
    }
    auto plugin = testhost::PluginInstance::Create(module);
    if (plugin) {
      plugin->Open();
      plugin->Start(rate, block);
    }
    return plugin;
  }
};

// The reference's settings as parameter events, in the order the VST 2.4
// tests' Configure sets them (link last, so the right side follows).
inline void SettingsEvents(EventList& events, const ref::Settings& s, uint32_t time = 0) {
  using namespace testhost;
  events.Value(time, kLink, 0.0);
  events.Value(time, kSyncToHost, s.syncToHost ? 1.0 : 0.0);
  for (int ch = 0; ch < 2; ++ch) {
    events.Value(time, kVolumeL + ch, s.volume[ch]);
    events.Value(time, kMixL + ch, s.mix[ch]);
    events.Value(time, kModeL + ch, s.mode[ch]);
    events.Value(time, kFreqMinL + ch, s.freqMin[ch]);
    events.Value(time, kFreqMaxL + ch, s.freqMax[ch]);
  }
  events.Value(time, kFreqRange, s.rangeIndex);
  events.Value(time, kLfoWaveform, s.waveform);
  events.Value(time, kLfoRate, s.lfoRate);
  if (s.linked) events.Value(time, kLink, 1.0);
}

inline void Configure(ClapInstance& plugin, const ref::Settings& s) {
  EventList events;
  SettingsEvents(events, s);
  plugin.Flush(&events);
}

// Renders through the CLAP plug-in in blocks whose sizes cycle through
// `blocks`; beforeBlock(offset) may fill the block's events and transport.
template <typename Sample>
std::vector<std::vector<Sample>> RenderClap(
    ClapInstance& plugin, const std::vector<std::vector<Sample>>& in, const std::vector<int>& blocks,
    const std::function<void(size_t, EventList&, const clap_event_transport_t**)>& beforeBlock = nullptr) {
  const size_t frames = in[0].size();
  std::vector<std::vector<Sample>> input = in;
  std::vector<std::vector<Sample>> out(in.size(), std::vector<Sample>(frames, Sample(0)));
  size_t at = 0;
  for (size_t b = 0; at < frames; ++b) {
    const size_t n = std::min(frames - at, static_cast<size_t>(blocks[b % blocks.size()]));
    EventList events;
    const clap_event_transport_t* transport = nullptr;
    if (beforeBlock) beforeBlock(at, events, &transport);
    clap_process_status status;
    if constexpr (sizeof(Sample) == sizeof(double))
      status = plugin.ProcessDouble(input, out, static_cast<uint32_t>(n), &events, transport, at);
    else
      status = plugin.ProcessFloat(input, out, static_cast<uint32_t>(n), &events, transport, at);
    EXPECT_EQ(status, CLAP_PROCESS_CONTINUE);
    at += n;
  }
  return out;
}

// Bitwise equality of two renders; the first differing frame, or -1.
template <typename Sample>
long FirstDifference(const std::vector<Sample>& a, const std::vector<Sample>& b) {
  if (a.size() != b.size()) return 0;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::memcmp(&a[i], &b[i], sizeof(Sample)) != 0) return static_cast<long>(i);
  return -1;
}

}  // namespace claphost
