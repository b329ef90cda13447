// Bitmaps, BlitBitmap and FillBitmapRect against straightforward references
// written here: per-channel arithmetic in doubles truncated toward zero, and
// clipping as "source pixel (sx, sy) lands at (destX + sx - left, destY + sy - top)".
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "render/Bitmap.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// --- independent arithmetic -------------------------------------------------

int Div256(int x) { return int(std::trunc(double(x) / 256.0)); }
int Div(int x, int y) { return int(std::trunc(double(x) / double(y))); }
int Clamp(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
int IntWeight(float weight) { return int(std::trunc(double(weight) * 256.0)); }

struct Px {
  int b, g, r, a;
};
Px Split(uint32_t p) { return {int(p & 255), int(p >> 8 & 255), int(p >> 16 & 255), int(p >> 24)}; }
uint32_t Join(Px p) {
  return uint32_t(p.b & 255) | uint32_t(p.g & 255) << 8 | uint32_t(p.r & 255) << 16 |
         uint32_t(p.a & 255) << 24;
}

// What one blit rule does to destination d given source s.
uint32_t ExpectedBlend(uint32_t dst, uint32_t src, float weight, int mode) {
  Px d = Split(dst), s = Split(src);
  const int w = IntWeight(weight);
  int* dc[4] = {&d.b, &d.g, &d.r, &d.a};
  const int sc[4] = {s.b, s.g, s.r, s.a};
  if (mode == BlendCopy) {
    if (weight == 1.0f) return src;
    if (weight == 0.5f) {
      for (int i = 0; i < 4; ++i) *dc[i] = *dc[i] / 2 + sc[i] / 2;
      return Join(d);
    }
    if (w <= 0) return dst;
    if (w == 256) return src;
    for (int i = 0; i < 4; ++i) *dc[i] = sc[i] + Div256((*dc[i] - sc[i]) * (256 - w));
    return Join(d);
  }
  if (mode == (BlendCopy | BlendUseSourceAlpha)) {
    if (s.a == 0) return dst;
    if (w == 256) {
      if (s.a == 255) return Join({s.b, s.g, s.r, 255});
      for (int i = 0; i < 3; ++i) *dc[i] = sc[i] + Div256((*dc[i] - sc[i]) * (255 - s.a));
      d.a = std::min(d.a + s.a, 255);
      return Join(d);
    }
    const int k = Div256(w * (s.a + 1));
    for (int i = 0; i < 3; ++i) *dc[i] = sc[i] + Div256((*dc[i] - sc[i]) * (256 - k));
    d.a = std::min(d.a + k, 255);
    return Join(d);
  }
  if (mode == (BlendAdd | BlendUseSourceAlpha)) {
    if (s.a == 0) return dst;
    const int k = Div256(w * (s.a + 1));
    for (int i = 0; i < 3; ++i) *dc[i] = Clamp(*dc[i] + Div256(k * sc[i]));
    d.a = Clamp(d.a + Div256(s.a * k));
    return Join(d);
  }
  if (mode == (BlendDodge | BlendUseSourceAlpha)) {
    const int k = Div256(w * (s.a + 1));
    for (int i = 0; i < 4; ++i) {
      const int q = 256 - Div256(sc[i] * k);
      *dc[i] = q > 1 ? Clamp(Div(*dc[i] * 256, q)) : Clamp(*dc[i] * 256);
    }
    return Join(d);
  }
  return dst;  // modes the system never issues draw nothing
}

// What a fill does to one pixel.
uint32_t ExpectedFill(uint32_t dst, uint32_t color, float weight, int mode) {
  if (mode & BlendUseSourceAlpha) weight = weight * (float(color >> 24) / 255.0f);
  if (weight == 0.0f || (mode & 0xFF) != 0) return dst;
  const int w = IntWeight(weight);
  Px d = Split(dst), c = Split(color);
  auto quarter = [](uint32_t v) { return (v >> 2) & 0x3F3F3F3Fu; };
  auto half = [](uint32_t v) { return (v >> 1) & 0x7F7F7F7Fu; };
  switch (w) {
    case 256: return color;
    case 128: return half(color) + half(dst);
    case 64: return half(dst) + quarter(dst) + quarter(color);
    case 192: return half(color) + quarter(color) + quarter(dst);
    case 0: return dst;
    default:
      d.b = c.b + Div256((d.b - c.b) * (256 - w));
      d.g = c.g + Div256((d.g - c.g) * (256 - w));
      d.r = c.r + Div256((d.r - c.r) * (256 - w));
      d.a = w + Div256((d.a - w) * (256 - w));
      return Join(d);
  }
}

// --- helpers ------------------------------------------------------------------

uint32_t& At(LICE_IBitmap& bm, int x, int y) { return bm.PixelBuffer()[y * bm.RowSpanPixels() + x]; }

std::vector<uint32_t> Snapshot(LICE_IBitmap& bm) {
  std::vector<uint32_t> out;
  for (int y = 0; y < bm.PixelHeight(); ++y)
    for (int x = 0; x < bm.PixelWidth(); ++x) out.push_back(At(bm, x, y));
  return out;
}

void FillPattern(LICE_IBitmap& bm, uint32_t seed) {
  std::mt19937 rng(seed);
  for (int y = 0; y < bm.PixelHeight(); ++y)
    for (int x = 0; x < bm.PixelWidth(); ++x) At(bm, x, y) = rng();
}

enum class Kind { Mem, Sys };
std::unique_ptr<LICE_IBitmap> Make(Kind kind, int w, int h) {
  if (kind == Kind::Mem) return std::make_unique<LICE_MemBitmap>(w, h);
  return std::make_unique<LICE_SysBitmap>(w, h);
}

// Source/destination pixel pairs: every source alpha the rules treat apart,
// dark and bright channels, opaque and transparent destinations.
std::vector<std::pair<uint32_t, uint32_t>> PixelPairs() {
  const int alphas[] = {0, 1, 2, 64, 127, 128, 129, 200, 254, 255};
  const uint32_t dests[] = {0xFF000000u, 0xFFFFFFFFu, 0x00000000u, 0x80406080u, 0x10F0E0D0u,
                            0xFF123456u, 0x7F7F7F7Fu};
  const uint32_t colours[] = {0x000000u, 0xFFFFFFu, 0x102030u, 0xFF8001u, 0x7F80FEu};
  std::vector<std::pair<uint32_t, uint32_t>> pairs;
  for (int a : alphas)
    for (uint32_t c : colours)
      for (uint32_t d : dests) pairs.push_back({uint32_t(a) << 24 | c, d});
  return pairs;
}

class BothKinds : public ::testing::TestWithParam<Kind> {};

}  // namespace

