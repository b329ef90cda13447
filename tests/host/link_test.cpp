// "Link L+R": the right channel follows the left, and the host hears about
// every partner the plug-in changes on its own.
#include "tests/host/HostTestSupport.h"

namespace testhost {
namespace {

using Link = HostTest;

const Param kLeft[] = {kVolumeL, kMixL, kModeL, kFreqMinL, kFreqMaxL};
const Param kRight[] = {kVolumeR, kMixR, kModeR, kFreqMinR, kFreqMaxR};

std::vector<HostCall> Automation(const PluginInstance& plugin) { return plugin.CallsWith(audioMasterAutomate); }

TEST_F(Link, TurningOnCopiesLeftToRightAndTellsTheHost) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  plugin->SetParameter(kLink, 0.0f);
  const float left[] = {0.3f, 0.2f, 0.0f, 0.1f, 0.4f};
  const float right[] = {0.7f, 0.9f, 0.5f, 0.8f, 0.6f};
  for (int i = 0; i < 5; ++i) {
    plugin->SetParameter(kLeft[i], left[i]);
    plugin->SetParameter(kRight[i], right[i]);
  }
  plugin->ClearCalls();

  plugin->SetParameter(kLink, 1.0f);

  const auto notices = Automation(*plugin);
  ASSERT_EQ(notices.size(), 5u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(notices[i].index, kRight[i]);
    EXPECT_FLOAT_EQ(notices[i].opt, plugin->GetParameter(kLeft[i])) << "pair " << i;
    EXPECT_EQ(notices[i].effect, plugin->effect());
    EXPECT_FLOAT_EQ(plugin->GetParameter(kRight[i]), plugin->GetParameter(kLeft[i])) << "pair " << i;
    EXPECT_EQ(plugin->ParamDisplay(kRight[i]), plugin->ParamDisplay(kLeft[i])) << "pair " << i;
    EXPECT_NEAR(plugin->GetParameter(kLeft[i]), left[i], 1e-6) << "the left side must not move";
  }
}

TEST_F(Link, TurningOnNotifiesEvenEqualPairs) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  plugin->SetParameter(kLink, 0.0f);
  for (int i = 0; i < 5; ++i) plugin->SetParameter(kRight[i], plugin->GetParameter(kLeft[i]));
  plugin->ClearCalls();
  plugin->SetParameter(kLink, 1.0f);
  EXPECT_EQ(Automation(*plugin).size(), 5u);
}

TEST_F(Link, ChangingMixRWhileLinkedMovesMixLAndTellsTheHostOnce) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  plugin->SetParameter(kLink, 1.0f);
  plugin->ClearCalls();

  plugin->SetParameter(kMixR, 0.3f);

  EXPECT_FLOAT_EQ(plugin->GetParameter(kMixL), 0.3f);
  EXPECT_FLOAT_EQ(plugin->GetParameter(kMixR), 0.3f);
  const auto notices = Automation(*plugin);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].index, kMixL);
  EXPECT_FLOAT_EQ(notices[0].opt, 0.3f);
}

TEST_F(Link, ChangingALeftParameterWhileLinkedMovesTheRightOne) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  plugin->SetParameter(kLink, 1.0f);
  plugin->ClearCalls();

  plugin->SetParameter(kVolumeL, 0.75f);
  plugin->SetParameter(kModeL, 0.0f);

  EXPECT_FLOAT_EQ(plugin->GetParameter(kVolumeR), 0.75f);
  EXPECT_EQ(plugin->ParamDisplay(kModeR), "Imag.");
  const auto notices = Automation(*plugin);
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_EQ(notices[0].index, kVolumeR);
  EXPECT_EQ(notices[1].index, kModeR);
}

TEST_F(Link, SharedParametersAreNeverLinked) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  plugin->SetParameter(kLink, 1.0f);
  plugin->ClearCalls();
  plugin->SetParameter(kFreqRange, 1.0f);
  plugin->SetParameter(kLfoWaveform, 0.4f);
  plugin->SetParameter(kLfoRate, 0.3f);
  plugin->SetParameter(kSyncToHost, 1.0f);
  EXPECT_TRUE(Automation(*plugin).empty());
}

TEST_F(Link, TurningOffChangesNothingElse) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  plugin->SetParameter(kLink, 1.0f);
  plugin->SetParameter(kMixL, 0.65f);
  std::vector<float> before;
  for (VstInt32 i = 0; i < kNumParams; ++i) before.push_back(plugin->GetParameter(i));
  plugin->ClearCalls();

  plugin->SetParameter(kLink, 0.0f);

  EXPECT_TRUE(Automation(*plugin).empty());
  for (VstInt32 i = 1; i < kNumParams; ++i) EXPECT_EQ(plugin->GetParameter(i), before[i]) << "parameter " << i;

  // And now the channels are independent again.
  plugin->SetParameter(kMixR, 0.1f);
  EXPECT_FLOAT_EQ(plugin->GetParameter(kMixL), 0.65f);
  EXPECT_TRUE(Automation(*plugin).empty());
}

TEST_F(Link, TextEntryWhileLinkedMovesThePartner) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  plugin->SetParameter(kLink, 1.0f);
  plugin->ClearCalls();
  EXPECT_EQ(plugin->SetParameterText(kMixL, "0.25"), 1);
  EXPECT_FLOAT_EQ(plugin->GetParameter(kMixR), 0.25f);
  const auto notices = Automation(*plugin);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].index, kMixR);
}

// A typed right value keeps its digits while the left takes the nearest
// normalised step. Reading that state back makes the right the left's
// normalised copy (the left never moves), and one reading settles it.
TEST_F(Link, TypedLinkedStateSettlesInOneReading) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  plugin->SetParameter(kLink, 1.0f);
  bool moved = false;
  for (const char* text : {"0.5", "0.3", "-0.7", "0.123456"}) {
    for (int i = 0; i < 5; ++i) {
      if (kLeft[i] == kModeL) continue;
      SCOPED_TRACE(std::string(text) + " into pair " + std::to_string(i));
      ASSERT_EQ(plugin->SetParameterText(kRight[i], text), 1);
      const std::vector<uint8_t> program = plugin->GetChunk(true);
      auto fresh = NewInstance();
      ASSERT_TRUE(fresh);
      fresh->Open();
      fresh->Dispatch(effSetProgram, 0, plugin->Dispatch(effGetProgram));
      ASSERT_EQ(fresh->SetChunk(program, true), 1);
      const std::vector<uint8_t> settled = fresh->GetChunk(true);
      moved = moved || settled != program;
      for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(fresh->GetParameter(kLeft[k]), plugin->GetParameter(kLeft[k])) << "pair " << k;
        EXPECT_EQ(fresh->GetParameter(kRight[k]), fresh->GetParameter(kLeft[k])) << "pair " << k;
      }
      ASSERT_EQ(fresh->SetChunk(settled, true), 1);
      EXPECT_EQ(fresh->GetChunk(true), settled);
    }
  }
  // One of these right values is not the normalised copy of its left.
  EXPECT_TRUE(moved);
}

TEST_F(Link, NoticesArriveOnTheCallingThread) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  plugin->SetParameter(kLink, 0.0f);
  plugin->ClearCalls();
  std::thread::id worker;
  std::thread t([&] {
    worker = std::this_thread::get_id();
    plugin->SetParameter(kLink, 1.0f);
  });
  t.join();
  const auto notices = Automation(*plugin);
  ASSERT_EQ(notices.size(), 5u);
  for (const auto& n : notices) EXPECT_EQ(n.thread, worker);
}

}  // namespace
}  // namespace testhost
