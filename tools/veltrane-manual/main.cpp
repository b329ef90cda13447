// Writes what the manual shows of the plug-in, taken from the plug-in's own
// code so the manual cannot drift from it: the editor panel as the plug-in
// paints it at 1x and 2x (PNG), and its parameters and programs (JSON).
// Run it with XDG_CONFIG_HOME pointing at an empty folder: a zoom the user
// chose for themselves would win over the scales asked for here.
//
//   veltrane-manual-assets OUTDIR
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "VeltraneVersion.h"
#include "effect/Veltrane.h"
#include "graphics/IGraphicsHeadless.h"
#include "render/PngImage.h"
#include "tools/veltrane-render/PngFile.h"

namespace {

IGraphics* HeadlessWithArtwork(IPlugBase* plug) {
  IGraphicsHeadless* window = new IGraphicsHeadless(plug);
  window->GetScript().imageSource = [](int id, const char* name) { return ::LoadImageResource(id, name); };
  return window;
}

bool WritePng(const std::string& path, LICE_IBitmap* bitmap) {
  const int w = bitmap->PixelWidth(), h = bitmap->PixelHeight();
  std::vector<unsigned char> rgb(static_cast<size_t>(w) * 3 * static_cast<size_t>(h));
  for (int y = 0; y < h; ++y) {
    const int row = bitmap->IsBottomUp() ? h - 1 - y : y;
    const PackedPixel* src = bitmap->PixelBuffer() + static_cast<ptrdiff_t>(row) * bitmap->RowSpanPixels();
    for (int x = 0; x < w; ++x) {
      unsigned char* dst = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      dst[0] = static_cast<unsigned char>(src[x] >> 16);
      dst[1] = static_cast<unsigned char>(src[x] >> 8);
      dst[2] = static_cast<unsigned char>(src[x]);
    }
  }
  std::string error;
  if (render::WritePng(path, w, h, rgb.data(), error)) return true;
  std::fprintf(stderr, "veltrane-manual-assets: %s\n", error.c_str());
  return false;
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

// The panel of a fresh instance, as a host's first look shows it, at the
// scale a host asks for.
bool PaintPanel(const std::string& path, double scale) {
  Veltrane plug(nullptr, &HeadlessWithArtwork);
  plug.FillEmptyPresets(plug.NumPresets());
  plug.SetHostScale(scale);
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
  if (!PaintPanel(dir + "/panel.png", 1.0) || !PaintPanel(dir + "/panel@2x.png", 2.0)) {
    std::fprintf(stderr, "veltrane-manual-assets: could not paint the panel into %s\n", dir.c_str());
    return 1;
  }
  if (!WriteFacts(dir + "/facts.json")) {
    std::fprintf(stderr, "veltrane-manual-assets: could not write %s/facts.json\n", dir.c_str());
    return 1;
  }
  return 0;
}