// --- LICE_MemBitmap -----------------------------------------------------------

TEST(MemBitmap, SizesRowSpanAlignmentAndBlockReuse) {
  LICE_MemBitmap bm(10, 5);
  EXPECT_EQ(bm.PixelWidth(), 10);
  EXPECT_EQ(bm.PixelHeight(), 5);
  EXPECT_EQ(bm.RowSpanPixels(), 12);
  EXPECT_FALSE(bm.IsBottomUp());
  EXPECT_EQ(bm.DrawingDC(), nullptr);
  EXPECT_EQ(bm.QueryExtra(1, nullptr), 0);
  ASSERT_NE(bm.PixelBuffer(), nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(bm.PixelBuffer()) % 64, 0u);
  EXPECT_EQ(bm.CapacityBytes(), 5 * 12 * 4);

  PackedPixel* before = bm.PixelBuffer();
  EXPECT_FALSE(bm.SetSize(10, 5));
  EXPECT_EQ(bm.PixelBuffer(), before);
  EXPECT_EQ(bm.CapacityBytes(), 240);

  // Growth reserves a quarter more; later sizes that fit keep the block.
  EXPECT_TRUE(bm.SetSize(20, 5));
  EXPECT_EQ(bm.CapacityBytes(), 400 / 4 * 5);
  EXPECT_EQ(bm.RowSpanPixels(), 20);
  PackedPixel* grown = bm.PixelBuffer();
  EXPECT_TRUE(bm.SetSize(12, 5));
  EXPECT_EQ(bm.PixelBuffer(), grown);
  EXPECT_EQ(bm.CapacityBytes(), 500);
  EXPECT_TRUE(bm.SetSize(25, 5));  // 560 bytes: above 500, grows again
  EXPECT_EQ(bm.CapacityBytes(), 560 / 4 * 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 25; ++x) At(bm, x, y) = uint32_t(x + y);  // whole block writable
}

