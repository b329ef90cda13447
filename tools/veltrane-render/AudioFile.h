// Audio files through libsndfile, and the names users give their formats.
#pragma once

#include <sndfile.h>

#include <string>
#include <vector>

namespace render {

// Frames arrive interleaved, as doubles in -1..1 for full scale.
class AudioSource {
 public:
  virtual ~AudioSource() = default;
  virtual int Channels() const = 0;
  virtual double SampleRate() const = 0;
  // -1 when the length is not known in advance.
  virtual long long Frames() const = 0;
  // Reads up to frames frames; returns how many arrived (0 at the end), or
  // -1 on a read error.
  virtual long long Read(double* interleaved, long long frames) = 0;
};

class SndfileSource : public AudioSource {
 public:
  SndfileSource() = default;
  ~SndfileSource() override;
  SndfileSource(const SndfileSource&) = delete;
  SndfileSource& operator=(const SndfileSource&) = delete;

  bool Open(const std::string& path, std::string& error);
  int Channels() const override { return mInfo.channels; }
  double SampleRate() const override { return mInfo.samplerate; }
  long long Frames() const override;
  long long Read(double* interleaved, long long frames) override;
  // The libsndfile format word (major format | subtype).
  int Format() const { return mInfo.format; }
  std::string LastError() const;

 private:
  SNDFILE* mFile = nullptr;
  SF_INFO mInfo{};
};

// Audio made in memory (the demo signal).
class MemorySource : public AudioSource {
 public:
  MemorySource(std::vector<double> interleaved, int channels, double sampleRate)
      : mData(std::move(interleaved)), mChannels(channels), mSampleRate(sampleRate) {}
  int Channels() const override { return mChannels; }
  double SampleRate() const override { return mSampleRate; }
  long long Frames() const override { return static_cast<long long>(mData.size()) / mChannels; }
  long long Read(double* interleaved, long long frames) override;

 private:
  std::vector<double> mData;
  int mChannels;
  double mSampleRate;
  size_t mAt = 0;
};

class SndfileSink {
 public:
  SndfileSink() = default;
  ~SndfileSink();
  SndfileSink(const SndfileSink&) = delete;
  SndfileSink& operator=(const SndfileSink&) = delete;

  bool Open(const std::string& path, int format, int channels, int sampleRate, std::string& error);
  bool Write(const double* interleaved, long long frames, std::string& error);
  bool Close(std::string& error);

 private:
  SNDFILE* mFile = nullptr;
  int mChannels = 0;
};

// Names for --format and --subtype; false for an unknown name.
bool ParseFormatName(const std::string& name, int& majorFormat);
bool ParseSubtypeName(const std::string& name, int& subtype);
// The major format a file name's extension suggests; false if none.
bool FormatFromExtension(const std::string& path, int& majorFormat);
// The usual extension of a major format, without the dot.
std::string ExtensionOf(int majorFormat);
std::string FormatName(int majorFormat);
std::string SubtypeName(int subtype);
std::string FormatNameList();
std::string SubtypeNameList();
// Whether libsndfile can write this format word with these channels and rate.
bool FormatWritable(int format, int channels, int sampleRate);
// The subtype to use when the user named none: the input's if the format
// takes it, else the format's natural one.
int DefaultSubtype(int majorFormat, int inputSubtype, int channels, int sampleRate);

}  // namespace render
