// A 5 x 7 pixel font for the labels of the spectrogram: capitals, digits and
// a few signs, so the tool needs no font files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace render {

// An RGB picture, 8 bits per channel, rows top to bottom.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // width * height * 3

  RgbImage(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h * 3, 0) {}
  void Set(int x, int y, uint32_t rgb);
  void Fill(int x, int y, int w, int h, uint32_t rgb);
};

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kGlyphAdvance = 6;

// Draws text with its top-left corner at (x, y), each font pixel scale x
// scale; lower case is drawn as capitals, unknown characters as blanks.
void DrawText(RgbImage& image, int x, int y, const std::string& text, uint32_t rgb, int scale = 1);
int TextWidth(const std::string& text, int scale = 1);

}  // namespace render
