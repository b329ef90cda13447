#include "tools/veltrane-render/AudioFile.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace render {

namespace {

struct FormatEntry {
  const char* name;
  int major;
  const char* extensions;  // space-separated, the first is the usual one
};

const FormatEntry kFormats[] = {
    {"wav", SF_FORMAT_WAV, "wav wave"},   {"w64", SF_FORMAT_W64, "w64"},  {"rf64", SF_FORMAT_RF64, "rf64"},
    {"aiff", SF_FORMAT_AIFF, "aiff aif aifc"}, {"flac", SF_FORMAT_FLAC, "flac"}, {"caf", SF_FORMAT_CAF, "caf"},
    {"au", SF_FORMAT_AU, "au snd"},       {"ogg", SF_FORMAT_OGG, "ogg oga"}, {"mp3", SF_FORMAT_MPEG, "mp3"},
};

struct SubtypeEntry {
  const char* name;
  int subtype;
};

const SubtypeEntry kSubtypes[] = {
    {"pcm16", SF_FORMAT_PCM_16}, {"pcm24", SF_FORMAT_PCM_24},   {"pcm32", SF_FORMAT_PCM_32},
    {"pcm8", SF_FORMAT_PCM_S8},  {"float", SF_FORMAT_FLOAT},    {"double", SF_FORMAT_DOUBLE},
    {"vorbis", SF_FORMAT_VORBIS}, {"mp3", SF_FORMAT_MPEG_LAYER_III},
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool HasWord(const char* words, const std::string& word) {
  std::string list = std::string(" ") + words + " ";
  return list.find(" " + word + " ") != std::string::npos;
}

}  // namespace

SndfileSource::~SndfileSource() {
  if (mFile != nullptr) sf_close(mFile);
}

bool SndfileSource::Open(const std::string& path, std::string& error) {
  std::memset(&mInfo, 0, sizeof mInfo);
  mFile = sf_open(path.c_str(), SFM_READ, &mInfo);
  if (mFile == nullptr) {
    error = "cannot read " + path + ": " + sf_strerror(nullptr);
    return false;
  }
  if (mInfo.channels < 1 || mInfo.samplerate < 1) {
    error = path + ": no audio channels or no sample rate";
    sf_close(mFile);
    mFile = nullptr;
    return false;
  }
  return true;
}

long long SndfileSource::Frames() const {
  // libsndfile reports SF_COUNT_MAX when it cannot know the length.
  if (mInfo.frames <= 0 || mInfo.frames >= SF_COUNT_MAX / 2) return -1;
  return mInfo.frames;
}

long long SndfileSource::Read(double* interleaved, long long frames) {
  if (mFile == nullptr) return -1;
  const sf_count_t got = sf_readf_double(mFile, interleaved, frames);
  if (got < frames && sf_error(mFile) != SF_ERR_NO_ERROR) return -1;
  return got;
}

std::string SndfileSource::LastError() const { return sf_strerror(mFile); }

long long MemorySource::Read(double* interleaved, long long frames) {
  const size_t want = static_cast<size_t>(frames) * static_cast<size_t>(mChannels);
  const size_t count = std::min(want, mData.size() - mAt);
  std::copy(mData.begin() + static_cast<long>(mAt), mData.begin() + static_cast<long>(mAt + count), interleaved);
  mAt += count;
  return static_cast<long long>(count / static_cast<size_t>(mChannels));
}

SndfileSink::~SndfileSink() {
  if (mFile != nullptr) sf_close(mFile);
}

bool SndfileSink::Open(const std::string& path, int format, int channels, int sampleRate, std::string& error) {
  SF_INFO info;
  std::memset(&info, 0, sizeof info);
  info.channels = channels;
  info.samplerate = sampleRate;
  info.format = format;
  if (!sf_format_check(&info)) {
    error = "libsndfile cannot write " + FormatName(format & SF_FORMAT_TYPEMASK) + " with subtype " +
            SubtypeName(format & SF_FORMAT_SUBMASK) + " at " + std::to_string(sampleRate) + " Hz";
    return false;
  }
  mFile = sf_open(path.c_str(), SFM_WRITE, &info);
  if (mFile == nullptr) {
    error = "cannot write " + path + ": " + sf_strerror(nullptr);
    return false;
  }
  mChannels = channels;
  const int subtype = format & SF_FORMAT_SUBMASK;
  if (subtype != SF_FORMAT_FLOAT && subtype != SF_FORMAT_DOUBLE) {
    // Integer samples beyond full scale are clipped, not wrapped around.
    sf_command(mFile, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  }
  return true;
}

bool SndfileSink::Write(const double* interleaved, long long frames, std::string& error) {
  if (mFile == nullptr) return false;
  if (sf_writef_double(mFile, interleaved, frames) != frames) {
    error = std::string("writing failed: ") + sf_strerror(mFile);
    return false;
  }
  return true;
}

bool SndfileSink::Close(std::string& error) {
  if (mFile == nullptr) return true;
  const int result = sf_close(mFile);
  mFile = nullptr;
  if (result != 0) {
    error = std::string("closing the output failed: ") + sf_error_number(result);
    return false;
  }
  return true;
}

bool ParseFormatName(const std::string& name, int& majorFormat) {
  const std::string wanted = Lower(name);
  for (const FormatEntry& entry : kFormats) {
    if (wanted == entry.name || HasWord(entry.extensions, wanted)) {
      majorFormat = entry.major;
      return true;
    }
  }
  return false;
}

bool ParseSubtypeName(const std::string& name, int& subtype) {
  std::string wanted = Lower(name);
  if (wanted == "float32") wanted = "float";
  if (wanted == "float64") wanted = "double";
  for (const SubtypeEntry& entry : kSubtypes) {
    if (wanted == entry.name) {
      subtype = entry.subtype;
      return true;
    }
  }
  return false;
}

bool FormatFromExtension(const std::string& path, int& majorFormat) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  const std::string extension = Lower(path.substr(dot + 1));
  for (const FormatEntry& entry : kFormats) {
    if (HasWord(entry.extensions, extension)) {
      majorFormat = entry.major;
      return true;
    }
  }
  return false;
}

std::string ExtensionOf(int majorFormat) {
  for (const FormatEntry& entry : kFormats) {
    if (entry.major == majorFormat) {
      const std::string list = entry.extensions;
      return list.substr(0, list.find(' '));
    }
  }
  return "wav";
}

std::string FormatName(int majorFormat) {
  for (const FormatEntry& entry : kFormats) {
    if (entry.major == majorFormat) return entry.name;
  }
  SF_FORMAT_INFO info;
  info.format = majorFormat;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name != nullptr) return info.name;
  return "format 0x" + std::to_string(majorFormat);
}

