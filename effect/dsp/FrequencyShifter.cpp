// The signal path's per-sample work and its control ticks.
//
// The four chains (left real, left imaginary, right real, right imaginary)
// are independent, so the vector paths carry them in lanes with exactly the
// operations of the plain path, in the same order: every path gives the same
// bits. Runs on the audio thread: no allocation, no system calls.
#include <cmath>
#include <cstring>

#include "effect/dsp/FrequencyShifter.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VELTRANE_X86 1
#endif

const double cosTable[4096] = {
#include "effect/dsp/CosTable.inc"
};

namespace {

constexpr uint32_t kPhaseMask = (1u << 28) - 1;

// Coefficients per lane: lanes 0 and 2 run sections 1 then 2 (real chain),
// lanes 1 and 3 sections 3 then 4 (imaginary chain).
alignas(32) const double kC1First[4] = {1.94632, -0.02569, 1.94632, -0.02569};
alignas(32) const double kC2First[4] = {0.94657, -0.260502, 0.94657, -0.260502};
alignas(32) const double kC1Second[4] = {0.83774, 1.8685, 0.83774, 1.8685};
alignas(32) const double kC2Second[4] = {0.06338, 0.870686, 0.06338, 0.870686};

typedef AllpassLanes Lanes;

}  // namespace

// One control tick's run of samples and the increments it uses.
struct SegmentPlan {
  int count;
  int32_t inc[2];
};

