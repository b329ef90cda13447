// Text: UTF-8 decoding, glyph masks, measuring and drawing. Expected images
// are composited here from the cached masks with the blend formula computed
// in doubles; glyph positions are laid out by hand for the codes each test
// names.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "render/Font.h"
#include "render/FontPlatform.h"
#include "render/FontTesting.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

LICE_FontHandle MakeArial(int height, int weight = 400, bool italic = false) {
  return LICE_CreateFont(height, 0, 0, 0, weight, italic, false, false, 0, 0, 0, 0, 0, "Arial");
}

std::unique_ptr<LICE_CachedFont> MakeFont(int height, bool italic = false) {
  auto font = std::make_unique<LICE_CachedFont>();
  LICE_FontHandle handle = MakeArial(height, 400, italic);
  EXPECT_NE(handle, nullptr);
  font->AttachGdiFont(handle, FontOwnsGdiFont | FontPreferGdi);
  return font;
}

int Pad(int lineHeight) { return lineHeight < 16 ? 2 : lineHeight / 16 + 2; }

int Trunc(double v) { return int(std::trunc(v)); }

uint32_t& At(LICE_IBitmap& bm, int x, int y) { return bm.PixelBuffer()[y * bm.RowSpanPixels() + x]; }

std::vector<uint32_t> Snapshot(LICE_IBitmap& bm) {
  std::vector<uint32_t> out;
  for (int y = 0; y < bm.PixelHeight(); ++y)
    for (int x = 0; x < bm.PixelWidth(); ++x) out.push_back(At(bm, x, y));
  return out;
}

struct Placed {
  int code;
  int64_t penX, penY;
};

// Glyphs one after another from (x, y), advancing by each record.
std::vector<Placed> Layout(const LICE_CachedFont& font, const std::vector<int>& codes, int64_t x, int64_t y) {
  std::vector<Placed> out;
  for (int code : codes) {
    const GlyphRecord* g = font.FindGlyph(code);
    if (!g || g->storePosition <= 0) continue;
    out.push_back({code, x, y});
    x += g->advance;
  }
  return out;
}

// Blends the placed masks into a copy of the image: ink colour, integer
// weight v, clip limited to the image.
std::vector<uint32_t> Composite(std::vector<uint32_t> img, int w, int h, const LICE_CachedFont& font,
                                const std::vector<Placed>& glyphs, uint32_t ink, int v, PixelRect clip) {
  const int64_t cl = std::max(clip.left, 0), ct = std::max(clip.top, 0);
  const int64_t cr = std::min(clip.right, w), cb = std::min(clip.bottom, h);
  const int c[3] = {int(ink & 255), int(ink >> 8 & 255), int(ink >> 16 & 255)};
  for (const Placed& p : glyphs) {
    const GlyphRecord* g = font.FindGlyph(p.code);
    const uint8_t* mask = g ? font.GlyphMask(*g) : nullptr;
    if (!mask) continue;
    for (int r = 0; r < g->height; ++r)
      for (int col = 0; col < g->width; ++col) {
        const int64_t x = p.penX - g->bearing + col, y = p.penY + r;
        const int k = mask[r * g->width + col];
        if (k == 0 || x < cl || x >= cr || y < ct || y >= cb || v == 0) continue;
        const int s = v == 256 ? 255 - k : 256 - std::min(Trunc(double(v) * k / 256.0), 256);
        uint32_t& d = img[size_t(y * w + x)];
        int ch[4] = {int(d & 255), int(d >> 8 & 255), int(d >> 16 & 255), int(d >> 24)};
        for (int i = 0; i < 3; ++i) ch[i] = c[i] + Trunc(double(ch[i] - c[i]) * s / 256.0);
        ch[3] = 255 + Trunc(double(ch[3] - 255) * s / 256.0);
        d = uint32_t(ch[0] & 255) | uint32_t(ch[1] & 255) << 8 | uint32_t(ch[2] & 255) << 16 |
            uint32_t(ch[3] & 255) << 24;
      }
  }
  return img;
}

PixelRect Measure(LICE_CachedFont& font, const char* text, int format = 0, int length = -1) {
  PixelRect r{0, 0, 0, 0};
  font.DrawString(nullptr, text, length, &r, format | DrawTextCalcRect);
  return r;
}

