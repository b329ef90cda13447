// The modulation oscillator and its lock to the host's tempo and position.
#include <atomic>
#include <cmath>

#include "effect/Veltrane.h"

namespace {
// One sequence per process, shared by every instance's audio thread.
std::atomic<int32_t> gSampleHoldValue{1};
}  // namespace

int32_t NextSampleHoldValue() {
  int32_t current = gSampleHoldValue.load(std::memory_order_relaxed);
  int32_t next;
  do {
    next = static_cast<int32_t>(static_cast<uint32_t>(current) * 16807u);
  } while (!gSampleHoldValue.compare_exchange_weak(current, next, std::memory_order_relaxed));
  return next;
}

namespace {

// One subtraction per tick, as long as the increment is below a cycle. A
// host's absurd tempo can make it larger, or infinite: the phase then wraps
// whole, and a phase that is no number starts again at 0.
void WrapPhase(double& phase) {
  phase -= 1.0;
  if (phase >= 1.0) phase = std::isfinite(phase) ? phase - std::floor(phase) : 0.0;
  if (!(phase >= 0.0)) phase = 0.0;
}

}  // namespace

void Veltrane::TickLfo() {
  lfo.phase = lfo.phase + lfo.increment;
  if (!(lfo.phase == lfo.phase)) lfo.phase = 0.0;
  if (lfo.waveform == 5) {
    if (lfo.phase >= 1.0) {
      WrapPhase(lfo.phase);
      lfo.heldValue = NextSampleHoldValue() * 4.656612873077393e-10;
    }
    lfo.output = lfo.heldValue;
    return;
  }
  if (lfo.phase >= 1.0) WrapPhase(lfo.phase);
  const double p = lfo.phase;
  switch (lfo.waveform) {
    case 1: lfo.output = p < 0.5 ? 2.0 * p : 2.0 * (1.0 - p); break;
    case 2: lfo.output = p < 0.5 ? 1.0 : 0.0; break;
    case 3: lfo.output = 1.0 - p; break;
    case 4: lfo.output = p; break;
    default: lfo.output = 0.0; break;
  }
}

void Veltrane::SyncLfoToHost() {
  TransportInfo info;
  ReadTransport(&info);
  double t = std::round(info.tempo * 1000.0) * 0.001;
  if (!(t > 0.0) || !std::isfinite(t)) t = 120.0;
  const int index = lfo.syncIndex < 0 ? 0 : lfo.syncIndex >= kNumSyncDivisions ? kNumSyncDivisions - 1 : lfo.syncIndex;
  const double d = kSyncDivisionLength[index];
  lfo.increment = t / (d * 15.0 * lfo.ticksPerSecond);
  if (info.transportRunning) {
    const double q = info.ppqPosition * 4.0 / d;
    lfo.phase = std::isfinite(q) ? q - std::floor(q) : 0.0;
  }
  if (info.transportRunning != transportWasPlaying) {
    transportWasPlaying = info.transportRunning;
    if (info.transportRunning) {
      lfo.phase = 0.0;
      lfo.output = 0.0;
    }
  }
}
