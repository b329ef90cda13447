// Throughput through the LV2 binding (run() on float ports, as LV2 hosts
// call it) next to the VST 2.4 build's processDoubleReplacing and
// processReplacing, 512 frames a block, static +250 Hz shift, in one run:
// the cases take turns, so a busy moment of the machine hits all alike. A
// benchmark, not a test: it prints figures and the target they are held
// against, and fails only when it cannot run.
//
//   veltrane-lv2-bench [--seconds S] [--repeats N]
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>
#include <sched.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "tools/veltrane-render/PluginHost.h"

namespace {

constexpr double kSampleRate = 44100.0;
constexpr int kBlock = 512;
constexpr int kPoolBlocks = 64;
constexpr double kTargetShare = 95.0;  // LV2 at least this percentage of processDoubleReplacing

double CpuNow() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

std::vector<double> Noise(size_t count) {
  std::vector<double> v(count);
  uint64_t state = 1;
  for (double& x : v) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    x = 0.99 * (static_cast<double>(state >> 11) / 4503599627370496.0 - 1.0);
  }
  return v;
}

// Frames per second of `block` (one call per kBlock frames) for `seconds`
// of CPU time, after a warm-up.
template <typename Block>
double Measure(double seconds, Block block) {
  for (int k = 0; k < 200; ++k) block(k);
  long blocks = 0;
  const double start = CpuNow();
  double now = start;
  while (now - start < seconds) {
    for (int k = 0; k < 64; ++k) block(blocks + k);
    blocks += 64;
    now = CpuNow();
  }
  return static_cast<double>(blocks) * kBlock / (now - start);
}

struct UridMap {
  std::vector<std::string> uris;
  LV2_URID_Map map{this, [](LV2_URID_Map_Handle h, const char* uri) -> LV2_URID {
                     auto& list = static_cast<UridMap*>(h)->uris;
                     const auto at = std::find(list.begin(), list.end(), uri);
                     if (at != list.end()) return static_cast<LV2_URID>(at - list.begin() + 1);
                     list.push_back(uri);
                     return static_cast<LV2_URID>(list.size());
                   }};
};

// The LV2 instance as a host runs it: URID map and block length given,
// the static +250 Hz settings on the control ports (names from the bundle).
struct Lv2Instance {
  LilvWorld* world = lilv_world_new();
  LilvInstance* instance = nullptr;
  UridMap urids;
  int32_t maxBlock = kBlock;
  std::vector<float> controls;
  float meters[8] = {};
  std::string error;

  explicit Lv2Instance(const char* lv2Path) {
    LilvNode* path = lilv_new_string(world, lv2Path);
    lilv_world_set_option(world, LILV_OPTION_LV2_PATH, path);
    lilv_node_free(path);
    lilv_world_load_all(world);
    LilvNode* uri = lilv_new_uri(world, "http://www.quorvel.com/plugins/veltrane");
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
    lilv_node_free(uri);
    if (plugin == nullptr) {
      error = std::string("no LV2 plug-in in ") + lv2Path;
      return;
    }
    LV2_Options_Option options[] = {
        {LV2_OPTIONS_INSTANCE, 0, urids.map.map(&urids, LV2_BUF_SIZE__maxBlockLength), sizeof maxBlock,
         urids.map.map(&urids, LV2_ATOM__Int), &maxBlock},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    const LV2_Feature map = {LV2_URID__map, &urids.map}, opts = {LV2_OPTIONS__options, options};
    const LV2_Feature* features[] = {&map, &opts, nullptr};
    instance = lilv_plugin_instantiate(plugin, kSampleRate, features);
    if (instance == nullptr) {
      error = "the LV2 plug-in did not instantiate";
      return;
    }
    const uint32_t ports = lilv_plugin_get_num_ports(plugin);
    controls.assign(ports, 0.0f);
    lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, controls.data());
    const struct {
      const char* symbol;
      float value;
    } settings[] = {{"link_l_r", 0}, {"lfo_waveform", 0}, {"freq_range", 2}, {"freq_max_l", 0.707102f},
                    {"freq_max_r", 0.707102f}, {"mix_l", 1}, {"mix_r", 1}};
    for (const auto& s : settings) {
      LilvNode* symbol = lilv_new_string(world, s.symbol);
      const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, symbol);
      lilv_node_free(symbol);
      if (port == nullptr) {
        error = std::string("no port ") + s.symbol;
        return;
      }
      controls[lilv_port_get_index(plugin, port)] = s.value;
    }
    LilvNode* control = lilv_new_uri(world, LV2_CORE__ControlPort);
    LilvNode* input = lilv_new_uri(world, LV2_CORE__InputPort);
    for (uint32_t i = 0, meter = 0; i < ports; ++i) {
      const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
      if (!lilv_port_is_a(plugin, port, control)) continue;
      const bool in = lilv_port_is_a(plugin, port, input);
      lilv_instance_connect_port(instance, i, in ? &controls[i] : &meters[meter++ % 8]);
    }
    lilv_node_free(control);
    lilv_node_free(input);
    lilv_instance_activate(instance);
  }
  ~Lv2Instance() {
    if (instance != nullptr) lilv_instance_free(instance);
    lilv_world_free(world);
  }
};

}  // namespace

