// The graphics core driven through the headless window: dirty tracking,
// painting, hit testing, mouse and key dispatch, values from the plug-in,
// caches, text, and the scripted window services.
#include <algorithm>
#include <climits>
#include <cmath>
#include <thread>

#include "tests/graphics/GraphicsTestSupport.h"

namespace gfxtest {
namespace {

PixelRect R(int l, int t, int r, int b) { return PixelRect{l, t, r, b}; }

int Count(const std::vector<std::string>& journal, const std::string& entry) {
  return static_cast<int>(std::count(journal.begin(), journal.end(), entry));
}

int ChannelDistance(PackedPixel a, PackedPixel b) {
  int worst = 0;
  for (int shift = 0; shift < 32; shift += 8)
    worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
  return worst;
}

using Repaint = EditorTest;

TEST_F(Repaint, AChangedControlIsPaintedOnTwoConsecutiveTicks) {
  auto* probe = new ProbeControl(plug.get(), R(10, 10, 30, 30), kParamA, &journal, "p");
  editor->AddControl(probe);
  Tick();  // new controls start dirty: one paint
  EXPECT_EQ(Count(journal, "p paint"), 1);
  Tick();
  EXPECT_EQ(Count(journal, "p paint"), 1);

  probe->SetValueFromPlugin(0.3);  // the first value only sets the reset value
  EXPECT_FALSE(probe->NeedsPaint());
  probe->SetValueFromPlugin(0.6);
  editor->ClearPresentedAreas();
  Tick(3);
  EXPECT_EQ(Count(journal, "p paint"), 3);
  ASSERT_EQ(editor->PresentedAreas().size(), 2u);
  EXPECT_TRUE(SameRect(editor->PresentedAreas()[0], R(10, 10, 30, 30)));

  probe->SetValueFromPlugin(0.6);  // already shown
  Tick();
  EXPECT_EQ(Count(journal, "p paint"), 3);
}

TEST_F(Repaint, TheDirtyAreaIsTheBoundingBoxOfDirtyControlsAndWhatWasPassedIn) {
  auto* a = new ProbeControl(plug.get(), R(10, 10, 20, 20), -1, &journal, "a");
  auto* b = new ProbeControl(plug.get(), R(50, 5, 60, 15), -1, &journal, "b");
  auto* c = new ProbeControl(plug.get(), R(100, 100, 110, 110), -1, &journal, "c");
  editor->AddControl(a);
  editor->AddControl(b);
  editor->AddControl(c);
  c->MarkClean();
  PixelRect area{};
  EXPECT_TRUE(editor->CollectDirtyArea(area));
  EXPECT_TRUE(SameRect(area, R(10, 5, 60, 20)));
  PixelRect start = R(0, 30, 5, 40);
  EXPECT_TRUE(editor->CollectDirtyArea(start));
  EXPECT_TRUE(SameRect(start, R(0, 5, 60, 40)));
}

TEST_F(Repaint, TwentyOneCleanTicksInARowGiveOneIdleTick) {
  auto* probe = new ProbeControl(plug.get(), R(0, 0, 10, 10), -1, &journal, "p");
  editor->AddControl(probe);
  probe->MarkClean();
  PixelRect area{};
  for (int i = 0; i < 20; ++i) EXPECT_FALSE(editor->CollectDirtyArea(area));
  EXPECT_EQ(plug->idleTicks, 0);
  EXPECT_FALSE(editor->CollectDirtyArea(area));
  EXPECT_EQ(plug->idleTicks, 1);
  EXPECT_EQ(editor->IdleTicks(), 0);

  for (int i = 0; i < 15; ++i) editor->CollectDirtyArea(area);
  probe->MarkDirty(false);  // a dirty tick starts the count again
  EXPECT_TRUE(editor->CollectDirtyArea(area));
  probe->MarkClean();
  for (int i = 0; i < 20; ++i) editor->CollectDirtyArea(area);
  EXPECT_EQ(plug->idleTicks, 1);
  editor->CollectDirtyArea(area);
  EXPECT_EQ(plug->idleTicks, 2);
}

TEST_F(Repaint, PaintsInListOrderClippedToTheArea) {
  auto* bottom = new ProbeControl(plug.get(), R(0, 0, 20, 20), -1, &journal, "bottom", Strip(kImageSolid, 1));
  auto* top = new ProbeControl(plug.get(), R(10, 0, 22, 20), -1, &journal, "top", Strip(kImageHandle, 1));
  auto* touching = new ProbeControl(plug.get(), R(40, 0, 50, 10), -1, &journal, "touching", Strip(kImageSolid, 1));
  auto* zero = new ProbeControl(plug.get(), R(0, 0, 0, 0), -1, &journal, "zero");
  auto* hidden = new ProbeControl(plug.get(), R(0, 0, 30, 30), -1, &journal, "hidden", Strip(kImageSolid, 1));
  for (IControl* c : {static_cast<IControl*>(bottom), static_cast<IControl*>(top), static_cast<IControl*>(touching),
                      static_cast<IControl*>(zero), static_cast<IControl*>(hidden)})
    editor->AddControl(c);
  hidden->SetHidden(true);
  FillBitmapRect(editor->Surface(), 0, 0, editor->Width(), editor->Height(), 0, 1.0f, BlendCopy);

  EXPECT_TRUE(editor->PaintArea(R(0, 0, 40, 20)));
  const std::vector<std::string> order = {"bottom paint", "top paint", "touching paint"};
  EXPECT_EQ(journal, order);  // the touching control is painted, the zero one and the hidden one are not
  EXPECT_EQ(Pixel(5, 5), FrameColor(kImageSolid, 1));
  EXPECT_EQ(Pixel(15, 5), FrameColor(kImageHandle, 1));  // later controls lie above
  EXPECT_EQ(Pixel(40, 5), 0u);                           // touching, but outside the area
  // Every control is marked clean, painted or not; hiding asked for one
  // more paint.
  EXPECT_FALSE(bottom->NeedsPaint());
  EXPECT_FALSE(zero->NeedsPaint());
  EXPECT_TRUE(hidden->NeedsPaint());

  journal.clear();
  FillBitmapRect(editor->Surface(), 0, 0, editor->Width(), editor->Height(), 0, 1.0f, BlendCopy);
  EXPECT_TRUE(editor->PaintArea(R(0, 0, 12, 20)));
  EXPECT_EQ(Pixel(11, 5), FrameColor(kImageHandle, 1));
  EXPECT_EQ(Pixel(12, 5), 0u);
  EXPECT_EQ(Pixel(19, 5), 0u);
  EXPECT_EQ(editor->WindowPixel(11, 5), FrameColor(kImageHandle, 1));  // presented
  EXPECT_FALSE(hidden->NeedsPaint());

  IGraphicsHeadless bare(plug.get());
  bare.PrepareSurfaces();
  EXPECT_TRUE(bare.PaintArea(R(0, 0, 10, 10)));
  EXPECT_TRUE(bare.PresentedAreas().empty());
}

TEST_F(Repaint, FramesComeFromTheirPlaceInTheStripAndGrayedControlsPaintAtAQuarter) {
  editor->AddBackground(kImageBackground, "back.png");
  auto* stacked = new IBitmapControl(plug.get(), 100, 100, kParamA, Strip(kImageKnob4, 4));
  ImageStrip wide = Strip(kImageWide4, 4);
  wide.sideBySide = true;
  auto* sideBySide = new IBitmapControl(plug.get(), 200, 100, kParamB, wide);
  auto* grayed = new ProbeControl(plug.get(), R(300, 100, 320, 120), -1, &journal, "g", Strip(kImageSolid, 1));
  editor->AddControl(stacked);
  editor->AddControl(sideBySide);
  editor->AddControl(grayed);
  EXPECT_TRUE(SameRect(stacked->Rect(), R(100, 100, 110, 110)));
  EXPECT_TRUE(SameRect(sideBySide->Rect(), R(200, 100, 210, 110)));
  editor->PushParameterValue(kParamA, 0.5, true);
  editor->PushParameterValue(kParamB, 1.0, true);
  grayed->SetGrayed(true);
  EXPECT_FLOAT_EQ(grayed->Blend().weight, 0.25f);

  EXPECT_TRUE(editor->PaintArea(R(0, 0, editor->Width(), editor->Height())));
  EXPECT_EQ(Pixel(105, 105), FrameColor(kImageKnob4, 3));
  EXPECT_EQ(Pixel(205, 105), FrameColor(kImageWide4, 4));
  EXPECT_EQ(Pixel(50, 50), FrameColor(kImageBackground, 1));
  const PackedPixel back = FrameColor(kImageBackground, 1);
  const PackedPixel solid = FrameColor(kImageSolid, 1);
  PackedPixel expected = 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    const int b = (back >> shift) & 0xFF, s = (solid >> shift) & 0xFF;
    expected |= static_cast<PackedPixel>(b + (s - b) / 4) << shift;
  }
  EXPECT_LE(ChannelDistance(Pixel(310, 110), expected), 2);
  grayed->SetGrayed(false);
  EXPECT_FLOAT_EQ(grayed->Blend().weight, 1.0f);
}

using HitTesting = EditorTest;

TEST_F(HitTesting, TheTopmostVisibleUngrayedControlTakesThePoint) {
  editor->AddBackground(kImageBackground, "back.png");
  auto* lower = new ProbeControl(plug.get(), R(10, 10, 50, 50), -1, &journal, "lower");
  auto* upper = new ProbeControl(plug.get(), R(30, 30, 70, 70), -1, &journal, "upper");
  auto* zero = new ProbeControl(plug.get(), R(0, 0, 0, 0), -1, &journal, "zero");
  editor->AddControl(lower);
  editor->AddControl(upper);
  editor->AddControl(zero);
  EXPECT_EQ(editor->ControlUnder(40, 40), 2);
  EXPECT_EQ(editor->ControlUnder(20, 20), 1);
  EXPECT_EQ(editor->ControlUnder(0, 0), 0);  // the background covers the editor
  EXPECT_EQ(editor->ControlUnder(583, 389), 0);
  EXPECT_EQ(editor->ControlUnder(584, 10), -1);
  EXPECT_EQ(editor->ControlUnder(-1, 10), -1);
  upper->SetHidden(true);
  EXPECT_EQ(editor->ControlUnder(40, 40), 1);
  upper->SetHidden(false);
  upper->SetGrayed(true);
  EXPECT_EQ(editor->ControlUnder(40, 40), 1);
  lower->SetGrayed(true);
  EXPECT_EQ(editor->ControlUnder(40, 40), 0);
}

using Mouse = EditorTest;

TEST_F(Mouse, HoverStartsOnTheControlUnderThePointerAndEndsOnTheBackground) {
  editor->AddBackground(kImageBackground, "back.png");
  auto* knob = new ProbeControl(plug.get(), R(10, 10, 50, 50), -1, &journal, "knob");
  editor->AddControl(knob);
  const MouseModifiers none;
  EXPECT_FALSE(editor->HoverAt(20, 20, none));  // hover handling is off
  EXPECT_TRUE(journal.empty());

  editor->SetHandlesHover(true);
  EXPECT_TRUE(editor->HoverAt(20, 20, none));
  EXPECT_TRUE(editor->HoverAt(21, 20, none));
  EXPECT_EQ(editor->HoveredIndex(), 1);
  EXPECT_EQ((std::vector<std::string>{"knob hover", "knob hover"}), journal);
  EXPECT_TRUE(editor->HoverAt(100, 100, none));
  EXPECT_EQ(editor->HoveredIndex(), 0);
  EXPECT_EQ(journal.back(), "knob hover end");
  EXPECT_EQ(editor->LastX(), 100);

  EXPECT_TRUE(editor->HoverAt(-50, -50, none));  // outside: nothing under it
  EXPECT_EQ(editor->HoveredIndex(), 0);
  journal.clear();
  editor->HoverEnded();
  EXPECT_EQ(journal, std::vector<std::string>{"knob hover end"});
  EXPECT_EQ(editor->HoveredIndex(), -1);
}

TEST_F(Mouse, APressOnAFaderStartsAnEditThatTheReleaseEndsWhereverItHappens) {
  editor->AddBackground(kImageBackground, "back.png");
  auto* fader = new IFaderControl(plug.get(), 100, 50, 72, kParamA, Strip(kImageHandle, 1));
  editor->AddControl(fader);
  editor->PushParameterValue(kParamA, 1.0, true);  // handle at the top: 100..112 x 50..70
  MouseModifiers left;
  left.left = true;
  editor->PressAt(106, 60, left);
  EXPECT_EQ(editor->CapturedIndex(), 1);
  editor->DragTo(106, 60, left);  // no movement, no drag
  editor->DragTo(106, 86, left);
  editor->ReleaseAt(400, 300, left);  // far outside the fader
  EXPECT_EQ(editor->CapturedIndex(), -1);
  EXPECT_EQ(editor->LastX(), -1);

  const std::vector<HostNotice>& notices = HostNotices();
  ASSERT_EQ(notices.size(), 4u);
  EXPECT_EQ(notices[0].opcode, audioMasterBeginEdit);
  EXPECT_EQ(notices[0].index, kParamA);
  EXPECT_EQ(notices[1].opcode, audioMasterAutomate);
  EXPECT_FLOAT_EQ(notices[1].value, 1.0f);
  EXPECT_EQ(notices[2].opcode, audioMasterAutomate);
  EXPECT_FLOAT_EQ(notices[2].value, 0.5f);
  EXPECT_EQ(notices[3].opcode, audioMasterEndEdit);
  EXPECT_EQ(notices[3].index, kParamA);
  EXPECT_DOUBLE_EQ(plug->ParamAt(kParamA)->value, 0.5);
}

TEST_F(Mouse, DragsGoToTheCapturedControlWithTheirMovementAndReleasesWithoutPressGoUnderThePointer) {
  editor->AddBackground(kImageBackground, "back.png");
  auto* probe = new ProbeControl(plug.get(), R(10, 10, 30, 30), kParamB, &journal, "p");
  editor->AddControl(probe);
  const MouseModifiers none;
  editor->DragTo(15, 15, none);  // nothing captured
  editor->PressAt(15, 15, none);
  editor->DragTo(18, 11, none);
  editor->DragTo(200, 200, none);  // outside the control, still captured
  editor->ReleaseAt(200, 200, none);
  EXPECT_EQ(journal, (std::vector<std::string>{"p press 15,15", "p drag 3,-4", "p drag 182,189",
                                                "p release 200,200"}));

  journal.clear();
  HostNotices().clear();
  editor->ReleaseAt(20, 20, none);  // a release without a press reaches what is under it
  EXPECT_EQ(journal, std::vector<std::string>{"p release 20,20"});
  ASSERT_EQ(HostNotices().size(), 1u);
  EXPECT_EQ(HostNotices()[0].opcode, audioMasterEndEdit);
  HostNotices().clear();
  editor->ReleaseAt(300, 300, none);  // over the background: no parameter, no notice
  EXPECT_TRUE(HostNotices().empty());
}

TEST_F(Mouse, EventsOutsideTheEditorFindNothing) {
  editor->AddBackground(kImageBackground, "back.png");
  editor->AddControl(new ProbeControl(plug.get(), R(0, 0, 584, 390), kParamA, &journal, "all"));
  editor->SetHandlesHover(true);
  const MouseModifiers none;
  for (int x : {-1, 584, INT_MIN, INT_MAX}) {
    editor->PressAt(x, 10, none);
    editor->DragTo(x, 11, none);
    editor->ReleaseAt(x, 12, none);
    editor->DoubleClickAt(x, 13, none);
    editor->WheelAt(x, 14, none, 3);
    EXPECT_FALSE(editor->KeyAt(x, 15, kKeySpace));
    EXPECT_TRUE(editor->HoverAt(x, 16, none));
  }
  EXPECT_TRUE(journal.empty());
  EXPECT_TRUE(HostNotices().empty());
}

TEST_F(Mouse, ADoubleClickRestoresTheFirstValueFromThePlugin) {
  editor->AddBackground(kImageBackground, "back.png");
  auto* fader = new IFaderControl(plug.get(), 100, 50, 72, kParamA, Strip(kImageHandle, 1));
  auto* fresh = new IFaderControl(plug.get(), 200, 50, 72, kParamB, Strip(kImageHandle, 1));
  editor->AddControl(fader);
  editor->AddControl(fresh);
  editor->PushParameterValue(kParamA, 0.25, true);
  editor->PushParameterValue(kParamA, 0.75, true);  // later values do not move the reset value
  EXPECT_DOUBLE_EQ(fader->ResetValue(), 0.25);
  const MouseModifiers none;
  const PixelRect handle = fader->HandleRect();
  editor->DoubleClickAt(handle.left + 2, handle.top + 2, none);
  EXPECT_DOUBLE_EQ(fader->Value(), 0.25);
  EXPECT_DOUBLE_EQ(plug->ParamAt(kParamA)->value, 0.25);
  EXPECT_EQ(editor->CapturedIndex(), -1);

  HostNotices().clear();
  const PixelRect other = fresh->HandleRect();
  editor->DoubleClickAt(other.left + 2, other.top + 2, none);  // never received a value
  EXPECT_DOUBLE_EQ(fresh->Value(), 0.0);
  EXPECT_TRUE(HostNotices().empty());
}

TEST_F(Mouse, WheelStepsGoToTheControlUnderThePointerOrTheCapturedOne) {
  editor->AddBackground(kImageBackground, "back.png");
  auto* knob = new IKnobMultiControl(plug.get(), 10, 10, kParamB, Strip(kImageKnob4, 4), kVertical, 1.0);
  auto* probe = new ProbeControl(plug.get(), R(100, 100, 120, 120), -1, &journal, "p");
  editor->AddControl(knob);
  editor->AddControl(probe);
  editor->PushParameterValue(kParamB, 0.5, true);
  MouseModifiers none, control, shift;
  control.control = true;
  shift.shift = true;
  editor->WheelAt(15, 15, none, 1);
  EXPECT_NEAR(knob->Value(), 0.51, 1e-12);
  editor->WheelAt(15, 15, control, 1);
  EXPECT_NEAR(knob->Value(), 0.511, 1e-12);
  editor->WheelAt(15, 15, shift, -11);
  EXPECT_NEAR(knob->Value(), 0.5, 1e-12);
  editor->WheelAt(15, 15, none, INT_MAX);
  EXPECT_DOUBLE_EQ(knob->Value(), 1.0);
  editor->WheelAt(15, 15, none, INT_MIN);
  EXPECT_DOUBLE_EQ(knob->Value(), 0.0);
  editor->WheelAt(15, 15, none, 0);
  EXPECT_DOUBLE_EQ(knob->Value(), 0.0);

  editor->PressAt(110, 110, none);
  editor->WheelAt(15, 15, none, 2);  // the captured probe takes it
  EXPECT_EQ(journal.back(), "p wheel 2");
  EXPECT_DOUBLE_EQ(knob->Value(), 0.0);
}

TEST_F(Mouse, KeysOverTheBackgroundAreNotHandled) {
  editor->AddBackground(kImageBackground, "back.png");
  auto* probe = new ProbeControl(plug.get(), R(10, 10, 30, 30), -1, &journal, "p");
  editor->AddControl(probe);
  EXPECT_FALSE(editor->KeyAt(100, 100, kKeyUp));
  EXPECT_FALSE(editor->KeyAt(20, 20, kKeyUp));
  probe->takesKeys = true;
  EXPECT_TRUE(editor->KeyAt(20, 20, kKeyLetterA));
  editor->PressAt(20, 20, MouseModifiers());
  EXPECT_TRUE(editor->KeyAt(300, 300, kKeyDigit0));  // the captured control
  EXPECT_EQ(journal, (std::vector<std::string>{"p key 1", "p key 15", "p press 20,20", "p key 5"}));
}

using PluginValues = EditorTest;

TEST_F(PluginValues, PushedValuesReachEveryBoundControlNormalised) {
  auto* a = new ProbeControl(plug.get(), R(0, 0, 10, 10), kParamGain, &journal, "a");
  auto* b = new ProbeControl(plug.get(), R(0, 0, 10, 10), kParamGain, &journal, "b");
  auto* other = new ProbeControl(plug.get(), R(0, 0, 10, 10), kParamA, &journal, "other");
  editor->AddControl(a);
  editor->AddControl(b);
  editor->AddControl(other);
  editor->PushParameterValue(kParamGain, 2.0, false);  // 0..4
  EXPECT_DOUBLE_EQ(a->Value(), 0.5);
  EXPECT_DOUBLE_EQ(b->Value(), 0.5);
  EXPECT_DOUBLE_EQ(other->Value(), 0.0);
  editor->PushParameterValue(kParamGain, 9.0, false);  // clamped by the record
  EXPECT_DOUBLE_EQ(a->Value(), 1.0);
  editor->PushParameterValue(kParamGain, 0.25, true);
  EXPECT_DOUBLE_EQ(a->Value(), 0.25);
  editor->PushParameterValue(kParamGain, std::nan(""), true);
  EXPECT_DOUBLE_EQ(a->Value(), 0.25);
  editor->PushParameterValue(99, 1.0, false);  // no such parameter
  editor->PushParameterValue(-1, 1.0, true);
  EXPECT_DOUBLE_EQ(a->Value(), 0.25);
}

TEST_F(PluginValues, ValuesFromAnotherThreadWaitForTheWindowThread) {
  auto* probe = new ProbeControl(plug.get(), R(0, 0, 10, 10), kParamA, &journal, "p");
  editor->AddControl(probe);
  editor->PushParameterValue(kParamA, 0.2, true);  // the window's own thread: at once
  EXPECT_DOUBLE_EQ(probe->Value(), 0.2);
  Tick();

  std::thread host([this] { editor->PushParameterValue(kParamA, 0.8, true); });
  host.join();
  EXPECT_DOUBLE_EQ(probe->Value(), 0.2);
  journal.clear();
  Tick();  // handed over, then painted on this tick and the next
  EXPECT_DOUBLE_EQ(probe->Value(), 0.8);
  Tick();
  EXPECT_EQ(Count(journal, "p paint"), 2);

  // Many values while the window thread keeps ticking: the last one wins.
  std::thread busy([this] {
    for (int i = 0; i <= 20000; ++i) editor->PushParameterValue(kParamA, i / 20000.0, true);
  });
  for (int i = 0; i < 200; ++i) Tick();
  busy.join();
  Tick();
  EXPECT_DOUBLE_EQ(probe->Value(), 1.0);

  // With the window closed values arrive at once from any thread.
  editor->CloseEditorWindow();
  std::thread closed([this] { editor->PushParameterValue(kParamA, 0.4, true); });
  closed.join();
  EXPECT_DOUBLE_EQ(probe->Value(), 0.4);
}

TEST_F(PluginValues, AValueParkedBeforeTheWindowClosesIsNotLost) {
  auto* probe = new ProbeControl(plug.get(), R(0, 0, 10, 10), kParamB, &journal, "p");
  editor->AddControl(probe);
  editor->PushParameterValue(kParamB, 0.1, true);
  std::thread host([this] { editor->PushParameterValue(kParamB, 0.9, true); });
  host.join();
  editor->CloseEditorWindow();
  EXPECT_DOUBLE_EQ(probe->Value(), 0.9);
}

using EditorSize = EditorTest;

TEST_F(EditorSize, ANewSizeLeavesNoControlsAndTellsThePlugin) {
  editor->AddBackground(kImageBackground, "back.png");
  editor->AddControl(new ProbeControl(plug.get(), R(0, 0, 10, 10), -1, &journal, "p"));
  editor->PressAt(5, 5, MouseModifiers());
  const int destroyedBefore = ProbeControl::destroyed;
  editor->SetEditorSize(584, 390);  // unchanged: nothing happens
  EXPECT_EQ(editor->NumControls(), 2);

  editor->SetEditorSize(300, 200);
  EXPECT_EQ(editor->NumControls(), 0);
  EXPECT_EQ(ProbeControl::destroyed, destroyedBefore + 1);
  EXPECT_EQ(editor->CapturedIndex(), -1);
  EXPECT_EQ(editor->Surface()->PixelWidth(), 300);
  EXPECT_EQ(editor->Surface()->PixelHeight(), 200);
  EXPECT_EQ(plug->resizedWidth, 300);
  EXPECT_EQ(plug->resizedHeight, 200);
  ERect* rect = nullptr;
  AEffect* effect = plug->EffectRecord();
  ASSERT_EQ(effect->dispatcher(effect, effEditGetRect, 0, 0, &rect, 0.0f), 1);
  EXPECT_EQ(rect->right, 300);
  EXPECT_EQ(rect->bottom, 200);
}

using Caches = EditorTest;

TEST_F(Caches, ImagesAreDecodedOncePerProcessAndMissingOnesAreNotKept) {
  IGraphicsHeadless second(plug.get());
  second.GetScript().imageSource = &MakeTestImage;
  const int loadsBefore = TestImageLoads(kImageSwitch2);
  const ImageStrip one = Strip(kImageSwitch2, 2);
  const ImageStrip two = second.LoadImageStrip(kImageSwitch2, "other name", 5);
  EXPECT_EQ(one.bitmap, two.bitmap);
  EXPECT_EQ(TestImageLoads(kImageSwitch2), loadsBefore == 0 ? 1 : loadsBefore);
  EXPECT_EQ(two.width, 10);
  EXPECT_EQ(two.height, 20);
  EXPECT_EQ(two.frames, 5);
  EXPECT_FALSE(two.sideBySide);

  int asked = 0;
  second.GetScript().imageSource = [&asked](int, const char*) -> LICE_IBitmap* {
    ++asked;
    return nullptr;
  };
  const int cached = IGraphics::CachedImageCount();
  const ImageStrip missing = second.LoadImageStrip(4242, "missing.png", 3);
  second.LoadImageStrip(4242, "missing.png", 3);
  EXPECT_EQ(missing.bitmap, nullptr);
  EXPECT_EQ(missing.width, 0);
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(IGraphics::CachedImageCount(), cached);
}

TEST_F(Caches, StylesWithTheSameSizeOrientationWeightAndFaceShareOneFont) {
  TextStyle a, b;
  a.size = b.size = 17;
  a.SetFace("Liberation Sans");
  b.SetFace("Liberation Sans");
  b.color = ArgbColor{255, 200, 0, 0};  // colour and alignment are not keys
  b.alignment = kAlignFar;
  const int before = IGraphics::CachedFontCount();
  LICE_IFont* fa = editor->FontFor(a);
  ASSERT_NE(fa, nullptr);
  EXPECT_EQ(editor->FontFor(b), fa);
  EXPECT_EQ(a.font, fa);
  EXPECT_EQ(b.font, fa);
  IGraphicsHeadless second(plug.get());
  TextStyle c = a;
  c.font = nullptr;
  EXPECT_EQ(second.FontFor(c), fa);  // shared across editors
  EXPECT_LE(IGraphics::CachedFontCount(), before + 1);

  TextStyle bigger = a, bold = a, lower = a;
  bigger.size = 18;
  bold.weight = kTextBold;
  lower.SetFace("liberation sans");  // the face is compared exactly
  EXPECT_NE(editor->FontFor(bigger), fa);
  EXPECT_NE(editor->FontFor(bold), fa);
  EXPECT_NE(editor->FontFor(lower), fa);
}

using Text = EditorTest;

TEST_F(Text, MeasuringPlacesTheExtentByAlignment) {
  TextStyle style;
  style.SetFace("Liberation Sans");
  style.size = 14;
  style.alignment = kAlignNear;
  PixelRect near = R(10, 20, 110, 40);
  ASSERT_TRUE(editor->MeasureText(style, "Hello", near));
  const int w = near.right - near.left;
  const int h = near.bottom - near.top;
  EXPECT_EQ(near.left, 10);
  EXPECT_GT(w, 10);
  EXPECT_GT(h, 5);

  style.alignment = kAlignCenter;
  PixelRect centre = R(10, 20, 111, 40);
  ASSERT_TRUE(editor->MeasureText(style, "Hello", centre));
  EXPECT_EQ(centre.left, 60 - w / 2);  // (10 + 111) * 0.5 = 60.5 -> 60
  EXPECT_EQ(centre.right, centre.left + w);
  EXPECT_EQ(centre.bottom, 20 + h);

  style.alignment = kAlignFar;
  PixelRect far = R(10, 20, 110, 40);
  ASSERT_TRUE(editor->MeasureText(style, "Hello", far));
  EXPECT_EQ(far.left, 110 - w);
  EXPECT_EQ(far.right, 110);

  PixelRect untouched = R(1, 2, 3, 4);
  EXPECT_TRUE(editor->MeasureText(style, "", untouched));
  EXPECT_TRUE(editor->RenderText(style, nullptr, untouched, true));
  EXPECT_TRUE(SameRect(untouched, R(1, 2, 3, 4)));
}

TEST_F(Text, ATextControlDrawsItsTextInItsRectangle) {
  TextStyle style;
  style.SetFace("Liberation Sans");
  style.size = 16;
  auto* label = new ITextControl(plug.get(), R(20, 20, 120, 44), style, "MMMM");
  editor->AddControl(label);
  FillBitmapRect(editor->Surface(), 0, 0, editor->Width(), editor->Height(), 0xFFFFFFFFu, 1.0f, BlendCopy);
  EXPECT_TRUE(editor->PaintArea(R(0, 0, editor->Width(), editor->Height())));
  int dark = 0, outside = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 140; ++x) {
      const bool isDark = (Pixel(x, y) & 0xFF) < 128;
      if (isDark && x >= 20 && x < 120 && y >= 20 && y < 44) ++dark;
      if (isDark && (x < 18 || x >= 122 || y < 18 || y >= 46)) ++outside;
    }
  EXPECT_GT(dark, 20);
  EXPECT_EQ(outside, 0);
}

