// Shared pieces of the graphics tests: a small plug-in whose host callback
// records edit gestures and automation, test images made in memory, a probe
// control that records what the core asks of it, and a fixture with a
// headless editor already "open".
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "graphics/IControl.h"
#include "graphics/IGraphicsHeadless.h"
#include "plugin/vst2/IPlugVST.h"

namespace gfxtest {

// What the plug-in told the host, in order.
struct HostNotice {
  VstInt32 opcode;
  VstInt32 index;
  float value;
};
std::vector<HostNotice>& HostNotices();
VstIntPtr VSTCALLBACK RecordingHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                    float opt);

enum TestParam { kParamA = 0, kParamB, kParamEnum, kParamNegated, kParamGain, kParamDigits, kNumTestParams };

// Six parameters: two 0..1 doubles, an enumeration with texts "Low",
// "Mid", "High", a -10..10 double shown negated, a 0..4 gain and an
// enumeration whose texts are digits ("1", "5", "9").
class TestPlug : public IPlugVST {
 public:
  TestPlug();
  void IdleTick() override { ++idleTicks; }
  void EditorResized(IGraphics* editor, int width, int height) override {
    resizedWidth = width;
    resizedHeight = height;
  }
  int idleTicks = 0;
  int resizedWidth = 0;
  int resizedHeight = 0;
};

// Images, the same for the same id in every editor of the process (the
// image cache is process-wide). Each frame k (from 1) of a strip is filled
// with FrameColor(id, k).
enum TestImage : int {
  kImageBackground = 7001,  // 584 x 390, one frame
  kImageKnob4 = 7002,       // 10 x 40, four stacked frames
  kImageHandle = 7003,      // 12 x 20, one frame
  kImageSwitch3 = 7004,     // 10 x 30, three stacked frames
  kImageSwitch2 = 7005,     // 10 x 20, two stacked frames
  kImageWide4 = 7006,       // 40 x 10, four frames side by side
  kImageHalfAlpha = 7007,   // 10 x 10, alpha 128
  kImageSolid = 7008,       // 20 x 20, one frame
  kImageSwitch3Tall = 7009,  // 10 x 90, three stacked frames
};
PackedPixel FrameColor(int id, int frame);
LICE_IBitmap* MakeTestImage(int id, const char* name);
int TestImageLoads(int id);  // how often MakeTestImage made this id

// Pixels of a bitmap.
PackedPixel PixelAt(LICE_IBitmap* bitmap, int x, int y);

// Records every call the core makes on a control.
class ProbeControl : public IControl {
 public:
  ProbeControl(IPlugBase* plug, const PixelRect& rect, int paramIdx, std::vector<std::string>* journal,
               const char* name, const ImageStrip& strip = ImageStrip());
  ~ProbeControl() override;
  void OnPress(int x, int y, const MouseModifiers& mods) override;
  void OnRelease(int x, int y, const MouseModifiers& mods) override;
  void OnDrag(int x, int y, int dx, int dy, const MouseModifiers& mods) override;
  void OnDoubleClick(int x, int y, const MouseModifiers& mods) override;
  void OnWheel(int x, int y, const MouseModifiers& mods, int notches) override;
  bool OnKey(int x, int y, int key) override;
  void OnHover(int x, int y, const MouseModifiers& mods) override;
  void OnHoverEnd() override;
  bool Paint(IGraphics* graphics) override;
  void OnTextEntered(const char* text) override;

  bool takesKeys = false;
  static int destroyed;

 private:
  void Note(const std::string& what);
  std::vector<std::string>* mJournal;
  std::string mName;
  ImageStrip mStrip;
};

class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The surface pixel at (x, y).
  PackedPixel Pixel(int x, int y) { return PixelAt(editor->Surface(), x, y); }
  // Ticks the timer n times.
  void Tick(int n = 1) {
    for (int i = 0; i < n; ++i) editor->Tick();
  }
  ImageStrip Strip(int id, int frames) { return editor->LoadImageStrip(id, "image.png", frames); }

  std::unique_ptr<TestPlug> plug;
  IGraphicsHeadless* editor = nullptr;  // owned by plug once attached
  std::vector<std::string> journal;
  int parentWindow = 0;  // its address is the parent "window"
};

}  // namespace gfxtest