// The glyph path wherever the format allows it, on every platform, so the
// expected images are those of the cache. Tests of the OS path and of the
// Wine decision itself choose their own answer.
class Text : public ::testing::Test {
 protected:
  void SetUp() override { lice_testing::SetWineAnswer(lice_testing::WineAnswer::Wine); }
  void TearDown() override { lice_testing::SetWineAnswer(lice_testing::WineAnswer::Detect); }
};

constexpr uint32_t kBackground = 0x80402010u;

}  // namespace

TEST(Utf8, DecodesEachSequenceKind) {
  struct Case {
    std::string bytes;
    size_t used;
    int code;
  };
  const Case cases[] = {
      {"A", 1, 'A'},
      {"\x80", 1, 0x80},                  // lone continuation: itself
      {"\xC1\x80", 1, 0xC1},              // not a valid lead
      {"\xC2\x80", 2, 0x80},
      {"\xC3\xA9", 2, 0xE9},
      {"\xDF\xBF", 2, 0x7FF},
      {"\xC3" "A", 1, 0xC3},              // lead without continuation
      {"\xE2\x82\xAC", 3, 0x20AC},
      {"\xEF\xBF\xBF", 3, 0xFFFF},
      {"\xE2\x82", 1, 0xE2},              // cut short
      {"\xF0\x9F\x98\x80", 4, 32},        // beyond 16 bits: a space
      {"\xF4\x8F\xBF\xBF", 4, 32},
      {"\xF0\x9F\x98", 1, 0xF0},
      {"\xF5\x80\x80\x80", 1, 0xF5},
      {"\xFF", 1, 0xFF},
  };
  for (const Case& c : cases) {
    int code = -1;
    const size_t used =
        DecodeUtf8Char(reinterpret_cast<const unsigned char*>(c.bytes.data()), c.bytes.size(), &code);
    EXPECT_EQ(used, c.used) << c.bytes;
    EXPECT_EQ(code, c.code) << c.bytes;
  }
  int code = 7;
  EXPECT_EQ(DecodeUtf8Char(reinterpret_cast<const unsigned char*>(""), 0, &code), 0u);
}

TEST_F(Text, FontStateAndLineHeight) {
  const int before = LICE_CachedFont::LiveFonts();
  {
    LICE_CachedFont font;
    EXPECT_EQ(LICE_CachedFont::LiveFonts(), before + 1);
    EXPECT_EQ(font.InkColor(), 0u);
    EXPECT_EQ(font.GdiFont(), nullptr);
    EXPECT_EQ(font.LineHeight(), 0);
    EXPECT_EQ(font.SetInkColor(0xC0FFFFFFu), 0u);
    EXPECT_EQ(font.SetInkColor(0xFF000000u), 0xC0FFFFFFu);
    EXPECT_EQ(font.SetPaperColor(1), 0xFFFFFFFFu);
    EXPECT_EQ(font.SetEffectInk(2), 0xFFFFFFFFu);
    EXPECT_EQ(font.SetPaperMode(PaperOpaque), PaperTransparent);

    LICE_FontHandle h14 = MakeArial(14);
    ASSERT_NE(h14, nullptr);
    font.AttachGdiFont(h14, FontOwnsGdiFont | FontPreferGdi);
    EXPECT_EQ(font.GdiFont(), h14);
    EXPECT_EQ(font.LineHeight(), 14);
    font.AttachGdiFont(MakeArial(16), FontOwnsGdiFont | FontPreferGdi);
    EXPECT_EQ(font.LineHeight(), 16);
#ifdef _WIN32
    EXPECT_EQ(GetObjectType(h14), 0u);  // the owned font it replaced is gone
#endif
  }
  EXPECT_EQ(LICE_CachedFont::LiveFonts(), before);
}

