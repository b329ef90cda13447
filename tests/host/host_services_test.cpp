// What the plug-in asks of the host: calls made while it is created, host
// identification, time info for "Sync to Host", and nothing unexpected.
#include <atomic>
#include <cmath>
#include <cstring>
#include <set>
#include <string>

#include "tests/host/HostTestSupport.h"

namespace testhost {
namespace {

using HostServices = HostTest;

std::vector<HostCall> CreationCalls(const PluginInstance& plugin) {
  std::vector<HostCall> out;
  for (const auto& c : plugin.Calls()) {
    if (c.duringCreation) out.push_back(c);
  }
  return out;
}

TEST_F(HostServices, CallsDuringCreationCarryTheNewRecord) {
  auto plugin = NewInstance();
  ASSERT_TRUE(plugin);
  const auto calls = CreationCalls(*plugin);
  // Loading the factory bank ends with a display update for the host.
  size_t displayUpdates = 0;
  for (const auto& c : calls) {
    EXPECT_EQ(c.effect, plugin->effect()) << "opcode " << c.opcode;
    EXPECT_EQ(c.thread, std::this_thread::get_id());
    if (c.opcode == audioMasterUpdateDisplay) ++displayUpdates;
  }
  EXPECT_GE(displayUpdates, 1u);
  EXPECT_TRUE(OrphanCalls().empty());
}

TEST_F(HostServices, InstancesCreatedOnManyThreadsAtOnce) {
  const int threads = 4;
  const int perThread = 3;
  std::vector<std::unique_ptr<PluginInstance>> plugins(threads * perThread);
  std::vector<std::thread::id> creators(plugins.size());
  std::atomic<int> ready{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      ready.fetch_add(1);
      while (ready.load() < threads) std::this_thread::yield();
      for (int i = 0; i < perThread; ++i) {
        const size_t slot = static_cast<size_t>(t * perThread + i);
        plugins[slot] = PluginInstance::Create(SharedModule());
        creators[slot] = std::this_thread::get_id();
      }
    });
  }
  for (auto& w : workers) w.join();

  std::set<AEffect*> records;
  for (size_t i = 0; i < plugins.size(); ++i) {
    ASSERT_TRUE(plugins[i]) << "instance " << i;
    EXPECT_TRUE(records.insert(plugins[i]->effect()).second);
    for (const auto& c : CreationCalls(*plugins[i])) {
      EXPECT_EQ(c.effect, plugins[i]->effect());
      EXPECT_EQ(c.thread, creators[i]);
    }
    EXPECT_EQ(plugins[i]->ProgramName(), "Weird Stereo Phasing");
  }
  EXPECT_TRUE(OrphanCalls().empty());
}

TEST_F(HostServices, OpenAsksForTheProductOnceAndItsVersionWhenNamed) {
  HostScript script;
  script.productString = "Cubase Pro";
  script.vendorVersion = 10203;
  auto plugin = NewInstance(script);
  ASSERT_TRUE(plugin);
  EXPECT_EQ(plugin->CountCalls(audioMasterGetProductString), 0u) << "asked before effOpen";
  plugin->Open();
  const auto product = plugin->CallsWith(audioMasterGetProductString);
  ASSERT_EQ(product.size(), 1u);
  EXPECT_TRUE(product[0].hasPtr);
  EXPECT_EQ(plugin->CountCalls(audioMasterGetVendorVersion), 1u);

  // Prepared once: a second open and ordinary use ask nothing more.
  plugin->Open();
  plugin->Start();
  FloatBuffers in(2, std::vector<float>(128, 0.0f));
  FloatBuffers out(2, std::vector<float>(128, 0.0f));
  plugin->ProcessReplacing(in, out);
  EXPECT_EQ(plugin->CountCalls(audioMasterGetProductString), 1u);
  EXPECT_EQ(plugin->CountCalls(audioMasterGetVendorVersion), 1u);
}

TEST_F(HostServices, AnUnnamedHostIsNotAskedForItsVersion) {
  auto plugin = NewInstance();  // empty product string
  ASSERT_TRUE(plugin);
  plugin->Open();
  plugin->Open();
  EXPECT_EQ(plugin->CountCalls(audioMasterGetProductString), 1u);
  EXPECT_EQ(plugin->CountCalls(audioMasterGetVendorVersion), 0u);
}

// Hosts whose kind rearranges channels from the third on; with two channels
// nothing changes.
TEST_F(HostServices, ChannelQuirkHostsKeepBothStereoChannels) {
  for (const char* product : {"Forte 3", "Adobe Audition", "Orion Platinum", "SAWStudio"}) {
    SCOPED_TRACE(product);
    HostScript script;
    script.productString = product;
    script.vendorVersion = 30000;
    auto plugin = Running(script);
    ASSERT_TRUE(plugin);
    EXPECT_EQ(plugin->effect()->numInputs, 2);
    EXPECT_EQ(plugin->effect()->numOutputs, 2);
    SetPassThrough(*plugin);
    FloatBuffers in = {Noise(256, 1, 0.5f), Noise(256, 2, 0.5f)};
    FloatBuffers out(2, std::vector<float>(256, 0.0f));
    plugin->ProcessReplacing(in, out);
    EXPECT_EQ(out, in);
  }
}

