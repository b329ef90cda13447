// Time of one full repaint of a 584 x 390 editor holding a few dozen
// controls (background, knobs, faders, switches, texts), painted through the
// headless window; then the product's editor at scale 1 and at scale 2
// (a 1168 x 780 window): a full repaint and idle ticks. A benchmark, not a
// test: it prints figures and the target they are held against, and fails
// only when it cannot run.
//
//   veltrane-graphics-bench [--repeats N]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "effect/Veltrane.h"
#include "graphics/IControl.h"
#include "graphics/IGraphicsHeadless.h"
#include "render/PngImage.h"

namespace {

// A 25 frames-per-second editor has 40 ms per tick; a full repaint should
// take a small part of it.
constexpr double kTargetMilliseconds = 4.0;

LICE_IBitmap* MakeImage(int id, const char*) {
  int w = 0, h = 0;
  switch (id) {
    case 1: w = 584; h = 390; break;       // background
    case 2: w = 48; h = 48 * 64; break;    // 64-frame knob
    case 3: w = 20; h = 30; break;         // fader handle
    case 4: w = 30; h = 20 * 3; break;     // three-state switch
    default: return nullptr;
  }
  auto* b = new LICE_MemBitmap(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b->PixelBuffer()[y * b->RowSpanPixels() + x] =
          PackPixel(id == 1 ? 255 : ((x + y) % 7 == 0 ? 0 : 200), (x * 3 + id) & 0xFF, (y * 5) & 0xFF, (x ^ y) & 0xFF);
  return b;
}

IGraphics* HeadlessWithArtwork(IPlugBase* plug) {
  auto* window = new IGraphicsHeadless(plug);
  window->GetScript().imageSource = [](int id, const char* name) { return ::LoadImageResource(id, name); };
  return window;
}

template <typename Step>
void Time(const char* what, int repeats, double target, Step step) {
  double best = 1e30, total = 0.0;
  for (int r = 0; r < repeats; ++r) {
    const auto start = std::chrono::steady_clock::now();
    step(r);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    total += ms;
    if (ms < best) best = ms;
  }
  std::printf("%s: best %.4f ms, mean %.4f ms over %d (target < %.2f ms) %s\n", what, best, total / repeats, repeats,
              target, best < target ? "within target" : "ABOVE TARGET");
}

// The product's own editor with its artwork at a scale: a full repaint, an
// idle tick with nothing to repaint, and one that repaints both indicators
// and the status line.
int BenchProductEditor(int repeats, double scale) {
  Veltrane plug(nullptr, &HeadlessWithArtwork);
  auto* editor = static_cast<IGraphicsHeadless*>(plug.Editor());
  int parent = 0;
  AEffect* effect = plug.EffectRecord();
  if (editor == nullptr) {
    std::fprintf(stderr, "could not make the product editor\n");
    return 1;
  }
  effect->dispatcher(effect, effVendorSpecific, CCONST('P', 'r', 'e', 'S'), CCONST('A', 'e', 'C', 's'), nullptr,
                     static_cast<float>(scale));
  if (effect->dispatcher(effect, effEditOpen, 0, 0, &parent, 0.0f) == 0 || editor->Scale() != scale) {
    std::fprintf(stderr, "could not open the product editor at scale %.2f\n", scale);
    return 1;
  }
  char what[96];
  const PixelRect all{0, 0, editor->Width(), editor->Height()};
  editor->PaintArea(all);
  std::snprintf(what, sizeof what, "product editor at %.2gx (%dx%d), full repaint", scale, editor->WindowWidth(),
                editor->WindowHeight());
  Time(what, repeats, 1.0, [&](int) { editor->PaintArea(all); });
  editor->Tick();
  editor->Tick();
  std::snprintf(what, sizeof what, "product editor at %.2gx, idle tick with nothing to repaint", scale);
  Time(what, repeats, 0.05, [&](int) { editor->Tick(); });
  std::snprintf(what, sizeof what, "product editor at %.2gx, tick repainting indicators and status", scale);
  Time(what, repeats, 1.0, [&](int r) {
    plug.EditorView().ShiftIndicator(0)->SetValueFromPlugin((r % 11) / 10.0);
    plug.EditorView().ShiftIndicator(1)->SetValueFromPlugin(((r + 5) % 11) / 10.0);
    plug.EditorView().StatusLine()->SetTextFromPlugin(r % 2 ? "Mix L: 50:50" : "Freq Max R: -1800 Hz");
    editor->Tick();
  });
  effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0.0f);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int repeats = 500;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--repeats") == 0) repeats = std::atoi(argv[i + 1]);
  if (repeats < 1) repeats = 1;

  Veltrane plug(nullptr);
  auto* editor = new IGraphicsHeadless(&plug);
  editor->GetScript().imageSource = &MakeImage;
  editor->AddBackground(1, "back.png");
  int controls = 1;
  const ImageStrip knob = editor->LoadImageStrip(2, "knob.png", 64);
  const ImageStrip handle = editor->LoadImageStrip(3, "handle.png", 1);
  const ImageStrip toggle = editor->LoadImageStrip(4, "switch.png", 3);
  for (int i = 0; i < 12; ++i, ++controls)
    editor->AddControl(new IKnobMultiControl(&plug, 20 + (i % 6) * 90, 30 + (i / 6) * 80, i % 15, knob, kVertical, 1.0));
  for (int i = 0; i < 10; ++i, ++controls)
    editor->AddControl(new IFaderControl(&plug, 20 + i * 55, 200, 100, (i + 3) % 15, handle));
  for (int i = 0; i < 8; ++i, ++controls)
    editor->AddControl(new ISwitchControl(&plug, 20 + i * 65, 320, (i + 5) % 15, toggle));
  TextStyle style;
  style.SetFace("Arial");
  for (int i = 0; i < 6; ++i, ++controls)
    editor->AddControl(new ITextControl(&plug, PixelRect{20 + i * 90, 360, 100 + i * 90, 380}, style, "Mix L: 50:50"));
  plug.AttachEditor(editor);  // the plug-in owns it from here
  int parent = 0;
  if (editor->OpenEditorWindow(&parent) == nullptr) {
    std::fprintf(stderr, "could not open the headless window\n");
    return 1;
  }

  const PixelRect all{0, 0, editor->Width(), editor->Height()};
  editor->PaintArea(all);  // glyphs and caches warm
  double best = 1e30, total = 0.0;
  for (int r = 0; r < repeats; ++r) {
    for (int c = 1; c < editor->NumControls(); ++c) editor->GetControl(c)->SetValueFromUser((r % 100) / 99.0);
    const auto start = std::chrono::steady_clock::now();
    editor->PaintArea(all);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    total += ms;
    if (ms < best) best = ms;
  }
  std::printf("full repaint of %dx%d with %d controls: best %.3f ms, mean %.3f ms over %d (target < %.1f ms)\n",
              editor->Width(), editor->Height(), controls, best, total / repeats, repeats, kTargetMilliseconds);
  std::printf("%s\n", best < kTargetMilliseconds ? "within target" : "ABOVE TARGET");
  for (double scale : {1.0, 2.0})
    if (BenchProductEditor(repeats, scale) != 0) return 1;
  return 0;
}