TEST_F(Text, CachedMasksAreTheCroppedRasterOfEachCharacter) {
  // Rasterise independently into a scratch of our own and crop by the rule:
  // left crop = first inked column but at most pad, right end = one past the
  // last inked column but at least advance + pad. Sizes on both sides of the
  // padding step at 16 pixels.
  for (bool italic : {false, true})
    for (int height : {11, 20, 40}) {
      auto font = MakeFont(height, italic);
      const int lh = font->LineHeight();
      const int pad = Pad(lh);
      LICE_SysBitmap scratch(2 * lh + 8, 2 * lh + 8);
      lice_font_platform::PrepareScratch(&scratch);
      for (int code : {int('A'), int('f'), int('j'), int('W'), int('.'), int(' '), 0xE9, 0x20AC}) {
        int w = 0, h = 0;
        lice_font_platform::RasterizeGlyph(font->GdiFont(), &scratch, code, pad, &w, &h);
        ASSERT_GT(w, 0);
        ASSERT_EQ(h, lh);
        const int full = w + 2 * pad;
        int first = full, last = -1, inked = 0;
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < full; ++x)
            if ((At(scratch, x, y) >> 16) & 255) {
              first = std::min(first, x);
              last = std::max(last, x);
              ++inked;
            }
        if (code != ' ') {
          EXPECT_GT(inked, 0) << code << ": no ink rendered";
        }
        const int left = std::min(first, pad), right = std::max(last + 1, w + pad);

        PixelRect r{0, 0, 0, 0};
        const std::string utf8 = code < 0x80    ? std::string(1, char(code))
                                 : code < 0x800 ? std::string{char(0xC0 | code >> 6), char(0x80 | (code & 63))}
                                                : std::string{char(0xE0 | code >> 12), char(0x80 | (code >> 6 & 63)),
                                                              char(0x80 | (code & 63))};
        font->DrawString(nullptr, utf8.c_str(), -1, &r, DrawTextCalcRect);
        const GlyphRecord* g = font->FindGlyph(code);
        ASSERT_NE(g, nullptr);
        ASSERT_GT(g->storePosition, 0);
        EXPECT_EQ(g->code, code);
        EXPECT_EQ(g->height, lh);
        ASSERT_EQ(g->width, right - left) << code;
        EXPECT_EQ(g->bearing, pad - left);
        EXPECT_EQ(g->advance, w);
        if (code == ' ') {  // a space: a mask of its advance, all empty
          EXPECT_EQ(g->width, g->advance);
          EXPECT_EQ(g->bearing, 0);
        }
        const uint8_t* mask = font->GlyphMask(*g);
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < g->width; ++x)
            ASSERT_EQ(mask[y * g->width + x], (At(scratch, left + x, y) >> 16) & 255)
                << "code " << code << " at " << x << "," << y;
      }
    }
}

#ifndef _WIN32
TEST_F(Text, ItalicOverhangKeepsItsColumn) {
  // Liberation Sans Italic draws the tail of 'j' left of its pen.
  auto font = MakeFont(24, true);
  Measure(*font, "j");
  const GlyphRecord* g = font->FindGlyph('j');
  ASSERT_GT(g->storePosition, 0);
  EXPECT_GE(g->bearing, 1);
  const uint8_t* mask = font->GlyphMask(*g);
  bool ink = false;
  for (int r = 0; r < g->height; ++r) ink |= mask[r * g->width] != 0;
  EXPECT_TRUE(ink);
}
#endif