TEST_F(HostServices, TheVendorIsAskedOnceAtTheFirstChunkRequest) {
  HostScript script;
  script.vendorString = "Some Vendor";
  auto plugin = Running(script);
  ASSERT_TRUE(plugin);
  EXPECT_EQ(plugin->CountCalls(audioMasterGetVendorString), 0u);
  const auto bank = plugin->GetChunk(false);
  const auto program = plugin->GetChunk(true);
  plugin->SetChunk(program, true);
  EXPECT_EQ(plugin->CountCalls(audioMasterGetVendorString), 1u);
  EXPECT_TRUE(plugin->CallsWith(audioMasterGetVendorString)[0].hasPtr);
  EXPECT_GT(bank.size(), program.size());
}

// Hosts that mix up bank and program chunks get a program either way.
TEST_F(HostServices, ChunkQuirkHostsAlwaysGetAProgram) {
  for (const char* vendor : {"Native Instruments", "NATIVE INSTRUMENTS", "JUCE VST Host"}) {
    SCOPED_TRACE(vendor);
    HostScript script;
    script.vendorString = vendor;
    auto plugin = Running(script);
    ASSERT_TRUE(plugin);
    const auto asBank = plugin->GetChunk(false);
    const auto asProgram = plugin->GetChunk(true);
    ASSERT_FALSE(asProgram.empty());
    EXPECT_EQ(asBank, asProgram);
  }
  HostScript other;
  other.vendorString = "Native Instruments GmbH";  // not an exact match
  auto plugin = Running(other);
  ASSERT_TRUE(plugin);
  EXPECT_GT(plugin->GetChunk(false).size(), plugin->GetChunk(true).size());
}

void ProcessBlocks(PluginInstance& plugin, int blocks, VstInt32 frames) {
  for (int b = 0; b < blocks; ++b) {
    FloatBuffers in = {Sine(frames, 440.0, 44100.0, 0.3), Sine(frames, 660.0, 44100.0, 0.3)};
    FloatBuffers out(2, std::vector<float>(frames, 0.0f));
    plugin.ProcessReplacing(in, out);
    for (const auto& channel : out) {
      for (float s : channel) ASSERT_TRUE(std::isfinite(s));
    }
  }
}

TEST_F(HostServices, NoTimeRequestsWhileNotSynced) {
  HostScript script;
  script.timeInfo = MakeTimeInfo(kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid);
  auto plugin = Running(script);
  ASSERT_TRUE(plugin);
  plugin->SetParameter(kSyncToHost, 0.0f);
  plugin->ClearCalls();
  ProcessBlocks(*plugin, 4, 512);
  EXPECT_EQ(plugin->CountCalls(audioMasterGetTime), 0u);
}

TEST_F(HostServices, SyncedBlocksAskForTheTransportOnce) {
  HostScript script;
  script.timeInfo = MakeTimeInfo(kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid, 140.0, 8.0);
  auto plugin = Running(script);
  ASSERT_TRUE(plugin);
  plugin->SetParameter(kSyncToHost, 1.0f);
  plugin->ClearCalls();
  std::thread::id audioThread;
  std::thread t([&] {
    audioThread = std::this_thread::get_id();
    ProcessBlocks(*plugin, 4, 512);
    // A block of no frames still aligns with the host.
    FloatBuffers none(2, std::vector<float>(1, 0.0f));
    plugin->ProcessReplacing(none, none, 0);
  });
  t.join();
  const auto calls = plugin->CallsWith(audioMasterGetTime);
  ASSERT_EQ(calls.size(), 5u);
  for (const auto& c : calls) {
    EXPECT_EQ(c.value, 0x3E00);
    EXPECT_EQ(c.thread, audioThread);
  }
}

TEST_F(HostServices, SyncWithoutTimeInfoRunsAtTheDefaultTempo) {
  auto plugin = Running();  // the host answers null
  ASSERT_TRUE(plugin);
  plugin->SetParameter(kLfoWaveform, 0.2f);  // Triangle
  plugin->SetParameter(kSyncToHost, 1.0f);
  ProcessBlocks(*plugin, 8, 512);
  EXPECT_EQ(plugin->CountCalls(audioMasterGetTime), 8u);
}

