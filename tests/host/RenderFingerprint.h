// The fixed render whose hash every build and every format reproduces:
// parameters, input and block sizes, and the committed hashes.
#pragma once

#include <cstdint>
#include <vector>

#include "tests/host/AudioReference.h"

namespace testhost {
namespace fingerprint {

// FNV-1a over the interleaved output bytes; computed once natively and
// confirmed on both Windows builds under Wine and through LV2.
const uint64_t kDoubleRenderHash = 0x966616f5904bb4c7ull;
const uint64_t kFloatRenderHash = 0x444e569c73d20473ull;

const std::vector<int> kBlocks = {256, 1, 7, 44, 512, 4096, 100, 33};
const size_t kFrames = 6 * 8192;
const int kParts = 6;

// Part `part`'s settings: every mode, a sweeping LFO, a stretch with the
// channels linked.
inline ref::Settings PartSettings(int part) {
  ref::Settings s;
  s.volume[0] = 1.75;
  s.volume[1] = 0.6;
  s.mix[0] = 0.8;
  s.mix[1] = 0.45;
  s.mode[0] = part % 3;
  s.mode[1] = (part + 1) % 3;
  s.rangeIndex = 3 - part % 4;
  s.freqMin[0] = -0.66;
  s.freqMax[0] = 0.71;
  s.freqMin[1] = 0.35;
  s.freqMax[1] = -0.9;
  s.waveform = 1 + part % 4;
  s.lfoRate = 0.45;
  s.linked = part == 2;
  return s;
}

// The input of both channels over all parts, made once.
inline const std::vector<double>& Input(int channel) {
  static const std::vector<double> channels[2] = {ref::Noise(kFrames, 2024, 0.5), ref::Noise(kFrames, 4202, 0.5)};
  return channels[channel == 0 ? 0 : 1];
}

// Both channels of the input as the host's samples: frames from .. to - 1,
// or part `part`'s frames.
template <typename Sample>
std::vector<std::vector<Sample>> InputFrames(size_t from, size_t to) {
  std::vector<std::vector<Sample>> in(2);
  for (int c = 0; c < 2; ++c) {
    const std::vector<double>& all = Input(c);
    in[c].assign(all.begin() + static_cast<long>(from), all.begin() + static_cast<long>(to));
  }
  return in;
}
template <typename Sample>
std::vector<std::vector<Sample>> PartInput(int part) {
  return InputFrames<Sample>(part * kFrames / kParts, (part + 1) * kFrames / kParts);
}

// The fixed render through one plug-in: `render(part, input)` gives part
// `part` its settings and returns its output for that input. The hash is
// over every part's output, interleaved and little-endian as in memory on
// every build.
template <typename Sample, typename Render>
uint64_t HashRender(Render render) {
  uint64_t hash = ref::Fnv1a(nullptr, 0);
  for (int part = 0; part < kParts; ++part) {
    const std::vector<std::vector<Sample>> out = render(part, PartInput<Sample>(part));
    for (size_t i = 0; i < out[0].size(); ++i) {
      hash = ref::Fnv1a(&out[0][i], sizeof(Sample), hash);
      hash = ref::Fnv1a(&out[1][i], sizeof(Sample), hash);
    }
  }
  return hash;
}

}  // namespace fingerprint
}  // namespace testhost
