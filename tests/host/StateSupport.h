// Writing and reading state chunks byte by byte, independently of the
// plug-in: the version header, the three layouts of the effect's record,
// banks of presets, and the program chunk the plug-in hands out.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
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

// Presets from `at` on: `count` of them, or to the end with 0. Where they
// end, or nothing if they do not parse.
inline std::optional<size_t> ParsePresets(const Bytes& b, size_t at, size_t count, std::vector<ParsedPreset>& out) {
  while (count == 0 ? at < b.size() : out.size() < count) {
    ParsedPreset p;
    if (at + 5 > b.size()) return std::nullopt;
    const int32_t n = IntAt(b, at);
    if (n < 0 || at + 4 + n + 1 > b.size()) return std::nullopt;
    p.name.assign(b.begin() + at + 4, b.begin() + at + 4 + n);
    at += 4 + n;
    p.initialised = b[at++] != 0;
    if (p.initialised) {
      const size_t t = kTag201.size();
      if (at + t + 8 > b.size() || std::string(b.begin() + at, b.begin() + at + t) != kTag201) return std::nullopt;
      const int32_t m = IntAt(b, at + t + 4);
      at += t + 8;
      if (m < 0 || at + m + 120 > b.size()) return std::nullopt;
      at += m;
      for (int i = 0; i < 15; ++i, at += 8) p.values[i] = DoubleAt(b, at);
    }
    out.push_back(p);
  }
  return at;
}

inline std::vector<ParsedPreset> ParseBank(const Bytes& b) {
  std::vector<ParsedPreset> presets;
  if (b.size() < 8 || IntAt(b, 0) != 0x70666674 || IntAt(b, 4) != 0x00010000) return {};
  return ParsePresets(b, 8, 0, presets) ? presets : std::vector<ParsedPreset>{};
}

// A session as the formats that keep the whole plug-in save it: its own
// header, the current program's number, the 32 programs as a bank holds
// them, and the current values' record.
constexpr int32_t kSessionVersion = 0x00010001;

struct ParsedSession {
  int32_t current = -1;
  std::vector<ParsedPreset> presets;
  ParsedProgram record;  // no name after it
};

inline std::optional<ParsedSession> ParseSession(const Bytes& b) {
  if (b.size() < 12 || IntAt(b, 0) != 0x70666674 || IntAt(b, 4) != kSessionVersion) return std::nullopt;
  ParsedSession s;
  s.current = IntAt(b, 8);
  const std::optional<size_t> end = ParsePresets(b, 12, 32, s.presets);
  if (!end) return std::nullopt;
  // The record, as a program chunk without a name parses it.
  const Bytes program = ChunkWriter().Header().Raw(Bytes(b.begin() + *end, b.end())).String("").bytes;
  const std::optional<ParsedProgram> record = ParseProgram(program);
  if (!record) return std::nullopt;
  s.record = *record;
  return s;
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

// The session another format saves of a plug-in in the VST 2.4 build's
// state: made of that build's bank and program chunks.
inline Bytes SessionLike(PluginInstance& vst2) {
  const Bytes bank = vst2.GetChunk(false);
  const Bytes program = vst2.GetChunk(true);
  const std::optional<ParsedProgram> p = ParseProgram(program);
  EXPECT_TRUE(p.has_value());
  ChunkWriter w;
  w.Int(0x70666674).Int(kSessionVersion).Int(static_cast<int32_t>(CurrentProgram(vst2)));
  w.Raw(Bytes(bank.begin() + 8, bank.end()));
  w.Raw(Bytes(program.begin() + 8, program.end() - 4 - static_cast<long>(p ? p->name.size() : 0)));
  return w.bytes;
}

// A session handed to the VST 2.4 build, which takes it whatever it was
// asked for: the build must save it back to the same bytes, so every
// format that saves it agrees with every other. The instance, for more
// comparisons.
inline std::unique_ptr<PluginInstance> Vst2WithSession(const Bytes& session) {
  auto vst2 = PluginInstance::Create(SharedModule());
  if (!vst2) return vst2;
  vst2->Open();
  EXPECT_EQ(vst2->SetChunk(session, true), 1) << "the VST 2.4 build refused the session";
  EXPECT_EQ(SessionLike(*vst2), session) << "the VST 2.4 build holds another state";
  return vst2;
}

// A bank of the factory programs with every n-th renamed and set apart:
// what a random host loads to move names and values.
template <typename Random>
Bytes RenamedBank(PluginInstance& vst2, Random& random) {
  const std::vector<ParsedPreset> presets = ParseBank(vst2.GetChunk(false));
  std::vector<BankEntry> entries;
  for (size_t i = 0; i < presets.size(); ++i) {
    Values v = presets[i].values;
    std::string name = presets[i].name;
    if (random() % 4 == 0) {
      name = "Mine " + std::to_string(random() % 1000);
      v[1] = 0.25 + (random() % 100) / 64.0;  // Volume L
    }
    entries.push_back({name, true, Record201(v, static_cast<int32_t>(i), name)});
  }
  return Bank(entries);
}

// Settings unlike any factory program, every value exact in binary.
inline Values DistinctValues() {
  return {0, 2.25, 0.375, 0.125, 0.875, 0, 1, 3, -0.625, 0.25, 0.9375, -0.1875, 4, 0.0625, 1};
}

}  // namespace testhost
