#include "tools/veltrane-render/Fft.h"

#include <cmath>
#include <utility>

namespace render {

Fft::Fft(int size)
    : mSize(size),
      mCos(static_cast<size_t>(size / 2)),
      mSin(static_cast<size_t>(size / 2)),
      mReversed(static_cast<size_t>(size)) {
  const double step = -6.283185307179586 / size;
  for (int k = 0; k < size / 2; ++k) {
    mCos[static_cast<size_t>(k)] = std::cos(step * k);
    mSin[static_cast<size_t>(k)] = std::sin(step * k);
  }
  int bits = 0;
  while ((1 << bits) < size) ++bits;
  for (int i = 0; i < size; ++i) {
    int r = 0;
    for (int b = 0; b < bits; ++b) r |= ((i >> b) & 1) << (bits - 1 - b);
    mReversed[static_cast<size_t>(i)] = r;
  }
}

void Fft::Forward(double* re, double* im) const {
  const int n = mSize;
  for (int i = 0; i < n; ++i) {
    const int r = mReversed[static_cast<size_t>(i)];
    if (r > i) {
      std::swap(re[i], re[r]);
      std::swap(im[i], im[r]);
    }
  }
  const double* wr = mCos.data();
  const double* wi = mSin.data();
  for (int length = 2; length <= n; length <<= 1) {
    const int half = length / 2;
    const int stride = n / length;
    for (int start = 0; start < n; start += length) {
      double* ar = re + start;
      double* ai = im + start;
      double* br = ar + half;
      double* bi = ai + half;
      for (int j = 0; j < half; ++j) {
        const double cr = wr[j * stride], ci = wi[j * stride];
        const double tr = br[j] * cr - bi[j] * ci;
        const double ti = br[j] * ci + bi[j] * cr;
        br[j] = ar[j] - tr;
        bi[j] = ai[j] - ti;
        ar[j] += tr;
        ai[j] += ti;
      }
    }
  }
}

}  // namespace render
