// The editor at screen scales: the window the host is told of and gets,
// the panel painted from the 2x artwork with text at the scaled size (a
// golden image at 2x, the same panel at 1.5), controls hit at their edges
// through the window's pixel mapping, the scale's sources in their order,
// and the user's zoom from the panel's menu, kept in the settings file.
#include <cmath>

#include "effect/editor/IQVControls.h"
#include "render/PngImage.h"
#include "render/Resample.h"
#include "tests/effect/editor/EditorTestSupport.h"

namespace edtest {
namespace {

#ifdef _WIN32
const char* const kRenderer = "wine";
#else
const char* const kRenderer = "linux";
#endif


const double kScales[] = {1.0, 1.25, 1.5, 1.75, 2.0};

int Rounded(double v) { return static_cast<int>(std::floor(v + 0.5)); }

class Scale : public EditorTest {
 protected:
  // The request scale-aware hosts send.
  VstIntPtr HostSaysScale(float scale) {
    return Dispatch(effVendorSpecific, CCONST('P', 'r', 'e', 'S'), CCONST('A', 'e', 'C', 's'), nullptr, scale);
  }
  ERect GetRect() {
    ERect* rect = nullptr;
    EXPECT_EQ(Dispatch(effEditGetRect, 0, 0, &rect), 1);
    return rect != nullptr ? *rect : ERect{};
  }
};

TEST_F(Scale, TheHostIsToldTheScaledSizeBeforeAndWhileOpen) {
  for (double s : kScales) {
    ASSERT_EQ(HostSaysScale(static_cast<float>(s)), 1) << s;
    const ERect r = GetRect();
    EXPECT_EQ(r.right, Rounded(584 * s)) << s;
    EXPECT_EQ(r.bottom, Rounded(390 * s)) << s;
    EXPECT_EQ(editor->Width(), 584) << "controls keep their logical panel";
  }
  HostSaysScale(1.5f);
  Open();
  ASSERT_NE(editor->Surface(), nullptr);
  EXPECT_EQ(editor->Surface()->PixelWidth(), 876);
  EXPECT_EQ(editor->Surface()->PixelHeight(), 585);
  EXPECT_EQ(CountHostCalls(audioMasterSizeWindow), 0) << "closed, the host asks for the size itself";

  // Open: the window grows and the host is asked to size its frame.
  HostSaysScale(2.0f);
  ASSERT_EQ(CountHostCalls(audioMasterSizeWindow), 1);
  EXPECT_EQ(HostCalls().back().index, 1168);
  EXPECT_EQ(HostCalls().back().number, 780);
  ASSERT_EQ(editor->WindowResizes().size(), 1u);
  EXPECT_EQ(editor->WindowResizes()[0], std::make_pair(1168, 780));
  const ERect r = GetRect();
  EXPECT_EQ(r.right, 1168);
  EXPECT_EQ(r.bottom, 780);
  Tick();
  EXPECT_EQ(editor->WindowPixels()->PixelWidth(), 1168) << "the whole new window was presented";
  // The same scale again changes nothing; nonsense is "no word from the host".
  HostSaysScale(2.0f);
  HostSaysScale(std::nanf(""));
  EXPECT_EQ(editor->Scale(), 1.0);
  EXPECT_EQ(CountHostCalls(audioMasterSizeWindow), 2);
  EXPECT_EQ(HostCalls().back().index, 584);
}

TEST_F(Scale, ThePanelAtTwiceTheScaleMatchesItsGoldenImage) {
  HostSaysScale(2.0f);
  Open();
  ExpectMatchesGolden(editor->Surface(), std::string("editor_fresh_2x_") + kRenderer + ".png", 1168, 780);
  // The 2x artwork itself, not a stretched 1x image: the bare background
  // (left of the version label) equals the 2x resource pixel for pixel.
  std::unique_ptr<LICE_IBitmap> back(::LoadImageResource(1 + IGraphics::kHiResImageIdOffset, "back@2x.png"));
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(back->PixelWidth(), 1168);
  for (int y = 100; y < 120; ++y)
    for (int x = 600; x < 640; ++x)
      ASSERT_EQ(editor->WindowPixel(x, y) & 0xFFFFFF, back->PixelBuffer()[y * back->RowSpanPixels() + x] & 0xFFFFFF)
          << x << "," << y;
}

// At 1.5 the panel is the 2x panel made smaller: artwork from the same
// source, text rendered at its own size (which a resampled 2x text is not,
// so a few pixels differ).
TEST_F(Scale, ThePanelAtOneAndAHalfIsTheTwiceScalePanelReduced) {
  HostSaysScale(2.0f);
  Open();
  LICE_MemBitmap twice(1168, 780);
  BlitBitmap(&twice, editor->Surface(), 0, 0, nullptr, 1.0f, BlendCopy);
  HostSaysScale(1.5f);
  Tick();
  ASSERT_EQ(editor->Surface()->PixelWidth(), 876);
  EXPECT_TRUE(WriteBitmapPng(ArtifactPath(std::string("editor_fresh_1.5x_") + kRenderer + ".png"), editor->Surface()));
  LICE_MemBitmap reduced(876, 585);
  ResampleBitmap(&reduced, 0, 0, 876, 585, &twice, SourceRect{0, 0, 1168, 780});
  const ImageDifference d = CompareBitmaps(editor->Surface(), &reduced, 48);
  EXPECT_LT(d.differing, 876 * 585 / 50) << d.differing << " pixels differ, largest " << d.largest;
}

TEST_F(Scale, ControlsAreHitAtTheirEdgesAtEveryScale) {
  Open();
  for (double s : kScales) {
    HostSaysScale(static_cast<float>(s));
    Tick();
    ASSERT_EQ(editor->Scale(), s);
    ASSERT_EQ(editor->WindowWidth(), Rounded(584 * s));
    // Every window pixel lies in the logical pixel that covers it.
    for (int px = 0; px < editor->WindowWidth(); ++px) {
      const int x = editor->ToLogical(px);
      ASSERT_LE(editor->ToWindowPixel(x), px) << s;
      ASSERT_GT(editor->ToWindowPixel(x + 1), px) << s;
    }
    // The first and last window pixel of each control take it; the pixel
    // just outside does not. Faders are hit on their handle only.
    for (int i = kVersionMenu; i < kNumLayoutControls; ++i) {
      IControl* control = Control(i);
      PixelRect r = control->Rect();
      if (IFaderControl* fader = dynamic_cast<IFaderControl*>(control)) r = fader->HandleRect();
      const PixelRect w = editor->ToWindowRect(r);
      const int midY = (w.top + w.bottom) / 2, midX = (w.left + w.right) / 2;
      auto under = [&](int px, int py) { return editor->ControlUnder(editor->ToLogical(px), editor->ToLogical(py)); };
      if (i == kFreqMinLFader || i == kFreqMinRFader || i == kFreqMaxLFader || i == kFreqMaxRFader) {
        EXPECT_EQ(under(w.left, midY), i) << "control " << i << " at " << s;  // overlaps are vertical only
        EXPECT_EQ(under(w.right - 1, midY), i) << "control " << i << " at " << s;
        continue;
      }
      EXPECT_EQ(under(w.left, midY), i) << "control " << i << " at " << s;
      EXPECT_EQ(under(w.right - 1, midY), i) << "control " << i << " at " << s;
      EXPECT_EQ(under(midX, w.top), i) << "control " << i << " at " << s;
      EXPECT_EQ(under(midX, w.bottom - 1), i) << "control " << i << " at " << s;
      EXPECT_NE(under(w.left - 1, midY), i) << "control " << i << " at " << s;
      EXPECT_NE(under(w.right, midY), i) << "control " << i << " at " << s;
    }
  }
}

TEST_F(Scale, TheUserBeatsTheHostWhichBeatsTheSystem) {
  EXPECT_EQ(GetRect().right, 584);
  // The host's window turns out to be on a screen at 125 %: opening there
  // asks the host for the bigger frame.
  editor->GetScript().systemScale = 1.25;
  Open();
  EXPECT_EQ(editor->Scale(), 1.25) << "only the system said anything";
  ASSERT_EQ(CountHostCalls(audioMasterSizeWindow), 1);
  EXPECT_EQ(HostCalls().back().index, 730);
  EXPECT_EQ(HostCalls().back().number, 488);
  HostSaysScale(1.75f);
  EXPECT_EQ(editor->Scale(), 1.75);

  // The zoom menu: a right press on the bare panel.
  editor->GetScript().menuChoices.push_back(3);  // "Zoom: 150%"
  MouseModifiers right;
  right.right = true;
  Press(300, 30, right);
  Release(300, 30);
  ASSERT_EQ(editor->Menus().size(), 1u);
  const auto& entries = editor->Menus()[0].entries;
  ASSERT_EQ(entries.size(), 6u);
  EXPECT_EQ(entries[0].label, "Zoom: Automatic");
  EXPECT_EQ(entries[0].flags, PopupMenuItem::kChecked);
  EXPECT_EQ(entries[3].label, "Zoom: 150%");
  EXPECT_EQ(entries[5].label, "Zoom: 200%");
  EXPECT_EQ(editor->Scale(), 1.5);
  EXPECT_NE(UserSettingsFileText().find("Zoom=150"), std::string::npos) << UserSettingsFileText();
  HostSaysScale(2.0f);
  EXPECT_EQ(editor->Scale(), 1.5) << "the user's choice stands";

  // "Automatic" gives it back to the host (and the system).
  editor->GetScript().menuChoices.push_back(0);
  Press(300, 30, right);
  EXPECT_EQ(editor->Menus().back().entries[3].flags, PopupMenuItem::kChecked);
  EXPECT_EQ(editor->Scale(), 2.0);
  EXPECT_NE(UserSettingsFileText().find("Zoom=auto"), std::string::npos) << UserSettingsFileText();
  // A left press on the panel is no zoom request.
  Click(300, 30);
  EXPECT_EQ(editor->Menus().size(), 2u);
}

// The user's zoom is theirs, not the session's: a new instance opens at it.
TEST_F(Scale, ANewInstanceOpensAtTheUsersZoom) {
  editor->ChooseUserScale(1.75);
  static const HostConnection host{&RecordingHost};
  std::unique_ptr<Veltrane> other(new Veltrane(&host, &MakeHeadlessWindow));
  AEffect* otherEffect = other->EffectRecord();
  ERect* rect = nullptr;
  ASSERT_EQ(otherEffect->dispatcher(otherEffect, effEditGetRect, 0, 0, &rect, 0.0f), 1);
  EXPECT_EQ(rect->right, Rounded(584 * 1.75));
  EXPECT_EQ(rect->bottom, Rounded(390 * 1.75));
  int parentWindow = 0;
  ASSERT_NE(otherEffect->dispatcher(otherEffect, effEditOpen, 0, 0, &parentWindow, 0.0f), 0);
  EXPECT_EQ(other->Editor()->Scale(), 1.75);
  otherEffect->dispatcher(otherEffect, effEditClose, 0, 0, nullptr, 0.0f);
}

}  // namespace
}  // namespace edtest
