// PNG decoding: images of every colour type and depth are written here with
// libpng's writer, decoded, and compared pixel by pixel with the values the
// test put in, converted by hand.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <array>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "render/PngImage.h"
#include "tests/render/FakeResources.h"

namespace {

struct Image {
  int width = 0, height = 0, colorType = 0, bitDepth = 8;
  bool interlaced = false;
  std::vector<std::vector<uint16_t>> samples;  // per row: channels x width samples
  std::vector<png_color> palette;
  std::vector<png_byte> paletteAlpha;  // tRNS of a palette image
  bool hasTransparentColour = false;
  png_color_16 transparentColour{};
};

int Channels(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_GRAY: return 1;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;  // palette index
  }
}

void WriteToVector(png_structp png, png_bytep data, size_t n) {
  auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}
void NoFlush(png_structp) {}

// Packs samples into PNG rows (big-endian 16-bit, MSB-first sub-byte) and
// writes the file with libpng.
std::vector<unsigned char> Encode(const Image& im) {
  std::vector<unsigned char> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "libpng could not write the test image";
    return {};
  }
  png_set_write_fn(png, &out, WriteToVector, NoFlush);
  png_set_IHDR(png, info, png_uint_32(im.width), png_uint_32(im.height), im.bitDepth, im.colorType,
               im.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!im.palette.empty()) png_set_PLTE(png, info, im.palette.data(), int(im.palette.size()));
  if (!im.paletteAlpha.empty())
    png_set_tRNS(png, info, im.paletteAlpha.data(), int(im.paletteAlpha.size()), nullptr);
  if (im.hasTransparentColour) png_set_tRNS(png, info, nullptr, 0, &im.transparentColour);
  png_write_info(png, info);

  const int channels = Channels(im.colorType);
  std::vector<std::vector<png_byte>> rows(size_t(im.height));
  for (int y = 0; y < im.height; ++y) {
    std::vector<png_byte>& row = rows[size_t(y)];
    const auto& s = im.samples[size_t(y)];
    if (im.bitDepth == 16) {
      for (uint16_t v : s) {
        row.push_back(png_byte(v >> 8));
        row.push_back(png_byte(v & 0xFF));
      }
    } else if (im.bitDepth == 8) {
      for (uint16_t v : s) row.push_back(png_byte(v));
    } else {
      const int perByte = 8 / im.bitDepth;
      row.assign(size_t((im.width * channels + perByte - 1) / perByte), 0);
      for (size_t i = 0; i < s.size(); ++i)
        row[i / size_t(perByte)] |= png_byte(s[i] << (8 - im.bitDepth * (int(i % size_t(perByte)) + 1)));
    }
  }
  std::vector<png_bytep> pointers;
  for (auto& r : rows) pointers.push_back(r.data());
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// An image of random samples of the given kind.
Image RandomImage(int colorType, int bitDepth, int width, int height, uint32_t seed) {
  Image im;
  im.width = width;
  im.height = height;
  im.colorType = colorType;
  im.bitDepth = bitDepth;
  std::mt19937 rng(seed);
  const int maxValue = (1 << bitDepth) - 1;
  const int paletteSize = colorType == PNG_COLOR_TYPE_PALETTE ? std::min(256, maxValue + 1) : 0;
  for (int i = 0; i < paletteSize; ++i)
    im.palette.push_back(png_color{png_byte(rng()), png_byte(rng()), png_byte(rng())});
  const int channels = Channels(colorType);
  im.samples.resize(size_t(height));
  for (auto& row : im.samples)
    for (int i = 0; i < width * channels; ++i)
      row.push_back(uint16_t(paletteSize ? rng() % uint32_t(paletteSize) : rng() % uint32_t(maxValue + 1)));
  return im;
}

