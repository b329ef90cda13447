// Independent pieces for the audio tests: a plain implementation of the
// shifter's per-sample and per-tick formulas, a cosine correctly rounded
// without the C library, a radix-2 FFT and an FNV-1a hash.
//
// Nothing here comes from the plug-in's sources; the reference is written
// from the published description of the signal path, as plainly as possible,
// so that a disagreement points at the plug-in (or at the description).
#pragma once

#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <vector>

#include "plugin/vst2/vst24.h"

namespace testhost {
namespace ref {

// ---------------------------------------------------------------------------
// Double-double arithmetic: about 106 bits, with plain double operations only,
// so the table below has the same bits on every build and C library.

struct DD {
  double hi;
  double lo;
};

inline DD TwoSum(double a, double b) {
  const double s = a + b;
  const double bb = s - a;
  const double e = (a - (s - bb)) + (b - bb);
  return {s, e};
}

inline DD QuickTwoSum(double a, double b) {
  const double s = a + b;
  return {s, b - (s - a)};
}

inline DD Split(double a) {
  const double t = 134217729.0 * a;  // 2^27 + 1
  const double hi = t - (t - a);
  return {hi, a - hi};
}

inline DD TwoProd(double a, double b) {
  const double p = a * b;
  const DD x = Split(a), y = Split(b);
  const double e = ((x.hi * y.hi - p) + x.hi * y.lo + x.lo * y.hi) + x.lo * y.lo;
  return {p, e};
}

inline DD Add(DD a, DD b) {
  DD s = TwoSum(a.hi, b.hi);
  const DD t = TwoSum(a.lo, b.lo);
  s.lo += t.hi;
  s = QuickTwoSum(s.hi, s.lo);
  s.lo += t.lo;
  return QuickTwoSum(s.hi, s.lo);
}

inline DD Neg(DD a) { return {-a.hi, -a.lo}; }

inline DD Mul(DD a, DD b) {
  DD p = TwoProd(a.hi, b.hi);
  p.lo += a.hi * b.lo + a.lo * b.hi;
  return QuickTwoSum(p.hi, p.lo);
}

inline DD DivByDouble(DD a, double d) {
  const double q1 = a.hi / d;
  const DD r = Add(a, Neg(TwoProd(q1, d)));
  const double q2 = r.hi / d;
  const DD r2 = Add(r, Neg(TwoProd(q2, d)));
  const double q3 = r2.hi / d;
  const DD q = QuickTwoSum(q1, q2);
  return Add(q, {q3, 0.0});
}

// cos(x) for 0 <= x < 8, correctly rounded to double (barring a value within
// about 2^-100 of a rounding boundary, which the table check rules out).
inline double CorrectlyRoundedCos(double x) {
  // pi/2 as three doubles; the remainder is below 1e-49.
  const double p1 = 1.5707963267948966, p2 = 6.123233995736766e-17, p3 = -1.4973849048591698e-33;
  const int j = static_cast<int>(std::floor(x / p1 + 0.5));
  DD r = {x, 0.0};
  r = Add(r, Neg(TwoProd(j, p1)));
  r = Add(r, Neg(TwoProd(j, p2)));
  r = Add(r, Neg(TwoProd(j, p3)));
  const DD r2 = Mul(r, r);
  // Taylor series of cos r and sin r, |r| <= pi/4.
  DD cosSum = {1.0, 0.0}, sinSum = r;
  DD cosTerm = {1.0, 0.0}, sinTerm = r;
  for (int n = 1; n < 30; ++n) {
    cosTerm = Neg(DivByDouble(Mul(cosTerm, r2), (2.0 * n - 1.0) * (2.0 * n)));
    sinTerm = Neg(DivByDouble(Mul(sinTerm, r2), (2.0 * n) * (2.0 * n + 1.0)));
    cosSum = Add(cosSum, cosTerm);
    sinSum = Add(sinSum, sinTerm);
  }
  DD result;
  switch (((j % 4) + 4) % 4) {
    case 0: result = cosSum; break;
    case 1: result = Neg(sinSum); break;
    case 2: result = Neg(cosSum); break;
    default: result = sinSum; break;
  }
  return QuickTwoSum(result.hi, result.lo).hi;
}

// Entry k = cos(2 pi k / 4096), the argument computed in double arithmetic.
inline const std::array<double, 4096>& CosTable() {
  static const std::array<double, 4096> table = [] {
    std::array<double, 4096> t{};
    const double pi = 3.141592653589793;
    for (int k = 0; k < 4096; ++k) t[static_cast<size_t>(k)] = CorrectlyRoundedCos(2.0 * pi * k / 4096.0);
    return t;
  }();
  return table;
}

// ---------------------------------------------------------------------------
// The shifter, plainly.

// Parameter values (not normalised), as the plug-in holds them.
struct Settings {
  bool linked = false;
  double volume[2] = {1.0, 1.0};
  double mix[2] = {1.0, 1.0};
  int mode[2] = {2, 2};  // 0 "Imag.", 1 "Real", 2 "Input"
  int rangeIndex = 2;     // 5, 50, 500, 5000 Hz
  double freqMin[2] = {0.0, 0.0};
  double freqMax[2] = {0.0, 0.0};
  int waveform = 0;  // 0 Off .. 4 Ramp Up; "S/H" is left out (process-wide sequence)
  double lfoRate = 1.0;
  bool syncToHost = false;
};

// What the plug-in takes from the host's time info for tempo sync.
struct Transport {
  double tempo = 120.0;
  double ppq = -1.0;
  bool running = false;
};

// The published reading of a VstTimeInfo (null: the defaults).
inline Transport TransportFrom(const VstTimeInfo* info) {
  Transport t;
  const VstInt32 mask = kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstCyclePosValid | kVstTimeSigValid;
  if (info == nullptr || (info->flags & mask) == 0) return t;
  if ((info->flags & kVstPpqPosValid) && info->ppqPos >= 0.0) t.ppq = info->ppqPos;
  if ((info->flags & kVstTempoValid) && info->tempo > 0.0) t.tempo = info->tempo;
  t.running = (info->flags & kVstTransportPlaying) != 0;
  return t;
}

const double kSyncLengths[20] = {256, 192, 128, 96, 64, 48, 40, 32, 24, 16,
                                 12,  8,   10,  16.0 / 3.0, 4, 3, 8.0 / 3.0, 2, 1.5, 1};

class Shifter {
 public:
  // The state of a fresh instance after the host set this sample rate.
  explicit Shifter(double sampleRate) : sampleRate_(sampleRate) {
    controlPeriod_ = static_cast<int>(sampleRate) / 1000;
    if (controlPeriod_ < 1) controlPeriod_ = 1;
    ticksPerSecond_ = sampleRate / controlPeriod_;
  }

