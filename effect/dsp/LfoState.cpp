#include "effect/dsp/LfoState.h"

#include <atomic>
#include <cmath>

const double kSyncDivisionLength[kNumSyncDivisions] = {
    256.0, 192.0, 128.0, 96.0, 64.0, 48.0, 40.0, 32.0, 24.0, 16.0,
    12.0,  8.0,   10.0,  16.0 / 3.0, 4.0, 3.0, 8.0 / 3.0, 2.0, 1.5, 1.0};
const char* const kSyncDivisionName[kNumSyncDivisions] = {
    "16/1", "12/1", "8/1", "6/1", "4/1", "3/1", "2/1.", "2/1", "1/1.", "1/1",
    "1/2.", "1/2",  "1/4.", "1/2T", "1/4", "1/8.", "1/4T", "1/8", "1/16.", "1/16"};

int SyncIndexOf(double rate) {
  const double r = std::round(std::sqrt(rate) * 19.0);
  if (!(r >= 0.0)) return 0;
  return r > kNumSyncDivisions - 1 ? kNumSyncDivisions - 1 : static_cast<int>(r);
}

namespace {
// One sequence per process, shared by every instance's audio thread.
std::atomic<int32_t> gSampleHoldValue{1};

// One subtraction per tick, as long as the increment is below a cycle. A
// host's absurd tempo can make it larger, or infinite: the phase then wraps
// whole, and a phase that is no number starts again at 0.
void WrapPhase(double& phase) {
  phase -= 1.0;
  if (phase >= 1.0) phase = std::isfinite(phase) ? phase - std::floor(phase) : 0.0;
  if (!(phase >= 0.0)) phase = 0.0;
}

}  // namespace

int32_t NextSampleHoldValue() {
  int32_t current = gSampleHoldValue.load(std::memory_order_relaxed);
  int32_t next;
  do {
    next = static_cast<int32_t>(static_cast<uint32_t>(current) * 16807u);
  } while (!gSampleHoldValue.compare_exchange_weak(current, next, std::memory_order_relaxed));
  return next;
}

void LfoState::TickLfo() {
  phase = phase + increment;
  if (!(phase == phase)) phase = 0.0;
  if (waveform == 5) {
    if (phase >= 1.0) {
      WrapPhase(phase);
      heldValue = NextSampleHoldValue() * 4.656612873077393e-10;
    }
    output = heldValue;
    return;
  }
  if (phase >= 1.0) WrapPhase(phase);
  const double p = phase;
  switch (waveform) {
    case 1: output = p < 0.5 ? 2.0 * p : 2.0 * (1.0 - p); break;
    case 2: output = p < 0.5 ? 1.0 : 0.0; break;
    case 3: output = 1.0 - p; break;
    case 4: output = p; break;
    default: output = 0.0; break;
  }
}

void LfoState::SyncLfoToHost(const LfoTransport& transport, bool& wasPlaying) {
  double t = std::round(transport.tempo * 1000.0) * 0.001;
  if (!(t > 0.0) || !std::isfinite(t)) t = 120.0;
  const int index = syncIndex < 0 ? 0 : syncIndex >= kNumSyncDivisions ? kNumSyncDivisions - 1 : syncIndex;
  const double d = kSyncDivisionLength[index];
  increment = t / (d * 15.0 * ticksPerSecond);
  if (transport.playing) {
    const double q = transport.ppqPosition * 4.0 / d;
    phase = std::isfinite(q) ? q - std::floor(q) : 0.0;
  }
  if (transport.playing != wasPlaying) {
    wasPlaying = transport.playing;
    if (transport.playing) {
      phase = 0.0;
      output = 0.0;
    }
  }
}