// The BGRA bytes the decoder must produce for pixel (x, y).
std::array<int, 4> ExpectedBgra(const Image& im, int x, int y) {
  const auto& s = im.samples[size_t(y)];
  const int channels = Channels(im.colorType);
  auto to8 = [&](uint16_t v) -> int {
    if (im.bitDepth == 16) return v >> 8;  // the high byte is kept
    if (im.bitDepth == 8) return v;
    return v * 255 / ((1 << im.bitDepth) - 1);  // grey expansion replicates bits
  };
  const uint16_t* p = &s[size_t(x * channels)];
  int r = 0, g = 0, b = 0, a = 255;
  switch (im.colorType) {
    case PNG_COLOR_TYPE_GRAY:
      r = g = b = to8(p[0]);
      if (im.hasTransparentColour && p[0] == im.transparentColour.gray) a = 0;
      break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      r = g = b = to8(p[0]);
      a = to8(p[1]);
      break;
    case PNG_COLOR_TYPE_RGB:
      r = to8(p[0]);
      g = to8(p[1]);
      b = to8(p[2]);
      if (im.hasTransparentColour && p[0] == im.transparentColour.red &&
          p[1] == im.transparentColour.green && p[2] == im.transparentColour.blue)
        a = 0;
      break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
      r = to8(p[0]);
      g = to8(p[1]);
      b = to8(p[2]);
      a = to8(p[3]);
      break;
    case PNG_COLOR_TYPE_PALETTE: {
      const png_color& c = im.palette[p[0]];
      r = c.red;
      g = c.green;
      b = c.blue;
      if (p[0] < im.paletteAlpha.size()) a = im.paletteAlpha[p[0]];
      break;
    }
  }
  return {b, g, r, a};
}

void ExpectDecodesTo(const Image& im, const std::vector<unsigned char>& file) {
  std::unique_ptr<LICE_MemBitmap> bm(DecodePngMemory(file.data(), file.size()));
  ASSERT_NE(bm, nullptr) << "type " << im.colorType << " depth " << im.bitDepth;
  ASSERT_EQ(bm->PixelWidth(), im.width);
  ASSERT_EQ(bm->PixelHeight(), im.height);
  const auto* bytes = reinterpret_cast<const unsigned char*>(bm->PixelBuffer());
  for (int y = 0; y < im.height; ++y)
    for (int x = 0; x < im.width; ++x) {
      const unsigned char* px = bytes + (size_t(y) * size_t(bm->RowSpanPixels()) + size_t(x)) * 4;
      const auto want = ExpectedBgra(im, x, y);
      for (int c = 0; c < 4; ++c)
        ASSERT_EQ(int(px[c]), want[size_t(c)]) << "type " << im.colorType << " depth " << im.bitDepth
                                               << " pixel " << x << "," << y << " byte " << c;
    }
}

}  // namespace

TEST(DecodePng, EveryColourTypeAndBitDepth) {
  struct Kind {
    int type;
    std::vector<int> depths;
  };
  const Kind kinds[] = {
      {PNG_COLOR_TYPE_GRAY, {1, 2, 4, 8, 16}},
      {PNG_COLOR_TYPE_GRAY_ALPHA, {8, 16}},
      {PNG_COLOR_TYPE_RGB, {8, 16}},
      {PNG_COLOR_TYPE_RGB_ALPHA, {8, 16}},
      {PNG_COLOR_TYPE_PALETTE, {1, 2, 4, 8}},
  };
  uint32_t seed = 1;
  for (const Kind& k : kinds)
    for (int depth : k.depths)
      for (int width : {1, 3, 17}) {  // row padding: spans of 4, 4 and 20
        const Image im = RandomImage(k.type, depth, width, 5, seed++);
        ExpectDecodesTo(im, Encode(im));
      }
}

TEST(DecodePng, InterlacedImagesDecodeWhole) {
  Image rgba = RandomImage(PNG_COLOR_TYPE_RGB_ALPHA, 8, 13, 11, 42);
  rgba.interlaced = true;
  ExpectDecodesTo(rgba, Encode(rgba));
  Image grey = RandomImage(PNG_COLOR_TYPE_GRAY, 2, 9, 9, 43);
  grey.interlaced = true;
  ExpectDecodesTo(grey, Encode(grey));
}

