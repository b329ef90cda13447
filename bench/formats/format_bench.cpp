// Throughput of every plug-in format this build makes, each loaded the way
// its hosts load it, against the VST 2.4 build's processDoubleReplacing and
// processReplacing: stereo, 512 frames a block, the static +250 Hz shift,
// the same settings everywhere (the VST 2.4 build's program chunk, given to
// the others as their state). The cases take turns run after run, starting
// one further on each time, so that a busy moment of the machine hits them
// alike; each case's best and median run are shown. A benchmark, not a test:
// it prints the figures and the targets, and fails only when it cannot run.
//
//   veltrane-format-bench [--seconds S] [--repeats N]
//                         [--vst2 FILE] [--vst3 BUNDLE] [--clap FILE] [--lv2 DIR] ...
//
// Each --vst2, --vst3, --clap or --lv2 adds a build of that format to the
// run (an older one, say), in place of this build tree's; the first VST 2.4
// build is the reference.
#include <dlfcn.h>
#include <sched.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/veltrane-render/PluginHost.h"

#if defined(VELTRANE_BENCH_VST3)
#include "tests/plugin/vst3/Vst3Host.h"
#endif
#if defined(VELTRANE_BENCH_CLAP)
#include "plugin/clap/clap_interface.h"
#endif
#if defined(VELTRANE_BENCH_LV2_PATH)
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#endif

namespace {

constexpr double kRate = 44100.0;
constexpr int kBlock = 512;
constexpr int kPoolBlocks = 64;
constexpr double kTargetShare = 95.0;

using Bytes = std::vector<uint8_t>;

// The static +250 Hz shift of the audio benchmark, as VST 2.4 text entries.
const char* const kSettings[][2] = {{"Link L+R", "Off"},        {"LFO Waveform", "Off"},     {"Freq Range", "500"},
                                    {"Freq Max L", "0.707102"}, {"Freq Max R", "0.707102"}, {"Mix L", "1"},
                                    {"Mix R", "1"}};

// CPU time of this thread: the plug-in runs on it.
double CpuNow() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

// Noise in 64 blocks of each channel, in the host's precision.
template <typename Sample>
struct Pool {
  std::vector<Sample> in[2], out[2];
  Pool() {
    uint64_t state = 1;
    for (int c = 0; c < 2; ++c) {
      in[c].resize(static_cast<size_t>(kPoolBlocks) * kBlock);
      out[c].resize(kBlock);
    }
    for (size_t i = 0; i < in[0].size(); ++i) {
      for (int c = 0; c < 2; ++c) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        in[c][i] = static_cast<Sample>(0.99 * (static_cast<double>(state >> 11) / 4503599627370496.0 - 1.0));
      }
    }
  }
};

// Frames per second of `seconds` CPU time of blocks through `process`,
// after a warm-up.
template <typename Sample>
double Measure(Pool<Sample>& pool, double seconds, const std::function<void(Sample**, Sample**)>& process) {
  Sample* out[2] = {pool.out[0].data(), pool.out[1].data()};
  long at = 0;
  auto run = [&](int count) {
    for (int k = 0; k < count; ++k, ++at) {
      const size_t offset = static_cast<size_t>(at % kPoolBlocks) * kBlock;
      Sample* in[2] = {pool.in[0].data() + offset, pool.in[1].data() + offset};
      process(in, out);
    }
  };
  run(200);
  long blocks = 0;
  const double start = CpuNow();
  double now = start;
  while (now - start < seconds) {
    run(64);
    blocks += 64;
    now = CpuNow();
  }
  return static_cast<double>(blocks) * kBlock / (now - start);
}

// One way of processing, its runs and what it is held against.
struct Case {
  std::string name;
  bool againstDouble;  // its target is processDoubleReplacing, else processReplacing
  std::function<double(double seconds)> measure;
  std::vector<double> rates;
  double best = 0.0, median = 0.0;
};

// The VST 2.4 build, set up by text entry; its program chunk sets up the rest.
struct Vst2Runner {
  vhost::PluginHost host;
  bool Load(const std::string& path, std::string& error) {
    if (!host.Load(path, error)) return false;
    host.Open(kRate, kBlock);
    for (const auto& setting : kSettings) {
      if (!host.SetParameterText(host.FindParam(setting[0]), setting[1])) {
        error = std::string("the VST 2.4 build does not take ") + setting[0];
        return false;
      }
    }
    host.Start();
    return true;
  }
  Bytes Chunk() {
    AEffect* e = host.Effect();
    void* data = nullptr;
    const VstIntPtr size = e->dispatcher(e, effGetChunk, 1, 0, &data, 0.0f);
    return size > 0 ? Bytes(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size) : Bytes();
  }
};

