// A bank written by Veltrane64.dll (tests/host/data/bank_fixture.bin) must
// load with the same results into every build, and every build must write
// the very same bytes for the same session: a host may move a session
// between 64-bit, 32-bit and Linux hosts.
//
// To write the file again (only when the layout changes on purpose), run
// this test with VELTRANE_WRITE_BANK_FIXTURE set to the path to write.
#include <cstdio>
#include <cstdlib>

#include "tests/host/AudioSupport.h"
#include "tests/host/StateSupport.h"

namespace testhost {
namespace {

using BankFixture = HostTest;

std::string DataPath(const char* name) {
  const std::string here = __FILE__;
  std::string path = here.substr(0, here.find_last_of("/\\") + 1) + "data/" + name;
#if defined(_WIN32)
  if (!path.empty() && path[0] == '/') path = "Z:" + path;  // Wine's view of the unix root
#endif
  return path;
}

Bytes ReadFile(const std::string& path) {
  Bytes bytes;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    unsigned char block[4096];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, f)) > 0) bytes.insert(bytes.end(), block, block + got);
    std::fclose(f);
  }
  return bytes;
}

const Values kTwo = {0, 1.75, 0.5, 0.3, 0.6, 0, 1, 3, -0.4, 0.45, 0.8, -0.9, 1, 0.2, 1};
const Values kSeventeen = {1, 0.5, 0.5, 0.9, 0.9, 1, 1, 1, 0.1, 0.1, -0.3, -0.3, 3, 0.05, 0};
const Values kThirtyOne = {0, 3, 2, 0.15, 0.85, 2, 0, 0, -1, 1, 0.25, -0.25, 4, 0.6, 0};

// A session: three programs replaced (in each of the three layouts a host
// may hold), one edited in place, program 9 current.
Bytes WriteSession(PluginInstance& plugin) {
  plugin.Dispatch(effSetProgram, 0, 2);
  EXPECT_EQ(plugin.SetChunk(ProgramChunk(Record201(kTwo, 2, "Hilbert Pan"), "Fixture Two"), true), 1);
  plugin.Dispatch(effSetProgram, 0, 17);
  EXPECT_EQ(plugin.SetChunk(ProgramChunk(Record200(kSeventeen), "Fixture Seventeen, old"), true), 1);
  plugin.Dispatch(effSetProgram, 0, 31);
  EXPECT_EQ(plugin.SetChunk(ProgramChunk(RecordUntagged(kThirtyOne), "Init, untagged"), true), 1);
  plugin.Dispatch(effSetProgram, 0, 9);
  SetExact(plugin, kMixL, 0.123);  // "Minus 250Hz" is linked: Mix R follows
  return plugin.GetChunk(false);
}

TEST_F(BankFixture, EveryBuildWritesTheCommittedBytes) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  const Bytes written = WriteSession(*plugin);
  if (const char* out = std::getenv("VELTRANE_WRITE_BANK_FIXTURE")) {
    std::FILE* f = std::fopen(out, "wb");
    ASSERT_NE(f, nullptr) << out;
    std::fwrite(written.data(), 1, written.size(), f);
    std::fclose(f);
    GTEST_SKIP() << "wrote " << written.size() << " bytes to " << out;
  }
  const Bytes committed = ReadFile(DataPath("bank_fixture.bin"));
  ASSERT_FALSE(committed.empty()) << "cannot read " << DataPath("bank_fixture.bin");
  ASSERT_EQ(written.size(), committed.size());
  for (size_t i = 0; i < written.size(); ++i)
    ASSERT_EQ(written[i], committed[i]) << "first difference at byte " << i;
}

TEST_F(BankFixture, CommittedBankLoadsWithTheSameResults) {
  const Bytes committed = ReadFile(DataPath("bank_fixture.bin"));
  ASSERT_FALSE(committed.empty()) << "cannot read " << DataPath("bank_fixture.bin");
  const std::vector<ParsedPreset> stored = ParseBank(committed);
  ASSERT_EQ(stored.size(), 32u);

  auto plugin = Running();
  ASSERT_TRUE(plugin);
  ASSERT_EQ(plugin->SetChunk(committed, false), 1);
  EXPECT_EQ(CurrentProgram(*plugin), 0);

  // What the session did, read back program by program.
  const std::vector<ParsedPreset> loaded = ParseBank(plugin->GetChunk(false));
  ASSERT_EQ(loaded.size(), 32u);
  EXPECT_EQ(loaded[2].name, "Fixture Two");
  EXPECT_EQ(loaded[17].name, "Fixture Seventeen, old");
  EXPECT_EQ(loaded[31].name, "Init, untagged");
  EXPECT_EQ(loaded[9].name, "Minus 250Hz");
  EXPECT_EQ(loaded[0].name, "Weird Stereo Phasing");
  plugin->Dispatch(effSetProgram, 0, 2);
  EXPECT_EQ(ValuesOf(*plugin), kTwo);
  plugin->Dispatch(effSetProgram, 0, 31);
  Values untagged = kThirtyOne;
  untagged[kSyncToHost] = 0;
  EXPECT_EQ(ValuesOf(*plugin), untagged);
  plugin->Dispatch(effSetProgram, 0, 9);
  EXPECT_EQ(ValuesOf(*plugin)[kMixL], 0.123);
  EXPECT_EQ(ValuesOf(*plugin)[kMixR], 0.123);

  // Every program as stored in the file, names and flags as written.
  for (int p = 0; p < 32; ++p) {
    EXPECT_EQ(loaded[p].name, stored[p].name) << "program " << p;
    EXPECT_EQ(loaded[p].initialised, stored[p].initialised) << "program " << p;
    plugin->Dispatch(effSetProgram, 0, p);
    EXPECT_EQ(ValuesOf(*plugin), stored[p].values) << "program " << p;
  }

  // Loading re-writes each program's record with the loader's current
  // program (0, by then named as in the file): the bytes follow from the file.
  auto fresh = Running();
  ASSERT_TRUE(fresh);
  ASSERT_EQ(fresh->SetChunk(committed, false), 1);
  std::vector<BankEntry> entries;
  for (const ParsedPreset& p : stored) entries.push_back({p.name, p.initialised, Record201(p.values, 0, stored[0].name)});
  EXPECT_EQ(fresh->GetChunk(false), Bank(entries));
}

}  // namespace
}  // namespace testhost