int main(int argc, char** argv) {
  double seconds = 0.3;
  int repeats = 12;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      seconds = std::atof(argv[++i]);
    } else if (std::strcmp(argv[i], "--repeats") == 0 && i + 1 < argc) {
      repeats = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: veltrane-lv2-bench [--seconds S] [--repeats N]\n");
      return 2;
    }
  }
  if (!(seconds > 0.0) || repeats < 1) return 2;
  cpu_set_t set;
  CPU_ZERO(&set);
  const int cpu = sched_getcpu();
  CPU_SET(cpu < 0 ? 0 : cpu, &set);
  const bool pinned = sched_setaffinity(0, sizeof set, &set) == 0;

  vhost::PluginHost vst;
  std::string error;
  if (!vst.Load(VELTRANE_BENCH_PLUGIN, error)) {
    std::fprintf(stderr, "veltrane-lv2-bench: %s\n", error.c_str());
    return 1;
  }
  vst.Open(kSampleRate, kBlock);
  for (int i = 0; i < vst.NumPrograms(); ++i)
    if (vst.ProgramName(i) == "Init") vst.SetProgram(i);
  for (const char* s : {"Link L+R=Off", "LFO Waveform=Off", "Freq Range=500", "Freq Max L=0.707102",
                        "Freq Max R=0.707102", "Mix L=1", "Mix R=1"}) {
    std::string name, value;
    vhost::SplitAssignment(s, name, value);
    if (!vst.SetParameterText(vst.FindParam(name), value)) {
      std::fprintf(stderr, "veltrane-lv2-bench: the VST 2.4 build does not take %s\n", s);
      return 1;
    }
  }
  vst.Start();
  Lv2Instance lv2(VELTRANE_BENCH_LV2_PATH);
  if (!lv2.error.empty()) {
    std::fprintf(stderr, "veltrane-lv2-bench: %s\n", lv2.error.c_str());
    return 1;
  }

  const std::vector<double> noise = Noise(static_cast<size_t>(kPoolBlocks) * kBlock * 2);
  std::vector<double> inD[2], outD[2];
  std::vector<float> inF[2], outF[2];
  for (int c = 0; c < 2; ++c) {
    inD[c].resize(noise.size() / 2);
    inF[c].resize(noise.size() / 2);
    for (size_t i = 0; i < inD[c].size(); ++i) inF[c][i] = static_cast<float>(inD[c][i] = noise[2 * i + c]);
    outD[c].resize(kBlock);
    outF[c].resize(kBlock);
  }
  AEffect* effect = vst.Effect();
  auto vstDouble = [&](long k) {
    const size_t at = static_cast<size_t>(k % kPoolBlocks) * kBlock;
    double* in[2] = {inD[0].data() + at, inD[1].data() + at};
    double* out[2] = {outD[0].data(), outD[1].data()};
    effect->processDoubleReplacing(effect, in, out, kBlock);
  };
  auto vstFloat = [&](long k) {
    const size_t at = static_cast<size_t>(k % kPoolBlocks) * kBlock;
    float* in[2] = {inF[0].data() + at, inF[1].data() + at};
    float* out[2] = {outF[0].data(), outF[1].data()};
    effect->processReplacing(effect, in, out, kBlock);
  };
  // Audio ports 17..20 (after 15 parameters and 2 meters), as the bundle says.
  auto lv2Run = [&](long k) {
    const size_t at = static_cast<size_t>(k % kPoolBlocks) * kBlock;
    lilv_instance_connect_port(lv2.instance, 17, inF[0].data() + at);
    lilv_instance_connect_port(lv2.instance, 18, inF[1].data() + at);
    lilv_instance_connect_port(lv2.instance, 19, outF[0].data());
    lilv_instance_connect_port(lv2.instance, 20, outF[1].data());
    lilv_instance_run(lv2.instance, kBlock);
  };

  std::vector<double> rates[3];
  for (int r = 0; r < repeats; ++r) {
    rates[0].push_back(Measure(seconds, vstDouble));
    rates[1].push_back(Measure(seconds, vstFloat));
    rates[2].push_back(Measure(seconds, lv2Run));
  }
  double best[3], median[3];
  for (int k = 0; k < 3; ++k) {
    std::sort(rates[k].begin(), rates[k].end());
    best[k] = rates[k].back();
    median[k] = rates[k][rates[k].size() / 2];
  }
  std::printf("Veltrane LV2 benchmark: %s beside %s\n", VELTRANE_BENCH_LV2_PATH, VELTRANE_BENCH_PLUGIN);
  std::printf("  stereo, %d frames per block, %.0f Hz, static +250 Hz, best of %d runs of %.1f s CPU time each, %s\n",
              kBlock, kSampleRate, repeats, seconds, pinned ? "pinned to one CPU" : "not pinned");
  const char* names[3] = {"VST 2.4 processDoubleReplacing", "VST 2.4 processReplacing", "LV2 run (float ports)"};
  for (int k = 0; k < 3; ++k)
    std::printf("  %-34s %10.3e frames/s (median %.3e)\n", names[k], best[k], median[k]);
  const double share = 100.0 * best[2] / best[0];
  std::printf("  LV2 / processDoubleReplacing: %.1f %% (best), %.1f %% (median); target >= %.0f %%: %s\n", share,
              100.0 * median[2] / median[0], kTargetShare, share >= kTargetShare ? "met" : "MISSED");
  return 0;
}
