#include "plugin/ChunkBuffer.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
const int kMaxChunkBytes = 0x7FFFFFFF - 8192;
}

ChunkBuffer::~ChunkBuffer() { std::free(mBytes); }

bool ChunkBuffer::Reserve(int64_t requested) {
  if (requested <= mCapacity) return true;
  if (requested > kMaxChunkBytes) return false;
  // Room ahead: half the request or one step, so many small appends cost
  // amortised constant time.
  int64_t extra = requested / 2 > mGrowthStep ? requested / 2 : mGrowthStep;
  int64_t capacity;
  if (mGrowthStep < 4096) {
    capacity = requested + extra;
  } else {
    extra = extra / 4096 * 4096;
    if (extra < 4096) extra = 4096;
    if (extra > (4 << 20)) extra = 4 << 20;
    capacity = (requested + 96 + extra) / 4096 * 4096 - 96;
  }
  if (capacity > kMaxChunkBytes) capacity = kMaxChunkBytes;
  if (capacity < requested) return false;
  void* grown = std::realloc(mBytes, static_cast<size_t>(capacity));
  if (grown == nullptr) return false;
  mBytes = static_cast<unsigned char*>(grown);
  mCapacity = static_cast<int>(capacity);
  return true;
}

int ChunkBuffer::Resize(int n) {
  const int previous = mSize;
  if (n < 0) n = 0;
  if (n > mCapacity) {
    if (!Reserve(n)) return previous;
  } else if (n < mCapacity / 2 && n < mCapacity - 4 * mGrowthStep) {
    // Give back storage only when the buffer shrinks a lot.
    void* shrunk = n > 0 ? std::realloc(mBytes, static_cast<size_t>(n)) : nullptr;
    if (n == 0) {
      std::free(mBytes);
      mBytes = nullptr;
      mCapacity = 0;
    } else if (shrunk != nullptr) {
      mBytes = static_cast<unsigned char*>(shrunk);
      mCapacity = n;
    }
  }
  if (n > previous) std::memset(mBytes + previous, 0, static_cast<size_t>(n - previous));
  mSize = n;
  return previous;
}

int ChunkBuffer::AppendBytes(const void* bytes, int count) {
  if (count <= 0) return mSize;
  if (!Reserve(static_cast<int64_t>(mSize) + count)) return mSize;
  std::memcpy(mBytes + mSize, bytes, static_cast<size_t>(count));
  mSize += count;
  return mSize;
}

int ChunkBuffer::AppendBool(bool value) {
  const unsigned char byte = value ? 1 : 0;
  return AppendBytes(&byte, 1);
}

int ChunkBuffer::AppendString(const char* text) {
  const size_t length = text != nullptr ? std::strlen(text) : 0;
  if (length > static_cast<size_t>(kMaxChunkBytes)) return mSize;
  if (!Reserve(static_cast<int64_t>(mSize) + 4 + static_cast<int64_t>(length))) return mSize;
  AppendInt(static_cast<int32_t>(length));
  return AppendBytes(text, static_cast<int>(length));
}

int ChunkBuffer::ReadBytes(void* target, int count, int position) const {
  if (!HasBytes(position, count)) return -1;
  std::memcpy(target, mBytes + position, static_cast<size_t>(count));
  return position + count;
}

int ChunkBuffer::ReadBool(bool* value, int position) const {
  unsigned char byte = 0;
  const int next = ReadBytes(&byte, 1, position);
  if (next >= 0) *value = byte != 0;
  return next;
}

int ChunkBuffer::ReadString(GrowableText* text, int position) const {
  int32_t length = 0;
  const int afterLength = ReadInt(&length, position);
  if (afterLength < 0) return -1;
  const int64_t end = static_cast<int64_t>(afterLength) + length;
  if (end <= mSize) {
    if (length <= 0)
      text->Set("");
    else
      text->Set(reinterpret_cast<const char*>(mBytes + afterLength), length);
  }
  // Past the end (or before the start, for a negative length) the caller sees
  // an impossible position; keep it negative rather than wrapping around.
  if (end < 0 || end > 0x7FFFFFFF) return -1;
  return static_cast<int>(end);
}

int ChunkBuffer::ReadString(char* text, int size, int position) const {
  if (text == nullptr || size <= 0) return -1;
  text[0] = '\0';
  int32_t length = 0;
  const int afterLength = ReadInt(&length, position);
  if (afterLength < 0) return -1;
  const int64_t end = static_cast<int64_t>(afterLength) + length;
  if (end <= mSize && length > 0) {
    const int count = length < size - 1 ? length : size - 1;
    std::memcpy(text, mBytes + afterLength, static_cast<size_t>(count));
    text[count] = '\0';
  }
  if (end < 0 || end > 0x7FFFFFFF) return -1;
  return static_cast<int>(end);
}

void WriteVersionHeader(ChunkBuffer& chunk) {
  chunk.Clear();
  chunk.AppendInt(kChunkMagic);
  chunk.AppendInt(kChunkVersion);
}

int32_t ReadVersionHeader(const ChunkBuffer& chunk, int* position) {
  int32_t magic = 0;
  if (*position < 0 || chunk.ReadInt(&magic, *position) < 0 || magic != kChunkMagic) return 0;
  int32_t version = 0;
  if (chunk.ReadInt(&version, *position + 4) < 0) {
    *position = -1;
    return 0;
  }
  *position += 8;
  return version;
}

// GrowableText

void GrowableText::Reserve(size_t length) {
  if (length + 1 > mText.capacity()) mText.reserve((length + 1 + 127) / 128 * 128);
}

void GrowableText::Set(const char* text) {
  if (text == nullptr) text = "";
  Set(text, static_cast<int>(std::strlen(text)));
}

void GrowableText::Set(const char* text, int count) {
  if (text == nullptr || count <= 0) {
    mText.clear();
    return;
  }
  const size_t length = strnlen(text, static_cast<size_t>(count));
  Reserve(length);
  mText.assign(text, length);
}

static void FormatInto(std::string& target, int maxChars, const char* format, va_list args) {
  if (maxChars <= 0) return;
  std::vector<char> buffer(static_cast<size_t>(maxChars) + 1, '\0');
  std::vsnprintf(buffer.data(), buffer.size(), format, args);
  target.append(buffer.data());
}

void GrowableText::SetFormatted(int maxChars, const char* format, ...) {
  mText.clear();
  va_list args;
  va_start(args, format);
  FormatInto(mText, maxChars, format, args);
  va_end(args);
}

void GrowableText::AppendFormatted(int maxChars, const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatInto(mText, maxChars, format, args);
  va_end(args);
}