namespace {

// What one block asks of a kernel: the samples, the oscillators' phases and
// the mix settings, and the control ticks as segments with their increments.
// Samples are the host's doubles, or its floats.
template <typename Sample>
struct Segment {
  const Sample* inL;
  const Sample* inR;
  Sample* outL;
  Sample* outR;
  const SegmentPlan* plan;
  int segments;
  uint32_t phase[2];
  bool linked;
  int32_t mode[2];
  double mix[2];
  double volume[2];
};

inline double Sanitize(double x) { return x - x == 0.0 ? x : 0.0; }

// Samples into and out of the kernels: floats are widened exactly on the
// way in and rounded on the way out as a cast rounds, so the float path
// gives the bits of converting the whole block before and after.
inline double Widened(double x) { return x; }
inline double Widened(float x) { return x; }

inline double Section(double u, double& u1, double& u2, double& y1, double& y2, double c1, double c2) {
  const double y = ((y1 - u1) * c1 + (u - y2) * c2) + u2;
  u2 = u1;
  u1 = u;
  y2 = y1;
  y1 = y;
  return y;
}

inline double Dry(int32_t mode, double yR, double yI, double x) { return mode == 0 ? yI : mode == 1 ? yR : x; }

template <typename Sample>
void RunScalar(Lanes& s, Segment<Sample>& g) {
  uint32_t pL = g.phase[0], pR = g.phase[1];
  int i = 0;
  for (int segment = 0; segment < g.segments; ++segment) {
    const uint32_t incL = static_cast<uint32_t>(g.plan[segment].inc[0]);
    const uint32_t incR = static_cast<uint32_t>(g.plan[segment].inc[1]);
    for (const int end = i + g.plan[segment].count; i < end; ++i) {
    const double xL = Sanitize(Widened(g.inL[i]));
    const double xR = Sanitize(Widened(g.inR[i]));
    pL = (pL + incL) & kPhaseMask;
    const double cL = cosTable[pL >> 16], sL = cosTable[((pL >> 16) + 1024) & 4095];
    double cR = cL, sR = sL;
    if (!g.linked) {
      pR = (pR + incR) & kPhaseMask;
      cR = cosTable[pR >> 16];
      sR = cosTable[((pR >> 16) + 1024) & 4095];
    }
    double y[4];
    const double x[4] = {xL, xL, xR, xR};
    for (int lane = 0; lane < 4; ++lane) {
      const double a = Section(x[lane], s.u1[0][lane], s.u2[0][lane], s.y1[0][lane], s.y2[0][lane],
                               kC1First[lane], kC2First[lane]);
      y[lane] = Section(a, s.u1[1][lane], s.u2[1][lane], s.y1[1][lane], s.y2[1][lane], kC1Second[lane],
                        kC2Second[lane]);
    }
    const double dL = Dry(g.mode[0], y[0], y[1], xL);
    const double dR = Dry(g.mode[1], y[2], y[3], xR);
    g.outL[i] = static_cast<Sample>(((((y[0] * cL) - (y[1] * sL)) - dL) * g.mix[0] + dL) * g.volume[0]);
    g.outR[i] = static_cast<Sample>(((((y[2] * cR) - (y[3] * sR)) - dR) * g.mix[1] + dR) * g.volume[1]);
    }
  }
  g.phase[0] = pL;
  g.phase[1] = pR;
}

#if defined(VELTRANE_X86)

// One sample into lane 0 and back out.
inline __m128d LoadOne(const double* p) { return _mm_load_sd(p); }
inline __m128d LoadOne(const float* p) { return _mm_cvtss_sd(_mm_setzero_pd(), _mm_load_ss(p)); }
inline void StoreOne(double* p, __m128d v) { _mm_store_sd(p, v); }
inline void StoreOne(float* p, __m128d v) { _mm_store_ss(p, _mm_cvtsd_ss(_mm_setzero_ps(), v)); }

// All-ones in the lanes whose dry signal is the given mode.
template <typename Sample>
inline __m128d DryMask(const Segment<Sample>& g, int32_t which) {
  auto pick = [&](int32_t mode) {
    const int32_t m = mode == 0 || mode == 1 ? mode : 2;
    return m == which ? -1LL : 0LL;
  };
  return _mm_castsi128_pd(_mm_set_epi64x(pick(g.mode[1]), pick(g.mode[0])));
}

template <typename Sample>
void RunSse2(Lanes& s, Segment<Sample>& g) {
  // Stage registers: [left real, left imaginary] and [right real, right imaginary].
  __m128d u1a[2], u2a[2], y1a[2], y2a[2], u1b[2], u2b[2], y1b[2], y2b[2];
  __m128d c1a[2], c2a[2], c1b[2], c2b[2];
  for (int h = 0; h < 2; ++h) {
    u1a[h] = _mm_load_pd(&s.u1[0][2 * h]);
    u2a[h] = _mm_load_pd(&s.u2[0][2 * h]);
    y1a[h] = _mm_load_pd(&s.y1[0][2 * h]);
    y2a[h] = _mm_load_pd(&s.y2[0][2 * h]);
    u1b[h] = _mm_load_pd(&s.u1[1][2 * h]);
    u2b[h] = _mm_load_pd(&s.u2[1][2 * h]);
    y1b[h] = _mm_load_pd(&s.y1[1][2 * h]);
    y2b[h] = _mm_load_pd(&s.y2[1][2 * h]);
    c1a[h] = _mm_load_pd(&kC1First[2 * h]);
    c2a[h] = _mm_load_pd(&kC2First[2 * h]);
    c1b[h] = _mm_load_pd(&kC1Second[2 * h]);
    c2b[h] = _mm_load_pd(&kC2Second[2 * h]);
  }
  const __m128d maskImag = DryMask(g, 0), maskReal = DryMask(g, 1), maskInput = DryMask(g, 2);
  const __m128d mix = _mm_set_pd(g.mix[1], g.mix[0]);
  const __m128d volume = _mm_set_pd(g.volume[1], g.volume[0]);
  uint32_t pL = g.phase[0], pR = g.phase[1];
  int i = 0;
  for (int segment = 0; segment < g.segments; ++segment) {
    const uint32_t incL = static_cast<uint32_t>(g.plan[segment].inc[0]);
    const uint32_t incR = static_cast<uint32_t>(g.plan[segment].inc[1]);
    for (const int end = i + g.plan[segment].count; i < end; ++i) {
    const double xL = Sanitize(Widened(g.inL[i]));
    const double xR = Sanitize(Widened(g.inR[i]));
    pL = (pL + incL) & kPhaseMask;
    const double cL = cosTable[pL >> 16], sL = cosTable[((pL >> 16) + 1024) & 4095];
    double cR = cL, sR = sL;
    if (!g.linked) {
      pR = (pR + incR) & kPhaseMask;
      cR = cosTable[pR >> 16];
      sR = cosTable[((pR >> 16) + 1024) & 4095];
    }
    const __m128d x[2] = {_mm_set1_pd(xL), _mm_set1_pd(xR)};
    __m128d yb[2];
    for (int h = 0; h < 2; ++h) {
      const __m128d ya = _mm_add_pd(
          _mm_add_pd(_mm_mul_pd(_mm_sub_pd(y1a[h], u1a[h]), c1a[h]), _mm_mul_pd(_mm_sub_pd(x[h], y2a[h]), c2a[h])),
          u2a[h]);
      u2a[h] = u1a[h];
      u1a[h] = x[h];
      y2a[h] = y1a[h];
      y1a[h] = ya;
      yb[h] = _mm_add_pd(
          _mm_add_pd(_mm_mul_pd(_mm_sub_pd(y1b[h], u1b[h]), c1b[h]), _mm_mul_pd(_mm_sub_pd(ya, y2b[h]), c2b[h])),
          u2b[h]);
      u2b[h] = u1b[h];
      u1b[h] = ya;
      y2b[h] = y1b[h];
      y1b[h] = yb[h];
    }
    const __m128d pl = _mm_mul_pd(yb[0], _mm_set_pd(sL, cL));
    const __m128d pr = _mm_mul_pd(yb[1], _mm_set_pd(sR, cR));
    const __m128d wet = _mm_unpacklo_pd(_mm_sub_sd(pl, _mm_unpackhi_pd(pl, pl)), _mm_sub_sd(pr, _mm_unpackhi_pd(pr, pr)));
    const __m128d yR = _mm_unpacklo_pd(yb[0], yb[1]);
    const __m128d yI = _mm_unpackhi_pd(yb[0], yb[1]);
    const __m128d xs = _mm_set_pd(xR, xL);
    const __m128d d = _mm_or_pd(_mm_or_pd(_mm_and_pd(yI, maskImag), _mm_and_pd(yR, maskReal)), _mm_and_pd(xs, maskInput));
    const __m128d out = _mm_mul_pd(_mm_add_pd(_mm_mul_pd(_mm_sub_pd(wet, d), mix), d), volume);
    StoreOne(&g.outL[i], out);
    StoreOne(&g.outR[i], _mm_unpackhi_pd(out, out));
    }
  }
  for (int h = 0; h < 2; ++h) {
    _mm_store_pd(&s.u1[0][2 * h], u1a[h]);
    _mm_store_pd(&s.u2[0][2 * h], u2a[h]);
    _mm_store_pd(&s.y1[0][2 * h], y1a[h]);
    _mm_store_pd(&s.y2[0][2 * h], y2a[h]);
    _mm_store_pd(&s.u1[1][2 * h], u1b[h]);
    _mm_store_pd(&s.u2[1][2 * h], u2b[h]);
    _mm_store_pd(&s.y1[1][2 * h], y1b[h]);
    _mm_store_pd(&s.y2[1][2 * h], y2b[h]);
  }
  g.phase[0] = pL;
  g.phase[1] = pR;
}

// The dry signal of one channel in four lanes, chosen at compile time: the
// imaginary chain for mode 0, the real chain for mode 1, the input otherwise.
template <int Mode>
__attribute__((target("avx"))) inline __m256d DrySource(__m256d real, __m256d imag, __m256d input) {
  return Mode == 0 ? imag : Mode == 1 ? real : input;
}

// Two samples of each channel as [L0, L1, R0, R1] and back.
__attribute__((target("avx"))) inline __m256d LoadPairs(const double* inL, const double* inR) {
  return _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(inL)), _mm_loadu_pd(inR), 1);
}
__attribute__((target("avx"))) inline __m128d WidenTwo(const float* in) {
  return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(in))));
}
__attribute__((target("avx"))) inline __m256d LoadPairs(const float* inL, const float* inR) {
  return _mm256_insertf128_pd(_mm256_castpd128_pd256(WidenTwo(inL)), WidenTwo(inR), 1);
}
__attribute__((target("avx"))) inline void StorePairs(double* outL, double* outR, __m256d v) {
  _mm_storeu_pd(outL, _mm256_castpd256_pd128(v));
  _mm_storeu_pd(outR, _mm256_extractf128_pd(v, 1));
}
__attribute__((target("avx"))) inline void StorePairs(float* outL, float* outR, __m256d v) {
  _mm_storel_pi(reinterpret_cast<__m64*>(outL), _mm_cvtpd_ps(_mm256_castpd256_pd128(v)));
  _mm_storel_pi(reinterpret_cast<__m64*>(outR), _mm_cvtpd_ps(_mm256_extractf128_pd(v, 1)));
}

