// The effect's state record and the factory bank's header, written down
// once: the effect reads and writes its chunks with these, and the
// factory-bank generator (tools/make_factory_bank.cpp, built for the build
// machine) writes the bank's programs with the same code.
#pragma once

#include <cstdint>

// Tags in front of a record, without terminator or length: the current
// layout (written and read) and the previous one (read only). Records older
// than the tags have none.
constexpr char kStateTagCurrent[] = "Quorvel Veltrane_2.0.1";
constexpr char kStateTagPrevious[] = "Quorvel Veltrane_2.0.0";
constexpr int kStateTagLength = sizeof kStateTagCurrent - 1;
static_assert(sizeof kStateTagPrevious == sizeof kStateTagCurrent, "both tags have one length");

// Parameters a current record holds, and an untagged one ("Sync to Host",
// the last, came later).
constexpr int kStateValues = 15;
constexpr int kStateValuesUntagged = kStateValues - 1;

// A current record: the tag, the writer's current preset index and name
// (both skipped when read), then each parameter's real value in index
// order. `Writer` appends as ChunkBuffer does (AppendBytes, AppendInt,
// AppendString, AppendDouble).
template <class Writer>
void AppendStateRecord(Writer& out, int32_t presetIndex, const char* presetName, const double* values) {
  out.AppendBytes(kStateTagCurrent, kStateTagLength);
  out.AppendInt(presetIndex);
  out.AppendString(presetName);
  for (int i = 0; i < kStateValues; ++i) out.AppendDouble(values[i]);
}

// The factory bank is a host's bank file of the opaque-chunk kind: a header
// of big-endian numbers, then the framework's chunk with every program as
// the preset list writes it (name, initialised flag, state record).
struct BankHeaderField {
  const char* what;
  int size;
};
constexpr BankHeaderField kBankHeader[] = {
    {"chunk magic \"CcnK\"", 4}, {"byte size", 4},        {"bank magic \"FBCh\"", 4},
    {"bank version", 4},         {"effect identifier", 4}, {"effect version", 4},
    {"number of programs", 4},   {"reserved, zero", 128},  {"chunk size", 4},
};
constexpr int kBankHeaderFields = sizeof kBankHeader / sizeof kBankHeader[0];
constexpr int BankHeaderSize() {
  int size = 0;
  for (const BankHeaderField& field : kBankHeader) size += field.size;
  return size;
}
// Where the chunk starts; the two fields before the bank magic are skipped
// by readers, who walk the rest without checking it.
constexpr int kBankChunkStart = BankHeaderSize();
constexpr int kBankWalkStart = 8;
static_assert(kBankChunkStart == 160, "the bank file's header is 160 bytes");
