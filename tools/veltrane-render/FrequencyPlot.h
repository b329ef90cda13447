// Spectrograms of the input and the output, built while the audio streams
// through and written side by side as one PNG picture.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/veltrane-render/Fft.h"

namespace render {

// The power spectrum over time of one signal, reduced to a fixed number of
// columns: each column averages the Hann-windowed FFT frames centred in it.
class SpectrumTrack {
 public:
  SpectrumTrack(int fftSize, long long totalFrames, int columns);
  SpectrumTrack(const SpectrumTrack&) = delete;
  SpectrumTrack& operator=(const SpectrumTrack&) = delete;

  // Appends count samples taken every stride values from samples.
  void Push(const double* samples, long long count, int stride);
  // Pads the end with silence so that every column gets its frames.
  void Finish();

  int Columns() const { return mColumns; }
  int Bins() const { return mFftSize / 2 + 1; }
  // Power of each bin, 1.0 for a full-scale sine.
  const float* Column(int column) const { return &mPower[static_cast<size_t>(column) * Bins()]; }

 private:
  void Frame();

  int mFftSize;
  long long mTotal;
  int mColumns;
  long long mHop;
  std::vector<double> mRing;
  long long mPosition = 0;
  long long mFrameIndex = 0;
  long long mNextDue;
  std::vector<double> mWindow;
  double mScale;
  Fft mFft;
  std::vector<double> mRe;
  std::vector<double> mIm;
  std::vector<float> mPower;
  std::vector<int> mCount;
};

enum class FrequencyAxis { kLog, kLinear };

struct SpectrogramPicture {
  FrequencyAxis axis = FrequencyAxis::kLog;
  double floorDb = -100.0;  // the colour scale runs from here to 0 dBFS
  std::string caption;      // one line under the panels
};

// Two rows (left, right channel) of two panels (input, output).
class Spectrogram {
 public:
  static constexpr int kPanelWidth = 600;
  static constexpr int kPanelHeight = 260;

  // totalFrames must be known in advance.
  Spectrogram(double sampleRate, long long totalFrames, bool monoInput);

  void PushInput(int channel, const double* samples, long long count, int stride);
  void PushOutput(int channel, const double* samples, long long count, int stride);
  bool Write(const std::string& path, const SpectrogramPicture& picture, std::string& error);

 private:
  double mSampleRate;
  long long mTotal;
  bool mMonoInput;
  std::unique_ptr<SpectrumTrack> mTracks[4];  // input L, input R, output L, output R
};

// The FFT length used at a sample rate: about a tenth of a second.
int SpectrogramFftSize(double sampleRate);

}  // namespace render