TEST(DecodePng, TransparencyChunksBecomeAlpha) {
  // A palette with alpha for its first entries only: the rest stay opaque.
  Image pal = RandomImage(PNG_COLOR_TYPE_PALETTE, 4, 16, 4, 7);
  pal.paletteAlpha = {0, 128, 255, 7, 64};
  for (int x = 0; x < 16; ++x) pal.samples[0][size_t(x)] = uint16_t(x);  // every entry once
  ExpectDecodesTo(pal, Encode(pal));

  Image grey = RandomImage(PNG_COLOR_TYPE_GRAY, 8, 6, 3, 8);
  grey.hasTransparentColour = true;
  grey.transparentColour.gray = grey.samples[1][2];
  ExpectDecodesTo(grey, Encode(grey));

  Image grey16 = RandomImage(PNG_COLOR_TYPE_GRAY, 16, 4, 2, 12);
  grey16.hasTransparentColour = true;
  grey16.transparentColour.gray = grey16.samples[0][0];
  ExpectDecodesTo(grey16, Encode(grey16));

  Image rgb = RandomImage(PNG_COLOR_TYPE_RGB, 8, 5, 2, 9);
  rgb.hasTransparentColour = true;
  rgb.transparentColour.red = rgb.samples[0][3];
  rgb.transparentColour.green = rgb.samples[0][4];
  rgb.transparentColour.blue = rgb.samples[0][5];
  ExpectDecodesTo(rgb, Encode(rgb));
}

TEST(DecodePng, NamedCases) {
  // RGBA 8: values unchanged, bytes reordered.
  Image rgba;
  rgba.width = 2;
  rgba.height = 1;
  rgba.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
  rgba.samples = {{10, 20, 30, 40, 250, 128, 0, 255}};
  const auto rgbaFile = Encode(rgba);
  std::unique_ptr<LICE_MemBitmap> bm(DecodePngMemory(rgbaFile.data(), rgbaFile.size()));
  ASSERT_NE(bm, nullptr);
  EXPECT_EQ(bm->PixelBuffer()[0], 0x280A141Eu);  // alpha 40, red 10, green 20, blue 30
  EXPECT_EQ(bm->PixelBuffer()[1], 0xFFFA8000u);

  // RGB without transparency: opaque everywhere.
  Image rgb = RandomImage(PNG_COLOR_TYPE_RGB, 8, 7, 3, 5);
  const auto rgbFile = Encode(rgb);
  bm.reset(DecodePngMemory(rgbFile.data(), rgbFile.size()));
  ASSERT_NE(bm, nullptr);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(bm->PixelBuffer()[y * 8 + x] >> 24, 255u);

  // 1-bit grey: 0 and 255 in red, green and blue.
  Image bits;
  bits.width = 8;
  bits.height = 1;
  bits.colorType = PNG_COLOR_TYPE_GRAY;
  bits.bitDepth = 1;
  bits.samples = {{1, 0, 1, 1, 0, 0, 0, 1}};
  const auto bitsFile = Encode(bits);
  bm.reset(DecodePngMemory(bitsFile.data(), bitsFile.size()));
  ASSERT_NE(bm, nullptr);
  for (int x = 0; x < 8; ++x)
    EXPECT_EQ(bm->PixelBuffer()[x], bits.samples[0][size_t(x)] ? 0xFFFFFFFFu : 0xFF000000u) << x;
}

TEST(DecodePng, DamagedAndForeignDataAnswersNone) {
  const Image im = RandomImage(PNG_COLOR_TYPE_RGB_ALPHA, 8, 40, 30, 77);
  const std::vector<unsigned char> file = Encode(im);
  ASSERT_GT(file.size(), 100u);

  // Cut short anywhere: no image (zeros past the end fail libpng's checks).
  for (size_t keep : {size_t(0), size_t(7), size_t(8), size_t(20), size_t(33), size_t(60), file.size() / 2,
                      file.size() - 13})
    EXPECT_EQ(DecodePngMemory(file.data(), keep), nullptr) << "kept " << keep;

  // A flipped bit inside the image data: the checksum catches it.
  std::vector<unsigned char> flipped = file;
  flipped[file.size() / 2] ^= 0x10;
  EXPECT_EQ(DecodePngMemory(flipped.data(), flipped.size()), nullptr);

  const unsigned char gif[] = "GIF89a\x01\x00\x01\x00\x80\x00\x00";
  EXPECT_EQ(DecodePngMemory(gif, sizeof gif), nullptr);
  std::vector<unsigned char> noSignature = file;
  noSignature[1] = 'Q';
  EXPECT_EQ(DecodePngMemory(noSignature.data(), noSignature.size()), nullptr);
  EXPECT_EQ(DecodePngMemory(nullptr, 100), nullptr);
  EXPECT_EQ(DecodePngMemory(file.data(), 0), nullptr);

  // Random bytes after a valid signature.
  std::mt19937 rng(5);
  for (int i = 0; i < 200; ++i) {
    std::vector<unsigned char> junk(file.begin(), file.begin() + 8);
    for (int j = 0; j < 200; ++j) junk.push_back((unsigned char)rng());
    EXPECT_EQ(DecodePngMemory(junk.data(), junk.size()), nullptr);
  }
}