TEST(MemBitmap, EmptyNegativeAndUnrepresentableSizesGiveAnEmptyBitmap) {
  LICE_MemBitmap bm(8, 8);
  EXPECT_TRUE(bm.SetSize(0, 8));
  EXPECT_EQ(bm.PixelWidth(), 0);
  EXPECT_EQ(bm.PixelHeight(), 0);
  EXPECT_EQ(bm.PixelBuffer(), nullptr);
  EXPECT_EQ(bm.CapacityBytes(), 0);

  EXPECT_TRUE(bm.SetSize(-4, 3));
  EXPECT_EQ(bm.PixelBuffer(), nullptr);
  EXPECT_EQ(bm.PixelWidth(), 0);

  // Treated as a failed allocation: true, and 0 x 0.
  EXPECT_TRUE(bm.SetSize(INT_MAX, INT_MAX));
  EXPECT_EQ(bm.PixelWidth(), 0);
  EXPECT_EQ(bm.PixelHeight(), 0);
  EXPECT_EQ(bm.PixelBuffer(), nullptr);
  EXPECT_TRUE(bm.SetSize(3, 2));
  EXPECT_NE(bm.PixelBuffer(), nullptr);

  LICE_MemBitmap none(0, 5);
  EXPECT_EQ(none.PixelBuffer(), nullptr);
  EXPECT_EQ(none.PixelHeight(), 0);
}

// --- LICE_SysBitmap -----------------------------------------------------------

TEST(SysBitmap, ShrinkKeepsTheBlockAndGrowthMakesANewOne) {
  LICE_SysBitmap bm(100, 50);
  ASSERT_NE(bm.PixelBuffer(), nullptr);
  EXPECT_EQ(bm.RowSpanPixels(), 100);
  EXPECT_FALSE(bm.IsBottomUp());
  PackedPixel* bits = bm.PixelBuffer();

  EXPECT_TRUE(bm.SetSize(60, 40));
  EXPECT_EQ(bm.PixelBuffer(), bits);
  EXPECT_EQ(bm.RowSpanPixels(), 100);
  EXPECT_EQ(bm.PixelWidth(), 60);
  EXPECT_EQ(bm.PixelHeight(), 40);
  EXPECT_FALSE(bm.SetSize(60, 40));

  EXPECT_TRUE(bm.SetSize(101, 40));
  EXPECT_EQ(bm.RowSpanPixels(), 104);
  EXPECT_EQ(bm.PixelWidth(), 101);
  ASSERT_NE(bm.PixelBuffer(), nullptr);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 104; ++x) At(bm, x, y) = 0x01020304u;
}

TEST(SysBitmap, EmptySizesHaveNoPixelsAndALaterSizeRecovers) {
  LICE_SysBitmap bm(16, 16);
  EXPECT_FALSE(bm.SetSize(0, 10));  // nothing allocated for an empty size
  EXPECT_EQ(bm.PixelBuffer(), nullptr);
  EXPECT_TRUE(bm.SetSize(5, 3));
  ASSERT_NE(bm.PixelBuffer(), nullptr);
  EXPECT_EQ(bm.RowSpanPixels(), 8);

  bm.SetSize(-3, -3);
  EXPECT_EQ(bm.PixelBuffer(), nullptr);
  bm.SetSize(INT_MAX, INT_MAX);
  EXPECT_EQ(bm.PixelBuffer(), nullptr);
  EXPECT_TRUE(bm.SetSize(4, 4));
  EXPECT_NE(bm.PixelBuffer(), nullptr);

  LICE_SysBitmap empty;
  EXPECT_EQ(empty.PixelBuffer(), nullptr);
  EXPECT_EQ(empty.PixelWidth(), 0);
}