TEST_F(Text, MeasuringFollowsTheGlyphRecords) {
  auto font = MakeFont(14);
  const int lh = font->LineHeight();
  const PixelRect ab = Measure(*font, "AB");
  const GlyphRecord* a = font->FindGlyph('A');
  const GlyphRecord* b = font->FindGlyph('B');
  const int wantWidth = std::max({a->advance, a->width - a->bearing, a->advance + b->advance,
                                  a->advance + b->width - b->bearing});
  EXPECT_EQ(ab.right, wantWidth);
  EXPECT_EQ(ab.bottom, lh);

  PixelRect offset{7, 9, 0, 0};
  EXPECT_EQ(font->DrawString(nullptr, "AB", -1, &offset, DrawTextCalcRect), lh);
  EXPECT_EQ(offset.right, 7 + wantWidth);
  EXPECT_EQ(offset.bottom, 9 + lh);

  // Line feeds: a new line, or a space on a single line. Returns are skipped.
  const PixelRect twoLines = Measure(*font, "A\nB");
  EXPECT_EQ(twoLines.bottom, 2 * lh);
  EXPECT_EQ(twoLines.right, std::max(Measure(*font, "A").right, Measure(*font, "B").right));
  const PixelRect single = Measure(*font, "A\nB", DrawTextSingleLine);
  const PixelRect spaced = Measure(*font, "A B");
  EXPECT_EQ(single.right, spaced.right);
  EXPECT_EQ(single.bottom, lh);
  EXPECT_EQ(Measure(*font, "A\rB").right, ab.right);

  // A 4-byte character measures as a space; a length counts bytes.
  EXPECT_EQ(Measure(*font, "x\xF0\x9F\x98\x80y").right, Measure(*font, "x y").right);
  EXPECT_EQ(Measure(*font, "ABCD", 0, 2).right, ab.right);
  EXPECT_EQ(Measure(*font, "").right, 0);
  EXPECT_EQ(Measure(*font, "").bottom, 0);

  // A long text is the sum of its advances.
  std::string longText;
  for (int i = 0; i < 30000; ++i) longText += "ab";
  const PixelRect wide = Measure(*font, longText.c_str());
  const GlyphRecord* ga = font->FindGlyph('a');
  const GlyphRecord* gb = font->FindGlyph('b');
  const int64_t pen = int64_t(29999) * (ga->advance + gb->advance) + ga->advance;
  EXPECT_EQ(wide.right, std::max<int64_t>(pen + gb->advance, pen + gb->width - gb->bearing));
}

TEST_F(Text, CharactersBeyondAsciiAreCachedInTheSortedList) {
  auto font = MakeFont(14);
  Measure(*font, "\xCE\xA9\xC4\x80\xE2\x82\xAC\xC3\xA9\xC4\x81\x80");  // Ω Ā € é ā and a lone 0x80
  for (int code : {0x3A9, 0x100, 0x20AC, 0xE9, 0x101, 0x80}) {
    const GlyphRecord* g = font->FindGlyph(code);
    ASSERT_NE(g, nullptr) << code;
    EXPECT_NE(g->storePosition, 0) << code;
    EXPECT_EQ(g->code, code);
  }
  EXPECT_EQ(font->FindGlyph(0x3A8), nullptr);
  EXPECT_EQ(font->FindGlyph(-1), nullptr);

  // Attaching a font empties every cache.
  font->AttachGdiFont(MakeArial(14), FontOwnsGdiFont | FontPreferGdi);
  EXPECT_EQ(font->FindGlyph(0x3A9), nullptr);
  EXPECT_EQ(font->FindGlyph('A')->storePosition, 0);
}

TEST_F(Text, OpaqueAndTranslucentInkBlendByTheFormula) {
  auto font = MakeFont(14);
  struct Case {
    uint32_t ink;
    int format;
    float fontWeight;
  };
  const Case cases[] = {
      {0xFF102030u, 0, 1.0f},                      // full weight
      {0x80FFFFFFu, TextUseInkAlpha, 1.0f},        // 128/255 of the weight
      {0xC0FFFFFFu, TextUseInkAlpha, 1.0f},        // the editor's white text
      {0xC0FF8000u, TextUseInkAlpha, 0.5f},        // and the font's own weight
      {0x20FF8000u, 0, 0.7f},                      // alpha ignored without the flag
  };
  for (bool sys : {false, true})
    for (const Case& c : cases) {
      std::unique_ptr<LICE_IBitmap> dest;
      if (sys)
        dest = std::make_unique<LICE_SysBitmap>(80, 30);
      else
        dest = std::make_unique<LICE_MemBitmap>(80, 30);
      FillBitmapRect(dest.get(), 0, 0, 80, 30, kBackground, 1.0f, BlendCopy);
      const auto before = Snapshot(*dest);
      font->SetInkColor(c.ink);
      font->SetBlend(BlendCopy, c.fontWeight);
      PixelRect rect{3, 2, 80, 30};
      const int drawn = font->DrawString(dest.get(), "Hi\xC3\xA9", -1, &rect, c.format);
      EXPECT_EQ(drawn, font->LineHeight());
      const float weight = (c.format & TextUseInkAlpha) ? float(c.ink >> 24) / 255.0f * c.fontWeight : c.fontWeight;
      const int v = Trunc(double(weight) * 256.0);
      const auto want = Composite(before, 80, 30, *font, Layout(*font, {'H', 'i', 0xE9}, 3, 2), c.ink, v, rect);
      ASSERT_EQ(Snapshot(*dest), want) << std::hex << "ink 0x" << c.ink << (sys ? " sys" : " mem");
      EXPECT_NE(want, before);
    }
  font->SetBlend(BlendCopy, 1.0f);

  // Zero weight from the ink's alpha draws nothing and answers 0.
  LICE_MemBitmap dest(40, 20);
  FillBitmapRect(&dest, 0, 0, 40, 20, kBackground, 1.0f, BlendCopy);
  const auto before = Snapshot(dest);
  font->SetInkColor(0x00FFFFFFu);
  PixelRect rect{0, 0, 40, 20};
  EXPECT_EQ(font->DrawString(&dest, "Hi", -1, &rect, TextUseInkAlpha), 0);
  EXPECT_EQ(Snapshot(dest), before);
}

