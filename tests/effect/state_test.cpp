// The effect's state record and the preset list, in process: positions that
// a host never sees, the order of the parameter announcements, and the
// preset slots a host cannot reach (uninitialised ones).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "effect/Veltrane.h"
#include "tools/FactoryPrograms.h"

namespace {

const std::string kTag = "Quorvel Veltrane_2.0.1";
const std::string kOldTag = "Quorvel Veltrane_2.0.0";
const int T = 22;

// Remembers every ParameterChanged with its nesting depth.
class Recording : public Veltrane {
 public:
  Recording() : Veltrane(nullptr) {}
  void ParameterChanged(int index) override {
    calls.push_back({index, depth});
    ++depth;
    Veltrane::ParameterChanged(index);
    --depth;
  }
  std::vector<int> TopLevelCalls() const {
    std::vector<int> out;
    for (const auto& c : calls)
      if (c.second == 0) out.push_back(c.first);
    return out;
  }
  std::vector<std::pair<int, int>> calls;
  int depth = 0;
};

std::vector<int> ZeroTo14() {
  std::vector<int> v;
  for (int i = 0; i < 15; ++i) v.push_back(i);
  return v;
}

void Append(ChunkBuffer& c, const std::string& s) { c.AppendBytes(s.data(), static_cast<int>(s.size())); }

void AppendValues(ChunkBuffer& c, const double (&v)[15], int count = 15) {
  for (int i = 0; i < count; ++i) c.AppendDouble(v[i]);
}

const double kValues[15] = {0, 2.25, 0.5, 0.25, 0.75, 1, 0, 3, -0.5, 0.5, 0.75, -0.25, 2, 0.125, 1};

double Value(const Veltrane& plug, int i) { return plug.ParamAt(i)->value; }

TEST(StateRecord, WriteStateLaysOutTagIndexNameAndValues) {
  Veltrane plug(nullptr);
  ASSERT_TRUE(plug.LoadPreset(27));  // "Laser Beam"
  ChunkBuffer chunk;
  chunk.AppendInt(0x11223344);  // appended after what is there
  ASSERT_TRUE(plug.WriteState(chunk));
  ASSERT_EQ(chunk.Size(), 4 + T + 8 + 10 + 120);
  const unsigned char* d = chunk.Data() + 4;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(d), T), kTag);
  int32_t index, length;
  std::memcpy(&index, d + T, 4);
  std::memcpy(&length, d + T + 4, 4);
  EXPECT_EQ(index, 27);
  EXPECT_EQ(length, 10);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(d + T + 8), 10), "Laser Beam");
  for (int i = 0; i < 15; ++i) {
    double v;
    std::memcpy(&v, d + T + 18 + 8 * i, 8);
    EXPECT_EQ(v, Value(plug, i)) << "parameter " << i;
    EXPECT_NEAR(v, kFactoryPrograms[27].values[i], 5e-7 * std::fabs(kFactoryPrograms[27].values[i]) + 1e-12);
  }
}

TEST(StateRecord, ReadStateEndsWhereEachLayoutEnds) {
  struct Case {
    const char* what;
    std::string prefix;
    int values;
    int expectedLength;
  };
  std::string named = kTag;
  named.append("\x03\x00\x00\x00\x0a\x00\x00\x00", 8);
  named += "Laser Beam";
  const Case cases[] = {
      {"2.0.1", named, 15, T + 8 + 10 + 120},
      {"2.0.0", kOldTag, 15, T + 120},
      {"untagged", "", 14, 112},
  };
  for (const Case& c : cases) {
    Recording plug;
    ChunkBuffer chunk;
    Append(chunk, "junk!");  // the record starts at position 5
    Append(chunk, c.prefix);
    AppendValues(chunk, kValues, c.values);
    chunk.AppendInt(777);  // something after the record
    plug.calls.clear();
    EXPECT_EQ(plug.ReadState(chunk, 5), 5 + c.expectedLength) << c.what;
    for (int i = 0; i < c.values; ++i) EXPECT_EQ(Value(plug, i), kValues[i]) << c.what << " parameter " << i;
    if (c.values == 14) {
      EXPECT_EQ(Value(plug, kSyncToHost), 0.0) << "untagged: Sync to Host Off";
    }
    EXPECT_EQ(plug.TopLevelCalls(), ZeroTo14()) << c.what;
  }
}

