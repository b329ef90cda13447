// Helpers shared by the render sources; not part of the library's interface.
#pragma once

#include <cstdint>

namespace lice_detail {

// Largest pixel block a bitmap describes: its byte count and the alignment
// slack must fit the 32-bit sizes the bitmaps keep.
inline constexpr int64_t kMaxPixelBlockBytes = INT32_MAX - 64;

// Weight 1.0 is 256. Held within +-64.0 so that no 32-bit product of the
// combining rules can overflow.
inline constexpr int kMaxIntegerWeight = 64 * 256;

// Bytes of a width x height block of 32-bit pixels, or -1 when it exceeds
// kMaxPixelBlockBytes (or either side is not positive).
inline int64_t PixelBlockBytes(int64_t width, int64_t height) {
  if (width <= 0 || height <= 0) return -1;
  if (width > kMaxPixelBlockBytes / 4 / height) return -1;
  return width * height * 4;
}

// weight x 256 in double precision, truncated toward zero; NaN gives 0.
int IntegerWeight(float weight);

}  // namespace lice_detail
