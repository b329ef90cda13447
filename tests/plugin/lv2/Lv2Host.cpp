#include "tests/plugin/lv2/Lv2Host.h"

#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/time/time.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace lv2host {

Urids& Urids::Get() {
  static Urids urids;
  return urids;
}

Urids::Urids() {
  map_.handle = this;
  map_.map = [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<Urids*>(h)->Map(uri); };
  unmap_.handle = this;
  unmap_.unmap = [](LV2_URID_Unmap_Handle h, LV2_URID urid) -> const char* {
    Urids* self = static_cast<Urids*>(h);
    std::lock_guard<std::mutex> guard(self->lock_);
    return urid >= 1 && urid <= self->uris_.size() ? self->uris_[urid - 1].c_str() : nullptr;
  };
  uris_.reserve(4096);  // c_str() of earlier entries stays valid
}

LV2_URID Urids::Map(const char* uri) {
  std::lock_guard<std::mutex> guard(lock_);
  for (size_t i = 0; i < uris_.size(); ++i)
    if (uris_[i] == uri) return static_cast<LV2_URID>(i + 1);
  uris_.push_back(uri);
  return static_cast<LV2_URID>(uris_.size());
}

World& World::Get() {
  static World w = [] {
    World made;
    made.world = lilv_world_new();
    const char* path = std::getenv("VELTRANE_LV2_PATH");
    LilvNode* lv2Path = lilv_new_string(made.world, path != nullptr ? path : "");
    lilv_world_set_option(made.world, LILV_OPTION_LV2_PATH, lv2Path);
    lilv_node_free(lv2Path);
    lilv_world_load_all(made.world);
    LilvNode* uri = lilv_new_uri(made.world, kPluginUri);
    made.plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(made.world), uri);
    lilv_node_free(uri);
    return made;
  }();
  return w;
}

std::unique_ptr<Instance> Instance::Make(double rate, int maxBlock, bool withMap) {
  World& w = World::Get();
  if (w.plugin == nullptr) return nullptr;
  std::unique_ptr<Instance> made(new Instance());
  Urids& u = Urids::Get();
  made->maxBlock_ = maxBlock;
  made->options_[0] = {LV2_OPTIONS_INSTANCE, 0, u.Map(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t),
                       u.Map(LV2_ATOM__Int), &made->maxBlock_};
  made->options_[1] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
  made->mapFeature_ = {LV2_URID__map, u.map()};
  made->unmapFeature_ = {LV2_URID__unmap, u.unmap()};
  made->optionsFeature_ = {LV2_OPTIONS__options, made->options_};
  if (withMap) {
    made->features_.push_back(&made->mapFeature_);
    made->features_.push_back(&made->unmapFeature_);
  }
  if (maxBlock > 0) made->features_.push_back(&made->optionsFeature_);
  made->features_.push_back(nullptr);
  lv2_atom_forge_init(&made->forge_, u.map());
  made->instance_ = lilv_plugin_instantiate(w.plugin, rate, made->features_.data());
  if (made->instance_ == nullptr) return nullptr;
  for (int i = 0; i < kParams; ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(w.plugin, static_cast<uint32_t>(i));
    LilvNode *def = nullptr;
    lilv_port_get_range(w.plugin, port, &def, nullptr, nullptr);
    made->control[i] = def != nullptr ? lilv_node_as_float(def) : 0.0f;
    lilv_node_free(def);
  }
  return made;
}

Instance::~Instance() {
  if (instance_ != nullptr) lilv_instance_free(instance_);
}

void Instance::ConnectControls() {
  for (uint32_t i = 0; i < kParams; ++i) lilv_instance_connect_port(instance_, i, &control[i]);
  lilv_instance_connect_port(instance_, kShiftL, &meter[0]);
  lilv_instance_connect_port(instance_, kShiftR, &meter[1]);
  lilv_instance_connect_port(instance_, kControl, controlIn_);
  lilv_instance_connect_port(instance_, kNotify, notifyOut_);
  lv2_atom_forge_set_buffer(&forge_, controlIn_, sizeof controlIn_);
  lv2_atom_forge_sequence_head(&forge_, &sequence_, 0);
}

void Instance::Run(const float* inL, const float* inR, float* outL, float* outR, uint32_t frames) {
  lilv_instance_connect_port(instance_, kInL, const_cast<float*>(inL));
  lilv_instance_connect_port(instance_, kInR, const_cast<float*>(inR));
  lilv_instance_connect_port(instance_, kOutL, outL);
  lilv_instance_connect_port(instance_, kOutR, outR);
  LV2_Atom* notify = reinterpret_cast<LV2_Atom*>(notifyOut_);
  notify->type = 0;
  notify->size = sizeof notifyOut_ - sizeof(LV2_Atom);
  if (beforeRun) beforeRun();
  lilv_instance_run(instance_, frames);
  if (afterRun) afterRun();
  ReadReports();
  // The queue starts again, empty.
  lv2_atom_forge_set_buffer(&forge_, controlIn_, sizeof controlIn_);
  lv2_atom_forge_sequence_head(&forge_, &sequence_, 0);
}