TEST(DecodePng, PixelBlocksAboveTheLimitAreRefused) {
  // A 1-bit image compresses to almost nothing, so the size alone decides:
  // 4096 x 4096 is exactly the limit, one more row is beyond it.
  auto blank = [](int width, int height) {
    Image im;
    im.width = width;
    im.height = height;
    im.colorType = PNG_COLOR_TYPE_GRAY;
    im.bitDepth = 1;
    im.samples.assign(size_t(height), std::vector<uint16_t>(size_t(width), 0));
    im.samples[0][0] = 1;
    return im;
  };
  static_assert(kMaxPngPixelBytes == size_t(4096) * 4096 * 4, "the limit tested here");
  const auto atLimit = Encode(blank(4096, 4096));
  std::unique_ptr<LICE_MemBitmap> bm(DecodePngMemory(atLimit.data(), atLimit.size()));
  ASSERT_NE(bm, nullptr);
  EXPECT_EQ(bm->PixelBuffer()[0], 0xFFFFFFFFu);
  EXPECT_EQ(bm->PixelBuffer()[1], 0xFF000000u);
  bm.reset();

  const auto beyond = Encode(blank(4096, 4097));
  EXPECT_EQ(DecodePngMemory(beyond.data(), beyond.size()), nullptr);

  // A header claiming a huge image with nothing behind it.
  const auto small = Encode(blank(8, 8));
  std::vector<unsigned char> huge = small;
  const unsigned char dims[8] = {0x00, 0x0F, 0x42, 0x40, 0x00, 0x0F, 0x42, 0x40};  // 1000000 x 1000000
  std::memcpy(&huge[16], dims, 8);
  const uint32_t crc = uint32_t(crc32(0, &huge[12], 17));
  huge[29] = (unsigned char)(crc >> 24);
  huge[30] = (unsigned char)(crc >> 16);
  huge[31] = (unsigned char)(crc >> 8);
  huge[32] = (unsigned char)crc;
  EXPECT_EQ(DecodePngMemory(huge.data(), huge.size()), nullptr);
}

