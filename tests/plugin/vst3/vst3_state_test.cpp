// State through the host's streams: the whole plug-in as a session, made of
// what the VST 2.4 build's bank and program chunks hold; VST 2.4 program and
// bank chunks loaded, the factory programs as a
// program list, and streams that are not ours refused with nothing lost.
#include <cmath>
#include <random>

#include "tests/plugin/vst3/Vst3TestSupport.h"

namespace vst3host {
namespace {

using namespace vst3;
using State = Vst3Test;
using testhost::Bytes;
using testhost::ChunkWriter;

TEST_F(State, TakesTheVst2BuildsProgramChunkAndSavesTheSession) {
  Pair pair = ConfiguredPair(testhost::ref::Settings{});
  ASSERT_TRUE(pair.vst3);
  // Values of every kind, written into the VST 2.4 build, read from the VST3 one.
  const Bytes record = testhost::Record201(testhost::DistinctValues(), 0, "");
  ASSERT_EQ(pair.vst2->SetChunk(testhost::ProgramChunk(record, "Renamed"), true), 1);
  ASSERT_EQ(pair.vst3->SetState(pair.vst2->GetChunk(true)), kResultOk);
  const Bytes session = testhost::SessionLike(*pair.vst2);
  EXPECT_EQ(pair.vst3->GetState(), session);
  // Hosts' streams that move a few bytes per call.
  MemoryStream slow;
  slow.mostPerCall = 7;
  ASSERT_EQ(pair.vst3->component->getState(&slow), kResultOk);
  EXPECT_EQ(slow.bytes, session);
  auto other = Instance::Create();
  ASSERT_TRUE(other);
  slow.position = 0;
  ASSERT_EQ(other->component->setState(&slow), kResultOk);
  EXPECT_EQ(other->GetState(), session);
  EXPECT_EQ(pair.vst3->component->setState(nullptr), kInvalidArgument);
}

TEST_F(State, AVst2BankLoadsWithItsProgramNames) {
  auto vst2 = testhost::PluginInstance::Create(testhost::SharedModule());
  auto plugin = Instance::Create();
  ASSERT_TRUE(vst2 && plugin);
  vst2->Open();
  vst2->Dispatch(effSetProgram, 0, 4);
  testhost::SetExact(*vst2, testhost::kFreqMaxL, 0.8125);
  vst2->Dispatch(effSetProgramName, 0, 0, const_cast<char*>("Mine"));
  vst2->Dispatch(effSetProgram, 0, 9);
  const Bytes bank = vst2->GetChunk(false);
  vst2->Dispatch(effSetProgram, 0, 0);  // the VST3 instance's current program
  ASSERT_EQ(plugin->SetState(bank), kResultOk);
  for (int i = 0; i < 32; ++i) {
    String128 name{};
    ASSERT_EQ(plugin->units->getProgramName(1, i, name), kResultOk);
    EXPECT_EQ(FromUtf16(name), vst2->ProgramNameIndexed(i)) << i;
  }
  ASSERT_EQ(plugin->controller->setParamNormalized(0x50726F67, 4.0 / 31.0), kResultOk);
  // The same steps in the VST 2.4 build.
  auto loaded = testhost::PluginInstance::Create(testhost::SharedModule());
  ASSERT_TRUE(loaded);
  loaded->Open();
  ASSERT_EQ(loaded->SetChunk(bank, false), 1);
  loaded->Dispatch(effSetProgram, 0, 4);
  EXPECT_EQ(plugin->GetState(), testhost::SessionLike(*loaded));
}

TEST_F(State, TheFactoryProgramsAreTheProgramList) {
  auto vst2 = testhost::PluginInstance::Create(testhost::SharedModule());
  auto plugin = Instance::Create();
  ASSERT_TRUE(vst2 && plugin);
  vst2->Open();
  IUnitInfo* units = plugin->units;
  ASSERT_EQ(units->getUnitCount(), 1);
  UnitInfo unit{};
  ASSERT_EQ(units->getUnitInfo(0, unit), kResultOk);
  EXPECT_EQ(unit.id, kRootUnitId);
  EXPECT_EQ(unit.parentUnitId, kNoParentUnitId);
  ASSERT_EQ(units->getProgramListCount(), 1);
  ProgramListInfo list{};
  ASSERT_EQ(units->getProgramListInfo(0, list), kResultOk);
  EXPECT_EQ(list.id, unit.programListId);
  EXPECT_EQ(list.programCount, 32);
  String128 name{};
  EXPECT_EQ(units->getProgramName(list.id, 32, name), kInvalidArgument);
  EXPECT_EQ(units->getProgramName(list.id + 1, 0, name), kInvalidArgument);
  for (int i : {0, 1, 17, 31}) {
    ASSERT_EQ(plugin->controller->setParamNormalized(0x50726F67, i / 31.0), kResultOk);
    vst2->Dispatch(effSetProgram, 0, i);
    EXPECT_EQ(plugin->GetState(), testhost::SessionLike(*vst2)) << "program " << i;
  }
}

constexpr ParamID kProgramId = 0x50726F67;

std::vector<double> Normalised(Instance& plugin) {
  std::vector<double> v;
  for (ParamID id = 0; id < 15; ++id) v.push_back(plugin.controller->getParamNormalized(id));
  v.push_back(plugin.controller->getParamNormalized(kProgramId));
  return v;
}

std::vector<std::string> Names(Instance& plugin) {
  std::vector<std::string> names;
  for (int i = 0; i < 32; ++i) {
    String128 name{};
    plugin.units->getProgramName(1, i, name);
    names.push_back(FromUtf16(name));
  }
  return names;
}

void ProcessBlock(Instance& plugin) {
  std::vector<float> l(64, 0.25f), r(64, -0.25f);
  float* io[2] = {l.data(), r.data()};
  plugin.Process(io, 2, io, 2, 64);
}

// Host calls in an order shuffled from a seed, as validators make them;
// then the session goes into a fresh instance, into this one after more
// changes, and into the VST 2.4 build, and comes back exactly each time.
TEST_F(State, RandomHostOperationsComeBackExactly) {
  auto vst2 = testhost::PluginInstance::Create(testhost::SharedModule());
  ASSERT_TRUE(vst2);
  vst2->Open();
  for (uint32_t seed : {1u, 2u, 3u, 4u}) {
    std::mt19937 rng(seed);
    auto unit = [&] { return (rng() % 1025) / 1024.0; };
    auto plugin = Instance::Create();
    ASSERT_TRUE(plugin);
    plugin->Start();
    std::vector<Bytes> states{plugin->GetState()};
    for (int op = 0; op < 120; ++op) {
      switch (rng() % 7) {
        case 0: plugin->controller->setParamNormalized(rng() % 15, unit()); break;
        case 1:  // a block's changes, the link among them
          for (int k = 0; k < 4; ++k) plugin->input.Add(k == 0 ? testhost::kLink : rng() % 15, 0, unit());
          ProcessBlock(*plugin);
          break;
        case 2: plugin->controller->setParamNormalized(kProgramId, (rng() % 32) / 31.0); break;
        case 3: ASSERT_EQ(plugin->SetState(testhost::RenamedBank(*vst2, rng)), kResultOk); break;
        case 4: ASSERT_EQ(plugin->SetState(states[rng() % states.size()]), kResultOk); break;
        case 5: states.push_back(plugin->GetState()); break;
        default: ProcessBlock(*plugin); break;
      }
    }
    const Bytes saved = plugin->GetState();
    const std::vector<double> values = Normalised(*plugin);
    auto fresh = Instance::Create();
    ASSERT_TRUE(fresh);
    fresh->Start();
    ASSERT_EQ(fresh->SetState(saved), kResultOk);
    EXPECT_EQ(fresh->GetState(), saved) << "seed " << seed;
    EXPECT_EQ(Normalised(*fresh), values) << "seed " << seed;
    EXPECT_EQ(Names(*fresh), Names(*plugin)) << "seed " << seed;

    plugin->controller->setParamNormalized(kProgramId, values[15] > 0.5 ? 0.0 : 1.0);
    plugin->controller->setParamNormalized(testhost::kLink, values[0] > 0.5 ? 0.0 : 1.0);
    ASSERT_EQ(plugin->SetState(saved), kResultOk);
    EXPECT_EQ(Normalised(*plugin), values) << "seed " << seed << ": restored over other settings";
    EXPECT_EQ(plugin->GetState(), saved) << "seed " << seed;

    auto other = testhost::Vst2WithSession(saved);
    ASSERT_TRUE(other);
    EXPECT_EQ(testhost::CurrentProgram(*other), std::lround(values[15] * 31)) << "seed " << seed;
    EXPECT_EQ(testhost::ProgramNames(*other), Names(*plugin)) << "seed " << seed;
  }
}

// A block's changes at one offset are one batch: turning the link off
// keeps the right side the batch sets; turning it on links after it.
TEST_F(State, ABatchThatTurnsTheLinkOffKeepsTheRightSide) {
  auto plugin = Instance::Create();
  ASSERT_TRUE(plugin);
  plugin->Start();
  plugin->input.Add(testhost::kLink, 0, 1.0);
  ProcessBlock(*plugin);
  const std::vector<double> linked = Normalised(*plugin);
  plugin->input.Add(testhost::kLink, 0, 0.0);
  plugin->input.Add(testhost::kMixR, 0, 0.25);
  plugin->input.Add(testhost::kFreqMinR, 0, 0.375);
  plugin->input.Add(testhost::kFreqMaxR, 0, 0.75);
  ProcessBlock(*plugin);
  std::vector<double> expected = linked;
  expected[testhost::kLink] = 0.0;
  expected[testhost::kMixR] = 0.25;
  expected[testhost::kFreqMinR] = 0.375;
  expected[testhost::kFreqMaxR] = 0.75;
  EXPECT_EQ(Normalised(*plugin), expected);
  // The link on in the same batch as a right value: the right follows the left.
  plugin->input.Add(testhost::kMixR, 0, 0.875);
  plugin->input.Add(testhost::kLink, 0, 1.0);
  ProcessBlock(*plugin);
  EXPECT_EQ(Normalised(*plugin), linked);
}

TEST_F(State, StreamsThatAreNotOursAreRefusedWithNothingLost) {
  auto plugin = Instance::Create();
  ASSERT_TRUE(plugin);
  ASSERT_EQ(plugin->SetState(testhost::ProgramChunk(testhost::Record201(testhost::DistinctValues()), "Kept")),
            kResultOk);
  const Bytes kept = plugin->GetState();
  const size_t recordEnd = kept.size() - 4 - 4;  // before the name "Kept" and its length
  std::vector<Bytes> refused = {{}, kept, kept};
  refused[1].push_back(0);                                    // longer
  refused[2][4] = 2;                                          // a newer framework version
  Bytes newer = kept;
  newer[8 + 21] = '9';                                        // a newer record ("..._2.0.9")
  refused.push_back(newer);
  for (size_t n = 1; n < kept.size(); ++n)
    if (n != recordEnd) refused.emplace_back(kept.begin(), kept.begin() + static_cast<long>(n));
  std::mt19937 rng(77);
  for (int k = 0; k < 50; ++k) {
    Bytes noise(rng() % 600);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(rng());
    if (k % 2 == 0 && noise.size() >= 8) std::copy(kept.begin(), kept.begin() + 8, noise.begin());
    refused.push_back(noise);
  }
  for (const Bytes& bytes : refused) {
    EXPECT_NE(plugin->SetState(bytes), kResultOk) << bytes.size() << " bytes";
    ASSERT_EQ(plugin->GetState(), kept) << "changed by " << bytes.size() << " bytes";
  }

  // Numbers that are no values are never loaded.
  testhost::Values wild = testhost::DistinctValues();
  wild[1] = std::nan("");
  wild[3] = INFINITY;
  wild[10] = -INFINITY;
  wild[13] = 1e300;
  ASSERT_EQ(plugin->SetState(testhost::ProgramChunk(testhost::Record201(wild), "Wild")), kResultOk);
  for (ParamID id = 0; id < 15; ++id) {
    const double plain = plugin->controller->normalizedParamToPlain(id, plugin->controller->getParamNormalized(id));
    EXPECT_TRUE(std::isfinite(plain)) << id;
  }
}

}  // namespace
}  // namespace vst3host
