#include "render/Bitmap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "render/BitmapInternal.h"

LICE_IBitmap::~LICE_IBitmap() = default;

// ---------------------------------------------------------------------------
// LICE_MemBitmap

LICE_MemBitmap::LICE_MemBitmap(int width, int height) {
  if (width > 0 && height > 0) SetSize(width, height);
}

LICE_MemBitmap::~LICE_MemBitmap() { std::free(m_block); }

PackedPixel* LICE_MemBitmap::PixelBuffer() {
  if (!m_block) return nullptr;
  const uintptr_t address = (reinterpret_cast<uintptr_t>(m_block) + 63) & ~uintptr_t(63);
  return reinterpret_cast<PackedPixel*>(address);
}

bool LICE_MemBitmap::SetSize(int width, int height) {
  if (width == m_width && height == m_height) return false;
  m_width = width;
  m_height = height;

  // Computed wide: a size whose block cannot be described in 32 bits is
  // treated like a failed allocation.
  const int64_t paddedWidth = (int64_t(width) + 3) & ~int64_t(3);
  const int64_t needed = lice_detail::PixelBlockBytes(paddedWidth, height);
  if (needed > 0 && width > 0 && height > 0) {
    if (!m_block) {
      m_capacity = int32_t(needed);
      m_block = std::malloc(size_t(needed) + 63);
    } else if (m_capacity < needed) {
      int64_t grown = (needed / 4) * 5;
      if (grown > lice_detail::kMaxPixelBlockBytes) grown = needed;
      void* moved = std::realloc(m_block, size_t(grown) + 63);
      if (moved) {
        m_block = moved;
        m_capacity = int32_t(grown);
      } else {
        std::free(m_block);
        m_capacity = int32_t(needed);
        m_block = std::malloc(size_t(needed) + 63);
      }
    }
  } else {
    std::free(m_block);
    m_block = nullptr;
    m_capacity = 0;
  }

  if (!m_block) {
    m_width = 0;
    m_height = 0;
    m_capacity = 0;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Pixel arithmetic shared by the blit and fill rules.

namespace {

inline int Channel(uint32_t pixel, int shift) { return int((pixel >> shift) & 0xFF); }

inline int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

inline uint32_t Pack(int b, int g, int r, int a) {
  return (uint32_t(a) & 0xFF) << 24 | (uint32_t(r) & 0xFF) << 16 | (uint32_t(g) & 0xFF) << 8 |
         (uint32_t(b) & 0xFF);
}

inline uint32_t HalfSum(uint32_t a, uint32_t b) {
  return ((a >> 1) & 0x7F7F7F7F) + ((b >> 1) & 0x7F7F7F7F);
}

struct Span {
  PackedPixel* base;
  int64_t span;
  int64_t height;
  bool bottomUp;
  PackedPixel* Row(int64_t r) const { return base + (bottomUp ? height - 1 - r : r) * span; }
};

// Walks the clipped area row by row, calling op(destPixel, srcPixel).
template <typename Op>
void ForEachPixel(const Span& d, int64_t dx, int64_t dy, const Span& s, int64_t sx, int64_t sy,
                  int64_t cols, int64_t rows, Op op) {
  for (int64_t r = 0; r < rows; ++r) {
    PackedPixel* dp = d.Row(dy + r) + dx;
    const PackedPixel* sp = s.Row(sy + r) + sx;
    for (int64_t c = 0; c < cols; ++c) op(dp[c], sp[c]);
  }
}

}  // namespace

int lice_detail::IntegerWeight(float weight) {
  double scaled = double(weight) * 256.0;
  if (!(scaled == scaled)) return 0;  // NaN draws nothing
  // Beyond +-64 (far outside the 0..1 the editor uses) every 32-bit product
  // of the rules would risk overflow; hold the weight there instead.
  if (scaled > double(kMaxIntegerWeight)) scaled = kMaxIntegerWeight;
  if (scaled < -double(kMaxIntegerWeight)) scaled = -kMaxIntegerWeight;
  return int(scaled);
}

// ---------------------------------------------------------------------------
// BlitBitmap

void BlitBitmap(LICE_IBitmap* dest, LICE_IBitmap* src, int destX, int destY,
                const SourceRect* sourceRect, float weight, int mode) {
  if (!dest || !src || weight == 0.0f) return;

  const int64_t srcW = src->PixelWidth(), srcH = src->PixelHeight();
  const int64_t dstW = dest->PixelWidth(), dstH = dest->PixelHeight();
  int64_t left = 0, top = 0, right = srcW, bottom = srcH;
  int64_t dx = destX, dy = destY;
  if (sourceRect) {
    right = std::min<int64_t>(sourceRect->right, srcW);
    bottom = std::min<int64_t>(sourceRect->bottom, srcH);
    if (sourceRect->left < 0)
      dx -= sourceRect->left;  // the image moves right
    else
      left = sourceRect->left;
    if (sourceRect->top < 0)
      dy -= sourceRect->top;
    else
      top = sourceRect->top;
  }
  if (dx < 0) {
    left -= dx;
    dx = 0;
  }
  if (dy < 0) {
    top -= dy;
    dy = 0;
  }
  if (left >= right || top >= bottom || dx >= dstW || dy >= dstH) return;
  right = std::min(right, left + dstW - dx);
  bottom = std::min(bottom, top + dstH - dy);
  if (left >= right || top >= bottom) return;

  PackedPixel* srcBits = src->PixelBuffer();
  PackedPixel* dstBits = dest->PixelBuffer();
  if (!srcBits || !dstBits) return;
  // A row span shorter than the width would walk into the next row's memory
  // (or past the block); no bitmap of ours has one, refuse foreign ones.
  if (src->RowSpanPixels() < srcW || dest->RowSpanPixels() < dstW) return;

  const Span s{srcBits, src->RowSpanPixels(), srcH, src->IsBottomUp()};
  const Span d{dstBits, dest->RowSpanPixels(), dstH, dest->IsBottomUp()};
  const int64_t cols = right - left, rows = bottom - top;
  const int w = lice_detail::IntegerWeight(weight);

  switch (mode) {
    case BlendCopy:
      if (weight == 1.0f) {
        for (int64_t r = 0; r < rows; ++r)
          std::memmove(d.Row(dy + r) + dx, s.Row(top + r) + left, size_t(cols) * 4);
      } else if (weight == 0.5f) {
        ForEachPixel(d, dx, dy, s, left, top, cols, rows,
                     [](PackedPixel& dp, PackedPixel sp) { dp = HalfSum(dp, sp); });
      } else if (w == 256) {
        ForEachPixel(d, dx, dy, s, left, top, cols, rows,
                     [](PackedPixel& dp, PackedPixel sp) { dp = sp; });
      } else if (w > 0) {
        const int keep = 256 - w;
        ForEachPixel(d, dx, dy, s, left, top, cols, rows, [keep](PackedPixel& dp, PackedPixel sp) {
          int out[4];
          for (int i = 0; i < 4; ++i) {
            const int sc = Channel(sp, 8 * i), dc = Channel(dp, 8 * i);
            out[i] = sc + (dc - sc) * keep / 256;
          }
          dp = Pack(out[0], out[1], out[2], out[3]);
        });
      }
      break;

    case BlendCopy | BlendUseSourceAlpha:
      if (w == 256) {
        ForEachPixel(d, dx, dy, s, left, top, cols, rows, [](PackedPixel& dp, PackedPixel sp) {
          const int sa = Channel(sp, 24);
          if (sa == 0) return;
          if (sa == 255) {
            dp = sp | 0xFF000000u;
            return;
          }
          const int keep = 255 - sa;
          int out[3];
          for (int i = 0; i < 3; ++i) {
            const int sc = Channel(sp, 8 * i), dc = Channel(dp, 8 * i);
            out[i] = sc + (dc - sc) * keep / 256;
          }
          dp = Pack(out[0], out[1], out[2], std::min(Channel(dp, 24) + sa, 255));
        });
      } else {
        ForEachPixel(d, dx, dy, s, left, top, cols, rows, [w](PackedPixel& dp, PackedPixel sp) {
          const int sa = Channel(sp, 24);
          if (sa == 0) return;
          const int k = w * (sa + 1) / 256;
          const int keep = 256 - k;
          int out[3];
          for (int i = 0; i < 3; ++i) {
            const int sc = Channel(sp, 8 * i), dc = Channel(dp, 8 * i);
            out[i] = sc + (dc - sc) * keep / 256;
          }
          dp = Pack(out[0], out[1], out[2], std::min(Channel(dp, 24) + k, 255));
        });
      }
      break;

    case BlendAdd | BlendUseSourceAlpha:
      ForEachPixel(d, dx, dy, s, left, top, cols, rows, [w](PackedPixel& dp, PackedPixel sp) {
        const int sa = Channel(sp, 24);
        if (sa == 0) return;
        const int k = w * (sa + 1) / 256;
        int out[3];
        for (int i = 0; i < 3; ++i) out[i] = Clamp255(Channel(dp, 8 * i) + k * Channel(sp, 8 * i) / 256);
        dp = Pack(out[0], out[1], out[2], Clamp255(Channel(dp, 24) + sa * k / 256));
      });
      break;

    case BlendDodge | BlendUseSourceAlpha:
      ForEachPixel(d, dx, dy, s, left, top, cols, rows, [w](PackedPixel& dp, PackedPixel sp) {
        const int sa = Channel(sp, 24);
        const int k = w * (sa + 1) / 256;
        int out[4];
        for (int i = 0; i < 4; ++i) {
          const int sc = Channel(sp, 8 * i), dc = Channel(dp, 8 * i);
          const int m = sc * k / 256;
          const int q = 256 - m;
          out[i] = q > 1 ? Clamp255(dc * 256 / q) : Clamp255(dc * 256);
        }
        dp = Pack(out[0], out[1], out[2], out[3]);
      });
      break;

    default:
      break;  // never issued by this system: draw nothing
  }
}

// ---------------------------------------------------------------------------
// FillBitmapRect

void FillBitmapRect(LICE_IBitmap* dest, int x, int y, int width, int height, PackedPixel color,
                    float weight, int mode) {
  if (!dest) return;
  if (mode & BlendUseSourceAlpha) weight *= float(color >> 24) / 255.0f;

  int64_t fx = x, fy = y, fw = width, fh = height;
  if (fx < 0) {
    fw += fx;
    fx = 0;
  }
  if (fy < 0) {
    fh += fy;
    fy = 0;
  }
  PackedPixel* bits = dest->PixelBuffer();
  const int64_t bw = dest->PixelWidth(), bh = dest->PixelHeight(), span = dest->RowSpanPixels();
  if (weight == 0.0f || !bits || span == 0 || fw <= 0 || fh <= 0 || fx >= bw || fy >= bh) return;
  if (span < bw) return;  // see BlitBitmap
  const int64_t rows = std::min(bh - fy, fh);
  const int64_t cols = std::min(bw - fx, fw);
  if ((mode & BlendModeMask) != BlendCopy) return;  // never issued by this system

  const Span d{bits, span, bh, dest->IsBottomUp()};
  const uint32_t c32 = color;
  const int w = lice_detail::IntegerWeight(weight);
  auto each = [&](auto op) {
    for (int64_t r = 0; r < rows; ++r) {
      PackedPixel* row = d.Row(fy + r) + fx;
      for (int64_t c = 0; c < cols; ++c) op(row[c]);
    }
  };

  switch (w) {
    case 256:
      each([c32](PackedPixel& p) { p = c32; });
      break;
    case 128:
      each([c32](PackedPixel& p) { p = HalfSum(c32, p); });
      break;
    case 64:
      each([c32](PackedPixel& p) {
        p = ((p >> 1) & 0x7F7F7F7F) + ((p >> 2) & 0x3F3F3F3F) + ((c32 >> 2) & 0x3F3F3F3F);
      });
      break;
    case 192:
      each([c32](PackedPixel& p) {
        p = ((c32 >> 1) & 0x7F7F7F7F) + ((c32 >> 2) & 0x3F3F3F3F) + ((p >> 2) & 0x3F3F3F3F);
      });
      break;
    case 0:
      break;
    default: {
      const int keep = 256 - w;
      const int cb = Channel(c32, 0), cg = Channel(c32, 8), cr = Channel(c32, 16);
      each([=](PackedPixel& p) {
        const int b = cb + (Channel(p, 0) - cb) * keep / 256;
        const int g = cg + (Channel(p, 8) - cg) * keep / 256;
        const int r = cr + (Channel(p, 16) - cr) * keep / 256;
        // The alpha moves toward the weight, not toward the colour's alpha.
        const int a = w + (Channel(p, 24) - w) * keep / 256;
        p = Pack(b, g, r, a);
      });
      break;
    }
  }
}
