// Writes the Turtle files of the LV2 bundle (manifest.ttl, veltrane.ttl,
// presets.ttl) from the effect itself: it makes an audio instance as a host
// would and reads its parameters, meters, ports, version and factory
// programs, so every fact in the files is the one the binary holds.
//
//   make_lv2_bundle BUNDLE_DIR BINARY_FILE_NAME
#include <cmath>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "plugin/lv2/IPlugLV2.h"

namespace {

const std::string kUri = kLv2PluginUri;

const char* const kPrefixes =
    "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix owl: <http://www.w3.org/2002/07/owl#> .\n"
    "@prefix patch: <http://lv2plug.in/ns/ext/patch#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix rsz: <http://lv2plug.in/ns/ext/resize-port#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix time: <http://lv2plug.in/ns/ext/time#> .\n"
    "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n"
    "@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .\n\n";

// Atom buffers hold the largest program message with room to spare.
const int kAtomBufferBytes = 2 * kLv2MessageBytes;

std::string PresetUri(int index) { return kUri + "/preset/" + std::to_string(index); }

// A port symbol from a name: lower case letters, digits and single
// underscores ("Link L+R" -> "link_l_r").
std::string SymbolOf(const char* name) {
  std::string symbol;
  for (const char* c = name; *c != '\0'; ++c) {
    const char ch = *c;
    if ((ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9')) {
      symbol += ch;
    } else if (ch >= 'A' && ch <= 'Z') {
      symbol += static_cast<char>(ch - 'A' + 'a');
    } else if (!symbol.empty() && symbol.back() != '_') {
      symbol += '_';
    }
  }
  while (!symbol.empty() && symbol.back() == '_') symbol.pop_back();
  if (symbol.empty() || (symbol[0] >= '0' && symbol[0] <= '9')) symbol = "_" + symbol;
  return symbol;
}

std::string Quoted(const char* text) {
  std::string out = "\"";
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c == '"' || *c == '\\') out += '\\';
    out += *c;
  }
  return out + "\"";
}

// A decimal literal that reads back as exactly this float (hosts keep port
// values as floats); whole numbers of an integer port stay integers.
std::string Number(double v, bool integer) {
  if (integer) return std::to_string(static_cast<long long>(std::floor(v + 0.5)));
  char text[64];
  const std::to_chars_result r = std::to_chars(text, text + sizeof text - 1, static_cast<float>(v),
                                               std::chars_format::fixed);
  *r.ptr = '\0';
  std::string out = text;
  if (out.find('.') == std::string::npos) out += ".0";
  return out;
}

std::string Base64(const unsigned char* bytes, int size) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (int i = 0; i < size; i += 3) {
    const int n = size - i < 3 ? size - i : 3;
    uint32_t group = static_cast<uint32_t>(bytes[i]) << 16;
    if (n > 1) group |= static_cast<uint32_t>(bytes[i + 1]) << 8;
    if (n > 2) group |= bytes[i + 2];
    out += kDigits[(group >> 18) & 63];
    out += kDigits[(group >> 12) & 63];
    out += n > 1 ? kDigits[(group >> 6) & 63] : '=';
    out += n > 2 ? kDigits[group & 63] : '=';
  }
  return out;
}

bool WriteFile(const std::string& path, const std::string& text) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "make_lv2_bundle: cannot write %s\n", path.c_str());
    return false;
  }
  const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && ok;
}

// A text that names a value rather than saying a number ("Dry", "-inf dB").
bool IsName(const char* text) {
  for (const char* c = text; *c != '\0'; ++c)
    if (*c >= '0' && *c <= '9') return false;
  return true;
}

// The unit of a quantity: LV2's own where it has one, else ours, which
// hosts render with its format ("25% wet").
std::string UnitOf(const char* unit) {
  if (std::strcmp(unit, "dB") == 0) return "units:db";
  if (std::strcmp(unit, "Hz") == 0) return "units:hz";
  std::string render = "%.0f";
  for (const char* c = unit; *c != '\0'; ++c) render += *c == '%' ? std::string("%%") : std::string(1, *c);
  return "[\n            a units:Unit ;\n            rdfs:label " + Quoted(unit) + " ;\n            units:symbol " +
         Quoted(unit) + " ;\n            units:render " + Quoted(render.c_str()) + "\n        ]";
}

