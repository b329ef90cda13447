// State and presets through LV2: the program chunk saved and restored (one a
// VST 2.4 host kept, and a session lilv wrote as Turtle), bad blobs, and the
// bundle's presets against the VST 2.4 build's programs.
#include <gtest/gtest.h>

#include <lv2/presets/presets.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "tests/host/StateSupport.h"
#include "tests/plugin/lv2/Lv2Host.h"

namespace {

using lv2host::Bytes;
using lv2host::Instance;

// Port values lilv sets from a state, by symbol.
using PortValues = std::map<std::string, float>;
void SetPort(const char* symbol, void* ports, const void* value, uint32_t size, uint32_t type) {
  // Floats only, as control ports hold them: some hosts drop other types.
  EXPECT_EQ(type, lv2host::Map(LV2_ATOM__Float)) << symbol;
  (*static_cast<PortValues*>(ports))[symbol] = static_cast<float>(lv2host::Number(value, size, type));
}

std::unique_ptr<Instance> Started() {
  auto plug = Instance::Make();
  if (plug) plug->Start();
  return plug;
}

void RunBlock(Instance& plug) {
  std::vector<float> in(64, 0.25f), out(64);
  plug.Run(in.data(), in.data(), out.data(), out.data(), 64);
}

testhost::Values Held(Instance& plug) {
  const auto saved = testhost::ParseProgram(plug.SavedChunk());
  EXPECT_TRUE(saved.has_value());
  return saved ? saved->values : testhost::Values{};
}

TEST(Lv2State, VstChunkAndLilvSessionRestoreExactly) {
  auto plug = Started();
  ASSERT_TRUE(plug);
  const testhost::Values values = testhost::DistinctValues();
  ASSERT_EQ(plug->RestoreChunk(testhost::ProgramChunk(testhost::Record201(values), "My Sound"), 5), LV2_STATE_SUCCESS);
  RunBlock(*plug);  // the ports still hold the defaults: the state stands over them
  const auto saved = testhost::ParseProgram(plug->SavedChunk());
  ASSERT_TRUE(saved.has_value());
  EXPECT_EQ(saved->values, values);
  EXPECT_EQ(saved->name, "My Sound");
  EXPECT_EQ(saved->presetIndex, 5);

  // A session: lilv writes ports and state as Turtle; another instance
  // reads it back, ports included.
  auto getPort = [](const char* symbol, void* plug, uint32_t* size, uint32_t* type) -> const void* {
    for (int i = 0; i < lv2host::kParams; ++i)
      if (lv2host::Symbol(i) == symbol) {
        *size = sizeof(float);
        *type = lv2host::Map(LV2_ATOM__Float);
        return &static_cast<Instance*>(plug)->control[i];
      }
    return nullptr;
  };
  LilvState* state = lilv_state_new_from_instance(lv2host::Plugin(), plug->lilv(), lv2host::UridMap(), nullptr,
                                                  nullptr, nullptr, nullptr, getPort, plug.get(), 0, plug->features());
  char* text = lilv_state_to_string(lv2host::World(), lv2host::UridMap(), lv2host::UridUnmap(), state, "urn:session",
                                    nullptr);
  LilvState* read = lilv_state_new_from_string(lv2host::World(), lv2host::UridMap(), text);
  auto other = Started();
  PortValues ports;
  lilv_state_restore(read, other->lilv(), &SetPort, &ports, 0, other->features());
  for (int i = 0; i < lv2host::kParams; ++i) other->control[i] = ports.at(lv2host::Symbol(i));
  RunBlock(*other);
  EXPECT_EQ(other->SavedChunk(), plug->SavedChunk());
  // Later port changes count again (Mix L in % wet).
  other->control[3] = 25.0f;
  RunBlock(*other);
  testhost::Values changed = values;
  changed[3] = 0.25;
  EXPECT_EQ(Held(*other), changed);
  lilv_state_free(read);
  lilv_free(text);
  lilv_state_free(state);
}

// A 2.0.3 session: the program chunk and its index, and the ports holding
// the values themselves (gains, not dB). The state stands over the ports
// whether the host sets them before restoring (Ardour) or after (lilv);
// the host's later changes are in the new units.
TEST(Lv2State, A203SessionRestoresExactlyOverItsOldPortValues) {
  const testhost::Values values = testhost::DistinctValues();
  const Bytes chunk = testhost::ProgramChunk(testhost::Record201(values), "Old Session");
  for (bool portsFirst : {true, false}) {
    auto plug = Started();
    ASSERT_TRUE(plug);
    RunBlock(*plug);
    auto oldPorts = [&] {
      for (int i = 0; i < lv2host::kParams; ++i) plug->control[i] = static_cast<float>(values[i]);
    };
    if (portsFirst) oldPorts();
    ASSERT_EQ(plug->RestoreChunk(chunk, 9), LV2_STATE_SUCCESS);
    if (!portsFirst) oldPorts();
    RunBlock(*plug);
    RunBlock(*plug);
    const auto saved = testhost::ParseProgram(plug->SavedChunk());
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->values, values) << portsFirst;
    EXPECT_EQ(saved->name, "Old Session");
    EXPECT_EQ(saved->presetIndex, 9);
    plug->control[13] = 10.0f;  // LFO Rate, Hz
    RunBlock(*plug);
    testhost::Values changed = values;
    changed[13] = 0.25;
    EXPECT_EQ(Held(*plug), changed) << portsFirst;
  }
}