#ifdef _WIN32
TEST(SysBitmap, IsATopDownDibSectionInItsOwnMemoryContext) {
  LICE_SysBitmap bm(30, 20);
  HDC dc = static_cast<HDC>(bm.DrawingDC());
  ASSERT_NE(dc, nullptr);
  HGDIOBJ selected = GetCurrentObject(dc, OBJ_BITMAP);
  DIBSECTION info{};
  ASSERT_EQ(GetObject(selected, sizeof(info), &info), int(sizeof(info)));
  EXPECT_EQ(info.dsBm.bmBits, static_cast<void*>(bm.PixelBuffer()));
  EXPECT_EQ(info.dsBm.bmWidth, 32);
  EXPECT_EQ(info.dsBm.bmBitsPixel, 32);

  // GDI and the software walk agree on where a pixel lies: row 0 on top.
  FillBitmapRect(&bm, 0, 0, 30, 20, 0, 1.0f, BlendCopy);
  GdiFlush();
  SetPixel(dc, 3, 2, RGB(10, 20, 30));
  GdiFlush();
  EXPECT_EQ(At(bm, 3, 2) & 0xFFFFFF, 0x0A141Eu);
  EXPECT_EQ(At(bm, 3, 17) & 0xFFFFFF, 0u);
}
#else
TEST(SysBitmap, HasNoDrawingContextOffWindows) {
  LICE_SysBitmap bm(30, 20);
  EXPECT_EQ(bm.DrawingDC(), nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(bm.PixelBuffer()) % 64, 0u);
}
#endif

// --- BlitBitmap: blend rules ------------------------------------------------------

TEST_P(BothKinds, EveryBlendRuleAndWeightCaseMatchesItsFormula) {
  const auto pairs = PixelPairs();
  const int n = int(pairs.size());
  struct Case {
    int mode;
    float weight;
  };
  const Case cases[] = {
      {BlendCopy, 1.0f},
      {BlendCopy, 0.5f},
      {BlendCopy, 0.25f},
      {BlendCopy, 0.75f},
      {BlendCopy, 0.3f},
      {BlendCopy, 1.002f},  // w = 256 by truncation, but not the exact-1.0 case
      {BlendCopy, 0.001f},  // w = 0: nothing
      {BlendCopy, -0.5f},
      {BlendCopy | BlendUseSourceAlpha, 1.0f},
      {BlendCopy | BlendUseSourceAlpha, 0.5f},
      {BlendCopy | BlendUseSourceAlpha, 0.8f},
      {BlendCopy | BlendUseSourceAlpha, 1.5f},
      {BlendAdd | BlendUseSourceAlpha, 1.0f},
      {BlendAdd | BlendUseSourceAlpha, 0.6f},
      {BlendAdd | BlendUseSourceAlpha, 3.0f},
      {BlendDodge | BlendUseSourceAlpha, 1.0f},
      {BlendDodge | BlendUseSourceAlpha, 0.4f},
      {BlendDodge | BlendUseSourceAlpha, 4.0f},  // q <= 1 for bright sources
      {BlendAdd, 1.0f},                          // never issued: nothing
      {BlendDodge, 1.0f},
      {3 | BlendUseSourceAlpha, 1.0f},
  };
  for (const Case& c : cases) {
    auto src = Make(GetParam(), n, 1);
    auto dst = Make(GetParam(), n, 1);
    for (int i = 0; i < n; ++i) {
      At(*src, i, 0) = pairs[i].first;
      At(*dst, i, 0) = pairs[i].second;
    }
    BlitBitmap(dst.get(), src.get(), 0, 0, nullptr, c.weight, c.mode);
    for (int i = 0; i < n; ++i) {
      const uint32_t want = ExpectedBlend(pairs[i].second, pairs[i].first, c.weight, c.mode);
      ASSERT_EQ(At(*dst, i, 0), want) << std::hex << "mode 0x" << c.mode << " weight " << c.weight
                                      << " src 0x" << pairs[i].first << " dst 0x" << pairs[i].second;
    }
  }
}

