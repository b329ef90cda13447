// Growable byte buffer holding all state that leaves the plug-in: program and
// bank chunks, preset states, the factory bank. Values are stored in the
// machine's little-endian order with no alignment gaps.
//
// Reads take a byte position and return the position after what they read, or
// -1 when they could not read (a negative position stays -1). Appends return
// the new size; an append that cannot grow the buffer writes nothing.
#pragma once

#include <cstdint>

#include "plugin/GrowableText.h"

class ChunkBuffer {
 public:
  explicit ChunkBuffer(int growthStep = 4096) : mGrowthStep(growthStep) {}
  ~ChunkBuffer();
  ChunkBuffer(const ChunkBuffer&) = delete;
  ChunkBuffer& operator=(const ChunkBuffer&) = delete;

  // Sets the size to n (bytes added are zero); returns the previous size.
  // Shrinks storage only when n is far below the capacity.
  int Resize(int n);
  void Clear() { mSize = 0; }

  int AppendInt(int32_t value) { return AppendBytes(&value, sizeof value); }
  int AppendDouble(double value) { return AppendBytes(&value, sizeof value); }
  int AppendBool(bool value);
  int AppendBytes(const void* bytes, int count);
  // 32-bit length, then the characters without terminator.
  int AppendString(const char* text);

  int ReadInt(int32_t* value, int position) const { return ReadBytes(value, sizeof *value, position); }
  int ReadDouble(double* value, int position) const { return ReadBytes(value, sizeof *value, position); }
  int ReadBool(bool* value, int position) const;
  int ReadBytes(void* target, int count, int position) const;
  // Reads a length-prefixed string. The text is left unchanged when the
  // characters run past the end; the result is then past the size.
  int ReadString(GrowableText* text, int position) const;
  // The same into a fixed buffer of `size` bytes (size > 0): the text is
  // cut to size - 1 characters and always terminated; it is empty when the
  // characters run past the end. Allocates nothing.
  int ReadString(char* text, int size, int position) const;

  // True when `count` bytes at `position` lie inside the data.
  bool HasBytes(int position, int count) const {
    return position >= 0 && count >= 0 && count <= mSize - position;
  }

  const unsigned char* Data() const { return mBytes; }
  unsigned char* Data() { return mBytes; }
  int Size() const { return mSize; }
  int Capacity() const { return mCapacity; }

 private:
  bool Reserve(int64_t requested);

  unsigned char* mBytes = nullptr;
  int mCapacity = 0;
  int mSize = 0;
  int mGrowthStep;
};

// The framework's header in front of every chunk given to the host.
constexpr int32_t kChunkMagic = 0x70666674;  // 'pfft'
constexpr int32_t kChunkVersion = 0x00010000;
// The header of a session state: the whole plug-in, as the formats keep it
// whose state is the plug-in (see IPlugBase::WriteHostState).
constexpr int32_t kSessionVersion = 0x00010001;

void WriteVersionHeader(ChunkBuffer& chunk);
// Returns the version, or 0 without a header; advances *position past it
// (or sets it to -1 when the data ends inside the header).
int32_t ReadVersionHeader(const ChunkBuffer& chunk, int* position);
