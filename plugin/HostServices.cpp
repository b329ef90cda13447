#include "plugin/HostServices.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

MidiQueue::MidiQueue(int capacity, int growthStep) : mGrowthStep(growthStep) {
  if (capacity > 0) {
    mEntries = static_cast<MidiMessage*>(std::malloc(sizeof(MidiMessage) * static_cast<size_t>(capacity)));
    if (mEntries != nullptr) mCapacity = capacity;
  }
}

MidiQueue::~MidiQueue() { std::free(mEntries); }

void MidiQueue::Add(const MidiMessage& message) {
  if (mEnd >= mCapacity) {
    if (mRead > 0) {
      std::memmove(mEntries, mEntries + mRead, sizeof(MidiMessage) * static_cast<size_t>(mEnd - mRead));
      mEnd -= mRead;
      mRead = 0;
    } else {
      if (mGrowthStep <= 0) return;
      const int capacity = (mCapacity / mGrowthStep + 1) * mGrowthStep;
      void* grown = std::realloc(mEntries, sizeof(MidiMessage) * static_cast<size_t>(capacity));
      if (grown == nullptr) return;
      mEntries = static_cast<MidiMessage*>(grown);
      mCapacity = capacity;
    }
  }
  int at = mEnd;
  if (mEnd > mRead && message.frameOffset < mEntries[mEnd - 1].frameOffset) {
    int i = mEnd - 2;
    while (i >= mRead && mEntries[i].frameOffset > message.frameOffset) --i;
    at = i >= mRead ? i + 1 : mRead;
    std::memmove(mEntries + at + 1, mEntries + at, sizeof(MidiMessage) * static_cast<size_t>(mEnd - at));
  }
  mEntries[at] = message;
  ++mEnd;
}

namespace {

struct HostName {
  const char* substring;
  HostKind kind;
};

// Earlier rows win when several names occur.
const HostName kHostNames[] = {
    {"cubase", kHostCubase},
    {"reaper", kHostReaper},
    {"nuendo", kHostNuendo},
    {"cakewalk", kHostSonar},
    {"samplitude", kHostSamplitude},
    {"fruity", kHostFL},
    {"live", kHostAbletonLive},
    {"melodyne", kHostMelodyne},
    {"vstmanlib", kHostVstManLib},
    {"aulab", kHostAULab},
    {"garageband", kHostGarageBand},
    {"forte", kHostForte},
    {"chainer", kHostChainer},
    {"audition", kHostAudition},
    {"orion", kHostOrion},
    {"sawstudio", kHostSawStudio},
    {"logic", kHostLogic},
    {"digital", kHostDigitalPerformer},
    {"audiomulch", kHostAudioMulch},
    {"presonus", kHostStudioOne},
    {"vst3plugintesthost", kHostVst3TestHost},
    {"protools", kHostProTools},
    {"ardour", kHostArdour},
    {"openmpt", kHostOpenMPT},
    {"renoise", kHostRenoise},
    {"standalone", kHostStandalone},
};

}  // namespace

HostKind IdentifyHostByName(const char* text) {
  if (text == nullptr) return kHostUnknown;
  std::string lower(text, strnlen(text, 255));
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const HostName& entry : kHostNames)
    if (lower.find(entry.substring) != std::string::npos) return entry.kind;
  return kHostUnknown;
}
