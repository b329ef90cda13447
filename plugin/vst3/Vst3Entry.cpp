// The module's exported entry points for VST3 hosts and the factory that
// describes and makes the plug-in's one class.
#include <atomic>
#include <cstring>

#include "VeltraneVersion.h"
#include "plugin/vst3/IPlugVST3.h"
#include "plugin/vst3/Vst3Text.h"

#if defined(_WIN32)
#define VELTRANE_EXPORT
#else
#define VELTRANE_EXPORT __attribute__((visibility("default")))
#endif

using namespace vst3;

namespace {

const char kVendor[] = "Quorvel";
const char kUrl[] = "http://www.quorvel.com";
const char kClassName[] = "Quorvel Veltrane";
// An effect that shifts frequencies under a modulating oscillator.
const char kSubCategories[] = "Fx|Modulation|Pitch Shift";
// The interface level these declarations follow.
const char kSdkVersion[] = "VST 3.7.0";

void CopyField(char* target, const char* text, size_t size) {
  std::memset(target, 0, size);
  std::strncpy(target, text, size - 1);
}

// What all three class-info records say alike of the one class.
template <typename Info>
void FillClassBasics(Info* info) {
  std::memset(info, 0, sizeof *info);
  std::memcpy(info->cid, IPlugVST3::kClassId.bytes, sizeof info->cid);
  info->cardinality = kManyInstances;
  CopyField(info->category, kVstAudioEffectClass, sizeof info->category);
}

// One factory for the module's life: counted, never deleted.
class Factory final : public IPluginFactory3 {
 public:
  tresult queryInterface(const TUID iid, void** obj) override {
    if (obj == nullptr) return kInvalidArgument;
    if (SameUid(iid, kFUnknownIid) || SameUid(iid, kIPluginFactoryIid) || SameUid(iid, kIPluginFactory2Iid) ||
        SameUid(iid, kIPluginFactory3Iid)) {
      *obj = static_cast<IPluginFactory3*>(this);
      addRef();
      return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
  }
  uint32_t addRef() override { return ++mRefCount; }
  uint32_t release() override { return mRefCount > 0 ? --mRefCount : 0; }

  tresult getFactoryInfo(PFactoryInfo* info) override {
    if (info == nullptr) return kInvalidArgument;
    std::memset(info, 0, sizeof *info);
    CopyField(info->vendor, kVendor, sizeof info->vendor);
    CopyField(info->url, kUrl, sizeof info->url);
    info->flags = PFactoryInfo::kUnicode;
    return kResultOk;
  }

  int32_t countClasses() override { return 1; }

  tresult getClassInfo(int32_t index, PClassInfo* info) override {
    if (info == nullptr || index != 0) return kInvalidArgument;
    FillClassBasics(info);
    CopyField(info->name, kClassName, sizeof info->name);
    return kResultOk;
  }

  tresult getClassInfo2(int32_t index, PClassInfo2* info) override {
    if (info == nullptr || index != 0) return kInvalidArgument;
    FillClassBasics(info);
    CopyField(info->name, kClassName, sizeof info->name);
    // Not distributable: the processor and the controller are one object.
    info->classFlags = 0;
    CopyField(info->subCategories, kSubCategories, sizeof info->subCategories);
    CopyField(info->vendor, kVendor, sizeof info->vendor);
    CopyField(info->version, kVeltraneVersionText, sizeof info->version);
    CopyField(info->sdkVersion, kSdkVersion, sizeof info->sdkVersion);
    return kResultOk;
  }

  tresult getClassInfoUnicode(int32_t index, PClassInfoW* info) override {
    if (info == nullptr || index != 0) return kInvalidArgument;
    FillClassBasics(info);
    vst3bind::ToUtf16(kClassName, info->name, 64);
    info->classFlags = 0;
    CopyField(info->subCategories, kSubCategories, sizeof info->subCategories);
    vst3bind::ToUtf16(kVendor, info->vendor, 64);
    vst3bind::ToUtf16(kVeltraneVersionText, info->version, 64);
    vst3bind::ToUtf16(kSdkVersion, info->sdkVersion, 64);
    return kResultOk;
  }

  tresult createInstance(FIDString cid, FIDString iid, void** obj) override {
    if (obj == nullptr) return kInvalidArgument;
    *obj = nullptr;
    if (cid == nullptr || iid == nullptr) return kInvalidArgument;
    if (!SameUid(cid, IPlugVST3::kClassId)) return kNoInterface;
    const HostConnection host{mHostContext};
    IPlugVST3* plug = CreateInstance<IPlugVST3>(&host);
    if (plug == nullptr) return kOutOfMemory;
    const tresult result = plug->queryInterface(iid, obj);
    if (result != kResultOk) {
      delete plug;  // no reference was handed out
      return result;
    }
    return kResultOk;
  }

  tresult setHostContext(FUnknown* context) override {
    mHostContext = context;
    return kResultOk;
  }

 private:
  std::atomic<uint32_t> mRefCount{0};
  FUnknown* mHostContext = nullptr;
};

Factory& TheFactory() {
  static Factory factory;
  return factory;
}

}  // namespace

extern "C" VELTRANE_EXPORT IPluginFactory* GetPluginFactory() {
  Factory& factory = TheFactory();
  factory.addRef();
  return &factory;
}

// The module needs no set-up beyond what loading it does (resources and
// tables are static), so entry and exit only answer yes.
#if defined(_WIN32)
extern "C" VELTRANE_EXPORT bool InitDll() { return true; }
extern "C" VELTRANE_EXPORT bool ExitDll() { return true; }
#else
extern "C" VELTRANE_EXPORT bool ModuleEntry(void*) { return true; }
extern "C" VELTRANE_EXPORT bool ModuleExit() { return true; }
#endif
