// What the text renderer asks of the OS; one implementation per platform
// (FontWin.cpp, FontPosix.cpp). Internal to the render library.
#pragma once

#include <cstdint>

#include "render/Bitmap.h"
#include "render/Font.h"

namespace lice_font_platform {

// Whether the OS can draw text straight into a bitmap's device context.
bool HasOsTextPath();

// The registry test for Wine (Windows); false elsewhere.
bool DetectWine();

// Called after the glyph scratch bitmap was (re)sized: white text on an
// opaque black background.
void PrepareScratch(LICE_SysBitmap* scratch);

// The font's cell height (GDI tmHeight), or 0 when it cannot be read.
int LineHeightOf(LICE_FontHandle font, LICE_SysBitmap* scratch);

// Measures one character as a single line (w = advance, h = cell height),
// clears (0, 0, w + 2 pad, h) of the scratch to 0 and draws the character
// white on black with its pen at x = pad, cell top at y = 0. A null font
// draws with whatever the scratch context holds (Windows) or nothing.
void RasterizeGlyph(LICE_FontHandle font, LICE_SysBitmap* scratch, int code, int pad, int* w,
                    int* h);

// Everything the OS text path needs of a font.
struct OsTextStyle {
  LICE_FontHandle font;
  PackedPixel ink;
  PackedPixel paper;
  int paperMode;
};

// Draws (or measures, with DrawTextCalcRect) through the OS on `dc`, or on a
// temporary context when dc is null; answers the OS's height. Only called
// when HasOsTextPath().
int OsDrawString(const OsTextStyle& style, LICE_DC dc, const char* text, int length,
                 PixelRect* rect, int format);

}  // namespace lice_font_platform