TEST(StateRecord, ShortRecordsSetWhatTheyHoldAndFail) {
  Recording plug;
  for (int i = 0; i < 15; ++i) {
    plug.ParamAt(i)->SetClamped(plug.ParamAt(i)->maximum);
  }
  ChunkBuffer chunk;
  Append(chunk, kTag);
  chunk.AppendInt(0);
  chunk.AppendInt(0);
  AppendValues(chunk, kValues, 14);  // "Sync to Host" missing
  plug.calls.clear();
  EXPECT_EQ(plug.ReadState(chunk, 0), -1);
  for (int i = 0; i < 14; ++i) EXPECT_EQ(Value(plug, i), kValues[i]);
  EXPECT_EQ(Value(plug, kSyncToHost), 0.0) << "the missing value is 0 within its range";
  EXPECT_EQ(plug.TopLevelCalls(), ZeroTo14()) << "every parameter is announced even so";

  // Three doubles of the old layout: the fourth becomes 0 in its range, the
  // rest stay.
  Recording old;
  for (int i = 0; i < 15; ++i) old.ParamAt(i)->SetClamped(old.ParamAt(i)->maximum);
  ChunkBuffer three;
  Append(three, kOldTag);
  AppendValues(three, kValues, 3);
  old.calls.clear();
  EXPECT_EQ(old.ReadState(three, 0), -1);
  EXPECT_EQ(Value(old, 2), kValues[2]);
  EXPECT_EQ(Value(old, 3), 0.0);
  EXPECT_EQ(Value(old, 4), 1.0) << "left as it was";
  EXPECT_EQ(Value(old, 8), 1.0) << "left as it was";
  EXPECT_EQ(old.TopLevelCalls(), ZeroTo14());

  // A name length that runs past the end.
  ChunkBuffer past;
  Append(past, kTag);
  past.AppendInt(0);
  past.AppendInt(1000);
  AppendValues(past, kValues);
  EXPECT_EQ(plug.ReadState(past, 0), -1);
}

TEST(StateRecord, LinkedRecordAnnouncesEveryParameterInOrderWithTheLinkOnTop) {
  Recording plug;
  ChunkBuffer chunk;
  Append(chunk, kTag);
  chunk.AppendInt(0);
  chunk.AppendInt(0);
  double linked[15];
  std::memcpy(linked, kValues, sizeof linked);
  linked[kLink] = 1;
  AppendValues(chunk, linked);
  plug.calls.clear();
  EXPECT_EQ(plug.ReadState(chunk, 0), chunk.Size());
  EXPECT_EQ(plug.TopLevelCalls(), ZeroTo14());
  // Turning the link on announced the five right-hand parameters inside.
  std::vector<int> nested;
  for (const auto& c : plug.calls)
    if (c.second == 1) nested.push_back(c.first);
  const std::vector<int> rights = {kVolumeR, kMixR, kModeR, kFreqMinR, kFreqMaxR};
  ASSERT_GE(nested.size(), rights.size());
  EXPECT_EQ(std::vector<int>(nested.begin(), nested.begin() + 5), rights);
  for (int left : {kVolumeL, kMixL, kModeL, kFreqMinL, kFreqMaxL})
    EXPECT_EQ(Value(plug, left + 1), Value(plug, left)) << "parameter " << left + 1;
}

TEST(StateRecord, ActivationAnnouncesEveryParameterInOrder) {
  Recording plug;
  AEffect* e = plug.EffectRecord();
  plug.calls.clear();
  e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
  EXPECT_EQ(plug.TopLevelCalls(), ZeroTo14());
  plug.calls.clear();
  e->dispatcher(e, effMainsChanged, 0, 0, nullptr, 0.0f);
  EXPECT_TRUE(plug.calls.empty()) << "switching off announces nothing";
}

TEST(Presets, ConstructionLoadsTheFactoryTable) {
  Veltrane plug(nullptr);
  ASSERT_EQ(plug.NumPresets(), kNumFactoryPrograms);
  for (int p = 0; p < kNumFactoryPrograms; ++p) {
    EXPECT_STREQ(plug.PresetName(p), kFactoryPrograms[p].name);
    EXPECT_TRUE(plug.PresetAt(p)->initialised);
  }
  EXPECT_EQ(plug.CurrentPresetIndex(), 0);
  for (int i = 0; i < 15; ++i) EXPECT_EQ(Value(plug, i), kFactoryPrograms[0].values[i]) << "parameter " << i;
}

// An uninitialised slot as the constructor makes it: no name of its own yet,
// no state.
void MakeUninitialised(Veltrane& plug, int index) {
  plug.PresetAt(index)->initialised = false;
  plug.PresetAt(index)->state.Resize(0);
}

