// Throughput of the editor's three most frequent drawing operations, in
// megapixels per second: the opaque background copy, the source-alpha copy of
// control frames at full weight, and one line of translucent text from the
// glyph cache (pixels of the text's measured box).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "render/Bitmap.h"
#include "render/Font.h"

namespace {

using Clock = std::chrono::steady_clock;

// Runs op until at least `seconds` have passed; answers calls per second.
template <typename Op>
double Rate(Op op, double seconds) {
  long calls = 0;
  const auto start = Clock::now();
  double elapsed = 0;
  do {
    for (int i = 0; i < 16; ++i) op();
    calls += 16;
    elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  } while (elapsed < seconds);
  return double(calls) / elapsed;
}

void Report(const char* what, double callsPerSecond, double pixelsPerCall) {
  std::printf("%-40s %10.1f Mpixel/s  (%.0f calls/s)\n", what, callsPerSecond * pixelsPerCall / 1e6,
              callsPerSecond);
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;
  const int w = 584, h = 390;  // the editor's size
  LICE_SysBitmap surface(w, h);
  LICE_MemBitmap background(w, h);
  std::mt19937 rng(1);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) background.PixelBuffer()[y * background.RowSpanPixels() + x] = rng() | 0xFF000000u;

  // A knob-like strip frame: transparent corners, an antialiased rim, an
  // opaque body.
  const int fw = 40, fh = 40;
  LICE_MemBitmap frame(fw, fh);
  for (int y = 0; y < fh; ++y)
    for (int x = 0; x < fw; ++x) {
      const int dx = x - fw / 2, dy = y - fh / 2, d2 = dx * dx + dy * dy;
      const uint32_t alpha = d2 > 400 ? 0 : d2 > 324 ? uint32_t(255 * (400 - d2) / 76) : 255;
      frame.PixelBuffer()[y * frame.RowSpanPixels() + x] = alpha << 24 | (rng() & 0xFFFFFF);
    }

  std::printf("render benchmark, %.1f s per case\n", seconds);
  Report("opaque copy 584x390 (BlendCopy, 1.0)",
         Rate([&] { BlitBitmap(&surface, &background, 0, 0, nullptr, 1.0f, BlendCopy); }, seconds), double(w) * h);
  Report("source-alpha copy 40x40 (full weight)",
         Rate([&] { BlitBitmap(&surface, &frame, 100, 100, nullptr, 1.0f, BlendCopy | BlendUseSourceAlpha); },
              seconds),
         double(fw) * fh);
  Report("source-alpha copy 584x390 (full weight)",
         Rate([&] { BlitBitmap(&surface, &background, 0, 0, nullptr, 1.0f, BlendCopy | BlendUseSourceAlpha); },
              seconds),
         double(w) * h);

  LICE_CachedFont font;
  LICE_FontHandle handle = LICE_CreateFont(14, 0, 0, 0, 400, false, false, false, 0, 0, 0, 0, 0, "Arial");
  if (!handle) {
    std::printf("no font: text case skipped\n");
    return 0;
  }
  font.AttachGdiFont(handle, FontOwnsGdiFont | FontPreferGdi);
  font.SetInkColor(0xC0FFFFFFu);  // the editor's three-quarter white
  const char* line = "Freq Shift L: 1234.5 Hz  Mix 50 %";
  PixelRect extent{0, 0, 0, 0};
  font.DrawString(&surface, line, -1, &extent, DrawTextCalcRect);
  const double textPixels = double(extent.right) * extent.bottom;
  Report("text line, glyph cache (Arial 14, alpha)",
         Rate([&] {
                PixelRect r{10, 355, 574, 371};
                font.DrawString(&surface, line, -1, &r, DrawTextNoClip | DrawTextCenter | TextUseInkAlpha);
              },
              seconds),
         textPixels);
  return 0;
}
