// An RGB image written as a PNG file: the spectrograms and the manual's
// pictures.
#pragma once

#include <string>

namespace render {

// `rgb` holds `height` rows of `width` pixels, three bytes each. On failure
// `error` says why.
bool WritePng(const std::string& path, int width, int height, const unsigned char* rgb, std::string& error);

}  // namespace render
