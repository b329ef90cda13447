#include "render/Font.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "render/BitmapInternal.h"
#include "render/FontPlatform.h"
#include "render/FontTesting.h"

namespace {

// Process-wide state of the text renderer; the editor's thread only.
int g_liveFonts = 0;
LICE_SysBitmap* g_scratch = nullptr;
int g_wine = -1;  // -1 undetermined, then 0 or 1 for the process's life
lice_testing::WineAnswer g_wineAnswer = lice_testing::WineAnswer::Detect;

constexpr int kPrivateFlagMask = 0x1F7;  // flag bits that rule out the OS path
constexpr int kAlignMask = DrawTextCenter | DrawTextRight | DrawTextVCenter | DrawTextBottom;
constexpr size_t kListGrowthRecords = 4096 / sizeof(GlyphRecord);
constexpr size_t kStoreGrowthBytes = 65536;

bool RunningUnderWine() {
  if (g_wineAnswer != lice_testing::WineAnswer::Detect)
    return g_wineAnswer == lice_testing::WineAnswer::Wine;
  if (g_wine < 0) g_wine = lice_font_platform::DetectWine() ? 1 : 0;
  return g_wine == 1;
}

// The scratch bitmap, at least size x size; null when it cannot be made.
LICE_SysBitmap* GlyphScratch(int size) {
  if (!g_scratch) g_scratch = new (std::nothrow) LICE_SysBitmap();
  if (!g_scratch) return nullptr;
  if (g_scratch->PixelWidth() < size || g_scratch->PixelHeight() < size) {
    g_scratch->SetSize(std::max(g_scratch->PixelWidth(), size),
                       std::max(g_scratch->PixelHeight(), size));
    lice_font_platform::PrepareScratch(g_scratch);
  }
  return g_scratch->PixelBuffer() ? g_scratch : nullptr;
}

int32_t Saturate(int64_t v) {
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return int32_t(v);
}

inline int Channel(uint32_t pixel, int shift) { return int((pixel >> shift) & 0xFF); }

bool IsContinuation(unsigned char b) { return b >= 0x80 && b <= 0xBF; }

}  // namespace

void lice_testing::SetWineAnswer(WineAnswer answer) { g_wineAnswer = answer; }
bool lice_testing::RunningUnderWine() { return ::RunningUnderWine(); }

size_t DecodeUtf8Char(const unsigned char* b, size_t available, int* code) {
  if (available == 0) return 0;
  const unsigned char first = b[0];
  if (first >= 0xC2 && first <= 0xDF && available >= 2 && IsContinuation(b[1])) {
    *code = ((first & 0x1F) << 6) | (b[1] & 0x3F);
    return 2;
  }
  if (first >= 0xE0 && first <= 0xEF && available >= 3 && IsContinuation(b[1]) &&
      IsContinuation(b[2])) {
    *code = ((first & 0x0F) << 12) | ((b[1] & 0x3F) << 6) | (b[2] & 0x3F);
    return 3;
  }
  if (first >= 0xF0 && first <= 0xF4 && available >= 4 && IsContinuation(b[1]) &&
      IsContinuation(b[2]) && IsContinuation(b[3])) {
    *code = 32;  // beyond 16 bits: shown as a space
    return 4;
  }
  *code = first;
  return 1;
}

LICE_IFont::~LICE_IFont() = default;

LICE_CachedFont::LICE_CachedFont() { ++g_liveFonts; }

LICE_CachedFont::~LICE_CachedFont() {
  if ((m_flags & FontOwnsGdiFont) && m_font) LICE_DeleteFont(m_font);
  if (--g_liveFonts == 0) {
    delete g_scratch;
    g_scratch = nullptr;
  }
}

int LICE_CachedFont::LiveFonts() { return g_liveFonts; }

void LICE_CachedFont::AttachGdiFont(LICE_FontHandle font, int flags) {
  if ((m_flags & FontOwnsGdiFont) && m_font && m_font != font) LICE_DeleteFont(m_font);
  m_flags = flags;
  m_font = font;
  if (font) m_lineHeight = lice_font_platform::LineHeightOf(font, GlyphScratch(256));
  std::memset(m_table, 0, sizeof(m_table));
  m_list.clear();
  m_store.clear();
}

PackedPixel LICE_CachedFont::SetInkColor(PackedPixel color) {
  const PackedPixel old = m_ink;
  m_ink = color;
  return old;
}

PackedPixel LICE_CachedFont::SetPaperColor(PackedPixel color) {
  const PackedPixel old = m_paper;
  m_paper = color;
  return old;
}

PackedPixel LICE_CachedFont::SetEffectInk(PackedPixel color) {
  const PackedPixel old = m_effectInk;
  m_effectInk = color;
  return old;
}

