// Text drawing into bitmaps.
//
// LICE_CachedFont wraps one OS font. It draws either through the OS text
// renderer straight into the destination's device context (Windows GDI, when
// the font prefers it, the process is not under Wine and the colour is
// opaque), or from its own glyph cache: each character is rasterised once,
// white on black, into a process-wide scratch bitmap, kept as an 8-bit
// coverage mask and blended in software with the text colour.
// On Linux glyphs come from FreeType (faces resolved by fontconfig) and the
// GDI path never applies.
//
// Threading: no locking. Fonts, their caches, the scratch bitmap and the
// Wine flag are used only on the editor's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/Bitmap.h"
#include "render/PixelRect.h"

// An OS font: an HFONT on Windows, a FreeType face record elsewhere.
using LICE_FontHandle = void*;

// Makes a font with the arguments of GDI's CreateFontA, in its order; null
// when the OS refuses. A positive height is the cell height (ascent plus
// descent), a negative one the character height. Elsewhere than Windows the
// face is resolved by fontconfig ("Arial" gives a metric-compatible face),
// weight >= 600 picks a bold face, quality 3 (no antialiasing) renders
// two-level masks, and escapement, orientation, underline, strike-out,
// character set, precisions and pitch are not applied.
LICE_FontHandle LICE_CreateFont(int height, int width, int escapement, int orientation, int weight,
                                bool italic, bool underline, bool strikeOut, unsigned charSet,
                                unsigned outPrecision, unsigned clipPrecision, unsigned quality,
                                unsigned pitchAndFamily, const char* face);
// Releases a font made by LICE_CreateFont (null is ignored).
void LICE_DeleteFont(LICE_FontHandle font);

// Font flags.
enum : int {
  FontOwnsGdiFont = 0x200,  // delete the OS font when replaced or destroyed
  FontPreferGdi = 0x400,    // draw through the OS when allowed
};

// DrawString format bits: the values of the Windows DT_ flags of the same
// meaning, plus TextUseInkAlpha.
enum : int {
  DrawTextCenter = 0x1,
  DrawTextRight = 0x2,
  DrawTextVCenter = 0x4,
  DrawTextBottom = 0x8,
  DrawTextSingleLine = 0x20,
  DrawTextNoClip = 0x100,
  DrawTextCalcRect = 0x400,   // measure only
  DrawTextNoPrefix = 0x800,
  TextUseInkAlpha = 0x40000000,  // scale the weight by the text colour's alpha
};

// Background modes (the GDI values).
enum : int { PaperTransparent = 1, PaperOpaque = 2 };

// One cached character.
struct GlyphRecord {
  int32_t storePosition;  // 0 = not rendered yet, -1 = nothing to draw, n > 0: mask at byte n - 1
  int32_t width;          // mask width and height in pixels
  int32_t height;
  int32_t advance;        // pen movement after the character
  int32_t code;
  int32_t bearing;        // how far left of the pen the mask's first column lies (>= 0)
};

// Reads one character of UTF-8 from at most `available` bytes. Answers the
// bytes used (1 for anything that is not a complete 2- or 3-byte sequence or
// a 4-byte one) and stores its 16-bit code; 4-byte characters become a space.
// Answers 0 only when available is 0.
size_t DecodeUtf8Char(const unsigned char* bytes, size_t available, int* code);

class LICE_IFont {
 public:
  LICE_IFont() = default;
  LICE_IFont(const LICE_IFont&) = delete;
  LICE_IFont& operator=(const LICE_IFont&) = delete;
  virtual ~LICE_IFont();

  // Attaches an OS font (emptying every cache). With FontOwnsGdiFont the
  // previous different font is deleted.
  virtual void AttachGdiFont(LICE_FontHandle font, int flags) = 0;
  virtual PackedPixel SetInkColor(PackedPixel color) = 0;
  virtual PackedPixel SetPaperColor(PackedPixel color) = 0;
  virtual PackedPixel SetEffectInk(PackedPixel color) = 0;  // accepted, never drawn
  virtual int SetPaperMode(int mode) = 0;
  // Blend mode word and weight for glyph drawing; only BlendCopy draws.
  virtual void SetBlend(int mode, float weight) = 0;
  // Draws UTF-8 text (length in bytes, -1 up to the terminator) into rect
  // with the format bits above; answers the drawn height. With
  // DrawTextCalcRect writes the extent into rect instead (no destination
  // needed).
  virtual int DrawString(LICE_IBitmap* dest, const char* text, int length, PixelRect* rect,
                         int format) = 0;
  virtual PackedPixel InkColor() const = 0;
  virtual LICE_FontHandle GdiFont() const = 0;
  virtual int LineHeight() const = 0;
};

class LICE_CachedFont : public LICE_IFont {
 public:
  LICE_CachedFont();
  ~LICE_CachedFont() override;

  void AttachGdiFont(LICE_FontHandle font, int flags) override;
  PackedPixel SetInkColor(PackedPixel color) override;
  PackedPixel SetPaperColor(PackedPixel color) override;
  PackedPixel SetEffectInk(PackedPixel color) override;
  int SetPaperMode(int mode) override;
  void SetBlend(int mode, float weight) override;
  int DrawString(LICE_IBitmap* dest, const char* text, int length, PixelRect* rect,
                 int format) override;
  PackedPixel InkColor() const override { return m_ink; }
  LICE_FontHandle GdiFont() const override { return m_font; }
  int LineHeight() const override { return m_lineHeight; }

  // Blends one cached glyph with its pen at (x, y), limited to clip (and to
  // the destination). False when the glyph is not cached, has no mask or
  // nothing of it lies inside.
  virtual bool PaintGlyph(LICE_IBitmap* dest, int code, int x, int y, const PixelRect& clip);

  // The cached record of a character (rendered or not), or null.
  const GlyphRecord* FindGlyph(int code) const;
  // The coverage bytes of a record with a mask (width x height, row after
  // row), or null.
  const uint8_t* GlyphMask(const GlyphRecord& glyph) const;

  // Number of live LICE_CachedFont objects in the process.
  static int LiveFonts();

 private:
  GlyphRecord* FindRecord(int code);
  // Rasterises one character into the cache; false when it could not try.
  bool RenderGlyph(int code);
  const GlyphRecord* CachedGlyph(int code);
  bool UsesGdiPath(int format);
  int MeasureGlyphs(const char* text, size_t length, PixelRect* rect, int format);
  int DrawGlyphs(LICE_IBitmap* dest, const char* text, int length, PixelRect* rect, int format);

  PackedPixel m_ink = 0;
  PackedPixel m_paper = 0xFFFFFFFF;
  PackedPixel m_effectInk = 0xFFFFFFFF;
  int32_t m_paperMode = PaperTransparent;
  int32_t m_blendMode = BlendCopy;
  float m_weight = 1.0f;
  int32_t m_flags = 0;
  int32_t m_lineHeight = 0;
  int32_t m_lineSpacing = 0;  // extra pixels between lines
  GlyphRecord m_table[128] = {};
  std::vector<GlyphRecord> m_list;  // codes from 128 up, sorted by code
  std::vector<uint8_t> m_store;     // every mask, one after another
  LICE_FontHandle m_font = nullptr;
};