#if defined(VELTRANE_BENCH_CLAP)
// A CLAP host with nothing but what processing and state need.
class ClapRunner {
 public:
  bool Load(const std::string& path, const Bytes& state, std::string& error) {
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return Fail(error, dlerror());
    const auto* entry = static_cast<const clap_plugin_entry_t*>(dlsym(library, "clap_entry"));
    if (entry == nullptr || !entry->init(path.c_str())) return Fail(error, "no usable clap_entry");
    const auto* factory = static_cast<const clap_plugin_factory_t*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    if (factory == nullptr) return Fail(error, "no plug-in factory");
    std::memset(&host_, 0, sizeof host_);
    host_.clap_version = kClapVersion;
    host_.name = "veltrane-format-bench";
    host_.vendor = host_.url = "";
    host_.version = "1";
    host_.get_extension = [](const clap_host_t*, const char*) -> const void* { return nullptr; };
    host_.request_restart = host_.request_process = host_.request_callback = [](const clap_host_t*) {};
    plugin_ = factory->create_plugin(factory, &host_, factory->get_plugin_descriptor(factory, 0)->id);
    if (plugin_ == nullptr || !plugin_->init(plugin_)) return Fail(error, "the CLAP plug-in was not created");
    const auto* ext = static_cast<const clap_plugin_state_t*>(plugin_->get_extension(plugin_, CLAP_EXT_STATE));
    struct Reader {
      const Bytes* bytes;
      size_t at;
    } reader{&state, 0};
    const clap_istream_t stream{&reader, [](const clap_istream_t* s, void* buffer, uint64_t size) -> int64_t {
                                  auto* r = static_cast<Reader*>(s->ctx);
                                  const size_t n = std::min<size_t>(size, r->bytes->size() - r->at);
                                  std::memcpy(buffer, r->bytes->data() + r->at, n);
                                  r->at += n;
                                  return static_cast<int64_t>(n);
                                }};
    if (ext == nullptr || !ext->load(plugin_, &stream)) return Fail(error, "the CLAP build refuses the state");
    if (!plugin_->activate(plugin_, kRate, 1, kBlock) || !plugin_->start_processing(plugin_))
      return Fail(error, "the CLAP plug-in did not start");
    return true;
  }

  ~ClapRunner() {
    if (plugin_ == nullptr) return;
    plugin_->stop_processing(plugin_);
    plugin_->deactivate(plugin_);
    plugin_->destroy(plugin_);
  }

  template <typename Sample>
  void Process(Sample** in, Sample** out) {
    clap_audio_buffer_t input{}, output{};
    input.channel_count = output.channel_count = 2;
    if constexpr (sizeof(Sample) == sizeof(double)) {
      input.data64 = reinterpret_cast<double**>(in);
      output.data64 = reinterpret_cast<double**>(out);
    } else {
      input.data32 = reinterpret_cast<float**>(in);
      output.data32 = reinterpret_cast<float**>(out);
    }
    clap_process_t process;
    std::memset(&process, 0, sizeof process);
    process.steady_time = -1;
    process.frames_count = kBlock;
    process.audio_inputs = &input;
    process.audio_outputs = &output;
    process.audio_inputs_count = process.audio_outputs_count = 1;
    process.in_events = &kNoInput;
    process.out_events = &kNoOutput;
    plugin_->process(plugin_, &process);
  }

 private:
  static bool Fail(std::string& error, const char* why) {
    error = why != nullptr ? why : "failed";
    return false;
  }
  static constexpr clap_input_events_t kNoInput{
      nullptr, [](const clap_input_events_t*) -> uint32_t { return 0; },
      [](const clap_input_events_t*, uint32_t) -> const clap_event_header_t* { return nullptr; }};
  static constexpr clap_output_events_t kNoOutput{
      nullptr, [](const clap_output_events_t*, const clap_event_header_t*) { return true; }};
  clap_host_t host_;
  const clap_plugin_t* plugin_ = nullptr;
};
#endif

