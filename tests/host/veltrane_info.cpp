// veltrane-info PLUGIN: loads a VST 2.4 plug-in the way a host does and prints
// its effect record, its parameters and its programs.
#include <cstdio>
#include <cstring>
#include <string>

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

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : testhost::PluginPath();
  if (path.empty() || path == "-h" || path == "--help") {
    std::fprintf(stderr, "usage: %s PLUGIN (or set VELTRANE_PLUGIN)\n", argv[0]);
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
