// Throughput of the signal path through the CLAP binding next to the VST 2.4
// build's, at 512 frames a block, both loaded through their entry points.
// The cases take turns run after run so a busy moment hits both alike; each
// figure is the best of its runs. A benchmark, not a test: it prints the
// figures and the target (the CLAP build within 5 % of the VST 2.4 build)
// and fails only when it cannot run.
//
//   veltrane-clap-bench [--seconds S] [--repeats N]
#include <dlfcn.h>
#include <sched.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "plugin/clap/clap_interface.h"
#include "tools/veltrane-render/PluginHost.h"

namespace {

constexpr double kRate = 44100.0;
constexpr int kBlock = 512;
constexpr int kPoolBlocks = 64;
constexpr double kTargetPercent = 5.0;

// The static +250 Hz setting of the audio benchmark.
const char* const kSettings[][2] = {{"Link L+R", "Off"},         {"LFO Waveform", "Off"}, {"Freq Range", "500"},
                                    {"Freq Max L", "0.707102"},  {"Freq Max R", "0.707102"}, {"Mix L", "1"},
                                    {"Mix R", "1"}};

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

// A CLAP host with nothing but what processing needs.
class ClapRunner {
 public:
  bool Load(const std::string& path, std::string& error) {
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return Fail(error, dlerror());
    const auto* entry = static_cast<const clap_plugin_entry_t*>(dlsym(library, "clap_entry"));
    if (entry == nullptr || !entry->init(path.c_str())) return Fail(error, "no usable clap_entry");
    const auto* factory = static_cast<const clap_plugin_factory_t*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    if (factory == nullptr) return Fail(error, "no plug-in factory");
    std::memset(&host_, 0, sizeof host_);
    host_.clap_version = kClapVersion;
    host_.name = "veltrane-clap-bench";
    host_.vendor = host_.url = "";
    host_.version = "1";
    host_.get_extension = [](const clap_host_t*, const char*) -> const void* { return nullptr; };
    host_.request_restart = host_.request_process = host_.request_callback = [](const clap_host_t*) {};
    plugin_ = factory->create_plugin(factory, &host_, factory->get_plugin_descriptor(factory, 0)->id);
    if (plugin_ == nullptr || !plugin_->init(plugin_)) return Fail(error, "the plug-in was not created");
    const auto* params = static_cast<const clap_plugin_params_t*>(plugin_->get_extension(plugin_, CLAP_EXT_PARAMS));
    if (params == nullptr || !plugin_->activate(plugin_, kRate, 1, kBlock) || !plugin_->start_processing(plugin_))
      return Fail(error, "the plug-in did not start");
    // The settings as value events of one flush.
    struct Events {
      std::vector<clap_event_param_value_t> list;
    } events;
    for (const auto& setting : kSettings) {
      for (uint32_t i = 0; i < params->count(plugin_); ++i) {
        clap_param_info_t info;
        double v;
        if (!params->get_info(plugin_, i, &info) || std::strcmp(info.name, setting[0]) != 0) continue;
        if (!params->text_to_value(plugin_, info.id, setting[1], &v)) return Fail(error, setting[0]);
        clap_event_param_value_t e;
        std::memset(&e, 0, sizeof e);
        e.header = {sizeof e, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
        e.param_id = info.id;
        e.value = v;
        events.list.push_back(e);
      }
    }
    const clap_input_events_t in{&events,
                                 [](const clap_input_events_t* l) {
                                   return static_cast<uint32_t>(static_cast<Events*>(l->ctx)->list.size());
                                 },
                                 [](const clap_input_events_t* l, uint32_t i) -> const clap_event_header_t* {
                                   return &static_cast<Events*>(l->ctx)->list[i].header;
                                 }};
    params->flush(plugin_, &in, &kNoOutput);
    return events.list.size() == sizeof kSettings / sizeof kSettings[0] || Fail(error, "a setting is missing");
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

template <typename Sample>
struct Pool {
  std::vector<Sample> inL, inR, outL, outR;
  explicit Pool(const std::vector<double>& noise)
      : inL(noise.size() / 2), inR(noise.size() / 2), outL(kBlock), outR(kBlock) {
    for (size_t i = 0; i < inL.size(); ++i) {
      inL[i] = static_cast<Sample>(noise[2 * i]);
      inR[i] = static_cast<Sample>(noise[2 * i + 1]);
    }
  }
};

// Frames per second of one run of `seconds` CPU time through `block`.
template <typename Sample, typename Block>
double Measure(Pool<Sample>& pool, double seconds, Block block) {
  Sample* out[2] = {pool.outL.data(), pool.outR.data()};
  long at = 0, blocks = 0;
  auto run = [&](int n) {
    for (int k = 0; k < n; ++k, ++at) {
      const size_t offset = static_cast<size_t>(at % kPoolBlocks) * kBlock;
      Sample* in[2] = {pool.inL.data() + offset, pool.inR.data() + offset};
      block(in, out);
    }
  };
  run(200);
  const double start = CpuNow();
  double now = start;
  while (now - start < seconds) {
    run(64);
    blocks += 64;
    now = CpuNow();
  }
  return static_cast<double>(blocks) * kBlock / (now - start);
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 0.3;
  int repeats = 12;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[i + 1]);
    else if (std::strcmp(argv[i], "--repeats") == 0) repeats = std::atoi(argv[i + 1]);
  }
  if (!(seconds > 0.0) || repeats < 1 || argc % 2 == 0) {
    std::fprintf(stderr, "usage: veltrane-clap-bench [--seconds S] [--repeats N]\n");
    return 2;
  }
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(std::max(0, sched_getcpu()), &set);
  sched_setaffinity(0, sizeof set, &set);

  std::string error;
  vhost::PluginHost vst;
  ClapRunner clap;
  if (!vst.Load(VELTRANE_BENCH_PLUGIN, error) || !clap.Load(VELTRANE_BENCH_CLAP, error)) {
    std::fprintf(stderr, "veltrane-clap-bench: %s\n", error.c_str());
    return 1;
  }
  vst.Open(kRate, kBlock);
  for (const auto& setting : kSettings) {
    if (!vst.SetParameterText(vst.FindParam(setting[0]), setting[1])) {
      std::fprintf(stderr, "veltrane-clap-bench: the VST 2.4 build does not take %s\n", setting[0]);
      return 1;
    }
  }
  vst.Start();
  AEffect* e = vst.Effect();

  const std::vector<double> noise = Noise(static_cast<size_t>(kPoolBlocks) * kBlock * 2);
  Pool<double> doubles(noise);
  Pool<float> floats(noise);
  std::vector<double> rates[4];
  for (int r = 0; r < repeats; ++r) {
    rates[0].push_back(Measure(doubles, seconds, [&](double** in, double** out) {
      e->processDoubleReplacing(e, in, out, kBlock);
    }));
    rates[1].push_back(Measure(doubles, seconds, [&](double** in, double** out) { clap.Process(in, out); }));
    rates[2].push_back(Measure(floats, seconds, [&](float** in, float** out) {
      e->processReplacing(e, in, out, kBlock);
    }));
    rates[3].push_back(Measure(floats, seconds, [&](float** in, float** out) { clap.Process(in, out); }));
  }
  double best[4];
  for (int k = 0; k < 4; ++k) best[k] = *std::max_element(rates[k].begin(), rates[k].end());
  std::printf("Veltrane CLAP binding against the VST 2.4 build: static +250 Hz, %d frames, %.0f Hz,\n"
              "best of %d runs of %.1f s CPU time each\n\n",
              kBlock, kRate, repeats, seconds);
  const char* const names[2] = {"double precision", "single precision"};
  for (int p = 0; p < 2; ++p) {
    const double vstRate = best[2 * p], clapRate = best[2 * p + 1];
    const double slower = 100.0 * (1.0 - clapRate / vstRate);
    std::printf("  %-17s VST 2.4 %10.3e frames/s   CLAP %10.3e frames/s   CLAP %+5.1f %% slower; target <= %.0f %%: %s\n",
                names[p], vstRate, clapRate, slower, kTargetPercent, slower <= kTargetPercent ? "met" : "MISSED");
  }
  return 0;
}