  // As ParameterChanged for every parameter in index order.
  void Apply(const Settings& s) {
    s_ = s;
    const double ranges[4] = {5.0, 50.0, 500.0, 5000.0};
    rangeFactor_ = ranges[s.rangeIndex] * 268435456.0 / sampleRate_;
    lfoIncrement_ = s.lfoRate * 40.0 / ticksPerSecond_;
    syncIndex_ = static_cast<int>(std::floor(std::sqrt(s.lfoRate) * 19.0 + 0.5));
    dirty_ = true;
  }

  void Process(const double* inL, const double* inR, double* outL, double* outR, int frames,
               const Transport& host = Transport()) {
    if (s_.syncToHost) SyncToHost(host);
    int at = 0;
    while (at < frames) {
      int k;
      if (samplesLeft_ > 0) {
        k = samplesLeft_ < frames - at ? samplesLeft_ : frames - at;
        samplesLeft_ -= k;
      } else {
        TickLfo();
        if (dirty_) UpdateShifts();
        if (frames - at >= controlPeriod_) {
          k = controlPeriod_;
        } else {
          k = frames - at;
          samplesLeft_ = controlPeriod_ - k;
        }
      }
      for (int i = at; i < at + k; ++i) Sample(inL[i], inR[i], outL[i], outR[i]);
      at += k;
    }
  }