TEST_P(BothKinds, SourceAlphaCopyAtFullWeightEdgeCases) {
  auto src = Make(GetParam(), 3, 1);
  auto dst = Make(GetParam(), 3, 1);
  At(*src, 0, 0) = 0x00FF0000u;  // alpha 0: untouched
  At(*src, 1, 0) = 0xFF112233u;  // alpha 255: colour replaced, alpha 255
  At(*src, 2, 0) = 0x80FFFFFFu;  // alpha 128 over opaque: alpha stays 255
  At(*dst, 0, 0) = 0x40ABCDEFu;
  At(*dst, 1, 0) = 0x10000000u;
  At(*dst, 2, 0) = 0xFF000000u;
  BlitBitmap(dst.get(), src.get(), 0, 0, nullptr, 1.0f, BlendCopy | BlendUseSourceAlpha);
  EXPECT_EQ(At(*dst, 0, 0), 0x40ABCDEFu);
  EXPECT_EQ(At(*dst, 1, 0), 0xFF112233u);
  EXPECT_EQ(At(*dst, 2, 0) >> 24, 255u);
  EXPECT_EQ(At(*dst, 2, 0) & 0xFF, uint32_t(255 + Div256((0 - 255) * (255 - 128))));
}

TEST_P(BothKinds, ZeroWeightAndMissingBitmapsChangeNothing) {
  auto src = Make(GetParam(), 4, 4);
  auto dst = Make(GetParam(), 4, 4);
  FillPattern(*src, 1);
  FillPattern(*dst, 2);
  const auto before = Snapshot(*dst);
  BlitBitmap(dst.get(), src.get(), 0, 0, nullptr, 0.0f, BlendCopy);
  BlitBitmap(dst.get(), src.get(), 0, 0, nullptr, -0.0f, BlendCopy | BlendUseSourceAlpha);
  BlitBitmap(dst.get(), src.get(), 0, 0, nullptr, std::nanf(""), BlendCopy | BlendUseSourceAlpha);
  BlitBitmap(dst.get(), nullptr, 0, 0, nullptr, 1.0f, BlendCopy);
  BlitBitmap(nullptr, src.get(), 0, 0, nullptr, 1.0f, BlendCopy);
  LICE_MemBitmap empty;
  BlitBitmap(dst.get(), &empty, 0, 0, nullptr, 1.0f, BlendCopy);
  BlitBitmap(&empty, src.get(), 0, 0, nullptr, 1.0f, BlendCopy);
  EXPECT_EQ(Snapshot(*dst), before);
}

// --- BlitBitmap: clipping -----------------------------------------------------

namespace {

// Copy at weight 1.0 by the landing rule, one pixel at a time.
void ReferenceCopy(std::vector<uint32_t>& dst, int dw, int dh, const std::vector<uint32_t>& src, int sw,
                   int sh, int destX, int destY, const SourceRect* rect) {
  const int64_t l = rect ? rect->left : 0, t = rect ? rect->top : 0;
  const int64_t r = rect ? rect->right : sw, b = rect ? rect->bottom : sh;
  for (int64_t sy = std::max<int64_t>(t, 0); sy < std::min<int64_t>(b, sh); ++sy)
    for (int64_t sx = std::max<int64_t>(l, 0); sx < std::min<int64_t>(r, sw); ++sx) {
      const int64_t x = destX + sx - l, y = destY + sy - t;
      if (x >= 0 && x < dw && y >= 0 && y < dh) dst[size_t(y * dw + x)] = src[size_t(sy * sw + sx)];
    }
}

}  // namespace

