// The library's exported entry points for VST 2.4 hosts.
#include "plugin/vst2/IPlugVST.h"

#if defined(_WIN32)
#define VELTRANE_EXPORT
#else
#define VELTRANE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" VELTRANE_EXPORT AEffect* VSTCALLBACK VSTPluginMain(audioMasterCallback hostCallback) {
  const HostConnection host{hostCallback};
  IPlugVST* plug = CreateInstance<IPlugVST>(&host);
  if (plug == nullptr) return nullptr;
  AEffect* effect = plug->EffectRecord();
  if (effect->numPrograms < 1) effect->numPrograms = 1;
  return effect;
}

// The legacy entry: the callback and the record travel as pointer-wide
// integers. The .def file (Windows) and the symbol name (elsewhere) export it
// as "main"; its own name keeps the compiler from treating it as a program's.
extern "C" VELTRANE_EXPORT VstIntPtr VSTCALLBACK VeltraneLegacyMain(VstIntPtr hostCallback)
#if !defined(_WIN32)
    __asm__("main")
#endif
    ;

extern "C" VstIntPtr VSTCALLBACK VeltraneLegacyMain(VstIntPtr hostCallback) {
  return reinterpret_cast<VstIntPtr>(VSTPluginMain(reinterpret_cast<audioMasterCallback>(hostCallback)));
}
