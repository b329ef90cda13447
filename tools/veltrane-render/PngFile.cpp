#include "tools/veltrane-render/PngFile.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

namespace render {

bool WritePng(const std::string& path, int width, int height, const unsigned char* rgb, std::string& error) {
  std::vector<png_bytep> rowPointers(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y)
    rowPointers[static_cast<size_t>(y)] = const_cast<png_bytep>(rgb + static_cast<size_t>(y) * width * 3);
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (png == nullptr || info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    std::fclose(file);
    error = "libpng could not start";
    return false;
  }
  // libpng reports errors by longjmp: nothing with a destructor lives
  // between here and the end of the writing.
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    error = "libpng failed while writing " + path;
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rowPointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fclose(file) != 0) {
    error = "cannot finish " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace render
