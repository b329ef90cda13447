// Declared channel configurations and the per-channel records that bind the
// host's buffers for one block.
#pragma once

#include <vector>

#include "plugin/GrowableText.h"

struct ChannelIOPair {
  int numInputs = 0;
  int numOutputs = 0;
};

struct InputChannel {
  bool connected = false;
  double** slot = nullptr;       // this channel's entry of the input pointer array
  std::vector<double> scratch;   // one block; silence for unconnected channels
  std::vector<double> dry;       // one block: the input as it came, while bypass crossfades
  GrowableText label;
};

struct OutputChannel {
  bool connected = false;
  double** slot = nullptr;       // this channel's entry of the output pointer array
  float* hostDestination = nullptr;
  std::vector<double> scratch;
  GrowableText label;
};
