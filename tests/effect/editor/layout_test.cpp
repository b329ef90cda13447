// The editor as built by the effect: the control list in its order with
// rectangles, classes, parameters and images, the text styles, what the
// host sees of it, and the whole panel painted and compared with golden
// images (a fresh instance, and a factory program with a value shown).
#include <cstring>

#include "effect/editor/IQVControls.h"
#include "effect/editor/IQVOnlineVersionMenu.h"
#include "effect/editor/IQVPresetMenu.h"
#include "render/PngImage.h"
#include "tests/effect/editor/EditorTestSupport.h"

namespace edtest {
namespace {

#ifdef _WIN32
const char* const kRenderer = "wine";
#else
const char* const kRenderer = "linux";
#endif

struct ExpectedControl {
  int left, top, right, bottom;
  int param;
};

// The layout table: rectangles and parameters in list order.
const ExpectedControl kLayout[kNumLayoutControls] = {
    {0, 0, 584, 390, -1},          {420, 12, 570, 40, -1},         {17, 355, 245, 371, -1},
    {528, 300, 548, 320, kLink},   {427, 154, 447, 184, kModeL},   {457, 154, 477, 184, kModeR},
    {426, 228, 446, 300, kMixL},   {463, 228, 483, 300, kMixR},    {509, 228, 529, 300, kVolumeL},
    {546, 228, 566, 300, kVolumeR}, {268, 228, 398, 248, kFreqMinL}, {268, 245, 398, 265, kFreqMinR},
    {268, 262, 398, 282, kFreqMaxL}, {268, 279, 398, 299, kFreqMaxR}, {183, 244, 223, 284, kFreqRange},
    {39, 244, 79, 284, kLfoWaveform}, {112, 228, 132, 300, kLfoRate}, {112, 300, 132, 320, kSyncToHost},
    {277, 305, 387, 309, -1},      {277, 313, 387, 317, -1},       {367, 355, 567, 371, -1},
};

void ExpectPanelText(const TextStyle& style, int size, int alignment) {
  EXPECT_STREQ(style.face, "Arial");
  EXPECT_EQ(style.size, size);
  EXPECT_EQ(style.color.Packed(), PackPixel(192, 255, 255, 255));
  EXPECT_EQ(style.alignment, alignment);
  EXPECT_EQ(style.weight, kTextNormal);
  EXPECT_EQ(style.entryBackground.Packed(), kColorWhite.Packed());
  EXPECT_EQ(style.entryText.Packed(), kColorBlack.Packed());
}

using Layout = EditorTest;

TEST_F(Layout, ControlsFollowTheTableInOrder) {
  ASSERT_EQ(editor->NumControls(), kNumLayoutControls);
  for (int i = 0; i < kNumLayoutControls; ++i) {
    const PixelRect& r = Control(i)->Rect();
    const ExpectedControl& e = kLayout[i];
    EXPECT_TRUE(SameRect(r, PixelRect{e.left, e.top, e.right, e.bottom}))
        << "control " << i << " at " << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    EXPECT_EQ(Control(i)->ParamIdx(), e.param) << "control " << i;
    EXPECT_EQ(Control(i)->Blend().method, i == kBackground ? BlendOpaque : BlendStandard) << "control " << i;
  }
  EXPECT_NE(dynamic_cast<IQVOnlineVersionMenu*>(Control(kVersionMenu)), nullptr);
  EXPECT_NE(dynamic_cast<IQVPresetMenu*>(Control(kPresetMenu)), nullptr);
  for (int i : {kLinkSwitch, kSyncSwitch}) EXPECT_NE(dynamic_cast<IQVSwitchControl*>(Control(i)), nullptr) << i;
  for (int i : {kModeLSwitch, kModeRSwitch})
    EXPECT_NE(dynamic_cast<IQVSwitchFramesControl*>(Control(i)), nullptr) << i;
  for (int i = kMixLFader; i <= kFreqMaxRFader; ++i)
    EXPECT_NE(dynamic_cast<IQVFaderControl*>(Control(i)), nullptr) << i;
  EXPECT_NE(dynamic_cast<IQVFaderControl*>(Control(kRateFader)), nullptr);
  for (int i : {kRangeKnob, kWaveformKnob}) EXPECT_NE(dynamic_cast<IQVKnobMultiControl*>(Control(i)), nullptr) << i;
  EXPECT_NE(dynamic_cast<ITextControl*>(Control(kStatusLine)), nullptr);
  EXPECT_EQ(plug->EditorView().StatusLine(), Control(kStatusLine));
  EXPECT_EQ(plug->EditorView().ShiftIndicator(0), Control(kLeftIndicator));
  EXPECT_EQ(plug->EditorView().ShiftIndicator(1), Control(kRightIndicator));

  // Images: frame counts and frame sizes of every strip in use.
  auto strip = [&](int i) { return static_cast<IBitmapControl*>(Control(i))->Strip(); };
  EXPECT_EQ(strip(kLinkSwitch).frames, 2);
  EXPECT_EQ(strip(kModeLSwitch).frames, 3);
  EXPECT_EQ(strip(kLeftIndicator).frames, 11);
  EXPECT_EQ(strip(kLeftIndicator).height, 44);
  EXPECT_EQ(static_cast<IKnobMultiControl*>(Control(kRangeKnob))->Strip().frames, 4);
  EXPECT_EQ(static_cast<IKnobMultiControl*>(Control(kWaveformKnob))->Strip().frames, 6);
  EXPECT_EQ(static_cast<IKnobMultiControl*>(Control(kWaveformKnob))->Strip().height, 240);
  EXPECT_EQ(static_cast<IFaderControl*>(Control(kFreqMaxLFader))->HandleExtent(), 20);
  EXPECT_EQ(static_cast<IFaderControl*>(Control(kFreqMaxLFader))->TrackLength(), 130);
  for (int i = 0; i < kNumLayoutControls; ++i) {
    if (IBitmapControl* b = dynamic_cast<IBitmapControl*>(Control(i))) {
      EXPECT_NE(b->Strip().bitmap, nullptr) << i;
    }
  }

  ExpectPanelText(Control(kVersionMenu)->Style(), 16, kAlignFar);
  ExpectPanelText(Control(kPresetMenu)->Style(), 14, kAlignCenter);
  ExpectPanelText(Control(kStatusLine)->Style(), 14, kAlignCenter);
  EXPECT_EQ(Control(kPresetMenu)->TextEntryLength(), 253);
  EXPECT_EQ(StatusText(), "Version 2.0.3");
  EXPECT_TRUE(editor->HandlesHover());
}

TEST_F(Layout, TheHostSeesAnEditorOfThePanelsSize) {
  EXPECT_EQ(effect->flags, 0x1039) << std::hex << effect->flags;
  ERect* rect = nullptr;
  ASSERT_NE(Dispatch(effEditGetRect, 0, 0, &rect), 0);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->bottom, 390);
  EXPECT_EQ(rect->right, 584);
  EXPECT_EQ(editor->Width(), 584);
  EXPECT_EQ(editor->Height(), 390);
  Open();
  EXPECT_TRUE(editor->IsWindowOpen());
  Dispatch(effEditClose);
  EXPECT_FALSE(editor->IsWindowOpen());
}

TEST_F(Layout, ControlsStartAtTheDeclaredDefaultsAndShowTheCurrentProgram) {
  // The reset values are the defaults pushed on attaching; the values shown
  // are those of factory program 0.
  const double defaults[kNumVeltraneParams] = {0.0, 0.5, 0.5, 0.5, 0.5, 1.0, 1.0, 2.0 / 3.0,
                                               0.5, 0.5, 0.5, 0.5, 0.0, 1.0, 0.0};
  for (int i = 1; i < kNumLayoutControls; ++i) {
    const int p = Control(i)->ParamIdx();
    if (p < 0) continue;
    EXPECT_NEAR(Control(i)->ResetValue(), defaults[p], 1e-12) << "control " << i;
    EXPECT_NEAR(Control(i)->Value(), plug->ParamAt(p)->NormalizedValue(), 1e-12) << "control " << i;
  }
}

// An editor attached in place of ours (as tests and tools do) takes the kept
// controls with the old one: nothing reaches the deleted controls.
TEST_F(Layout, AReplacedEditorTakesTheKeptControlsAlong) {
  auto* other = new IGraphicsHeadless(plug);
  plug->AttachEditor(other);
  editor = other;
  EXPECT_EQ(plug->EditorView().StatusLine(), nullptr);
  EXPECT_EQ(plug->EditorView().ShiftIndicator(0), nullptr);
  Open();
  SetParam(kLfoWaveform, 0.0f);
  SetParam(kLfoWaveform, 0.6f);
  SetParam(kSyncToHost, 1.0f);
  Dispatch(effSetProgram, 0, 4);
  Dispatch(effEditIdle);
  plug->ShowStatusText(kMixL);
  Dispatch(effEditClose);
  EXPECT_EQ(plug->CurrentPresetIndex(), 4);
}

// The panel of a fresh instance, and of factory program 5 with the pointer
// resting on the Mix L fader.
TEST_F(Layout, PanelMatchesGoldenImages) {
  Open();
  LICE_IBitmap* surface = editor->Surface();
  ASSERT_NE(surface, nullptr);
  ExpectMatchesGolden(surface, std::string("editor_fresh_") + kRenderer + ".png");
  // Text was drawn where the labels belong: the version label and the
  // status line differ from the bare background.
  std::unique_ptr<LICE_MemBitmap> bare(
      static_cast<LICE_MemBitmap*>(::LoadImageResource(1, "resources/img/back.png")));
  ASSERT_NE(bare, nullptr);
  auto differs = [&](const PixelRect& r) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x)
        n += ((editor->WindowPixel(x, y) ^ bare->PixelBuffer()[y * bare->RowSpanPixels() + x]) & 0xFFFFFF) != 0;
    return n;
  };
  EXPECT_GT(differs(PixelRect{420, 12, 570, 40}), 40);
  EXPECT_GT(differs(PixelRect{367, 355, 567, 371}), 40);
  EXPECT_GT(differs(PixelRect{17, 355, 37, 371}), 10);

  Dispatch(effSetProgram, 0, 5);
  // Faders take the pointer on their handle only.
  const PixelRect handle = static_cast<IFaderControl*>(Control(kMixLFader))->HandleRect();
  Hover((handle.left + handle.right) / 2, (handle.top + handle.bottom) / 2);
  EXPECT_EQ(StatusText().rfind("Mix L: ", 0), 0u) << StatusText();
  Tick();
  ExpectMatchesGolden(editor->Surface(), std::string("editor_program5_") + kRenderer + ".png");
}

}  // namespace
}  // namespace edtest