#if defined(VELTRANE_BENCH_LV2_PATH)
struct UridMap {
  std::vector<std::string> uris;
  LV2_URID_Map map{this, [](LV2_URID_Map_Handle h, const char* uri) -> LV2_URID {
                     auto& list = static_cast<UridMap*>(h)->uris;
                     const auto at = std::find(list.begin(), list.end(), uri);
                     if (at != list.end()) return static_cast<LV2_URID>(at - list.begin() + 1);
                     list.push_back(uri);
                     return static_cast<LV2_URID>(list.size());
                   }};
  LV2_URID operator()(const char* uri) { return map.map(map.handle, uri); }
};

// The LV2 instance as a host runs it: URID map and block length given,
// every control port connected, the settings restored from state; run()
// on float ports.
class Lv2Runner {
 public:
  bool Load(const std::string& lv2Path, const Bytes& state, std::string& error) {
    LilvNode* path = lilv_new_string(world_, lv2Path.c_str());
    lilv_world_set_option(world_, LILV_OPTION_LV2_PATH, path);
    lilv_node_free(path);
    lilv_world_load_all(world_);
    LilvNode* uri = lilv_new_uri(world_, "http://www.quorvel.com/plugins/veltrane");
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), uri);
    lilv_node_free(uri);
    if (plugin == nullptr) return Fail(error, "no LV2 plug-in in " + lv2Path);
    const LV2_Options_Option options[] = {
        {LV2_OPTIONS_INSTANCE, 0, urids_(LV2_BUF_SIZE__maxBlockLength), sizeof maxBlock_, urids_(LV2_ATOM__Int),
         &maxBlock_},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    const LV2_Feature map = {LV2_URID__map, &urids_.map},
                      opts = {LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
    const LV2_Feature* features[] = {&map, &opts, nullptr};
    instance_ = lilv_plugin_instantiate(plugin, kRate, features);
    if (instance_ == nullptr) return Fail(error, "the LV2 plug-in did not instantiate");
    const uint32_t ports = lilv_plugin_get_num_ports(plugin);
    controls_.assign(ports, 0.0f);
    lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, controls_.data());
    LilvNode* control = lilv_new_uri(world_, LV2_CORE__ControlPort);
    LilvNode* audio = lilv_new_uri(world_, LV2_CORE__AudioPort);
    LilvNode* input = lilv_new_uri(world_, LV2_CORE__InputPort);
    for (uint32_t i = 0, meter = 0; i < ports; ++i) {
      const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
      const bool in = lilv_port_is_a(plugin, port, input);
      if (lilv_port_is_a(plugin, port, control))
        lilv_instance_connect_port(instance_, i, in ? &controls_[i] : &meters_[meter++ % 8]);
      else if (lilv_port_is_a(plugin, port, audio))
        (in ? audioIn_ : audioOut_).push_back(i);
    }
    lilv_node_free(control);
    lilv_node_free(audio);
    lilv_node_free(input);
    if (audioIn_.size() != 2 || audioOut_.size() != 2) return Fail(error, "the LV2 plug-in is not stereo");

    const auto* ext =
        static_cast<const LV2_State_Interface*>(lilv_instance_get_extension_data(instance_, LV2_STATE__interface));
    struct Stored {
      const Bytes* bytes;
      LV2_URID key, type;
    } stored{&state, urids_("http://www.quorvel.com/plugins/veltrane#chunk"), urids_(LV2_ATOM__Chunk)};
    auto retrieve = [](LV2_State_Handle handle, uint32_t key, size_t* size, uint32_t* type,
                       uint32_t* flags) -> const void* {
      const auto* s = static_cast<const Stored*>(handle);
      if (key != s->key) return nullptr;
      *size = s->bytes->size();
      *type = s->type;
      *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
      return s->bytes->data();
    };
    if (ext == nullptr ||
        ext->restore(lilv_instance_get_handle(instance_), retrieve, &stored, 0, features) != LV2_STATE_SUCCESS)
      return Fail(error, "the LV2 build refuses the state");
    lilv_instance_activate(instance_);
    return true;
  }

  ~Lv2Runner() {
    if (instance_ != nullptr) {
      lilv_instance_deactivate(instance_);
      lilv_instance_free(instance_);
    }
    lilv_world_free(world_);
  }

  void Run(float** in, float** out) {
    for (int c = 0; c < 2; ++c) {
      lilv_instance_connect_port(instance_, audioIn_[c], in[c]);
      lilv_instance_connect_port(instance_, audioOut_[c], out[c]);
    }
    lilv_instance_run(instance_, kBlock);
  }

 private:
  static bool Fail(std::string& error, const std::string& why) {
    error = why;
    return false;
  }
  LilvWorld* world_ = lilv_world_new();
  LilvInstance* instance_ = nullptr;
  UridMap urids_;
  int32_t maxBlock_ = kBlock;
  std::vector<float> controls_;
  float meters_[8] = {};
  std::vector<uint32_t> audioIn_, audioOut_;
};
#endif

