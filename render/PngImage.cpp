#include "render/PngImage.h"

#include <png.h>

#include <cstdint>
#include <cstring>
#include <new>

static_assert(PNG_LIBPNG_VER_MAJOR == 1 && PNG_LIBPNG_VER_MINOR == 6,
              "the decoder is written for libpng 1.6");

namespace {

constexpr uint64_t kDeflateMaxRatio = 1032;

// Where the memory reader stands: next unread byte and how many are left,
// and how many zero bytes it has handed out past the end.
struct PngMemoryCursor {
  const unsigned char* next;
  int32_t left;
  uint32_t zerosPastEnd;
};

// Zeros past the end are enough for libpng to fail on truncated data (a zero
// chunk type or a bad checksum). A chunk length that points far beyond the
// end would have libpng read through gigabytes of them while skipping it, so
// the reader gives up itself beyond this.
constexpr uint32_t kMaxZerosPastEnd = 64 * 1024;

void ReadFromMemory(png_structp png, png_bytep out, size_t count) {
  auto* cursor = static_cast<PngMemoryCursor*>(png_get_io_ptr(png));
  std::memset(out, 0, count);
  const size_t available = cursor->left > 0 ? size_t(cursor->left) : 0;
  const size_t n = count < available ? count : available;
  if (n > 0) std::memcpy(out, cursor->next, n);
  cursor->next += n;
  cursor->left -= int32_t(n);
  if (count - n > kMaxZerosPastEnd - cursor->zerosPastEnd) png_error(png, "read far past the end");
  cursor->zerosPastEnd += uint32_t(count - n);
}

// Nothing of libpng's messages is ever shown, so keep stderr quiet.
void SilentError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void SilentWarning(png_structp, png_const_charp) {}

// Everything the error return must release lives outside the frame that
// calls setjmp, so none of it is lost to the jump.
struct DecodeState {
  size_t length = 0;
  png_structp png = nullptr;
  png_infop info = nullptr;
  PngMemoryCursor cursor{};
  LICE_MemBitmap* bitmap = nullptr;
  png_bytep* rows = nullptr;
};

bool RunDecode(DecodeState& st) {
  if (setjmp(png_jmpbuf(st.png))) return false;

  png_set_read_fn(st.png, &st.cursor, ReadFromMemory);
  // Only the header, palette, transparency and image data matter here.
  // Every other chunk is skipped unread, so none of them can make libpng
  // allocate (an eXIf chunk claiming gigabytes would be allocated whole).
  static const png_byte kSkipped[] =
      "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0sBIT\0sCAL\0sPLT\0sRGB\0"
      "sTER\0tEXt\0tIME\0zTXt";
  png_set_keep_unknown_chunks(st.png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
  png_set_keep_unknown_chunks(st.png, PNG_HANDLE_CHUNK_NEVER, kSkipped, int(sizeof(kSkipped) / 5));
  png_read_info(st.png, st.info);

  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colorType = 0, interlace = 0, compression = 0, filter = 0;
  png_get_IHDR(st.png, st.info, &width, &height, &bitDepth, &colorType, &interlace, &compression,
               &filter);
  if (width == 0 || height == 0 || uint64_t(width) * height * 4 > kMaxPngPixelBytes) return false;
  // Deflate packs at most 1032 bytes into one: a file too short to hold the
  // image's pixel data cannot decode, so nothing is allocated for it.
  const uint64_t pixelDataBytes =
      uint64_t(width) * height * png_get_channels(st.png, st.info) * unsigned(bitDepth) / 8;
  if (uint64_t(st.length) * kDeflateMaxRatio < pixelDataBytes) return false;

  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(st.png);
  if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(st.png);
  if (png_get_valid(st.png, st.info, PNG_INFO_tRNS)) {
    png_set_tRNS_to_alpha(st.png);
    colorType |= PNG_COLOR_MASK_ALPHA;
  }
  if (bitDepth == 16) png_set_strip_16(st.png);
  if (bitDepth < 8) png_set_packing(st.png);
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
    png_set_gray_to_rgb(st.png);
  if (colorType & PNG_COLOR_MASK_ALPHA)
    png_set_swap_alpha(st.png);
  else
    png_set_filler(st.png, 0xFF, PNG_FILLER_BEFORE);
  png_set_interlace_handling(st.png);
  png_read_update_info(st.png, st.info);

  // libpng writes whole rows straight into the bitmap: make sure a row is
  // exactly what the bitmap holds.
  if (png_get_rowbytes(st.png, st.info) != size_t(width) * 4 || png_get_channels(st.png, st.info) != 4 ||
      png_get_bit_depth(st.png, st.info) != 8)
    return false;

  st.bitmap = new (std::nothrow) LICE_MemBitmap(int(width), int(height));
  if (!st.bitmap || st.bitmap->PixelWidth() != int(width) || st.bitmap->PixelHeight() != int(height))
    return false;
  st.rows = new (std::nothrow) png_bytep[height];
  if (!st.rows) return false;
  auto* base = reinterpret_cast<unsigned char*>(st.bitmap->PixelBuffer());
  const size_t rowBytes = size_t(st.bitmap->RowSpanPixels()) * 4;
  const bool bottomUp = st.bitmap->IsBottomUp();
  for (png_uint_32 r = 0; r < height; ++r)
    st.rows[r] = base + size_t(bottomUp ? height - 1 - r : r) * rowBytes;
  png_read_image(st.png, st.rows);
  return true;
}

}  // namespace

LICE_MemBitmap* DecodePngMemory(const void* data, size_t length) {
  static const unsigned char kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
  if (!data || length < 8 || length > size_t(INT32_MAX)) return nullptr;
  if (std::memcmp(data, kSignature, 8) != 0) return nullptr;

  DecodeState st;
  st.length = length;
  st.cursor.next = static_cast<const unsigned char*>(data);
  st.cursor.left = int32_t(length);
  st.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, SilentError, SilentWarning);
  if (!st.png) return nullptr;
  st.info = png_create_info_struct(st.png);
  if (!st.info) {
    png_destroy_read_struct(&st.png, nullptr, nullptr);
    return nullptr;
  }

  const bool ok = RunDecode(st);
  png_destroy_read_struct(&st.png, &st.info, nullptr);
  delete[] st.rows;
  if (!ok) {
    delete st.bitmap;
    return nullptr;
  }

  // libpng delivered alpha, red, green, blue; the bitmap keeps blue, green,
  // red, alpha: reverse each pixel's bytes.
  LICE_MemBitmap* bitmap = st.bitmap;
  auto* base = reinterpret_cast<unsigned char*>(bitmap->PixelBuffer());
  const size_t rowBytes = size_t(bitmap->RowSpanPixels()) * 4;
  for (int r = 0; r < bitmap->PixelHeight(); ++r) {
    unsigned char* p = base + size_t(r) * rowBytes;
    for (int c = 0; c < bitmap->PixelWidth(); ++c, p += 4) {
      const unsigned char a = p[0], red = p[1];
      p[0] = p[3];
      p[1] = p[2];
      p[2] = red;
      p[3] = a;
    }
  }
  return bitmap;
}
