// LICE_SysBitmap without a windowing system: heap pixels that follow the
// DIB-section rules (row span = allocated width, a shrink keeps the block,
// a new block starts cleared), and no drawing context.
#include <cstdlib>
#include <cstring>

#include "render/Bitmap.h"
#include "render/BitmapInternal.h"

LICE_SysBitmap::LICE_SysBitmap(int width, int height) { SetSize(width, height); }

LICE_SysBitmap::~LICE_SysBitmap() { ReleaseSection(); }

void LICE_SysBitmap::ReleaseSection() {
  std::free(m_section);
  m_section = nullptr;
  m_bits = nullptr;
}

bool LICE_SysBitmap::SetSize(int width, int height) {
  // A negative size means empty.
  if (width < 0) width = 0;
  if (height < 0) height = 0;
  if (width == m_width && height == m_height) return false;
  m_width = width;
  m_height = height;
  if (width != 0 && height != 0 && width <= m_allocWidth && height <= m_allocHeight && m_bits)
    return true;

  const int64_t allocWidth = (int64_t(width) + 3) & ~int64_t(3);
  const int64_t allocHeight = height;
  ReleaseSection();
  if (allocWidth < 1 || allocHeight < 1) {
    m_allocWidth = int32_t(allocWidth);
    m_allocHeight = int32_t(allocHeight);
    return false;
  }

  const int64_t bytes = lice_detail::PixelBlockBytes(allocWidth, allocHeight);
  void* block = nullptr;
  if (bytes > 0 && posix_memalign(&block, 64, size_t(bytes)) != 0) block = nullptr;
  if (block) {
    // As a DIB section: a new surface is transparent black, never what the
    // heap left there.
    std::memset(block, 0, size_t(bytes));
    m_section = block;
    m_bits = static_cast<PackedPixel*>(block);
    m_allocWidth = int32_t(allocWidth);
    m_allocHeight = int32_t(allocHeight);
  } else {
    m_width = 0;
    m_height = 0;
    m_allocWidth = 0;
    m_allocHeight = 0;
  }
  return true;
}
