// What a host learns from the module before any audio: the factory and its
// one class, the interfaces of the instance, its buses and sample sizes.
#include "tests/plugin/vst3/Vst3TestSupport.h"

namespace vst3host {
namespace {

using namespace vst3;
using Module = Vst3Test;

TEST_F(Module, TheFactoryDescribesOneModulationEffect) {
  IPluginFactory* factory = SharedModule().factory();
  PFactoryInfo info{};
  ASSERT_EQ(factory->getFactoryInfo(&info), kResultOk);
  EXPECT_STREQ(info.vendor, "Quorvel");
  EXPECT_STREQ(info.url, "http://www.quorvel.com");
  EXPECT_EQ(info.flags, PFactoryInfo::kUnicode);
  ASSERT_EQ(factory->countClasses(), 1);

  const Uid expected = MakeUid(0x71C10A37, 0xDEE059A4, 0xB1584EAD, 0xBF81CC18);
  void* found = nullptr;
  ASSERT_EQ(factory->queryInterface(kIPluginFactory3Iid.bytes, &found), kResultOk);
  IPluginFactory3* factory3 = static_cast<IPluginFactory3*>(found);
  PClassInfo2 info2{};
  PClassInfoW infoW{};
  ASSERT_EQ(factory3->getClassInfo2(0, &info2), kResultOk);
  ASSERT_EQ(factory3->getClassInfoUnicode(0, &infoW), kResultOk);
  for (const char* cid : {info2.cid, infoW.cid}) EXPECT_TRUE(SameUid(cid, expected));
  EXPECT_STREQ(info2.category, "Audio Module Class");
  EXPECT_STREQ(info2.name, "Quorvel Veltrane");
  EXPECT_EQ(FromUtf16(infoW.name), "Quorvel Veltrane");
  EXPECT_STREQ(info2.subCategories, "Fx|Modulation|Pitch Shift");
  EXPECT_STREQ(info2.vendor, "Quorvel");
  EXPECT_STREQ(info2.version, "2.0.3");
  EXPECT_EQ(FromUtf16(infoW.version), "2.0.3");
  EXPECT_EQ(std::string(info2.sdkVersion).rfind("VST 3.", 0), 0u);
  EXPECT_EQ(info2.cardinality, kManyInstances);
  factory3->release();

  // Wrong classes, interfaces and arguments are refused, with nothing made.
  void* made = &info;
  EXPECT_EQ(factory->createInstance(kIComponentIid.bytes, kIComponentIid.bytes, &made), kNoInterface);
  EXPECT_EQ(made, nullptr);
  made = &info;
  EXPECT_EQ(factory->createInstance(expected.bytes, kIPlugViewIid.bytes, &made), kNoInterface);
  EXPECT_EQ(made, nullptr);
  EXPECT_EQ(factory->createInstance(expected.bytes, kIComponentIid.bytes, nullptr), kInvalidArgument);
  PClassInfo plain{};
  EXPECT_EQ(factory->getClassInfo(1, &plain), kInvalidArgument);
}

TEST_F(Module, OneObjectIsComponentControllerAndProgramList) {
  auto plugin = Instance::Create();
  ASSERT_TRUE(plugin);
  void* found = nullptr;
  for (const Uid* iid : {&kFUnknownIid, &kIPluginBaseIid, &kIComponentIid, &kIAudioProcessorIid,
                         &kIEditControllerIid, &kIUnitInfoIid, &kIProcessContextRequirementsIid}) {
    ASSERT_EQ(plugin->controller->queryInterface(iid->bytes, &found), kResultOk);
    static_cast<FUnknown*>(found)->release();
  }
  found = &found;
  EXPECT_EQ(plugin->component->queryInterface(kIPlugViewIid.bytes, &found), kNoInterface);
  EXPECT_EQ(found, nullptr);
  // No separate controller class: hosts take the controller from the component.
  TUID cid{};
  EXPECT_NE(plugin->component->getControllerClassId(cid), kResultTrue);
  // A second initialise (as controller) is welcome.
  EXPECT_EQ(plugin->controller->initialize(&plugin->application), kResultOk);
  EXPECT_EQ(plugin->controller->terminate(), kResultOk);
  EXPECT_EQ(plugin->processor->getLatencySamples(), 0u);
  EXPECT_EQ(plugin->processor->getTailSamples(), 0u);

  found = nullptr;
  ASSERT_EQ(plugin->component->queryInterface(kIProcessContextRequirementsIid.bytes, &found), kResultOk);
  const uint32_t needs = static_cast<IProcessContextRequirements*>(found)->getProcessContextRequirements();
  static_cast<FUnknown*>(found)->release();
  const uint32_t sync = IProcessContextRequirements::kNeedTempo | IProcessContextRequirements::kNeedProjectTimeMusic |
                        IProcessContextRequirements::kNeedTransportState;
  EXPECT_EQ(needs & sync, sync);
}

TEST_F(Module, OneStereoBusEachWayThatMayBeMono) {
  auto plugin = Instance::Create();
  ASSERT_TRUE(plugin);
  IComponent* c = plugin->component;
  IAudioProcessor* p = plugin->processor;
  EXPECT_EQ(c->getBusCount(kAudio, kInput), 1);
  EXPECT_EQ(c->getBusCount(kAudio, kOutput), 1);
  EXPECT_EQ(c->getBusCount(kEvent, kInput), 0);
  BusInfo bus{};
  ASSERT_EQ(c->getBusInfo(kAudio, kOutput, 0, bus), kResultOk);
  EXPECT_EQ(bus.channelCount, 2);
  EXPECT_EQ(bus.busType, kMain);
  EXPECT_EQ(bus.flags, BusInfo::kDefaultActive);
  EXPECT_EQ(FromUtf16(bus.name), "Output");
  EXPECT_EQ(c->getBusInfo(kAudio, kOutput, 1, bus), kInvalidArgument);
  EXPECT_EQ(c->getBusInfo(kEvent, kInput, 0, bus), kInvalidArgument);

  SpeakerArrangement mono = kMono, stereo = kStereo, surround = 0x3F, pair[2] = {kStereo, kStereo};
  EXPECT_EQ(p->setBusArrangements(&mono, 1, &stereo, 1), kResultTrue);
  ASSERT_EQ(c->getBusInfo(kAudio, kInput, 0, bus), kResultOk);
  EXPECT_EQ(bus.channelCount, 1);
  SpeakerArrangement now = 0;
  ASSERT_EQ(p->getBusArrangement(kInput, 0, now), kResultOk);
  EXPECT_EQ(now, kMono);
  EXPECT_EQ(p->setBusArrangements(&stereo, 1, &mono, 1), kResultTrue);
  EXPECT_EQ(p->setBusArrangements(&surround, 1, &stereo, 1), kResultFalse);
  EXPECT_EQ(p->setBusArrangements(pair, 2, &stereo, 1), kResultFalse);
  EXPECT_EQ(p->getBusArrangement(kOutput, 1, now), kInvalidArgument);
  EXPECT_EQ(p->canProcessSampleSize(kSample32), kResultTrue);
  EXPECT_EQ(p->canProcessSampleSize(kSample64), kResultTrue);
  EXPECT_EQ(p->canProcessSampleSize(2), kResultFalse);
}

}  // namespace
}  // namespace vst3host
