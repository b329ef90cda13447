// Prints what a VST3 host learns of a bundle before any audio: the factory
// and its classes, the buses, every parameter with its default's text, and
// the program list. Exits 1 with the reason when the bundle does not load
// or its class cannot be made.
//   vst3-info PATH/Veltrane.vst3
#include <cstdio>

#include "tests/plugin/vst3/Vst3Host.h"

using namespace vst3;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vst3-info BUNDLE.vst3\n");
    return 2;
  }
  const vst3host::Module module(argv[1]);
  if (module.factory() == nullptr) {
    std::fprintf(stderr, "vst3-info: %s\n", module.error().c_str());
    return 1;
  }
  PFactoryInfo factory{};
  module.factory()->getFactoryInfo(&factory);
  std::printf("vendor        %s (%s)\n", factory.vendor, factory.url);
  void* found = nullptr;
  IPluginFactory2* factory2 = module.factory()->queryInterface(kIPluginFactory2Iid.bytes, &found) == kResultOk
                                  ? static_cast<IPluginFactory2*>(found)
                                  : nullptr;
  for (int32_t i = 0; i < module.factory()->countClasses(); ++i) {
    PClassInfo2 info{};
    if (factory2 == nullptr || factory2->getClassInfo2(i, &info) != kResultOk) continue;
    std::printf("class         %s [%s] %s, version %s, %s\n  id          ", info.name, info.category,
                info.subCategories, info.version, info.sdkVersion);
    for (char byte : info.cid) std::printf("%02X", static_cast<unsigned char>(byte));
    std::printf("\n");
  }
  if (factory2 != nullptr) factory2->release();

  auto plugin = vst3host::Instance::Create(module);
  if (!plugin) {
    std::fprintf(stderr, "vst3-info: the factory made no instance of its first class\n");
    return 1;
  }
  for (int32_t dir : {kInput, kOutput}) {
    BusInfo bus{};
    if (plugin->component->getBusInfo(kAudio, dir, 0, bus) == kResultOk)
      std::printf("audio %-7s %s, %d channels\n", dir == kInput ? "input" : "output",
                  vst3host::FromUtf16(bus.name).c_str(), bus.channelCount);
  }
  std::printf("parameters    %d\n", plugin->controller->getParameterCount());
  for (int32_t i = 0; i < plugin->controller->getParameterCount(); ++i) {
    ParameterInfo info{};
    if (plugin->controller->getParameterInfo(i, info) != kResultOk) continue;
    std::printf("  %10u  %-14s steps %-3d default %s\n", info.id, vst3host::FromUtf16(info.title).c_str(),
                info.stepCount, plugin->ParamText(info.id, info.defaultNormalizedValue).c_str());
  }
  ProgramListInfo list{};
  if (plugin->units->getProgramListInfo(0, list) == kResultOk) {
    std::printf("programs      %d\n", list.programCount);
    for (int32_t i = 0; i < list.programCount; ++i) {
      String128 name{};
      plugin->units->getProgramName(list.id, i, name);
      std::printf("  %2d  %s\n", i, vst3host::FromUtf16(name).c_str());
    }
  }
  return 0;
}
