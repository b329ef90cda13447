#include "tools/veltrane-render/RenderOptions.h"

#include <cmath>

#include "tools/veltrane-render/AudioFile.h"
#include "tools/veltrane-render/PluginHost.h"

namespace render {

namespace {

// Options that take a value, with their short forms.
struct ValueOption {
  const char* longName;
  char shortName;
};

const ValueOption kValueOptions[] = {
    {"output", 'o'},     {"plugin", 'p'},     {"set", 's'},         {"program", 0},   {"block-size", 'b'},
    {"sample-rate", 0},  {"tempo", 0},        {"format", 0},        {"subtype", 0},   {"spectrogram", 0},
    {"spectrogram-axis", 0},
};

const char* const kFlagOptions[] = {"help", "version", "list-params", "list-programs", "double", "play",
                                    "progress", "no-progress", "quiet"};

bool TakesValue(const std::string& name) {
  for (const ValueOption& option : kValueOptions) {
    if (name == option.longName) return true;
  }
  return false;
}

bool IsFlag(const std::string& name) {
  for (const char* flag : kFlagOptions) {
    if (name == flag) return true;
  }
  return false;
}

std::string LongNameOf(char shortName) {
  for (const ValueOption& option : kValueOptions) {
    if (option.shortName == shortName) return option.longName;
  }
  switch (shortName) {
    case 'h': return "help";
    case 'q': return "quiet";
    case 'V': return "version";
    default: return std::string();
  }
}

bool ApplyValue(const std::string& name, const std::string& value, RenderOptions& o, std::string& error) {
  double number = 0.0;
  if (name == "output") {
    o.output = value;
  } else if (name == "plugin") {
    o.plugin = value;
  } else if (name == "set") {
    std::string key, text;
    if (!vhost::SplitAssignment(value, key, text) || key.empty()) {
      error = "--set needs NAME=VALUE, for example --set \"Freq Max L=0.5\" (got \"" + value + "\")";
      return false;
    }
    o.settings.push_back(value);
  } else if (name == "program") {
    if (vhost::Trim(value).empty()) {
      error = "--program needs a number or a name";
      return false;
    }
    o.program = vhost::Trim(value);
  } else if (name == "block-size") {
    if (!vhost::ParseNumber(value, number) || number != std::floor(number) || number < 1 || number > kMaxBlockSize) {
      error = "--block-size must be a whole number from 1 to " + std::to_string(kMaxBlockSize) + " (got \"" +
              value + "\")";
      return false;
    }
    o.blockSize = static_cast<int>(number);
  } else if (name == "sample-rate") {
    if (!vhost::ParseNumber(value, number) || number != std::floor(number) || number < 1000 || number > 768000) {
      error = "--sample-rate must be a whole number of hertz from 1000 to 768000 (got \"" + value + "\")";
      return false;
    }
    o.sampleRate = number;
    o.sampleRateGiven = true;
  } else if (name == "tempo") {
    if (!vhost::ParseNumber(value, number) || number <= 0.0 || number > 999.0) {
      error = "--tempo must be a number of beats per minute above 0 and at most 999 (got \"" + value + "\")";
      return false;
    }
    o.tempo = number;
  } else if (name == "format") {
    int format = 0;
    if (!ParseFormatName(value, format)) {
      error = "unknown --format \"" + value + "\"; known formats: " + FormatNameList();
      return false;
    }
    o.format = value;
  } else if (name == "subtype") {
    int subtype = 0;
    if (!ParseSubtypeName(value, subtype)) {
      error = "unknown --subtype \"" + value + "\"; known subtypes: " + SubtypeNameList();
      return false;
    }
    o.subtype = value;
  } else if (name == "spectrogram") {
    if (value.empty()) {
      error = "--spectrogram needs a file name";
      return false;
    }
    o.spectrogram = value;
  } else if (name == "spectrogram-axis") {
    if (value == "log") {
      o.axis = FrequencyAxis::kLog;
    } else if (value == "linear") {
      o.axis = FrequencyAxis::kLinear;
    } else {
      error = "--spectrogram-axis must be log or linear (got \"" + value + "\")";
      return false;
    }
  }
  return true;
}

void ApplyFlag(const std::string& name, RenderOptions& o) {
  if (name == "help") o.help = true;
  if (name == "version") o.version = true;
  if (name == "list-params") o.listParams = true;
  if (name == "list-programs") o.listPrograms = true;
  if (name == "double") o.useDouble = true;
  if (name == "play") o.play = true;
  if (name == "progress") o.progress = ProgressMode::kOn;
  if (name == "no-progress") o.progress = ProgressMode::kOff;
  if (name == "quiet") o.quiet = true;
}

}  // namespace

bool ParseRenderOptions(int argc, char** argv, RenderOptions& options, std::string& error) {
  std::vector<std::string> positional;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name;
    std::string value;
    bool hasValue = false;
    if (arg[1] == '-') {
      name = arg.substr(2);
      const size_t equals = name.find('=');
      if (equals != std::string::npos) {
        value = name.substr(equals + 1);
        name = name.substr(0, equals);
        hasValue = true;
      }
    } else {
      name = LongNameOf(arg[1]);
      if (name.empty()) {
        error = "unknown option " + arg;
        return false;
      }
      if (arg.size() > 2) {
        if (!TakesValue(name)) {
          error = "unknown option " + arg;
          return false;
        }
        value = arg.substr(2);
        hasValue = true;
      }
    }
    if (TakesValue(name)) {
      if (!hasValue) {
        if (i + 1 >= argc) {
          error = "option " + arg + " needs a value";
          return false;
        }
        value = argv[++i];
      }
      if (!ApplyValue(name, value, options, error)) return false;
    } else if (IsFlag(name)) {
      if (hasValue) {
        error = "option --" + name + " takes no value";
        return false;
      }
      ApplyFlag(name, options);
    } else {
      error = "unknown option " + arg;
      return false;
    }
  }
  if (positional.size() > 2) {
    error = "too many file names: give an input and at most one output";
    return false;
  }
  if (!positional.empty()) options.input = positional[0];
  if (positional.size() == 2) {
    if (!options.output.empty()) {
      error = "the output is given twice (as a file name and with --output)";
      return false;
    }
    options.output = positional[1];
  }
  if (options.sampleRateGiven && !options.input.empty()) {
    error = "--sample-rate applies to the generated demo signal only; an input file keeps its own rate";
    return false;
  }
  return true;
}

