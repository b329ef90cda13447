// Records written by older versions, and the hosts that send banks as
// programs.
#include <set>

#include "tests/host/AudioSupport.h"
#include "tests/host/StateSupport.h"

namespace testhost {
namespace {

using StateLayouts = HostTest;

// Sync to Host on, so that layouts without it visibly switch it off.
Values Current() {
  Values v = DistinctValues();
  v[kSyncToHost] = 1;
  return v;
}

Values Older() {
  return {0, 0.25, 3.25, 0.75, 0.25, 1, 0, 2, 0.5, -0.5, -0.75, 0.125, 2, 0.5, 0};
}

std::unique_ptr<PluginInstance> WithSyncOn() {
  auto plugin = PluginInstance::Create(SharedModule());
  if (!plugin) return plugin;
  plugin->Open();
  plugin->Start();
  EXPECT_EQ(plugin->SetChunk(ProgramChunk(Record201(Current()), "Before"), true), 1);
  EXPECT_EQ(ValuesOf(*plugin), Current());
  return plugin;
}

// Each record is followed by a name: the plug-in finds it only if it read
// exactly the record's length (T + 8 + n + 120, T + 120, 112 bytes).
TEST_F(StateLayouts, EveryLayoutIsReadToItsEnd) {
  {
    auto plugin = WithSyncOn();
    ASSERT_TRUE(plugin);
    Values v = Older();
    v[kSyncToHost] = 1;
    EXPECT_EQ(plugin->SetChunk(ProgramChunk(Record201(v, 3, "Laser Beam"), "After 2.0.1"), true), 1);
    EXPECT_EQ(ValuesOf(*plugin), v);
    EXPECT_EQ(plugin->ProgramName(), "After 2.0.1");
  }
  {
    auto plugin = WithSyncOn();
    ASSERT_TRUE(plugin);
    EXPECT_EQ(plugin->SetChunk(ProgramChunk(Record200(Older()), "After 2.0.0"), true), 1);
    EXPECT_EQ(ValuesOf(*plugin), Older());
    EXPECT_EQ(plugin->ProgramName(), "After 2.0.0");
  }
  {
    auto plugin = WithSyncOn();
    ASSERT_TRUE(plugin);
    Values v = Older();
    v[kSyncToHost] = 1;  // not in the record: must end up Off
    EXPECT_EQ(plugin->SetChunk(ProgramChunk(RecordUntagged(v), "After untagged"), true), 1);
    v[kSyncToHost] = 0;
    EXPECT_EQ(ValuesOf(*plugin), v);
    EXPECT_EQ(plugin->ProgramName(), "After untagged");
  }
}

TEST_F(StateLayouts, OldestChunksWithoutHeaderOrName) {
  auto plugin = WithSyncOn();
  ASSERT_TRUE(plugin);
  // Bare 14 doubles, as a host saved them long ago, as program and as bank.
  for (bool program : {true, false}) {
    EXPECT_EQ(plugin->SetChunk(RecordUntagged(Older()), program), 1);
    EXPECT_EQ(ValuesOf(*plugin), Older());
    EXPECT_EQ(plugin->ProgramName(), "Before") << "no name in the data: the name stays";
    EXPECT_EQ(plugin->SetChunk(ProgramChunk(Record201(Current()), "Before"), true), 1);
  }
  // A bare 2.0.0 record.
  EXPECT_EQ(plugin->SetChunk(Record200(Older()), true), 1);
  EXPECT_EQ(ValuesOf(*plugin), Older());
}

// A record cut short anywhere is refused whole: the values, the program
// and its name stay as they were.
TEST_F(StateLayouts, RecordMissingItsLastValue) {
  auto plugin = WithSyncOn();
  ASSERT_TRUE(plugin);
  for (size_t cut : {size_t{8}, size_t{8 * 6 + 3}, size_t{1}}) {
    Bytes record = Record201(Older());
    record.resize(record.size() - cut);
    EXPECT_EQ(plugin->SetChunk(ChunkWriter().Header().Raw(record).bytes, true), 0) << "cut " << cut;
    EXPECT_EQ(ValuesOf(*plugin), Current()) << "cut " << cut;
    EXPECT_EQ(plugin->ProgramName(), "Before") << "cut " << cut;
  }
}

TEST_F(StateLayouts, ValuesAreLimitedToTheirRanges) {
  auto plugin = WithSyncOn();
  ASSERT_TRUE(plugin);
  const Values wild = {7, -3, 100, 2, -1, 9, -9, 12, -5, 5, 1.5, -1.5, 99, 1e300, -4};
  const Values limited = {1, 0, 4, 1, 0, 2, 0, 3, -1, 1, 1, -1, 5, 1, 0};
  EXPECT_EQ(plugin->SetChunk(ProgramChunk(Record201(wild), "Wild"), true), 1);
  // "Link L+R" is on, so the right side follows the (limited) left side.
  Values linked = limited;
  linked[kVolumeR] = limited[kVolumeL];
  linked[kMixR] = limited[kMixL];
  linked[kModeR] = limited[kModeL];
  linked[kFreqMinR] = limited[kFreqMinL];
  linked[kFreqMaxR] = limited[kFreqMaxL];
  EXPECT_EQ(ValuesOf(*plugin), linked);
}

TEST_F(StateLayouts, LinkedRecordMakesTheRightSideFollowAndTellsTheHost) {
  auto plugin = WithSyncOn();
  ASSERT_TRUE(plugin);
  Values v = Older();
  v[kLink] = 1;  // left 0.25 / 0.75 / Real / 0.5 / -0.75; right differs
  plugin->ClearCalls();
  EXPECT_EQ(plugin->SetChunk(ProgramChunk(Record201(v), "Linked"), true), 1);
  const Values got = ValuesOf(*plugin);
  EXPECT_EQ(got[kVolumeR], got[kVolumeL]);
  EXPECT_EQ(got[kVolumeL], 0.25);
  EXPECT_EQ(got[kMixR], 0.75);
  EXPECT_EQ(got[kModeR], 1);
  EXPECT_EQ(got[kFreqMinR], 0.5);
  EXPECT_EQ(got[kFreqMaxR], -0.75);
  std::set<VstInt32> told;
  for (const HostCall& call : plugin->CallsWith(audioMasterAutomate)) told.insert(call.index);
  for (VstInt32 right : {kVolumeR, kMixR, kModeR, kFreqMinR, kFreqMaxR})
    EXPECT_EQ(told.count(right), 1u) << "the host hears of parameter " << right;
}

// A session of a normal host, to be read by the others.
Bytes SessionBank(Values* currentValues, std::vector<std::string>* names) {
  auto source = PluginInstance::Create(SharedModule());
  source->Open();
  source->Start();
  source->Dispatch(effSetProgram, 0, 12);
  EXPECT_EQ(source->SetChunk(ProgramChunk(Record201(Older()), "Quirky Twelve"), true), 1);
  *currentValues = ValuesOf(*source);
  *names = ProgramNames(*source);
  return source->GetChunk(false);
}

TEST_F(StateLayouts, ChunkQuirkHostsSendBanksAsPrograms) {
  Values current;
  std::vector<std::string> names;
  const Bytes bank = SessionBank(&current, &names);
  ASSERT_EQ(names[12], "Quirky Twelve");
  for (const char* vendor : {"Native Instruments", "JUCE VST Host", "NATIVE INSTRUMENTS", "juce vst HOST"}) {
    SCOPED_TRACE(vendor);
    HostScript script;
    script.vendorString = vendor;
    auto plugin = Running(script);
    ASSERT_TRUE(plugin);
    // Whatever index the host uses, the bank is read (as a program first,
    // which does not take all the bytes, then as a bank).
    for (bool program : {false, true}) {
      plugin->Dispatch(effSetProgram, 0, 12);
      EXPECT_EQ(plugin->SetChunk(bank, program), 1);
      EXPECT_EQ(ProgramNames(*plugin), names);
      EXPECT_EQ(CurrentProgram(*plugin), 12);
      EXPECT_EQ(ValuesOf(*plugin), current);
    }
    // A real program chunk is taken as a program and nothing more.
    plugin->Dispatch(effSetProgram, 0, 0);
    const Bytes program = ProgramChunk(Record201(DistinctValues()), "Just One");
    EXPECT_EQ(plugin->SetChunk(program, false), 1);
    EXPECT_EQ(ValuesOf(*plugin), DistinctValues());
    EXPECT_EQ(plugin->ProgramNameIndexed(0), "Just One");
    EXPECT_EQ(plugin->ProgramNameIndexed(12), "Quirky Twelve");
    // And they are always handed programs.
    EXPECT_TRUE(ParseProgram(plugin->GetChunk(false)).has_value());
    EXPECT_LE(plugin->CountCalls(audioMasterGetVendorString), 1u) << "the vendor is asked once";
  }
}

TEST_F(StateLayouts, NearMissVendorsAreOrdinaryHosts) {
  for (const char* vendor : {"Native Instruments GmbH", "JUCE", " juce vst host", "native  instruments", ""}) {
    SCOPED_TRACE(vendor);
    HostScript script;
    script.vendorString = vendor;
    auto plugin = Running(script);
    ASSERT_TRUE(plugin);
    const Bytes bank = plugin->GetChunk(false);
    EXPECT_FALSE(ParseProgram(bank).has_value()) << "a bank, not a program";
    // A bank begins with preset 0's name.
    ASSERT_GT(bank.size(), 12u);
    EXPECT_EQ(std::string(bank.begin() + 12, bank.begin() + 12 + IntAt(bank, 8)), "Weird Stereo Phasing");
  }
}

}  // namespace
}  // namespace testhost