TEST_F(Text, LineFeedsAndOddBytesWhenDrawing) {
  auto font = MakeFont(14);
  const int lh = font->LineHeight();
  font->SetInkColor(0xFFFFFFFFu);
  LICE_MemBitmap dest(60, 50);
  auto draw = [&](const char* text, int format) {
    FillBitmapRect(&dest, 0, 0, 60, 50, kBackground, 1.0f, BlendCopy);
    PixelRect rect{4, 3, 60, 50};
    const int height = font->DrawString(&dest, text, -1, &rect, format);
    return std::make_pair(height, Snapshot(dest));
  };
  FillBitmapRect(&dest, 0, 0, 60, 50, kBackground, 1.0f, BlendCopy);
  const auto blank = Snapshot(dest);
  const PixelRect all{4, 3, 60, 50};

  // A new line starts one line height lower at the starting x.
  const auto twoLines = draw("A\nB", 0);
  EXPECT_EQ(twoLines.first, 2 * lh);
  std::vector<Placed> placed = {{'A', 4, 3}, {'B', 4, 3 + lh}};
  EXPECT_EQ(twoLines.second, Composite(blank, 60, 50, *font, placed, 0xFFFFFFFFu, 256, all));

  // On a single line it is a space.
  const auto single = draw("A\nB", DrawTextSingleLine);
  EXPECT_EQ(single.first, lh);
  EXPECT_EQ(single.second, draw("A B", 0).second);

  // A 4-byte character is a space; a lone continuation byte its own glyph.
  EXPECT_EQ(draw("x\xF0\x9F\x98\x80y", 0).second, draw("x y", 0).second);
  const auto lone = draw("\x80" "A", 0);
  EXPECT_EQ(lone.second, Composite(blank, 60, 50, *font, Layout(*font, {0x80, 'A'}, 4, 3), 0xFFFFFFFFu, 256, all));
}

TEST_F(Text, AlignmentArithmeticOnTheGlyphPath) {
  auto font = MakeFont(14);
  font->SetInkColor(0xFFFFFFFFu);
  const int lh = font->LineHeight();
  const int tw = Measure(*font, "Veltrane").right;
  ASSERT_GT(tw, 0);
  LICE_MemBitmap dest(140, 60);
  struct Case {
    int format;
    PixelRect rect;
    int64_t x, y;
  };
  const Case cases[] = {
      {DrawTextCenter, {10, 0, 101, 20}, 10 + (101 - tw - 10) / 2, 0},
      {DrawTextRight, {10, 5, 101, 20}, 101 - tw, 5},
      {DrawTextVCenter, {2, 10, 120, 51}, 2, 10 + (51 - lh - 10) / 2},
      {DrawTextBottom, {2, 10, 120, 51}, 2, 51 - lh},
      {DrawTextCenter | DrawTextVCenter, {20, 20, 41, 30}, 20 + (41 - tw - 20) / 2, 20 + (30 - lh - 20) / 2},
      {DrawTextRight | DrawTextBottom, {0, 0, 30, 9}, 30 - tw, 9 - lh},  // wider than its box
  };
  for (const Case& c : cases) {
    FillBitmapRect(&dest, 0, 0, 140, 60, kBackground, 1.0f, BlendCopy);
    const auto blank = Snapshot(dest);
    PixelRect rect = c.rect;
    font->DrawString(&dest, "Veltrane", -1, &rect, c.format | DrawTextNoClip);
    const std::vector<int> codes = {'V', 'e', 'l', 't', 'r', 'a', 'n', 'e'};
    const auto want = Composite(blank, 140, 60, *font, Layout(*font, codes, c.x, c.y), 0xFFFFFFFFu, 256,
                                PixelRect{0, 0, 140, 60});
    EXPECT_EQ(Snapshot(dest), want) << "format " << c.format;
  }
}

