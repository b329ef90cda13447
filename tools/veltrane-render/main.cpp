// veltrane-render: renders audio through a VST 2.4 plug-in binary.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "tools/veltrane-render/AudioFile.h"
#include "tools/veltrane-render/DemoSignal.h"
#include "VeltraneVersion.h"
#include "tools/veltrane-render/PluginHost.h"
#include "tools/veltrane-render/PluginModule.h"
#include "tools/veltrane-render/RenderOptions.h"
#include "tools/veltrane-render/FrequencyPlot.h"

namespace render {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr const char* kProgram = "veltrane-render";
constexpr const char* kVersionText = "veltrane-render " VELTRANE_VERSION_STRING;
constexpr double kProgressAfterSeconds = 3.0;

// Failures carry their exit status up to main.
struct Outcome {
  int status = kExitOk;
  std::string message;
  static Outcome Ok() { return Outcome(); }
  static Outcome Fail(int status, std::string message) {
    Outcome o;
    o.status = status;
    o.message = std::move(message);
    return o;
  }
  bool Failed() const { return status != kExitOk; }
};

bool FileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// The plug-in of the build tree (next to this program, or a level or two
// up), of an unpacked release (bin/ beside vst/), or where the release's
// install.sh puts it (~/.vst, /usr/lib/vst).
std::vector<std::string> DefaultPluginCandidates() {
  const std::string folder = vhost::ExecutableFolder();
  std::vector<std::string> candidates;
  if (!folder.empty()) {
    for (const char* relative :
         {"Veltrane.so", "../Veltrane.so", "../../Veltrane.so", "../vst/Veltrane.so", "../lib/vst/Veltrane.so"})
      candidates.push_back(folder + relative);
  }
  if (const char* home = std::getenv("HOME")) candidates.push_back(std::string(home) + "/.vst/Veltrane.so");
  candidates.push_back("/usr/lib/vst/Veltrane.so");
  return candidates;
}

std::string DefaultOutputName(const RenderOptions& options, int majorFormat) {
  if (options.input.empty()) return "veltrane-demo." + ExtensionOf(majorFormat);
  std::string stem = options.input;
  const size_t slash = stem.find_last_of('/');
  const size_t dot = stem.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) stem = stem.substr(0, dot);
  return stem + "-veltrane." + ExtensionOf(majorFormat);
}

std::string FormatSeconds(double seconds) {
  char text[32];
  if (seconds < 60.0) {
    std::snprintf(text, sizeof text, "%.1f s", seconds);
  } else {
    const int whole = static_cast<int>(seconds);
    std::snprintf(text, sizeof text, "%d:%02d", whole / 60, whole % 60);
  }
  return text;
}

class ProgressBar {
 public:
  ProgressBar(bool enabled, long long total, double sampleRate)
      : mEnabled(enabled && total > 0), mTotal(total), mSampleRate(sampleRate) {}

  void Update(long long done) {
    if (!mEnabled) return;
    const auto now = std::chrono::steady_clock::now();
    const int permille = static_cast<int>(done * 1000 / mTotal);
    if (permille == mShown || (now - mLast < std::chrono::milliseconds(80) && done < mTotal)) return;
    mShown = permille;
    mLast = now;
    const int width = 40;
    const int filled = static_cast<int>(done * width / mTotal);
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(width - filled), '.');
    // Fixed widths: a shorter line must cover the previous one entirely.
    std::fprintf(stderr, "\r[%s] %3d%%  %7s / %-7s", bar.c_str(), permille / 10,
                 FormatSeconds(done / mSampleRate).c_str(), FormatSeconds(mTotal / mSampleRate).c_str());
    std::fflush(stderr);
    mDrawn = true;
  }

  void Finish() {
    if (mDrawn) std::fprintf(stderr, "\n");
    mDrawn = false;
  }

 private:
  bool mEnabled;
  long long mTotal;
  double mSampleRate;
  int mShown = -1;
  bool mDrawn = false;
  std::chrono::steady_clock::time_point mLast{};
};

