// veltrane-info PLUGIN [--program-values] [--bank FILE.fxb]: loads a VST 2.4
// plug-in the way a host does and prints its effect record, its parameters
// and its programs. --program-values prints every program's parameter
// values instead; --bank first spoils every program, then loads a bank file
// as a host's "load bank" does (so the listing shows what the file holds).
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/host/TestHost.h"

namespace {

std::string FourChars(VstInt32 v) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((v >> shift) & 0xFF);
    s += (c >= 32 && c < 127) ? c : '?';
  }
  return s;
}

std::string Text(testhost::PluginInstance& plugin, VstInt32 opcode, VstInt32 index = 0) {
  char text[512] = {};
  plugin.Dispatch(opcode, index, 0, text);
  return std::string(text, strnlen(text, sizeof text));
}

uint32_t BigEndian(const std::vector<unsigned char>& b, size_t at) {
  return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) | b[at + 3];
}

// A bank file of the opaque-chunk kind, handed over as a host does.
bool LoadBankFile(testhost::PluginInstance& plugin, const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (b.size() < 160 || std::memcmp(b.data(), "CcnK", 4) != 0 || std::memcmp(b.data() + 8, "FBCh", 4) != 0) {
    std::fprintf(stderr, "veltrane-info: %s is no opaque-chunk bank file\n", file.c_str());
    return false;
  }
  if (static_cast<VstInt32>(BigEndian(b, 16)) != plugin.effect()->uniqueID) {
    std::fprintf(stderr, "veltrane-info: %s is a bank of another plug-in\n", file.c_str());
    return false;
  }
  const size_t size = BigEndian(b, 156);
  if (size > b.size() - 160) {
    std::fprintf(stderr, "veltrane-info: %s is cut short\n", file.c_str());
    return false;
  }
  if (plugin.Dispatch(effSetChunk, 0, static_cast<VstIntPtr>(size), b.data() + 160) != 1) {
    std::fprintf(stderr, "veltrane-info: the plug-in refused the bank in %s\n", file.c_str());
    return false;
  }
  return true;
}

void PrintProgramValues(testhost::PluginInstance& plugin) {
  const AEffect* e = plugin.effect();
  for (VstInt32 p = 0; p < e->numPrograms; ++p) {
    plugin.Dispatch(effSetProgram, 0, p);
    std::printf("%02d %s:", p, plugin.ProgramNameIndexed(p).c_str());
    for (VstInt32 i = 0; i < e->numParams; ++i) std::printf(" %.6f", static_cast<double>(plugin.GetParameter(i)));
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string path, bank;
  bool programValues = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--program-values") {
      programValues = true;
    } else if (arg == "--bank" && i + 1 < argc) {
      bank = argv[++i];
    } else if (path.empty() && arg[0] != '-') {
      path = arg;
    } else {
      path.clear();
      break;
    }
  }
  if (path.empty() && argc == 1) path = testhost::PluginPath();
  if (path.empty()) {
    std::fprintf(stderr, "usage: %s PLUGIN [--program-values] [--bank FILE.fxb] (or set VELTRANE_PLUGIN)\n",
                 argv[0]);
    return 2;
  }
  testhost::PluginModule module(path);
  if (!module.entry()) {
    std::fprintf(stderr, "veltrane-info: %s\n", module.error().c_str());
    return 1;
  }
  auto plugin = testhost::PluginInstance::Create(module);
  if (!plugin) {
    std::fprintf(stderr, "veltrane-info: the entry point of %s returned no effect\n", path.c_str());
    return 1;
  }
  plugin->Open();
  const AEffect* e = plugin->effect();
  if (!bank.empty()) {
    for (VstInt32 p = 0; p < e->numPrograms; ++p) {
      plugin->Dispatch(effSetProgram, 0, p);
      for (VstInt32 i = 0; i < e->numParams; ++i) plugin->SetParameter(i, 0.37f);
      char spoiled[] = "spoiled";
      plugin->Dispatch(effSetProgramName, 0, 0, spoiled);
    }
    plugin->Dispatch(effSetProgram, 0, 0);
    if (!LoadBankFile(*plugin, bank)) return 1;
  }
  if (programValues) {
    PrintProgramValues(*plugin);
    return 0;
  }

  std::printf("plug-in       %s (%d-bit)\n", path.c_str(), static_cast<int>(sizeof(void*) * 8));
  std::printf("effect        %s\n", Text(*plugin, effGetEffectName).c_str());
  std::printf("vendor        %s\n", Text(*plugin, effGetVendorString).c_str());
  std::printf("product       %s\n", Text(*plugin, effGetProductString).c_str());
  std::printf("magic         '%s' 0x%08X\n", FourChars(e->magic).c_str(), static_cast<unsigned>(e->magic));
  std::printf("unique ID     '%s' 0x%08X\n", FourChars(e->uniqueID).c_str(), static_cast<unsigned>(e->uniqueID));
  std::printf("version       %d (vendor version %ld, VST %ld)\n", e->version,
              static_cast<long>(plugin->Dispatch(effGetVendorVersion)),
              static_cast<long>(plugin->Dispatch(effGetVstVersion)));
  std::printf("category      %ld\n", static_cast<long>(plugin->Dispatch(effGetPlugCategory)));
  std::printf("flags         0x%04X%s%s%s%s\n", static_cast<unsigned>(e->flags),
              (e->flags & effFlagsHasEditor) ? " editor" : "", (e->flags & effFlagsCanReplacing) ? " replacing" : "",
              (e->flags & effFlagsProgramChunks) ? " chunks" : "",
              (e->flags & effFlagsCanDoubleReplacing) ? " double" : "");
  std::printf("channels      %d in, %d out\n", e->numInputs, e->numOutputs);
  std::printf("programs      %d\n", e->numPrograms);
  std::printf("parameters    %d\n", e->numParams);
  std::printf("delay         %d frames, I/O ratio %g\n", e->initialDelay, static_cast<double>(e->ioRatio));
  ERect* rect = nullptr;
  if (plugin->Dispatch(effEditGetRect, 0, 0, &rect) && rect) {
    std::printf("editor        %d x %d\n", rect->right - rect->left, rect->bottom - rect->top);
  }

  std::printf("\n%5s  %-14s %-12s %-6s %s\n", "index", "name", "display", "label", "value");
  for (VstInt32 i = 0; i < e->numParams; ++i) {
    std::printf("%5d  %-14s %-12s %-6s %.6f\n", i, plugin->ParamName(i).c_str(), plugin->ParamDisplay(i).c_str(),
                plugin->ParamLabel(i).c_str(), static_cast<double>(plugin->GetParameter(i)));
  }

  std::printf("\nprograms (current %ld)\n", static_cast<long>(plugin->Dispatch(effGetProgram)));
  for (VstInt32 i = 0; i < e->numPrograms; ++i) {
    std::printf("%5d  %s\n", i, plugin->ProgramNameIndexed(i).c_str());
  }
  return 0;
}
