#include "tests/plugin/lv2/Lv2Host.h"

#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/presets/presets.h>
#include <lv2/time/time.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace lv2host {
namespace {

std::mutex gUridLock;
std::vector<std::string> gUris;  // URID n is gUris[n - 1]

LV2_URID MapUri(LV2_URID_Map_Handle, const char* uri) { return Map(uri); }

const char* UnmapUrid(LV2_URID_Unmap_Handle, LV2_URID urid) {
  std::lock_guard<std::mutex> guard(gUridLock);
  return urid >= 1 && urid <= gUris.size() ? gUris[urid - 1].c_str() : nullptr;
}

}  // namespace

LV2_URID Map(const char* uri) {
  std::lock_guard<std::mutex> guard(gUridLock);
  if (gUris.empty()) gUris.reserve(4096);  // earlier c_str() stay valid
  const auto found = std::find(gUris.begin(), gUris.end(), uri);
  if (found != gUris.end()) return static_cast<LV2_URID>(found - gUris.begin() + 1);
  gUris.push_back(uri);
  return static_cast<LV2_URID>(gUris.size());
}

LV2_URID_Map* UridMap() {
  static LV2_URID_Map map = {nullptr, &MapUri};
  return &map;
}

LV2_URID_Unmap* UridUnmap() {
  static LV2_URID_Unmap unmap = {nullptr, &UnmapUrid};
  return &unmap;
}

LilvWorld* World() {
  static LilvWorld* world = [] {
    LilvWorld* w = lilv_world_new();
    const char* path = std::getenv("VELTRANE_LV2_PATH");
    LilvNode* lv2Path = lilv_new_string(w, path != nullptr ? path : "");
    lilv_world_set_option(w, LILV_OPTION_LV2_PATH, lv2Path);
    lilv_node_free(lv2Path);
    lilv_world_load_all(w);
    return w;
  }();
  return world;
}

const LilvPlugin* Plugin() {
  static const LilvPlugin* plugin = [] {
    LilvNode* uri = lilv_new_uri(World(), kPluginUri);
    const LilvPlugin* p = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(World()), uri);
    lilv_node_free(uri);
    return p;
  }();
  return plugin;
}

std::string Symbol(int port) {
  const LilvPort* p = lilv_plugin_get_port_by_index(Plugin(), static_cast<uint32_t>(port));
  return lilv_node_as_string(lilv_port_get_symbol(Plugin(), p));
}

double Number(const void* value, uint32_t size, uint32_t type) {
  if (type == Map(LV2_ATOM__Float) && size == 4) return *static_cast<const float*>(value);
  if (type == Map(LV2_ATOM__Double) && size == 8) return *static_cast<const double*>(value);
  if (type == Map(LV2_ATOM__Int) && size == 4) return *static_cast<const int32_t*>(value);
  if (type == Map(LV2_ATOM__Long) && size == 8) return static_cast<double>(*static_cast<const int64_t*>(value));
  return NAN;
}

LilvState* Preset(const std::string& label) {
  LilvNode* presetClass = lilv_new_uri(World(), LV2_PRESETS__Preset);
  LilvNodes* presets = lilv_plugin_get_related(Plugin(), presetClass);
  LilvState* found = nullptr;
  LILV_FOREACH (nodes, it, presets) {
    lilv_world_load_resource(World(), lilv_nodes_get(presets, it));
    LilvState* state = lilv_state_new_from_world(World(), UridMap(), lilv_nodes_get(presets, it));
    if (found == nullptr && state != nullptr && label == lilv_state_get_label(state))
      found = state;
    else
      lilv_state_free(state);
  }
  lilv_nodes_free(presets);
  lilv_node_free(presetClass);
  return found;
}

float PortOf(int index, double v, double rangeIndex) {
  const double range = 5.0 * std::pow(10.0, static_cast<int>(rangeIndex));
  switch (index) {
    case 1: case 2: return v > 0.0 ? static_cast<float>(std::max(-90.0, 20.0 * std::log10(v))) : -90.0f;
    case 3: case 4: return static_cast<float>(v * 100.0);
    case 7: return static_cast<float>(5.0 * std::pow(10.0, static_cast<int>(v)));
    case 8: case 9: case 10: case 11: {
      const double hz = range * std::min(1.0, v * v);
      return static_cast<float>(v < 0.0 ? -hz : hz);
    }
    case 13: return static_cast<float>(40.0 * v);
    default: return static_cast<float>(v);
  }
}