// The synced LFO follows the song position: "1/16" square wave, shift 0 Hz
// on its low half and +5000 Hz on its high half. Two hosts standing at
// positions half a cycle apart hear different things.
TEST_F(HostServices, SongPositionDrivesTheSyncedLfo) {
  auto makeHost = [](double ppq) {
    HostScript script;
    script.timeInfo = MakeTimeInfo(kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid, 120.0, ppq);
    return script;
  };
  auto atCycleStart = Running(makeHost(0.0), 44100.0f, 2048);
  auto atHalfCycle = Running(makeHost(0.125), 44100.0f, 2048);  // 1/16 note = 0.25 quarter notes
  ASSERT_TRUE(atCycleStart && atHalfCycle);

  for (PluginInstance* p : {atCycleStart.get(), atHalfCycle.get()}) {
    p->SetParameter(kLink, 1.0f);
    p->SetParameter(kVolumeL, 0.5f);
    p->SetParameter(kMixL, 1.0f);
    p->SetParameter(kModeL, 1.0f);
    p->SetParameter(kFreqRange, 1.0f);  // 5000
    p->SetParameter(kFreqMinL, 0.5f);   // 0
    p->SetParameter(kFreqMaxL, 1.0f);   // 1
    p->SetParameter(kLfoWaveform, 0.4f);  // Square
    p->SetParameter(kLfoRate, 1.0f);      // "1/16" while synced
    p->SetParameter(kSyncToHost, 1.0f);
    ASSERT_EQ(p->ParamDisplay(kLfoRate), "1/16");
  }

  const std::vector<float> tone = Sine(2048, 1000.0, 44100.0, 0.5);
  std::vector<float> start;
  std::vector<float> half;
  // The first block starts the transport (phase 0 for both); the blocks after
  // it follow the song position.
  for (int block = 0; block < 4; ++block) {
    FloatBuffers in(2, tone);
    FloatBuffers a(2, std::vector<float>(2048, 0.0f));
    FloatBuffers b(2, std::vector<float>(2048, 0.0f));
    atCycleStart->ProcessReplacing(in, a);
    atHalfCycle->ProcessReplacing(in, b);
    start = a[0];
    half = b[0];
  }
  const double startShifted = ToneAmplitude(start.data(), start.size(), 6000.0, 44100.0);
  const double startPlain = ToneAmplitude(start.data(), start.size(), 1000.0, 44100.0);
  const double halfShifted = ToneAmplitude(half.data(), half.size(), 6000.0, 44100.0);
  const double halfPlain = ToneAmplitude(half.data(), half.size(), 1000.0, 44100.0);
  EXPECT_GT(startShifted, 10.0 * startPlain) << "square high: shifted by 5000 Hz";
  EXPECT_GT(halfPlain, 10.0 * halfShifted) << "square low: not shifted";
}

// Only the host services the plug-in is documented to use are ever asked.
TEST_F(HostServices, UsesOnlyTheDocumentedHostOpcodes) {
  HostScript script;
  script.productString = "REAPER";
  script.vendorString = "Cockos";
  script.vendorVersion = 60000;
  script.timeInfo = MakeTimeInfo(kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid | kVstBarsValid |
                                     kVstTimeSigValid | kVstCyclePosValid,
                                 128.0, 3.0);
  auto plugin = Running(script);
  ASSERT_TRUE(plugin);
  plugin->SetParameter(kSyncToHost, 1.0f);
  plugin->SetParameter(kLink, 0.0f);
  plugin->SetParameter(kLink, 1.0f);
  ProcessBlocks(*plugin, 3, 512);
  plugin->Dispatch(effSetProgram, 0, 5);
  const auto bank = plugin->GetChunk(false);
  plugin->SetChunk(bank, false);
  plugin->SetChunk(plugin->GetChunk(true), true);
  plugin->Dispatch(effEditIdle);
  plugin->Stop();
  plugin->Close();

  const std::set<VstInt32> documented = {audioMasterAutomate,           audioMasterWantMidi,
                                         audioMasterGetTime,            audioMasterProcessEvents,
                                         audioMasterGetCurrentProcessLevel, audioMasterGetVendorString,
                                         audioMasterGetProductString,   audioMasterGetVendorVersion,
                                         audioMasterUpdateDisplay,      audioMasterBeginEdit,
                                         audioMasterEndEdit};
  for (const auto& c : plugin->Calls()) EXPECT_TRUE(documented.count(c.opcode)) << "opcode " << c.opcode;
}

// A scripted answer replaces the built-in one: the plug-in copes with a host
// that fills the whole product buffer it was given.
TEST_F(HostServices, LongProductNamesAreSurvived) {
  HostScript script;
  script.overrides[audioMasterGetProductString] = [](const HostCall&, void* ptr) -> VstIntPtr {
    std::string name(255, 'x');
    name.replace(100, 6, "Reaper");
    std::memcpy(ptr, name.c_str(), name.size() + 1);
    return 1;
  };
  script.vendorVersion = 70000;
  auto plugin = Running(script);
  ASSERT_TRUE(plugin);
  EXPECT_EQ(plugin->CountCalls(audioMasterGetVendorVersion), 1u);
  EXPECT_EQ(plugin->Dispatch(effGetVstVersion), 2400);
}

}  // namespace
}  // namespace testhost
