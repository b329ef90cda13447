// The signal rendered when the user gives no input file: a few seconds of
// steady tones, a short melody and a drum-like pattern, so that a shift is
// easy to hear and to see in a spectrogram.
#pragma once

#include <vector>

namespace render {

constexpr double kDemoSeconds = 6.0;
constexpr double kDemoTempo = 120.0;  // the pattern's beats per minute

// Interleaved stereo, peak 0.7; the same samples on every run.
std::vector<double> MakeDemoSignal(double sampleRate);

}  // namespace render
