// The vector widths of the signal path against each other, bit for bit, and
// the bits of the cosine table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

#include "effect/dsp/FrequencyShifter.h"

namespace {

// Subnormals flushed as the plug-in flushes them around its processing:
// MXCSR's FTZ and DAZ on x86, FPCR's FZ on 64-bit ARM.
#if defined(__SSE__) || defined(__x86_64__)
#define SIGNAL_PATHS_FLUSH 1
uint64_t ReadFloatMode() { return _mm_getcsr(); }
void WriteFloatMode(uint64_t mode) { _mm_setcsr(static_cast<unsigned>(mode)); }
const uint64_t kFlushBits = 0x8040;
#elif defined(__aarch64__)
#define SIGNAL_PATHS_FLUSH 1
uint64_t ReadFloatMode() {
  uint64_t mode;
  asm volatile("mrs %0, fpcr" : "=r"(mode));
  return mode;
}
void WriteFloatMode(uint64_t mode) { asm volatile("msr fpcr, %0" : : "r"(mode) : "memory"); }
const uint64_t kFlushBits = uint64_t{1} << 24;
#endif

struct Setting {
  int modeL, modeR;
  bool linked;
  int waveform;
  double mixL, mixR;
};

std::unique_ptr<FrequencyShifter> MakeShifter(ShiftKernel kernel, const Setting& s) {
  auto shifter = std::make_unique<FrequencyShifter>();
  shifter->SetShiftKernel(kernel);
  shifter->Prepare(48000.0);
  shifter->SetLinked(s.linked);
  shifter->SetRange(3, 48000.0);
  shifter->SetFreqMin(0, -0.4);
  shifter->SetFreqMin(1, 0.2);
  shifter->SetFreqMax(0, 0.7);
  shifter->SetFreqMax(1, -0.9);
  shifter->SetMode(0, s.modeL);
  shifter->SetMode(1, s.modeR);
  shifter->SetMix(0, s.mixL);
  shifter->SetMix(1, s.mixR);
  shifter->SetVolume(0, 1.7);
  shifter->SetVolume(1, 0.3);
  shifter->SetWaveform(s.waveform);
  shifter->SetRate(0.8);
  return shifter;
}

// Noise with a few samples a host should never send: they must not make the
// paths disagree either.
std::vector<double> Signal(size_t frames, uint32_t seed) {
  std::vector<double> x(frames);
  for (double& v : x) {
    seed = seed * 1664525u + 1013904223u;
    v = (static_cast<int32_t>(seed) / 2147483648.0) * 0.8;
  }
  x[frames / 3] = std::numeric_limits<double>::quiet_NaN();
  x[frames / 2] = std::numeric_limits<double>::infinity();
  x[frames / 2 + 5] = 1e-310;
  return x;
}

template <typename Sample>
std::vector<Sample> Render(FrequencyShifter& shifter, const std::vector<Sample>& left,
                           const std::vector<Sample>& right) {
  const size_t frames = left.size();
  std::vector<Sample> out(frames * 2);
  const int blocks[] = {1, 7, 300, 44, 1000, 3};
  size_t at = 0;
  for (int b = 0; at < frames; ++b) {
    const size_t n = std::min(frames - at, static_cast<size_t>(blocks[b % 6]));
    const Sample* in[2] = {&left[at], &right[at]};
    Sample* o[2] = {&out[at], &out[frames + at]};
    shifter.Process(in, o, static_cast<int>(n), nullptr);
    at += n;
  }
  return out;
}

TEST(SignalPaths, EveryVectorWidthGivesTheSameBits) {
  // "S/H" is left out: its sequence is shared by the process, so two
  // instances never see the same values.
  const Setting settings[] = {
      {2, 2, false, 0, 1.0, 1.0}, {0, 1, false, 1, 0.5, 0.25}, {1, 0, true, 3, 0.7, 0.0},
      {2, 0, false, 4, 0.0, 1.0}, {0, 2, true, 2, 0.33, 0.66}, {1, 1, false, 1, 0.9, 0.1},
  };
  const std::vector<double> left = Signal(6000, 1), right = Signal(6000, 2);
  for (const Setting& s : settings) {
    auto scalar = MakeShifter(ShiftKernel::kScalar, s);
    const std::vector<double> expected = Render(*scalar, left, right);
    for (ShiftKernel kernel : {ShiftKernel::kSse2, ShiftKernel::kAvx}) {
      if (!ShiftKernelSupported(kernel)) continue;
      auto vector = MakeShifter(kernel, s);
      const std::vector<double> got = Render(*vector, left, right);
      ASSERT_EQ(0, std::memcmp(expected.data(), got.data(), expected.size() * sizeof(double)))
          << "kernel " << static_cast<int>(kernel) << " modes " << s.modeL << "/" << s.modeR << " linked "
          << s.linked << " waveform " << s.waveform;
    }
    // The output really is the shifted signal, not silence.
    double energy = 0.0;
    for (double v : expected) energy += v * v;
    EXPECT_GT(energy, 1.0);
  }
}

// Also with subnormals flushed, as the plug-in runs it: the vector paths
// widen and narrow several samples per instruction and must treat
// subnormal, huge and non-finite floats as converting each one would.
TEST(SignalPaths, FloatBuffersGiveTheBitsOfConvertingAroundTheDoublePath) {
  const std::vector<double> left = Signal(6000, 3), right = Signal(6000, 4);
  std::vector<float> leftF(left.begin(), left.end()), rightF(right.begin(), right.end());
  leftF[2001] = 1e-40f;
  rightF[2002] = -1e-41f;
  leftF[2003] = std::numeric_limits<float>::max();
  rightF[2004] = -std::numeric_limits<float>::infinity();
  for (const bool flush : {false, true}) {
#if defined(SIGNAL_PATHS_FLUSH)
    const uint64_t saved = ReadFloatMode();
    if (flush) WriteFloatMode(saved | kFlushBits);
#else
    if (flush) continue;
#endif
    for (ShiftKernel kernel : {ShiftKernel::kScalar, ShiftKernel::kSse2, ShiftKernel::kAvx}) {
      if (!ShiftKernelSupported(kernel)) continue;
      for (const Setting& s : {Setting{0, 1, false, 1, 0.5, 0.25}, Setting{2, 0, true, 3, 0.7, 1.0}}) {
        auto viaDouble = MakeShifter(kernel, s), direct = MakeShifter(kernel, s);
        const std::vector<double> wide =
            Render(*viaDouble, std::vector<double>(leftF.begin(), leftF.end()),
                   std::vector<double>(rightF.begin(), rightF.end()));
        const std::vector<float> expected(wide.begin(), wide.end()), got = Render(*direct, leftF, rightF);
        EXPECT_EQ(0, std::memcmp(expected.data(), got.data(), expected.size() * sizeof(float)))
            << "kernel " << static_cast<int>(kernel) << " modes " << s.modeL << "/" << s.modeR << " flush " << flush;
      }
    }
#if defined(SIGNAL_PATHS_FLUSH)
    WriteFloatMode(saved);
#endif
  }
}

TEST(SignalPaths, NonFiniteInputIsSilenceAndTheFiltersRecover) {
  auto plug = MakeShifter(ShiftKernel::kScalar, {2, 2, false, 0, 1.0, 1.0});
  std::vector<double> left(2000, 0.25), right(2000, -0.25);
  left[10] = std::numeric_limits<double>::quiet_NaN();
  right[11] = -std::numeric_limits<double>::infinity();
  left[12] = 1e308;  // finite, but overflows inside the filters
  const std::vector<double> out = Render(*plug, left, right);
  for (size_t i = 0; i < out.size(); ++i) ASSERT_TRUE(std::isfinite(out[i])) << "sample " << i;
}

uint64_t Fnv1a(const void* data, size_t size) {
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  uint64_t hash = 1469598103934665603ull;
  for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  return hash;
}

TEST(CosineTable, HoldsTheCorrectlyRoundedCosinesOnEveryBuild) {
  EXPECT_EQ(cosTable[0], 1.0);
  EXPECT_EQ(cosTable[2048], -1.0);
  EXPECT_EQ(cosTable[1024], 6.123233995736766e-17);
  EXPECT_EQ(cosTable[3072], -1.8369701987210297e-16);
  const double pi = 3.141592653589793;
  for (int k = 0; k < 4096; ++k) {
    const double argument = 2.0 * pi * k / 4096.0;
    const long double precise = std::cos(static_cast<long double>(argument));
    // Some C libraries' long double cosine is loose next to its zeros; those
    // entries are pinned by the exact values above.
    if (std::fabs(precise) < 1e-3L) continue;
    const double nearest = static_cast<double>(precise);
    // Long double carries 11 more bits; rounding twice can be one step off.
    EXPECT_LE(std::fabs(cosTable[k] - nearest), std::fabs(std::nextafter(nearest, 2.0) - nearest)) << k;
    EXPECT_LE(std::fabs(static_cast<long double>(cosTable[k]) - precise),
              std::fabs(static_cast<long double>(std::nextafter(cosTable[k], 2.0)) - precise) + 1e-30L)
        << k;
  }
  // The same bits everywhere: a fingerprint of the whole table.
  EXPECT_EQ(Fnv1a(cosTable, sizeof cosTable), 0x55ba11d67ae72d48ull) << std::hex << Fnv1a(cosTable, sizeof cosTable);
}

}  // namespace
