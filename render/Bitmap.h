// 32-bit bitmaps and the two pixel operations the editor draws with.
//
// Pixels are PackedPixel words (alpha 24-31, red 16-23, green 8-15, blue 0-7,
// straight alpha); row 0 is the top row and lies first in memory. All pixel
// work is software integer arithmetic; the OS is used only to give a
// LICE_SysBitmap a device context (Windows).
//
// Threading: none of this locks. Bitmaps are drawn only on the editor's
// thread.
#pragma once

#include <cstddef>
#include <cstdint>

using PackedPixel = uint32_t;

// An OS drawing context (a GDI HDC on Windows), opaque to shared code.
using LICE_DC = void*;

// Mode word of BlitBitmap / FillBitmapRect: the low byte picks the rule, the
// flag makes each source pixel's alpha (or the fill colour's alpha) scale the
// weight. Only copy without the flag and copy/add/dodge with it draw; every
// other mode word draws nothing.
enum : int {
  BlendCopy = 0,
  BlendAdd = 1,
  BlendDodge = 2,
  BlendModeMask = 0xFF,
  BlendUseSourceAlpha = 0x10000,
};

// Source rectangle of a blit in source pixels; right and bottom exclusive.
struct SourceRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

inline constexpr PackedPixel PackPixel(int alpha, int red, int green, int blue) {
  return (PackedPixel(alpha & 0xFF) << 24) | (PackedPixel(red & 0xFF) << 16) |
         (PackedPixel(green & 0xFF) << 8) | PackedPixel(blue & 0xFF);
}

class LICE_IBitmap {
 public:
  LICE_IBitmap() = default;
  LICE_IBitmap(const LICE_IBitmap&) = delete;
  LICE_IBitmap& operator=(const LICE_IBitmap&) = delete;
  virtual ~LICE_IBitmap();

  // Address of pixel (0,0); null when the bitmap holds no pixels.
  virtual PackedPixel* PixelBuffer() = 0;
  virtual int PixelWidth() const = 0;
  virtual int PixelHeight() const = 0;
  // Distance between row starts in pixels, a multiple of 4.
  virtual int RowSpanPixels() const = 0;
  virtual bool IsBottomUp() const { return false; }
  // True when anything changed. Pixel contents after a change are undefined.
  virtual bool SetSize(int width, int height) = 0;
  virtual LICE_DC DrawingDC() const { return nullptr; }
  virtual intptr_t QueryExtra(int number, void* data) { return 0; }
};

// Pixels in a heap block, 64-byte aligned, rows padded to 4 pixels. The
// block only grows (with 25 % headroom) and is reused when it is big enough.
class LICE_MemBitmap : public LICE_IBitmap {
 public:
  explicit LICE_MemBitmap(int width = 0, int height = 0);
  ~LICE_MemBitmap() override;

  PackedPixel* PixelBuffer() override;
  int PixelWidth() const override { return m_width; }
  int PixelHeight() const override { return m_height; }
  int RowSpanPixels() const override { return (m_width + m_rowAlignMask) & ~m_rowAlignMask; }
  // Allocation failure leaves a 0 x 0 bitmap (and still answers true).
  bool SetSize(int width, int height) override;

  // Bytes reserved in the block, not counting the alignment slack.
  int32_t CapacityBytes() const { return m_capacity; }

 private:
  void* m_block = nullptr;
  int32_t m_width = 0;
  int32_t m_height = 0;
  int32_t m_capacity = 0;
  int32_t m_rowAlignMask = 3;
};

// The drawing surface kind. Windows: a top-down DIB section selected into a
// memory device context owned for the bitmap's life. Elsewhere: heap pixels
// with the same row-span and reuse rules and no device context.
// A shrink keeps the larger pixel block; the row span stays its width.
class LICE_SysBitmap : public LICE_IBitmap {
 public:
  explicit LICE_SysBitmap(int width = 0, int height = 0);
  ~LICE_SysBitmap() override;

  PackedPixel* PixelBuffer() override { return m_bits; }
  int PixelWidth() const override { return m_width; }
  int PixelHeight() const override { return m_height; }
  int RowSpanPixels() const override { return m_allocWidth; }
  bool SetSize(int width, int height) override;
  LICE_DC DrawingDC() const override { return m_dc; }

 private:
  void ReleaseSection();

  int32_t m_width = 0;
  int32_t m_height = 0;
  LICE_DC m_dc = nullptr;
  PackedPixel* m_bits = nullptr;
  int32_t m_allocWidth = 0;
  int32_t m_allocHeight = 0;
  void* m_section = nullptr;    // HBITMAP on Windows, the heap block elsewhere
  [[maybe_unused]] void* m_oldObject = nullptr;  // what the DC held before the section (Windows)
};

// Draws the source rectangle of src (whole source when null) with its
// top-left corner at (destX, destY) of dest. Every missing bitmap, empty or
// fully clipped rectangle and zero weight is a silent no-op.
void BlitBitmap(LICE_IBitmap* dest, LICE_IBitmap* src, int destX, int destY,
                const SourceRect* sourceRect, float weight, int mode);

// Combines the packed colour into a rectangle of dest, clipped to it.
void FillBitmapRect(LICE_IBitmap* dest, int x, int y, int width, int height, PackedPixel color,
                    float weight, int mode);