// Both oscillators one sample on: [c, s] of the left and of the right one.
struct OscillatorPair {
  __m128d left, right;
};

__attribute__((target("avx"))) inline OscillatorPair Advance(uint32_t& pL, uint32_t& pR, uint32_t incL,
                                                             uint32_t incR, bool linked) {
  pL = (pL + incL) & kPhaseMask;
  const uint32_t kL = pL >> 16;
  OscillatorPair o;
  o.left = _mm_loadh_pd(_mm_load_sd(&cosTable[kL]), &cosTable[(kL + 1024) & 4095]);
  o.right = o.left;
  if (!linked) {
    pR = (pR + incR) & kPhaseMask;
    const uint32_t kR = pR >> 16;
    o.right = _mm_loadh_pd(_mm_load_sd(&cosTable[kR]), &cosTable[(kR + 1024) & 4095]);
  }
  return o;
}

// Lanes [left real, left imaginary, right real, right imaginary]; the samples
// are taken in pairs so the histories rotate without register moves.
template <typename Sample, int ModeL, int ModeR>
__attribute__((target("avx"))) void RunAvxModes(Lanes& s, Segment<Sample>& g) {
  __m256d u1a = _mm256_load_pd(s.u1[0]), u2a = _mm256_load_pd(s.u2[0]);
  __m256d y1a = _mm256_load_pd(s.y1[0]), y2a = _mm256_load_pd(s.y2[0]);
  __m256d u1b = _mm256_load_pd(s.u1[1]), u2b = _mm256_load_pd(s.u2[1]);
  __m256d y1b = _mm256_load_pd(s.y1[1]), y2b = _mm256_load_pd(s.y2[1]);
  const __m256d c1a = _mm256_load_pd(kC1First), c2a = _mm256_load_pd(kC2First);
  const __m256d c1b = _mm256_load_pd(kC1Second), c2b = _mm256_load_pd(kC2Second);
  const __m256d mix = _mm256_setr_pd(g.mix[0], g.mix[0], g.mix[1], g.mix[1]);
  const __m256d volume = _mm256_setr_pd(g.volume[0], g.volume[0], g.volume[1], g.volume[1]);
  const __m128d zero128 = _mm_setzero_pd();
  const __m256d zero = _mm256_setzero_pd();
  const bool linked = g.linked;
  const Sample* inL = g.inL;
  const Sample* inR = g.inR;
  Sample* outL = g.outL;
  Sample* outR = g.outR;
  uint32_t pL = g.phase[0], pR = g.phase[1];

// One allpass section per lane: y = ((y1 - u1) * c1 + (u - y2) * c2) + u2.
#define VELTRANE_SECTION(u, u1, u2, y1, y2, c1, c2) \
  _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(y1, u1), c1), _mm256_mul_pd(_mm256_sub_pd(u, y2), c2)), u2)

  int i = 0;
  for (int segment = 0; segment < g.segments; ++segment) {
    const uint32_t incL = static_cast<uint32_t>(g.plan[segment].inc[0]);
    const uint32_t incR = static_cast<uint32_t>(g.plan[segment].inc[1]);
    const int end = i + g.plan[segment].count;
    for (; i + 2 <= end; i += 2) {
      // [L0, L1, R0, R1], non-finite samples taken as silence.
      __m256d lr = LoadPairs(inL + i, inR + i);
      lr = _mm256_and_pd(lr, _mm256_cmp_pd(_mm256_sub_pd(lr, lr), zero, _CMP_EQ_OQ));
      const __m256d x0 = _mm256_permute_pd(lr, 0x0);  // [L0, L0, R0, R0]
      const __m256d x1 = _mm256_permute_pd(lr, 0xF);  // [L1, L1, R1, R1]
      const OscillatorPair o0 = Advance(pL, pR, incL, incR, linked);
      const OscillatorPair o1 = Advance(pL, pR, incL, incR, linked);

      const __m256d ya0 = VELTRANE_SECTION(x0, u1a, u2a, y1a, y2a, c1a, c2a);
      const __m256d ya1 = VELTRANE_SECTION(x1, x0, u1a, ya0, y1a, c1a, c2a);
      const __m256d yb0 = VELTRANE_SECTION(ya0, u1b, u2b, y1b, y2b, c1b, c2b);
      const __m256d yb1 = VELTRANE_SECTION(ya1, ya0, u1b, yb0, y1b, c1b, c2b);
      u2a = x0;
      u1a = x1;
      y2a = ya0;
      y1a = ya1;
      u2b = ya0;
      u1b = ya1;
      y2b = yb0;
      y1b = yb1;

      const __m256d p0 = _mm256_mul_pd(yb0, _mm256_insertf128_pd(_mm256_castpd128_pd256(o0.left), o0.right, 1));
      const __m256d p1 = _mm256_mul_pd(yb1, _mm256_insertf128_pd(_mm256_castpd128_pd256(o1.left), o1.right, 1));
      const __m256d wet = _mm256_hsub_pd(p0, p1);  // [wL0, wL1, wR0, wR1]
      const __m256d real = _mm256_unpacklo_pd(yb0, yb1);
      const __m256d imag = _mm256_unpackhi_pd(yb0, yb1);
      const __m256d d = _mm256_blend_pd(DrySource<ModeL>(real, imag, lr), DrySource<ModeR>(real, imag, lr), 0xC);
      const __m256d out = _mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(wet, d), mix), d), volume);
      StorePairs(outL + i, outR + i, out);
    }
    if (i < end) {
      // The odd sample at the end of a segment.
      __m128d pair = _mm_unpacklo_pd(LoadOne(inL + i), LoadOne(inR + i));
      pair = _mm_and_pd(pair, _mm_cmpeq_pd(_mm_sub_pd(pair, pair), zero128));
      const __m256d x = _mm256_permute_pd(_mm256_insertf128_pd(_mm256_castpd128_pd256(pair), pair, 1), 0xC);
      const OscillatorPair o = Advance(pL, pR, incL, incR, linked);
      const __m256d ya = VELTRANE_SECTION(x, u1a, u2a, y1a, y2a, c1a, c2a);
      const __m256d yb = VELTRANE_SECTION(ya, u1b, u2b, y1b, y2b, c1b, c2b);
      u2a = u1a;
      u1a = x;
      y2a = y1a;
      y1a = ya;
      u2b = u1b;
      u1b = ya;
      y2b = y1b;
      y1b = yb;
      const __m256d p = _mm256_mul_pd(yb, _mm256_insertf128_pd(_mm256_castpd128_pd256(o.left), o.right, 1));
      const __m256d wet = _mm256_hsub_pd(p, p);  // lanes 0 and 2
      const __m256d real = _mm256_permute_pd(yb, 0x0);
      const __m256d imag = _mm256_permute_pd(yb, 0xF);
      const __m256d d = _mm256_blend_pd(DrySource<ModeL>(real, imag, x), DrySource<ModeR>(real, imag, x), 0xC);
      const __m256d out = _mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(wet, d), mix), d), volume);
      StoreOne(outL + i, _mm256_castpd256_pd128(out));
      StoreOne(outR + i, _mm256_extractf128_pd(out, 1));
      ++i;
    }
  }
