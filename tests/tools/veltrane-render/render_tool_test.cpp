// The veltrane-render command line, run as a user runs it: exit codes,
// messages, and what a rendered file sounds like (its strongest frequency).
#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* const kTool = VELTRANE_RENDER_PATH;
const char* const kPlugin = VELTRANE_PLUGIN_PATH;
// In a cross build the tool is started the way CTest starts this test: the
// emulator first (the kernel here cannot run the tool's machine code).
#if defined(VELTRANE_RENDER_EMULATOR)
const char* const kEmulator = VELTRANE_RENDER_EMULATOR;
#else
const char* const kEmulator = nullptr;
#endif
constexpr double kPi = 3.141592653589793;

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

class RenderToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/veltrane-render-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    mDir = pattern;
  }

  void TearDown() override {
    if (mDir.empty()) return;
    const std::string command = "rm -rf '" + mDir + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }

  std::string Path(const std::string& name) const { return mDir + "/" + name; }

  // Runs the tool with args; standard output and error go to files so that
  // neither can fill a pipe.
  Result Run(const std::vector<std::string>& args) {
    const std::string outPath = Path("stdout.txt");
    const std::string errPath = Path("stderr.txt");
    const pid_t child = fork();
    if (child == 0) {
      const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out < 0 || err < 0) _exit(127);
      dup2(out, 1);
      dup2(err, 2);
      std::vector<char*> argv;
      if (kEmulator != nullptr) argv.push_back(const_cast<char*>(kEmulator));
      argv.push_back(const_cast<char*>(kTool));
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    Result result;
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) result.status = WEXITSTATUS(status);
    result.out = ReadAll(outPath);
    result.err = ReadAll(errPath);
    return result;
  }

  void WriteSine(const std::string& path, double frequency, double seconds, int rate) {
    SF_INFO info{};
    info.channels = 1;
    info.samplerate = rate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<double> samples(static_cast<size_t>(seconds * rate));
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = 0.5 * std::sin(2.0 * kPi * frequency * i / rate);
    EXPECT_EQ(sf_writef_double(file, samples.data(), static_cast<sf_count_t>(samples.size())),
              static_cast<sf_count_t>(samples.size()));
    sf_close(file);
  }

  std::string mDir;
};

// Reads a file back: one vector per channel.
std::vector<std::vector<double>> ReadChannels(const std::string& path, int* rate) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  std::vector<std::vector<double>> channels;
  if (file == nullptr) return channels;
  std::vector<double> frames(static_cast<size_t>(info.frames) * info.channels);
  const sf_count_t got = sf_readf_double(file, frames.data(), info.frames);
  sf_close(file);
  channels.assign(static_cast<size_t>(info.channels), std::vector<double>(static_cast<size_t>(got)));
  for (sf_count_t i = 0; i < got; ++i) {
    for (int c = 0; c < info.channels; ++c)
      channels[static_cast<size_t>(c)][static_cast<size_t>(i)] = frames[static_cast<size_t>(i * info.channels + c)];
  }
  *rate = info.samplerate;
  return channels;
}

// Power of one frequency in a Hann-windowed stretch (Goertzel).
double PowerAt(const std::vector<double>& x, size_t start, size_t length, double frequency, int rate) {
  const double w = 2.0 * kPi * frequency / rate;
  const double k = 2.0 * std::cos(w);
  double s1 = 0.0, s2 = 0.0;
  for (size_t n = 0; n < length; ++n) {
    const double hann = 0.5 - 0.5 * std::cos(2.0 * kPi * n / length);
    const double s = x[start + n] * hann + k * s1 - s2;
    s2 = s1;
    s1 = s;
  }
  return s1 * s1 + s2 * s2 - k * s1 * s2;
}

// The strongest frequency from 20 Hz to 5 kHz, to 1 Hz.
double StrongestFrequency(const std::vector<double>& x, int rate, double* power) {
  const size_t start = static_cast<size_t>(rate / 10);  // past the filters' start
  const size_t length = 16384;
  double best = 0.0, bestPower = -1.0;
  for (double f = 20.0; f <= 5000.0; f += 10.0) {
    const double p = PowerAt(x, start, length, f, rate);
    if (p > bestPower) {
      bestPower = p;
      best = f;
    }
  }
  for (double f = best - 10.0; f <= best + 10.0; f += 1.0) {
    const double p = PowerAt(x, start, length, f, rate);
    if (p > bestPower) {
      bestPower = p;
      best = f;
    }
  }
  *power = bestPower;
  return best;
}

std::vector<std::string> ShiftSettings() {
  return {"--plugin", kPlugin, "--program", "Init",
          "--set", "Link L+R=Off", "--set", "LFO Waveform=Off", "--set", "Freq Range=500",
          "--set", "Freq Max L=0.707102", "--set", "Freq Max R=0.707102", "--set", "Mix L=1", "--set", "Mix R=1"};
}

