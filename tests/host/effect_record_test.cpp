// The effect record a host gets from the entry point, and instance lifetime.
#include <set>

#include "tests/host/HostTestSupport.h"

namespace testhost {
namespace {

using EffectRecord = HostTest;

TEST_F(EffectRecord, FreshInstanceReadsAsPublished) {
  auto plugin = NewInstance();
  ASSERT_TRUE(plugin);
  const AEffect* e = plugin->effect();
  EXPECT_EQ(e->magic, 0x56737450);  // 'VstP'
  EXPECT_EQ(e->magic, kEffectMagic);
  EXPECT_EQ(e->numParams, 15);
  EXPECT_EQ(e->numPrograms, 32);
  EXPECT_EQ(e->numInputs, 2);
  EXPECT_EQ(e->numOutputs, 2);
  // Replacing, program chunks, double replacing and the old can-mono bit;
  // the editor bit comes with the editor.
  EXPECT_EQ(e->flags & ~effFlagsHasEditor, 0x1038) << std::hex << e->flags;
  EXPECT_EQ(e->uniqueID, 0x51565452);  // 'QVTR'
  EXPECT_EQ(e->version, 20003);
  EXPECT_EQ(e->initialDelay, 0);
  EXPECT_EQ(e->ioRatio, 1.0f);
  EXPECT_NE(e->object, nullptr);
  EXPECT_EQ(e->user, nullptr);
  EXPECT_NE(e->dispatcher, nullptr);
  EXPECT_NE(e->setParameter, nullptr);
  EXPECT_NE(e->getParameter, nullptr);
  EXPECT_NE(e->process, nullptr);
  EXPECT_NE(e->processReplacing, nullptr);
  EXPECT_NE(e->processDoubleReplacing, nullptr);
  EXPECT_EQ(e->resvd1, 0);
  EXPECT_EQ(e->resvd2, 0);
  EXPECT_EQ(e->realQualities, 0);
  EXPECT_EQ(e->offQualities, 0);
}

TEST_F(EffectRecord, OpenKeepsTheChannelCounts) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  EXPECT_EQ(plugin->effect()->numInputs, 2);
  EXPECT_EQ(plugin->effect()->numOutputs, 2);
  EXPECT_EQ(plugin->effect()->numParams, 15);
}

TEST_F(EffectRecord, EditorRectMatchesTheEditorFlag) {
  auto plugin = NewInstance();
  ASSERT_TRUE(plugin);
  ERect* rect = nullptr;
  const VstIntPtr answer = plugin->Dispatch(effEditGetRect, 0, 0, &rect);
  if (plugin->effect()->flags & effFlagsHasEditor) {
    EXPECT_EQ(answer, 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->right, 584);
    EXPECT_EQ(rect->bottom, 390);
  } else {
    EXPECT_EQ(answer, 0);
    EXPECT_EQ(rect, nullptr);
  }
}

TEST_F(EffectRecord, TwoInstancesAreDistinct) {
  auto a = NewInstance();
  auto b = NewInstance();
  ASSERT_TRUE(a && b);
  EXPECT_NE(a->effect(), b->effect());
  EXPECT_NE(a->effect()->object, b->effect()->object);
  a->Open();
  b->Open();

  // Their parameters are their own.
  a->SetParameter(kLink, 0.0f);
  b->SetParameter(kLink, 0.0f);
  a->SetParameter(kMixL, 0.25f);
  b->SetParameter(kMixL, 0.75f);
  EXPECT_FLOAT_EQ(a->GetParameter(kMixL), 0.25f);
  EXPECT_FLOAT_EQ(b->GetParameter(kMixL), 0.75f);

  // Closing one leaves the other working.
  a->Close();
  EXPECT_EQ(b->Dispatch(effGetVendorVersion), 20003);
  EXPECT_EQ(b->ParamDisplay(kMixL), "25:75");
}

TEST_F(EffectRecord, ManyInstancesComeAndGo) {
  std::set<AEffect*> live;
  std::vector<std::unique_ptr<PluginInstance>> plugins;
  for (int i = 0; i < 8; ++i) {
    plugins.push_back(NewInstance());
    ASSERT_TRUE(plugins.back());
    EXPECT_TRUE(live.insert(plugins.back()->effect()).second);
  }
  for (size_t i = 0; i < plugins.size(); i += 2) plugins[i].reset();
  for (size_t i = 1; i < plugins.size(); i += 2) {
    EXPECT_EQ(plugins[i]->effect()->magic, kEffectMagic);
    EXPECT_EQ(plugins[i]->Dispatch(effGetVstVersion), 2400);
  }
}

TEST_F(EffectRecord, LegacyMainGivesAWorkingRecord) {
  if (!SharedModule().legacyMain()) {
#if defined(_WIN32)
    FAIL() << "the DLL does not export main";
#else
    GTEST_SKIP() << "this build exports no legacy main";
#endif
  }
  auto plugin = PluginInstance::Create(SharedModule(), {}, PluginInstance::Entry::LegacyMain);
  ASSERT_TRUE(plugin);
  EXPECT_EQ(plugin->effect()->magic, kEffectMagic);
  EXPECT_EQ(plugin->effect()->uniqueID, 0x51565452);
  plugin->Open();
  EXPECT_EQ(plugin->ParamName(kLink), "Link L+R");
}

TEST_F(EffectRecord, ParameterIndicesOutsideTheListAreIgnored) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  EXPECT_EQ(plugin->GetParameter(15), 0.0f);
  EXPECT_EQ(plugin->GetParameter(-1), 0.0f);
  EXPECT_EQ(plugin->GetParameter(1000), 0.0f);

  std::vector<float> before;
  for (VstInt32 i = 0; i < kNumParams; ++i) before.push_back(plugin->GetParameter(i));
  plugin->ClearCalls();
  plugin->SetParameter(15, 0.3f);
  plugin->SetParameter(-1, 0.3f);
  plugin->SetParameter(1000, 0.3f);
  for (VstInt32 i = 0; i < kNumParams; ++i) EXPECT_EQ(plugin->GetParameter(i), before[i]) << "parameter " << i;
  EXPECT_EQ(plugin->CountCalls(audioMasterAutomate), 0u);
}

}  // namespace
}  // namespace testhost
