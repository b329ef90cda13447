// Glyphs without GDI: fontconfig resolves the face, FreeType rasterises it
// into the scratch bitmap the way GDI would draw white text on black: the
// cell is ascent + descent high, scaled like a GDI font of positive height,
// the pen starts `pad` pixels in and the cell top is row 0.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <cmath>
#include <mutex>
#include <new>

#include "render/FontPlatform.h"

namespace {

struct PosixFont {
  FT_Face face = nullptr;
  int ascent = 0;
  int descent = 0;
  bool monochrome = false;
};

// FreeType's library object and our fontconfig configuration are shared by
// every face and released with the last one; faces are created and released
// under this lock (font creation may happen on any thread that builds an
// editor). fontconfig's implicit default configuration is never freed, hence
// one of our own.
std::mutex g_freetypeLock;
FT_Library g_freetype = nullptr;
FcConfig* g_fontconfig = nullptr;
int g_faces = 0;

void ReleaseSharedIfUnused() {
  if (g_faces != 0) return;
  if (g_freetype) FT_Done_FreeType(g_freetype);
  g_freetype = nullptr;
  if (g_fontconfig) FcConfigDestroy(g_fontconfig);
  g_fontconfig = nullptr;
}

// Loads the face fontconfig picks for the request; null when none loads.
FT_Face OpenFace(const char* family, int weight, bool italic) {
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return nullptr;
  FcPatternAddString(pattern, FC_FAMILY,
                     reinterpret_cast<const FcChar8*>(family && *family ? family : "sans-serif"));
  FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight > 0 ? weight : 400));
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(g_fontconfig, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(g_fontconfig, pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) return nullptr;

  FT_Face face = nullptr;
  FcChar8* file = nullptr;
  int index = 0;
  if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    if (FT_New_Face(g_freetype, reinterpret_cast<const char*>(file), index, &face) != 0)
      face = nullptr;
  }
  FcPatternDestroy(match);
  return face;
}

// Sizes the face like GDI: a positive height is the Windows cell
// (usWinAscent + usWinDescent), a negative one the em square.
bool SizeFace(PosixFont& font, int height) {
  FT_Face face = font.face;
  if (!FT_IS_SCALABLE(face)) {
    if (face->num_fixed_sizes < 1 || FT_Select_Size(face, 0) != 0) return false;
    font.ascent = int(face->size->metrics.ascender >> 6);
    font.descent = int((-face->size->metrics.descender) >> 6);
    return true;
  }
  double cellAscent = face->ascender, cellDescent = -face->descender;
  if (const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2))) {
    if (os2->usWinAscent + os2->usWinDescent > 0) {
      cellAscent = os2->usWinAscent;
      cellDescent = os2->usWinDescent;
    }
  }
  if (cellAscent + cellDescent <= 0) return false;
  if (height == 0) height = 12;  // GDI's choice for 0 is also a small default
  const double units = face->units_per_EM;
  double ppem = 0;
  if (height > 0) {
    ppem = height * units / (cellAscent + cellDescent);
    font.ascent = int(std::lround(height * cellAscent / (cellAscent + cellDescent)));
    font.descent = int(std::lround(height * cellDescent / (cellAscent + cellDescent)));
  } else {
    ppem = -double(height);
    font.ascent = int(std::lround(cellAscent * ppem / units));
    font.descent = int(std::lround(cellDescent * ppem / units));
  }
  if (ppem < 1 || ppem > 4096) return false;
  return FT_Set_Char_Size(face, 0, FT_F26Dot6(std::lround(ppem * 64)), 72, 72) == 0;
}

FT_Int32 LoadFlags(const PosixFont& font) {
  return FT_LOAD_DEFAULT | (font.monochrome ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
}

// Control characters have no glyph; every other code draws, missing ones
// with the face's default glyph, as GDI does.
bool HasGlyph(int code) { return code >= 32 && code != 127; }

}  // namespace

