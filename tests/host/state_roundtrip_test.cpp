// Round trips a host makes with programs and banks: what it stores today
// comes back exactly, in a fresh instance.
#include "tests/host/AudioSupport.h"
#include "tests/host/StateSupport.h"

namespace testhost {
namespace {

using StateRoundTrip = HostTest;

// Values a float could not carry, on every parameter.
const Values kOdd = {0, 2.718281828459045, 0.3333333333333333, 0.1234567, 0.987654321, 0, 1, 1,
                     -0.987654321, 0.1111111111, 0.7071067811865476, -0.33, 4, 0.0123456789, 1};

void SetAll(PluginInstance& plugin, const Values& v) {
  const char* const offOn[] = {"Off", "On"};
  SetText(plugin, kLink, offOn[static_cast<int>(v[kLink])]);
  for (VstInt32 i : {kVolumeL, kVolumeR, kMixL, kMixR, kFreqMinL, kFreqMinR, kFreqMaxL, kFreqMaxR, kLfoRate})
    SetExact(plugin, i, v[i]);
  SetText(plugin, kModeL, kModeTexts[static_cast<int>(v[kModeL])]);
  SetText(plugin, kModeR, kModeTexts[static_cast<int>(v[kModeR])]);
  SetText(plugin, kFreqRange, kRangeTexts[static_cast<int>(v[kFreqRange])]);
  SetText(plugin, kLfoWaveform, kWaveformTexts[static_cast<int>(v[kLfoWaveform])]);
  SetText(plugin, kSyncToHost, offOn[static_cast<int>(v[kSyncToHost])]);
}

TEST_F(StateRoundTrip, ProgramChunkRestoresAllFifteenValuesExactly) {
  auto source = Running();
  ASSERT_TRUE(source);
  SetAll(*source, kOdd);
  ASSERT_EQ(ValuesOf(*source), kOdd);
  const Bytes chunk = source->GetChunk(true);

  auto target = Running();
  ASSERT_TRUE(target);
  EXPECT_EQ(target->SetChunk(chunk, true), 1);
  EXPECT_EQ(ValuesOf(*target), kOdd);
  for (VstInt32 i = 0; i < kNumParams; ++i) {
    EXPECT_EQ(target->GetParameter(i), source->GetParameter(i)) << target->ParamName(i);
    EXPECT_EQ(target->ParamDisplay(i), source->ParamDisplay(i)) << target->ParamName(i);
  }
  EXPECT_EQ(target->ProgramName(), source->ProgramName());
  // And back out again: the same bytes.
  EXPECT_EQ(target->GetChunk(true), chunk);
}

// Programs of a session: some renamed, some edited, one current.
void MakeSession(PluginInstance& plugin) {
  plugin.Dispatch(effSetProgram, 0, 3);
  SetAll(plugin, kOdd);
  char three[] = "Session Three";
  plugin.Dispatch(effSetProgramName, 0, 0, three);
  plugin.Dispatch(effSetProgram, 0, 30);
  Values v = DistinctValues();
  SetAll(plugin, v);
  char thirty[] = "Thirty, edited: \"quoted\" & odd";
  plugin.Dispatch(effSetProgramName, 0, 0, thirty);
  plugin.Dispatch(effSetProgram, 0, 13);
  SetExact(plugin, kVolumeL, 0.3);  // current program, edited but not renamed
}

// A bank holds no program number: the host selects the program it had
// (before or after giving the bank), and finds that program's settings.
TEST_F(StateRoundTrip, BankRestoresNamesStatesAndTheCurrentProgram) {
  auto source = Running();
  ASSERT_TRUE(source);
  MakeSession(*source);
  const Bytes bank = source->GetChunk(false);
  ASSERT_FALSE(bank.empty());

  auto selectedBefore = Running();
  ASSERT_TRUE(selectedBefore);
  selectedBefore->Dispatch(effSetProgram, 0, 13);
  EXPECT_EQ(selectedBefore->SetChunk(bank, false), 1);
  EXPECT_EQ(CurrentProgram(*selectedBefore), 13);
  EXPECT_EQ(ValuesOf(*selectedBefore), ValuesOf(*source));
  EXPECT_EQ(ValuesOf(*selectedBefore)[kVolumeL], 0.3);

  auto target = Running();
  ASSERT_TRUE(target);
  EXPECT_EQ(target->SetChunk(bank, false), 1);
  EXPECT_EQ(CurrentProgram(*target), 0) << "the target's own program, loaded from the bank";
  EXPECT_EQ(ProgramNames(*target), ProgramNames(*source));
  EXPECT_EQ(target->ProgramNameIndexed(3), "Session Three");
  target->Dispatch(effSetProgram, 0, 13);
  EXPECT_EQ(ValuesOf(*target), ValuesOf(*source));
  // Every program holds what the source's holds.
  for (VstIntPtr p = 0; p < 32; ++p) {
    source->Dispatch(effSetProgram, 0, p);
    target->Dispatch(effSetProgram, 0, p);
    ASSERT_EQ(ValuesOf(*target), ValuesOf(*source)) << "program " << p;
  }
  // Names, flags and states together: the two banks are the same bytes.
  EXPECT_EQ(target->GetChunk(false), source->GetChunk(false));
}

TEST_F(StateRoundTrip, ProgramNameRequests) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  plugin->Dispatch(effSetProgram, 0, 5);
  SetExact(*plugin, kMixL, 0.2);
  char empty[] = "";
  plugin->Dispatch(effSetProgramName, 0, 0, empty);
  EXPECT_EQ(plugin->ProgramName(), "Hilbert Pan") << "an empty name keeps the old one";
  EXPECT_EQ(ValuesOf(*plugin)[kMixL], 0.2) << "and the settings stay";
  char renamed[] = "Renamed Five";
  plugin->Dispatch(effSetProgramName, 0, 0, renamed);
  EXPECT_EQ(plugin->ProgramName(), "Renamed Five");
  EXPECT_EQ(plugin->ProgramNameIndexed(5), "Renamed Five");
  plugin->Dispatch(effSetProgram, 0, 6);
  plugin->Dispatch(effSetProgram, 0, 5);
  EXPECT_EQ(ValuesOf(*plugin)[kMixL], 0.2) << "the stored program kept the edit";
  // The name travels in the program chunk too.
  auto target = Running();
  ASSERT_TRUE(target);
  EXPECT_EQ(target->SetChunk(plugin->GetChunk(true), true), 1);
  EXPECT_EQ(target->ProgramName(), "Renamed Five");
  EXPECT_EQ(target->ProgramNameIndexed(0), "Renamed Five") << "it renames the target's current program";
}

// Slots a bank marks uninitialised become user presets when a host selects
// them, numbered after the user presets already there.
TEST_F(StateRoundTrip, UninitialisedSlotsBecomeNumberedUserPresets) {
  std::vector<BankEntry> entries;
  for (int i = 0; i < 32; ++i) {
    Values v = DistinctValues();
    v[kMixL] = i / 32.0;
    entries.push_back({"Slot " + std::to_string(i), true, Record201(v)});
  }
  entries[1].name = "user preset 1";
  entries[2].name = "user preset 2";
  for (int i = 20; i < 32; ++i) entries[i] = {"empty", false, {}};

  auto plugin = Running();
  ASSERT_TRUE(plugin);
  ASSERT_EQ(plugin->SetChunk(Bank(entries), false), 1);
  plugin->Dispatch(effSetProgram, 0, 7);
  const Values before = ValuesOf(*plugin);
  EXPECT_EQ(before[kMixL], 7 / 32.0);

  plugin->Dispatch(effSetProgram, 0, 20);
  EXPECT_EQ(CurrentProgram(*plugin), 20);
  EXPECT_EQ(plugin->ProgramNameIndexed(20), "user preset 3");
  EXPECT_EQ(ValuesOf(*plugin), before) << "a new user preset holds the current settings";
  plugin->Dispatch(effSetProgram, 0, 25);
  EXPECT_EQ(plugin->ProgramNameIndexed(25), "user preset 4");
  EXPECT_EQ(plugin->ProgramNameIndexed(21), "empty") << "slots not yet selected keep their names";
  // Once initialised a slot is an ordinary program.
  plugin->Dispatch(effSetProgram, 0, 20);
  EXPECT_EQ(plugin->ProgramNameIndexed(20), "user preset 3");
}

// A bank that ends inside its third preset is refused whole: no program
// takes a name or a value from it.
TEST_F(StateRoundTrip, BankEndingAtTheThirdFlagChangesNothing) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  const std::vector<std::string> factory = ProgramNames(*plugin);
  plugin->Dispatch(effSetProgram, 0, 9);
  const Values nine = ValuesOf(*plugin);
  plugin->Dispatch(effSetProgram, 0, 0);
  const Values zero = ValuesOf(*plugin);

