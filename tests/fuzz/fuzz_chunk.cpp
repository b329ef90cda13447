// libFuzzer target: arbitrary bytes handed to effSetChunk, as a bank
// (index 0) and as a program (index 1), by an ordinary host and by a
// chunk-quirk host. Whatever arrives, the answer is 0 or 1, every preset
// name stays a terminated text of at most 255 characters, and the state the
// plug-in hands out afterwards is whole: it reads back with answer 1.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "effect/Veltrane.h"
#include "plugin/vst2/vst24.h"

namespace {

VstIntPtr VSTCALLBACK OrdinaryHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

VstIntPtr VSTCALLBACK QuirkHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
  if (opcode == audioMasterGetVendorString && ptr != nullptr) {
    std::strcpy(static_cast<char*>(ptr), "Native Instruments");
    return 1;
  }
  return opcode == audioMasterVersion ? 2400 : 0;
}

// One instance per host kind for the whole run, set up as VSTPluginMain and
// a host would.
AEffect* Instance(audioMasterCallback callback) {
  const HostConnection host{callback};
  Veltrane* plug = new Veltrane(&host);
  plug->FillEmptyPresets(plug->NumPresets());
  AEffect* e = plug->EffectRecord();
  e->dispatcher(e, effOpen, 0, 0, nullptr, 0.0f);
  e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, 44100.0f);
  e->dispatcher(e, effSetBlockSize, 0, 64, nullptr, 0.0f);
  e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
  return e;
}

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

void NamesAreWhole(AEffect* e) {
  const IPlugVST* plug = static_cast<const IPlugVST*>(e->object);
  for (int i = 0; i < plug->NumPresets(); ++i) Check(strnlen(plug->PresetName(i), 256) <= 255);
}

// The plug-in's own chunk of each kind must be taken back whole.
void StateStaysSerialisable(AEffect* e) {
  for (VstInt32 index : {0, 1}) {
    void* data = nullptr;
    const VstIntPtr size = e->dispatcher(e, effGetChunk, index, 0, &data, 0.0f);
    Check(size > 0 && data != nullptr);
    std::vector<uint8_t> copy(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    Check(e->dispatcher(e, effSetChunk, index, size, copy.data(), 0.0f) == 1);
  }
}

void Feed(AEffect* e, const uint8_t* bytes, size_t size) {
  // A private copy, exactly the given length, so the sanitizer sees any
  // read past it.
  for (VstInt32 index : {0, 1}) {
    std::vector<uint8_t> copy(bytes, bytes + size);
    const VstIntPtr answer =
        e->dispatcher(e, effSetChunk, index, static_cast<VstIntPtr>(size), copy.empty() ? nullptr : copy.data(), 0.0f);
    Check(answer == 0 || answer == 1);
    NamesAreWhole(e);
  }
  float in[2][64] = {}, out[2][64] = {};
  float* inputs[2] = {in[0], in[1]};
  float* outputs[2] = {out[0], out[1]};
  e->processReplacing(e, inputs, outputs, 64);
  StateStaysSerialisable(e);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static AEffect* ordinary = Instance(&OrdinaryHost);
  static AEffect* quirk = Instance(&QuirkHost);
  Feed(ordinary, data, size);
  Feed(quirk, data, size);
  return 0;
}