std::string ControlPort(IPlugLV2& plug, const ParamRecord& param, int index) {
  const bool integer = param.type != kTypeDouble;
  const double by = plug.QuantityBy(param);
  double minimum, maximum;
  IPlugLV2::PortRange(param, &minimum, &maximum);
  std::string t = "[\n        a lv2:InputPort , lv2:ControlPort ;\n";
  t += "        lv2:index " + std::to_string(index) + " ;\n";
  t += "        lv2:symbol \"" + SymbolOf(param.name) + "\" ;\n";
  t += "        lv2:name " + Quoted(param.name) + " ;\n";
  // A fresh instance is program 0: the ports start at its values.
  t += "        lv2:default " + Number(IPlugLV2::PortNumber(param, param.value, by), integer) + " ;\n";
  t += "        lv2:minimum " + Number(minimum, integer) + " ;\n";
  t += "        lv2:maximum " + Number(maximum, integer);
  if (param.quantity != nullptr) t += " ;\n        units:unit " + UnitOf(param.quantity->unit);
  char text[kParamTextSize];
  std::string points;
  auto point = [&](double value) {
    param.FormatForHost(value, text);
    points += std::string(points.empty() ? " ;\n        lv2:scalePoint " : " , ") + "[ rdfs:label " + Quoted(text) +
              " ; rdf:value " + Number(IPlugLV2::PortNumber(param, value, by), integer) + " ]";
  };
  if (integer) {
    t += IPlugLV2::IsToggle(param) ? " ;\n        lv2:portProperty lv2:integer , lv2:toggled"
                                   : " ;\n        lv2:portProperty lv2:integer , lv2:enumeration";
    for (const ValueText& entry : param.valueTexts) point(entry.value);
  } else {
    // The ends of a range that have names: silence, "Dry" and "Wet".
    for (double end : {param.minimum, param.maximum}) {
      param.FormatForHost(end, text);
      if (IsName(text)) point(end);
    }
  }
  return t + points + "\n    ]";
}

std::string PortBlock(const char* kinds, int index, const std::string& symbol, const char* name,
                      const std::string& rest) {
  std::string t = "[\n        a " + std::string(kinds) + " ;\n";
  t += "        lv2:index " + std::to_string(index) + " ;\n";
  t += "        lv2:symbol \"" + symbol + "\" ;\n";
  t += "        lv2:name " + Quoted(name);
  return t + rest + "\n    ]";
}

// "00 Weird Stereo Phasing": hosts that sort presets by label list them in
// program order, numbered as the editor numbers them.
std::string PresetLabel(IPlugLV2& plug, int index) {
  char number[16];
  std::snprintf(number, sizeof number, "%02d ", index);
  return number + std::string(plug.PresetName(index));
}

// An editor's description: its type and binary, what it needs of the host,
// and the ports whose values it follows (the meters, the audio instance's
// program reports on notify) besides the controls.
std::string EditorTurtle(IPlugLV2& plug, const char* uri, const char* type, const std::string& binary,
                         const char* required) {
  const Lv2PortLayout p = plug.Ports();
  std::string t = "<" + std::string(uri) + ">\n";
  t += "    a " + std::string(type) + " ;\n";
  t += "    lv2:binary <" + binary + "> ;\n";
  t += "    lv2:requiredFeature " + std::string(required) + " ;\n";
  t += "    lv2:optionalFeature ui:resize , ui:touch , ui:noUserResize , urid:map , opts:options ;\n";
  t += "    opts:supportedOption ui:scaleFactor ;\n";
  t += "    lv2:extensionData ui:idleInterface ;\n";
  t += "    ui:portNotification [\n        ui:plugin <" + kUri +
       "> ;\n        lv2:symbol \"notify\" ;\n        ui:protocol atom:eventTransfer\n    ]";
  for (int m = 0; m < p.meters; ++m)
    t += " , [\n        ui:plugin <" + kUri + "> ;\n        lv2:symbol \"" + SymbolOf(plug.MeterAt(m).name) +
         "\" ;\n        ui:protocol ui:floatProtocol\n    ]";
  t += " .\n\n";
  return t;
}