std::string Shown(const std::string& path, bool several) { return several ? " [" + path + "]" : std::string(); }

}  // namespace

int main(int argc, char** argv) {
  double seconds = 0.3;
  int repeats = 12;
  std::vector<std::string> vst2Paths, vst3Paths, clapPaths, lv2Paths;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (value == nullptr) {
      std::fprintf(stderr, "veltrane-format-bench: %s needs a value\n", option.c_str());
      return 2;
    }
    ++i;
    if (option == "--seconds") {
      seconds = std::atof(value);
    } else if (option == "--repeats") {
      repeats = std::atoi(value);
    } else if (option == "--vst2") {
      vst2Paths.push_back(value);
    } else if (option == "--vst3") {
      vst3Paths.push_back(value);
    } else if (option == "--clap") {
      clapPaths.push_back(value);
    } else if (option == "--lv2") {
      lv2Paths.push_back(value);
    } else {
      std::fprintf(stderr,
                   "usage: veltrane-format-bench [--seconds S] [--repeats N] [--vst2 FILE] [--vst3 BUNDLE]"
                   " [--clap FILE] [--lv2 DIR] ...\n");
      return 2;
    }
  }
  if (!(seconds > 0.0) || repeats < 1) return 2;
  if (vst2Paths.empty()) vst2Paths.push_back(VELTRANE_BENCH_VST2);
#if defined(VELTRANE_BENCH_VST3)
  if (vst3Paths.empty()) vst3Paths.push_back(VELTRANE_BENCH_VST3);
#endif
#if defined(VELTRANE_BENCH_CLAP)
  if (clapPaths.empty()) clapPaths.push_back(VELTRANE_BENCH_CLAP);
#endif
#if defined(VELTRANE_BENCH_LV2_PATH)
  if (lv2Paths.empty()) lv2Paths.push_back(VELTRANE_BENCH_LV2_PATH);
#endif
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(std::max(0, sched_getcpu()), &set);
  const bool pinned = sched_setaffinity(0, sizeof set, &set) == 0;

  Pool<double> doubles;
  Pool<float> floats;
  std::vector<Case> cases;
  auto addDouble = [&](std::string name, std::function<void(double**, double**)> process) {
    cases.push_back(Case{std::move(name), true, [&doubles, process](double s) {
                           return Measure<double>(doubles, s, process);
                         }, {}});
  };
  auto addFloat = [&](std::string name, bool againstDouble, std::function<void(float**, float**)> process) {
    cases.push_back(Case{std::move(name), againstDouble, [&floats, process](double s) {
                           return Measure<float>(floats, s, process);
                         }, {}});
  };

  std::string error;
  std::vector<std::unique_ptr<Vst2Runner>> vst2s;
  for (const std::string& path : vst2Paths) {
    vst2s.push_back(std::make_unique<Vst2Runner>());
    if (!vst2s.back()->Load(path, error)) {
      std::fprintf(stderr, "veltrane-format-bench: %s: %s\n", path.c_str(), error.c_str());
      return 1;
    }
    AEffect* e = vst2s.back()->host.Effect();
    const std::string where = Shown(path, vst2Paths.size() > 1);
    addDouble("VST 2.4 processDoubleReplacing" + where,
              [e](double** in, double** out) { e->processDoubleReplacing(e, in, out, kBlock); });
    addFloat("VST 2.4 processReplacing" + where, false,
             [e](float** in, float** out) { e->processReplacing(e, in, out, kBlock); });
  }
  const Bytes state = vst2s.front()->Chunk();

#if defined(VELTRANE_BENCH_VST3)
  std::vector<std::unique_ptr<vst3host::Module>> vst3Modules;
  std::vector<std::unique_ptr<vst3host::Instance>> vst3s;
  for (const std::string& path : vst3Paths) {
    vst3Modules.push_back(std::make_unique<vst3host::Module>(path));
    const std::string where = Shown(path, vst3Paths.size() > 1);
    for (int32_t size : {vst3::kSample64, vst3::kSample32}) {
      auto instance = vst3host::Instance::Create(*vst3Modules.back());
      if (!instance) {
        std::fprintf(stderr, "veltrane-format-bench: cannot load %s: %s\n", path.c_str(),
                     vst3Modules.back()->error().c_str());
        return 1;
      }
      instance->Start(kRate, kBlock, size);
      if (instance->SetState(state) != vst3::kResultOk) {
        std::fprintf(stderr, "veltrane-format-bench: the VST3 build refuses the VST 2.4 build's state\n");
        return 1;
      }
      vst3host::Instance* p = instance.get();
      if (size == vst3::kSample64)
        addDouble("VST3 process, 64-bit" + where,
                  [p](double** in, double** out) { p->Process(in, 2, out, 2, kBlock); });
      else
        addFloat("VST3 process, 32-bit" + where, false,
                 [p](float** in, float** out) { p->Process(in, 2, out, 2, kBlock); });
      vst3s.push_back(std::move(instance));
    }
  }