#undef VELTRANE_SECTION
  _mm256_store_pd(s.u1[0], u1a);
  _mm256_store_pd(s.u2[0], u2a);
  _mm256_store_pd(s.y1[0], y1a);
  _mm256_store_pd(s.y2[0], y2a);
  _mm256_store_pd(s.u1[1], u1b);
  _mm256_store_pd(s.u2[1], u2b);
  _mm256_store_pd(s.y1[1], y1b);
  _mm256_store_pd(s.y2[1], y2b);
  g.phase[0] = pL;
  g.phase[1] = pR;
}

int ModeClass(int32_t mode) { return mode == 0 || mode == 1 ? mode : 2; }

template <typename Sample>
void RunAvx(Lanes& s, Segment<Sample>& g) {
  switch (ModeClass(g.mode[0]) * 3 + ModeClass(g.mode[1])) {
    case 0: RunAvxModes<Sample, 0, 0>(s, g); break;
    case 1: RunAvxModes<Sample, 0, 1>(s, g); break;
    case 2: RunAvxModes<Sample, 0, 2>(s, g); break;
    case 3: RunAvxModes<Sample, 1, 0>(s, g); break;
    case 4: RunAvxModes<Sample, 1, 1>(s, g); break;
    case 5: RunAvxModes<Sample, 1, 2>(s, g); break;
    case 6: RunAvxModes<Sample, 2, 0>(s, g); break;
    case 7: RunAvxModes<Sample, 2, 1>(s, g); break;
    default: RunAvxModes<Sample, 2, 2>(s, g); break;
  }
}