// The texts a parameter shows across its range, found on a scratch instance
// so the one that renders is never disturbed (changing "Link L+R" copies
// other parameters). Only few distinct texts mean an enumerated parameter.
std::vector<std::string> ValueNames(const std::string& pluginPath, int index, double sampleRate) {
  std::vector<std::string> names;
  vhost::PluginHost scratch;
  std::string error;
  if (!scratch.Load(pluginPath, error)) return names;
  scratch.Open(sampleRate, 512);
  const int steps = 240;
  for (int s = 0; s <= steps; ++s) {
    scratch.SetParameter(index, static_cast<float>(s) / steps);
    const std::string text = vhost::Trim(scratch.ParamDisplay(index));
    if (std::find(names.begin(), names.end(), text) == names.end()) names.push_back(text);
    if (names.size() > 16) return std::vector<std::string>();
  }
  return names;
}

std::string Joined(const std::vector<std::string>& items, const char* separator) {
  std::string text;
  for (size_t i = 0; i < items.size(); ++i) text += (i == 0 ? "" : separator) + items[i];
  return text;
}

std::string ParamNameList(vhost::PluginHost& host) {
  std::vector<std::string> names;
  for (int i = 0; i < host.NumParams(); ++i) names.push_back("\"" + host.ParamName(i) + "\"");
  return Joined(names, ", ");
}

// "0.5 Hz", "-3dB": a number with a unit after it, which plug-ins read.
bool StartsWithNumber(const std::string& text) {
  size_t at = 0;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
  if (at < text.size() && text[at] == '.') ++at;
  return at < text.size() && text[at] >= '0' && text[at] <= '9';
}

int FindParamByNameOrNumber(vhost::PluginHost& host, const std::string& key) {
  const int found = host.FindParam(key);
  if (found >= 0) return found;
  double number = 0.0;
  if (vhost::ParseNumber(key, number) && number == std::floor(number) && number >= 0 && number < host.NumParams())
    return static_cast<int>(number);
  return -1;
}

// Sets one --set; `shown` gets the setting as the plug-in shows it
// ("LFO Rate = 0.50 Hz").
Outcome ApplySetting(vhost::PluginHost& host, const std::string& pluginPath, double sampleRate,
                     const std::string& setting, bool quiet, std::string* shown) {
  std::string key, text;
  vhost::SplitAssignment(setting, key, text);
  const int index = FindParamByNameOrNumber(host, key);
  if (index < 0) {
    return Outcome::Fail(kExitUsage,
                         "unknown parameter \"" + key + "\"; the plug-in's parameters are: " + ParamNameList(host));
  }
  const std::string name = host.ParamName(index);
  if (text.empty()) return Outcome::Fail(kExitUsage, "no value given for \"" + name + "\"");

  double number = 0.0;
  const char last = text.back();
  if ((last == 'n' || last == 'N') && vhost::ParseNumber(text.substr(0, text.size() - 1), number)) {
    if (number < 0.0 || number > 1.0) {
      return Outcome::Fail(kExitUsage, "normalised value for \"" + name + "\" must lie in 0..1 (got " + text + ")");
    }
    host.SetParameter(index, static_cast<float>(number));
  } else {
    const bool numeric = vhost::ParseNumber(text, number);
    const float before = host.GetParameter(index);
    bool taken = host.SetParameterText(index, text);
    if (taken && !numeric && !StartsWithNumber(text)) {
      // A plug-in may read the leading number of any text: a word that is
      // not one of the parameter's value names must not pass as 0.
      taken = vhost::EqualsIgnoringCase(vhost::Trim(host.ParamDisplay(index)), text);
    }
    if (!taken) {
      // Value names are matched exactly by the plug-in; accept other case.
      const std::vector<std::string> names = ValueNames(pluginPath, index, sampleRate);
      for (const std::string& candidate : names) {
        if (vhost::EqualsIgnoringCase(candidate, text) && host.SetParameterText(index, candidate)) {
          taken = true;
          break;
        }
      }
      // An enumerated parameter also takes the number of its value.
      if (!taken && numeric && number == std::floor(number) && number >= 0 &&
          number < static_cast<double>(names.size())) {
        taken = host.SetParameterText(index, names[static_cast<size_t>(number)]);
      }
      if (!taken) {
        host.SetParameter(index, before);
        std::string message = "\"" + name + "\" does not take the value \"" + text + "\"";
        if (!names.empty())
          message += "; its values are: " + Joined(names, ", ") + " (or their numbers 0.." +
                     std::to_string(names.size() - 1) + ")";
        else
          message += "; give a number in its range, or a 0..1 value with a trailing n (e.g. 0.5n)";
        return Outcome::Fail(kExitUsage, message);
      }
    }
  }
  const std::string label = host.ParamLabel(index);
  *shown = name + " = " + host.ParamDisplay(index) + (label.empty() ? "" : " " + label);
  if (!quiet) std::fprintf(stderr, "%s: %s (%.6f)\n", kProgram, shown->c_str(), host.GetParameter(index));
  return Outcome::Ok();
}

