// The command line of veltrane-render.
#pragma once

#include <string>
#include <vector>

#include "tools/veltrane-render/FrequencyPlot.h"

namespace render {

enum class ProgressMode { kAuto, kOn, kOff };

struct RenderOptions {
  std::string input;   // empty: the demo signal
  std::string output;  // empty: derived from the input's name
  std::string plugin;  // empty: Veltrane.so found next to the executable
  std::vector<std::string> settings;  // "NAME=VALUE", in the order given
  std::string program;                // number or name; empty: none
  bool listParams = false;
  bool listPrograms = false;
  bool help = false;
  bool version = false;
  int blockSize = 512;
  double sampleRate = 44100.0;
  bool sampleRateGiven = false;
  bool useDouble = false;
  double tempo = 120.0;
  bool play = false;
  std::string format;
  std::string subtype;
  std::string spectrogram;
  FrequencyAxis axis = FrequencyAxis::kLog;
  ProgressMode progress = ProgressMode::kAuto;
  bool quiet = false;
};

constexpr int kMaxBlockSize = 65536;

// False with a message for the user when the command line is not valid.
bool ParseRenderOptions(int argc, char** argv, RenderOptions& options, std::string& error);

std::string RenderUsage();

}  // namespace render