// `container`: the binary of the editor for GTK 3 hosts, or empty.
std::string PluginTurtle(IPlugLV2& plug, const std::string& binary, const std::string& container) {
  const Lv2PortLayout p = plug.Ports();
  const int32_t version = plug.Version();
  std::string t = kPrefixes;
  t += "<" + kUri + ">\n";
  t += "    a lv2:Plugin , lv2:ModulatorPlugin , doap:Project ;\n";
  t += "    doap:name " + Quoted(plug.EffectName()) + " ;\n";
  t += "    doap:maintainer [\n        foaf:name " + Quoted(plug.MakerName()) +
       " ;\n        foaf:homepage <http://www.quorvel.com/>\n    ] ;\n";
  t += "    lv2:minorVersion " + std::to_string((version >> 8) & 0xFF) + " ;\n";
  t += "    lv2:microVersion " + std::to_string(version & 0xFF) + " ;\n";
  t += "    lv2:optionalFeature lv2:hardRTCapable , urid:map , opts:options ;\n";
  t += "    lv2:extensionData state:interface ;\n";
  t += "    ui:ui <" + std::string(kLv2EditorUri) + ">";
  if (!container.empty()) t += " , <" + std::string(kLv2ContainerUri) + ">";
  t += " ;\n    lv2:port ";
  for (int i = 0; i < p.params; ++i) t += (i > 0 ? " , " : "") + ControlPort(plug, *plug.ParamAt(i), i);
  for (int m = 0; m < p.meters; ++m) {
    const MeterInfo info = plug.MeterAt(m);
    t += " , " + PortBlock("lv2:OutputPort , lv2:ControlPort", p.firstMeter + m, SymbolOf(info.name), info.name,
                           " ;\n        lv2:minimum " + Number(info.minimum, false) + " ;\n        lv2:maximum " +
                               Number(info.maximum, false) + " ;\n        lv2:portProperty lv2:connectionOptional");
  }
  const char* const sides[2] = {"L", "R"};
  for (int c = 0; c < p.audioIns; ++c) {
    const std::string side = c < 2 ? sides[c] : std::to_string(c + 1);
    t += " , " + PortBlock("lv2:InputPort , lv2:AudioPort", p.firstAudioIn + c, "in_" + SymbolOf(side.c_str()),
                           ("In " + side).c_str(), "");
  }
  for (int c = 0; c < p.audioOuts; ++c) {
    const std::string side = c < 2 ? sides[c] : std::to_string(c + 1);
    t += " , " + PortBlock("lv2:OutputPort , lv2:AudioPort", p.firstAudioOut + c, "out_" + SymbolOf(side.c_str()),
                           ("Out " + side).c_str(), "");
  }
  const std::string atom = " ;\n        atom:bufferType atom:Sequence ;\n        lv2:designation lv2:control ;\n"
                           "        lv2:portProperty lv2:connectionOptional ;\n        rsz:minimumSize " +
                           std::to_string(kAtomBufferBytes);
  t += " , " + PortBlock("lv2:InputPort , atom:AtomPort", p.control, "control", "Control",
                         atom + " ;\n        atom:supports time:Position , patch:Message");
  t += " , " + PortBlock("lv2:OutputPort , atom:AtomPort", p.notify, "notify", "Notify",
                         atom + " ;\n        atom:supports patch:Message");
  t += " .\n\n";

  // The editor: an X11 child of the host's window; for GTK 3 hosts, the
  // same inside a GTK widget, whose name sorts first: hosts such as
  // Audacity take the first editor they can show.
  t += EditorTurtle(plug, kLv2EditorUri, "ui:X11UI", binary, "ui:idleInterface , ui:parent");
  if (!container.empty()) t += EditorTurtle(plug, kLv2ContainerUri, "ui:Gtk3UI", container, "ui:idleInterface");

  // The names of the state and the message between the two instances.
  t += "<" + std::string(kLv2ProgramKey) + ">\n    a rdf:Property , owl:DatatypeProperty ;\n";
  t += "    rdfs:label \"current program\" ;\n";
  t += "    rdfs:comment \"The index of the current program in the plug-in's list of programs.\" ;\n";
  t += "    rdfs:range xsd:int .\n\n";
  t += "<" + std::string(kLv2ChunkKey) + ">\n    a rdf:Property , owl:DatatypeProperty ;\n";
  t += "    rdfs:label \"program chunk\" ;\n";
  t += "    rdfs:comment \"The current program as the plug-in's chunk: version header, state record, name.\" ;\n";
  t += "    rdfs:range xsd:base64Binary .\n\n";
  t += "<" + std::string(kLv2ProgramMessage) + ">\n    a rdfs:Class ;\n";
  t += "    rdfs:label \"program message\" ;\n";
  t += "    rdfs:comment \"The current program, between the editor and the plug-in.\" .\n";
  return t;
}

