// The effect's state record: the current layout, the previous one and the
// untagged layout of the oldest versions.
#include <cstring>

#include "effect/Veltrane.h"

namespace {

const char kTagCurrent[] = "Quorvel Veltrane_2.0.1";
const char kTagPrevious[] = "Quorvel Veltrane_2.0.0";
const int kTagLength = sizeof kTagCurrent - 1;

bool TagAt(const ChunkBuffer& chunk, int position, const char* tag) {
  return chunk.HasBytes(position, kTagLength) && std::memcmp(chunk.Data() + position, tag, kTagLength) == 0;
}

}  // namespace

bool Veltrane::WriteState(ChunkBuffer& chunk) {
  CriticalSectionGuard guard(mLock);
  chunk.AppendBytes(kTagCurrent, kTagLength);
  chunk.AppendInt(CurrentPresetIndex());
  const PresetRecord* preset = PresetAt(CurrentPresetIndex());
  const char* name = preset != nullptr ? preset->name : "";
  chunk.AppendString(name);
  for (int i = 0; i < NumParams(); ++i) chunk.AppendDouble(ParamAt(i)->value);
  return chunk.Size() > 0;
}

int Veltrane::ReadState(const ChunkBuffer& chunk, int position) {
  if (position < 0) return -1;
  CriticalSectionGuard guard(mLock);
  int count = NumParams();
  if (TagAt(chunk, position, kTagCurrent)) {
    // The preset index and name describe the writer's current preset: skipped.
    position = chunk.HasBytes(position, kTagLength + 4) ? position + kTagLength + 4 : -1;
    int32_t nameLength = 0;
    position = chunk.ReadInt(&nameLength, position);
    if (position >= 0) position = nameLength >= 0 && chunk.HasBytes(position, nameLength) ? position + nameLength : -1;
  } else if (TagAt(chunk, position, kTagPrevious)) {
    return UnserializeParams(chunk, position + kTagLength);
  } else {
    // Untagged: "Sync to Host" did not exist yet.
    count = kSyncToHost;
    ParamAt(kSyncToHost)->SetClamped(ParamAt(kSyncToHost)->defaultValue);
  }
  for (int i = 0; i < count && position >= 0; ++i) {
    double v = 0.0;
    position = chunk.ReadDouble(&v, position);
    if (position < 0) v = 0.0;
    ParamAt(i)->SetClamped(v);
  }
  NotifyAllParametersChanged();
  return position;
}
