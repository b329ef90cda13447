// A radix-2 complex FFT for the spectrogram: accuracy and speed enough for
// pictures, nothing more.
#pragma once

#include <vector>

namespace render {

class Fft {
 public:
  // size must be a power of two, at least 2.
  explicit Fft(int size);
  int Size() const { return mSize; }
  // In place, forward (e^-i), unscaled; real and imaginary parts in
  // separate arrays of Size() values (the compiler keeps those in vector
  // registers, std::complex it does not).
  void Forward(double* re, double* im) const;

 private:
  int mSize;
  std::vector<double> mCos;
  std::vector<double> mSin;
  std::vector<int> mReversed;
};

}  // namespace render