TEST_F(Text, DrawingIsClippedToTheRectangleAndTheBitmap) {
  auto font = MakeFont(14);
  font->SetInkColor(0xFF00FF00u);
  LICE_SysBitmap dest(50, 30);
  FillBitmapRect(&dest, 0, 0, 50, 30, kBackground, 1.0f, BlendCopy);
  const auto blank = Snapshot(dest);

  PixelRect rect{12, 4, 22, 11};
  font->DrawString(&dest, "WWW", -1, &rect, 0);
  EXPECT_EQ(Snapshot(dest), Composite(blank, 50, 30, *font, Layout(*font, {'W', 'W', 'W'}, 12, 4), 0xFF00FF00u, 256, rect));

  // Partly outside the bitmap, on every side.
  for (PixelRect r : {PixelRect{-7, -5, 20, 9}, PixelRect{40, 20, 90, 90}, PixelRect{-30, 25, 200, 40}}) {
    FillBitmapRect(&dest, 0, 0, 50, 30, kBackground, 1.0f, BlendCopy);
    PixelRect copy = r;
    font->DrawString(&dest, "Wj", -1, &copy, 0);
    EXPECT_EQ(Snapshot(dest), Composite(blank, 50, 30, *font, Layout(*font, {'W', 'j'}, r.left, r.top), 0xFF00FF00u, 256, r));
  }

  // Entirely outside, empty, or at the ends of the int range: nothing.
  FillBitmapRect(&dest, 0, 0, 50, 30, kBackground, 1.0f, BlendCopy);
  for (PixelRect r : {PixelRect{60, 0, 90, 20}, PixelRect{10, 10, 10, 20}, PixelRect{INT_MIN, INT_MIN, INT_MIN + 5, 0},
                      PixelRect{INT_MAX - 3, INT_MAX - 3, INT_MAX, INT_MAX}}) {
    PixelRect copy = r;
    EXPECT_EQ(font->DrawString(&dest, "Wj", -1, &copy, 0), 0);
  }
  PixelRect farAway{INT_MAX - 3, 0, INT_MAX, 30};
  font->DrawString(&dest, "WjWjWj", -1, &farAway, DrawTextNoClip | DrawTextCenter | DrawTextBottom);
  PixelRect farLeft{INT_MIN, 0, INT_MIN + 1, 30};
  font->DrawString(&dest, "Wj", -1, &farLeft, DrawTextNoClip | DrawTextRight);
  EXPECT_EQ(Snapshot(dest), blank);

  // No destination (unless measuring), no text, no rectangle: 0.
  PixelRect r{0, 0, 50, 30};
  EXPECT_EQ(font->DrawString(nullptr, "W", -1, &r, 0), 0);
  EXPECT_EQ(font->DrawString(&dest, nullptr, -1, &r, 0), 0);
  EXPECT_EQ(font->DrawString(&dest, "W", -1, nullptr, 0), 0);
}

