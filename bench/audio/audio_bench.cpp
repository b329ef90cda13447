// Throughput of the plug-in's signal path, measured through the effect
// record the way a host calls it, next to ffmpeg's afreqshift filter as a
// peer. A benchmark, not a test: it prints figures and the targets they are
// held against, and fails only when it cannot run.
//
//   veltrane-audio-bench [--plugin PATH] [--seconds S] [--repeats N]
//                        [--cpu N] [--ffmpeg PATH | --no-peer]
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/veltrane-render/PluginHost.h"

namespace {

constexpr double kSampleRate = 44100.0;
constexpr int kBlock = 512;
constexpr int kPoolBlocks = 64;  // input cycles through 64 blocks: hot in cache like a host's buffers
constexpr int kNoiseSeconds = 2;

// Targets the figures are held against.
constexpr double kTargetDoubleStatic = 2.0e8;
constexpr double kTargetFloatStatic = 1.5e8;
constexpr double kTargetPeerRatio = 15.0;
constexpr double kTargetLfoSlowdown = 10.0;      // percent, at most
constexpr double kTargetSilenceOfNoise = 80.0;   // percent, at least

// CPU time of this thread: on a shared machine wall time also counts the
// slices other processes get, CPU time only the work measured. The plug-in
// runs on the calling thread, so this is its time.
struct Clock {
  typedef double time_point;
  static double now() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
  }
};

double Seconds(double a, double b) { return b - a; }

struct Options {
  std::string plugin = VELTRANE_BENCH_PLUGIN;
  double seconds = 0.3;
  int repeats = 12;
  int cpu = -1;
  std::string ffmpeg = "ffmpeg";
  bool peer = true;
};

// Deterministic loud noise, uniform in -0.99..0.99.
std::vector<double> Noise(size_t count, uint64_t seed) {
  std::vector<double> v(count);
  uint64_t state = seed;
  for (double& x : v) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    x = 0.99 * (static_cast<double>(state >> 11) / 4503599627370496.0 - 1.0);
  }
  return v;
}

enum class Setting { kStatic, kLfo };

const char* const kStaticSettings[] = {"Link L+R=Off", "LFO Waveform=Off", "Freq Range=500",
                                       "Freq Max L=0.707102", "Freq Max R=0.707102", "Mix L=1", "Mix R=1"};
const char* const kLfoSettings[] = {"Link L+R=Off",         "LFO Waveform=Triangle", "LFO Rate=0.5",
                                    "Freq Range=500",       "Freq Min L=-0.707102",  "Freq Min R=-0.707102",
                                    "Freq Max L=0.707102",  "Freq Max R=0.707102",   "Mix L=1",
                                    "Mix R=1"};

bool Prepare(vhost::PluginHost& host, const std::string& path, Setting setting, std::string& error) {
  if (!host.Load(path, error)) return false;
  host.Open(kSampleRate, kBlock);
  for (int i = 0; i < host.NumPrograms(); ++i) {
    if (host.ProgramName(i) == "Init") host.SetProgram(i);
  }
  const char* const* list = setting == Setting::kStatic ? kStaticSettings : kLfoSettings;
  const size_t count = setting == Setting::kStatic ? sizeof kStaticSettings / sizeof kStaticSettings[0]
                                                   : sizeof kLfoSettings / sizeof kLfoSettings[0];
  for (size_t i = 0; i < count; ++i) {
    std::string name, value;
    vhost::SplitAssignment(list[i], name, value);
    const int index = host.FindParam(name);
    if (index < 0 || !host.SetParameterText(index, value)) {
      error = std::string("the plug-in does not take ") + list[i];
      return false;
    }
  }
  host.Start();
  return true;
}

// Planar buffers for one precision: a pool of input blocks and one output
// block, as a host would hand them over.
template <typename Sample>
struct Buffers {
  std::vector<Sample> inL, inR, outL, outR, silence;
  explicit Buffers(const std::vector<double>& noise)
      : inL(noise.size() / 2), inR(noise.size() / 2), outL(kBlock), outR(kBlock), silence(kBlock, Sample(0)) {
    for (size_t i = 0; i < inL.size(); ++i) {
      inL[i] = static_cast<Sample>(noise[2 * i]);
      inR[i] = static_cast<Sample>(noise[2 * i + 1]);
    }
  }
};

template <typename Sample>
void ProcessBlock(AEffect* effect, Sample** in, Sample** out, int frames);

template <>
void ProcessBlock<float>(AEffect* effect, float** in, float** out, int frames) {
  effect->processReplacing(effect, in, out, frames);
}

