#include "tools/veltrane-render/FrequencyPlot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tools/veltrane-render/PixelFont.h"
#include "tools/veltrane-render/PngFile.h"

namespace render {

namespace {

constexpr uint32_t kBackground = 0x1A1A1E;
constexpr uint32_t kText = 0xD8D8D8;
constexpr uint32_t kDimText = 0x9A9AA0;
constexpr uint32_t kGrid = 0x5A5A64;
constexpr double kLowestFrequency = 20.0;

// Dark blue through purple and red to yellow and white.
uint32_t ColourOf(double t) {
  struct Stop {
    double at;
    double r, g, b;
  };
  static const Stop stops[] = {{0.0, 0, 0, 4},       {0.15, 20, 12, 70},  {0.35, 90, 20, 125},
                               {0.55, 190, 40, 85},  {0.75, 245, 120, 25}, {0.9, 252, 210, 70},
                               {1.0, 255, 255, 225}};
  t = std::clamp(t, 0.0, 1.0);
  for (size_t i = 1; i < sizeof stops / sizeof stops[0]; ++i) {
    if (t <= stops[i].at) {
      const Stop& a = stops[i - 1];
      const Stop& b = stops[i];
      const double w = (t - a.at) / (b.at - a.at);
      const int r = static_cast<int>(a.r + (b.r - a.r) * w + 0.5);
      const int g = static_cast<int>(a.g + (b.g - a.g) * w + 0.5);
      const int bl = static_cast<int>(a.b + (b.b - a.b) * w + 0.5);
      return static_cast<uint32_t>(r << 16 | g << 8 | bl);
    }
  }
  return 0xFFFFE1;
}

std::string FrequencyLabel(double f) {
  char text[32];
  if (f >= 1000.0) {
    const double k = f / 1000.0;
    std::snprintf(text, sizeof text, k == std::floor(k) ? "%.0fK" : "%.1fK", k);
  } else {
    std::snprintf(text, sizeof text, "%.0f", f);
  }
  return text;
}

std::string SecondsLabel(double t, double step) {
  char text[32];
  std::snprintf(text, sizeof text, step < 1.0 ? "%.1f" : "%.0f", t);
  return text;
}

// Which FFT bins one row of a panel shows: a range to take the maximum of,
// or (where rows are finer than bins) a fractional bin to interpolate at.
struct RowBins {
  int first;
  int last;
  double at;
};

std::vector<RowBins> MapRows(int height, int bins, double sampleRate, FrequencyAxis axis) {
  const double nyquist = sampleRate / 2.0;
  const double binWidth = nyquist / (bins - 1);
  const double low = std::min(kLowestFrequency, nyquist / 2.0);
  std::vector<RowBins> rows(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    double top, bottom, centre;
    if (axis == FrequencyAxis::kLog) {
      const double ratio = nyquist / low;
      top = low * std::pow(ratio, 1.0 - static_cast<double>(y) / height);
      bottom = low * std::pow(ratio, 1.0 - static_cast<double>(y + 1) / height);
      centre = low * std::pow(ratio, 1.0 - (y + 0.5) / height);
    } else {
      top = nyquist * (1.0 - static_cast<double>(y) / height);
      bottom = nyquist * (1.0 - static_cast<double>(y + 1) / height);
      centre = (top + bottom) / 2.0;
    }
    RowBins& r = rows[static_cast<size_t>(y)];
    r.first = static_cast<int>(std::ceil(bottom / binWidth));
    r.last = std::min(bins - 1, static_cast<int>(std::floor(top / binWidth)));
    r.at = centre / binWidth;
  }
  return rows;
}

double RowPower(const float* power, int bins, const RowBins& row) {
  if (row.last >= row.first) {
    float best = 0.0f;
    for (int b = row.first; b <= row.last; ++b) best = std::max(best, power[b]);
    return best;
  }
  const int b = std::clamp(static_cast<int>(std::floor(row.at)), 0, bins - 2);
  const double w = std::clamp(row.at - b, 0.0, 1.0);
  // Interpolating in decibels keeps a peak between bins from looking like two.
  const double a = std::log10(std::max(1e-30, static_cast<double>(power[b])));
  const double c = std::log10(std::max(1e-30, static_cast<double>(power[b + 1])));
  return std::pow(10.0, a + (c - a) * w);
}

double FrequencyToY(double f, int height, double sampleRate, FrequencyAxis axis) {
  const double nyquist = sampleRate / 2.0;
  const double low = std::min(kLowestFrequency, nyquist / 2.0);
  if (axis == FrequencyAxis::kLog) return height * (1.0 - std::log(f / low) / std::log(nyquist / low));
  return height * (1.0 - f / nyquist);
}

std::vector<double> FrequencyTicks(double sampleRate, FrequencyAxis axis) {
  const double nyquist = sampleRate / 2.0;
  std::vector<double> ticks;
  if (axis == FrequencyAxis::kLog) {
    for (double decade = 10.0; decade < nyquist; decade *= 10.0) {
      for (double m : {1.0, 2.0, 5.0}) {
        const double f = decade * m;
        if (f >= kLowestFrequency && f < nyquist * 0.98) ticks.push_back(f);
      }
    }
  } else {
    double step = 1000.0;
    for (double s : {1000.0, 2000.0, 5000.0, 10000.0, 20000.0}) {
      step = s;
      if (nyquist / s <= 12.0) break;
    }
    for (double f = step; f < nyquist * 0.98; f += step) ticks.push_back(f);
  }
  return ticks;
}

}  // namespace

int SpectrogramFftSize(double sampleRate) {
  int size = 256;
  while (size < sampleRate / 10.0 && size < 65536) size *= 2;
  return size;
}

SpectrumTrack::SpectrumTrack(int fftSize, long long totalFrames, int columns)
    : mFftSize(fftSize),
      mTotal(std::max(1LL, totalFrames)),
      mColumns(columns),
      mRing(static_cast<size_t>(fftSize), 0.0),
      mWindow(static_cast<size_t>(fftSize)),
      mFft(fftSize),
      mRe(static_cast<size_t>(fftSize)),
      mIm(static_cast<size_t>(fftSize)),
      mPower(static_cast<size_t>(columns) * (fftSize / 2 + 1), 0.0f),
      mCount(static_cast<size_t>(columns), 0) {
  // One frame per column for short signals; long ones get up to four per
  // column, spaced so that frames overlap by no more than three quarters.
  mHop = std::max(1LL, mTotal / columns);
  if (mHop > fftSize / 4) mHop = std::max(static_cast<long long>(fftSize / 4), mTotal / (4LL * columns));
  mNextDue = fftSize / 2 - 1;
  double sum = 0.0;
  for (int i = 0; i < fftSize; ++i) {
    mWindow[static_cast<size_t>(i)] = 0.5 - 0.5 * std::cos(6.283185307179586 * i / fftSize);
    sum += mWindow[static_cast<size_t>(i)];
  }
  // A sine of amplitude A gives |X| = A * sum / 2 at its bin.
  mScale = 2.0 / sum;
}

void SpectrumTrack::Push(const double* samples, long long count, int stride) {
  const long long mask = mFftSize - 1;
  for (long long i = 0; i < count; ++i) {
    mRing[static_cast<size_t>(mPosition & mask)] = samples[i * stride];
    if (mPosition == mNextDue) {
      Frame();
      ++mFrameIndex;
      mNextDue += mHop;
    }
    ++mPosition;
  }
}

void SpectrumTrack::Finish() {
  const double zero = 0.0;
  while (mFrameIndex * mHop < mTotal) Push(&zero, 1, 0);
  // A column no frame landed in (only possible for very short signals)
  // borrows its left neighbour's spectrum.
  for (int c = 1; c < mColumns; ++c) {
    if (mCount[static_cast<size_t>(c)] == 0) {
      std::copy_n(&mPower[static_cast<size_t>(c - 1) * Bins()], Bins(), &mPower[static_cast<size_t>(c) * Bins()]);
      mCount[static_cast<size_t>(c)] = 1;
    }
  }
}

void SpectrumTrack::Frame() {
  const long long mask = mFftSize - 1;
  const long long start = mPosition + 1 - mFftSize;
  for (int j = 0; j < mFftSize; ++j) {
    const long long at = start + j;
    const double x = at >= 0 && at < mTotal ? mRing[static_cast<size_t>(at & mask)] : 0.0;
    mRe[static_cast<size_t>(j)] = x * mWindow[static_cast<size_t>(j)];
    mIm[static_cast<size_t>(j)] = 0.0;
  }
  mFft.Forward(mRe.data(), mIm.data());
  const long long centre = mFrameIndex * mHop;
  const int column = static_cast<int>(std::min<long long>(mColumns - 1, centre * mColumns / mTotal));
  float* power = &mPower[static_cast<size_t>(column) * Bins()];
  int& count = mCount[static_cast<size_t>(column)];
  for (int b = 0; b < Bins(); ++b) {
    const double re = mRe[static_cast<size_t>(b)] * mScale;
    const double im = mIm[static_cast<size_t>(b)] * mScale;
    const double p = re * re + im * im;
    // Running mean of the frames in this column.
    power[b] = static_cast<float>(power[b] + (p - power[b]) / (count + 1));
  }
  ++count;
}

Spectrogram::Spectrogram(double sampleRate, long long totalFrames, bool monoInput)
    : mSampleRate(sampleRate), mTotal(totalFrames), mMonoInput(monoInput) {
  const int size = SpectrogramFftSize(sampleRate);
  for (auto& track : mTracks) track = std::make_unique<SpectrumTrack>(size, totalFrames, kPanelWidth);
}

void Spectrogram::PushInput(int channel, const double* samples, long long count, int stride) {
  if (channel >= 0 && channel < 2) mTracks[channel]->Push(samples, count, stride);
}

void Spectrogram::PushOutput(int channel, const double* samples, long long count, int stride) {
  if (channel >= 0 && channel < 2) mTracks[2 + channel]->Push(samples, count, stride);
}

bool Spectrogram::Write(const std::string& path, const SpectrogramPicture& picture, std::string& error) {
  for (auto& track : mTracks) track->Finish();

  const int left = 60, top = 30, gapX = 18, gapY = 34, bottom = 62, barGap = 22, barWidth = 14, barLabels = 66;
  const int width = left + 2 * kPanelWidth + gapX + barGap + barWidth + barLabels;
  const int height = top + 2 * kPanelHeight + gapY + bottom;
  RgbImage image(width, height);
  image.Fill(0, 0, width, height, kBackground);

  const int bins = mTracks[0]->Bins();
  const std::vector<RowBins> rows = MapRows(kPanelHeight, bins, mSampleRate, picture.axis);
  const double span = -picture.floorDb;
  const std::vector<double> ticks = FrequencyTicks(mSampleRate, picture.axis);
  const char* titles[4] = {mMonoInput ? "INPUT (MONO)" : "INPUT L", mMonoInput ? "INPUT (MONO)" : "INPUT R",
                           "OUTPUT L", "OUTPUT R"};

  for (int t = 0; t < 4; ++t) {
    const int channel = t % 2;
    const int side = t / 2;
    const int x0 = left + side * (kPanelWidth + gapX);
    const int y0 = top + channel * (kPanelHeight + gapY);
    DrawText(image, x0, y0 - 16, titles[t], kText, 1);
    const SpectrumTrack& track = *mTracks[t];
    for (int c = 0; c < kPanelWidth; ++c) {
      const float* power = track.Column(c);
      for (int y = 0; y < kPanelHeight; ++y) {
        const double p = RowPower(power, bins, rows[static_cast<size_t>(y)]);
        const double db = 10.0 * std::log10(std::max(p, 1e-30));
        image.Set(x0 + c, y0 + y, ColourOf((db - picture.floorDb) / span));
      }
    }
    // Frequency grid: short ticks at the panel's edges, labels on the left.
    for (double f : ticks) {
      const int y = y0 + static_cast<int>(FrequencyToY(f, kPanelHeight, mSampleRate, picture.axis));
      image.Fill(x0 - 4, y, 4, 1, kGrid);
      for (int x = x0; x < x0 + kPanelWidth; x += 6) image.Fill(x, y, 2, 1, kGrid);
      if (side == 0) {
        const std::string label = FrequencyLabel(f);
        DrawText(image, x0 - 7 - TextWidth(label), y - 3, label, kDimText);
      }
    }
    if (side == 0) DrawText(image, 4, y0 + kPanelHeight / 2 - 3, "HZ", kDimText);
  }

  // Time axis under the lower panels.
  const double seconds = static_cast<double>(mTotal) / mSampleRate;
  double step = 0.1;
  for (double s : {0.1, 0.2, 0.5, 1.0, 2.0, 5.0, 10.0, 20.0, 30.0, 60.0, 120.0, 300.0, 600.0, 1800.0, 3600.0}) {
    step = s;
    if (seconds / s <= 10.0) break;
  }
  const int axisY = top + 2 * kPanelHeight + gapY;
  for (int side = 0; side < 2; ++side) {
    const int x0 = left + side * (kPanelWidth + gapX);
    for (double t = 0.0; t <= seconds + 1e-9; t += step) {
      const int x = x0 + static_cast<int>(t / seconds * (kPanelWidth - 1));
      image.Fill(x, axisY, 1, 4, kGrid);
      const std::string label = SecondsLabel(t, step);
      DrawText(image, std::min(x - TextWidth(label) / 2, x0 + kPanelWidth - TextWidth(label)), axisY + 7, label,
               kDimText);
    }
    DrawText(image, x0 + kPanelWidth - TextWidth("SECONDS"), axisY + 19, "SECONDS", kDimText);
  }
  if (!picture.caption.empty()) {
    std::string caption = picture.caption;
    const size_t room = static_cast<size_t>((width - left - 8) / kGlyphAdvance);
    if (caption.size() > room) caption = caption.substr(0, room - 3) + "...";
    DrawText(image, left, axisY + 36, caption, kText);
  }

  // Colour scale.
  const int barX = left + 2 * kPanelWidth + gapX + barGap;
  const int barTop = top, barHeight = 2 * kPanelHeight + gapY;
  for (int y = 0; y < barHeight; ++y) image.Fill(barX, barTop + y, barWidth, 1, ColourOf(1.0 - static_cast<double>(y) / (barHeight - 1)));
  for (double db = 0.0; db >= picture.floorDb - 1e-9; db -= 20.0) {
    const int y = barTop + static_cast<int>((-db / span) * (barHeight - 1));
    image.Fill(barX + barWidth, y, 3, 1, kDimText);
    char label[16];
    std::snprintf(label, sizeof label, "%.0f", db);
    DrawText(image, barX + barWidth + 6, y - 3, label, kDimText);
  }
  DrawText(image, barX - 4, barTop - 16, "DBFS", kText);

  return WritePng(path, width, height, image.pixels.data(), error);
}

}  // namespace render