TEST_F(Text, PaintGlyphClipsAndPaintsAnOpaqueBackground) {
  auto font = MakeFont(14);
  font->SetInkColor(0xFF0000FFu);
  LICE_MemBitmap dest(30, 20);
  FillBitmapRect(&dest, 0, 0, 30, 20, kBackground, 1.0f, BlendCopy);
  const auto blank = Snapshot(dest);
  EXPECT_FALSE(font->PaintGlyph(&dest, 'Q', 5, 2, PixelRect{0, 0, 30, 20}));  // not cached yet
  Measure(*font, "Q ");
  EXPECT_FALSE(font->PaintGlyph(&dest, 'Q', 40, 2, PixelRect{0, 0, 30, 20}));
  EXPECT_FALSE(font->PaintGlyph(&dest, 'Q', 5, 2, PixelRect{0, 0, 3, 20}));
  EXPECT_FALSE(font->PaintGlyph(nullptr, 'Q', 5, 2, PixelRect{0, 0, 30, 20}));
  EXPECT_EQ(Snapshot(dest), blank);

  const PixelRect clip{7, 5, 12, 40};  // beyond the bitmap's bottom
  EXPECT_TRUE(font->PaintGlyph(&dest, 'Q', 5, 2, clip));
  EXPECT_EQ(Snapshot(dest), Composite(blank, 30, 20, *font, {{'Q', 5, 2}}, 0xFF0000FFu, 256, clip));

  // Opaque background: the drawn box takes the paper colour first.
  FillBitmapRect(&dest, 0, 0, 30, 20, kBackground, 1.0f, BlendCopy);
  font->SetPaperMode(PaperOpaque);
  font->SetPaperColor(0xFF777777u);
  EXPECT_TRUE(font->PaintGlyph(&dest, 'Q', 5, 2, PixelRect{0, 0, 30, 20}));
  const GlyphRecord* g = font->FindGlyph('Q');
  std::vector<uint32_t> boxed = blank;
  for (int y = 2; y < std::min(20, 2 + g->height); ++y)
    for (int x = 5 - g->bearing; x < 5 - g->bearing + g->width; ++x) boxed[size_t(y * 30 + x)] = 0xFF777777u;
  EXPECT_EQ(Snapshot(dest), Composite(boxed, 30, 20, *font, {{'Q', 5, 2}}, 0xFF0000FFu, 256, PixelRect{0, 0, 30, 20}));
  font->SetPaperMode(PaperTransparent);
}

#ifndef _WIN32
TEST_F(Text, VeryLargeFonts) {
  // Up to 1023 pixels glyphs are still cached; from 1024 nothing is drawn.
  auto big = MakeFont(300);
  EXPECT_EQ(big->LineHeight(), 300);
  EXPECT_EQ(Measure(*big, "A").bottom, 300);
  auto huge = MakeFont(1100);
  EXPECT_GE(huge->LineHeight(), 1024);
  EXPECT_EQ(Measure(*huge, "A").right, 0);
  EXPECT_EQ(huge->FindGlyph('A')->storePosition, 0);
}
#endif