  Values first = DistinctValues(), second = DistinctValues();
  second[kVolumeL] = 3.5;
  Bytes bank = Bank({{"First", true, Record201(first)}, {"Second", true, Record201(second)}});
  bank = ChunkWriter().Raw(bank).String("Third").bytes;  // and no flag byte
  EXPECT_EQ(plugin->SetChunk(bank, false), 0);

  EXPECT_EQ(ProgramNames(*plugin), factory);
  EXPECT_EQ(CurrentProgram(*plugin), 0);
  EXPECT_EQ(ValuesOf(*plugin), zero);
  plugin->Dispatch(effSetProgram, 0, 9);
  EXPECT_EQ(ValuesOf(*plugin), nine);
}

TEST_F(StateRoundTrip, PresetNamesLongerThan255AreCut) {
  std::string longName;
  for (int i = 0; i < 300; ++i) longName += static_cast<char>('A' + i % 26);
  std::vector<BankEntry> entries;
  for (int i = 0; i < 32; ++i) entries.push_back({i == 4 ? longName : "P" + std::to_string(i), true,
                                                  Record201(DistinctValues())});
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  EXPECT_EQ(plugin->SetChunk(Bank(entries), false), 1);
  // Hosts may read names cut shorter still; the bank shows the whole name.
  const std::vector<ParsedPreset> presets = ParseBank(plugin->GetChunk(false));
  ASSERT_EQ(presets.size(), 32u);
  EXPECT_EQ(presets[4].name, longName.substr(0, 255));
  EXPECT_EQ(presets[5].name, "P5") << "the rest of the bank is read in step";
  EXPECT_EQ(presets[31].name, "P31");
  EXPECT_EQ(presets[31].values, DistinctValues());
  // What the plug-in writes back is the cut name.
  plugin->Dispatch(effSetProgram, 0, 4);
  const std::optional<ParsedProgram> p = ParseProgram(plugin->GetChunk(true));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->name, longName.substr(0, 255));
}

}  // namespace
}  // namespace testhost