std::vector<std::vector<float>> Instance::Render(const std::vector<std::vector<float>>& in,
                                                 const std::vector<int>& blocks,
                                                 const std::function<void(size_t)>& beforeBlock) {
  const size_t frames = in[0].size();
  std::vector<std::vector<float>> out(2, std::vector<float>(frames, 0.0f));
  size_t at = 0;
  for (size_t b = 0; at < frames; ++b) {
    const size_t n = std::min(frames - at, static_cast<size_t>(blocks[b % blocks.size()]));
    if (beforeBlock) beforeBlock(at);
    Run(in[0].data() + at, in[1].data() + at, out[0].data() + at, out[1].data() + at, static_cast<uint32_t>(n));
    at += n;
  }
  return out;
}

void Instance::QueuePosition(uint32_t frame, double beat, double bpm, float speed, double beatsPerBar) {
  Urids& u = Urids::Get();
  LV2_Atom_Forge_Frame object;
  lv2_atom_forge_frame_time(&forge_, frame);
  lv2_atom_forge_object(&forge_, &object, 0, u.Map(LV2_TIME__Position));
  lv2_atom_forge_key(&forge_, u.Map(LV2_TIME__speed));
  lv2_atom_forge_float(&forge_, speed);
  lv2_atom_forge_key(&forge_, u.Map(LV2_TIME__beat));
  lv2_atom_forge_double(&forge_, beat);
  lv2_atom_forge_key(&forge_, u.Map(LV2_TIME__barBeat));
  lv2_atom_forge_float(&forge_, static_cast<float>(beat - beatsPerBar * static_cast<long>(beat / beatsPerBar)));
  lv2_atom_forge_key(&forge_, u.Map(LV2_TIME__beatUnit));
  lv2_atom_forge_int(&forge_, 4);
  lv2_atom_forge_key(&forge_, u.Map(LV2_TIME__beatsPerBar));
  lv2_atom_forge_float(&forge_, static_cast<float>(beatsPerBar));
  lv2_atom_forge_key(&forge_, u.Map(LV2_TIME__beatsPerMinute));
  lv2_atom_forge_float(&forge_, static_cast<float>(bpm));
  lv2_atom_forge_pop(&forge_, &object);
}

void Instance::QueueProgram(uint32_t frame, int32_t index, const Bytes& chunk) {
  Urids& u = Urids::Get();
  LV2_Atom_Forge_Frame object;
  lv2_atom_forge_frame_time(&forge_, frame);
  lv2_atom_forge_object(&forge_, &object, 0, u.Map(kProgramMessage));
  lv2_atom_forge_key(&forge_, u.Map(kProgramKey));
  lv2_atom_forge_int(&forge_, index);
  lv2_atom_forge_key(&forge_, u.Map(kChunkKey));
  lv2_atom_forge_atom(&forge_, static_cast<uint32_t>(chunk.size()), u.Map(LV2_ATOM__Chunk));
  lv2_atom_forge_write(&forge_, chunk.data(), static_cast<uint32_t>(chunk.size()));
  lv2_atom_forge_pop(&forge_, &object);
}

void Instance::ReadReports() {
  reports_.clear();
  Urids& u = Urids::Get();
  const LV2_Atom_Sequence* seq = reinterpret_cast<const LV2_Atom_Sequence*>(notifyOut_);
  if (seq->atom.type != u.Map(LV2_ATOM__Sequence)) return;
  LV2_ATOM_SEQUENCE_FOREACH(seq, event) {
    const LV2_Atom_Object* object = reinterpret_cast<const LV2_Atom_Object*>(&event->body);
    if (event->body.type != u.Map(LV2_ATOM__Object) || object->body.otype != u.Map(kProgramMessage)) continue;
    const LV2_Atom *index = nullptr, *chunk = nullptr;
    lv2_atom_object_get(object, u.Map(kProgramKey), &index, u.Map(kChunkKey), &chunk, 0);
    if (index == nullptr || chunk == nullptr) continue;
    const uint8_t* body = static_cast<const uint8_t*>(LV2_ATOM_BODY_CONST(chunk));
    reports_.emplace_back(reinterpret_cast<const LV2_Atom_Int*>(index)->body, Bytes(body, body + chunk->size));
  }
}

State Instance::Save() {
  State state;
  const auto* iface = static_cast<const LV2_State_Interface*>(
      lilv_instance_get_extension_data(instance_, LV2_STATE__interface));
  auto store = [](LV2_State_Handle h, uint32_t key, const void* value, size_t size, uint32_t type, uint32_t) {
    Urids& u = Urids::Get();
    const uint8_t* bytes = static_cast<const uint8_t*>(value);
    (*static_cast<State*>(h))[u.unmap()->unmap(u.unmap()->handle, key)] = {
        u.unmap()->unmap(u.unmap()->handle, type), Bytes(bytes, bytes + size)};
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
    Urids& u = Urids::Get();
    const State& s = *static_cast<const State*>(h);
    const auto found = s.find(u.unmap()->unmap(u.unmap()->handle, key));
    if (found == s.end()) return nullptr;
    *size = found->second.second.size();
    *type = u.Map(found->second.first.c_str());
    *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
    return found->second.second.data();
  };
  if (iface == nullptr) return LV2_STATE_ERR_UNKNOWN;
  return iface->restore(lilv_instance_get_handle(instance_), retrieve, const_cast<State*>(&state), 0, features());
}

Bytes Instance::SavedChunk() { return Save()[kChunkKey].second; }

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
