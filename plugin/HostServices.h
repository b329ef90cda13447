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

// A host's sample position as the framework reports it: the nearest whole
// sample, and 0 when the host gave none or one beyond an int.
inline int WholeSamplePosition(double position) {
  if (!(position >= 0.0) || !(position < 2147483647.0)) return 0;
  return static_cast<int>(position + 0.5);
}

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
// Not used by this effect: it keeps no MIDI.
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

// The host application, as far as the plug-in tells hosts apart. The numbers
// are fixed (6, 10, 11 and 19 are never given).
typedef int32_t HostKind;
enum : HostKind {
  kHostNotAsked = -1,
  kHostUnknown = 0,
  kHostReaper = 1,
  kHostProTools = 2,
  kHostCubase = 3,
  kHostNuendo = 4,
  kHostSonar = 5,
  kHostFL = 7,
  kHostSamplitude = 8,
  kHostAbletonLive = 9,
  kHostMelodyne = 12,
  kHostVstManLib = 13,
  kHostAULab = 14,
  kHostForte = 15,
  kHostChainer = 16,
  kHostAudition = 17,
  kHostOrion = 18,
  kHostSawStudio = 20,
  kHostLogic = 21,
  kHostGarageBand = 22,
  kHostDigitalPerformer = 23,
  kHostStandalone = 24,
  kHostAudioMulch = 25,
  kHostStudioOne = 26,
  kHostVst3TestHost = 27,
  kHostArdour = 28,
  kHostRenoise = 29,
  kHostOpenMPT = 30,
};

HostKind IdentifyHostByName(const char* text);
