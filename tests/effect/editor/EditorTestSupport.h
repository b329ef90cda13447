// Shared pieces of the editor tests: a Veltrane instance whose editor is the
// scripted headless window (real artwork from the resources), the host's
// side of the conversation, and PNG files for renders and golden images.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "effect/Veltrane.h"
#include "graphics/IGraphicsHeadless.h"

namespace edtest {

// What the plug-in told the host, in order (automation and display updates).
struct HostCallRecord {
  VstInt32 opcode;
  VstInt32 index;
  float value;
  VstIntPtr number = 0;  // the call's value argument
};
std::vector<HostCallRecord>& HostCalls();
int CountHostCalls(VstInt32 opcode);
VstIntPtr VSTCALLBACK RecordingHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                    float opt);

// The headless window with the plug-in's own images.
IGraphics* MakeHeadlessWindow(IPlugBase* plug);

// Points the user's settings folder into the build tree and removes the
// saved zoom (each test starts without one); the file's text.
void IsolateUserSettings();
std::string UserSettingsFileText();

// Positions of the layout's controls in the editor's list.
enum LayoutPosition : int {
  kBackground = 0, kVersionMenu, kPresetMenu, kLinkSwitch, kModeLSwitch, kModeRSwitch, kMixLFader,
  kMixRFader, kVolumeLFader, kVolumeRFader, kFreqMinLFader, kFreqMinRFader, kFreqMaxLFader, kFreqMaxRFader,
  kRangeKnob, kWaveformKnob, kRateFader, kSyncSwitch, kLeftIndicator, kRightIndicator, kStatusLine,
  kNumLayoutControls
};

class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f);
  void SetParam(int index, float normalised) { effect->setParameter(effect, index, normalised); }
  // Opens the editor inside a stand-in parent and paints it once.
  void Open();
  void Tick() { editor->Tick(); }
  IControl* Control(int position) const { return editor->GetControl(position); }
  std::string StatusText() const;
  double Param(int index) const { return plug->ParamAt(index)->value; }

  void Press(int x, int y, MouseModifiers mods = Left()) { editor->PressAt(x, y, mods); }
  void Release(int x, int y) { editor->ReleaseAt(x, y, MouseModifiers()); }
  void Click(int x, int y, MouseModifiers mods = Left()) {
    Press(x, y, mods);
    Release(x, y);
  }
  void Hover(int x, int y) { editor->HoverAt(x, y, MouseModifiers()); }
  static MouseModifiers Left() {
    MouseModifiers m;
    m.left = true;
    return m;
  }
  static MouseModifiers LeftWithControl() {
    MouseModifiers m = Left();
    m.control = true;
    return m;
  }

  Veltrane* plug = nullptr;
  AEffect* effect = nullptr;
  IGraphicsHeadless* editor = nullptr;
  int parent = 0;  // the host's window stand-in
};

// PNG files of 32-bit bitmaps (alpha dropped: the editor is opaque).
bool WriteBitmapPng(const std::string& path, LICE_IBitmap* bitmap);
std::unique_ptr<LICE_MemBitmap> ReadBitmapPng(const std::string& path);

struct ImageDifference {
  int width = 0;
  int height = 0;
  int differing = 0;  // pixels with a channel further apart than the threshold
  int largest = 0;    // largest channel difference
};
ImageDifference CompareBitmaps(LICE_IBitmap* a, LICE_IBitmap* b, int threshold);

// Where renders go (the build tree) and where golden images live (the sources).
std::string ArtifactPath(const std::string& name);
std::string GoldenPath(const std::string& name);
// Set VELTRANE_UPDATE_GOLDEN=1 to rewrite the golden images from this run.
bool UpdatingGolden();

// Compares a render with its golden image, writing the render as an
// artifact (and as the new golden image when asked).
void ExpectMatchesGolden(LICE_IBitmap* render, const std::string& name, int width = 584, int height = 390);

}  // namespace edtest