Outcome ApplyProgram(vhost::PluginHost& host, const std::string& program) {
  const int count = host.NumPrograms();
  double number = 0.0;
  int index = -1;
  if (vhost::ParseNumber(program, number)) {
    if (number != std::floor(number) || number < 0 || number >= count) {
      return Outcome::Fail(kExitUsage, "program number " + program + " is out of range: the plug-in has " +
                                           std::to_string(count) + " programs, 0 to " + std::to_string(count - 1));
    }
    index = static_cast<int>(number);
  } else {
    for (int pass = 0; pass < 2 && index < 0; ++pass) {
      for (int i = 0; i < count; ++i) {
        const std::string name = host.ProgramName(i);
        if (pass == 0 ? name == program : vhost::EqualsIgnoringCase(vhost::Trim(name), program)) {
          index = i;
          break;
        }
      }
    }
    if (index < 0) {
      return Outcome::Fail(kExitUsage, "no program is named \"" + program + "\" (see --list-programs)");
    }
  }
  host.SetProgram(index);
  return Outcome::Ok();
}

void ListParams(vhost::PluginHost& host, const std::string& pluginPath, double sampleRate) {
  std::printf("%-3s  %-14s  %-12s  %-10s  %s\n", "#", "name", "value", "normalised", "values");
  for (int i = 0; i < host.NumParams(); ++i) {
    std::string value = host.ParamDisplay(i);
    const std::string label = host.ParamLabel(i);
    if (!label.empty()) value += " " + label;
    const std::vector<std::string> names = ValueNames(pluginPath, i, sampleRate);
    std::printf("%3d  %-14s  %-12s  %-10.6f  %s\n", i, host.ParamName(i).c_str(), value.c_str(), host.GetParameter(i),
                Joined(names, "|").c_str());
  }
}

void ListPrograms(vhost::PluginHost& host) {
  const int current = host.CurrentProgram();
  for (int i = 0; i < host.NumPrograms(); ++i)
    std::printf("%3d%s %s\n", i, i == current ? "*" : " ", host.ProgramName(i).c_str());
}

// The settings as the log shows them, not as they were typed.
std::string Caption(const RenderOptions& options, const std::vector<std::string>& shownSettings) {
  std::vector<std::string> parts;
  if (!options.program.empty()) parts.push_back("PROGRAM " + options.program);
  for (const std::string& s : shownSettings) parts.push_back(s);
  if (options.play) parts.push_back("PLAYING AT " + std::to_string(static_cast<int>(options.tempo + 0.5)) + " BPM");
  return Joined(parts, "  ");
}

