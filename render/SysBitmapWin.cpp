// LICE_SysBitmap on Windows: a top-down 32-bit DIB section selected into a
// memory device context, so GDI (text, BitBlt to the window) and the
// software blitters share the same pixels.
#include <windows.h>

#include "render/Bitmap.h"
#include "render/BitmapInternal.h"

LICE_SysBitmap::LICE_SysBitmap(int width, int height) {
  m_dc = CreateCompatibleDC(nullptr);
  SetSize(width, height);
}

LICE_SysBitmap::~LICE_SysBitmap() {
  ReleaseSection();
  if (m_dc) DeleteDC(static_cast<HDC>(m_dc));
}

void LICE_SysBitmap::ReleaseSection() {
  if (m_oldObject) SelectObject(static_cast<HDC>(m_dc), static_cast<HGDIOBJ>(m_oldObject));
  m_oldObject = nullptr;
  if (m_section) DeleteObject(static_cast<HGDIOBJ>(m_section));
  m_section = nullptr;
  m_bits = nullptr;
}

bool LICE_SysBitmap::SetSize(int width, int height) {
  if (!m_dc) {
    m_width = 0;
    m_height = 0;
    m_bits = nullptr;
    return false;
  }
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

  HBITMAP section = nullptr;
  void* bits = nullptr;
  if (lice_detail::PixelBlockBytes(allocWidth, allocHeight) > 0) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = LONG(allocWidth);
    info.bmiHeader.biHeight = IsBottomUp() ? LONG(allocHeight) : -LONG(allocHeight);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  }
  if (section && bits) {
    m_section = section;
    m_bits = static_cast<PackedPixel*>(bits);
    m_allocWidth = int32_t(allocWidth);
    m_allocHeight = int32_t(allocHeight);
    m_oldObject = SelectObject(static_cast<HDC>(m_dc), section);
  } else {
    if (section) DeleteObject(section);
    m_width = 0;
    m_height = 0;
    m_allocWidth = 0;
    m_allocHeight = 0;
  }
  return true;
}