int LICE_CachedFont::SetPaperMode(int mode) {
  const int old = m_paperMode;
  m_paperMode = mode;
  return old;
}

void LICE_CachedFont::SetBlend(int mode, float weight) {
  m_blendMode = mode;
  m_weight = weight;
}

GlyphRecord* LICE_CachedFont::FindRecord(int code) {
  if (code < 0) return nullptr;
  if (code < 128) return &m_table[code];
  auto it = std::lower_bound(m_list.begin(), m_list.end(), code,
                             [](const GlyphRecord& g, int c) { return g.code < c; });
  return it != m_list.end() && it->code == code ? &*it : nullptr;
}

const GlyphRecord* LICE_CachedFont::FindGlyph(int code) const {
  return const_cast<LICE_CachedFont*>(this)->FindRecord(code);
}

const uint8_t* LICE_CachedFont::GlyphMask(const GlyphRecord& g) const {
  if (g.storePosition <= 0 || g.width <= 0 || g.height <= 0) return nullptr;
  const size_t start = size_t(g.storePosition) - 1;
  if (start + size_t(g.width) * size_t(g.height) > m_store.size()) return nullptr;
  return m_store.data() + start;
}

bool LICE_CachedFont::RenderGlyph(int code) {
  if (m_lineHeight >= 1024 || code < 0 || code > 0xFFFF) return false;

  GlyphRecord* rec = FindRecord(code);
  if (!rec) {
    // Kept sorted by inserting in place: the same list as appending and
    // sorting, without sorting again for every new character.
    try {
      if (m_list.size() == m_list.capacity()) m_list.reserve(m_list.capacity() + kListGrowthRecords);
      auto it = std::lower_bound(m_list.begin(), m_list.end(), code,
                                 [](const GlyphRecord& g, int c) { return g.code < c; });
      rec = &*m_list.insert(it, GlyphRecord{0, 0, 0, 0, code, 0});
    } catch (const std::bad_alloc&) {
      return false;
    }
  }

  LICE_SysBitmap* scratch = GlyphScratch(2 * std::max(m_lineHeight, 1) + 8);
  if (!scratch) return false;  // left unrendered: tried again next time

  const int pad = m_lineHeight < 16 ? 2 : m_lineHeight / 16 + 2;
  int w = 0, h = 0;
  lice_font_platform::RasterizeGlyph(m_font, scratch, code, pad, &w, &h);
  const int scratchW = scratch->PixelWidth(), scratchH = scratch->PixelHeight();
  const int full = int(std::min<int64_t>(int64_t(w) + 2 * pad, scratchW));
  w = std::min(w, scratchW);
  h = std::min(h, scratchH);

  const GlyphRecord nothing{-1, 0, 0, 0, code, 0};
  if (w < 1 || h < 1 || full < 1) {
    *rec = nothing;
    return true;
  }

  const size_t oldSize = m_store.size();
  const size_t bytes = size_t(full) * size_t(h);
  if (oldSize + bytes >= size_t(std::numeric_limits<int32_t>::max())) {
    *rec = nothing;
    return true;
  }
  try {
    if (oldSize + bytes > m_store.capacity()) {
      const size_t want = std::max(oldSize + bytes, m_store.capacity() + m_store.capacity() / 2);
      m_store.reserve((want + kStoreGrowthBytes - 1) / kStoreGrowthBytes * kStoreGrowthBytes);
    }
    m_store.resize(oldSize + bytes);
  } catch (const std::bad_alloc&) {
    *rec = nothing;
    return true;
  }

  // Coverage is the red channel of white-on-black text. Find the inked
  // columns on the way: the left crop may only eat padding (at most pad),
  // the right end keeps at least advance + pad.
  uint8_t* mask = m_store.data() + oldSize;
  int inkLeft = full, inkRight = 0;
  const PackedPixel* bits = scratch->PixelBuffer();
  const int64_t span = scratch->RowSpanPixels();
  for (int r = 0; r < h; ++r) {
    const PackedPixel* row = bits + r * span;
    uint8_t* out = mask + size_t(r) * size_t(full);
    for (int c = 0; c < full; ++c) {
      const uint8_t k = uint8_t(row[c] >> 16);
      out[c] = k;
      if (k) {
        inkLeft = std::min(inkLeft, c);
        inkRight = std::max(inkRight, c + 1);
      }
    }
  }
  const int cropLeft = std::min(inkLeft, pad);
  const int cropRight = std::max(inkRight, std::min(w + pad, full));
  int maskWidth = full;
  if (cropRight < full || cropLeft > 0) {
    maskWidth = cropRight - cropLeft;
    for (int r = 0; r < h; ++r)
      std::memmove(mask + size_t(r) * size_t(maskWidth), mask + size_t(r) * size_t(full) + cropLeft,
                   size_t(maskWidth));
    m_store.resize(oldSize + size_t(maskWidth) * size_t(h));
  }

  *rec = GlyphRecord{int32_t(oldSize + 1), maskWidth, h, w, code, pad - cropLeft};
  return true;
}