  double LfoOutput() const { return lfoOutput_; }
  int32_t PhaseIncrement(int channel) const { return phaseInc_[channel]; }
  int ControlPeriod() const { return controlPeriod_; }

 private:
  struct Section {
    double u1 = 0, u2 = 0, y1 = 0, y2 = 0;
    double Run(double u, double c1, double c2) {
      const double y = ((y1 - u1) * c1 + (u - y2) * c2) + u2;
      u2 = u1;
      u1 = u;
      y2 = y1;
      y1 = y;
      return y;
    }
  };

  void SyncToHost(const Transport& host) {
    double t = std::round(host.tempo * 1000.0) * 0.001;
    if (t <= 0.0) t = 120.0;
    const double d = kSyncLengths[syncIndex_];
    lfoIncrement_ = t / (d * 15.0 * ticksPerSecond_);
    if (host.running) {
      const double q = host.ppq * 4.0 / d;
      lfoPhase_ = q - std::floor(q);
    }
    if (host.running != wasPlaying_) {
      wasPlaying_ = host.running;
      if (host.running) {
        lfoPhase_ = 0.0;
        lfoOutput_ = 0.0;
      }
    }
  }

  void TickLfo() {
    lfoPhase_ = lfoPhase_ + lfoIncrement_;
    if (lfoPhase_ >= 1.0) lfoPhase_ = lfoPhase_ - 1.0;
    const double p = lfoPhase_;
    switch (s_.waveform) {
      case 1: lfoOutput_ = p < 0.5 ? 2.0 * p : 2.0 * (1.0 - p); break;
      case 2: lfoOutput_ = p < 0.5 ? 1.0 : 0.0; break;
      case 3: lfoOutput_ = 1.0 - p; break;
      case 4: lfoOutput_ = p; break;
      default: lfoOutput_ = 0.0; break;
    }
  }

  void UpdateShifts() {
    for (int ch = 0; ch < 2; ++ch) {
      if (s_.waveform != 0) {
        currentFreq_[ch] = s_.freqMin[ch] + (s_.freqMax[ch] - s_.freqMin[ch]) * lfoOutput_;
      } else {
        currentFreq_[ch] = s_.freqMax[ch];
        dirty_ = false;
      }
      const double f = currentFreq_[ch];
      double g = f * f < 1.0 ? f * f : 1.0;
      g = g * rangeFactor_;
      if (f < 0.0) g = -g;
      phaseInc_[ch] = static_cast<int32_t>(g);  // toward zero
    }
  }

  void Sample(double xL, double xR, double& outL, double& outR) {
    const std::array<double, 4096>& table = CosTable();
    const uint32_t mask = (1u << 28) - 1;
    phase_[0] = (phase_[0] + static_cast<uint32_t>(phaseInc_[0])) & mask;
    double c[2], s[2];
    c[0] = table[phase_[0] >> 16];
    s[0] = table[((phase_[0] >> 16) + 1024) % 4096];
    if (s_.linked) {
      c[1] = c[0];
      s[1] = s[0];
    } else {
      phase_[1] = (phase_[1] + static_cast<uint32_t>(phaseInc_[1])) & mask;
      c[1] = table[phase_[1] >> 16];
      s[1] = table[((phase_[1] >> 16) + 1024) % 4096];
    }
    const double x[2] = {xL, xR};
    double out[2];
    for (int ch = 0; ch < 2; ++ch) {
      Section* f = filters_[ch];
      const double yR = f[1].Run(f[0].Run(x[ch], 1.94632, 0.94657), 0.83774, 0.06338);
      const double yI = f[3].Run(f[2].Run(x[ch], -0.02569, -0.260502), 1.8685, 0.870686);
      const double d = s_.mode[ch] == 0 ? yI : s_.mode[ch] == 1 ? yR : x[ch];
      out[ch] = ((((yR * c[ch]) - (yI * s[ch])) - d) * s_.mix[ch] + d) * s_.volume[ch];
    }
    outL = out[0];
    outR = out[1];
  }