TEST(Lv2State, BadBlobsNeverCrashChangeNothingOrLoadOnlyFiniteValues) {
  auto plug = Started();
  ASSERT_TRUE(plug);
  const Bytes good = testhost::ProgramChunk(testhost::Record201(testhost::DistinctValues()), "Kept");
  ASSERT_EQ(plug->RestoreChunk(good), LV2_STATE_SUCCESS);
  const Bytes before = plug->SavedChunk();
  for (size_t n = 0; n < good.size(); ++n) {  // short: refused, nothing changed
    plug->RestoreChunk(Bytes(good.begin(), good.begin() + n));
    ASSERT_EQ(plug->SavedChunk(), before) << "cut to " << n << " bytes";
  }
  lv2host::State wrongType;
  wrongType[lv2host::kChunkKey] = {LV2_ATOM__String, good};
  EXPECT_EQ(plug->Restore(wrongType), LV2_STATE_ERR_BAD_TYPE);
  EXPECT_EQ(plug->Restore({}), LV2_STATE_ERR_NO_PROPERTY);
  EXPECT_EQ(plug->SavedChunk(), before);
  // Bytes after the name are refused like any other; the previous layout
  // loads; non-finite values do not.
  Bytes longer = good;
  longer.insert(longer.end(), 16, 0xEE);
  EXPECT_EQ(plug->RestoreChunk(longer), LV2_STATE_ERR_UNKNOWN);
  EXPECT_EQ(plug->SavedChunk(), before);
  testhost::Values wild = testhost::DistinctValues();
  wild[1] = NAN;
  wild[3] = INFINITY;
  wild[9] = -INFINITY;
  EXPECT_EQ(plug->RestoreChunk(testhost::ProgramChunk(testhost::Record200(wild), "")), LV2_STATE_SUCCESS);
  std::mt19937 random(2024);  // random bytes, with and without the header
  for (int k = 0; k < 2000; ++k) {
    Bytes blob(random() % 300);
    for (uint8_t& b : blob) b = static_cast<uint8_t>(random());
    if (k % 2 == 0 && blob.size() >= 8) std::copy(good.begin(), good.begin() + 8, blob.begin());
    plug->RestoreChunk(blob, static_cast<int>(random() % 40) - 4);
    RunBlock(*plug);
  }
  float low[lv2host::kNotify + 1], high[lv2host::kNotify + 1];
  lilv_plugin_get_port_ranges_float(lv2host::Plugin(), low, high, nullptr);
  const std::vector<float> held = lv2host::PortsOf(Held(*plug));
  for (int i = 0; i < lv2host::kParams; ++i) EXPECT_TRUE(held[i] >= low[i] && held[i] <= high[i]) << i;
}

// A host's calls shuffled from a seed: port values in one run and apart,
// the link among them, program messages, earlier states restored; the
// session then comes back exactly in a fresh instance and in the VST 2.4
// build.
TEST(Lv2State, RandomHostOperationsComeBackExactly) {
  testhost::SetPluginPathFromCommandLine(VELTRANE_VST2_PLUGIN);
  float low[lv2host::kNotify + 1], high[lv2host::kNotify + 1];
  lilv_plugin_get_port_ranges_float(lv2host::Plugin(), low, high, nullptr);
  for (uint32_t seed : {1u, 2u, 3u}) {
    std::mt19937 rng(seed);
    auto plug = Started();
    ASSERT_TRUE(plug);
    // A number a host's slider or text box gives, within the port's range.
    auto number = [&](int port) {
      const float n = low[port] + (high[port] - low[port]) * static_cast<float>(rng() % 1001) / 1000.0f;
      const bool whole = port == 0 || (port >= 5 && port <= 7) || (port >= 12 && port != 13);
      return whole ? std::round(n) : n;
    };
    std::vector<lv2host::State> states = {plug->Save()};
    for (int op = 0; op < 100; ++op) {
      switch (rng() % 6) {
        case 0:
          for (int k = 0, n = 1 + rng() % 4; k < n; ++k) {
            const int port = static_cast<int>(rng() % lv2host::kParams);
            plug->control[port] = number(port);
          }
          break;
        case 1:  // both sides alike and the link on, in one run
          plug->control[1] = plug->control[2] = number(1);
          plug->control[0] = 1.0f;
          break;
        case 2: {
          testhost::Values v = testhost::DistinctValues();
          v[1] = 0.25 + (rng() % 100) / 64.0;
          plug->QueueProgram(0, static_cast<int32_t>(rng() % 32),
                             testhost::ProgramChunk(testhost::Record201(v), "Mine " + std::to_string(op)));
          break;
        }
        case 3: ASSERT_EQ(plug->Restore(states[rng() % states.size()]), LV2_STATE_SUCCESS); break;
        default: states.push_back(plug->Save()); break;
      }
      RunBlock(*plug);
    }
    const lv2host::State saved = plug->Save();
    auto fresh = Started();
    ASSERT_TRUE(fresh);
    ASSERT_EQ(fresh->Restore(saved), LV2_STATE_SUCCESS);
    RunBlock(*fresh);
    const lv2host::State again = fresh->Save();
    EXPECT_EQ(again.at(lv2host::kSessionKey), saved.at(lv2host::kSessionKey)) << "seed " << seed;
    EXPECT_EQ(again, saved) << "seed " << seed;
    EXPECT_EQ(Held(*fresh), Held(*plug)) << "seed " << seed;
    EXPECT_TRUE(testhost::Vst2WithSession(saved.at(lv2host::kSessionKey).second));
  }
}

