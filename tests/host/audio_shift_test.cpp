// What a listener hears: the shift in hertz, the rejected image, the dry
// signal and the gain.
#include <cmath>
#include <complex>

#include "tests/host/AudioSupport.h"

namespace testhost {
namespace {

using Shift = HostTest;

const double kRate = 44100.0;
const size_t kSettle = 8192;     // filter transients
const size_t kFftSize = 1 << 16;  // 0.67 Hz per bin

DoubleBuffers SineBoth(size_t frames, double hz) {
  const double pi = 3.14159265358979323846;
  DoubleBuffers in(2, std::vector<double>(frames));
  for (size_t i = 0; i < frames; ++i) in[0][i] = in[1][i] = 0.5 * std::sin(2.0 * pi * hz * i / kRate);
  return in;
}

// Mix 1, mode "Input", link off, LFO off, both channels shifted by f at
// "Freq Range" 500.
ref::Settings Shifted(double f) {
  ref::Settings s;
  s.rangeIndex = 2;
  s.freqMax[0] = s.freqMax[1] = f;
  return s;
}

DoubleBuffers ShiftSine(double f, double hz) {
  auto plugin = PluginInstance::Create(SharedModule());
  if (!plugin) {
    ADD_FAILURE() << "no instance";
    return Dc(kSettle + kFftSize, 0.0);
  }
  plugin->Open();
  plugin->Start(static_cast<float>(kRate), 4096);
  Configure(*plugin, Shifted(f));
  return RenderDouble(*plugin, SineBoth(kSettle + kFftSize, hz), {4096});
}

// The shift the 28-bit oscillator really makes for control value f at 500 Hz.
double ExactShift(double f) {
  const double g = f * f * (500.0 * 268435456.0 / kRate);
  const double inc = std::trunc(f < 0 ? -g : g);
  return inc * kRate / 268435456.0;
}

// The image the allpass chains leave, as an amplitude ratio to the wanted
// component, from their transfer functions at hz.
double ImageRatio(double hz) {
  const double w = 2.0 * 3.14159265358979323846 * hz / kRate;
  const std::complex<double> z = std::polar(1.0, -w);
  auto section = [&](double c1, double c2) { return (c2 - c1 * z + z * z) / (1.0 - c1 * z + c2 * z * z); };
  const std::complex<double> real = section(1.94632, 0.94657) * section(0.83774, 0.06338);
  const std::complex<double> imag = section(-0.02569, -0.260502) * section(1.8685, 0.870686);
  const double delta = std::arg(imag / real) - 3.14159265358979323846 / 2.0;
  const std::complex<double> e = std::polar(1.0, delta);
  return std::abs(1.0 - e) / std::abs(1.0 + e);
}

double Db(double ratio) { return 20.0 * std::log10(ratio); }

TEST_F(Shift, SineMovesUpAndDownByTheSetShift) {
  const double binWidth = kRate / kFftSize;
  for (double f : {0.707102, -0.707102}) {
    const double expected = f > 0 ? 1250.0 : 750.0;
    const DoubleBuffers out = ShiftSine(f, 1000.0);
    for (int ch = 0; ch < 2; ++ch) {
      const double peak = ref::StrongestFrequency(out[ch].data() + kSettle, kFftSize, kRate);
      EXPECT_LE(std::fabs(peak - expected), binWidth) << "f " << f << " channel " << ch << " peak " << peak;
      // Unit gain of the allpass chains: the tone keeps its amplitude.
      EXPECT_NEAR(ref::Amplitude(out[ch].data() + kSettle, kFftSize, 1000.0 + ExactShift(f), kRate), 0.5, 0.005);
    }
  }
}

TEST_F(Shift, ImageIsRejectedAsFarAsTheAllpassChainsAllow) {
  // Independent figure: about -48 dB at 1 kHz. The phase difference itself
  // must be close to the quarter turn the chains are designed for.
  const double allowedDb = Db(ImageRatio(1000.0));
  EXPECT_LT(allowedDb, -40.0);
  EXPECT_GT(allowedDb, -60.0);

  const double shift = ExactShift(0.707102);
  const DoubleBuffers out = ShiftSine(0.707102, 1000.0);
  for (int ch = 0; ch < 2; ++ch) {
    const double* x = out[ch].data() + kSettle;
    const double wanted = ref::Amplitude(x, kFftSize, 1000.0 + shift, kRate);
    const double image = ref::Amplitude(x, kFftSize, 1000.0 - shift, kRate);
    const double measuredDb = Db(image / wanted);
    RecordProperty(ch == 0 ? "image_db_left" : "image_db_right", std::to_string(measuredDb));
    EXPECT_LE(measuredDb, allowedDb + 1.0) << "channel " << ch << ": image " << measuredDb << " dB, the chains give "
                                           << allowedDb << " dB";
    // And the image is there at all: the test measures what it claims.
    EXPECT_GE(measuredDb, allowedDb - 6.0) << "channel " << ch;
  }
}

TEST_F(Shift, NoShiftWithTheFrequenciesAtZero) {
  const DoubleBuffers out = ShiftSine(0.0, 1000.0);
  for (int ch = 0; ch < 2; ++ch) {
    const double peak = ref::StrongestFrequency(out[ch].data() + kSettle, kFftSize, kRate);
    EXPECT_LE(std::fabs(peak - 1000.0), kRate / kFftSize) << "channel " << ch;
  }
}

// With mix 0 and mode "Input" the shifter may do anything: the host gets
// its own samples back, bit for bit, at unit volume.
TEST_F(Shift, DryInputPassesExactlyWhateverTheShifterDoes) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  ref::Settings s;
  s.mix[0] = s.mix[1] = 0.0;
  s.rangeIndex = 3;
  s.freqMin[0] = -0.8;
  s.freqMax[0] = 0.9;
  s.freqMin[1] = 0.3;
  s.freqMax[1] = -0.6;
  s.waveform = 1;
  s.lfoRate = 0.7;
  Configure(*plugin, s);
  const DoubleBuffers in = {ref::Noise(20000, 11, 0.5), ref::Noise(20000, 12, 0.5)};
  const DoubleBuffers out = RenderDouble(*plugin, in, {512, 33, 1000});
  EXPECT_EQ(FirstDifference(out[0], in[0]), -1);
  EXPECT_EQ(FirstDifference(out[1], in[1]), -1);
}

// output = (...) * volume: against the same render at volume 1, each sample
// is that sample times the volume, rounded once.
TEST_F(Shift, VolumeScalesEverySampleExactly) {
  ref::Settings s = Shifted(0.707102);
  s.mix[0] = 0.75;
  s.mode[1] = 0;
  s.waveform = 3;
  s.freqMin[0] = -0.3;
  s.lfoRate = 0.2;
  const DoubleBuffers in = {ref::Noise(12000, 21, 0.5), ref::Noise(12000, 22, 0.5)};

  auto unit = Running();
  ASSERT_TRUE(unit);
  Configure(*unit, s);
  const DoubleBuffers base = RenderDouble(*unit, in, {512});

  for (double volume : {4.0, 2.0, 0.5, 0.25, 3.0, 0.1, 0.0}) {
    auto scaled = Running();
    ASSERT_TRUE(scaled);
    ref::Settings v = s;
    v.volume[0] = volume;
    v.volume[1] = volume * 0.5;
    Configure(*scaled, v);
    const DoubleBuffers out = RenderDouble(*scaled, in, {512});
    for (int ch = 0; ch < 2; ++ch) {
      const double gain = v.volume[ch];
      for (size_t i = 0; i < out[ch].size(); ++i) {
        ASSERT_EQ(out[ch][i], base[ch][i] * gain) << "volume " << gain << " channel " << ch << " frame " << i;
      }
    }
    // Volume 4 is +12 dB: a doubling of a doubling, exact.
    if (volume == 4.0) {
      EXPECT_EQ(out[0][100], 2.0 * (2.0 * base[0][100]));
    }
  }
}

}  // namespace
}  // namespace testhost