  double sampleRate_;
  int controlPeriod_;
  double ticksPerSecond_;
  Settings s_;
  double rangeFactor_ = 0.0;
  bool dirty_ = true;
  int samplesLeft_ = 0;
  uint32_t phase_[2] = {0, 0};
  int32_t phaseInc_[2] = {0, 0};
  double currentFreq_[2] = {0.0, 0.0};
  Section filters_[2][4];
  double lfoPhase_ = 0.0;
  double lfoOutput_ = 0.0;
  double lfoIncrement_ = 0.0;
  int syncIndex_ = 10;
  bool wasPlaying_ = false;
};

// ---------------------------------------------------------------------------
// Measuring.

// In-place radix-2 FFT; the size must be a power of two.
inline void Fft(std::vector<std::complex<double>>& a) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  const double pi = 3.14159265358979323846;
  for (size_t len = 2; len <= n; len <<= 1) {
    const double angle = -2.0 * pi / static_cast<double>(len);
    for (size_t start = 0; start < n; start += len) {
      for (size_t k = 0; k < len / 2; ++k) {
        const std::complex<double> w(std::cos(angle * k), std::sin(angle * k));
        const std::complex<double> u = a[start + k], v = a[start + k + len / 2] * w;
        a[start + k] = u + v;
        a[start + k + len / 2] = u - v;
      }
    }
  }
}

// Magnitudes of the Hann-windowed spectrum of x[0..n), n a power of two.
inline std::vector<double> Spectrum(const double* x, size_t n) {
  const double pi = 3.14159265358979323846;
  std::vector<std::complex<double>> a(n);
  for (size_t i = 0; i < n; ++i) a[i] = x[i] * (0.5 - 0.5 * std::cos(2.0 * pi * i / n));
  Fft(a);
  std::vector<double> m(n / 2);
  for (size_t i = 0; i < n / 2; ++i) m[i] = std::abs(a[i]);
  return m;
}

// Frequency of the strongest bin (DC excluded).
inline double StrongestFrequency(const double* x, size_t n, double sampleRate) {
  const std::vector<double> m = Spectrum(x, n);
  size_t best = 1;
  for (size_t i = 2; i < m.size(); ++i)
    if (m[i] > m[best]) best = i;
  return best * sampleRate / n;
}

// Amplitude of the component at hz: Hann-windowed DFT at that one frequency.
inline double Amplitude(const double* x, size_t n, double hz, double sampleRate) {
  const double pi = 3.14159265358979323846;
  double re = 0.0, im = 0.0, weight = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const double w = 0.5 - 0.5 * std::cos(2.0 * pi * i / n);
    const double phase = 2.0 * pi * hz * i / sampleRate;
    re += w * x[i] * std::cos(phase);
    im -= w * x[i] * std::sin(phase);
    weight += w;
  }
  return 2.0 * std::sqrt(re * re + im * im) / weight;
}

// 64-bit FNV-1a.
inline uint64_t Fnv1a(const void* data, size_t size, uint64_t hash = 1469598103934665603ull) {
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  return hash;
}

// Deterministic noise in [-amplitude, amplitude), double precision.
inline std::vector<double> Noise(size_t frames, uint32_t seed, double amplitude) {
  std::vector<double> out(frames);
  uint32_t state = seed ? seed : 1;
  for (double& s : out) {
    state = state * 1664525u + 1013904223u;
    s = amplitude * (static_cast<double>(state >> 8) / 8388608.0 - 1.0);
  }
  return out;
}

}  // namespace ref
}  // namespace testhost
