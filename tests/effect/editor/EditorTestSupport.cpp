#include "tests/effect/editor/EditorTestSupport.h"

#include <png.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "graphics/IControl.h"
#include "render/PngImage.h"

namespace edtest {

std::vector<HostCallRecord>& HostCalls() {
  static std::vector<HostCallRecord> calls;
  return calls;
}

int CountHostCalls(VstInt32 opcode) {
  int n = 0;
  for (const HostCallRecord& c : HostCalls()) n += c.opcode == opcode ? 1 : 0;
  return n;
}

VstIntPtr VSTCALLBACK RecordingHost(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                    float opt) {
  if (opcode == audioMasterAutomate || opcode == audioMasterUpdateDisplay || opcode == audioMasterBeginEdit ||
      opcode == audioMasterEndEdit || opcode == audioMasterSizeWindow)
    HostCalls().push_back(HostCallRecord{opcode, index, opt, value});
  if (opcode == audioMasterVersion) return 2400;
  return 0;
}

IGraphics* MakeHeadlessWindow(IPlugBase* plug) {
  IGraphicsHeadless* window = new IGraphicsHeadless(plug);
  window->GetScript().imageSource = [](int id, const char* name) { return ::LoadImageResource(id, name); };
  return window;
}

void IsolateUserSettings() {
  // The user's zoom lives in the build tree, starting from none.
  const std::string folder = ArtifactPath("config");
#ifdef _WIN32
  SetEnvironmentVariableA("APPDATA", folder.c_str());
  const std::string file = folder + "\\quorvel\\veltrane.ini";
#else
  setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  const std::string file = folder + "/quorvel/veltrane.ini";
#endif
  std::remove(file.c_str());
}

std::string UserSettingsFileText() {
#ifdef _WIN32
  std::ifstream in(ArtifactPath("config") + "\\quorvel\\veltrane.ini");
#else
  std::ifstream in(ArtifactPath("config") + "/quorvel/veltrane.ini");
#endif
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void EditorTest::SetUp() {
  IsolateUserSettings();
  HostCalls().clear();
  static const HostConnection host{&RecordingHost};
  plug = new Veltrane(&host, &MakeHeadlessWindow);
  effect = plug->EffectRecord();
  editor = static_cast<IGraphicsHeadless*>(plug->Editor());
  ASSERT_NE(editor, nullptr);
  Dispatch(effOpen);
  HostCalls().clear();
}

void EditorTest::TearDown() {
  if (effect != nullptr) Dispatch(effClose);
}

VstIntPtr EditorTest::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

void EditorTest::Open() {
  ASSERT_NE(Dispatch(effEditOpen, 0, 0, &parent), 0);
  Tick();
}

std::string EditorTest::StatusText() const { return plug->EditorView().StatusLine()->Text(); }

namespace {

void AppendToVector(png_structp png, png_bytep data, size_t n) {
  auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}
void NoFlush(png_structp) {}

int Channel(PackedPixel p, int shift) { return static_cast<int>((p >> shift) & 0xFF); }

}  // namespace

bool WriteBitmapPng(const std::string& path, LICE_IBitmap* bitmap) {
  const int w = bitmap->PixelWidth(), h = bitmap->PixelHeight(), span = bitmap->RowSpanPixels();
  std::vector<unsigned char> file;
  std::vector<png_byte> rgb(static_cast<size_t>(w) * 3 * static_cast<size_t>(h));
  for (int y = 0; y < h; ++y) {
    const int row = bitmap->IsBottomUp() ? h - 1 - y : y;
    const PackedPixel* src = bitmap->PixelBuffer() + static_cast<ptrdiff_t>(row) * span;
    for (int x = 0; x < w; ++x) {
      png_byte* dst = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      dst[0] = static_cast<png_byte>(Channel(src[x], 16));
      dst[1] = static_cast<png_byte>(Channel(src[x], 8));
      dst[2] = static_cast<png_byte>(Channel(src[x], 0));
    }
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &file, AppendToVector, NoFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < h; ++y) png_write_row(png, &rgb[static_cast<size_t>(y) * w * 3]);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  return static_cast<bool>(out);
}

std::unique_ptr<LICE_MemBitmap> ReadBitmapPng(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.empty()) return nullptr;
  return std::unique_ptr<LICE_MemBitmap>(DecodePngMemory(bytes.data(), bytes.size()));
}

ImageDifference CompareBitmaps(LICE_IBitmap* a, LICE_IBitmap* b, int threshold) {
  ImageDifference d;
  d.width = a->PixelWidth();
  d.height = a->PixelHeight();
  if (b->PixelWidth() != d.width || b->PixelHeight() != d.height) {
    d.differing = d.width * d.height;
    d.largest = 255;
    return d;
  }
  for (int y = 0; y < d.height; ++y) {
    const PackedPixel* pa = a->PixelBuffer() + static_cast<ptrdiff_t>(a->IsBottomUp() ? d.height - 1 - y : y) *
                                                   a->RowSpanPixels();
    const PackedPixel* pb = b->PixelBuffer() + static_cast<ptrdiff_t>(b->IsBottomUp() ? d.height - 1 - y : y) *
                                                   b->RowSpanPixels();
    for (int x = 0; x < d.width; ++x) {
      int worst = 0;
      for (int shift : {0, 8, 16}) worst = std::max(worst, std::abs(Channel(pa[x], shift) - Channel(pb[x], shift)));
      d.largest = std::max(d.largest, worst);
      d.differing += worst > threshold ? 1 : 0;
    }
  }
  return d;
}

std::string ArtifactPath(const std::string& name) { return std::string(VELTRANE_EDITOR_ARTIFACTS) + "/" + name; }

std::string GoldenPath(const std::string& name) { return std::string(VELTRANE_EDITOR_GOLDEN) + "/" + name; }

bool UpdatingGolden() {
  const char* update = std::getenv("VELTRANE_UPDATE_GOLDEN");
  return update != nullptr && update[0] == '1';
}

void ExpectMatchesGolden(LICE_IBitmap* render, const std::string& name, int width, int height) {
  ASSERT_NE(render, nullptr);
  EXPECT_TRUE(WriteBitmapPng(ArtifactPath(name), render)) << ArtifactPath(name);
  if (UpdatingGolden()) {
    ASSERT_TRUE(WriteBitmapPng(GoldenPath(name), render)) << GoldenPath(name);
  }
  std::unique_ptr<LICE_MemBitmap> golden = ReadBitmapPng(GoldenPath(name));
  ASSERT_NE(golden, nullptr) << "no golden image " << GoldenPath(name)
                             << " (run once with VELTRANE_UPDATE_GOLDEN=1 and look at it)";
  // Text edges may move by a shade between FreeType versions; artwork and
  // controls must match. 0.5 % of the panel is about one word of text.
  const ImageDifference d = CompareBitmaps(render, golden.get(), 48);
  EXPECT_EQ(d.width, width);
  EXPECT_EQ(d.height, height);
  EXPECT_LT(d.differing, width * height / 200) << name << ": " << d.differing << " pixels differ, largest " << d.largest
                                          << "; render in " << ArtifactPath(name);
}

}  // namespace edtest