// A repaint of part of a text leaves the rest of the surface alone: the
// pixels outside the area are not repainted underneath, so text drawn there
// would pile up on the old text.
TEST_F(Text, TextIsClippedToTheAreaBeingRepainted) {
  TextStyle style;
  style.SetFace("Liberation Sans");
  style.size = 16;
  editor->AddControl(new ITextControl(plug.get(), R(20, 20, 120, 44), style, "MMMM"));
  FillBitmapRect(editor->Surface(), 0, 0, editor->Width(), editor->Height(), 0xFFFFFFFFu, 1.0f, BlendCopy);
  EXPECT_TRUE(editor->PaintArea(R(60, 0, 80, 60)));
  int inside = 0, outside = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 140; ++x) {
      const bool isDark = (Pixel(x, y) & 0xFF) < 128;
      (x >= 60 && x < 80 ? inside : outside) += isDark ? 1 : 0;
    }
  EXPECT_GT(inside, 5);
  EXPECT_EQ(outside, 0);
}

using Services = EditorTest;

TEST_F(Services, TextEntryCommitsFilteredTextOnTheNextTick) {
  auto* free = new ProbeControl(plug.get(), R(10, 10, 60, 30), -1, &journal, "free");
  auto* negated = new ProbeControl(plug.get(), R(10, 40, 60, 60), kParamNegated, &journal, "neg");
  auto* digits = new ProbeControl(plug.get(), R(10, 70, 60, 90), kParamDigits, &journal, "digits");
  editor->AddControl(free);
  editor->AddControl(negated);
  editor->AddControl(digits);
  Tick();
  journal.clear();
  IGraphicsHeadless::Script& script = editor->GetScript();

  script.typedTexts.push_back(std::string("hello world"));
  editor->BeginTextEntry(free, free->Style(), free->Rect(), "old", nullptr);
  EXPECT_TRUE(editor->TextEntryOpen());
  editor->BeginTextEntry(negated, negated->Style(), negated->Rect(), "", nullptr);  // one box at a time
  editor->BeginTextEntry(nullptr, free->Style(), free->Rect(), "", nullptr);
  EXPECT_EQ(editor->TextEntries().size(), 1u);
  EXPECT_TRUE(journal.empty());
  Tick();
  EXPECT_FALSE(editor->TextEntryOpen());
  EXPECT_EQ(journal, std::vector<std::string>{"free text hello w"});  // seven characters

  free->SetTextEntryLength(100);  // longer than the box reads back
  script.typedTexts.push_back(std::string(200, 'x'));
  editor->BeginTextEntry(free, free->Style(), free->Rect(), "", nullptr);
  Tick();
  EXPECT_EQ(editor->TextEntries().back().committed, std::string(31, 'x'));

  script.typedTexts.push_back(std::string("1a.5b"));  // letters are swallowed
  editor->BeginTextEntry(negated, negated->Style(), negated->Rect(), "0", plug->ParamAt(kParamNegated));
  Tick();
  EXPECT_EQ(editor->TextEntries().back().committed, "1.5");
  EXPECT_DOUBLE_EQ(plug->ParamAt(kParamNegated)->value, -1.5);  // shown negated
  EXPECT_DOUBLE_EQ(negated->Value(), 0.425);

  script.typedTexts.push_back(std::string("9.x"));  // enumerations take no point
  editor->BeginTextEntry(digits, digits->Style(), digits->Rect(), "", plug->ParamAt(kParamDigits));
  Tick();
  EXPECT_EQ(editor->TextEntries().back().committed, "9");
  EXPECT_DOUBLE_EQ(digits->Value(), 1.0);
  script.typedTexts.push_back(std::string("7"));  // no value text: 0
  editor->BeginTextEntry(digits, digits->Style(), digits->Rect(), "", plug->ParamAt(kParamDigits));
  Tick();
  EXPECT_DOUBLE_EQ(digits->Value(), 0.0);
}