// One run's port values are one batch: the link off keeps the right side
// the run sets, the link on links after the run.
TEST(Lv2State, ARunThatTurnsTheLinkOffKeepsTheRightSide) {
  auto plug = Started();
  ASSERT_TRUE(plug);
  plug->control[0] = 1.0f;
  RunBlock(*plug);
  const testhost::Values linked = Held(*plug);
  plug->control[0] = 0.0f;
  plug->control[4] = 25.0f;                                       // Mix R, % wet
  plug->control[9] = lv2host::PortOf(9, -0.5, linked[7]);         // Freq Min R
  plug->control[11] = lv2host::PortOf(11, 0.75, linked[7]);       // Freq Max R
  RunBlock(*plug);
  testhost::Values expected = linked;
  expected[0] = 0.0;
  expected[4] = 0.25;
  expected[9] = -0.5;
  expected[11] = 0.75;
  EXPECT_EQ(Held(*plug), expected);
  plug->control[4] = 87.5f;
  plug->control[0] = 1.0f;
  RunBlock(*plug);
  EXPECT_EQ(Held(*plug), linked);
}

TEST(Lv2Presets, EachLoadsTheVst2ProgramOfItsIndex) {
  testhost::SetPluginPathFromCommandLine(VELTRANE_VST2_PLUGIN);
  auto vst = testhost::PluginInstance::Create(testhost::SharedModule());
  ASSERT_TRUE(vst);
  vst->Open();
  const std::vector<std::string> names = testhost::ProgramNames(*vst);
  // Labelled with their numbers, so that hosts sorting by label list them
  // in program order.
  std::vector<std::string> labels;
  for (size_t program = 0; program < names.size(); ++program) {
    char number[8];
    std::snprintf(number, sizeof number, "%02zu ", program);
    labels.push_back(number + names[program]);
  }
  std::vector<std::string> sorted = labels;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, labels);
  for (size_t program = 0; program < names.size(); ++program) {
    LilvState* preset = lv2host::Preset(labels[program]);
    ASSERT_NE(preset, nullptr) << labels[program];
    vst->Dispatch(effSetProgram, 0, static_cast<VstIntPtr>(program));
    const testhost::Values expected = testhost::ValuesOf(*vst);
    auto plug = Started();
    PortValues ports;
    lilv_state_restore(preset, plug->lilv(), &SetPort, &ports, 0, plug->features());
    lilv_state_free(preset);
    for (int i = 0; i < lv2host::kParams; ++i) {
      // In the hosts' units: dB, % wet, Hz.
      EXPECT_EQ(ports[lv2host::Symbol(i)], lv2host::PortOf(i, expected[i], expected[7])) << names[program] << " " << i;
      plug->control[i] = ports[lv2host::Symbol(i)];
    }
    RunBlock(*plug);
    const auto saved = testhost::ParseProgram(plug->SavedChunk());
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->values, expected) << names[program];
    EXPECT_EQ(saved->name, names[program]);
    EXPECT_EQ(saved->presetIndex, static_cast<int32_t>(program));
  }
  // A fresh instance with the ports at their defaults is program 0.
  auto fresh = Started();
  ASSERT_TRUE(fresh);
  RunBlock(*fresh);
  vst->Dispatch(effSetProgram, 0, 0);
  const auto first = testhost::ParseProgram(fresh->SavedChunk());
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->values, testhost::ValuesOf(*vst));
  EXPECT_EQ(first->name, names[0]);
  LilvNode* presetClass = lilv_new_uri(lv2host::World(), LV2_PRESETS__Preset);
  LilvNodes* presets = lilv_plugin_get_related(lv2host::Plugin(), presetClass);
  EXPECT_EQ(lilv_nodes_size(presets), names.size());
  lilv_nodes_free(presets);
  lilv_node_free(presetClass);
}

}  // namespace
