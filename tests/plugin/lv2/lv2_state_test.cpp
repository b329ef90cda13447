// State and presets through LV2: the program chunk saved and restored (also
// one a VST 2.4 host kept, and a session written as Turtle by lilv), bad
// blobs, and the bundle's presets against the VST 2.4 build's programs.
#include <gtest/gtest.h>

#include <lv2/presets/presets.h>

#include <cmath>
#include <random>

#include "tests/host/StateSupport.h"
#include "tests/plugin/lv2/Lv2Host.h"

namespace {

using lv2host::Bytes;
using lv2host::Instance;
using lv2host::World;

struct PortValues {
  std::map<std::string, float> bySymbol;
  static void Set(const char* symbol, void* self, const void* value, uint32_t size, uint32_t type) {
    lv2host::Urids& u = lv2host::Urids::Get();
    float v = NAN;
    if (type == u.Map(LV2_ATOM__Float) && size == 4) v = *static_cast<const float*>(value);
    if (type == u.Map(LV2_ATOM__Double) && size == 8) v = static_cast<float>(*static_cast<const double*>(value));
    if (type == u.Map(LV2_ATOM__Int) && size == 4) v = static_cast<float>(*static_cast<const int32_t*>(value));
    if (type == u.Map(LV2_ATOM__Long) && size == 8) v = static_cast<float>(*static_cast<const int64_t*>(value));
    static_cast<PortValues*>(self)->bySymbol[symbol] = v;
  }
};

std::string SymbolOf(int index) {
  const LilvPort* port = lilv_plugin_get_port_by_index(World::Get().plugin, static_cast<uint32_t>(index));
  return lilv_node_as_string(lilv_port_get_symbol(World::Get().plugin, port));
}

std::unique_ptr<Instance> Running() {
  auto plug = Instance::Make();
  if (plug) {
    plug->ConnectControls();
    plug->Activate();
  }
  return plug;
}

void RunBlock(Instance& plug) {
  std::vector<float> in(64, 0.25f), out(64);
  plug.Run(in.data(), in.data(), out.data(), out.data(), 64);
}

TEST(Lv2State, VstChunkAndLilvSessionRestoreExactly) {
  auto plug = Running();
  ASSERT_TRUE(plug);
  const testhost::Values values = testhost::DistinctValues();
  ASSERT_EQ(plug->RestoreChunk(testhost::ProgramChunk(testhost::Record201(values), "My Sound"), 5),
            LV2_STATE_SUCCESS);
  // The ports still hold the defaults a host set: the state stands over them.
  RunBlock(*plug);
  auto saved = testhost::ParseProgram(plug->SavedChunk());
  ASSERT_TRUE(saved.has_value());
  EXPECT_EQ(saved->values, values);
  EXPECT_EQ(saved->name, "My Sound");
  EXPECT_EQ(saved->presetIndex, 5);

  // A session: lilv writes ports and state as Turtle, another instance
  // reads it back, ports included.
  World& w = World::Get();
  lv2host::Urids& u = lv2host::Urids::Get();
  auto getValue = [](const char* symbol, void* self, uint32_t* size, uint32_t* type) -> const void* {
    Instance* from = static_cast<Instance*>(self);
    for (int i = 0; i < lv2host::kParams; ++i)
      if (SymbolOf(i) == symbol) {
        *size = sizeof(float);
        *type = lv2host::Urids::Get().Map(LV2_ATOM__Float);
        return &from->control[i];
      }
    return nullptr;
  };
  LilvState* state = lilv_state_new_from_instance(w.plugin, plug->lilv(), u.map(), nullptr, nullptr, nullptr,
                                                  nullptr, getValue, plug.get(), 0, plug->features());
  char* text = lilv_state_to_string(w.world, u.map(), u.unmap(), state, "urn:test:session", nullptr);
  LilvState* read = lilv_state_new_from_string(w.world, u.map(), text);
  auto other = Running();
  PortValues ports;
  lilv_state_restore(read, other->lilv(), &PortValues::Set, &ports, 0, other->features());
  for (int i = 0; i < lv2host::kParams; ++i) other->control[i] = ports.bySymbol.at(SymbolOf(i));
  RunBlock(*other);
  EXPECT_EQ(other->SavedChunk(), plug->SavedChunk());
  // Later port changes count again.
  other->control[3] = 0.25f;
  RunBlock(*other);
  saved = testhost::ParseProgram(other->SavedChunk());
  testhost::Values changed = values;
  changed[3] = 0.25;
  EXPECT_EQ(saved->values, changed);
  lilv_state_free(read);
  lilv_free(text);
  lilv_state_free(state);
}

// Every value the plug-in holds afterwards is finite and within its port's
// range.
void ExpectSane(Instance& plug, const char* what) {
  const auto saved = testhost::ParseProgram(plug.SavedChunk());
  ASSERT_TRUE(saved.has_value()) << what;
  for (int i = 0; i < lv2host::kParams; ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(World::Get().plugin, static_cast<uint32_t>(i));
    LilvNode *min = nullptr, *max = nullptr;
    lilv_port_get_range(World::Get().plugin, port, nullptr, &min, &max);
    EXPECT_TRUE(saved->values[i] >= lilv_node_as_float(min) && saved->values[i] <= lilv_node_as_float(max))
        << what << ": parameter " << i << " = " << saved->values[i];
    lilv_node_free(min);
    lilv_node_free(max);
  }
}

TEST(Lv2State, BadBlobsNeverCrashChangeNothingOrLoadOnlyFiniteValues) {
  auto plug = Running();
  ASSERT_TRUE(plug);
  const Bytes good = testhost::ProgramChunk(testhost::Record201(testhost::DistinctValues()), "Kept");
  ASSERT_EQ(plug->RestoreChunk(good), LV2_STATE_SUCCESS);
  const Bytes before = plug->SavedChunk();
  // Short: refused, nothing changed.
  for (size_t n = 0; n < good.size(); ++n) {
    plug->RestoreChunk(Bytes(good.begin(), good.begin() + n));
    ASSERT_EQ(plug->SavedChunk(), before) << "cut to " << n << " bytes";
  }
  // Of another type, or none at all: refused.
  lv2host::State wrongType;
  wrongType[lv2host::kChunkKey] = {LV2_ATOM__String, good};
  EXPECT_EQ(plug->Restore(wrongType), LV2_STATE_ERR_BAD_TYPE);
  EXPECT_EQ(plug->Restore({}), LV2_STATE_ERR_NO_PROPERTY);
  EXPECT_EQ(plug->SavedChunk(), before);
  // Long (a later version's bytes after the name) and the previous layout
  // load; non-finite values are kept out.
  Bytes longer = good;
  longer.insert(longer.end(), 16, 0xEE);
  EXPECT_EQ(plug->RestoreChunk(longer), LV2_STATE_SUCCESS);
  testhost::Values wild = testhost::DistinctValues();
  wild[1] = NAN;
  wild[3] = INFINITY;
  wild[9] = -INFINITY;
  EXPECT_EQ(plug->RestoreChunk(testhost::ProgramChunk(testhost::Record200(wild), "")), LV2_STATE_SUCCESS);
  ExpectSane(*plug, "non-finite values");
  // Random bytes, with and without the header.
  std::mt19937 random(2024);
  for (int k = 0; k < 2000; ++k) {
    Bytes blob(random() % 300);
    for (uint8_t& b : blob) b = static_cast<uint8_t>(random());
    if (k % 2 == 0 && blob.size() >= 8) std::copy(good.begin(), good.begin() + 8, blob.begin());
    plug->RestoreChunk(blob, static_cast<int>(random() % 40) - 4);
    RunBlock(*plug);
  }
  ExpectSane(*plug, "random blobs");
}

TEST(Lv2Presets, EachLoadsTheVst2ProgramOfItsIndex) {
  testhost::SetPluginPathFromCommandLine(VELTRANE_VST2_PLUGIN);
  auto vst = testhost::PluginInstance::Create(testhost::SharedModule());
  ASSERT_TRUE(vst);
  vst->Open();
  const std::vector<std::string> names = testhost::ProgramNames(*vst);
  World& w = World::Get();
  LilvNode* presetClass = lilv_new_uri(w.world, LV2_PRESETS__Preset);
  LilvNodes* presets = lilv_plugin_get_related(w.plugin, presetClass);
  EXPECT_EQ(lilv_nodes_size(presets), names.size());
  int checked = 0;
  LILV_FOREACH (nodes, it, presets) {
    const LilvNode* preset = lilv_nodes_get(presets, it);
    lilv_world_load_resource(w.world, preset);
    LilvState* state = lilv_state_new_from_world(w.world, lv2host::Urids::Get().map(), preset);
    ASSERT_NE(state, nullptr);
    const std::string label = lilv_state_get_label(state);
    const auto program = std::find(names.begin(), names.end(), label);
    ASSERT_NE(program, names.end()) << label;
    vst->Dispatch(effSetProgram, 0, program - names.begin());
    const testhost::Values expected = testhost::ValuesOf(*vst);

    auto plug = Running();
    PortValues ports;
    lilv_state_restore(state, plug->lilv(), &PortValues::Set, &ports, 0, plug->features());
    for (int i = 0; i < lv2host::kParams; ++i) {
      EXPECT_EQ(ports.bySymbol[SymbolOf(i)], static_cast<float>(expected[i])) << label << ", " << SymbolOf(i);
      plug->control[i] = ports.bySymbol[SymbolOf(i)];
    }
    RunBlock(*plug);
    const auto saved = testhost::ParseProgram(plug->SavedChunk());
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->values, expected) << label;
    EXPECT_EQ(saved->name, label);
    EXPECT_EQ(saved->presetIndex, program - names.begin()) << label;
    lilv_state_free(state);
    ++checked;
  }
  EXPECT_EQ(checked, 32);
  lilv_nodes_free(presets);
  lilv_node_free(presetClass);
}

}  // namespace