std::vector<float> PortsOf(const std::array<double, kParams>& values) {
  std::vector<float> ports;
  for (int i = 0; i < kParams; ++i) ports.push_back(PortOf(i, values[i], values[7]));
  return ports;
}

std::unique_ptr<Instance> Instance::Make(double rate, int maxBlock, bool withMap) {
  if (Plugin() == nullptr) return nullptr;
  std::unique_ptr<Instance> made(new Instance());
  made->maxBlock_ = maxBlock;
  made->options_[0] = {LV2_OPTIONS_INSTANCE, 0, Map(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t),
                       Map(LV2_ATOM__Int), &made->maxBlock_};
  made->options_[1] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
  made->mapFeature_ = {LV2_URID__map, UridMap()};
  made->unmapFeature_ = {LV2_URID__unmap, UridUnmap()};
  made->optionsFeature_ = {LV2_OPTIONS__options, made->options_};
  if (withMap) made->features_ = {&made->mapFeature_, &made->unmapFeature_};
  if (maxBlock > 0) made->features_.push_back(&made->optionsFeature_);
  made->features_.push_back(nullptr);
  lv2_atom_forge_init(&made->forge_, UridMap());
  made->instance_ = lilv_plugin_instantiate(Plugin(), rate, made->features_.data());
  if (made->instance_ == nullptr) return nullptr;
  float defaults[kNotify + 1];
  lilv_plugin_get_port_ranges_float(Plugin(), nullptr, nullptr, defaults);
  std::copy(defaults, defaults + kParams, made->control);
  return made;
}

Instance::~Instance() {
  if (instance_ != nullptr) lilv_instance_free(instance_);
}

void Instance::Start() {
  for (uint32_t i = 0; i < kParams; ++i) lilv_instance_connect_port(instance_, i, &control[i]);
  lilv_instance_connect_port(instance_, kShiftL, &meter[0]);
  lilv_instance_connect_port(instance_, kShiftR, &meter[1]);
  lilv_instance_connect_port(instance_, kControl, controlIn_);
  lilv_instance_connect_port(instance_, kNotify, notifyOut_);
  lv2_atom_forge_set_buffer(&forge_, controlIn_, sizeof controlIn_);
  lv2_atom_forge_sequence_head(&forge_, &sequence_, 0);
  lilv_instance_activate(instance_);
}

void Instance::Run(const float* inL, const float* inR, float* outL, float* outR, uint32_t frames) {
  lilv_instance_connect_port(instance_, kInL, const_cast<float*>(inL));
  lilv_instance_connect_port(instance_, kInR, const_cast<float*>(inR));
  lilv_instance_connect_port(instance_, kOutL, outL);
  lilv_instance_connect_port(instance_, kOutR, outR);
  LV2_Atom* notify = reinterpret_cast<LV2_Atom*>(notifyOut_);
  *notify = {sizeof notifyOut_, 0};  // capacity, as hosts hand it over
  lilv_instance_run(instance_, frames);
  lv2_atom_forge_set_buffer(&forge_, controlIn_, sizeof controlIn_);
  lv2_atom_forge_sequence_head(&forge_, &sequence_, 0);
}

Audio Instance::Render(const Audio& in, const std::vector<int>& blocks, const std::function<void(size_t)>& beforeBlock) {
  const size_t frames = in[0].size();
  Audio out(2, std::vector<float>(frames, 0.0f));
  for (size_t at = 0, b = 0; at < frames; ++b) {
    const size_t n = std::min(frames - at, static_cast<size_t>(blocks[b % blocks.size()]));
    if (beforeBlock) beforeBlock(at);
    Run(in[0].data() + at, in[1].data() + at, out[0].data() + at, out[1].data() + at, static_cast<uint32_t>(n));
    at += n;
  }
  return out;
}

void Instance::QueuePosition(uint32_t frame, double beat, double bpm, float speed) {
  LV2_Atom_Forge_Frame object;
  lv2_atom_forge_frame_time(&forge_, frame);
  lv2_atom_forge_object(&forge_, &object, 0, Map(LV2_TIME__Position));
  lv2_atom_forge_key(&forge_, Map(LV2_TIME__speed));
  lv2_atom_forge_float(&forge_, speed);
  lv2_atom_forge_key(&forge_, Map(LV2_TIME__beat));
  lv2_atom_forge_double(&forge_, beat);
  lv2_atom_forge_key(&forge_, Map(LV2_TIME__beatUnit));
  lv2_atom_forge_int(&forge_, 4);
  lv2_atom_forge_key(&forge_, Map(LV2_TIME__beatsPerMinute));
  lv2_atom_forge_float(&forge_, static_cast<float>(bpm));
  lv2_atom_forge_pop(&forge_, &object);
}