TEST_F(RenderToolTest, HelpExitsZeroAndDescribesTheOptions) {
  const Result r = Run({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Usage: veltrane-render"), std::string::npos);
  EXPECT_NE(r.out.find("--set"), std::string::npos);
  EXPECT_NE(r.out.find("--spectrogram"), std::string::npos);
}

TEST_F(RenderToolTest, UnknownOptionIsAUsageError) {
  const Result r = Run({"--no-such-option"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--no-such-option"), std::string::npos) << r.err;
}

TEST_F(RenderToolTest, BadOptionValueIsAUsageError) {
  EXPECT_EQ(Run({"--block-size", "zero"}).status, 2);
  EXPECT_EQ(Run({"--tempo", "-5"}).status, 2);
  EXPECT_EQ(Run({"--format", "wma"}).status, 2);
}

TEST_F(RenderToolTest, ListParamsNamesFifteenParameters) {
  const Result r = Run({"--plugin", kPlugin, "--list-params"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::istringstream lines(r.out);
  std::string line;
  int rows = 0;
  while (std::getline(lines, line)) {
    int index = -1;
    if (std::sscanf(line.c_str(), "%d", &index) == 1 && index == rows) ++rows;
  }
  EXPECT_EQ(rows, 15) << r.out;
  for (const char* name : {"Link L+R", "Volume L", "Mix R", "Mode L", "Freq Range", "Freq Max L", "LFO Waveform",
                           "LFO Rate", "Sync to Host"})
    EXPECT_NE(r.out.find(name), std::string::npos) << name;
}

TEST_F(RenderToolTest, ListProgramsNamesThirtyTwoPrograms) {
  const Result r = Run({"--plugin", kPlugin, "--list-programs"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 32) << r.out;
  EXPECT_NE(r.out.find("Init"), std::string::npos);
}

TEST_F(RenderToolTest, MissingInputFileFailsWithAMessage) {
  const std::string missing = Path("no-such-file.wav");
  const Result r = Run({"--plugin", kPlugin, missing, Path("out.wav")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("not found"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(missing), std::string::npos) << r.err;
}

TEST_F(RenderToolTest, UnknownParameterListsTheValidNames) {
  const Result r = Run({"--plugin", kPlugin, "--set", "Frequency=3", "--list-params"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Frequency"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("\"Freq Max L\""), std::string::npos) << r.err;
}

TEST_F(RenderToolTest, ValueTheParameterDoesNotTakeIsAUsageError) {
  Result r = Run({"--plugin", kPlugin, "--set", "LFO Waveform=Sawtooth", "--list-params"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Triangle"), std::string::npos) << r.err;  // the valid values are named
  r = Run({"--plugin", kPlugin, "--set", "Mix L=lots", "--list-params"});
  EXPECT_EQ(r.status, 2) << r.err;
  r = Run({"--plugin", kPlugin, "--set", "Mix L=1.5n", "--list-params"});
  EXPECT_EQ(r.status, 2) << r.err;
}

TEST_F(RenderToolTest, SettingsByTextAndNormalisedValueReachThePlugin) {
  const Result r = Run({"--plugin", kPlugin, "--set", "Freq Range=5000", "--set", "LFO Waveform=Square", "--set",
                        "Mix L=0n", "--list-params"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Freq Range      5000"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("LFO Waveform    Square"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Mix L           Dry"), std::string::npos) << r.out;
}

void ExpectShiftedTo1250(const std::string& path) {
  int rate = 0;
  const std::vector<std::vector<double>> channels = ReadChannels(path, &rate);
  ASSERT_EQ(channels.size(), 2u);
  ASSERT_EQ(rate, 44100);
  ASSERT_EQ(channels[0].size(), 44100u);
  for (const std::vector<double>& x : channels) {
    double power = 0.0;
    EXPECT_NEAR(StrongestFrequency(x, rate, &power), 1250.0, 1.0);
    // The input's own frequency is gone, not merely weaker.
    const double start = rate / 10;
    EXPECT_LT(PowerAt(x, static_cast<size_t>(start), 16384, 1000.0, rate), power * 1e-4);
  }
}

TEST_F(RenderToolTest, SineAt1kHzShiftedBy250HzPeaksAt1250Hz) {
  const std::string input = Path("sine.wav");
  const std::string output = Path("shifted.wav");
  WriteSine(input, 1000.0, 1.0, 44100);
  std::vector<std::string> args = ShiftSettings();
  args.push_back(input);
  args.push_back(output);
  const Result r = Run(args);
  ASSERT_EQ(r.status, 0) << r.err;
  ExpectShiftedTo1250(output);
}

TEST_F(RenderToolTest, DoublePrecisionPathShiftsTheSame) {
  const std::string input = Path("sine.wav");
  const std::string output = Path("shifted.flac");
  WriteSine(input, 1000.0, 1.0, 44100);
  std::vector<std::string> args = ShiftSettings();
  for (const char* a : {"--double", "--block-size", "100", "--subtype", "pcm24"}) args.push_back(a);
  args.push_back(input);
  args.push_back(output);
  const Result r = Run(args);
  ASSERT_EQ(r.status, 0) << r.err;
  SF_INFO info{};
  SNDFILE* file = sf_open(output.c_str(), SFM_READ, &info);
  ASSERT_NE(file, nullptr);
  sf_close(file);
  EXPECT_EQ(info.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
  ExpectShiftedTo1250(output);
}

TEST_F(RenderToolTest, DemoWithSpectrogramWritesAPng) {
  const std::string output = Path("demo.wav");
  const std::string picture = Path("demo.png");
  const Result r = Run({"--plugin", kPlugin, "--set", "Sync to Host=On", "--tempo", "120", "--play", "-o", output,
                        "--spectrogram", picture});
  ASSERT_EQ(r.status, 0) << r.err;
  int rate = 0;
  const std::vector<std::vector<double>> channels = ReadChannels(output, &rate);
  ASSERT_EQ(channels.size(), 2u);
  EXPECT_EQ(channels[0].size(), static_cast<size_t>(6 * rate));
  const std::string png = ReadAll(picture);
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
}

TEST_F(RenderToolTest, PluginThatDoesNotLoadFails) {
  const std::string bogus = Path("bogus.so");
  std::ofstream(bogus) << "not a library";
  const Result r = Run({"--plugin", bogus, "--list-params"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot load"), std::string::npos) << r.err;
}

}  // namespace