#endif

}  // namespace

bool ShiftKernelSupported(ShiftKernel kernel) {
#if defined(VELTRANE_X86)
  switch (kernel) {
    case ShiftKernel::kScalar: return true;
    case ShiftKernel::kSse2: return __builtin_cpu_supports("sse2");
    case ShiftKernel::kAvx: return __builtin_cpu_supports("avx");
  }
  return false;
#else
  return kernel == ShiftKernel::kScalar;
#endif
}

ShiftKernel BestShiftKernel() {
  static const ShiftKernel best = ShiftKernelSupported(ShiftKernel::kAvx)    ? ShiftKernel::kAvx
                                  : ShiftKernelSupported(ShiftKernel::kSse2) ? ShiftKernel::kSse2
                                                                             : ShiftKernel::kScalar;
  return best;
}

namespace {

// Truncates toward zero; beyond the 32-bit range it saturates, NaN gives 0.
int32_t TruncateToInt32(double v) {
  if (!(v > -2147483648.0)) return v != v ? 0 : INT32_MIN;
  if (!(v < 2147483648.0)) return INT32_MAX;
  return static_cast<int32_t>(v);
}

const double kRangeHz[4] = {5.0, 50.0, 500.0, 5000.0};

}  // namespace

FrequencyShifter::FrequencyShifter() : mKernel(BestShiftKernel()) {
  lfo.storedSampleRate = 44100.0;
  lfo.ticksPerSecond = 1002.2727272727273;
  lfo.syncIndex = 10;
}

