// The effect's state record: the current layout, the previous one and the
// untagged layout of the oldest versions.
#include <cstring>

#include "effect/Veltrane.h"
#include "effect/VeltraneStateLayout.h"

static_assert(kStateValues == kNumVeltraneParams, "a record holds every parameter");

namespace {

bool TagAt(const ChunkBuffer& chunk, int position, const char* tag) {
  return chunk.HasBytes(position, kStateTagLength) &&
         std::memcmp(chunk.Data() + position, tag, kStateTagLength) == 0;
}

}  // namespace

bool Veltrane::WriteState(ChunkBuffer& chunk) {
  CriticalSectionGuard guard(mLock);
  const PresetRecord* preset = PresetAt(CurrentPresetIndex());
  double values[kStateValues];
  for (int i = 0; i < kStateValues; ++i) values[i] = ParamAt(i)->value;
  AppendStateRecord(chunk, CurrentPresetIndex(), preset != nullptr ? preset->name : "", values);
  return chunk.Size() > 0;
}

int Veltrane::ReadState(const ChunkBuffer& chunk, int position) {
  if (position < 0) return -1;
  CriticalSectionGuard guard(mLock);
  int count = NumParams();
  if (TagAt(chunk, position, kStateTagCurrent)) {
    // The preset index and name describe the writer's current preset: skipped.
    position = chunk.HasBytes(position, kStateTagLength + 4) ? position + kStateTagLength + 4 : -1;
    int32_t nameLength = 0;
    position = chunk.ReadInt(&nameLength, position);
    if (position >= 0) position = nameLength >= 0 && chunk.HasBytes(position, nameLength) ? position + nameLength : -1;
  } else if (TagAt(chunk, position, kStateTagPrevious)) {
    return UnserializeParams(chunk, position + kStateTagLength);
  } else {
    // Untagged: "Sync to Host" did not exist yet.
    count = kStateValuesUntagged;
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

int Veltrane::StateEnd(const ChunkBuffer& chunk, int position) const {
  if (position < 0) return -1;
  int values = kStateValues;
  if (TagAt(chunk, position, kStateTagCurrent)) {
    position += kStateTagLength + 4;
    int32_t nameLength = 0;
    if (chunk.ReadInt(&nameLength, position) < 0 || nameLength < 0 || !chunk.HasBytes(position + 4, nameLength))
      return -1;
    position += 4 + nameLength;
  } else if (TagAt(chunk, position, kStateTagPrevious)) {
    position += kStateTagLength;
  } else {
    values = kStateValuesUntagged;
  }
  return chunk.HasBytes(position, 8 * values) ? position + 8 * values : -1;
}