const GlyphRecord* LICE_CachedFont::CachedGlyph(int code) {
  const GlyphRecord* g = FindRecord(code);
  if (!g || g->storePosition == 0) {
    RenderGlyph(code);
    g = FindRecord(code);
  }
  return g;
}

bool LICE_CachedFont::PaintGlyph(LICE_IBitmap* dest, int code, int x, int y, const PixelRect& clip) {
  const GlyphRecord* g = FindGlyph(code);
  if (!dest || !g) return false;
  const uint8_t* mask = GlyphMask(*g);
  if (!mask) return false;

  // A clip is never allowed to reach outside the destination.
  const int64_t clipLeft = std::max<int64_t>(clip.left, 0);
  const int64_t clipTop = std::max<int64_t>(clip.top, 0);
  const int64_t clipRight = std::min<int64_t>(clip.right, dest->PixelWidth());
  const int64_t clipBottom = std::min<int64_t>(clip.bottom, dest->PixelHeight());

  int64_t gx = int64_t(x) - g->bearing, gy = y;
  if (gx >= clipRight || gy >= clipBottom || clipLeft >= gx + g->width || clipTop >= gy + g->height)
    return false;
  int64_t skipCols = 0, skipRows = 0;
  if (gx < clipLeft) {
    skipCols = clipLeft - gx;
    gx = clipLeft;
  }
  if (gy < clipTop) {
    skipRows = clipTop - gy;
    gy = clipTop;
  }
  const int64_t cols = std::min(g->width - skipCols, clipRight - gx);
  const int64_t rows = std::min(g->height - skipRows, clipBottom - gy);
  if (cols <= 0 || rows <= 0) return false;
  PackedPixel* bits = dest->PixelBuffer();
  const int64_t span = dest->RowSpanPixels();
  if (!bits || span < dest->PixelWidth()) return false;

  if (m_paperMode == PaperOpaque)
    FillBitmapRect(dest, int(gx), int(gy), int(cols), int(rows), m_paper, m_weight,
                   m_blendMode & ~BlendUseSourceAlpha);

  const int v = lice_detail::IntegerWeight(m_weight);
  if (v == 0 || (m_blendMode & BlendModeMask) != BlendCopy) return true;

  const int cb = Channel(m_ink, 0), cg = Channel(m_ink, 8), cr = Channel(m_ink, 16);
  const bool bottomUp = dest->IsBottomUp();
  const int64_t height = dest->PixelHeight();
  for (int64_t r = 0; r < rows; ++r) {
    const int64_t destRow = gy + r;
    PackedPixel* row = bits + (bottomUp ? height - 1 - destRow : destRow) * span + gx;
    const uint8_t* in = mask + size_t(skipRows + r) * size_t(g->width) + size_t(skipCols);
    for (int64_t c = 0; c < cols; ++c) {
      const int k = in[c];
      if (k == 0) continue;
      int s;
      if (v == 256) {
        s = 255 - k;
      } else {
        s = 256 - std::min(v * k / 256, 256);
      }
      const uint32_t d = row[c];
      const int b = cb + (Channel(d, 0) - cb) * s / 256;
      const int gr = cg + (Channel(d, 8) - cg) * s / 256;
      const int rd = cr + (Channel(d, 16) - cr) * s / 256;
      const int a = 255 + (Channel(d, 24) - 255) * s / 256;
      row[c] = (uint32_t(a) & 0xFF) << 24 | (uint32_t(rd) & 0xFF) << 16 |
               (uint32_t(gr) & 0xFF) << 8 | (uint32_t(b) & 0xFF);
    }
  }
  return true;
}

bool LICE_CachedFont::UsesGdiPath(int format) {
  if (!lice_font_platform::HasOsTextPath()) return false;
  if (m_lineHeight > 255) return true;  // glyphs that large are never cached
  return (m_flags & FontPreferGdi) && m_font && !(format & TextUseInkAlpha) &&
         !(m_flags & kPrivateFlagMask) && (m_lineSpacing == 0 || (format & DrawTextSingleLine)) &&
         !RunningUnderWine();
}