void FrequencyShifter::Prepare(double sampleRate) {
  ++prepares;
  dirty = true;
  samplesLeft = 0;
  // The cosine table is a constant of the program: nothing to build.
  for (int channel = 0; channel < 2; ++channel) {
    phase[channel] = 0;
    phaseInc[channel] = 0;
    currentFreq[channel] = 0.0;
  }
  std::memset(&allpassState, 0, sizeof allpassState);
  // At least one sample per tick, whatever the rate.
  controlPeriod = TruncateToInt32(sampleRate) / 1000;
  if (controlPeriod < 1) controlPeriod = 1;
  if (sampleRate != lfo.storedSampleRate) {
    ++lfoRestarts;
    lfo.storedSampleRate = sampleRate;
    lfo.ticksPerSecond = sampleRate / controlPeriod;
    lfo.phase = 0.0;
    lfo.output = 0.0;
  }
}

void FrequencyShifter::SetVolume(int channel, double gain) {
  ++settingsChanges;
  dirty = true;
  volume[channel] = gain;
}

void FrequencyShifter::SetMix(int channel, double wet) {
  ++settingsChanges;
  dirty = true;
  mix[channel] = wet;
}

void FrequencyShifter::SetMode(int channel, int32_t newMode) {
  ++settingsChanges;
  dirty = true;
  mode[channel] = newMode;
}