#ifdef _WIN32
namespace {

// What GDI itself draws for a wide text on a fresh surface.
std::vector<uint32_t> GdiReference(HFONT font, const wchar_t* text, RECT box, UINT format, COLORREF colour,
                                   int* answer) {
  LICE_SysBitmap bm(80, 30);
  FillBitmapRect(&bm, 0, 0, 80, 30, kBackground, 1.0f, BlendCopy);
  HDC dc = static_cast<HDC>(bm.DrawingDC());
  HGDIOBJ old = SelectObject(dc, font);
  SetTextColor(dc, colour);
  SetBkMode(dc, TRANSPARENT);
  *answer = DrawTextW(dc, text, -1, &box, format);
  GdiFlush();
  SelectObject(dc, old);
  return Snapshot(bm);
}

bool WineKeyPresent() {
  HKEY key;
  if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Wine", &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

}  // namespace

TEST_F(Text, OpaqueTextGoesThroughDrawTextWithoutPrefixes) {
  lice_testing::SetWineAnswer(lice_testing::WineAnswer::Windows);
  auto font = MakeFont(16);
  HFONT hfont = static_cast<HFONT>(font->GdiFont());
  font->SetInkColor(0xFF204080u);
  LICE_SysBitmap dest(80, 30);
  FillBitmapRect(&dest, 0, 0, 80, 30, kBackground, 1.0f, BlendCopy);
  PixelRect rect{2, 3, 80, 30};
  const int answer = font->DrawString(&dest, "A&B", -1, &rect, DrawTextNoClip);

  int gdiAnswer = 0, prefixAnswer = 0;
  const auto noPrefix = GdiReference(hfont, L"A&B", RECT{2, 3, 80, 30}, DT_NOCLIP | DT_NOPREFIX, RGB(0x20, 0x40, 0x80), &gdiAnswer);
  const auto withPrefix = GdiReference(hfont, L"A&B", RECT{2, 3, 80, 30}, DT_NOCLIP, RGB(0x20, 0x40, 0x80), &prefixAnswer);
  EXPECT_EQ(Snapshot(dest), noPrefix);  // the ampersand drawn as itself
  EXPECT_NE(noPrefix, withPrefix);
  EXPECT_EQ(answer, gdiAnswer);

  // UTF-8 converts to wide characters.
  FillBitmapRect(&dest, 0, 0, 80, 30, kBackground, 1.0f, BlendCopy);
  PixelRect r2{2, 3, 80, 30};
  font->DrawString(&dest, "\xC3\xA9t\xC3\xA9", -1, &r2, DrawTextNoClip);
  EXPECT_EQ(Snapshot(dest), GdiReference(hfont, L"\u00e9t\u00e9", RECT{2, 3, 80, 30}, DT_NOCLIP | DT_NOPREFIX,
                                         RGB(0x20, 0x40, 0x80), &gdiAnswer));

  // Measuring goes through GDI too, with or without a destination.
  PixelRect m{0, 0, 0, 0};
  font->DrawString(nullptr, "A&B", -1, &m, DrawTextCalcRect);
  LICE_SysBitmap probe(4, 4);
  HDC dc = static_cast<HDC>(probe.DrawingDC());
  HGDIOBJ old = SelectObject(dc, hfont);
  RECT want{0, 0, 0, 0};
  DrawTextW(dc, L"A&B", -1, &want, DT_CALCRECT | DT_NOPREFIX);
  SelectObject(dc, old);
  EXPECT_EQ(m.right, want.right);
  EXPECT_EQ(m.bottom, want.bottom);

  // Translucent ink stays on the glyph path even here.
  FillBitmapRect(&dest, 0, 0, 80, 30, kBackground, 1.0f, BlendCopy);
  const auto blank = Snapshot(dest);
  font->SetInkColor(0xC0204080u);
  PixelRect r3{2, 3, 80, 30};
  font->DrawString(&dest, "AB", -1, &r3, TextUseInkAlpha | DrawTextNoClip);
  EXPECT_EQ(Snapshot(dest), Composite(blank, 80, 30, *font, Layout(*font, {'A', 'B'}, 2, 3), 0xC0204080u,
                                      Trunc(double(192.0f / 255.0f) * 256.0), PixelRect{0, 0, 80, 30}));
}

TEST_F(Text, UnderWineOrdinaryTextComesFromTheGlyphCache) {
  lice_testing::SetWineAnswer(lice_testing::WineAnswer::Detect);
  auto font = MakeFont(16);
  font->SetInkColor(0xFF204080u);
  LICE_SysBitmap dest(80, 30);
  FillBitmapRect(&dest, 0, 0, 80, 30, kBackground, 1.0f, BlendCopy);
  const auto blank = Snapshot(dest);
  PixelRect rect{2, 3, 80, 30};
  font->DrawString(&dest, "AB", -1, &rect, DrawTextNoClip);
  if (WineKeyPresent()) {
    EXPECT_TRUE(lice_testing::RunningUnderWine());
    Measure(*font, "AB");  // the cache holds both glyphs
    EXPECT_EQ(Snapshot(dest), Composite(blank, 80, 30, *font, Layout(*font, {'A', 'B'}, 2, 3), 0xFF204080u, 256,
                                        PixelRect{0, 0, 80, 30}));
  } else {
    int answer = 0;
    EXPECT_FALSE(lice_testing::RunningUnderWine());
    EXPECT_EQ(Snapshot(dest), GdiReference(static_cast<HFONT>(font->GdiFont()), L"AB", RECT{2, 3, 80, 30},
                                           DT_NOCLIP | DT_NOPREFIX, RGB(0x20, 0x40, 0x80), &answer));
  }

  // Glyphs too large to cache are drawn by GDI even under Wine.
  auto big = MakeFont(300);
  EXPECT_EQ(big->LineHeight(), 300);
  PixelRect m{0, 0, 0, 0};
  big->DrawString(nullptr, "A", -1, &m, DrawTextCalcRect);
  EXPECT_EQ(big->FindGlyph('A')->storePosition, 0);
  EXPECT_EQ(m.bottom, 300);
}
#endif