Outcome Run(const RenderOptions& options) {
  // The plug-in.
  std::string pluginPath = options.plugin;
  if (pluginPath.empty()) {
    const std::vector<std::string> candidates = DefaultPluginCandidates();
    for (const std::string& candidate : candidates) {
      if (FileExists(candidate)) {
        pluginPath = candidate;
        break;
      }
    }
    if (pluginPath.empty()) {
      return Outcome::Fail(kExitFailure, "no plug-in given and none found next to this program (looked for " +
                                             Joined(candidates, ", ") + "); use --plugin PATH");
    }
  } else if (!FileExists(pluginPath)) {
    return Outcome::Fail(kExitFailure, "plug-in not found: " + pluginPath);
  }

  // The input: a file, or the demo signal.
  std::unique_ptr<AudioSource> source;
  int inputFormat = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
  const bool listing = options.listParams || options.listPrograms;
  if (!options.input.empty()) {
    if (!FileExists(options.input)) return Outcome::Fail(kExitFailure, "input file not found: " + options.input);
    auto file = std::make_unique<SndfileSource>();
    std::string error;
    if (!file->Open(options.input, error)) return Outcome::Fail(kExitFailure, error);
    inputFormat = file->Format();
    source = std::move(file);
  } else if (!listing) {
    source = std::make_unique<MemorySource>(MakeDemoSignal(options.sampleRate), 2, options.sampleRate);
  }
  const double sampleRate = source ? source->SampleRate() : options.sampleRate;

  vhost::PluginHost host;
  std::string error;
  if (!host.Load(pluginPath, error)) return Outcome::Fail(kExitFailure, error);
  host.Open(sampleRate, options.blockSize);

  if (!options.program.empty()) {
    const Outcome outcome = ApplyProgram(host, options.program);
    if (outcome.Failed()) return outcome;
  }
  std::vector<std::string> shownSettings;
  for (const std::string& setting : options.settings) {
    shownSettings.emplace_back();
    const Outcome outcome =
        ApplySetting(host, pluginPath, sampleRate, setting, options.quiet || listing, &shownSettings.back());
    if (outcome.Failed()) return outcome;
  }
  if (listing) {
    if (options.listParams) ListParams(host, pluginPath, sampleRate);
    if (options.listPrograms) ListPrograms(host);
    return Outcome::Ok();
  }

  const int inputs = host.NumInputs();
  const int outputs = host.NumOutputs();
  if (outputs < 1) return Outcome::Fail(kExitFailure, "the plug-in has no outputs");
  if (options.useDouble && !host.CanDoubleReplacing())
    return Outcome::Fail(kExitFailure, "the plug-in does not offer processDoubleReplacing (leave out --double)");
  if (!options.useDouble && host.Effect()->processReplacing == nullptr)
    return Outcome::Fail(kExitFailure, "the plug-in does not offer processReplacing (try --double)");
  const int fileChannels = source->Channels();
  if (fileChannels > std::max(inputs, 1) && !options.quiet) {
    std::fprintf(stderr, "%s: the input has %d channels; only the first %d are rendered\n", kProgram, fileChannels,
                 inputs);
  }

  // The output file and its format.
  int major = inputFormat & SF_FORMAT_TYPEMASK;
  std::string outputPath = options.output;
  if (!options.format.empty()) {
    ParseFormatName(options.format, major);
  } else if (!outputPath.empty()) {
    FormatFromExtension(outputPath, major);
  } else if (options.input.empty()) {
    major = SF_FORMAT_WAV;
  }
  if (outputPath.empty()) outputPath = DefaultOutputName(options, major);
  if (!options.input.empty() && SameFile(options.input, outputPath))
    return Outcome::Fail(kExitUsage, "the output would overwrite the input " + options.input);
  const int rate = static_cast<int>(std::lround(sampleRate));
  int subtype = 0;
  if (!options.subtype.empty()) {
    ParseSubtypeName(options.subtype, subtype);
  } else {
    subtype = DefaultSubtype(major, inputFormat & SF_FORMAT_SUBMASK, outputs, rate);
  }
  if (!FormatWritable(major | subtype, outputs, rate)) {
    return Outcome::Fail(kExitUsage, "cannot write " + FormatName(major) + " with subtype " + SubtypeName(subtype) +
                                         " (" + std::to_string(outputs) + " channels, " + std::to_string(rate) +
                                         " Hz); choose another --format or --subtype");
  }
  SndfileSink sink;
  if (!sink.Open(outputPath, major | subtype, outputs, rate, error)) return Outcome::Fail(kExitFailure, error);

  const long long total = source->Frames();
  std::unique_ptr<Spectrogram> spectrogram;
  if (!options.spectrogram.empty()) {
    if (total <= 0)
      return Outcome::Fail(kExitFailure, "a spectrogram needs an input of known length; " + options.input + " has none");
    spectrogram = std::make_unique<Spectrogram>(sampleRate, total, fileChannels == 1);
  }

  const bool progressWanted =
      options.progress == ProgressMode::kOn ||
      (options.progress == ProgressMode::kAuto && !options.quiet && isatty(STDERR_FILENO) &&
       total > static_cast<long long>(kProgressAfterSeconds * sampleRate));
  ProgressBar progress(progressWanted, total, sampleRate);

  vhost::Transport transport;
  transport.tempo = options.tempo;
  transport.playing = options.play;
  host.SetTransport(transport);

  // Buffers: interleaved file frames, and one plane per plug-in channel.
  const int block = options.blockSize;
  const size_t planeCount = static_cast<size_t>(std::max(inputs, 1));
  std::vector<double> fileFrames(static_cast<size_t>(block) * fileChannels);
  std::vector<double> outFrames(static_cast<size_t>(block) * outputs);
  std::vector<std::vector<float>> inF, outF;
  std::vector<std::vector<double>> inD, outD;
  std::vector<float*> inFP, outFP;
  std::vector<double*> inDP, outDP;
  if (options.useDouble) {
    inD.assign(planeCount, std::vector<double>(static_cast<size_t>(block)));
    outD.assign(static_cast<size_t>(outputs), std::vector<double>(static_cast<size_t>(block)));
    for (auto& v : inD) inDP.push_back(v.data());
    for (auto& v : outD) outDP.push_back(v.data());
  } else {
    inF.assign(planeCount, std::vector<float>(static_cast<size_t>(block)));
    outF.assign(static_cast<size_t>(outputs), std::vector<float>(static_cast<size_t>(block)));
    for (auto& v : inF) inFP.push_back(v.data());
    for (auto& v : outF) outFP.push_back(v.data());
  }

  const auto started = std::chrono::steady_clock::now();
  host.Start();
  long long done = 0;
  double peak = 0.0;
  bool failed = false;
  std::string failure;
  for (;;) {
    const long long got = source->Read(fileFrames.data(), block);
    if (got < 0) {
      failed = true;
      failure = "reading " + options.input + " failed";
      break;
    }
    if (got == 0) break;
    const int n = static_cast<int>(got);
    // Input planes: a mono file feeds every input, extra inputs stay silent.
    for (size_t c = 0; c < planeCount; ++c) {
      const int from = fileChannels == 1 ? 0 : static_cast<int>(c);
      for (int i = 0; i < n; ++i) {
        const double v = from < fileChannels ? fileFrames[static_cast<size_t>(i) * fileChannels + from] : 0.0;
        if (options.useDouble)
          inD[c][static_cast<size_t>(i)] = v;
        else
          inF[c][static_cast<size_t>(i)] = static_cast<float>(v);
      }
    }
    if (options.useDouble)
      host.ProcessDouble(inDP.data(), outDP.data(), n);
    else
      host.ProcessFloat(inFP.data(), outFP.data(), n);
    for (int c = 0; c < outputs; ++c) {
      for (int i = 0; i < n; ++i) {
        const double v = options.useDouble ? outD[static_cast<size_t>(c)][static_cast<size_t>(i)]
                                           : static_cast<double>(outF[static_cast<size_t>(c)][static_cast<size_t>(i)]);
        outFrames[static_cast<size_t>(i) * outputs + c] = v;
        peak = std::max(peak, std::fabs(v));
      }
    }
    if (spectrogram) {
      spectrogram->PushInput(0, fileFrames.data(), n, fileChannels);
      spectrogram->PushInput(1, fileFrames.data() + (fileChannels > 1 ? 1 : 0), n, fileChannels);
      spectrogram->PushOutput(0, outFrames.data(), n, outputs);
      spectrogram->PushOutput(1, outFrames.data() + (outputs > 1 ? 1 : 0), n, outputs);
    }
    if (!sink.Write(outFrames.data(), n, error)) {
      failed = true;
      failure = outputPath + ": " + error;
      break;
    }
    done += n;
    progress.Update(done);
  }
  host.Stop();
  progress.Finish();
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const std::string effectName = host.EffectName();
  const long timeRequests = host.TimeRequests();
  host.Close();
  if (!sink.Close(error) && !failed) {
    failed = true;
    failure = outputPath + ": " + error;
  }
  if (failed) {
    // A cut-off file would pass for a finished render.
    std::remove(outputPath.c_str());
    return Outcome::Fail(kExitFailure, failure);
  }

  if (spectrogram) {
    SpectrogramPicture picture;
    picture.axis = options.axis;
    picture.caption = Caption(options, shownSettings);
    if (!spectrogram->Write(options.spectrogram, picture, error)) return Outcome::Fail(kExitFailure, error);
  }

  if (!options.quiet) {
    const double seconds = done / sampleRate;
    std::fprintf(stderr, "%s: %s of %s through %s (%s, blocks of %d%s) in %.2f s\n", kProgram,
                 FormatSeconds(seconds).c_str(), options.input.empty() ? "the demo signal" : options.input.c_str(),
                 effectName.empty() ? pluginPath.c_str() : effectName.c_str(),
                 options.useDouble ? "processDoubleReplacing" : "processReplacing", block,
                 options.play ? ", transport playing" : "", elapsed);
    if (options.play && timeRequests == 0)
      std::fprintf(stderr, "%s: note: the plug-in never asked for the transport (is \"Sync to Host\" on?)\n", kProgram);
    const double peakDb = peak > 0.0 ? 20.0 * std::log10(peak) : -999.0;
    std::fprintf(stderr, "%s: wrote %s (%s, %s, %d Hz, %d channels), peak %.1f dBFS\n", kProgram, outputPath.c_str(),
                 FormatName(major).c_str(), SubtypeName(subtype).c_str(), rate, outputs, peakDb);
    if (peak > 1.0 && subtype != SF_FORMAT_FLOAT && subtype != SF_FORMAT_DOUBLE)
      std::fprintf(stderr, "%s: warning: the output exceeds full scale and was clipped; lower \"Volume\" or use "
                           "--subtype float\n", kProgram);
    if (spectrogram) std::fprintf(stderr, "%s: wrote %s\n", kProgram, options.spectrogram.c_str());
  }
  return Outcome::Ok();
}

}  // namespace

int Main(int argc, char** argv) {
  RenderOptions options;
  std::string error;
  if (!ParseRenderOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram, error.c_str(), kProgram);
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(RenderUsage().c_str(), stdout);
    return kExitOk;
  }
  if (options.version) {
    std::printf("%s\n", kVersionText);
    return kExitOk;
  }
  const Outcome outcome = Run(options);
  if (outcome.Failed()) {
    std::fprintf(stderr, "%s: %s\n", kProgram, outcome.message.c_str());
    if (outcome.status == kExitUsage) std::fprintf(stderr, "Try '%s --help' for more information.\n", kProgram);
  }
  return outcome.status;
}

}  // namespace render

int main(int argc, char** argv) {
  try {
    return render::Main(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "veltrane-render: out of memory\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "veltrane-render: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "veltrane-render: unexpected failure\n");
  }
  return 1;
}
