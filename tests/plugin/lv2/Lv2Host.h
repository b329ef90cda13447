// A small LV2 host for tests: finds the built bundle with lilv, makes audio
// instances with the features hosts give (URID map, block length), connects
// every port, runs blocks with time positions and program messages on the
// atom input, and saves and restores state through the plug-in's state
// interface. Nothing here links the plug-in's code.
#pragma once

#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace lv2host {

constexpr const char* kPluginUri = "http://www.quorvel.com/plugins/veltrane";
constexpr const char* kChunkKey = "http://www.quorvel.com/plugins/veltrane#chunk";
constexpr const char* kProgramKey = "http://www.quorvel.com/plugins/veltrane#program";
constexpr const char* kSessionKey = "http://www.quorvel.com/plugins/veltrane#session";
constexpr const char* kProgramMessage = "http://www.quorvel.com/plugins/veltrane#Program";
constexpr int kParams = 15;
// Port indices after the parameters, as the bundle describes them.
enum Port : uint32_t { kShiftL = 15, kShiftR, kInL, kInR, kOutL, kOutR, kControl, kNotify };

using Bytes = std::vector<uint8_t>;
using Audio = std::vector<std::vector<float>>;
// A state as the plug-in stores it: key URI -> (type URI, bytes).
using State = std::map<std::string, std::pair<std::string, Bytes>>;

// The process's URID map, as a host has one.
LV2_URID Map(const char* uri);
LV2_URID_Map* UridMap();
LV2_URID_Unmap* UridUnmap();
// The lilv world with this build's bundle (VELTRANE_LV2_PATH), and the plug-in.
LilvWorld* World();
const LilvPlugin* Plugin();
std::string Symbol(int port);
// A number from an atom body lilv hands over (port values, preset values).
double Number(const void* value, uint32_t size, uint32_t type);
// The preset with this label, or null.
LilvState* Preset(const std::string& label);
// The control port's number for a parameter's value, written apart from the
// plug-in: Volume in dB (-90 for silence), Mix in % wet, Freq Range and the
// shifts (which take the range's index) in Hz, LFO Rate in Hz; the others
// their values.
float PortOf(int index, double value, double rangeIndex);
// Every port's number for a set of values (index order, the range at 7).
std::vector<float> PortsOf(const std::array<double, kParams>& values);

class Instance {
 public:
  // Null when the plug-in refused. maxBlock <= 0 gives no options feature,
  // withMap false no URID map (as lv2apply).
  static std::unique_ptr<Instance> Make(double rate = 44100.0, int maxBlock = 1024, bool withMap = true);
  ~Instance();

  LilvInstance* lilv() const { return instance_; }
  const LV2_Feature* const* features() const { return features_.data(); }
  float control[kParams];
  float meter[2] = {0.0f, 0.0f};

  // Connects control, meter and atom ports and activates; audio ports are
  // connected by Run.
  void Start();
  void Run(const float* inL, const float* inR, float* outL, float* outR, uint32_t frames);
  // Whole buffers in blocks cycling through `blocks`; beforeBlock(offset)
  // may queue events.
  Audio Render(const Audio& in, const std::vector<int>& blocks,
               const std::function<void(size_t)>& beforeBlock = nullptr);

  // Events for the next run.
  void QueuePosition(uint32_t frame, double beat, double bpm, float speed);
  void QueueProgram(uint32_t frame, int32_t index, const Bytes& chunk);
  // Program reports the last run sent on the notify port: (index, chunk).
  std::vector<std::pair<int32_t, Bytes>> Reports() const;

  State Save();
  LV2_State_Status Restore(const State& state);
  Bytes SavedChunk() { return Save()[kChunkKey].second; }
  LV2_State_Status RestoreChunk(const Bytes& chunk, int program = -1);

 private:
  Instance() = default;

  LilvInstance* instance_ = nullptr;
  int32_t maxBlock_ = 0;
  LV2_Options_Option options_[2];
  LV2_Feature mapFeature_, unmapFeature_, optionsFeature_;
  std::vector<const LV2_Feature*> features_;
  alignas(8) uint8_t controlIn_[8192];
  alignas(8) uint8_t notifyOut_[8192];
  LV2_Atom_Forge forge_;
  LV2_Atom_Forge_Frame sequence_;
};

}  // namespace lv2host
