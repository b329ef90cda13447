#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "plugin/ChunkBuffer.h"

namespace {

std::vector<unsigned char> Bytes(const ChunkBuffer& chunk) {
  return std::vector<unsigned char>(chunk.Data(), chunk.Data() + chunk.Size());
}

TEST(ChunkBuffer, EncodesValuesLittleEndianWithoutGaps) {
  ChunkBuffer chunk;
  EXPECT_EQ(chunk.AppendString("abc"), 7);
  EXPECT_EQ(Bytes(chunk), (std::vector<unsigned char>{3, 0, 0, 0, 'a', 'b', 'c'}));
  chunk.AppendBool(true);
  chunk.AppendInt(-2);
  chunk.AppendDouble(1.5);
  ASSERT_EQ(chunk.Size(), 7 + 1 + 4 + 8);
  EXPECT_EQ(chunk.Data()[7], 1);
  EXPECT_EQ(std::vector<unsigned char>(chunk.Data() + 8, chunk.Data() + 12),
            (std::vector<unsigned char>{0xFE, 0xFF, 0xFF, 0xFF}));
  double v = 0.0;
  EXPECT_EQ(chunk.ReadDouble(&v, 12), 20);
  EXPECT_EQ(v, 1.5);

  WriteVersionHeader(chunk);
  EXPECT_EQ(Bytes(chunk), (std::vector<unsigned char>{0x74, 0x66, 0x66, 0x70, 0, 0, 1, 0}));
}

TEST(ChunkBuffer, ReadsPastTheEndFailAndKeepTheTarget) {
  ChunkBuffer chunk;
  chunk.AppendInt(7);
  int32_t value = 99;
  EXPECT_EQ(chunk.ReadInt(&value, 1), -1);
  EXPECT_EQ(value, 99);
  EXPECT_EQ(chunk.ReadInt(&value, -1), -1);
  EXPECT_EQ(chunk.ReadInt(&value, 0), 4);
  EXPECT_EQ(value, 7);
  double d = 3.0;
  EXPECT_EQ(chunk.ReadDouble(&d, 0), -1);
  EXPECT_EQ(d, 3.0);
  bool flag = false;
  EXPECT_EQ(chunk.ReadBool(&flag, 4), -1);
}

TEST(ChunkBuffer, StringsWhoseLengthRunsPastTheEnd) {
  ChunkBuffer chunk;
  chunk.AppendInt(10);
  chunk.AppendBytes("hello", 5);
  GrowableText text("kept");
  EXPECT_EQ(chunk.ReadString(&text, 0), 14);  // past the size: the caller sees it
  EXPECT_STREQ(text.Get(), "kept");

  ChunkBuffer empty;
  empty.AppendInt(0);
  EXPECT_EQ(empty.ReadString(&text, 0), 4);
  EXPECT_STREQ(text.Get(), "");

  ChunkBuffer negative;
  negative.AppendInt(-0x7FFFFFFF);
  text.Set("x");
  EXPECT_LT(negative.ReadString(&text, 0), 0);
  ChunkBuffer huge;
  huge.AppendInt(0x7FFFFFF0);
  huge.AppendInt(0);
  text.Set("kept");
  EXPECT_GT(huge.ReadString(&text, 0), huge.Size());  // no wrap-around, no read
  EXPECT_STREQ(text.Get(), "kept");
  EXPECT_EQ(huge.ReadString(&text, 5), -1);
}

TEST(ChunkBuffer, VersionHeaderAnswers) {
  ChunkBuffer chunk;
  chunk.AppendInt(0x12345678);
  int position = 0;
  EXPECT_EQ(ReadVersionHeader(chunk, &position), 0);
  EXPECT_EQ(position, 0);

  ChunkBuffer magicOnly;
  magicOnly.AppendInt(kChunkMagic);
  position = 0;
  EXPECT_EQ(ReadVersionHeader(magicOnly, &position), 0);
  EXPECT_EQ(position, -1);

  ChunkBuffer header;
  WriteVersionHeader(header);
  position = 0;
  EXPECT_EQ(ReadVersionHeader(header, &position), kChunkVersion);
  EXPECT_EQ(position, 8);
  position = -1;
  EXPECT_EQ(ReadVersionHeader(header, &position), 0);
  EXPECT_EQ(position, -1);
}

TEST(ChunkBuffer, GrowsAheadAndKeepsStorageWhenCleared) {
  ChunkBuffer chunk(4096);
  int reallocations = 0;
  const unsigned char* last = nullptr;
  int lastCapacity = 0;
  for (int i = 0; i < 200000; ++i) {
    chunk.AppendInt(i);
    if (chunk.Capacity() != lastCapacity || chunk.Data() != last) ++reallocations;
    last = chunk.Data();
    lastCapacity = chunk.Capacity();
  }
  EXPECT_EQ(chunk.Size(), 800000);
  EXPECT_LT(reallocations, 40);  // geometric growth, not one step per append
  int32_t v = 0;
  chunk.ReadInt(&v, 4 * 123456);
  EXPECT_EQ(v, 123456);

  const int capacity = chunk.Capacity();
  chunk.Clear();
  EXPECT_EQ(chunk.Size(), 0);
  EXPECT_EQ(chunk.Capacity(), capacity);
  chunk.Resize(16);
  EXPECT_EQ(chunk.Size(), 16);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(chunk.Data()[i], 0) << "bytes added by Resize are zero";
}

TEST(GrowableText, FormattedTextIsCut) {
  GrowableText text;
  text.SetFormatted(5, "%s %d", "preset", 12);
  EXPECT_STREQ(text.Get(), "prese");
  text.AppendFormatted(3, "%d", 98765);
  EXPECT_STREQ(text.Get(), "prese987");
  text.Set("ab\0cd", 5);
  EXPECT_STREQ(text.Get(), "ab");
}

}  // namespace