TEST_P(BothKinds, NamedClippingCases) {
  auto src = Make(GetParam(), 10, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 10; ++x) At(*src, x, y) = uint32_t(0xFF000000u | (y << 8) | x);

  auto dst = Make(GetParam(), 12, 6);
  FillBitmapRect(dst.get(), 0, 0, 12, 6, 0xDEADBEEFu, 1.0f, BlendCopy);
  BlitBitmap(dst.get(), src.get(), -3, 0, nullptr, 1.0f, BlendCopy);
  EXPECT_EQ(At(*dst, 0, 0), 0xFF000003u);  // starts at source column 3
  EXPECT_EQ(At(*dst, 6, 3), 0xFF000309u);
  EXPECT_EQ(At(*dst, 7, 0), 0xDEADBEEFu);

  FillBitmapRect(dst.get(), 0, 0, 12, 6, 0xDEADBEEFu, 1.0f, BlendCopy);
  SourceRect shifted{-2, 0, 4, 2};
  BlitBitmap(dst.get(), src.get(), 0, 0, &shifted, 1.0f, BlendCopy);
  EXPECT_EQ(At(*dst, 1, 0), 0xDEADBEEFu);
  EXPECT_EQ(At(*dst, 2, 0), 0xFF000000u);  // source column 0, two pixels right
  EXPECT_EQ(At(*dst, 5, 1), 0xFF000103u);
  EXPECT_EQ(At(*dst, 6, 1), 0xDEADBEEFu);

  FillBitmapRect(dst.get(), 0, 0, 12, 6, 0xDEADBEEFu, 1.0f, BlendCopy);
  SourceRect beyond{8, 2, 50, 50};  // cut at the source's size
  BlitBitmap(dst.get(), src.get(), 0, 0, &beyond, 1.0f, BlendCopy);
  EXPECT_EQ(At(*dst, 0, 0), 0xFF000208u);
  EXPECT_EQ(At(*dst, 1, 1), 0xFF000309u);
  EXPECT_EQ(At(*dst, 2, 0), 0xDEADBEEFu);
  EXPECT_EQ(At(*dst, 0, 2), 0xDEADBEEFu);
}

TEST_P(BothKinds, ClippingMatchesTheLandingRuleForAnyRectangle) {
  std::mt19937 rng(20240601);
  const int extremes[] = {INT_MIN, INT_MIN + 1, -1000000, INT_MAX - 1, INT_MAX};
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto coord = [&]() { return pick(0, 9) == 0 ? extremes[pick(0, 4)] : pick(-20, 30); };
  for (int iter = 0; iter < 3000; ++iter) {
    const int sw = pick(0, 13), sh = pick(0, 9), dw = pick(0, 15), dh = pick(0, 11);
    auto src = Make(GetParam(), sw, sh);
    auto dst = Make(GetParam(), dw, dh);
    if (src->PixelBuffer()) FillPattern(*src, uint32_t(iter));
    if (dst->PixelBuffer()) FillPattern(*dst, uint32_t(iter) + 7);
    std::vector<uint32_t> want = Snapshot(*dst);
    const std::vector<uint32_t> srcPixels = Snapshot(*src);
    SourceRect rect{coord(), coord(), coord(), coord()};
    const bool useRect = pick(0, 3) != 0;
    const int destX = coord(), destY = coord();
    ReferenceCopy(want, dst->PixelWidth(), dst->PixelHeight(), srcPixels, src->PixelWidth(),
                  src->PixelHeight(), destX, destY, useRect ? &rect : nullptr);
    BlitBitmap(dst.get(), src.get(), destX, destY, useRect ? &rect : nullptr, 1.0f, BlendCopy);
    ASSERT_EQ(Snapshot(*dst), want) << "iteration " << iter;
  }
}

TEST_P(BothKinds, BlitOfABitmapOntoItselfStaysInBounds) {
  auto bm = Make(GetParam(), 9, 7);
  FillPattern(*bm, 3);
  SourceRect rect{1, 1, 8, 6};
  BlitBitmap(bm.get(), bm.get(), 2, 1, &rect, 1.0f, BlendCopy);
  BlitBitmap(bm.get(), bm.get(), -1, 2, nullptr, 0.3f, BlendCopy | BlendUseSourceAlpha);
  EXPECT_EQ(bm->PixelWidth(), 9);
}

// --- FillBitmapRect -----------------------------------------------------------