template <>
void ProcessBlock<double>(AEffect* effect, double** in, double** out, int frames) {
  effect->processDoubleReplacing(effect, in, out, frames);
}

// Processes `blocks` blocks of noise from the pool starting at block *at.
template <typename Sample>
void RunNoise(AEffect* effect, Buffers<Sample>& b, long blocks, long* at) {
  Sample* out[2] = {b.outL.data(), b.outR.data()};
  for (long k = 0; k < blocks; ++k) {
    const size_t offset = static_cast<size_t>((*at)++ % kPoolBlocks) * kBlock;
    Sample* in[2] = {b.inL.data() + offset, b.inR.data() + offset};
    ProcessBlock<Sample>(effect, in, out, kBlock);
  }
}

template <typename Sample>
void RunSilence(AEffect* effect, Buffers<Sample>& b, long blocks) {
  Sample* out[2] = {b.outL.data(), b.outR.data()};
  Sample* in[2] = {b.silence.data(), b.silence.data()};
  for (long k = 0; k < blocks; ++k) ProcessBlock<Sample>(effect, in, out, kBlock);
}

struct Figure {
  double best = 0.0;
  double median = 0.0;
};

Figure Summarise(std::vector<double> rates) {
  Figure f;
  if (rates.empty()) return f;
  std::sort(rates.begin(), rates.end());
  f.best = rates.back();
  f.median = rates[rates.size() / 2];
  return f;
}

// One run: frames per second of a steady stream of noise blocks.
template <typename Sample>
bool MeasureSteady(const Options& o, Setting setting, const std::vector<double>& noise, double* rate,
                   std::string& error) {
  vhost::PluginHost host;
  if (!Prepare(host, o.plugin, setting, error)) return false;
  Buffers<Sample> b(noise);
  long at = 0;
  RunNoise(host.Effect(), b, 200, &at);  // warm-up: caches, branch predictors, the first ticks
  long blocks = 0;
  const double start = Clock::now();
  double now = start;
  while (Seconds(start, now) < o.seconds) {
    RunNoise(host.Effect(), b, 64, &at);
    blocks += 64;
    now = Clock::now();
  }
  *rate = static_cast<double>(blocks) * kBlock / Seconds(start, now);
  return true;
}

// One run alternating 2 s of loud noise with 2 s of silence, timing each
// part: the silence is where filter tails decay toward subnormal numbers.
template <typename Sample>
bool MeasureSilence(const Options& o, const std::vector<double>& noise, double* noiseRate, double* silenceRate,
                    std::string& error) {
  const long partBlocks = static_cast<long>(kNoiseSeconds * kSampleRate) / kBlock;
  vhost::PluginHost host;
  if (!Prepare(host, o.plugin, Setting::kStatic, error)) return false;
  Buffers<Sample> b(noise);
  long at = 0;
  double noiseTime = 0.0, silenceTime = 0.0;
  long parts = 0;
  while (noiseTime + silenceTime < o.seconds) {
    const double t0 = Clock::now();
    RunNoise(host.Effect(), b, partBlocks, &at);
    const double t1 = Clock::now();
    RunSilence(host.Effect(), b, partBlocks);
    const double t2 = Clock::now();
    noiseTime += Seconds(t0, t1);
    silenceTime += Seconds(t1, t2);
    ++parts;
  }
  *noiseRate = static_cast<double>(parts * partBlocks) * kBlock / noiseTime;
  *silenceRate = static_cast<double>(parts * partBlocks) * kBlock / silenceTime;
  return true;
}

// CPU seconds (user + system) of one ffmpeg run; negative on failure.
double RunChildCpuSeconds(const std::vector<std::string>& args) {
  const pid_t child = fork();
  if (child < 0) return -1.0;
  if (child == 0) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1.0;
  return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec * 1e-6;
}