int LICE_CachedFont::DrawString(LICE_IBitmap* dest, const char* text, int length, PixelRect* rect,
                                int format) {
  if (!dest && !(format & DrawTextCalcRect)) return 0;
  if (!text || !rect) return 0;

  if (UsesGdiPath(format)) {
    LICE_DC dc = dest ? dest->DrawingDC() : nullptr;
    // Measuring needs no destination (a temporary context serves); drawing
    // into a bitmap without a context can only be done in software.
    if (dc || (format & DrawTextCalcRect)) {
      const lice_font_platform::OsTextStyle style{m_font, m_ink, m_paper, m_paperMode};
      return lice_font_platform::OsDrawString(style, dc, text, length, rect, format);
    }
  }

  if (format & DrawTextCalcRect)
    return MeasureGlyphs(text, length < 0 ? std::strlen(text) : size_t(length), rect, format);
  return DrawGlyphs(dest, text, length, rect, format);
}

int LICE_CachedFont::MeasureGlyphs(const char* text, size_t length, PixelRect* rect, int format) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  int64_t penX = 0, lineY = 0, width = 0, height = 0;
  for (size_t pos = 0; pos < length;) {
    int code = 0;
    pos += DecodeUtf8Char(bytes + pos, length - pos, &code);
    if (code == 13) continue;
    if (code == 10) {
      if (!(format & DrawTextSingleLine)) {
        lineY += int64_t(m_lineHeight) + m_lineSpacing;
        penX = 0;
        continue;
      }
      code = 32;
    }
    const GlyphRecord* g = CachedGlyph(code);
    if (!g || g->storePosition <= 0) continue;
    width = std::max({width, penX + g->advance, penX + g->width - g->bearing});
    height = std::max(height, lineY + g->height);
    penX += g->advance;
  }
  rect->right = Saturate(int64_t(rect->left) + width);
  rect->bottom = Saturate(int64_t(rect->top) + height);
  return Saturate(height);
}

int LICE_CachedFont::DrawGlyphs(LICE_IBitmap* dest, const char* text, int length, PixelRect* rect,
                                int format) {
  const float fontWeight = m_weight;
  if (format & TextUseInkAlpha) m_weight = float(m_ink >> 24) / 255.0f * fontWeight;
  struct RestoreWeight {
    LICE_CachedFont* font;
    float weight;
    ~RestoreWeight() { font->m_weight = weight; }
  } restore{this, fontWeight};
  if (m_weight == 0.0f) return 0;

  int64_t startX = rect->left, startY = rect->top;
  if (format & kAlignMask) {
    // Measured through DrawString itself, so outside Wine the OS measures.
    PixelRect extent{0, 0, 0, 0};
    DrawString(dest, text, length, &extent, DrawTextCalcRect | (format & DrawTextSingleLine));
    const int64_t tw = extent.right, th = extent.bottom;
    if (format & DrawTextCenter)
      startX = rect->left + (int64_t(rect->right) - tw - rect->left) / 2;
    else if (format & DrawTextRight)
      startX = rect->right - tw;
    if (format & DrawTextVCenter)
      startY = rect->top + (int64_t(rect->bottom) - th - rect->top) / 2;
    else if (format & DrawTextBottom)
      startY = rect->bottom - th;
  }

  PixelRect clip{0, 0, dest->PixelWidth(), dest->PixelHeight()};
  if (!(format & DrawTextNoClip)) {
    clip.left = std::max(rect->left, 0);
    clip.top = std::max(rect->top, 0);
    clip.right = std::min(rect->right, dest->PixelWidth());
    clip.bottom = std::min(rect->bottom, dest->PixelHeight());
    if (clip.left >= clip.right || clip.top >= clip.bottom) return 0;
  }

  const size_t count = length < 0 ? std::strlen(text) : size_t(length);
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  const int64_t intMin = std::numeric_limits<int>::min(), intMax = std::numeric_limits<int>::max();
  int64_t penX = startX, lineY = startY, drawnBottom = startY;
  bool drewAny = false;
  for (size_t pos = 0; pos < count;) {
    int code = 0;
    pos += DecodeUtf8Char(bytes + pos, count - pos, &code);
    if (code == 13) continue;
    if (code == 10) {
      if (!(format & DrawTextSingleLine)) {
        lineY += int64_t(m_lineHeight) + m_lineSpacing;
        penX = startX;
        continue;
      }
      code = 32;
    }
    const GlyphRecord* g = CachedGlyph(code);
    if (!g || !GlyphMask(*g)) continue;
    const int32_t advance = g->advance, maskHeight = g->height;
    // Pens pushed beyond the int range lie far outside any clip.
    if (penX >= intMin && penX <= intMax && lineY >= intMin && lineY <= intMax &&
        PaintGlyph(dest, code, int(penX), int(lineY), clip)) {
      drawnBottom = std::max(drawnBottom, lineY + maskHeight);
      drewAny = true;
    }
    penX += advance;
  }
  return drewAny ? Saturate(drawnBottom - startY) : 0;
}