TEST_P(BothKinds, FillWeightCasesMatchTheirFormulas) {
  const uint32_t dests[] = {0xFF000000u, 0xFFFFFFFFu, 0x00000000u, 0x80406080u, 0x10F0E0D0u,
                            0x7F7F7F7Fu, 0x01FE02FDu};
  const uint32_t colours[] = {0xFF336699u, 0x80FFFFFFu, 0x00102030u, 0xC0FF0080u, 0xFF000000u};
  const float weights[] = {1.0f, 0.5f, 0.25f, 0.75f, 0.3f, 0.9f, 0.001f, 2.0f, -0.25f};
  const int modes[] = {BlendCopy, BlendCopy | BlendUseSourceAlpha, BlendAdd};
  const int n = int(std::size(dests));
  for (uint32_t colour : colours)
    for (float weight : weights)
      for (int mode : modes) {
        auto dst = Make(GetParam(), n, 2);
        for (int i = 0; i < n; ++i) At(*dst, i, 0) = At(*dst, i, 1) = dests[i];
        FillBitmapRect(dst.get(), 0, 1, n, 1, colour, weight, mode);
        for (int i = 0; i < n; ++i) {
          ASSERT_EQ(At(*dst, i, 0), dests[i]);  // outside the rectangle
          ASSERT_EQ(At(*dst, i, 1), ExpectedFill(dests[i], colour, weight, mode))
              << std::hex << "colour 0x" << colour << " weight " << weight << " mode 0x" << mode
              << " dst 0x" << dests[i];
        }
      }
}

TEST_P(BothKinds, FillSourceAlphaUsesTheColoursAlpha) {
  auto dst = Make(GetParam(), 2, 1);
  At(*dst, 0, 0) = At(*dst, 1, 0) = 0xFF204060u;
  FillBitmapRect(dst.get(), 0, 0, 2, 1, 0x00FFFFFFu, 1.0f, BlendCopy | BlendUseSourceAlpha);
  EXPECT_EQ(At(*dst, 0, 0), 0xFF204060u);  // transparent colour: weight 0, nothing
  FillBitmapRect(dst.get(), 0, 0, 1, 1, 0x80FFFFFFu, 1.0f, BlendCopy | BlendUseSourceAlpha);
  // 128/255 of 256 truncates to 128: the half-and-half case.
  EXPECT_EQ(At(*dst, 0, 0), ((0x80FFFFFFu >> 1) & 0x7F7F7F7Fu) + ((0xFF204060u >> 1) & 0x7F7F7F7Fu));
}

TEST_P(BothKinds, FillClipsToTheBitmap) {
  auto dst = Make(GetParam(), 8, 3);
  FillBitmapRect(dst.get(), 0, 0, 8, 3, 0, 1.0f, BlendCopy);
  FillBitmapRect(dst.get(), -5, 0, 10, 1, 0xFFFFFFFFu, 1.0f, BlendCopy);
  for (int x = 0; x < 8; ++x) EXPECT_EQ(At(*dst, x, 0), x <= 4 ? 0xFFFFFFFFu : 0u) << x;

  std::mt19937 rng(99);
  const int extremes[] = {INT_MIN, -1, 0, INT_MAX};
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto coord = [&]() { return pick(0, 7) == 0 ? extremes[pick(0, 3)] : pick(-12, 14); };
  for (int iter = 0; iter < 2000; ++iter) {
    FillPattern(*dst, uint32_t(iter));
    std::vector<uint32_t> want = Snapshot(*dst);
    const int x = coord(), y = coord(), w = coord(), h = coord();
    for (int64_t py = 0; py < 3; ++py)
      for (int64_t px = 0; px < 8; ++px)
        if (px >= x && px < int64_t(x) + w && py >= y && py < int64_t(y) + h) want[size_t(py * 8 + px)] = 0x12345678u;
    FillBitmapRect(dst.get(), x, y, w, h, 0x12345678u, 1.0f, BlendCopy);
    ASSERT_EQ(Snapshot(*dst), want) << x << "," << y << " " << w << "x" << h;
  }
  FillBitmapRect(nullptr, 0, 0, 5, 5, 0, 1.0f, BlendCopy);
  LICE_MemBitmap empty;
  FillBitmapRect(&empty, 0, 0, 5, 5, 0, 1.0f, BlendCopy);
}

INSTANTIATE_TEST_SUITE_P(Bitmaps, BothKinds, ::testing::Values(Kind::Mem, Kind::Sys),
                         [](const ::testing::TestParamInfo<Kind>& info) {
                           return info.param == Kind::Mem ? "Mem" : "Sys";
                         });