void FrequencyShifter::SetRange(int32_t index, double sampleRate) {
  ++settingsChanges;
  dirty = true;
  rangeIndex = index < 0 ? 0 : index > 3 ? 3 : index;
  rangeFactor = kRangeHz[rangeIndex] * 268435456.0 / sampleRate;
}

void FrequencyShifter::SetFreqMin(int channel, double value) {
  ++settingsChanges;
  dirty = true;
  freqMin[channel] = value;
}

void FrequencyShifter::SetFreqMax(int channel, double value) {
  ++settingsChanges;
  dirty = true;
  freqMax[channel] = value;
}

void FrequencyShifter::SetLinked(bool on) {
  ++settingsChanges;
  dirty = true;
  linked = on;
}

void FrequencyShifter::SetWaveform(int32_t waveform) {
  ++settingsChanges;
  dirty = true;
  waveformParam = waveform;
  lfo.waveform = waveform;
}

void FrequencyShifter::SetRate(double rate) {
  ++settingsChanges;
  dirty = true;
  lfo.rate = rate;
  lfo.increment = rate * 40.0 / lfo.ticksPerSecond;
  ++incrementChanges;
  lfo.syncIndex = SyncIndexOf(rate);
}

void FrequencyShifter::SetSyncToHost(bool on) {
  ++settingsChanges;
  dirty = true;
  syncToHost = on;
  if (!syncToHost) {
    lfo.increment = lfo.rate * 40.0 / lfo.ticksPerSecond;
    ++incrementChanges;
  }
}

void FrequencyShifter::TakeSettingsFrom(const FrequencyShifter& control) {
  if (control.prepares != takenPrepares) {
    takenPrepares = control.prepares;
    // The control's Prepare calls, on this signal path: cleared histories,
    // the control timing of the rate, and the oscillator restarted when any
    // of them changed the rate.
    const bool restart = control.lfoRestarts != takenLfoRestarts;
    takenLfoRestarts = control.lfoRestarts;
    const double rate = control.lfo.storedSampleRate;
    Prepare(rate);
    lfo.ticksPerSecond = control.lfo.ticksPerSecond;
    if (restart) {
      lfo.phase = 0.0;
      lfo.output = 0.0;
    }
  }
  if (control.settingsChanges != takenSettings) {
    takenSettings = control.settingsChanges;
    dirty = true;
    linked = control.linked;
    for (int channel = 0; channel < 2; ++channel) {
      volume[channel] = control.volume[channel];
      mix[channel] = control.mix[channel];
      mode[channel] = control.mode[channel];
      freqMin[channel] = control.freqMin[channel];
      freqMax[channel] = control.freqMax[channel];
    }
    rangeIndex = control.rangeIndex;
    rangeFactor = control.rangeFactor;
    waveformParam = control.waveformParam;
    syncToHost = control.syncToHost;
    lfo.waveform = control.lfo.waveform;
    lfo.rate = control.lfo.rate;
    lfo.syncIndex = control.lfo.syncIndex;
  }
  // The increment is the audio thread's own while it follows the host's
  // tempo; the control's counts only when the control set it.
  if (control.incrementChanges != takenIncrement) {
    takenIncrement = control.incrementChanges;
    lfo.increment = control.lfo.increment;
  }
}

