// One program slot: its name and a complete effect state.
#pragma once

#include "plugin/ChunkBuffer.h"

constexpr int kPresetNameSize = 256;  // 255 characters and a terminator

struct PresetRecord {
  PresetRecord();
  bool initialised = false;
  char name[kPresetNameSize];
  ChunkBuffer state;  // as written by WriteState, no version header
};
