// Shared pieces of the torture scenarios: a generator with the same numbers
// on every build, a host-style audio thread, and checks on rendered audio.
#pragma once

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/host/AudioSupport.h"
#include "tests/host/HostTestSupport.h"

namespace torture {

using testhost::DoubleBuffers;
using testhost::FloatBuffers;
using testhost::PluginInstance;

// Windows programs run under Wine, where creating an instance and every
// thread switch cost more; those scenarios take smaller counts there.
#if defined(_WIN32)
constexpr bool kUnderWine = true;
#else
constexpr bool kUnderWine = false;
#endif

// xorshift64*: plain integer steps, so every build draws the same values.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed ? seed : 0x9E3779B97F4A7C15ull) {}
  uint32_t Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return static_cast<uint32_t>((state_ * 0x2545F4914F6CDD1Dull) >> 32);
  }
  // In [0, n).
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }
  // In [0, 1], with both ends reachable.
  float Unit() { return static_cast<float>(Next() % 1025u) / 1024.0f; }

 private:
  uint64_t state_;
};

// The host's audio thread: one long-lived thread that runs the jobs it is
// given, one at a time, while the caller waits. Handing a job over allocates
// nothing on the audio thread.
class AudioThread {
 public:
  AudioThread() : thread_([this] { Loop(); }) {}
  ~AudioThread() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  AudioThread(const AudioThread&) = delete;
  AudioThread& operator=(const AudioThread&) = delete;

  std::thread::id id() const { return thread_.get_id(); }

  void Run(const std::function<void()>& job) {
    std::unique_lock<std::mutex> lock(mutex_);
    job_ = &job;
    wake_.notify_all();
    done_.wait(lock, [this] { return job_ == nullptr; });
  }

 private:
  void Loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return quit_ || job_ != nullptr; });
      if (job_ != nullptr) {
        const std::function<void()>* job = job_;
        lock.unlock();
        (*job)();
        lock.lock();
        job_ = nullptr;
        done_.notify_all();
      } else if (quit_) {
        return;
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  const std::function<void()>* job_ = nullptr;
  bool quit_ = false;
  std::thread thread_;
};

// Keeps a loop going until it has done `count` rounds or `cap` has passed,
// whichever comes first; the time cap only bounds slow machines.
class Budget {
 public:
  Budget(long count, std::chrono::milliseconds cap)
      : count_(count), deadline_(std::chrono::steady_clock::now() + cap) {}
  bool Next() {
    if (done_ >= count_) return false;
    if ((done_ & 15) == 0 && std::chrono::steady_clock::now() >= deadline_) return false;
    ++done_;
    return true;
  }
  long done() const { return done_; }

 private:
  long count_;
  long done_ = 0;
  std::chrono::steady_clock::time_point deadline_;
};

template <typename Sample>
bool AllFinite(const std::vector<std::vector<Sample>>& buffers, size_t frames) {
  for (const auto& b : buffers)
    for (size_t i = 0; i < frames && i < b.size(); ++i)
      if (!std::isfinite(b[i])) return false;
  return true;
}

template <typename Sample>
double PeakOf(const std::vector<std::vector<Sample>>& buffers, size_t frames) {
  double peak = 0.0;
  for (const auto& b : buffers)
    for (size_t i = 0; i < frames && i < b.size(); ++i) peak = std::fmax(peak, std::fabs(static_cast<double>(b[i])));
  return peak;
}

// Largest output a stable shifter can give for input peaks of 1: volume up
// to 4 (12 dB), the analytic pair's magnitude at most a few times its input
// while the allpass chains ring. Anything beyond is a blow-up.
constexpr double kSaneOutputPeak = 64.0;

// Stereo deterministic noise of amplitude 0.5, exact in single precision.
inline DoubleBuffers NoiseDouble(size_t frames, uint32_t seed) {
  return {testhost::ref::Noise(frames, seed, 0.5), testhost::ref::Noise(frames, seed * 7919u + 13u, 0.5)};
}

inline FloatBuffers ToFloat(const DoubleBuffers& in) {
  FloatBuffers out(in.size());
  for (size_t c = 0; c < in.size(); ++c) out[c].assign(in[c].begin(), in[c].end());
  return out;
}

// A setting of every parameter that makes the shifter do real work: both
// channels shifted, a sweeping oscillator, wet and dry mixed.
inline testhost::ref::Settings BusySettings() {
  testhost::ref::Settings s;
  s.volume[0] = 1.5;
  s.volume[1] = 0.8;
  s.mix[0] = 0.7;
  s.mix[1] = 1.0;
  s.mode[0] = 0;
  s.mode[1] = 2;
  s.rangeIndex = 3;
  s.freqMin[0] = -0.4;
  s.freqMax[0] = 0.6;
  s.freqMin[1] = 0.2;
  s.freqMax[1] = -0.75;
  s.waveform = 1;
  s.lfoRate = 0.3;
  return s;
}

}  // namespace torture