void FrequencyShifter::UpdateShifts() {
  for (int channel = 0; channel < 2; ++channel) {
    if (waveformParam != 0) {
      currentFreq[channel] = freqMin[channel] + (freqMax[channel] - freqMin[channel]) * lfo.output;
    } else {
      currentFreq[channel] = freqMax[channel];
      dirty = false;
    }
    const double f = currentFreq[channel];
    double g = f * f < 1.0 ? f * f : 1.0;
    g = g * rangeFactor;
    if (f < 0.0) g = -g;
    phaseInc[channel] = TruncateToInt32(g);
  }
}

int FrequencyShifter::PlanSegments(int frames, SegmentPlan* plan, int maxSegments) {
  int segments = 0;
  for (int n = frames; n > 0 && segments < maxSegments; ++segments) {
    int k;
    if (samplesLeft > 0) {
      if (samplesLeft >= n) {
        k = n;
        samplesLeft -= n;
      } else {
        k = samplesLeft;
        samplesLeft = 0;
      }
    } else {
      // A control tick is due.
      lfo.TickLfo();
      if (dirty) UpdateShifts();
      if (n >= controlPeriod) {
        k = controlPeriod;
      } else {
        k = n;
        samplesLeft = controlPeriod - n;
      }
    }
    plan[segments].count = k;
    plan[segments].inc[0] = phaseInc[0];
    plan[segments].inc[1] = phaseInc[1];
    n -= k;
  }
  return segments;
}

void FrequencyShifter::Process(const double* const* inputs, double* const* outputs, int frames,
                               const LfoTransport* transport) {
  ProcessSamples(inputs, outputs, frames, transport);
}

void FrequencyShifter::Process(const float* const* inputs, float* const* outputs, int frames,
                               const LfoTransport* transport) {
  ProcessSamples(inputs, outputs, frames, transport);
}

template <typename Sample>
void FrequencyShifter::ProcessSamples(const Sample* const* inputs, Sample* const* outputs, int frames,
                                      const LfoTransport* transport) {
  if (syncToHost && transport != nullptr) lfo.SyncLfoToHost(*transport, transportWasPlaying);
  // Control ticks depend on no sample, so a run of them is planned first and
  // the kernel then works through its samples without leaving registers.
  const int kMaxPlanned = 64;
  SegmentPlan plan[kMaxPlanned];
  Segment<Sample> g;
  g.plan = plan;
  g.linked = linked;
  for (int channel = 0; channel < 2; ++channel) {
    g.mode[channel] = mode[channel];
    g.mix[channel] = mix[channel];
    g.volume[channel] = volume[channel];
  }
  for (int offset = 0; offset < frames;) {
    g.segments = PlanSegments(frames - offset, plan, kMaxPlanned);
    int planned = 0;
    for (int i = 0; i < g.segments; ++i) planned += plan[i].count;
    g.inL = inputs[0] + offset;
    g.inR = inputs[1] + offset;
    g.outL = outputs[0] + offset;
    g.outR = outputs[1] + offset;
    g.phase[0] = phase[0];
    g.phase[1] = phase[1];
    switch (mKernel) {
#if defined(VELTRANE_X86)
      case ShiftKernel::kAvx: RunAvx(allpassState, g); break;
      case ShiftKernel::kSse2: RunSse2(allpassState, g); break;
#endif
      default: RunScalar(allpassState, g); break;
    }
    phase[0] = g.phase[0];
    phase[1] = g.phase[1];
    offset += planned;
  }
  // A history that overflowed to infinity would poison every later sample.
  const double* history = &allpassState.u1[0][0];
  bool finite = true;
  for (int i = 0; i < 32; ++i) finite = finite && history[i] - history[i] == 0.0;
  if (!finite) std::memset(&allpassState, 0, sizeof allpassState);
}
