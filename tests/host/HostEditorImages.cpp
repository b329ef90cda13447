#include <png.h>

#include <algorithm>
#include <cstdlib>

#include "tests/host/HostEditorParent.h"

namespace testhost {

Image ReadPng(const std::string& path) {
  Image out;
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return out;
  png.format = PNG_FORMAT_BGRA;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr)) {
    png_image_free(&png);
    return out;
  }
  out.width = static_cast<int>(png.width);
  out.height = static_cast<int>(png.height);
  out.bgra = std::move(pixels);
  return out;
}

bool WritePng(const std::string& path, const Image& image) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width);
  png.height = static_cast<png_uint_32>(image.height);
  png.format = PNG_FORMAT_BGRA;
  return png_image_write_to_file(&png, path.c_str(), 0, image.bgra.data(), 0, nullptr) != 0;
}

bool UpdatingGolden() {
  const char* update = std::getenv("VELTRANE_UPDATE_GOLDEN");
  return update != nullptr && update[0] == '1';
}

int DifferingPixels(const Image& a, const Image& b, int threshold) {
  if (a.width != b.width || a.height != b.height || a.bgra.size() != b.bgra.size())
    return std::max(a.width * a.height, b.width * b.height);
  int differing = 0;
  for (size_t i = 0; i < a.bgra.size(); i += 4) {
    int worst = 0;
    for (size_t c = 0; c < 3; ++c) worst = std::max(worst, std::abs(a.bgra[i + c] - b.bgra[i + c]));
    differing += worst > threshold ? 1 : 0;
  }
  return differing;
}

}  // namespace testhost
