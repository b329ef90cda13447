// Writes what the manual shows of the plug-in, taken from the plug-in's own
// code so the manual cannot drift from it: the editor panel as the plug-in
// paints it (PNG), and its parameters and programs (JSON).
//
//   veltrane-manual-assets OUTDIR
#include <png.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "VeltraneVersion.h"
#include "effect/Veltrane.h"
#include "graphics/IGraphicsHeadless.h"
#include "render/PngImage.h"

namespace {

IGraphics* HeadlessWithArtwork(IPlugBase* plug) {
  IGraphicsHeadless* window = new IGraphicsHeadless(plug);
  window->GetScript().imageSource = [](int id, const char* name) { return ::LoadImageResource(id, name); };
  return window;
}

void AppendToVector(png_structp png, png_bytep data, size_t n) {
  auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}
void NoFlush(png_structp) {}

bool WritePng(const std::string& path, LICE_IBitmap* bitmap) {
  const int w = bitmap->PixelWidth(), h = bitmap->PixelHeight();
  std::vector<png_byte> rgb(static_cast<size_t>(w) * 3 * static_cast<size_t>(h));
  for (int y = 0; y < h; ++y) {
    const int row = bitmap->IsBottomUp() ? h - 1 - y : y;
    const PackedPixel* src = bitmap->PixelBuffer() + static_cast<ptrdiff_t>(row) * bitmap->RowSpanPixels();
    for (int x = 0; x < w; ++x) {
      png_byte* dst = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      dst[0] = static_cast<png_byte>(src[x] >> 16);
      dst[1] = static_cast<png_byte>(src[x] >> 8);
      dst[2] = static_cast<png_byte>(src[x]);
    }
  }
  std::vector<unsigned char> file;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &file, AppendToVector, NoFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < h; ++y) png_write_row(png, &rgb[static_cast<size_t>(y) * w * 3]);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  return static_cast<bool>(out);
}

std::string Json(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string Number(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.9g", v);
  return text;
}

// The panel of a fresh instance, as a host's first look shows it.
bool PaintPanel(const std::string& path) {
  Veltrane plug(nullptr, &HeadlessWithArtwork);
  plug.FillEmptyPresets(plug.NumPresets());
  auto* window = static_cast<IGraphicsHeadless*>(plug.Editor());
  int parent = 0;
  if (window == nullptr || window->OpenEditorWindow(&parent) == nullptr) return false;
  plug.EditorOpened();
  window->Tick();
  const bool ok = WritePng(path, window->Surface());
  window->CloseEditorWindow();
  return ok;
}

bool WriteFacts(const std::string& path) {
  Veltrane plug(nullptr, nullptr);
  plug.FillEmptyPresets(plug.NumPresets());
  std::string json = "{\n  \"version\": " + Json(kVeltraneVersionText) + ",\n  \"parameters\": [\n";
  for (int i = 0; i < plug.NumParams(); ++i) {
    const ParamRecord* p = plug.ParamAt(i);
    char shown[kParamTextSize], low[kParamTextSize], high[kParamTextSize];
    p->FormatValue(p->defaultValue, false, shown, true);
    p->FormatValue(p->minimum, false, low, true);
    p->FormatValue(p->maximum, false, high, true);
    json += "    {\"index\": " + std::to_string(i) + ", \"name\": " + Json(p->name) + ", \"minimum\": " +
            Number(p->minimum) + ", \"maximum\": " + Number(p->maximum) + ", \"default\": " +
            Number(p->defaultValue) + ", \"shownDefault\": " + Json(shown) + ", \"shownMinimum\": " + Json(low) +
            ", \"shownMaximum\": " + Json(high) + ", \"values\": [";
    for (size_t k = 0; k < p->valueTexts.size(); ++k)
      json += (k > 0 ? ", " : "") + Json(p->valueTexts[k].text);
    json += std::string("]}") + (i + 1 < plug.NumParams() ? "," : "") + "\n";
  }
  json += "  ],\n  \"programs\": [\n";
  for (int i = 0; i < plug.NumPresets(); ++i)
    json += "    " + Json(plug.PresetName(i)) + (i + 1 < plug.NumPresets() ? "," : "") + "\n";
  json += "  ]\n}\n";
  std::ofstream out(path, std::ios::binary);
  out << json;
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: veltrane-manual-assets OUTDIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  if (!PaintPanel(dir + "/panel.png")) {
    std::fprintf(stderr, "veltrane-manual-assets: could not paint the panel into %s\n", dir.c_str());
    return 1;
  }
  if (!WriteFacts(dir + "/facts.json")) {
    std::fprintf(stderr, "veltrane-manual-assets: could not write %s/facts.json\n", dir.c_str());
    return 1;
  }
  return 0;
}