TEST_F(Services, TextEntryCancelsAndRepaintsAroundTheOpenBox) {
  auto* probe = new ProbeControl(plug.get(), R(10, 10, 60, 30), kParamA, &journal, "p");
  editor->AddControl(probe);
  Tick();
  journal.clear();
  IGraphicsHeadless::Script& script = editor->GetScript();
  script.typedTexts.push_back(std::nullopt);  // Escape
  editor->BeginTextEntry(probe, probe->Style(), probe->Rect(), "x", plug->ParamAt(kParamA));
  Tick();
  EXPECT_FALSE(editor->TextEntryOpen());
  EXPECT_TRUE(editor->TextEntries().back().cancelled);
  EXPECT_TRUE(HostNotices().empty());

  editor->BeginTextEntry(probe, probe->Style(), probe->Rect(), "x", nullptr);  // nothing typed yet
  probe->MarkDirty(false);
  Tick();  // repaints and marks the box's tick
  EXPECT_EQ(editor->TextEntryState(), IGraphicsHeadless::kEntryRepainted);
  probe->MarkDirty(false);
  Tick();  // the next tick only clears the mark
  EXPECT_EQ(Count(journal, "p paint"), 1);
  EXPECT_EQ(editor->TextEntryState(), IGraphicsHeadless::kEntryIdle);
  editor->CancelTextEntry();
  Tick();
  EXPECT_FALSE(editor->TextEntryOpen());

  editor->BeginTextEntry(probe, probe->Style(), probe->Rect(), "x", nullptr);
  editor->CloseEditorWindow();  // closing drops the box unused
  EXPECT_FALSE(editor->TextEntryOpen());
  EXPECT_TRUE(editor->TextEntries().back().cancelled);
  editor->BeginTextEntry(probe, probe->Style(), probe->Rect(), "x", nullptr);  // no window: no box
  EXPECT_FALSE(editor->TextEntryOpen());

  ASSERT_NE(editor->OpenEditorWindow(&parentWindow), nullptr);
  editor->BeginTextEntry(probe, probe->Style(), probe->Rect(), "x", nullptr);
  editor->SetEditorSize(100, 100);  // its control is gone: dropped too
  EXPECT_FALSE(editor->TextEntryOpen());
  Tick();
}