// Each factory program: its port numbers, and as its state the program
// chunk the VST 2.4 build hands out for it, with every bit of every value,
// which stands over the numbers.
std::string PresetsTurtle(IPlugLV2& plug) {
  std::string t = kPrefixes;
  ChunkBuffer chunk;
  for (int i = 0; i < plug.NumPresets(); ++i) {
    if (!plug.LoadPreset(i) || !plug.WriteProgramChunk(chunk)) {
      std::fprintf(stderr, "make_lv2_bundle: program %d does not load\n", i);
      return "";
    }
    t += "<" + PresetUri(i) + ">\n";
    t += "    a pset:Preset ;\n";
    t += "    lv2:appliesTo <" + kUri + "> ;\n";
    t += "    rdfs:label " + Quoted(PresetLabel(plug, i).c_str()) + " ;\n";
    t += "    lv2:port ";
    for (int k = 0; k < plug.NumParams(); ++k) {
      const ParamRecord& param = *plug.ParamAt(k);
      t += std::string(k > 0 ? " , " : "") + "[\n        lv2:symbol \"" + SymbolOf(param.name) +
           "\" ;\n        pset:value " +
           // Always a float literal: hosts (Qtractor) drop preset values of other types.
           Number(IPlugLV2::PortNumber(param, param.value, plug.QuantityBy(param)), false) +
           "\n    ]";
    }
    t += " ;\n    state:state [\n";
    t += "        <" + std::string(kLv2ProgramKey) + "> \"" + std::to_string(i) + "\"^^xsd:int ;\n";
    t += "        <" + std::string(kLv2ChunkKey) + "> \"" + Base64(chunk.Data(), chunk.Size()) +
         "\"^^xsd:base64Binary\n    ] .\n\n";
  }
  return t;
}

std::string ManifestTurtle(IPlugLV2& plug, const std::string& binary, const std::string& container) {
  std::string t = kPrefixes;
  t += "<" + kUri + ">\n    a lv2:Plugin ;\n    lv2:binary <" + binary + "> ;\n    rdfs:seeAlso <veltrane.ttl> .\n\n";
  t += "<" + std::string(kLv2EditorUri) + ">\n    a ui:X11UI ;\n    lv2:binary <" + binary +
       "> ;\n    rdfs:seeAlso <veltrane.ttl> .\n";
  if (!container.empty())
    t += "\n<" + std::string(kLv2ContainerUri) + ">\n    a ui:Gtk3UI ;\n    lv2:binary <" + container +
         "> ;\n    rdfs:seeAlso <veltrane.ttl> .\n";
  for (int i = 0; i < plug.NumPresets(); ++i) {
    t += "\n<" + PresetUri(i) + ">\n    a pset:Preset ;\n    lv2:appliesTo <" + kUri + "> ;\n";
    t += "    rdfs:label " + Quoted(PresetLabel(plug, i).c_str()) + " ;\n    rdfs:seeAlso <presets.ttl> .\n";
  }
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: make_lv2_bundle BUNDLE_DIR BINARY_FILE_NAME [GTK3_EDITOR_FILE_NAME]\n");
    return 2;
  }
  const std::string folder = argv[1];
  const std::string binary = argv[2];
  const std::string container = argc == 4 ? argv[3] : "";

  HostConnection host;
  host.role = HostConnection::Role::kAudio;
  std::unique_ptr<IPlugBase> created(CreatePlugin(&host));
  if (!created) {
    std::fprintf(stderr, "make_lv2_bundle: no instance of the effect\n");
    return 1;
  }
  IPlugLV2& plug = static_cast<IPlugLV2&>(*created);
  plug.FillEmptyPresets(plug.NumPresets());
  if (!plug.LoadPreset(0)) return 1;
  const std::string manifest = ManifestTurtle(plug, binary, container);
  const std::string description = PluginTurtle(plug, binary, container);
  const std::string presets = PresetsTurtle(plug);
  if (presets.empty()) return 1;
  if (!WriteFile(folder + "/manifest.ttl", manifest) || !WriteFile(folder + "/veltrane.ttl", description) ||
      !WriteFile(folder + "/presets.ttl", presets))
    return 1;
  return 0;
}