std::string RenderUsage() {
  return R"(Usage: veltrane-render [OPTIONS] [INPUT [OUTPUT]]

Renders an audio file through the Veltrane frequency shifter (or any VST 2.4
plug-in binary) and writes the result. A mono input feeds both channels.
Without INPUT a 6-second demo signal (tones and a drum pattern) is rendered.

Files:
  INPUT                  audio file to read (anything libsndfile reads)
  OUTPUT, -o, --output FILE
                         file to write; default INPUT-veltrane.EXT beside the
                         input, or veltrane-demo.wav for the demo
  -p, --plugin PATH      plug-in binary; default Veltrane.so next to this
                         program (the build tree)
  --format NAME          output format: wav|w64|rf64|aiff|flac|caf|au|ogg|mp3
                         (default: from OUTPUT's extension, else the input's)
  --subtype NAME         sample format: pcm16|pcm24|pcm32|pcm8|float|double|
                         vorbis|mp3 (default: the input's where possible)

Plug-in settings (applied in this order: program, then each --set):
  --program N|NAME       load factory program N (0-based) or the one named
  -s, --set "NAME=VALUE" set a parameter by name (or by number); VALUE is
                         read by the plug-in as it reads a host's text: a
                         number in the parameter's own range ("Mix L=1",
                         "Freq Max L=0.707") or one of its value names
                         ("Freq Range=500", "LFO Waveform=Triangle").
                         A trailing n gives the host's 0..1 value instead:
                         "LFO Rate=0.5n". Repeatable.
  --list-params          print the parameters with their values and exit
  --list-programs        print the programs and exit

Rendering:
  -b, --block-size N     frames per processing call (default 512)
  --double               use processDoubleReplacing (default: processReplacing)
  --sample-rate HZ       sample rate of the demo signal (default 44100)
  --tempo BPM            tempo the host reports (default 120)
  --play                 report a running transport whose song position
                         advances with the audio (for "Sync to Host")

Output:
  --spectrogram FILE.png write spectrograms of input and output side by side
  --spectrogram-axis log|linear
                         frequency axis of the spectrogram (default log)
  --progress, --no-progress
                         progress bar on standard error (default: only on a
                         terminal and for inputs longer than 3 seconds)
  -q, --quiet            print nothing but errors
  -h, --help             show this help
  -V, --version          show the version

Exit status: 0 success, 1 failure while running (missing or unreadable file,
plug-in that does not load), 2 wrong command line (unknown option, unknown
parameter or program, value the plug-in does not take).

Examples:
  veltrane-render --set "Freq Range=500" --set "Freq Max L=0.707102" \
      --set "Freq Max R=0.707102" --set "Mix L=1" --set "Mix R=1" in.wav out.wav
  veltrane-render --program 3 --spectrogram demo.png
)";
}

}  // namespace render
