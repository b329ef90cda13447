#include "tests/graphics/GraphicsTestSupport.h"

#include <map>

namespace gfxtest {

std::vector<HostNotice>& HostNotices() {
  static std::vector<HostNotice> notices;
  return notices;
}

VstIntPtr VSTCALLBACK RecordingHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                    float opt) {
  if (opcode == audioMasterBeginEdit || opcode == audioMasterEndEdit || opcode == audioMasterAutomate)
    HostNotices().push_back(HostNotice{opcode, index, opt});
  if (opcode == audioMasterVersion) return 2400;
  return 0;
}

const HostConnection kRecordingHost{&RecordingHost};

TestPlug::TestPlug()
    : IPlugVST(&kRecordingHost, kNumTestParams, "1-1 2-2", 1, "Test", "Test", "Test", 0x00010000, CCONST('T', 's', 'P', 'l'), CCONST('T', 's', 'M', 'k'), 0,
               false, true, false) {
  ParamAt(kParamA)->SetupDouble("A", 0.25, 0.0, 1.0, 0.001, 1.0);
  ParamAt(kParamB)->SetupDouble("B", 0.75, 0.0, 1.0, 0.001, 1.0);
  ParamRecord* e = ParamAt(kParamEnum);
  e->type = kTypeEnum;
  e->SetupDouble("Enum", 0.0, 0.0, 2.0, 1.0, 1.0);
  e->AddValueText(0, "Low");
  e->AddValueText(1, "Mid");
  e->AddValueText(2, "High");
  ParamRecord* n = ParamAt(kParamNegated);
  n->SetupDouble("Negated", 0.0, -10.0, 10.0, 0.1, 1.0);
  n->negateDisplay = true;
  ParamAt(kParamGain)->SetupDouble("Gain", 1.0, 0.0, 4.0, 0.001, 1.0);
  ParamRecord* d = ParamAt(kParamDigits);
  d->type = kTypeEnum;
  d->SetupDouble("Digits", 0.0, 0.0, 2.0, 1.0, 1.0);
  d->AddValueText(0, "1");
  d->AddValueText(1, "5");
  d->AddValueText(2, "9");
}

namespace {

struct ImageShape {
  int width;
  int height;
  int frames;
  bool sideBySide;
  int alpha;
};

const std::map<int, ImageShape>& Shapes() {
  static const std::map<int, ImageShape> shapes = {
      {kImageBackground, {584, 390, 1, false, 255}}, {kImageKnob4, {10, 40, 4, false, 255}},
      {kImageHandle, {12, 20, 1, false, 255}},       {kImageSwitch3, {10, 30, 3, false, 255}},
      {kImageSwitch2, {10, 20, 2, false, 255}},      {kImageWide4, {40, 10, 4, true, 255}},
      {kImageHalfAlpha, {10, 10, 1, false, 128}},    {kImageSolid, {20, 20, 1, false, 255}},
      {kImageSwitch3Tall, {10, 90, 3, false, 255}},
  };
  return shapes;
}

std::map<int, int>& Loads() {
  static std::map<int, int> loads;
  return loads;
}

}  // namespace

PackedPixel FrameColor(int id, int frame) {
  const auto it = Shapes().find(id);
  const int alpha = it != Shapes().end() ? it->second.alpha : 255;
  return PackPixel(alpha, (id * 37 + frame * 50) & 0xFF, (frame * 60) & 0xFF, (id * 11 + frame * 20) & 0xFF);
}

LICE_IBitmap* MakeTestImage(int id, const char* name) {
  const auto it = Shapes().find(id);
  if (it == Shapes().end()) return nullptr;
  ++Loads()[id];
  const ImageShape& s = it->second;
  LICE_MemBitmap* bitmap = new LICE_MemBitmap(s.width, s.height);
  PackedPixel* p = bitmap->PixelBuffer();
  for (int y = 0; y < s.height; ++y) {
    for (int x = 0; x < s.width; ++x) {
      const int along = s.sideBySide ? x * s.frames / s.width : y * s.frames / s.height;
      p[y * bitmap->RowSpanPixels() + x] = FrameColor(id, along + 1);
    }
  }
  return bitmap;
}

int TestImageLoads(int id) { return Loads()[id]; }

PackedPixel PixelAt(LICE_IBitmap* bitmap, int x, int y) {
  if (bitmap == nullptr || x < 0 || y < 0 || x >= bitmap->PixelWidth() || y >= bitmap->PixelHeight()) return 0;
  return bitmap->PixelBuffer()[y * bitmap->RowSpanPixels() + x];
}

int ProbeControl::destroyed = 0;

ProbeControl::ProbeControl(IPlugBase* plug, const PixelRect& rect, int paramIdx, std::vector<std::string>* journal,
                           const char* name, const ImageStrip& strip)
    : IControl(plug, rect, paramIdx), mJournal(journal), mName(name), mStrip(strip) {}

ProbeControl::~ProbeControl() { ++destroyed; }

void ProbeControl::Note(const std::string& what) {
  if (mJournal != nullptr) mJournal->push_back(mName + " " + what);
}

void ProbeControl::OnPress(int x, int y, const MouseModifiers& mods) {
  Note("press " + std::to_string(x) + "," + std::to_string(y) + (mods.right ? " right" : ""));
}
void ProbeControl::OnRelease(int x, int y, const MouseModifiers& mods) {
  Note("release " + std::to_string(x) + "," + std::to_string(y));
}
void ProbeControl::OnDrag(int x, int y, int dx, int dy, const MouseModifiers& mods) {
  Note("drag " + std::to_string(dx) + "," + std::to_string(dy));
}
void ProbeControl::OnDoubleClick(int x, int y, const MouseModifiers& mods) {
  Note("double");
  IControl::OnDoubleClick(x, y, mods);
}
void ProbeControl::OnWheel(int x, int y, const MouseModifiers& mods, int notches) {
  Note("wheel " + std::to_string(notches));
}
bool ProbeControl::OnKey(int x, int y, int key) {
  Note("key " + std::to_string(key));
  return takesKeys;
}
void ProbeControl::OnHover(int x, int y, const MouseModifiers& mods) { Note("hover"); }
void ProbeControl::OnHoverEnd() { Note("hover end"); }
bool ProbeControl::Paint(IGraphics* graphics) {
  Note("paint");
  return mStrip.bitmap == nullptr || graphics->BlitImage(mStrip, mRect, 0, 0, &mBlend);
}
void ProbeControl::OnTextEntered(const char* text) { Note(std::string("text ") + text); }

void EditorTest::SetUp() {
  HostNotices().clear();
  plug = std::make_unique<TestPlug>();
  editor = new IGraphicsHeadless(plug.get());
  editor->GetScript().imageSource = &MakeTestImage;
  plug->AttachEditor(editor);
  ASSERT_NE(editor->OpenEditorWindow(&parentWindow), nullptr);
}

void EditorTest::TearDown() { plug.reset(); }

}  // namespace gfxtest
