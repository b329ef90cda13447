// The value rules of IControl and of every stock control.
#include <cmath>

#include "tests/graphics/GraphicsTestSupport.h"

namespace gfxtest {
namespace {

PixelRect R(int l, int t, int r, int b) { return PixelRect{l, t, r, b}; }

using Controls = EditorTest;

TEST_F(Controls, MarkDirtyClampsAndSendsOnlyWhenAskedAndBound) {
  auto* bound = new ProbeControl(plug.get(), R(0, 0, 10, 10), kParamA, &journal, "bound");
  auto* unbound = new ProbeControl(plug.get(), R(0, 0, 10, 10), -1, &journal, "unbound");
  editor->AddControl(bound);
  editor->AddControl(unbound);
  bound->SetValueFromUser(1.7);
  EXPECT_DOUBLE_EQ(bound->Value(), 1.0);
  ASSERT_EQ(HostNotices().size(), 1u);
  EXPECT_EQ(HostNotices()[0].opcode, audioMasterAutomate);
  EXPECT_FLOAT_EQ(HostNotices()[0].value, 1.0f);
  bound->SetValueFromUser(1.0);  // unchanged: nothing sent
  EXPECT_EQ(HostNotices().size(), 1u);
  bound->SetValueFromUser(-0.5);
  EXPECT_DOUBLE_EQ(bound->Value(), 0.0);
  EXPECT_DOUBLE_EQ(plug->ParamAt(kParamA)->value, 0.0);
  bound->SetValueFromUser(std::nan(""));
  EXPECT_DOUBLE_EQ(bound->Value(), 0.0);
  bound->SetClamp(0.2, 0.6);
  bound->SetValueFromUser(0.9);
  EXPECT_DOUBLE_EQ(bound->Value(), 0.6);

  HostNotices().clear();
  unbound->SetValueFromUser(0.3);
  unbound->MarkDirty(true);
  EXPECT_TRUE(HostNotices().empty());
  EXPECT_TRUE(unbound->NeedsPaint());
}

TEST_F(Controls, PluginValuesSetTheResetValueOnceAndOnlyChangesRedraw) {
  auto* c = new ProbeControl(plug.get(), R(0, 0, 10, 10), kParamA, &journal, "c");
  editor->AddControl(c);
  c->MarkClean();
  c->SetValueFromPlugin(0.4);
  EXPECT_DOUBLE_EQ(c->Value(), 0.4);
  EXPECT_DOUBLE_EQ(c->ResetValue(), 0.4);
  EXPECT_FALSE(c->NeedsPaint());
  c->SetValueFromPlugin(0.4);
  EXPECT_FALSE(c->NeedsPaint());
  c->SetValueFromPlugin(0.7);
  EXPECT_DOUBLE_EQ(c->ResetValue(), 0.4);
  EXPECT_TRUE(c->NeedsPaint());
  EXPECT_TRUE(c->RedrawRequested());
  c->MarkClean();
  EXPECT_TRUE(c->NeedsPaint());  // kept for one more paint
  c->MarkClean();
  EXPECT_FALSE(c->NeedsPaint());
  EXPECT_TRUE(HostNotices().empty());  // values from the plug-in are never sent back

  c->AddAuxBinding(kParamB);
  c->SetAuxValueFromPlugin(0, 0.0);  // equal to what the binding holds
  EXPECT_FALSE(c->NeedsPaint());
  c->SetAuxValueFromPlugin(0, 0.3);
  EXPECT_DOUBLE_EQ(c->AuxBindings()[0].value, 0.3);
  EXPECT_TRUE(c->RedrawRequested());
  c->SetAuxValueFromPlugin(5, 0.3);  // no such binding
  c->SetAuxValueFromPlugin(-1, 0.3);

  c->MarkClean();
  c->MarkClean();
  c->SetHidden(true);
  EXPECT_TRUE(c->IsHidden());
  EXPECT_TRUE(c->NeedsPaint());
  EXPECT_TRUE(c->RedrawRequested());
  c->SetGrayed(true);
  EXPECT_TRUE(c->IsGrayed());
  EXPECT_TRUE(HostNotices().empty());
}

TEST_F(Controls, BitmapControlsTakeTheSizeOfOneFrame) {
  ImageStrip wide = Strip(kImageWide4, 4);
  wide.sideBySide = true;
  IBitmapControl stacked(plug.get(), 5, 6, -1, Strip(kImageKnob4, 4));
  IBitmapControl side(plug.get(), 5, 6, -1, wide);
  IBitmapControl whole(plug.get(), 5, 6, -1, Strip(kImageKnob4, 1));
  EXPECT_TRUE(SameRect(stacked.Rect(), R(5, 6, 15, 16)));
  EXPECT_TRUE(SameRect(side.Rect(), R(5, 6, 15, 16)));
  EXPECT_TRUE(SameRect(whole.Rect(), R(5, 6, 15, 46)));
  EXPECT_TRUE(SameRect(stacked.HitRect(), stacked.Rect()));
  EXPECT_EQ(stacked.Blend().method, BlendStandard);
  IBitmapControl opaque(plug.get(), 0, 0, -1, Strip(kImageKnob4, 4), BlendOpaque);
  EXPECT_EQ(opaque.Blend().method, BlendOpaque);
}

TEST_F(Controls, SwitchesStepAndWrapOnEveryPressAndDoubleClick) {
  ISwitchControl two(plug.get(), 0, 0, kParamA, Strip(kImageSwitch2, 2));
  ISwitchControl three(plug.get(), 0, 0, kParamB, Strip(kImageSwitch3, 3));
  ISwitchControl one(plug.get(), 0, 0, -1, Strip(kImageSolid, 1));
  MouseModifiers right;
  right.right = true;
  const double twoSteps[] = {1.0, 0.0, 1.0};
  for (double expected : twoSteps) {
    two.OnPress(0, 0, right);
    EXPECT_DOUBLE_EQ(two.Value(), expected);
  }
  const double threeSteps[] = {0.5, 1.0, 0.0, 0.5};
  for (double expected : threeSteps) {
    three.OnPress(0, 0, MouseModifiers());
    EXPECT_DOUBLE_EQ(three.Value(), expected);
  }
  three.OnDoubleClick(0, 0, MouseModifiers());  // one more press
  EXPECT_DOUBLE_EQ(three.Value(), 1.0);
  EXPECT_DOUBLE_EQ(plug->ParamAt(kParamB)->value, 1.0);
  one.OnPress(0, 0, MouseModifiers());
  EXPECT_DOUBLE_EQ(one.Value(), 1.0);
  one.OnPress(0, 0, MouseModifiers());
  EXPECT_DOUBLE_EQ(one.Value(), 0.0);
}

TEST_F(Controls, FrameSwitchesPickTheBandUnderThePointer) {
  ISwitchFramesControl sw(plug.get(), 20, 100, kParamEnum, Strip(kImageSwitch3Tall, 3));  // 10 x 30
  ASSERT_EQ(sw.Bands().size(), 3u);
  EXPECT_TRUE(SameRect(sw.Bands()[0], R(20, 100, 30, 110)));
  EXPECT_TRUE(SameRect(sw.Bands()[1], R(20, 110, 30, 120)));
  EXPECT_TRUE(SameRect(sw.Bands()[2], R(20, 120, 30, 130)));
  sw.OnPress(25, 115, MouseModifiers());
  EXPECT_DOUBLE_EQ(sw.Value(), 0.5);
  EXPECT_DOUBLE_EQ(plug->ParamAt(kParamEnum)->value, 1.0);
  sw.OnDoubleClick(25, 129, MouseModifiers());
  EXPECT_DOUBLE_EQ(sw.Value(), 1.0);
  HostNotices().clear();
  sw.OnPress(31, 115, MouseModifiers());  // outside every band: unchanged, still sent
  EXPECT_DOUBLE_EQ(sw.Value(), 1.0);
  EXPECT_EQ(HostNotices().size(), 1u);

  // A rectangle 13 high: bands step by 13 / 3 and the last row is in none.
  ISwitchFramesControl uneven(plug.get(), 0, 0, -1, Strip(kImageKnob4, 3));
  ASSERT_EQ(uneven.Bands().size(), 3u);
  EXPECT_TRUE(SameRect(uneven.Bands()[0], R(0, 0, 10, 4)));
  EXPECT_TRUE(SameRect(uneven.Bands()[1], R(0, 4, 10, 8)));
  EXPECT_TRUE(SameRect(uneven.Bands()[2], R(0, 8, 10, 12)));
  uneven.OnPress(5, 12, MouseModifiers());
  EXPECT_DOUBLE_EQ(uneven.Value(), 0.0);
  uneven.OnPress(5, 11, MouseModifiers());
  EXPECT_DOUBLE_EQ(uneven.Value(), 1.0);

  ISwitchFramesControl single(plug.get(), 0, 0, -1, Strip(kImageSolid, 1));
  single.OnPress(5, 5, MouseModifiers());
  EXPECT_DOUBLE_EQ(single.Value(), 0.0);
}

TEST_F(Controls, KnobsFollowDragsWithGearingAndFineWheelSteps) {
  // 40 pixels high: the knob strip as one frame.
  IKnobMultiControl knob(plug.get(), 0, 0, kParamA, Strip(kImageKnob4, 1), kVertical, 1.0);
  ASSERT_EQ(knob.Rect().bottom - knob.Rect().top, 40);
  knob.SetValueFromPlugin(0.2);
  MouseModifiers none, shift, control;
  shift.shift = true;
  control.control = true;
  knob.OnDrag(0, 0, 0, -20, none);  // up
  EXPECT_NEAR(knob.Value(), 0.7, 1e-12);
  knob.OnDrag(0, 0, 0, 20, shift);
  EXPECT_NEAR(knob.Value(), 0.65, 1e-12);
  knob.OnDrag(0, 0, 0, -20, control);
  EXPECT_NEAR(knob.Value(), 0.7, 1e-12);
  knob.OnDrag(0, 0, 0, -400, none);
  EXPECT_DOUBLE_EQ(knob.Value(), 1.0);
  knob.OnDrag(0, 0, 25, 0, none);  // sideways does not turn a vertical knob
  EXPECT_DOUBLE_EQ(knob.Value(), 1.0);
  EXPECT_DOUBLE_EQ(plug->ParamAt(kParamA)->value, 1.0);

  IKnobMultiControl horizontal(plug.get(), 0, 0, kParamB, Strip(kImageWide4, 1), kHorizontal, 2.0);  // 40 wide
  horizontal.OnDrag(0, 0, 20, -30, none);
  EXPECT_NEAR(horizontal.Value(), 0.25, 1e-12);
  horizontal.OnWheel(0, 0, none, 1);
  EXPECT_NEAR(horizontal.Value(), 0.26, 1e-12);
  horizontal.OnWheel(0, 0, shift, -10);
  EXPECT_NEAR(horizontal.Value(), 0.25, 1e-12);
  horizontal.OnWheel(0, 0, none, -100);
  EXPECT_DOUBLE_EQ(horizontal.Value(), 0.0);

  IKnobMultiControl flat(plug.get(), 0, 0, -1, ImageStrip(), kVertical, 1.0);  // no height to drag along
  flat.OnDrag(0, 0, 0, -5, none);
  EXPECT_DOUBLE_EQ(flat.Value(), 0.0);
}

TEST_F(Controls, KnobsPaintTheFrameOfTheirValue) {
  auto* knob = new IKnobMultiControl(plug.get(), 50, 50, kParamA, Strip(kImageKnob4, 4), kVertical, 1.0);
  editor->AddControl(knob);
  const double values[] = {0.0, 0.2, 0.5, 1.0};
  const int frames[] = {1, 2, 3, 4};
  for (int i = 0; i < 4; ++i) {
    knob->SetValueFromUser(values[i]);
    editor->PaintArea(R(0, 0, 100, 100));
    EXPECT_EQ(Pixel(55, 55), FrameColor(kImageKnob4, frames[i])) << values[i];
  }
}

TEST_F(Controls, AFaderHandleFollowsThePointerByItsMiddle) {
  IFaderControl fader(plug.get(), 100, 40, 72, kParamA, Strip(kImageHandle, 1));  // 12 x 20 handle
  EXPECT_TRUE(SameRect(fader.Rect(), R(100, 40, 112, 112)));
  EXPECT_EQ(fader.HandleExtent(), 20);
  MouseModifiers none, right;
  right.right = true;
  fader.OnPress(105, 40 + 10, none);
  EXPECT_DOUBLE_EQ(fader.Value(), 1.0);
  fader.OnPress(105, 40 + 62, none);
  EXPECT_DOUBLE_EQ(fader.Value(), 0.0);
  fader.OnPress(105, 40 + 36, none);
  EXPECT_DOUBLE_EQ(fader.Value(), 0.5);
  fader.OnDrag(105, 40 - 30, 0, 0, none);
  EXPECT_DOUBLE_EQ(fader.Value(), 1.0);
  fader.OnDrag(105, 40 + 300, 0, 0, none);
  EXPECT_DOUBLE_EQ(fader.Value(), 0.0);
  fader.OnPress(105, 40 + 36, right);  // the right button does not jump
  EXPECT_DOUBLE_EQ(fader.Value(), 0.0);
  fader.OnWheel(0, 0, none, 3);
  EXPECT_NEAR(fader.Value(), 0.03, 1e-12);

  // Only the handle is hit: at 0.5 it lies 26 pixels down the track.
  fader.SetValueFromUser(0.5);
  EXPECT_TRUE(SameRect(fader.HandleRect(), R(100, 66, 112, 86)));
  EXPECT_TRUE(fader.HitTest(105, 66));
  EXPECT_TRUE(fader.HitTest(111, 85));
  EXPECT_FALSE(fader.HitTest(105, 65));
  EXPECT_FALSE(fader.HitTest(105, 86));
  EXPECT_FALSE(fader.HitTest(112, 70));

  IFaderControl wideHandle(plug.get(), 0, 0, 100, kParamB, Strip(kImageWide4, 1));  // 40 x 10 handle
  EXPECT_TRUE(SameRect(wideHandle.Rect(), R(0, 0, 40, 100)));  // vertical: handle width x track
  EXPECT_EQ(wideHandle.HandleExtent(), 10);
  IFaderControl across(plug.get(), 10, 0, 100, kParamB, Strip(kImageHandle, 1), kHorizontal);
  EXPECT_TRUE(SameRect(across.Rect(), R(10, 0, 110, 20)));
  across.OnPress(10 + 6 + 44, 5, none);  // travel 88, half 6
  EXPECT_DOUBLE_EQ(across.Value(), 0.5);
  EXPECT_TRUE(SameRect(across.HandleRect(), R(54, 0, 66, 20)));

  IFaderControl stuck(plug.get(), 0, 0, 20, -1, Strip(kImageHandle, 1));  // handle fills the track
  stuck.OnPress(5, 5, none);
  EXPECT_DOUBLE_EQ(stuck.Value(), 0.0);
}

TEST_F(Controls, AFaderPaintsItsHandleAtItsValue) {
  auto* fader = new IFaderControl(plug.get(), 100, 40, 72, kParamA, Strip(kImageHandle, 1));
  editor->AddControl(fader);
  fader->SetValueFromUser(1.0);
  FillBitmapRect(editor->Surface(), 0, 0, editor->Width(), editor->Height(), 0, 1.0f, BlendCopy);
  editor->PaintArea(fader->Rect());
  EXPECT_EQ(Pixel(105, 45), FrameColor(kImageHandle, 1));
  EXPECT_EQ(Pixel(105, 100), 0u);
}

TEST_F(Controls, TextControlsChangeOnlyForADifferentText) {
  TextStyle style;
  style.size = 20;
  ITextControl text(plug.get(), R(0, 0, 50, 20), style, "abc");
  EXPECT_EQ(text.Style().size, 20);
  EXPECT_EQ(text.ParamIdx(), -1);
  text.MarkClean();
  text.SetTextFromPlugin("abc");
  EXPECT_FALSE(text.NeedsPaint());
  text.SetTextFromPlugin("abd");
  EXPECT_TRUE(text.NeedsPaint());
  EXPECT_EQ(text.Text(), "abd");
  text.SetTextFromPlugin(nullptr);
  EXPECT_EQ(text.Text(), "");
  EXPECT_TRUE(text.Paint(editor));  // nothing to draw
}

}  // namespace
}  // namespace gfxtest