bool HaveProgram(const std::string& program) {
  if (program.find('/') != std::string::npos) return access(program.c_str(), X_OK) == 0;
  const char* path = std::getenv("PATH");
  if (path == nullptr) return false;
  std::string list = path;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t end = std::min(list.find(':', start), list.size());
    const std::string candidate = list.substr(start, end - start) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

// ffmpeg's afreqshift on the same kind of audio, in doubles, one thread on
// the same core (the child inherits the affinity). The filter's own time is
// the run with it minus the same run with anull in its place.
bool MeasurePeer(const Options& o, double* framesPerSecond, std::string& note) {
  if (!HaveProgram(o.ffmpeg)) {
    note = "ffmpeg not found (install Debian's ffmpeg): peer skipped";
    return false;
  }
  const double seconds = 60.0;
  const size_t frames = static_cast<size_t>(seconds * kSampleRate);
  char path[] = "/tmp/veltrane-bench-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) {
    note = "no temporary file for the peer's input: peer skipped";
    return false;
  }
  const std::vector<double> noise = Noise(frames * 2, 7);
  const size_t bytes = noise.size() * sizeof(double);
  const bool written = write(fd, noise.data(), bytes) == static_cast<ssize_t>(bytes);
  close(fd);
  if (!written) {
    unlink(path);
    note = "could not write the peer's input: peer skipped";
    return false;
  }
  auto command = [&](const char* filter) {
    return std::vector<std::string>{o.ffmpeg, "-hide_banner", "-nostdin", "-loglevel", "error", "-threads", "1",
                                    "-filter_threads", "1", "-f", "f64le", "-ar", "44100", "-ac", "2", "-i", path,
                                    "-af", std::string("aformat=sample_fmts=dblp,") + filter, "-f", "null", "-"};
  };
  double shifted = 1e30, plain = 1e30;
  bool ok = true;
  for (int r = 0; r < 3 && ok; ++r) {
    const double a = RunChildCpuSeconds(command("afreqshift=shift=250"));
    const double b = RunChildCpuSeconds(command("anull"));
    ok = a >= 0.0 && b >= 0.0;
    shifted = std::min(shifted, a);
    plain = std::min(plain, b);
  }
  unlink(path);
  if (!ok) {
    note = "ffmpeg failed to run afreqshift (too old, or built without it): peer skipped";
    return false;
  }
  const double filterSeconds = shifted - plain;
  if (filterSeconds <= 0.0) {
    note = "ffmpeg's filter time was lost in the noise: peer skipped";
    return false;
  }
  *framesPerSecond = static_cast<double>(frames) / filterSeconds;
  char text[160];
  std::snprintf(text, sizeof text, "afreqshift %.3f s CPU, anull %.3f s CPU for %.0f s of stereo audio", shifted,
                plain, seconds);
  note = text;
  return true;
}

bool ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](double* out) {
      if (i + 1 >= argc) return false;
      double v = 0.0;
      if (!vhost::ParseNumber(argv[++i], v)) return false;
      *out = v;
      return true;
    };
    double v = 0.0;
    if (a == "--plugin" && i + 1 < argc) {
      o.plugin = argv[++i];
    } else if (a == "--ffmpeg" && i + 1 < argc) {
      o.ffmpeg = argv[++i];
    } else if (a == "--no-peer") {
      o.peer = false;
    } else if (a == "--seconds" && value(&v) && v > 0.0) {
      o.seconds = v;
    } else if (a == "--repeats" && value(&v) && v >= 1.0) {
      o.repeats = static_cast<int>(v);
    } else if (a == "--cpu" && value(&v) && v >= 0.0) {
      o.cpu = static_cast<int>(v);
    } else {
      std::fprintf(stderr,
                   "usage: veltrane-audio-bench [--plugin PATH] [--seconds S] [--repeats N] [--cpu N]\n"
                   "                            [--ffmpeg PATH | --no-peer]\n");
      return false;
    }
  }
  return true;
}