std::string SubtypeName(int subtype) {
  for (const SubtypeEntry& entry : kSubtypes) {
    if (entry.subtype == subtype) return entry.name;
  }
  SF_FORMAT_INFO info;
  info.format = subtype;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name != nullptr) return info.name;
  return "subtype " + std::to_string(subtype);
}

std::string FormatNameList() {
  std::string list;
  for (const FormatEntry& entry : kFormats) list += (list.empty() ? "" : "|") + std::string(entry.name);
  return list;
}

std::string SubtypeNameList() {
  std::string list;
  for (const SubtypeEntry& entry : kSubtypes) list += (list.empty() ? "" : "|") + std::string(entry.name);
  return list;
}

bool FormatWritable(int format, int channels, int sampleRate) {
  SF_INFO info;
  std::memset(&info, 0, sizeof info);
  info.channels = channels;
  info.samplerate = sampleRate;
  info.format = format;
  return sf_format_check(&info) != 0;
}

int DefaultSubtype(int majorFormat, int inputSubtype, int channels, int sampleRate) {
  if (inputSubtype != 0 && FormatWritable(majorFormat | inputSubtype, channels, sampleRate)) return inputSubtype;
  // A float input keeps its headroom where the format allows it.
  if ((inputSubtype == SF_FORMAT_FLOAT || inputSubtype == SF_FORMAT_DOUBLE) &&
      FormatWritable(majorFormat | SF_FORMAT_FLOAT, channels, sampleRate)) {
    return SF_FORMAT_FLOAT;
  }
  const int preferred[] = {SF_FORMAT_PCM_24, SF_FORMAT_PCM_16, SF_FORMAT_VORBIS, SF_FORMAT_MPEG_LAYER_III,
                           SF_FORMAT_FLOAT};
  for (int subtype : preferred) {
    if (FormatWritable(majorFormat | subtype, channels, sampleRate)) return subtype;
  }
  return SF_FORMAT_PCM_16;
}

}  // namespace render
