// Text through GDI: fonts, the glyph rasteriser (DrawTextW of one character,
// white on black, into the scratch DIB section), the direct DrawText path and
// the Wine test.
#include <windows.h>

#include <cstring>
#include <new>

#include "render/FontPlatform.h"

static_assert(DrawTextCenter == DT_CENTER && DrawTextRight == DT_RIGHT &&
                  DrawTextVCenter == DT_VCENTER && DrawTextBottom == DT_BOTTOM &&
                  DrawTextSingleLine == DT_SINGLELINE && DrawTextNoClip == DT_NOCLIP &&
                  DrawTextCalcRect == DT_CALCRECT && DrawTextNoPrefix == DT_NOPREFIX,
              "format bits are the DT_ values");
static_assert(PaperTransparent == TRANSPARENT && PaperOpaque == OPAQUE, "background modes");

namespace {

COLORREF ToColorRef(PackedPixel p) {
  return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

// True when the bytes hold a UTF-8 lead byte followed by a continuation.
bool HasMultiByteSequence(const unsigned char* b, size_t n) {
  for (size_t i = 0; i + 1 < n; ++i)
    if (b[i] >= 0xC2 && b[i] <= 0xF4 && b[i + 1] >= 0x80 && b[i + 1] <= 0xBF) return true;
  return false;
}

}  // namespace

LICE_FontHandle LICE_CreateFont(int height, int width, int escapement, int orientation, int weight,
                                bool italic, bool underline, bool strikeOut, unsigned charSet,
                                unsigned outPrecision, unsigned clipPrecision, unsigned quality,
                                unsigned pitchAndFamily, const char* face) {
  return CreateFontA(height, width, escapement, orientation, weight, italic, underline, strikeOut,
                     charSet, outPrecision, clipPrecision, quality, pitchAndFamily, face);
}

void LICE_DeleteFont(LICE_FontHandle font) {
  if (font) DeleteObject(static_cast<HGDIOBJ>(font));
}

bool lice_font_platform::HasOsTextPath() { return true; }

bool lice_font_platform::DetectWine() {
  HKEY key = nullptr;
  if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Wine", &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

void lice_font_platform::PrepareScratch(LICE_SysBitmap* scratch) {
  HDC dc = static_cast<HDC>(scratch->DrawingDC());
  if (!dc) return;
  SetTextColor(dc, RGB(255, 255, 255));
  SetBkMode(dc, OPAQUE);
  SetBkColor(dc, RGB(0, 0, 0));
}

int lice_font_platform::LineHeightOf(LICE_FontHandle font, LICE_SysBitmap* scratch) {
  HDC dc = scratch ? static_cast<HDC>(scratch->DrawingDC()) : nullptr;
  HDC own = nullptr;
  if (!dc) dc = own = CreateCompatibleDC(nullptr);
  if (!dc) return 0;
  HGDIOBJ old = SelectObject(dc, static_cast<HGDIOBJ>(font));
  TEXTMETRICA metrics{};
  const int height = GetTextMetricsA(dc, &metrics) ? int(metrics.tmHeight) : 0;
  SelectObject(dc, old);
  if (own) DeleteDC(own);
  return height;
}

void lice_font_platform::RasterizeGlyph(LICE_FontHandle font, LICE_SysBitmap* scratch, int code,
                                        int pad, int* w, int* h) {
  *w = 0;
  *h = 0;
  HDC dc = static_cast<HDC>(scratch->DrawingDC());
  if (!dc) return;
  HGDIOBJ old = font ? SelectObject(dc, static_cast<HGDIOBJ>(font)) : nullptr;
  const wchar_t ch = wchar_t(code);
  RECT box{0, 0, 0, 0};
  DrawTextW(dc, &ch, 1, &box, DT_NOPREFIX | DT_CALCRECT | DT_SINGLELINE);
  *w = box.right;
  *h = box.bottom;
  if (*w >= 1 && *h >= 1) {
    GdiFlush();  // GDI work still queued must not land on the cleared area
    FillBitmapRect(scratch, 0, 0, *w + 2 * pad, *h, 0, 1.0f, BlendCopy);
    RECT cell{pad, 0, *w + 2 * pad, *h};
    DrawTextW(dc, &ch, 1, &cell, DT_NOPREFIX | DT_NOCLIP | DT_SINGLELINE);
    GdiFlush();  // the pixels are read in software next
  }
  if (old) SelectObject(dc, old);
}

int lice_font_platform::OsDrawString(const OsTextStyle& style, LICE_DC dcHandle, const char* text,
                                     int length, PixelRect* rect, int format) {
  HDC dc = static_cast<HDC>(dcHandle);
  HDC own = nullptr;
  if (!dc) dc = own = CreateCompatibleDC(nullptr);
  if (!dc) return 0;

  // UTF-8 goes through the wide-character call; short texts convert on the
  // stack. Invalid UTF-8 is drawn from its bytes.
  const size_t count = length < 0 ? std::strlen(text) : size_t(length);
  wchar_t local[1024];
  wchar_t* heap = nullptr;
  const wchar_t* wide = nullptr;
  if (HasMultiByteSequence(reinterpret_cast<const unsigned char*>(text), count)) {
    const int needed = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, nullptr, 0);
    if (needed > 0) {
      wchar_t* buffer = local;
      int capacity = 1024;
      if (needed >= 1000) {
        heap = new (std::nothrow) wchar_t[size_t(needed) + 32];
        buffer = heap;
        capacity = needed + 32;
      }
      if (buffer) {
        const int got = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, buffer,
                                            capacity);
        if (got > 0 && got < capacity) {
          buffer[got] = 0;  // an explicit length converts no terminator
          wide = buffer;
        }
      }
    }
  }

  HGDIOBJ old = style.font ? SelectObject(dc, static_cast<HGDIOBJ>(style.font)) : nullptr;
  SetTextColor(dc, ToColorRef(style.ink));
  SetBkMode(dc, style.paperMode);
  if (style.paperMode == OPAQUE) SetBkColor(dc, ToColorRef(style.paper));

  RECT box{rect->left, rect->top, rect->right, rect->bottom};
  const UINT flags = UINT(format & ~TextUseInkAlpha) | DT_NOPREFIX;
  const int result = wide ? DrawTextW(dc, wide, -1, &box, flags) : DrawTextA(dc, text, length, &box, flags);
  if (format & DT_CALCRECT) {
    rect->left = box.left;
    rect->top = box.top;
    rect->right = box.right;
    rect->bottom = box.bottom;
  }
  GdiFlush();  // software drawing may follow on the same pixels

  if (old) SelectObject(dc, old);
  if (own) DeleteDC(own);
  delete[] heap;
  return result;
}