#endif
#if defined(VELTRANE_BENCH_CLAP)
  std::vector<std::unique_ptr<ClapRunner>> claps;
  for (const std::string& path : clapPaths) {
    const std::string where = Shown(path, clapPaths.size() > 1);
    for (bool useDouble : {true, false}) {
      claps.push_back(std::make_unique<ClapRunner>());
      ClapRunner* p = claps.back().get();
      if (!p->Load(path, state, error)) {
        std::fprintf(stderr, "veltrane-format-bench: %s: %s\n", path.c_str(), error.c_str());
        return 1;
      }
      if (useDouble)
        addDouble("CLAP process, 64-bit" + where, [p](double** in, double** out) { p->Process(in, out); });
      else
        addFloat("CLAP process, 32-bit" + where, false, [p](float** in, float** out) { p->Process(in, out); });
    }
  }
#endif
#if defined(VELTRANE_BENCH_LV2_PATH)
  std::vector<std::unique_ptr<Lv2Runner>> lv2s;
  for (const std::string& path : lv2Paths) {
    lv2s.push_back(std::make_unique<Lv2Runner>());
    Lv2Runner* p = lv2s.back().get();
    if (!p->Load(path, state, error)) {
      std::fprintf(stderr, "veltrane-format-bench: %s\n", error.c_str());
      return 1;
    }
    // LV2's audio ports are single precision; its target is the double path.
    addFloat("LV2 run (float ports)" + Shown(path, lv2Paths.size() > 1), true,
             [p](float** in, float** out) { p->Run(in, out); });
  }
#endif

  for (int r = 0; r < repeats; ++r)
    for (size_t k = 0; k < cases.size(); ++k) {
      Case& c = cases[(k + static_cast<size_t>(r)) % cases.size()];
      c.rates.push_back(c.measure(seconds));
    }
  for (Case& c : cases) {
    std::sort(c.rates.begin(), c.rates.end());
    c.best = c.rates.back();
    c.median = c.rates[c.rates.size() / 2];
  }
  const Case& refDouble = cases[0];
  const Case& refFloat = cases[1];

  std::printf("Veltrane format benchmark: stereo, %d frames per block, %.0f Hz, static +250 Hz;\n", kBlock, kRate);
  std::printf("best and median of %d interleaved runs of %.2f s CPU time each, %s\n\n", repeats, seconds,
              pinned ? "pinned to one CPU" : "not pinned");
  std::printf("  %-40s %11s %11s %14s %14s\n", "", "best", "median", "of double", "of float");
  std::printf("  %-40s %11s %11s %14s %14s\n", "", "frames/s", "frames/s", "best/median", "best/median");
  for (const Case& c : cases) {
    std::printf("  %-40s %11.4g %11.4g %6.1f/%5.1f %% %6.1f/%5.1f %%\n", c.name.c_str(), c.best, c.median,
                100.0 * c.best / refDouble.best, 100.0 * c.median / refDouble.median, 100.0 * c.best / refFloat.best,
                100.0 * c.median / refFloat.median);
  }
  std::printf("\n\"of double\", \"of float\": against VST 2.4's processDoubleReplacing and processReplacing.\n");
  std::printf("Targets: 64-bit paths at least %.0f %% of processDoubleReplacing, 32-bit paths of processReplacing,\n"
              "LV2 (32-bit ports) of processDoubleReplacing; by the best runs:\n",
              kTargetShare);
  for (size_t k = 2; k < cases.size(); ++k) {
    const Case& c = cases[k];
    const double share = 100.0 * c.best / (c.againstDouble ? refDouble.best : refFloat.best);
    std::printf("  %-40s %5.1f %%  %s\n", c.name.c_str(), share, share >= kTargetShare ? "met" : "MISSED");
  }
  return 0;
}
