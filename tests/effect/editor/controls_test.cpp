// The effect's controls through real pointer events on the built editor:
// lever bands, overlapping Freq fader handles, fine wheel steps, the status
// line following the pointer, double clicks back to the declared defaults,
// knob clamping, the shift indicators, hidden "Freq Min" faders and editor
// updates asked for from other threads.
#include <thread>

#include "effect/editor/IQVControls.h"
#include "tests/effect/editor/EditorTestSupport.h"

namespace edtest {
namespace {

using Controls = EditorTest;

PixelRect HandleOf(IControl* control) { return static_cast<IFaderControl*>(control)->HandleRect(); }
int MidX(const PixelRect& r) { return (r.left + r.right) / 2; }
int MidY(const PixelRect& r) { return (r.top + r.bottom) / 2; }

TEST_F(Controls, ModeLeverBandsPickImagRealInput) {
  Open();
  const struct {
    int y;
    double normalised;
    const char* text;
  } bands[] = {{160, 0.0, "Imag."}, {170, 0.5, "Real"}, {180, 1.0, "Input"}, {155, 0.0, "Imag."}};
  for (const auto& band : bands) {
    HostCalls().clear();
    Click(437, band.y);
    EXPECT_DOUBLE_EQ(Control(kModeLSwitch)->Value(), band.normalised) << band.y;
    EXPECT_DOUBLE_EQ(plug->ParamAt(kModeL)->NormalizedValue(), band.normalised) << band.y;
    char text[kParamTextSize];
    plug->ParamAt(kModeL)->FormatValue(plug->ParamAt(kModeL)->value, false, text, true);
    EXPECT_STREQ(text, band.text);
    ASSERT_GE(CountHostCalls(audioMasterAutomate), 1) << "the host hears of the change";
    EXPECT_EQ(HostCalls().back().index, kModeL);
  }
  // The status line waits for the pointer to move over the lever.
  EXPECT_EQ(StatusText(), "Version 2.0.3");
  Hover(437, 181);
  EXPECT_EQ(StatusText(), "Mode L: Imag.");
}

TEST_F(Controls, OverlappingFreqHandlesGoToTheOneUnderThePointerAndTheLaterOneWhereTheyMeet) {
  SetParam(kLink, 0.0f);
  for (int p : {kFreqMinL, kFreqMinR, kFreqMaxL, kFreqMaxR}) SetParam(p, 0.5f);
  SetParam(kLfoWaveform, 0.2f);  // Freq Min shown
  Open();
  // Handles at x 323..343; Min L spans y 228..248, Min R 245..265.
  const PixelRect minL = HandleOf(Control(kFreqMinLFader));
  ASSERT_EQ(minL.top, 228);
  ASSERT_EQ(minL.left, 323);
  EXPECT_EQ(editor->ControlUnder(333, 235), kFreqMinLFader);
  EXPECT_EQ(editor->ControlUnder(333, 246), kFreqMinRFader);  // both handles: the later one
  EXPECT_EQ(editor->ControlUnder(333, 263), kFreqMaxLFader);
  EXPECT_EQ(editor->ControlUnder(333, 297), kFreqMaxRFader);
  EXPECT_EQ(editor->ControlUnder(280, 235), kBackground) << "the track outside the handle takes nothing";

  // A drag from the overlap moves Min R alone; the handle's middle follows.
  Press(333, 246);
  editor->DragTo(378, 246, Left());
  Release(378, 246);
  EXPECT_NEAR(Control(kFreqMinRFader)->Value(), (378.0 - 268 - 10) / 110.0, 1e-12);
  EXPECT_DOUBLE_EQ(Control(kFreqMinLFader)->Value(), 0.5);
  EXPECT_EQ(StatusText().rfind("Freq Min R: ", 0), 0u) << StatusText();
}

TEST_F(Controls, WheelStepsAreFinerWithControlOnFadersThanOnKnobs) {
  Open();
  SetParam(kMixL, 0.5f);
  Dispatch(effEditIdle);
  const PixelRect h = HandleOf(Control(kMixLFader));
  editor->WheelAt(MidX(h), MidY(h), LeftWithControl(), 1);
  EXPECT_NEAR(Control(kMixLFader)->Value(), 0.5001, 1e-12);
  EXPECT_NEAR(plug->ParamAt(kMixL)->NormalizedValue(), 0.5001, 1e-9);
  editor->WheelAt(MidX(h), MidY(h), MouseModifiers(), -2);
  EXPECT_NEAR(Control(kMixLFader)->Value(), 0.4801, 1e-12);
  EXPECT_EQ(StatusText().rfind("Mix L: ", 0), 0u) << "the wheel shows the value";

  const double knob = Control(kRangeKnob)->Value();
  editor->WheelAt(200, 260, LeftWithControl(), 1);
  EXPECT_NEAR(Control(kRangeKnob)->Value(), knob + 0.001, 1e-12);
  editor->WheelAt(200, 260, MouseModifiers(), 3);
  EXPECT_NEAR(Control(kRangeKnob)->Value(), knob + 0.031, 1e-12);
  EXPECT_EQ(StatusText().rfind("Freq Range: ", 0), 0u) << StatusText();
}

TEST_F(Controls, StatusLineFollowsThePointerAndStaysOnBareBackground) {
  SetParam(kLink, 0.0f);
  SetParam(kMixL, 0.5f);
  SetParam(kMixR, 0.25f);
  Open();
  const PixelRect l = HandleOf(Control(kMixLFader));
  const PixelRect r = HandleOf(Control(kMixRFader));
  Hover(MidX(l), MidY(l));
  EXPECT_EQ(StatusText(), "Mix L: 50:50");
  Hover(MidX(r), MidY(r));
  EXPECT_EQ(StatusText().rfind("Mix R: ", 0), 0u);
  const std::string right = StatusText();
  EXPECT_NE(right, "Mix L: 50:50");
  Hover(300, 100);  // the block diagram: no control
  EXPECT_EQ(StatusText(), right);
  Hover(538, 310);
  EXPECT_EQ(StatusText(), "Link L+R: Off");
  Tick();
  EXPECT_FALSE(Control(kStatusLine)->NeedsPaint()) << "painted";

  // A press moves the value but not the text; the next move over it does.
  Click(MidX(l), l.top + 2);
  EXPECT_EQ(StatusText(), "Link L+R: Off");
  const PixelRect moved = HandleOf(Control(kMixLFader));
  Hover(MidX(moved), MidY(moved));
  EXPECT_EQ(StatusText().rfind("Mix L: ", 0), 0u);
  EXPECT_NE(StatusText(), "Mix L: 50:50");

  // Closed, nothing is written; a loaded program returns it to the version.
  Dispatch(effSetProgram, 0, 3);
  EXPECT_EQ(StatusText(), "Version 2.0.3");
}

TEST_F(Controls, DoubleClickReturnsToTheDeclaredDefaultAfterAnyProgram) {
  Dispatch(effSetProgram, 0, 7);
  Open();
  const struct {
    int position;
    int param;
    double normalised;
  } cases[] = {{kVolumeLFader, kVolumeL, 0.5}, {kMixRFader, kMixR, 0.5},       {kFreqMaxLFader, kFreqMaxL, 0.5},
               {kRangeKnob, kFreqRange, 2.0 / 3.0}, {kWaveformKnob, kLfoWaveform, 0.0}, {kRateFader, kLfoRate, 1.0}};
  for (const auto& c : cases) {
    IControl* control = Control(c.position);
    PixelRect at = control->Rect();
    if (IFaderControl* fader = dynamic_cast<IFaderControl*>(control)) at = fader->HandleRect();
    ASSERT_EQ(editor->ControlUnder(MidX(at), MidY(at)), c.position);
    editor->DoubleClickAt(MidX(at), MidY(at), Left());
    EXPECT_NEAR(control->Value(), c.normalised, 1e-12) << c.position;
    EXPECT_NEAR(plug->ParamAt(c.param)->NormalizedValue(), c.normalised, 1e-9) << c.position;
  }
}

TEST_F(Controls, KnobDragClampsAndTheStatusShowsTheClampedValue) {
  Open();
  Press(59, 264);
  editor->DragTo(59, 100, Left());  // far up: value well above 1
  EXPECT_DOUBLE_EQ(Control(kWaveformKnob)->Value(), 1.0);
  EXPECT_EQ(StatusText(), "LFO Waveform: S/H");
  editor->DragTo(59, 102, LeftWithControl());  // 2 px down with control: 1/400
  EXPECT_NEAR(Control(kWaveformKnob)->Value(), 1.0 - 2.0 / 40.0 / 10.0, 1e-12);
  Release(59, 102);
}

TEST_F(Controls, ShiftIndicatorsShowTheSweptShiftsAtIdle) {
  SetParam(kLink, 0.0f);
  SetParam(kLfoWaveform, 0.0f);
  SetParam(kFreqMaxL, 0.0f);  // -1
  SetParam(kFreqMaxR, 1.0f);  // +1
  Dispatch(effMainsChanged, 0, 1);
  std::vector<float> in(64, 0.0f), out(64 * 2, 0.0f);
  float* inputs[2] = {in.data(), in.data()};
  float* outputs[2] = {out.data(), out.data() + 64};
  effect->processReplacing(effect, inputs, outputs, 64);
  ASSERT_DOUBLE_EQ(plug->Shifter().CurrentFreq(0), -1.0);
  ASSERT_DOUBLE_EQ(plug->Shifter().CurrentFreq(1), 1.0);

  Dispatch(effEditIdle);  // closed: nothing moves
  EXPECT_DOUBLE_EQ(plug->EditorView().ShiftIndicator(1)->Value(), 0.0);
  Open();
  Dispatch(effEditIdle);
  EXPECT_DOUBLE_EQ(plug->EditorView().ShiftIndicator(0)->Value(), 0.0);
  EXPECT_DOUBLE_EQ(plug->EditorView().ShiftIndicator(1)->Value(), 1.0);
  EXPECT_EQ(FrameForValue(11, plug->EditorView().ShiftIndicator(0)->Value()), 1);
  EXPECT_EQ(FrameForValue(11, plug->EditorView().ShiftIndicator(1)->Value()), 11);
  Tick();
  // The strip's frame 1 lights its left end, frame 11 its right end.
  const ImageStrip& strip = plug->EditorView().ShiftIndicator(0)->Strip();
  auto lit = [&](int frame, int x) {
    return strip.bitmap->PixelBuffer()[((frame - 1) * 4 + 1) * strip.bitmap->RowSpanPixels() + x];
  };
  EXPECT_EQ(editor->WindowPixel(277 + 2, 306) & 0xFFFFFF, lit(1, 2) & 0xFFFFFF);
  EXPECT_EQ(editor->WindowPixel(277 + 107, 314) & 0xFFFFFF, lit(11, 107) & 0xFFFFFF);
  EXPECT_NE(lit(1, 2) & 0xFFFFFF, lit(11, 2) & 0xFFFFFF) << "the block moves";
  Dispatch(effMainsChanged, 0, 0);
}

TEST_F(Controls, FreqMinFadersHideWhileTheLfoIsOff) {
  SetParam(kLfoWaveform, 0.0f);
  Open();
  EXPECT_TRUE(Control(kFreqMinLFader)->IsHidden()) << "set while closed, applied on opening";
  EXPECT_TRUE(Control(kFreqMinRFader)->IsHidden());
  SetParam(kLfoWaveform, 0.4f);
  EXPECT_FALSE(Control(kFreqMinLFader)->IsHidden());
  EXPECT_FALSE(Control(kFreqMinRFader)->IsHidden());
  EXPECT_FALSE(Control(kFreqMaxLFader)->IsHidden());
  // A hidden fader takes no press: the one below gets nothing either.
  SetParam(kLfoWaveform, 0.0f);
  EXPECT_TRUE(Control(kFreqMinLFader)->IsHidden());
  const PixelRect minL = HandleOf(Control(kFreqMinLFader));
  EXPECT_NE(editor->ControlUnder(MidX(minL), minL.top + 3), kFreqMinLFader);

  // Sync to host switches the rate's display and repaints its fader.
  Tick();
  SetParam(kSyncToHost, 1.0f);
  EXPECT_TRUE(Control(kRateFader)->NeedsPaint());
  const PixelRect rate = HandleOf(Control(kRateFader));
  Hover(MidX(rate), MidY(rate));
  EXPECT_EQ(StatusText().find(" Hz"), std::string::npos) << StatusText();
}

TEST_F(Controls, LinkedPartnersMoveOnScreenToo) {
  SetParam(kLink, 0.0f);
  SetParam(kMixR, 1.0f);
  Open();
  Click(538, 310);  // Link on
  ASSERT_EQ(Param(kLink), 1.0);
  const PixelRect l = HandleOf(Control(kMixLFader));
  Press(MidX(l), MidY(l));
  editor->DragTo(MidX(l), 240, Left());
  Release(MidX(l), 240);
  Tick();
  EXPECT_DOUBLE_EQ(Param(kMixR), Param(kMixL));
  EXPECT_DOUBLE_EQ(Control(kMixRFader)->Value(), Control(kMixLFader)->Value());
}

TEST_F(Controls, UpdatesFromOtherThreadsWaitForTheWindowsIdleCall) {
  SetParam(kLink, 0.0f);
  SetParam(kLfoWaveform, 0.4f);
  Open();
  Hover(538, 310);
  ASSERT_EQ(StatusText(), "Link L+R: Off");
  std::thread host([&] {
    Dispatch(effSetProgram, 0, 2);  // resets the status line
    SetParam(kLfoWaveform, 0.0f);
  });
  host.join();
  EXPECT_EQ(StatusText(), "Link L+R: Off") << "not touched from the other thread";
  EXPECT_FALSE(Control(kFreqMinLFader)->IsHidden());
  Dispatch(effEditIdle);
  EXPECT_EQ(StatusText(), "Version 2.0.3");
  EXPECT_TRUE(Control(kFreqMinLFader)->IsHidden());
  Tick();
  EXPECT_DOUBLE_EQ(Control(kWaveformKnob)->Value(), 0.0);
}

}  // namespace
}  // namespace edtest
