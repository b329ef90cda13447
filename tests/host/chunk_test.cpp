// State chunks as the host stores and restores them.
#include <cstring>
#include <string>

#include "tests/host/HostTestSupport.h"

namespace testhost {
namespace {

using Chunks = HostTest;

const std::string kTag = "Quorvel Veltrane_2.0.1";

std::vector<float> AllParameters(PluginInstance& plugin) {
  std::vector<float> out;
  for (VstInt32 i = 0; i < kNumParams; ++i) out.push_back(plugin.GetParameter(i));
  return out;
}

double DoubleAt(const std::vector<uint8_t>& data, size_t offset) {
  uint8_t bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = data.at(offset + i);  // stored little-endian
  uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = (bits << 8) | bytes[i];
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void MakeDistinctSettings(PluginInstance& plugin) {
  plugin.SetParameter(kLink, 0.0f);
  plugin.SetParameter(kVolumeL, 0.3f);
  plugin.SetParameter(kVolumeR, 0.8f);
  plugin.SetParameter(kMixL, 0.1f);
  plugin.SetParameter(kMixR, 0.9f);
  plugin.SetParameter(kModeL, 0.0f);
  plugin.SetParameter(kModeR, 0.5f);
  plugin.SetParameter(kFreqRange, 1.0f);
  plugin.SetParameter(kFreqMinL, 0.2f);
  plugin.SetParameter(kFreqMinR, 0.7f);
  plugin.SetParameter(kFreqMaxL, 0.35f);
  plugin.SetParameter(kFreqMaxR, 0.95f);
  plugin.SetParameter(kLfoWaveform, 0.6f);
  plugin.SetParameter(kLfoRate, 0.4f);
  plugin.SetParameter(kSyncToHost, 1.0f);
}

TEST_F(Chunks, ProgramChunkLayout) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  const auto chunk = plugin->GetChunk(true);
  const std::string name = "Weird Stereo Phasing";
  // Header, tag, preset index, name, 15 doubles, then the name again as a string.
  ASSERT_EQ(chunk.size(), 8 + kTag.size() + 4 + 4 + name.size() + 15 * 8 + 4 + name.size());
  const uint8_t header[] = {0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00};
  EXPECT_EQ(std::memcmp(chunk.data(), header, sizeof header), 0);
  EXPECT_EQ(std::string(chunk.begin() + 8, chunk.begin() + 8 + kTag.size()), kTag);
  const size_t values = 8 + kTag.size() + 8 + name.size();
  EXPECT_EQ(DoubleAt(chunk, values + 0 * 8), 1.0);   // Link on
  EXPECT_EQ(DoubleAt(chunk, values + 1 * 8), 1.0);   // Volume L
  EXPECT_EQ(DoubleAt(chunk, values + 3 * 8), 0.5);   // Mix L
  EXPECT_EQ(DoubleAt(chunk, values + 5 * 8), 2.0);   // Mode L "Input"
  EXPECT_EQ(DoubleAt(chunk, values + 8 * 8), -1.0);  // Freq Min L
  EXPECT_EQ(DoubleAt(chunk, values + 14 * 8), 0.0);  // Sync to Host
  EXPECT_EQ(std::string(chunk.end() - name.size(), chunk.end()), name);
}

TEST_F(Chunks, FeedingAProgramBackChangesNothing) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  MakeDistinctSettings(*plugin);
  const auto before = AllParameters(*plugin);
  const auto chunk = plugin->GetChunk(true);
  ASSERT_FALSE(chunk.empty());
  EXPECT_EQ(plugin->SetChunk(chunk, true), 1);
  EXPECT_EQ(AllParameters(*plugin), before);
}

TEST_F(Chunks, ProgramMovesToAnotherInstance) {
  auto source = Running();
  auto target = Running();
  ASSERT_TRUE(source && target);
  MakeDistinctSettings(*source);
  EXPECT_EQ(target->SetChunk(source->GetChunk(true), true), 1);
  for (VstInt32 i = 0; i < kNumParams; ++i) {
    EXPECT_EQ(target->GetParameter(i), source->GetParameter(i)) << "parameter " << i;
    EXPECT_EQ(target->ParamDisplay(i), source->ParamDisplay(i)) << "parameter " << i;
  }
}

TEST_F(Chunks, LinkedProgramMakesTheRightSideFollow) {
  auto source = Running();
  auto target = Running();
  ASSERT_TRUE(source && target);
  MakeDistinctSettings(*source);
  auto chunk = source->GetChunk(true);
  // Turn the stored "Link L+R" on: the right-hand values in the record lose.
  const size_t values = 8 + kTag.size() + 8 + (chunk.size() - 8 - kTag.size() - 8 - 120 - 4) / 2;
  const double one = 1.0;
  uint64_t bits;
  std::memcpy(&bits, &one, sizeof bits);
  for (int i = 0; i < 8; ++i) chunk[values + i] = static_cast<uint8_t>(bits >> (8 * i));
  target->ClearCalls();
  EXPECT_EQ(target->SetChunk(chunk, true), 1);
  EXPECT_EQ(target->ParamDisplay(kLink), "On");
  EXPECT_FLOAT_EQ(target->GetParameter(kVolumeR), source->GetParameter(kVolumeL));
  EXPECT_FLOAT_EQ(target->GetParameter(kMixR), source->GetParameter(kMixL));
  EXPECT_FALSE(target->CallsWith(audioMasterAutomate).empty()) << "the host must hear of the right side";
}

TEST_F(Chunks, BankMovesToAnotherInstance) {
  auto source = Running();
  auto target = Running();
  ASSERT_TRUE(source && target);
  source->Dispatch(effSetProgram, 0, 3);
  char name[] = "Renamed Three";
  source->Dispatch(effSetProgramName, 0, 0, name);
  source->Dispatch(effSetProgram, 0, 0);
  MakeDistinctSettings(*source);

  const auto bank = source->GetChunk(false);
  ASSERT_FALSE(bank.empty());
  EXPECT_EQ(target->SetChunk(bank, false), 1);
  EXPECT_EQ(target->ProgramNameIndexed(3), "Renamed Three");
  EXPECT_EQ(target->ProgramNameIndexed(31), "Init");
  EXPECT_EQ(AllParameters(*target), AllParameters(*source));
}

TEST_F(Chunks, BankWithoutTheHeaderIsReadAsOneProgram) {
  auto source = Running();
  auto target = Running();
  ASSERT_TRUE(source && target);
  MakeDistinctSettings(*source);
  auto chunk = source->GetChunk(true);
  chunk.erase(chunk.begin(), chunk.begin() + 8);
  EXPECT_EQ(target->SetChunk(chunk, false), 1);
  EXPECT_EQ(AllParameters(*target), AllParameters(*source));
}

TEST_F(Chunks, TruncatedAndForeignDataIsRefusedSafely) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  auto chunk = plugin->GetChunk(true);
  const size_t cut = 8 + kTag.size() + 8 + 20 + 60;  // in the middle of the values
  EXPECT_EQ(plugin->SetChunk(std::vector<uint8_t>(chunk.begin(), chunk.begin() + cut), true), 0);
  EXPECT_EQ(plugin->SetChunk(std::vector<uint8_t>(chunk.begin(), chunk.begin() + 5), true), 0);
  EXPECT_EQ(plugin->SetChunk(std::vector<uint8_t>{}, true), 0);
  EXPECT_EQ(plugin->SetChunk(std::vector<uint8_t>{}, false), 0);

  // Noise of every length up to a few hundred bytes: answered, never a crash.
  uint32_t state = 12345;
  for (size_t length = 1; length < 400; length += 7) {
    std::vector<uint8_t> noise(length);
    for (auto& b : noise) {
      state = state * 1664525u + 1013904223u;
      b = static_cast<uint8_t>(state >> 24);
    }
    const VstIntPtr answer = plugin->SetChunk(noise, length % 2 == 0);
    EXPECT_TRUE(answer == 0 || answer == 1);
  }
  // Whatever was read, values stay in range and texts stay printable.
  for (VstInt32 i = 0; i < kNumParams; ++i) {
    const float v = plugin->GetParameter(i);
    EXPECT_GE(v, 0.0f);
    EXPECT_LE(v, 1.0f);
    EXPECT_FALSE(plugin->ParamDisplay(i).empty());
  }
}

}  // namespace
}  // namespace testhost
