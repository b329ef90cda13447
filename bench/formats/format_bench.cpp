// Throughput through each plug-in format's binding for the same settings and
// input, 512 frames per block: the VST 2.4 build's processReplacing and
// processDoubleReplacing against VST3's process() in both precisions. The
// cases take turns, run after run, so that a busy moment of the machine
// hits them alike; each figure is the best of its runs. A benchmark, not a
// test: it prints the figures and the target (each binding within 5 % of
// the VST 2.4 build) and fails only when it cannot run.
//
//   veltrane-format-bench [--seconds S] [--repeats N]
#include <sched.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "tests/plugin/vst3/Vst3Host.h"
#include "tools/veltrane-render/PluginHost.h"

namespace {

constexpr double kSampleRate = 44100.0;
constexpr int kBlock = 512;
constexpr int kPoolBlocks = 64;
constexpr double kTargetPercent = 5.0;

// CPU time of this thread: the plug-in runs on it.
double Now() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

// The static +250 Hz shift of the audio benchmark.
const char* const kSettings[] = {"Link L+R=Off", "LFO Waveform=Off", "Freq Range=500", "Freq Max L=0.707102",
                                 "Freq Max R=0.707102", "Mix L=1", "Mix R=1"};

bool Configure(vhost::PluginHost& vst2, std::string& error) {
  if (!vst2.Load(VELTRANE_BENCH_VST2, error)) return false;
  vst2.Open(kSampleRate, kBlock);
  for (const char* setting : kSettings) {
    std::string name, value;
    vhost::SplitAssignment(setting, name, value);
    if (!vst2.SetParameterText(vst2.FindParam(name), value)) {
      error = std::string("the VST 2.4 build does not take ") + setting;
      return false;
    }
  }
  vst2.Start();
  return true;
}

template <typename Sample>
struct Pool {
  std::vector<Sample> left, right, outL, outR;
  Pool() : left(kPoolBlocks * kBlock), right(kPoolBlocks * kBlock), outL(kBlock), outR(kBlock) {
    uint64_t state = 1;
    for (size_t i = 0; i < left.size(); ++i) {
      state = state * 6364136223846793005ULL + 1442695040888963407ULL;
      left[i] = static_cast<Sample>(0.99 * (static_cast<double>(state >> 11) / 4503599627370496.0 - 1.0));
      right[i] = -left[i];
    }
  }
};

// Frames per second of a steady stream of blocks through `process`.
template <typename Sample, typename Process>
double Measure(double seconds, Process process) {
  Pool<Sample> pool;
  Sample* out[2] = {pool.outL.data(), pool.outR.data()};
  long at = 0, blocks = 0;
  auto run = [&](int count) {
    for (int k = 0; k < count; ++k, ++at) {
      const size_t offset = static_cast<size_t>(at % kPoolBlocks) * kBlock;
      Sample* in[2] = {pool.left.data() + offset, pool.right.data() + offset};
      process(in, out);
    }
  };
  run(200);  // warm-up
  const double start = Now();
  double now = start;
  while (now - start < seconds) {
    run(64);
    blocks += 64;
    now = Now();
  }
  return static_cast<double>(blocks) * kBlock / (now - start);
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 0.3;
  int repeats = 12;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[i + 1]);
    if (std::strcmp(argv[i], "--repeats") == 0) repeats = std::max(1, std::atoi(argv[i + 1]));
  }
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(std::max(sched_getcpu(), 0), &set);
  sched_setaffinity(0, sizeof set, &set);

  std::string error;
  vhost::PluginHost vst2;
  if (!Configure(vst2, error)) {
    std::fprintf(stderr, "veltrane-format-bench: %s\n", error.c_str());
    return 1;
  }
  AEffect* effect = vst2.Effect();
  void* chunk = nullptr;
  const VstIntPtr size = effect->dispatcher(effect, effGetChunk, 1, 0, &chunk, 0.0f);
  const vst3host::Bytes state(static_cast<uint8_t*>(chunk), static_cast<uint8_t*>(chunk) + size);
  vst3host::SetBundlePath(VELTRANE_BENCH_VST3);
  auto vst3Float = vst3host::Instance::Create();
  auto vst3Double = vst3host::Instance::Create();
  if (!vst3Float || !vst3Double) {
    std::fprintf(stderr, "veltrane-format-bench: cannot load %s: %s\n", VELTRANE_BENCH_VST3,
                 vst3host::SharedModule().error().c_str());
    return 1;
  }
  vst3Float->Start(kSampleRate, kBlock, vst3::kSample32);
  vst3Double->Start(kSampleRate, kBlock, vst3::kSample64);
  if (vst3Float->SetState(state) != vst3::kResultOk || vst3Double->SetState(state) != vst3::kResultOk) {
    std::fprintf(stderr, "veltrane-format-bench: the VST3 build refuses the VST 2.4 build's state\n");
    return 1;
  }

  std::vector<double> rates[4];
  for (int r = 0; r < repeats; ++r) {
    rates[0].push_back(Measure<float>(seconds, [&](float** in, float** out) { vst2.ProcessFloat(in, out, kBlock); }));
    rates[1].push_back(Measure<float>(seconds, [&](float** in, float** out) {
      vst3Float->Process(in, 2, out, 2, kBlock);
    }));
    rates[2].push_back(
        Measure<double>(seconds, [&](double** in, double** out) { vst2.ProcessDouble(in, out, kBlock); }));
    rates[3].push_back(Measure<double>(seconds, [&](double** in, double** out) {
      vst3Double->Process(in, 2, out, 2, kBlock);
    }));
  }
  double best[4];
  for (int k = 0; k < 4; ++k) best[k] = *std::max_element(rates[k].begin(), rates[k].end());

  std::printf("Veltrane format benchmark: static +250 Hz, stereo, %d frames per block, best of %d runs of %.1f s "
              "CPU time\n",
              kBlock, repeats, seconds);
  const char* names[4] = {"VST 2.4 processReplacing", "VST3 process, 32-bit", "VST 2.4 processDoubleReplacing",
                          "VST3 process, 64-bit"};
  for (int k = 0; k < 4; k += 2) {
    const double slower = 100.0 * (1.0 - best[k + 1] / best[k]);
    std::printf("  %-34s %10.3e frames/s\n", names[k], best[k]);
    std::printf("  %-34s %10.3e frames/s  %+.1f %% slower; target <= %.0f %%: %s\n", names[k + 1], best[k + 1],
                slower, kTargetPercent, slower <= kTargetPercent ? "met" : "MISSED");
  }
  return 0;
}
