// A small LV2 host for tests: finds the built bundle with lilv, makes audio
// instances with the features hosts give (URID map, block-length options),
// connects every port, runs blocks with time positions and messages on the
// atom input, and saves and restores state through the plug-in's state
// interface. Nothing here links the plug-in's code.
#pragma once

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace lv2host {

constexpr const char* kPluginUri = "http://www.quorvel.com/plugins/veltrane";
constexpr const char* kChunkKey = "http://www.quorvel.com/plugins/veltrane#chunk";
constexpr const char* kProgramKey = "http://www.quorvel.com/plugins/veltrane#program";
constexpr const char* kProgramMessage = "http://www.quorvel.com/plugins/veltrane#Program";
constexpr int kParams = 15;
// Port indices as the bundle describes them (checked against lilv).
enum Port : uint32_t { kShiftL = 15, kShiftR, kInL, kInR, kOutL, kOutR, kControl, kNotify, kPortCount };

using Bytes = std::vector<uint8_t>;

// One URID map (and unmap) for the process, as a host has.
class Urids {
 public:
  static Urids& Get();
  LV2_URID Map(const char* uri);
  LV2_URID_Map* map() { return &map_; }
  LV2_URID_Unmap* unmap() { return &unmap_; }

 private:
  Urids();
  std::mutex lock_;
  std::vector<std::string> uris_;
  LV2_URID_Map map_;
  LV2_URID_Unmap unmap_;
};

// The lilv world with the bundle of this build (VELTRANE_LV2_PATH).
struct World {
  static World& Get();
  LilvWorld* world = nullptr;
  const LilvPlugin* plugin = nullptr;
};

// A state as the plug-in stores it: key URI -> (type URI, bytes).
using State = std::map<std::string, std::pair<std::string, Bytes>>;

class Instance {
 public:
  // Null when the plug-in refused to instantiate. maxBlock <= 0 gives no
  // options feature; withMap false no URID map.
  static std::unique_ptr<Instance> Make(double rate = 44100.0, int maxBlock = 1024, bool withMap = true);
  ~Instance();

  LilvInstance* lilv() const { return instance_; }
  const LV2_Feature* const* features() const { return features_.data(); }
  float control[kParams];
  float meter[2] = {0.0f, 0.0f};
  // Called right before and after the plug-in's run(), nothing else between.
  std::function<void()> beforeRun, afterRun;

  // Connects the control, meter and atom ports to this object's buffers;
  // audio ports are connected per block by Process.
  void ConnectControls();
  void Activate() { lilv_instance_activate(instance_); }
  // Runs one block on these buffers (any pointer may be null: the port
  // is connected to it as given).
  void Run(const float* inL, const float* inR, float* outL, float* outR, uint32_t frames);
  // Renders whole buffers in blocks whose sizes cycle through `blocks`;
  // before each block `beforeBlock(offset)` may queue events.
  std::vector<std::vector<float>> Render(const std::vector<std::vector<float>>& in, const std::vector<int>& blocks,
                                         const std::function<void(size_t)>& beforeBlock = nullptr);

  // Events for the next run, at frame `frame`.
  void QueuePosition(uint32_t frame, double beat, double bpm, float speed, double beatsPerBar = 4.0);
  void QueueProgram(uint32_t frame, int32_t index, const Bytes& chunk);
  // Program messages the last run sent on the notify port: (index, chunk).
  const std::vector<std::pair<int32_t, Bytes>>& Reports() const { return reports_; }

  State Save();
  LV2_State_Status Restore(const State& state);
  // The program chunk of a saved state.
  Bytes SavedChunk();
  LV2_State_Status RestoreChunk(const Bytes& chunk, int program = -1);

 private:
  Instance() = default;
  void ReadReports();

  LilvInstance* instance_ = nullptr;
  LV2_Options_Option options_[3];
  int32_t maxBlock_ = 0;
  LV2_Feature mapFeature_, unmapFeature_, optionsFeature_;
  std::vector<const LV2_Feature*> features_;
  alignas(8) uint8_t controlIn_[8192];
  alignas(8) uint8_t notifyOut_[8192];
  LV2_Atom_Forge forge_;
  LV2_Atom_Forge_Frame sequence_;
  std::vector<std::pair<int32_t, Bytes>> reports_;
};

}  // namespace lv2host