TEST(DecodePng, AncillaryChunksChangeNothing) {
  // Gamma, text and the like are skipped: the samples come out as stored.
  Image im = RandomImage(PNG_COLOR_TYPE_RGB, 8, 6, 4, 21);
  std::vector<unsigned char> plain = Encode(im);
  auto chunk = [](const char* type, const std::vector<unsigned char>& data, uint32_t claimed) {
    std::vector<unsigned char> c = {(unsigned char)(claimed >> 24), (unsigned char)(claimed >> 16),
                                    (unsigned char)(claimed >> 8), (unsigned char)claimed};
    for (int i = 0; i < 4; ++i) c.push_back((unsigned char)type[i]);
    for (unsigned char b : data) c.push_back(b);
    const uint32_t crc = uint32_t(crc32(crc32(0, reinterpret_cast<const Bytef*>(type), 4), data.data(), uInt(data.size())));
    for (int shift = 24; shift >= 0; shift -= 8) c.push_back((unsigned char)(crc >> shift));
    return c;
  };
  std::vector<unsigned char> extras;
  for (const auto& c : {chunk("gAMA", {0, 0, 0x2B, 0x67}, 4), chunk("tEXt", {'k', 0, 'v'}, 3),
                        chunk("eXIf", {'M', 'M', 0, 42, 0, 0, 0, 8}, 8), chunk("zzZz", {1, 2, 3}, 3),
                        chunk("sBIT", {1, 1, 1}, 3)})
    extras.insert(extras.end(), c.begin(), c.end());
  std::vector<unsigned char> decorated = plain;
  decorated.insert(decorated.begin() + 33, extras.begin(), extras.end());  // after the header
  ExpectDecodesTo(im, decorated);

  // A chunk claiming far more bytes than the file holds, at the end of it.
  std::vector<unsigned char> claim(plain.begin(), plain.begin() + 33);
  const auto big = chunk("eXIf", {}, 0x60000000u);
  claim.insert(claim.end(), big.begin(), big.begin() + 8);
  EXPECT_EQ(DecodePngMemory(claim.data(), claim.size()), nullptr);
  std::vector<unsigned char> claimIdat(plain.begin(), plain.begin() + 33);
  const auto idat = chunk("IDAT", {}, 0x60000000u);
  claimIdat.insert(claimIdat.end(), idat.begin(), idat.begin() + 8);
  EXPECT_EQ(DecodePngMemory(claimIdat.data(), claimIdat.size()), nullptr);
}

// --- resources --------------------------------------------------------------

class PngResources : public ::testing::Test {
 protected:
  void SetUp() override {
    Image im = RandomImage(PNG_COLOR_TYPE_RGB_ALPHA, 8, 3, 2, 3);
    image = Encode(im);
    fake_resources::Reset();
    fake_resources::Add("PNG", 1, image);
    fake_resources::Add("PNG", 2, std::vector<unsigned char>(image.begin(), image.begin() + 7));
    fake_resources::Add("PNG", 3, std::vector<unsigned char>(40, 'x'));
    fake_resources::Add("BMP", 4, image);
  }
  std::vector<unsigned char> image;
};

TEST_F(PngResources, LoadPngResourceDecodesOnlyGoodPngResources) {
  std::unique_ptr<LICE_MemBitmap> bm(LoadPngResource(1));
  ASSERT_NE(bm, nullptr);
  EXPECT_EQ(bm->PixelWidth(), 3);
  EXPECT_EQ(fake_resources::LastType(), "PNG");
  EXPECT_EQ(LoadPngResource(2), nullptr);  // 7 bytes
  EXPECT_EQ(LoadPngResource(3), nullptr);  // no signature
  EXPECT_EQ(LoadPngResource(4), nullptr);  // another type
  EXPECT_EQ(LoadPngResource(99), nullptr);
}

TEST_F(PngResources, LoadImageResourceGoesByTheExtension) {
  std::unique_ptr<LICE_IBitmap> bm(LoadImageResource(1, "resources/img/back.PNG"));
  ASSERT_NE(bm, nullptr);
  EXPECT_EQ(fake_resources::LastId(), 1);
  bm.reset(LoadImageResource(0x10001, "x.png"));  // the identifier is 16 bits
  ASSERT_NE(bm, nullptr);
  EXPECT_EQ(fake_resources::LastId(), 1);

  const int before = fake_resources::Lookups();
  EXPECT_EQ(LoadImageResource(1, "resources/img/back.bmp"), nullptr);
  EXPECT_EQ(LoadImageResource(1, "png"), nullptr);  // no '.': "ng" is compared
  EXPECT_EQ(LoadImageResource(1, "a.pngx"), nullptr);
  EXPECT_EQ(LoadImageResource(1, ""), nullptr);
  EXPECT_EQ(LoadImageResource(1, nullptr), nullptr);
  EXPECT_EQ(fake_resources::Lookups(), before);  // resources never touched

  EXPECT_TRUE(HasPngExtension(".png"));
  EXPECT_TRUE(HasPngExtension("a.b.PnG"));
  EXPECT_TRUE(HasPngExtension("xpng"));  // without a '.', all but the first character
  EXPECT_FALSE(HasPngExtension("a.png.bak"));
  EXPECT_FALSE(HasPngExtension("a."));
}
