#include "render/Resample.h"

#include <cmath>
#include <vector>

namespace {

// The source pixels under each destination pixel along one axis, with the
// length of source each covers.
struct Tap {
  int first = 0;
  std::vector<double> weights;
};

std::vector<Tap> AreaTaps(int sourceLength, int destLength) {
  std::vector<Tap> taps(static_cast<size_t>(destLength));
  const double step = static_cast<double>(sourceLength) / destLength;
  for (int d = 0; d < destLength; ++d) {
    const double from = d * step;
    const double to = (d + 1) * step;
    Tap& tap = taps[static_cast<size_t>(d)];
    tap.first = static_cast<int>(std::floor(from));
    for (int s = tap.first; s < sourceLength && s < to; ++s) {
      const double covered = std::fmin(to, s + 1.0) - std::fmax(from, static_cast<double>(s));
      if (covered > 0.0) tap.weights.push_back(covered / step);
      else if (tap.weights.empty()) ++tap.first;
    }
  }
  return taps;
}

int Rounded(double v) {
  const int i = static_cast<int>(v + 0.5);
  return i < 0 ? 0 : i > 255 ? 255 : i;
}

}  // namespace

void ResampleBitmap(LICE_IBitmap* dest, int destX, int destY, int destWidth, int destHeight, LICE_IBitmap* src,
                    const SourceRect& sourceRect) {
  if (dest == nullptr || src == nullptr || dest->PixelBuffer() == nullptr || src->PixelBuffer() == nullptr) return;
  SourceRect s = sourceRect;
  if (s.left < 0) s.left = 0;
  if (s.top < 0) s.top = 0;
  if (s.right > src->PixelWidth()) s.right = src->PixelWidth();
  if (s.bottom > src->PixelHeight()) s.bottom = src->PixelHeight();
  const int sw = s.right - s.left, sh = s.bottom - s.top;
  if (sw <= 0 || sh <= 0 || destWidth <= 0 || destHeight <= 0) return;

  const std::vector<Tap> across = AreaTaps(sw, destWidth);
  const std::vector<Tap> down = AreaTaps(sh, destHeight);
  const PackedPixel* srcPixels = src->PixelBuffer();
  const size_t srcSpan = static_cast<size_t>(src->RowSpanPixels());

  // Horizontal pass over every source row: premultiplied channels as
  // doubles (alpha, red, green, blue), destWidth per row.
  std::vector<double> rows(static_cast<size_t>(sh) * static_cast<size_t>(destWidth) * 4);
  for (int y = 0; y < sh; ++y) {
    const int sy = src->IsBottomUp() ? src->PixelHeight() - 1 - (s.top + y) : s.top + y;
    const PackedPixel* line = srcPixels + static_cast<size_t>(sy) * srcSpan + static_cast<size_t>(s.left);
    double* out = &rows[static_cast<size_t>(y) * static_cast<size_t>(destWidth) * 4];
    for (int x = 0; x < destWidth; ++x) {
      const Tap& tap = across[static_cast<size_t>(x)];
      double a = 0, r = 0, g = 0, b = 0;
      for (size_t k = 0; k < tap.weights.size(); ++k) {
        const PackedPixel p = line[tap.first + static_cast<int>(k)];
        const double pa = static_cast<double>(p >> 24) * tap.weights[k];
        a += pa;
        r += pa * static_cast<double>((p >> 16) & 0xFF);
        g += pa * static_cast<double>((p >> 8) & 0xFF);
        b += pa * static_cast<double>(p & 0xFF);
      }
      out[x * 4 + 0] = a;
      out[x * 4 + 1] = r;
      out[x * 4 + 2] = g;
      out[x * 4 + 3] = b;
    }
  }

  PackedPixel* destPixels = dest->PixelBuffer();
  const size_t destSpan = static_cast<size_t>(dest->RowSpanPixels());
  for (int y = 0; y < destHeight; ++y) {
    const int dy = destY + y;
    if (dy < 0 || dy >= dest->PixelHeight()) continue;
    const int row = dest->IsBottomUp() ? dest->PixelHeight() - 1 - dy : dy;
    PackedPixel* line = destPixels + static_cast<size_t>(row) * destSpan;
    const Tap& tap = down[static_cast<size_t>(y)];
    for (int x = 0; x < destWidth; ++x) {
      const int dx = destX + x;
      if (dx < 0 || dx >= dest->PixelWidth()) continue;
      double a = 0, r = 0, g = 0, b = 0;
      for (size_t k = 0; k < tap.weights.size(); ++k) {
        const double* p = &rows[(static_cast<size_t>(tap.first) + k) * static_cast<size_t>(destWidth) * 4 +
                                static_cast<size_t>(x) * 4];
        a += p[0] * tap.weights[k];
        r += p[1] * tap.weights[k];
        g += p[2] * tap.weights[k];
        b += p[3] * tap.weights[k];
      }
      line[dx] = a > 0.0 ? PackPixel(Rounded(a), Rounded(r / a), Rounded(g / a), Rounded(b / a)) : 0;
    }
  }
}