void Instance::QueueProgram(uint32_t frame, int32_t index, const Bytes& chunk) {
  LV2_Atom_Forge_Frame object;
  lv2_atom_forge_frame_time(&forge_, frame);
  lv2_atom_forge_object(&forge_, &object, 0, Map(kProgramMessage));
  lv2_atom_forge_key(&forge_, Map(kProgramKey));
  lv2_atom_forge_int(&forge_, index);
  lv2_atom_forge_key(&forge_, Map(kChunkKey));
  lv2_atom_forge_atom(&forge_, static_cast<uint32_t>(chunk.size()), Map(LV2_ATOM__Chunk));
  lv2_atom_forge_write(&forge_, chunk.data(), static_cast<uint32_t>(chunk.size()));
  lv2_atom_forge_pop(&forge_, &object);
}

std::vector<std::pair<int32_t, Bytes>> Instance::Reports() const {
  std::vector<std::pair<int32_t, Bytes>> reports;
  const LV2_Atom_Sequence* seq = reinterpret_cast<const LV2_Atom_Sequence*>(notifyOut_);
  if (seq->atom.type != Map(LV2_ATOM__Sequence)) return reports;
  LV2_ATOM_SEQUENCE_FOREACH(seq, event) {
    const LV2_Atom_Object* object = reinterpret_cast<const LV2_Atom_Object*>(&event->body);
    if (event->body.type != Map(LV2_ATOM__Object) || object->body.otype != Map(kProgramMessage)) continue;
    const LV2_Atom *index = nullptr, *chunk = nullptr;
    lv2_atom_object_get(object, Map(kProgramKey), &index, Map(kChunkKey), &chunk, 0);
    if (index == nullptr || chunk == nullptr) continue;
    const uint8_t* body = static_cast<const uint8_t*>(LV2_ATOM_BODY_CONST(chunk));
    reports.emplace_back(reinterpret_cast<const LV2_Atom_Int*>(index)->body, Bytes(body, body + chunk->size));
  }
  return reports;
}

State Instance::Save() {
  State state;
  const auto* iface = static_cast<const LV2_State_Interface*>(
      lilv_instance_get_extension_data(instance_, LV2_STATE__interface));
  auto store = [](LV2_State_Handle h, uint32_t key, const void* value, size_t size, uint32_t type, uint32_t) {
    const uint8_t* bytes = static_cast<const uint8_t*>(value);
    (*static_cast<State*>(h))[UnmapUrid(nullptr, key)] = {UnmapUrid(nullptr, type), Bytes(bytes, bytes + size)};
    return LV2_STATE_SUCCESS;
  };
  if (iface == nullptr || iface->save(lilv_instance_get_handle(instance_), store, &state, 0, features()) != 0)
    return {};
  return state;
}

LV2_State_Status Instance::Restore(const State& state) {
  const auto* iface = static_cast<const LV2_State_Interface*>(
      lilv_instance_get_extension_data(instance_, LV2_STATE__interface));
  auto retrieve = [](LV2_State_Handle h, uint32_t key, size_t* size, uint32_t* type, uint32_t* flags) -> const void* {
    const State& s = *static_cast<const State*>(h);
    const auto found = s.find(UnmapUrid(nullptr, key));
    if (found == s.end()) return nullptr;
    *size = found->second.second.size();
    *type = Map(found->second.first.c_str());
    *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
    return found->second.second.data();
  };
  if (iface == nullptr) return LV2_STATE_ERR_UNKNOWN;
  return iface->restore(lilv_instance_get_handle(instance_), retrieve, const_cast<State*>(&state), 0, features());
}

LV2_State_Status Instance::RestoreChunk(const Bytes& chunk, int program) {
  State state;
  state[kChunkKey] = {LV2_ATOM__Chunk, chunk};
  if (program >= 0) {
    Bytes index(4);
    std::memcpy(index.data(), &program, 4);
    state[kProgramKey] = {LV2_ATOM__Int, index};
  }
  return Restore(state);
}

}  // namespace lv2host
