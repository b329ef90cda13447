// Silence after loud noise: the allpass chains' tails decay through the
// subnormal range, where arithmetic is slow on many processors and where a
// build that flushes differs from one that does not. The plug-in flushes
// them itself, so the three builds give the same bits through such a tail
// whatever float environment the host's audio thread has.
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "tests/torture/TortureSupport.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace torture {
namespace {

using testhost::HostTest;
using SilenceTail = HostTest;

// FNV-1a over the interleaved output, computed natively and confirmed on
// both Windows builds under Wine and on 64-bit ARM under qemu-user.
const uint64_t kDoubleTailHash = 0x1e935ff8a5a1108eull;
const uint64_t kFloatTailHash = 0x3fa66111642b9549ull;

const double kRate = 44100.0;
const size_t kNoise = 44100;       // 1 s of noise at full scale
// The slowest pole (0.995) needs about 3.5 s from full scale down to the
// smallest normal double; 5 s of silence go past it.
const size_t kSilence = 5 * 44100;
const std::vector<int> kBlocks = {512, 100, 4096, 7};

// The float environment's mode register (x86 MXCSR, 64-bit ARM FPCR), and
// values a host's audio thread may run with.
#if defined(__x86_64__) || defined(__i386__)
#define TORTURE_FLOAT_MODE 1
using FloatMode = uint64_t;
FloatMode ReadMode() { return _mm_getcsr(); }
void WriteMode(FloatMode mode) { _mm_setcsr(static_cast<unsigned>(mode)); }
// Only the mode and mask bits: the status flags are the host's to keep.
const FloatMode kModeBits = ~FloatMode{0x3F};
const FloatMode kHostDefault = 0x1F80;
const FloatMode kHostFlushing = 0x1F80 | 0x8040;  // FTZ and DAZ, as many hosts set
#elif defined(__aarch64__)
#define TORTURE_FLOAT_MODE 1
using FloatMode = uint64_t;
FloatMode ReadMode() {
  FloatMode mode;
  asm volatile("mrs %0, fpcr" : "=r"(mode));
  return mode;
}
void WriteMode(FloatMode mode) { asm volatile("msr fpcr, %0" : : "r"(mode) : "memory"); }
// FPCR holds modes only (the status flags are in FPSR).
const FloatMode kModeBits = ~FloatMode{0};
const FloatMode kHostDefault = 0;                     // Linux's default
const FloatMode kHostFlushing = FloatMode{1} << 24;  // FZ, as many hosts set
#else
using FloatMode = uint64_t;
const FloatMode kHostDefault = 0;
const FloatMode kHostFlushing = 0;
#endif

testhost::ref::Settings TailSettings() {
  testhost::ref::Settings s = BusySettings();
  s.mix[1] = 0.6;
  s.mode[1] = 1;  // "Real"
  return s;
}

DoubleBuffers TailInput() {
  DoubleBuffers in = {testhost::ref::Noise(kNoise + kSilence, 1234, 1.0),
                      testhost::ref::Noise(kNoise + kSilence, 4321, 1.0)};
  for (auto& channel : in)
    for (size_t i = kNoise; i < channel.size(); ++i) channel[i] = 0.0;
  return in;
}

struct Render {
  DoubleBuffers doubles;
  FloatBuffers floats;
  bool environmentKept = true;  // the host's MXCSR came back unchanged
};

// Renders the tail through both precisions (two instances), every block
// called with the host's float mode set to `hostMode`.
Render RenderTail(FloatMode hostMode) {
  Render r;
  const DoubleBuffers in = TailInput();
  const FloatBuffers fin = ToFloat(in);
  const size_t frames = in[0].size();
  r.doubles.assign(2, std::vector<double>(frames));
  r.floats.assign(2, std::vector<float>(frames));
  auto dp = PluginInstance::Create(testhost::SharedModule());
  auto fp = PluginInstance::Create(testhost::SharedModule());
  if (!dp || !fp) return r;
  for (PluginInstance* p : {dp.get(), fp.get()}) {
    p->Open();
    p->Start(static_cast<float>(kRate), 1024);
    testhost::Configure(*p, TailSettings());
  }
  size_t at = 0;
  for (size_t b = 0; at < frames; ++b) {
    const size_t n = std::min(frames - at, static_cast<size_t>(kBlocks[b % kBlocks.size()]));
    double* din[2] = {const_cast<double*>(in[0].data() + at), const_cast<double*>(in[1].data() + at)};
    double* dout[2] = {r.doubles[0].data() + at, r.doubles[1].data() + at};
    float* fi[2] = {const_cast<float*>(fin[0].data() + at), const_cast<float*>(fin[1].data() + at)};
    float* fo[2] = {r.floats[0].data() + at, r.floats[1].data() + at};
#if defined(TORTURE_FLOAT_MODE)
    const FloatMode saved = ReadMode();
    WriteMode(hostMode);
#endif
    dp->effect()->processDoubleReplacing(dp->effect(), din, dout, static_cast<VstInt32>(n));
#if defined(TORTURE_FLOAT_MODE)
    if ((ReadMode() & kModeBits) != (hostMode & kModeBits)) r.environmentKept = false;
#endif
    fp->effect()->processReplacing(fp->effect(), fi, fo, static_cast<VstInt32>(n));
#if defined(TORTURE_FLOAT_MODE)
    if ((ReadMode() & kModeBits) != (hostMode & kModeBits)) r.environmentKept = false;
    WriteMode(saved);
#endif
    at += n;
  }
  return r;
}

template <typename Sample>
uint64_t Hash(const std::vector<std::vector<Sample>>& out) {
  uint64_t hash = testhost::ref::Fnv1a(nullptr, 0);
  for (size_t i = 0; i < out[0].size(); ++i) {
    hash = testhost::ref::Fnv1a(&out[0][i], sizeof(Sample), hash);
    hash = testhost::ref::Fnv1a(&out[1][i], sizeof(Sample), hash);
  }
  return hash;
}

template <typename Sample>
size_t CountSubnormals(const std::vector<std::vector<Sample>>& out) {
  size_t count = 0;
  for (const auto& channel : out)
    for (Sample v : channel)
      if (std::fpclassify(v) == FP_SUBNORMAL) ++count;
  return count;
}

TEST_F(SilenceTail, EveryBuildGivesTheCommittedBits) {
  const Render r = RenderTail(kHostDefault);
  const uint64_t doubleHash = Hash(r.doubles), floatHash = Hash(r.floats);
  EXPECT_EQ(doubleHash, kDoubleTailHash) << "double precision: got 0x" << std::hex << doubleHash;
  EXPECT_EQ(floatHash, kFloatTailHash) << "single precision: got 0x" << std::hex << floatHash;
}

TEST_F(SilenceTail, TheTailIsFlushedNotLeftSubnormal) {
  const Render r = RenderTail(kHostDefault);
  EXPECT_GT(PeakOf(r.doubles, kNoise), 0.5) << "the noise itself must get through";
  EXPECT_EQ(CountSubnormals(r.doubles), 0u) << "double-precision output";
  EXPECT_EQ(CountSubnormals(r.floats), 0u) << "single-precision output";
  // With subnormals flushed the chains end circling just above the smallest
  // normal double (about 1e-307, never slow); single precision is silent.
  const size_t frames = r.doubles[0].size();
  for (int c = 0; c < 2; ++c) {
    for (size_t i = frames - 44100; i < frames; ++i) {
      ASSERT_LT(std::fabs(r.doubles[c][i]), 1e-300) << "channel " << c << " frame " << i;
      ASSERT_EQ(r.floats[c][i], 0.0f) << "channel " << c << " frame " << i;
    }
  }
}

TEST_F(SilenceTail, TheHostsFloatEnvironmentChangesNothing) {
#if !defined(TORTURE_FLOAT_MODE)
  GTEST_SKIP() << "the float environment checked here is x86's MXCSR or 64-bit ARM's FPCR";
#else
  const Render plain = RenderTail(kHostDefault);
  const Render flushing = RenderTail(kHostFlushing);
  EXPECT_TRUE(plain.environmentKept) << "a processing call left the host's float mode changed";
  EXPECT_TRUE(flushing.environmentKept) << "a processing call left the host's float mode changed";
  for (int c = 0; c < 2; ++c) {
    EXPECT_EQ(testhost::FirstDifference(plain.doubles[c], flushing.doubles[c]), -1) << "double, channel " << c;
    EXPECT_EQ(std::memcmp(plain.floats[c].data(), flushing.floats[c].data(), plain.floats[c].size() * sizeof(float)),
              0)
        << "single, channel " << c;
  }
#endif
}

}  // namespace
}  // namespace torture