// Slots the host cannot leave uninitialised, reached directly.
TEST(Presets, LoadingAnUninitialisedSlotMakesANumberedUserPreset) {
  Veltrane plug(nullptr);
  ASSERT_TRUE(plug.LoadPreset(4));
  std::strcpy(plug.PresetAt(1)->name, "user preset 1");
  std::strcpy(plug.PresetAt(2)->name, "my user preset 2");  // counted: it contains the words
  MakeUninitialised(plug, 20);
  MakeUninitialised(plug, 21);
  ChunkBuffer current;
  plug.WriteState(current);

  ASSERT_TRUE(plug.LoadPreset(20));
  EXPECT_EQ(plug.CurrentPresetIndex(), 20);
  EXPECT_STREQ(plug.PresetName(20), "user preset 3");
  EXPECT_TRUE(plug.PresetAt(20)->initialised);
  // It holds the settings that were current (the record names program 4,
  // current when it was written).
  const ChunkBuffer& stored = plug.PresetAt(20)->state;
  ASSERT_EQ(stored.Size(), current.Size());
  EXPECT_EQ(std::memcmp(stored.Data(), current.Data(), current.Size()), 0);
  for (int i = 0; i < 15; ++i)
    EXPECT_NEAR(Value(plug, i), kFactoryPrograms[4].values[i], 1e-6) << "the settings did not change";

  ASSERT_TRUE(plug.LoadPreset(21));
  EXPECT_STREQ(plug.PresetName(21), "user preset 4");

  EXPECT_FALSE(plug.LoadPreset(32));
  EXPECT_FALSE(plug.LoadPreset(-1));
  EXPECT_EQ(plug.CurrentPresetIndex(), 21);
}

// A bank may mark a slot that held a program as uninitialised; the slot keeps
// its old state bytes. Selecting it makes a user preset of the current
// settings, and selecting it again (as the editor's preset menu does, with no
// store in between) must give those settings, not the slot's old program.
TEST(Presets, UserPresetFromABankMarkedSlotHoldsOnlyTheNewSettings) {
  Veltrane writer(nullptr);
  MakeUninitialised(writer, 20);
  ChunkBuffer bank;
  ASSERT_TRUE(writer.SerializePresets(bank));

  Veltrane plug(nullptr);
  ASSERT_TRUE(plug.LoadPreset(4));  // "Out of Control"
  ASSERT_EQ(plug.UnserializePresets(bank, 0), bank.Size());
  EXPECT_FALSE(plug.PresetAt(20)->initialised);
  ASSERT_TRUE(plug.LoadPreset(20));
  EXPECT_STREQ(plug.PresetName(20), "user preset 1");
  ASSERT_TRUE(plug.LoadPreset(20));
  std::string wrong;
  for (int i = 0; i < 15; ++i)
    if (std::fabs(Value(plug, i) - kFactoryPrograms[4].values[i]) > 1e-6) wrong += " " + std::to_string(i);
  EXPECT_EQ(wrong, "") << "parameters from the slot's old program \"" << kFactoryPrograms[20].name << "\"";
  // The record names the preset current when it was written; whatever its
  // length, the slot holds exactly one record.
  const ChunkBuffer& slot = plug.PresetAt(20)->state;
  EXPECT_EQ(plug.ReadState(slot, 0), slot.Size()) << "one record in the slot";
}

TEST(Presets, FillEmptyPresetsFillsTheFirstUninitialisedSlots) {
  Veltrane plug(nullptr);
  for (int p : {10, 5, 30}) MakeUninitialised(plug, p);
  ChunkBuffer current;
  plug.WriteState(current);
  plug.FillEmptyPresets(2);
  EXPECT_STREQ(plug.PresetName(5), "Empty");
  EXPECT_STREQ(plug.PresetName(10), "Empty");
  EXPECT_FALSE(plug.PresetAt(30)->initialised) << "only as many as asked";
  EXPECT_STREQ(plug.PresetName(30), kFactoryPrograms[30].name);
  for (int p : {5, 10}) {
    EXPECT_TRUE(plug.PresetAt(p)->initialised);
    ASSERT_EQ(plug.PresetAt(p)->state.Size(), current.Size());
    EXPECT_EQ(std::memcmp(plug.PresetAt(p)->state.Data(), current.Data(), current.Size()), 0);
  }
  plug.FillEmptyPresets(32);
  EXPECT_STREQ(plug.PresetName(30), "Empty");
  EXPECT_STREQ(plug.PresetName(31), "Init") << "initialised slots are left alone";
}

TEST(Presets, ModifyCurrentPresetStoresAndRenames) {
  Veltrane plug(nullptr);
  ASSERT_TRUE(plug.LoadPreset(6));
  plug.ParamAt(kMixL)->SetClamped(0.4);
  plug.ParameterChanged(kMixL);
  plug.ModifyCurrentPreset("");
  EXPECT_STREQ(plug.PresetName(6), "Hilbert Out") << "an empty name keeps the old one";
  plug.ModifyCurrentPreset(nullptr);
  EXPECT_STREQ(plug.PresetName(6), "Hilbert Out");
  ASSERT_TRUE(plug.LoadPreset(7));
  ASSERT_TRUE(plug.LoadPreset(6));
  EXPECT_EQ(Value(plug, kMixL), 0.4) << "the edit was stored";
  const std::string longName(400, 'x');
  plug.ModifyCurrentPreset(longName.c_str());
  EXPECT_EQ(std::string(plug.PresetName(6)), longName.substr(0, 255));
}

}  // namespace
