// Writing and reading state chunks byte by byte, independently of the
// plug-in: the version header, the three layouts of the effect's record,
// banks of presets, and the program chunk the plug-in hands out.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "tests/host/HostTestSupport.h"

namespace testhost {

using Bytes = std::vector<uint8_t>;
using Values = std::array<double, 15>;

const std::string kTag201 = "Quorvel Veltrane_2.0.1";
const std::string kTag200 = "Quorvel Veltrane_2.0.0";

// Little-endian, unaligned, as the published layouts say.
class ChunkWriter {
 public:
  ChunkWriter& Int(int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(u >> (8 * i)));
    return *this;
  }
  ChunkWriter& Double(double v) {
    uint64_t u;
    std::memcpy(&u, &v, sizeof u);
    for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<uint8_t>(u >> (8 * i)));
    return *this;
  }
  ChunkWriter& Bool(bool v) {
    bytes.push_back(v ? 1 : 0);
    return *this;
  }
  ChunkWriter& Raw(const std::string& s) {
    bytes.insert(bytes.end(), s.begin(), s.end());
    return *this;
  }
  ChunkWriter& Raw(const Bytes& b) {
    bytes.insert(bytes.end(), b.begin(), b.end());
    return *this;
  }
  ChunkWriter& String(const std::string& s) { return Int(static_cast<int32_t>(s.size())).Raw(s); }
  ChunkWriter& Header() { return Int(0x70666674).Int(0x00010000); }

  Bytes bytes;
};

inline Bytes Record201(const Values& v, int32_t presetIndex = 0, const std::string& presetName = "") {
  ChunkWriter w;
  w.Raw(kTag201).Int(presetIndex).String(presetName);
  for (double x : v) w.Double(x);
  return w.bytes;
}

inline Bytes Record200(const Values& v) {
  ChunkWriter w;
  w.Raw(kTag200);
  for (double x : v) w.Double(x);
  return w.bytes;
}

// The untagged layout: parameters 0 to 13 only.
inline Bytes RecordUntagged(const Values& v) {
  ChunkWriter w;
  for (int i = 0; i < 14; ++i) w.Double(v[i]);
  return w.bytes;
}

// A program chunk: header, record, name.
inline Bytes ProgramChunk(const Bytes& record, const std::string& name) {
  return ChunkWriter().Header().Raw(record).String(name).bytes;
}

struct BankEntry {
  std::string name;
  bool initialised = true;
  Bytes state;  // only written when initialised
};

inline Bytes Bank(const std::vector<BankEntry>& entries) {
  ChunkWriter w;
  w.Header();
  for (const BankEntry& e : entries) {
    w.String(e.name).Bool(e.initialised);
    if (e.initialised) w.Raw(e.state);
  }
  return w.bytes;
}

inline int32_t IntAt(const Bytes& b, size_t at) {
  uint32_t u = 0;
  for (int i = 3; i >= 0; --i) u = (u << 8) | b.at(at + i);
  return static_cast<int32_t>(u);
}

inline double DoubleAt(const Bytes& b, size_t at) {
  uint64_t u = 0;
  for (int i = 7; i >= 0; --i) u = (u << 8) | b.at(at + i);
  double v;
  std::memcpy(&v, &u, sizeof v);
  return v;
}

// A program chunk as the plug-in writes it, taken apart.
struct ParsedProgram {
  int32_t presetIndex = 0;
  std::string recordName;  // the record's copy of the current preset's name
  Values values{};
  std::string name;  // the name after the record
};

inline std::optional<ParsedProgram> ParseProgram(const Bytes& b) {
  const size_t t = kTag201.size();
  if (b.size() < 8 + t + 8 || IntAt(b, 0) != 0x70666674 || IntAt(b, 4) != 0x00010000) return std::nullopt;
  if (std::string(b.begin() + 8, b.begin() + 8 + t) != kTag201) return std::nullopt;
  ParsedProgram p;
  size_t at = 8 + t;
  p.presetIndex = IntAt(b, at);
  const int32_t n = IntAt(b, at + 4);
  at += 8;
  if (n < 0 || at + n + 120 + 4 > b.size()) return std::nullopt;
  p.recordName.assign(b.begin() + at, b.begin() + at + n);
  at += n;
  for (int i = 0; i < 15; ++i, at += 8) p.values[i] = DoubleAt(b, at);
  const int32_t m = IntAt(b, at);
  at += 4;
  if (m < 0 || at + m != b.size()) return std::nullopt;
  p.name.assign(b.begin() + at, b.end());
  return p;
}

// The presets of a bank as the plug-in writes it (every state in the
// current layout), taken apart; empty if the bytes do not parse.
struct ParsedPreset {
  std::string name;
  bool initialised = false;
  Values values{};
};

inline std::vector<ParsedPreset> ParseBank(const Bytes& b) {
  std::vector<ParsedPreset> presets;
  if (b.size() < 8 || IntAt(b, 0) != 0x70666674 || IntAt(b, 4) != 0x00010000) return {};
  size_t at = 8;
  while (at < b.size()) {
    ParsedPreset p;
    if (at + 5 > b.size()) return {};
    const int32_t n = IntAt(b, at);
    if (n < 0 || at + 4 + n + 1 > b.size()) return {};
    p.name.assign(b.begin() + at + 4, b.begin() + at + 4 + n);
    at += 4 + n;
    p.initialised = b[at++] != 0;
    if (p.initialised) {
      const size_t t = kTag201.size();
      if (at + t + 8 > b.size() || std::string(b.begin() + at, b.begin() + at + t) != kTag201) return {};
      const int32_t m = IntAt(b, at + t + 4);
      at += t + 8;
      if (m < 0 || at + m + 120 > b.size()) return {};
      at += m;
      for (int i = 0; i < 15; ++i, at += 8) p.values[i] = DoubleAt(b, at);
    }
    presets.push_back(p);
  }
  return presets;
}

// The fifteen values the plug-in holds, exactly, through its program chunk.
inline Values ValuesOf(PluginInstance& plugin) {
  const std::optional<ParsedProgram> p = ParseProgram(plugin.GetChunk(true));
  EXPECT_TRUE(p.has_value()) << "the program chunk does not parse";
  return p ? p->values : Values{};
}

inline std::vector<std::string> ProgramNames(PluginInstance& plugin) {
  std::vector<std::string> names;
  for (VstInt32 i = 0; i < 32; ++i) names.push_back(plugin.ProgramNameIndexed(i));
  return names;
}

inline VstIntPtr CurrentProgram(PluginInstance& plugin) { return plugin.Dispatch(effGetProgram); }

// Settings unlike any factory program, every value exact in binary.
inline Values DistinctValues() {
  return {0, 2.25, 0.375, 0.125, 0.875, 0, 1, 3, -0.625, 0.25, 0.9375, -0.1875, 4, 0.0625, 1};
}

}  // namespace testhost
