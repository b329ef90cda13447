// The plain reference of the host tests (tests/host/AudioReference.h)
// checked against the plug-in's own cosine table, and every vector width of
// the signal path checked against the reference, sample for sample.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "effect/Veltrane.h"
#include "tests/host/AudioReference.h"

namespace {

using testhost::ref::Settings;
using testhost::ref::Shifter;

TEST(ReferenceCosine, MatchesThePluginsTableBitForBit) {
  const auto& table = testhost::ref::CosTable();
  int differing = 0;
  for (int k = 0; k < 4096; ++k) {
    if (std::memcmp(&table[k], &cosTable[k], sizeof(double)) != 0) {
      ++differing;
      ADD_FAILURE() << "entry " << k << ": reference " << table[k] << ", plug-in " << cosTable[k];
    }
  }
  EXPECT_EQ(differing, 0);
  // The well-known values near the zeros of the cosine.
  EXPECT_EQ(table[1024], 6.123233995736766e-17);
  EXPECT_EQ(table[3072], -1.8369701987210297e-16);
  EXPECT_EQ(table[2048], -1.0);
}

// The double-double cosine against the C library away from the table's
// angles: within one step of the last bit everywhere.
TEST(ReferenceCosine, AgreesWithTheLibraryWithinOneUlp) {
  uint32_t state = 99;
  for (int i = 0; i < 20000; ++i) {
    state = state * 1664525u + 1013904223u;
    const double x = (state >> 8) / 16777216.0 * 7.9;
    const double mine = testhost::ref::CorrectlyRoundedCos(x);
    const long double precise = std::cos(static_cast<long double>(x));
    if (std::fabs(precise) < 1e-3L) continue;  // where long double itself is too coarse
    const double ulp = std::fabs(std::nextafter(mine, 2.0) - mine);
    ASSERT_LE(std::fabs(static_cast<long double>(mine) - precise), static_cast<long double>(ulp)) << "x = " << x;
  }
}

std::unique_ptr<Veltrane> Started(ShiftKernel kernel, double rate, const Settings& s) {
  auto plug = std::make_unique<Veltrane>(nullptr);
  plug->Shifter().SetShiftKernel(kernel);
  AEffect* e = plug->EffectRecord();
  e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
  e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
  e->dispatcher(e, effSetBlockSize, 0, 512, nullptr, 0.0f);
  e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
  // As a host's text entry stores values: clamped, then announced.
  auto set = [&](int index, double v) {
    plug->ParamAt(index)->SetClamped(v);
    plug->ParameterChanged(index);
  };
  set(kLink, 0);
  for (int ch = 0; ch < 2; ++ch) {
    set(kVolumeL + ch, s.volume[ch]);
    set(kMixL + ch, s.mix[ch]);
    set(kModeL + ch, s.mode[ch]);
    set(kFreqMinL + ch, s.freqMin[ch]);
    set(kFreqMaxL + ch, s.freqMax[ch]);
  }
  set(kFreqRange, s.rangeIndex);
  set(kLfoWaveform, s.waveform);
  set(kLfoRate, s.lfoRate);
  set(kSyncToHost, 0);
  if (s.linked) set(kLink, 1);
  return plug;
}

std::vector<double> Noise(size_t n, uint32_t seed) {
  std::vector<double> x(n);
  for (double& v : x) {
    seed = seed * 1664525u + 1013904223u;
    v = 0.5 * ((seed >> 8) / 8388608.0 - 1.0);
  }
  return x;
}

const char* KernelName(ShiftKernel k) {
  return k == ShiftKernel::kScalar ? "scalar" : k == ShiftKernel::kSse2 ? "sse2" : "avx";
}

TEST(SignalPathsAgainstReference, EveryKernelComputesThePlainFormulas) {
  Settings a;
  a.volume[0] = 1.3;
  a.volume[1] = 0.6;
  a.mix[0] = 0.7;
  a.mix[1] = 0.35;
  a.mode[0] = 0;
  a.mode[1] = 1;
  a.rangeIndex = 3;
  a.freqMin[0] = -0.5;
  a.freqMax[0] = 0.8;
  a.freqMin[1] = 0.25;
  a.freqMax[1] = -0.95;
  a.waveform = 1;
  a.lfoRate = 0.9;
  Settings b = a;
  b.linked = true;
  b.volume[0] = 2.25;
  b.mix[0] = 0.625;
  b.freqMin[0] = -0.25;
  b.freqMax[0] = 0.875;
  b.waveform = 3;
  Settings c = a;
  c.waveform = 0;
  c.mode[0] = 2;
  const size_t frames = 12000;
  const std::vector<double> left = Noise(frames, 3), right = Noise(frames, 4);
  const int blocks[] = {512, 7, 44, 1, 300};
  for (const Settings* s : {&a, &b, &c}) {
    for (double rate : {44100.0, 48000.0}) {
      Shifter shifter(rate);
      Settings applied = *s;
      if (applied.linked) {
        applied.volume[1] = applied.volume[0];
        applied.mix[1] = applied.mix[0];
        applied.mode[1] = applied.mode[0];
        applied.freqMin[1] = applied.freqMin[0];
        applied.freqMax[1] = applied.freqMax[0];
      }
      shifter.Apply(applied);
      std::vector<double> wantL(frames), wantR(frames);
      for (size_t at = 0, b = 0; at < frames; ++b) {
        const size_t n = std::min(frames - at, static_cast<size_t>(blocks[b % 5]));
        shifter.Process(&left[at], &right[at], &wantL[at], &wantR[at], static_cast<int>(n));
        at += n;
      }
      for (ShiftKernel kernel : {ShiftKernel::kScalar, ShiftKernel::kSse2, ShiftKernel::kAvx}) {
        if (!ShiftKernelSupported(kernel)) continue;
        auto plug = Started(kernel, rate, *s);
        AEffect* e = plug->EffectRecord();
        std::vector<double> gotL(frames), gotR(frames);
        for (size_t at = 0, b = 0; at < frames; ++b) {
          const size_t n = std::min(frames - at, static_cast<size_t>(blocks[b % 5]));
          double* in[2] = {const_cast<double*>(&left[at]), const_cast<double*>(&right[at])};
          double* out[2] = {&gotL[at], &gotR[at]};
          e->processDoubleReplacing(e, in, out, static_cast<VstInt32>(n));
          at += n;
        }
        ASSERT_EQ(std::memcmp(gotL.data(), wantL.data(), frames * sizeof(double)), 0)
            << KernelName(kernel) << " left, rate " << rate << ", linked " << s->linked;
        ASSERT_EQ(std::memcmp(gotR.data(), wantR.data(), frames * sizeof(double)), 0)
            << KernelName(kernel) << " right, rate " << rate << ", linked " << s->linked;
      }
    }
  }
}

}  // namespace
