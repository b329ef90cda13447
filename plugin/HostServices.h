// Records exchanged with the host's services: transport, MIDI messages, the
// host application's kind. No VST types here; IPlugVST translates.
#pragma once

#include <cstdint>

struct TransportInfo {
  double tempo = 120.0;
  double samplePosition = -1.0;
  double ppqPosition = -1.0;
  double lastBarStart = -1.0;
  double cycleStart = -1.0;
  double cycleEnd = -1.0;
  int32_t numerator = 4;
  int32_t denominator = 4;
  bool transportRunning = false;
  bool loopEnabled = false;
};

struct MidiMessage {
  int32_t frameOffset = 0;
  uint8_t status = 0;
  uint8_t data1 = 0;
  uint8_t data2 = 0;
};

struct SysExMessage {
  int32_t frameOffset = 0;
  int32_t size = 0;
  const uint8_t* data = nullptr;
};

// Messages ordered by frame offset; equal offsets keep their arrival order.
class MidiQueue {
 public:
  MidiQueue(int capacity, int growthStep);
  ~MidiQueue();
  MidiQueue(const MidiQueue&) = delete;
  MidiQueue& operator=(const MidiQueue&) = delete;

  void Add(const MidiMessage& message);
  int Count() const { return mEnd - mRead; }
  const MidiMessage& At(int i) const { return mEntries[mRead + i]; }
  int Capacity() const { return mCapacity; }

 private:
  MidiMessage* mEntries = nullptr;
  int mCapacity = 0;
  int mGrowthStep = 0;
  int mRead = 0;
  int mEnd = 0;
};

// The host application, as far as the plug-in tells hosts apart.
typedef int32_t HostKind;
constexpr HostKind kHostNotAsked = -1;
constexpr HostKind kHostUnknown = 0;

HostKind IdentifyHostByName(const char* text);
