// State through CLAP streams: the session every format saves, made of what
// the VST 2.4 build's bank and program chunks hold, so it moves between the
// formats; the VST 2.4 build's program and bank
// chunks load; whatever else arrives is refused and changes nothing.
#include <cmath>
#include <random>

#include "tests/host/StateSupport.h"
#include "tests/torture/TortureSupport.h"
#include "tests/plugin/clap/ClapTestSupport.h"

namespace claphost {
namespace {

using State = ClapTest;
using testhost::Bytes;

// Fifteen values set through host events; the link last, so that the
// sides are set apart first.
void SetValues(ClapInstance& plugin, const testhost::Values& v) {
  EventList events;
  events.Value(0, 0, 0.0);
  for (uint32_t i = 1; i < 15; ++i) events.Value(0, i, v[i]);
  events.Value(0, 0, v[0]);
  plugin.Flush(&events);
}

testhost::Values ValuesOf(ClapInstance& plugin) {
  testhost::Values v{};
  for (uint32_t i = 0; i < 15; ++i) v[i] = plugin.Value(i);
  return v;
}

TEST_F(State, SavedBytesAreTheSessionOfTheVst2BuildsState) {
  auto clap = Running();
  ASSERT_TRUE(clap);
  auto vst = Vst2();
  ASSERT_TRUE(vst);
  // DistinctValues as settings, set in both builds the same way.
  ref::Settings s;
  s.volume[0] = 2.25, s.volume[1] = 0.375, s.mix[0] = 0.125, s.mix[1] = 0.875;
  s.mode[0] = 0, s.mode[1] = 1, s.rangeIndex = 3;
  s.freqMin[0] = -0.625, s.freqMin[1] = 0.25, s.freqMax[0] = 0.9375, s.freqMax[1] = -0.1875;
  s.waveform = 4, s.lfoRate = 0.0625, s.syncToHost = true;
  Configure(*clap, s);
  testhost::Configure(*vst, s);
  Bytes saved, savedInPieces;
  ASSERT_TRUE(clap->Save(saved));
  ASSERT_TRUE(clap->Save(savedInPieces, 3));  // a host that takes three bytes a call
  EXPECT_EQ(saved, savedInPieces);
  EXPECT_EQ(saved, testhost::SessionLike(*vst));
  const auto parsed = testhost::ParseSession(saved);
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(parsed->record.values, testhost::DistinctValues());
}

TEST_F(State, SessionsAndVst2ChunksLoad) {
  auto source = Running();
  ASSERT_TRUE(source);
  SetValues(*source, testhost::DistinctValues());
  Bytes saved;
  ASSERT_TRUE(source->Save(saved));

  auto plugin = Running();
  ASSERT_TRUE(plugin);
  ASSERT_TRUE(plugin->Load(saved, 5));
  EXPECT_EQ(ValuesOf(*plugin), testhost::DistinctValues());

  // The VST 2.4 build's program chunk of a factory program, and its bank.
  auto vst = Vst2();
  ASSERT_TRUE(vst);
  vst->Dispatch(effSetProgram, 0, 27);
  const Bytes program = vst->GetChunk(true);
  const testhost::Values laser = testhost::ValuesOf(*vst);
  auto fresh = Running();
  ASSERT_TRUE(fresh);
  ASSERT_TRUE(fresh->Load(program));
  EXPECT_EQ(ValuesOf(*fresh), laser);

  vst->Dispatch(effSetProgram, 0, 0);
  testhost::SetText(*vst, testhost::kLfoWaveform, "S/H");
  const testhost::Values edited = testhost::ValuesOf(*vst);
  const Bytes bank = vst->GetChunk(false);
  auto another = Running();
  ASSERT_TRUE(another);
  ASSERT_TRUE(another->Load(bank));
  EXPECT_EQ(ValuesOf(*another), edited);  // the current program, as the bank holds it

  // Older records: the previous tag and the untagged layout.
  const testhost::Values v = testhost::DistinctValues();
  ASSERT_TRUE(another->Load(testhost::ProgramChunk(testhost::Record200(v), "Old")));
  EXPECT_EQ(ValuesOf(*another), v);
  testhost::Values untagged = v;
  untagged[14] = 0.0;  // "Sync to Host" came later: its default
  ASSERT_TRUE(another->Load(testhost::ProgramChunk(testhost::RecordUntagged(v), "Older")));
  EXPECT_EQ(ValuesOf(*another), untagged);
}

// Host calls shuffled from a seed: values at one time and apart, the link
// among them, banks and earlier states loaded; the session then comes back
// exactly in a fresh instance and in the VST 2.4 build.
TEST_F(State, RandomHostOperationsComeBackExactly) {
  auto vst = Vst2();
  ASSERT_TRUE(vst);
  for (uint32_t seed : {1u, 2u, 3u, 4u}) {
    std::mt19937 rng(seed);
    auto plugin = Running();
    ASSERT_TRUE(plugin);
    auto plain = [&](uint32_t id) {
      const clap_param_info_t info = plugin->Info(id);
      // Values a user types, such as 1.48: not always exact in binary.
      return std::round((info.min_value + (info.max_value - info.min_value) * (rng() % 1001) / 1000.0) * 100) / 100;
    };
    std::vector<Bytes> states(1);
    ASSERT_TRUE(plugin->Save(states[0]));
    for (int op = 0; op < 120; ++op) {
      switch (rng() % 6) {
        case 0: {
          EventList events;
          for (int k = 0, n = 1 + rng() % 4; k < n; ++k) {
            const uint32_t id = rng() % 15;
            events.Value(0, id, plain(id));
          }
          plugin->Flush(&events);
          break;
        }
        case 1: {  // both sides alike, then the link on
          EventList events;
          const double v = plain(testhost::kVolumeL);
          events.Value(0, testhost::kVolumeL, v);
          events.Value(0, testhost::kVolumeR, v);
          events.Value(0, testhost::kLink, 1.0);
          plugin->Flush(&events);
          break;
        }
        case 2: ASSERT_TRUE(plugin->Load(testhost::RenamedBank(*vst, rng))); break;
        case 3: ASSERT_TRUE(plugin->Load(states[rng() % states.size()])); break;
        default:
          states.emplace_back();
          ASSERT_TRUE(plugin->Save(states.back()));
          break;
      }
    }
    Bytes saved, again;
    ASSERT_TRUE(plugin->Save(saved));
    auto fresh = Running();
    ASSERT_TRUE(fresh);
    ASSERT_TRUE(fresh->Load(saved, 7));
    ASSERT_TRUE(fresh->Save(again));
    EXPECT_EQ(again, saved) << "seed " << seed;
    EXPECT_EQ(ValuesOf(*fresh), ValuesOf(*plugin)) << "seed " << seed;
    const auto session = testhost::ParseSession(saved);
    ASSERT_TRUE(session.has_value());
    EXPECT_EQ(session->record.values, ValuesOf(*plugin)) << "the plain values as the host set them";
    EXPECT_TRUE(testhost::Vst2WithSession(saved));
  }
}

// Events at one time are one batch: the link off keeps the right side the
// batch sets, the link on links after the batch.
TEST_F(State, ABatchThatTurnsTheLinkOffKeepsTheRightSide) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  EventList on;
  on.Value(0, testhost::kLink, 1.0);
  plugin->Flush(&on);
  const testhost::Values linked = ValuesOf(*plugin);
  EventList off;
  off.Value(0, testhost::kLink, 0.0);
  off.Value(0, testhost::kMixR, 0.25);
  off.Value(0, testhost::kFreqMinR, -0.5);
  off.Value(0, testhost::kFreqMaxR, 0.75);
  std::vector<std::vector<float>> in(2, std::vector<float>(64, 0.25f)), out(2, std::vector<float>(64));
  plugin->ProcessFloat(in, out, 64, &off);
  testhost::Values expected = linked;
  expected[testhost::kLink] = 0.0;
  expected[testhost::kMixR] = 0.25;
  expected[testhost::kFreqMinR] = -0.5;
  expected[testhost::kFreqMaxR] = 0.75;
  EXPECT_EQ(ValuesOf(*plugin), expected);
  EventList relink;
  relink.Value(0, testhost::kMixR, 0.875);
  relink.Value(0, testhost::kLink, 1.0);
  plugin->ProcessFloat(in, out, 64, &relink);
  EXPECT_EQ(ValuesOf(*plugin), linked);
}

// Short, long, random, empty and newer streams: false, and nothing changed.
TEST_F(State, BadStreamsAreRefusedAndChangeNothing) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  SetValues(*plugin, testhost::DistinctValues());
  Bytes good;
  ASSERT_TRUE(plugin->Save(good));
  auto expectUnchanged = [&](const Bytes& bytes, const std::string& what) {
    EXPECT_FALSE(plugin->Load(bytes)) << what;
    const testhost::Values now = ValuesOf(*plugin);
    ASSERT_EQ(now, testhost::DistinctValues()) << what;
  };
  ASSERT_TRUE(testhost::ParseSession(good).has_value());
  for (size_t n = 0; n + 1 < good.size(); ++n)
    expectUnchanged(Bytes(good.begin(), good.begin() + n), "cut after " + std::to_string(n));
  // A program chunk cut inside its record or its name.
  const Bytes program = testhost::ProgramChunk(testhost::Record201(testhost::Values{}), "Cut");
  for (size_t n : {size_t{9}, program.size() - 30, program.size() - 5, program.size() - 1})
    expectUnchanged(Bytes(program.begin(), program.begin() + static_cast<long>(n)),
                    "program cut after " + std::to_string(n));
  Bytes longer = good;
  longer.push_back(0);
  expectUnchanged(longer, "one byte too many");
  Bytes newer = good;
  newer[4] = 0x00;
  newer[5] = 0x00;
  newer[6] = 0x02;  // framework chunk version 2.0
  expectUnchanged(newer, "a later chunk version");
  torture::Rng rng(99);
  for (int round = 0; round < 200; ++round) {
    Bytes noise(static_cast<size_t>(rng.Below(400)));
    for (uint8_t& b : noise) b = static_cast<uint8_t>(rng.Next());
    const bool header = round % 2 == 0 && noise.size() >= 8;
    if (header) std::copy(good.begin(), good.begin() + 8, noise.begin());
    // Any 112 bytes are a whole record of the untagged layout: loaded,
    // clamped into range, and put back for the next round.
    if (noise.size() == (header ? 120u : 112u)) {
      EXPECT_TRUE(plugin->Load(noise));
      for (uint32_t i = 0; i < 15; ++i) {
        const clap_param_info_t info = plugin->Info(i);
        EXPECT_TRUE(plugin->Value(i) >= info.min_value && plugin->Value(i) <= info.max_value) << i;
      }
      SetValues(*plugin, testhost::DistinctValues());
      continue;
    }
    expectUnchanged(noise, "noise " + std::to_string(round));
  }
  // Every value stays finite through a record of NaNs and infinities, which
  // reads whole and so loads, clamped.
  testhost::Values bad;
  bad.fill(std::nan(""));
  bad[1] = INFINITY;
  bad[8] = -INFINITY;
  EXPECT_TRUE(plugin->Load(testhost::ProgramChunk(testhost::Record201(bad), "NaN")));
  for (uint32_t i = 0; i < 15; ++i) EXPECT_TRUE(std::isfinite(plugin->Value(i))) << i;
  EXPECT_EQ(plugin->Value(testhost::kVolumeL), 4.0);
  EXPECT_EQ(plugin->Value(testhost::kFreqMinL), -1.0);

  // A stream that fails mid-way.
  const clap_istream_t broken{nullptr, [](const clap_istream_t*, void*, uint64_t) -> int64_t { return -1; }};
  EXPECT_FALSE(plugin->state()->load(plugin->plugin(), &broken));
  const clap_ostream_t full{nullptr, [](const clap_ostream_t*, const void*, uint64_t) -> int64_t { return 0; }};
  EXPECT_FALSE(plugin->state()->save(plugin->plugin(), &full));
  EXPECT_FALSE(plugin->state()->load(plugin->plugin(), nullptr));
}

}  // namespace
}  // namespace claphost
