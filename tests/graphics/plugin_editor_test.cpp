// The plug-in's side of the editor, with a test layout attached to a real
// Veltrane instance: flags, the editor rectangle, values pushed to controls
// from every host path, the editor requests and the editor's release.
#include <cstring>

#include "effect/Veltrane.h"
#include "tests/graphics/GraphicsTestSupport.h"

namespace gfxtest {
namespace {

PixelRect R(int l, int t, int r, int b) { return PixelRect{l, t, r, b}; }

class VeltraneEditor : public ::testing::Test {
 protected:
  void SetUp() override {
    HostNotices().clear();
    static const HostConnection host{&RecordingHost};
    plug = new Veltrane(&host, nullptr);  // no window object: the test attaches its own
    effect = plug->EffectRecord();
  }
  void TearDown() override {
    if (effect != nullptr) Dispatch(effClose);
  }
  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr) {
    return effect->dispatcher(effect, opcode, index, value, ptr, 0.0f);
  }
  // A test layout: a fader on Volume L, a probe on Mix L that also shows
  // Mix R, a probe on nothing.
  void AttachTestLayout() {
    editor = new IGraphicsHeadless(plug);
    editor->GetScript().imageSource = &MakeTestImage;
    fader = new IFaderControl(plug, 10, 10, 72, kVolumeL, editor->LoadImageStrip(kImageHandle, "h.png", 1));
    mix = new ProbeControl(plug, R(50, 10, 70, 30), kMixL, &journal, "mix");
    mix->AddAuxBinding(kMixR);
    free = new ProbeControl(plug, R(80, 10, 90, 20), -1, &journal, "free");
    editor->AddControl(fader);
    editor->AddControl(mix);
    editor->AddControl(free);
    plug->AttachEditor(editor);
  }

  Veltrane* plug = nullptr;
  AEffect* effect = nullptr;
  IGraphicsHeadless* editor = nullptr;
  IFaderControl* fader = nullptr;
  ProbeControl* mix = nullptr;
  ProbeControl* free = nullptr;
  std::vector<std::string> journal;
  int parent = 0;
};

TEST_F(VeltraneEditor, WithoutAnEditorTheEditorRequestsAnswerZero) {
  EXPECT_EQ(effect->flags, 0x1038);
  ERect* rect = nullptr;
  EXPECT_EQ(Dispatch(effEditGetRect, 0, 0, &rect), 0);
  EXPECT_EQ(rect, nullptr);
  EXPECT_EQ(Dispatch(effEditOpen, 0, 0, &parent), 0);
  EXPECT_EQ(Dispatch(effEditClose), 0);
  EXPECT_EQ(Dispatch(effEditIdle), 0);
}

TEST_F(VeltraneEditor, AttachingSetsTheFlagTheRectangleAndEveryControlsFirstValue) {
  AttachTestLayout();
  EXPECT_EQ(effect->flags, 0x1039);
  ERect* rect = nullptr;
  EXPECT_EQ(Dispatch(effEditGetRect, 0, 0, nullptr), 0);
  ASSERT_EQ(Dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->right, 584);
  EXPECT_EQ(rect->bottom, 390);
  ASSERT_NE(editor->Surface(), nullptr);
  EXPECT_EQ(editor->Surface()->PixelWidth(), 584);
  EXPECT_EQ(editor->Surface()->PixelHeight(), 390);
  ASSERT_NE(editor->ScratchBitmap(), nullptr);
  EXPECT_EQ(editor->ScratchBitmap()->PixelWidth(), 0);

  const double volume = plug->ParamAt(kVolumeL)->NormalizedValue();
  EXPECT_DOUBLE_EQ(fader->Value(), volume);
  EXPECT_DOUBLE_EQ(fader->ResetValue(), volume);
  EXPECT_DOUBLE_EQ(mix->Value(), plug->ParamAt(kMixL)->NormalizedValue());
  EXPECT_DOUBLE_EQ(mix->AuxBindings()[0].value, plug->ParamAt(kMixR)->NormalizedValue());
  EXPECT_DOUBLE_EQ(free->ResetValue(), -1.0);
}

TEST_F(VeltraneEditor, EveryHostPathPushesValuesToTheBoundControls) {
  AttachTestLayout();
  effect->setParameter(effect, kVolumeL, 0.3f);
  EXPECT_DOUBLE_EQ(fader->Value(), static_cast<double>(0.3f));
  effect->setParameter(effect, 99, 0.9f);  // no such parameter
  EXPECT_DOUBLE_EQ(fader->Value(), static_cast<double>(0.3f));

  char text[] = "0.2";
  EXPECT_EQ(Dispatch(effString2Parameter, kMixL, 0, text), 1);
  EXPECT_DOUBLE_EQ(mix->Value(), 0.2);

  // A program chunk read back restores the values the controls show.
  void* data = nullptr;
  const VstIntPtr size = Dispatch(effGetChunk, 1, 0, &data);
  ASSERT_GT(size, 0);
  std::vector<unsigned char> saved(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
  effect->setParameter(effect, kVolumeL, 0.9f);
  effect->setParameter(effect, kMixL, 0.9f);
  EXPECT_EQ(Dispatch(effSetChunk, 1, static_cast<VstIntPtr>(saved.size()), saved.data()), 1);
  EXPECT_DOUBLE_EQ(fader->Value(), plug->ParamAt(kVolumeL)->NormalizedValue());
  EXPECT_NEAR(fader->Value(), 0.3, 1e-6);
  EXPECT_NEAR(mix->Value(), 0.2, 1e-9);
}

TEST_F(VeltraneEditor, TheEditorRequestsOpenCloseAndIdleTheWindow) {
  AttachTestLayout();
  EXPECT_EQ(Dispatch(effEditOpen, 0, 0, nullptr), 0);  // a child window needs a parent
  EXPECT_FALSE(editor->IsWindowOpen());
  EXPECT_EQ(Dispatch(effEditClose), 1);  // closing what was never opened
  EXPECT_EQ(Dispatch(effEditOpen, 0, 0, &parent), 1);
  EXPECT_TRUE(editor->IsWindowOpen());
  EXPECT_EQ(editor->Parent(), &parent);
  EXPECT_EQ(Dispatch(effEditOpen, 0, 0, &parent), 1);  // opened twice: one window
  EXPECT_EQ(editor->OpenCount(), 2);
  EXPECT_EQ(Dispatch(effEditIdle), 0);
  editor->Tick();  // opening marks everything dirty: the first tick shows the layout
  // Volume L's default 1.0 of 0..4 (shape 2) is 0.5: the handle lies 26 pixels down.
  EXPECT_EQ(editor->WindowPixel(15, 45), FrameColor(kImageHandle, 1));
  EXPECT_EQ(editor->WindowPixel(15, 33), 0u);
  EXPECT_EQ(Dispatch(effEditClose), 1);
  EXPECT_FALSE(editor->IsWindowOpen());
  EXPECT_EQ(Dispatch(effEditClose), 1);
}

TEST_F(VeltraneEditor, ClosingThePluginReleasesTheEditorAndItsControls) {
  AttachTestLayout();
  ASSERT_EQ(Dispatch(effEditOpen, 0, 0, &parent), 1);
  const int before = ProbeControl::destroyed;
  Dispatch(effClose);
  effect = nullptr;
  EXPECT_EQ(ProbeControl::destroyed, before + 2);
}

}  // namespace
}  // namespace gfxtest