TEST_F(Services, PopupMenusAnswerTheSubmenuHoldingTheChoice) {
  editor->AddBackground(kImageBackground, "back.png");
  editor->PressAt(5, 5, MouseModifiers());
  PopupMenu menu(2);
  menu.AddItem("first");
  PopupMenu* sub = new PopupMenu();
  sub->AddItem("inner one");
  sub->AddItem("inner two");
  menu.AddSubmenu("second", sub);
  menu.AddItem("third", -1, PopupMenuItem::kGrayed);
  IGraphicsHeadless::Script& script = editor->GetScript();
  script.menuChoices = {4, 1, 2, -1};

  EXPECT_EQ(editor->RunPopupMenu(menu, R(10, 10, 50, 30)), sub);
  EXPECT_EQ(sub->ChosenIndex(), 1);
  EXPECT_EQ(menu.ChosenIndex(), -1);
  EXPECT_EQ(editor->CapturedIndex(), -1);
  const auto& shown = editor->Menus().back().entries;
  ASSERT_EQ(shown.size(), 5u);
  EXPECT_EQ(shown[4].label, "03: third");
  EXPECT_EQ(shown[2].label, "inner one");
  EXPECT_EQ(shown[2].command, 3);
  EXPECT_EQ(editor->RunPopupMenu(menu, R(10, 10, 50, 30)), nullptr);  // a submenu's title
  EXPECT_EQ(editor->RunPopupMenu(menu, R(10, 10, 50, 30)), nullptr);  // greyed
  EXPECT_EQ(editor->RunPopupMenu(menu, R(10, 10, 50, 30)), nullptr);  // dismissed
  EXPECT_EQ(editor->RunPopupMenu(menu, R(10, 10, 50, 30)), nullptr);  // nothing scripted
  PopupMenu empty;
  EXPECT_EQ(editor->RunPopupMenu(empty, R(0, 0, 0, 0)), nullptr);
}