void PrintRate(const char* what, const Figure& f, const char* target) {
  std::printf("  %-44s %10.3e frames/s (median %.3e)  %s\n", what, f.best, f.median, target);
}

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseOptions(argc, argv, o)) return 2;

  // One core: the figures are per core, and the peer gets the same one.
  int cpu = o.cpu >= 0 ? o.cpu : sched_getcpu();
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu < 0 ? 0 : cpu, &set);
  const bool pinned = sched_setaffinity(0, sizeof set, &set) == 0;
  double load[1] = {0.0};
  const bool haveLoad = getloadavg(load, 1) == 1;
  std::printf("Veltrane audio benchmark: %s\n", o.plugin.c_str());
  std::printf("  stereo, %d frames per block, %.0f Hz, best of %d runs of %.1f s CPU time each, %s%s\n", kBlock, kSampleRate,
              o.repeats, o.seconds, pinned ? "pinned to CPU " : "not pinned (sched_setaffinity failed)",
              pinned ? std::to_string(cpu).c_str() : "");
  if (haveLoad) std::printf("  load average %.2f on %ld CPUs (other work on the machine lowers the figures)\n", load[0],
                            sysconf(_SC_NPROCESSORS_ONLN));

  const std::vector<double> noise = Noise(static_cast<size_t>(kPoolBlocks) * kBlock * 2, 1);
  std::string error;
  // The cases take turns, run after run, so that a busy moment of the
  // machine hits all of them alike; each figure is the best of its runs.
  std::vector<double> rates[8];
  for (int r = 0; r < o.repeats; ++r) {
    double v[8];
    if (!MeasureSteady<double>(o, Setting::kStatic, noise, &v[0], error) ||
        !MeasureSteady<float>(o, Setting::kStatic, noise, &v[1], error) ||
        !MeasureSteady<double>(o, Setting::kLfo, noise, &v[2], error) ||
        !MeasureSteady<float>(o, Setting::kLfo, noise, &v[3], error) ||
        !MeasureSilence<double>(o, noise, &v[4], &v[5], error) ||
        !MeasureSilence<float>(o, noise, &v[6], &v[7], error)) {
      std::fprintf(stderr, "veltrane-audio-bench: %s\n", error.c_str());
      return 1;
    }
    for (int k = 0; k < 8; ++k) rates[k].push_back(v[k]);
  }
  const Figure dStatic = Summarise(rates[0]), fStatic = Summarise(rates[1]);
  const Figure dLfo = Summarise(rates[2]), fLfo = Summarise(rates[3]);
  const Figure dNoise = Summarise(rates[4]), dSilence = Summarise(rates[5]);
  const Figure fNoise = Summarise(rates[6]), fSilence = Summarise(rates[7]);

  double peer = 0.0;
  std::string peerNote;
  const bool havePeer = o.peer && MeasurePeer(o, &peer, peerNote);
  if (!o.peer) peerNote = "peer not run (--no-peer)";

  char target[128];
  std::printf("\nStatic shift of +250 Hz (noise input):\n");
  std::snprintf(target, sizeof target, "target >= %.1e: %s", kTargetDoubleStatic,
                Verdict(dStatic.best >= kTargetDoubleStatic));
  PrintRate("processDoubleReplacing", dStatic, target);
  std::snprintf(target, sizeof target, "target >= %.1e: %s", kTargetFloatStatic,
                Verdict(fStatic.best >= kTargetFloatStatic));
  PrintRate("processReplacing", fStatic, target);

  std::printf("\nPeer, ffmpeg afreqshift=shift=250 (doubles, one thread):\n");
  if (havePeer) {
    std::printf("  %-44s %10.3e frames/s  (%s)\n", "afreqshift", peer, peerNote.c_str());
    const double ratio = dStatic.best / peer;
    std::printf("  %-44s %10.1fx             target >= %.0fx: %s\n", "processDoubleReplacing / afreqshift", ratio,
                kTargetPeerRatio, Verdict(ratio >= kTargetPeerRatio));
    std::printf("  %-44s %10.1fx\n", "processReplacing / afreqshift", fStatic.best / peer);
  } else {
    std::printf("  %s\n", peerNote.c_str());
  }

  std::printf("\nTriangle LFO, rate 0.5, sweeping -250..+250 Hz:\n");
  const double dSlow = 100.0 * (1.0 - dLfo.best / dStatic.best);
  const double fSlow = 100.0 * (1.0 - fLfo.best / fStatic.best);
  std::snprintf(target, sizeof target, "%+.1f %% slower than static; target <= %.0f %%: %s", dSlow, kTargetLfoSlowdown,
                Verdict(dSlow <= kTargetLfoSlowdown));
  PrintRate("processDoubleReplacing", dLfo, target);
  std::snprintf(target, sizeof target, "%+.1f %% slower than static; target <= %.0f %%: %s", fSlow, kTargetLfoSlowdown,
                Verdict(fSlow <= kTargetLfoSlowdown));
  PrintRate("processReplacing", fLfo, target);

  std::printf("\nSilence after %d s of loud noise (static shift), alternating:\n", kNoiseSeconds);
  const double dShare = 100.0 * dSilence.best / dNoise.best;
  const double fShare = 100.0 * fSilence.best / fNoise.best;
  PrintRate("processDoubleReplacing, noise part", dNoise, "");
  std::snprintf(target, sizeof target, "%.0f %% of noise speed; target >= %.0f %%: %s", dShare, kTargetSilenceOfNoise,
                Verdict(dShare >= kTargetSilenceOfNoise));
  PrintRate("processDoubleReplacing, silence part", dSilence, target);
  PrintRate("processReplacing, noise part", fNoise, "");
  std::snprintf(target, sizeof target, "%.0f %% of noise speed; target >= %.0f %%: %s", fShare, kTargetSilenceOfNoise,
                Verdict(fShare >= kTargetSilenceOfNoise));
  PrintRate("processReplacing, silence part", fSilence, target);
  return 0;
}