LICE_FontHandle LICE_CreateFont(int height, int width, int escapement, int orientation, int weight,
                                bool italic, bool underline, bool strikeOut, unsigned charSet,
                                unsigned outPrecision, unsigned clipPrecision, unsigned quality,
                                unsigned pitchAndFamily, const char* face) {
  std::lock_guard<std::mutex> lock(g_freetypeLock);
  if (!g_freetype && FT_Init_FreeType(&g_freetype) != 0) g_freetype = nullptr;
  if (!g_fontconfig) g_fontconfig = FcInitLoadConfigAndFonts();
  if (!g_freetype || !g_fontconfig) {
    ReleaseSharedIfUnused();
    return nullptr;
  }
  auto* font = new (std::nothrow) PosixFont();
  if (font) {
    font->face = OpenFace(face, weight, italic);
    font->monochrome = quality == 3;  // NONANTIALIASED_QUALITY
    if (font->face && SizeFace(*font, height)) {
      ++g_faces;
      return font;
    }
    if (font->face) FT_Done_Face(font->face);
    delete font;
  }
  ReleaseSharedIfUnused();
  return nullptr;
}

void LICE_DeleteFont(LICE_FontHandle handle) {
  if (!handle) return;
  std::lock_guard<std::mutex> lock(g_freetypeLock);
  auto* font = static_cast<PosixFont*>(handle);
  FT_Done_Face(font->face);
  delete font;
  --g_faces;
  ReleaseSharedIfUnused();
}

bool lice_font_platform::HasOsTextPath() { return false; }

bool lice_font_platform::DetectWine() { return false; }

void lice_font_platform::PrepareScratch(LICE_SysBitmap*) {}

int lice_font_platform::LineHeightOf(LICE_FontHandle handle, LICE_SysBitmap*) {
  const auto* font = static_cast<const PosixFont*>(handle);
  return font ? font->ascent + font->descent : 0;
}

void lice_font_platform::RasterizeGlyph(LICE_FontHandle handle, LICE_SysBitmap* scratch, int code,
                                        int pad, int* w, int* h) {
  *w = 0;
  *h = 0;
  auto* font = static_cast<PosixFont*>(handle);
  if (!font || !scratch || !HasGlyph(code)) return;
  FT_Face face = font->face;
  const FT_UInt index = FT_Get_Char_Index(face, FT_ULong(code));
  if (FT_Load_Glyph(face, index, LoadFlags(*font)) != 0) return;
  *w = int((face->glyph->advance.x + 32) >> 6);
  *h = font->ascent + font->descent;
  if (*w < 1) return;

  FillBitmapRect(scratch, 0, 0, *w + 2 * pad, *h, 0, 1.0f, BlendCopy);
  const FT_Render_Mode mode = font->monochrome ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL;
  if (FT_Render_Glyph(face->glyph, mode) != 0) return;

  const FT_Bitmap& glyph = face->glyph->bitmap;
  const bool mono = glyph.pixel_mode == FT_PIXEL_MODE_MONO;
  if (!mono && glyph.pixel_mode != FT_PIXEL_MODE_GRAY) return;
  const int left = pad + face->glyph->bitmap_left;
  const int top = font->ascent - face->glyph->bitmap_top;
  const int sw = scratch->PixelWidth(), sh = scratch->PixelHeight();
  PackedPixel* bits = scratch->PixelBuffer();
  const int span = scratch->RowSpanPixels();
  const int pitch = glyph.pitch < 0 ? -glyph.pitch : glyph.pitch;
  for (unsigned r = 0; r < glyph.rows; ++r) {
    const int y = top + int(r);
    if (y < 0 || y >= sh) continue;
    const unsigned char* in =
        glyph.buffer + size_t(glyph.pitch < 0 ? glyph.rows - 1 - r : r) * size_t(pitch);
    for (unsigned c = 0; c < glyph.width; ++c) {
      const int x = left + int(c);
      if (x < 0 || x >= sw) continue;
      const unsigned k = mono ? ((in[c >> 3] >> (7 - (c & 7))) & 1) * 255 : in[c];
      if (k) bits[size_t(y) * size_t(span) + size_t(x)] = 0xFF000000u | k * 0x010101u;
    }
  }
}

int lice_font_platform::OsDrawString(const OsTextStyle&, LICE_DC, const char*, int, PixelRect*,
                                     int) {
  return 0;  // no OS text path here
}
