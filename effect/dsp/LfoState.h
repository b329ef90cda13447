// The modulation oscillator: one for both channels, advanced once per
// control tick, free-running or locked to the host's tempo and position.
// Plain state and arithmetic: no host, no lock, no allocation.
#pragma once

#include <cstdint>

// Cycle lengths of the tempo-synced rates, in sixteenth notes, and their names.
constexpr int kNumSyncDivisions = 20;
extern const double kSyncDivisionLength[kNumSyncDivisions];
extern const char* const kSyncDivisionName[kNumSyncDivisions];

// sqrt(rate) * 19 rounded to the nearest division, halves away from zero.
int SyncIndexOf(double rate);

// The process-wide sample-and-hold sequence: one value per process, starting
// at 1, advanced atomically by every instance.
int32_t NextSampleHoldValue();

// What the oscillator needs of the host's transport when it follows it.
struct LfoTransport {
  double tempo = 120.0;        // beats per minute
  double ppqPosition = -1.0;   // position in quarter notes
  bool playing = false;
};

struct LfoState {
  double output = 0.0;
  double storedSampleRate = 44100.0;  // the rate the control timing was last computed for
  double ticksPerSecond = 44100.0 / 44.0;
  int32_t waveform = 0;               // 0 Off, 1 Triangle, 2 Square, 3 Ramp Dn, 4 Ramp Up, 5 S/H
  int32_t syncIndex = 10;
  double rate = 0.0;
  double phase = 0.0;
  double increment = 0.0;
  double heldValue = 0.0;

  // One control tick on.
  void TickLfo();
  // Locks the cycle to the host's position; `wasPlaying` remembers the
  // transport between blocks.
  void SyncLfoToHost(const LfoTransport& transport, bool& wasPlaying);
};