TEST_F(Services, MessagesAndTheBrowserFollowTheScript) {
  IGraphicsHeadless::Script& script = editor->GetScript();
  script.messageAnswers = {7};  // "No" to the confirmation
  EXPECT_FALSE(editor->LaunchUrl("https://example.invalid/", "Title", "Open it?", "Failed"));
  EXPECT_TRUE(editor->Urls().empty());
  EXPECT_TRUE(editor->LaunchUrl("https://example.invalid/a", "Title", nullptr, nullptr));
  script.browserOpens = {false};
  EXPECT_FALSE(editor->LaunchUrl("https://example.invalid/b", "Title", nullptr, "Could not open"));
  ASSERT_EQ(editor->Urls().size(), 2u);
  ASSERT_EQ(editor->Messages().size(), 2u);
  EXPECT_EQ(editor->Messages()[0].type, 4);
  EXPECT_EQ(editor->Messages()[1].text, "Could not open");
  script.messageAnswers = {2};
  EXPECT_EQ(editor->ShowMessage("text", "caption", 16), 2);
  EXPECT_EQ(editor->ShowMessage("text", "caption", 64), 1);
}

TEST_F(Services, TheWindowOpensOnceWithAParentAndClosesSafely) {
  auto* probe = new ProbeControl(plug.get(), R(0, 0, 10, 10), -1, &journal, "p");
  editor->AddControl(probe);
  probe->MarkClean();
  int otherParent = 0;
  EXPECT_NE(editor->OpenEditorWindow(&otherParent), nullptr);  // reopening replaces the window
  EXPECT_EQ(editor->Parent(), &otherParent);
  EXPECT_TRUE(probe->NeedsPaint());  // the first tick repaints everything
  EXPECT_TRUE(editor->IsWindowOpen());
  editor->CloseEditorWindow();
  editor->CloseEditorWindow();
  EXPECT_FALSE(editor->IsWindowOpen());
  EXPECT_EQ(editor->OpenEditorWindow(nullptr), nullptr);
  EXPECT_FALSE(editor->IsWindowOpen());
  Tick();  // a closed window has no timer
  EXPECT_TRUE(editor->PresentedAreas().empty());
}

}  // namespace
}  // namespace gfxtest
