// libFuzzer target: DrawString with arbitrary text, rectangle and format.
// Input: 8 header bytes, then the text.
//   [0] format: bit 0 centre, 1 right, 2 vcentre, 3 bottom, 4 single line,
//       5 no clip, 6 measure only, 7 weight from the ink's alpha
//   [1..4] rectangle left, top, right, bottom as signed bytes x 4
//       (-128 and 127 stand for the ends of the int range)
//   [5] ink alpha   [6] font weight / 255   [7] bit 0 second font, bit 1
//       opaque background, bit 2 system bitmap, bit 3 length -1
#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "render/Font.h"

namespace {

// Destroyed at exit, before the leak check, so the face and the font
// configuration are released like in any host.
std::unique_ptr<LICE_CachedFont> MakeFont(int height, bool italic) {
  auto font = std::make_unique<LICE_CachedFont>();
  font->AttachGdiFont(LICE_CreateFont(height, 0, 0, 0, 400, italic, false, false, 0, 0, 0, 0, 0, "Arial"),
                      FontOwnsGdiFont | FontPreferGdi);
  return font;
}

int Coordinate(uint8_t b) {
  const int v = int8_t(b);
  if (v == -128) return INT_MIN;
  if (v == 127) return INT_MAX;
  return v * 4;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::unique_ptr<LICE_CachedFont> small = MakeFont(10, false);
  static const std::unique_ptr<LICE_CachedFont> italic = MakeFont(13, true);
  static LICE_MemBitmap memory(64, 32);
  static LICE_SysBitmap system(61, 29);
  if (size < 8) return 0;

  static const int kBits[8] = {DrawTextCenter,     DrawTextRight,  DrawTextVCenter,  DrawTextBottom,
                               DrawTextSingleLine, DrawTextNoClip, DrawTextCalcRect, TextUseInkAlpha};
  int format = 0;
  for (int i = 0; i < 8; ++i)
    if (data[0] & (1 << i)) format |= kBits[i];
  PixelRect rect{Coordinate(data[1]), Coordinate(data[2]), Coordinate(data[3]), Coordinate(data[4])};
  LICE_CachedFont* font = (data[7] & 1) ? italic.get() : small.get();
  font->SetInkColor(PackedPixel(data[5]) << 24 | 0x00C08040u);
  font->SetBlend(BlendCopy, float(data[6]) / 255.0f);
  font->SetPaperMode((data[7] & 2) ? PaperOpaque : PaperTransparent);
  LICE_IBitmap* dest = (data[7] & 4) ? static_cast<LICE_IBitmap*>(&system) : &memory;

  const std::string text(reinterpret_cast<const char*>(data) + 8, size - 8);
  const int length = (data[7] & 8) ? -1 : int(text.size());
  font->DrawString(dest, text.c_str(), length, &rect, format);
  PixelRect measure{0, 0, 0, 0};
  font->DrawString(nullptr, text.c_str(), length, &measure, DrawTextCalcRect);
  return 0;
}
