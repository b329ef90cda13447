// Chunks come from hosts, files and other versions: whatever bytes arrive,
// effSetChunk answers 0 or 1, and the plug-in stays whole.
#include <climits>
#include <cmath>

#include "tests/host/StateSupport.h"

namespace testhost {
namespace {

using BadChunks = HostTest;

// The plug-in is still whole: values in range, both kinds of chunk written
// and readable, every preset name terminated within its 255 characters.
void ExpectHealthy(PluginInstance& plugin, const std::string& what) {
  for (VstInt32 i = 0; i < kNumParams; ++i) {
    const float v = plugin.GetParameter(i);
    ASSERT_TRUE(v >= 0.0f && v <= 1.0f) << what << ": parameter " << i << " at " << v;
  }
  ASSERT_TRUE(ParseProgram(plugin.GetChunk(true)).has_value()) << what;
  const std::vector<ParsedPreset> bank = ParseBank(plugin.GetChunk(false));
  ASSERT_EQ(bank.size(), 32u) << what;
  for (const ParsedPreset& p : bank) {
    ASSERT_LE(p.name.size(), 255u) << what;
    ASSERT_EQ(p.name.find('\0'), std::string::npos) << what;
    for (double v : p.values) ASSERT_TRUE(std::isfinite(v)) << what;
  }
  // And it still makes finite sound.
  FloatBuffers in(2, std::vector<float>(64, 0.25f)), out(2, std::vector<float>(64, 0.0f));
  plugin.ProcessReplacing(in, out);
  for (const auto& channel : out)
    for (float s : channel) ASSERT_TRUE(std::isfinite(s)) << what;
}

VstIntPtr SetRaw(PluginInstance& plugin, const uint8_t* data, VstIntPtr size, bool program) {
  return plugin.Dispatch(effSetChunk, program ? 1 : 0, size, const_cast<uint8_t*>(data));
}

TEST_F(BadChunks, EmptyAndNegativeSizes) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  const uint8_t byte = 0x74;
  for (bool program : {true, false}) {
    EXPECT_EQ(SetRaw(*plugin, &byte, 0, program), 0) << "length 0";
    EXPECT_EQ(SetRaw(*plugin, &byte, -1, program), 0) << "negative length";
    EXPECT_EQ(SetRaw(*plugin, &byte, INT_MIN, program), 0) << "negative length";
    EXPECT_EQ(SetRaw(*plugin, nullptr, 100, program), 0) << "no data";
    EXPECT_EQ(SetRaw(*plugin, &byte, 1, program), 0) << "one byte";
  }
  ExpectHealthy(*plugin, "after empty chunks");
}

// A program chunk cut after n bytes: taken only when it ends right after
// the record (no name) or is whole; any other cut changes nothing.
TEST_F(BadChunks, ProgramChunkTruncatedAtEveryByte) {
  auto source = Running();
  ASSERT_TRUE(source);
  source->Dispatch(effSetProgram, 0, 27);  // "Laser Beam"
  const Bytes chunk = source->GetChunk(true);
  const size_t recordEnd = chunk.size() - 4 - std::string("Laser Beam").size();

  auto plugin = Running();
  ASSERT_TRUE(plugin);
  plugin->Dispatch(effSetProgram, 0, 3);
  const Values three = ValuesOf(*plugin);
  const std::string threeName = plugin->ProgramName();
  for (size_t n = 0; n < chunk.size(); ++n) {
    if (n == recordEnd) continue;
    ASSERT_EQ(SetRaw(*plugin, chunk.data(), static_cast<VstIntPtr>(n), true), 0) << "cut after " << n;
    ASSERT_EQ(ValuesOf(*plugin), three) << "cut after " << n;
    ASSERT_EQ(plugin->ProgramName(), threeName) << "cut after " << n;
  }
  ExpectHealthy(*plugin, "after every cut");
  EXPECT_EQ(SetRaw(*plugin, chunk.data(), static_cast<VstIntPtr>(recordEnd), true), 1);
  EXPECT_EQ(ValuesOf(*plugin), ValuesOf(*source));
  EXPECT_EQ(plugin->ProgramName(), threeName) << "no name: the name stays";
  // The whole chunk still works after all that.
  EXPECT_EQ(SetRaw(*plugin, chunk.data(), static_cast<VstIntPtr>(chunk.size()), true), 1);
  EXPECT_EQ(ValuesOf(*plugin), ValuesOf(*source));
  EXPECT_EQ(plugin->ProgramName(), "Laser Beam");
}

TEST_F(BadChunks, BankChunkTruncatedAtEveryByte) {
  auto source = Running();
  ASSERT_TRUE(source);
  const Bytes bank = source->GetChunk(false);
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  for (size_t n = 0; n < bank.size(); ++n) {
    // Only the whole bank is a whole bank; a header-less prefix is a
    // (failing) program.
    ASSERT_EQ(SetRaw(*plugin, bank.data(), static_cast<VstIntPtr>(n), false), 0) << "cut after " << n;
    if (n % 97 == 0) ExpectHealthy(*plugin, "cut after " + std::to_string(n));
  }
  EXPECT_EQ(SetRaw(*plugin, bank.data(), static_cast<VstIntPtr>(bank.size()), false), 1);
  EXPECT_EQ(ProgramNames(*plugin), ProgramNames(*source));
  ExpectHealthy(*plugin, "whole bank");
}

// Lengths inside the data that point past its end, or before its start:
// refused, and nothing changes.
TEST_F(BadChunks, InnerLengthsOutOfBounds) {
  const int32_t lengths[] = {-1, -8, INT_MIN, 1000, 0x7FFFFFF0, INT_MAX};
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  const Values before = ValuesOf(*plugin);
  const std::vector<std::string> names = ProgramNames(*plugin);
  for (int32_t n : lengths) {
    const std::string what = "length " + std::to_string(n);
    // The record's preset name.
    Bytes record = ChunkWriter().Header().Raw(kTag201).Int(0).Int(n).Raw("abc").bytes;
    for (int i = 0; i < 15; ++i) record = ChunkWriter().Raw(record).Double(0.5).bytes;
    EXPECT_EQ(plugin->SetChunk(record, true), 0) << what;
    // The name after the record.
    const Bytes program = ChunkWriter().Header().Raw(Record201(DistinctValues())).Int(n).Raw("xyz").bytes;
    EXPECT_EQ(plugin->SetChunk(program, true), 0) << what;
    // A preset's name in a bank, first and in the middle.
    std::vector<BankEntry> entries(5, BankEntry{"fine", true, Record201(DistinctValues())});
    Bytes bank = Bank(entries);
    const Bytes bad = ChunkWriter().Int(n).Raw("name").Bool(true).Raw(Record201(DistinctValues())).bytes;
    for (size_t at : {size_t{8}, Bank(std::vector<BankEntry>(3, entries[0])).size()}) {
      Bytes b = bank;
      b.insert(b.begin() + static_cast<long>(at), bad.begin(), bad.end());
      EXPECT_EQ(plugin->SetChunk(b, false), 0) << what;
    }
    EXPECT_EQ(ValuesOf(*plugin), before) << what;
    EXPECT_EQ(ProgramNames(*plugin), names) << what;
  }
  ExpectHealthy(*plugin, "after the bad lengths");
}

// Bytes a host might hold after damage: real chunks with bytes flipped,
// dropped and repeated, and plain noise, under both kinds of request.
TEST_F(BadChunks, DamagedAndRandomChunks) {
  auto source = Running();
  ASSERT_TRUE(source);
  source->Dispatch(effSetProgram, 0, 3);
  const Bytes seeds[] = {source->GetChunk(true), source->GetChunk(false),
                         ProgramChunk(Record200(DistinctValues()), "old"),
                         ProgramChunk(RecordUntagged(DistinctValues()), "older")};
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  uint32_t state = 2718281;
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  };
  for (int round = 0; round < 3000; ++round) {
    Bytes b = seeds[round % 4];
    if (round % 10 == 9) {
      b.resize(next() % 600);
      for (auto& x : b) x = static_cast<uint8_t>(next());
    } else {
      const int edits = 1 + static_cast<int>(next() % 8);
      for (int e = 0; e < edits && !b.empty(); ++e) {
        const size_t at = next() % b.size();
        switch (next() % 4) {
          case 0: b[at] = static_cast<uint8_t>(next()); break;
          case 1: b[at] ^= static_cast<uint8_t>(1u << (next() % 8)); break;
          case 2:
            b.erase(b.begin() + static_cast<long>(at),
                    b.begin() + static_cast<long>(std::min(b.size(), at + 1 + next() % 16)));
            break;
          default: {
            const Bytes piece(b.begin() + static_cast<long>(at),
                              b.begin() + static_cast<long>(std::min(b.size(), at + 9)));
            b.insert(b.begin() + static_cast<long>(at), piece.begin(), piece.end());
            break;
          }
        }
      }
    }
    const VstIntPtr answer = plugin->SetChunk(b, round % 2 == 0);
    ASSERT_TRUE(answer == 0 || answer == 1) << "round " << round;
    if (round % 100 == 0) ExpectHealthy(*plugin, "round " + std::to_string(round));
  }
  ExpectHealthy(*plugin, "after all rounds");
}

}  // namespace
}  // namespace testhost
