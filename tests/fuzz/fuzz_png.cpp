// libFuzzer target: DecodePngMemory on arbitrary bytes. Any answer is fine;
// crashes, leaks, out-of-bounds access and oversized allocations are not.
#include <cstddef>
#include <cstdint>

#include "render/PngImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  LICE_MemBitmap* bitmap = DecodePngMemory(data, size);
  if (bitmap) {
    // Read every row the decoder wrote, so the sanitizer checks them.
    uint32_t sum = 0;
    const PackedPixel* pixels = bitmap->PixelBuffer();
    for (int y = 0; y < bitmap->PixelHeight(); ++y)
      for (int x = 0; x < bitmap->PixelWidth(); ++x) sum += pixels[y * bitmap->RowSpanPixels() + x];
    volatile uint32_t sink = sum;
    (void)sink;
    delete bitmap;
  }
  return 0;
}
