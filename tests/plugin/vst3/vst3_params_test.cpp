// Parameters as a VST3 host sees them: their descriptions, the display
// texts and text entry of the VST 2.4 build, the program parameter, and
// changes that reach the host (a linked partner's included, with its
// gesture), from the GUI thread only.
#include <cmath>

#include "tests/plugin/vst3/Vst3TestSupport.h"

namespace vst3host {
namespace {

using namespace vst3;
using Params = Vst3Test;

const char* const kNames[] = {"Link L+R",   "Volume L",   "Volume R",   "Mix L",        "Mix R",
                              "Mode L",     "Mode R",     "Freq Range", "Freq Min L",   "Freq Min R",
                              "Freq Max L", "Freq Max R", "LFO Waveform", "LFO Rate", "Sync to Host"};
const int kSteps[] = {1, 0, 0, 0, 0, 2, 2, 3, 0, 0, 0, 0, 5, 0, 1};
// The defaults (Volume 1 of 0..4 with shape 2 is 0.5; Mode "Input"; Range "500").
const double kDefaults[] = {0, 0.5, 0.5, 0.5, 0.5, 1, 1, 2.0 / 3.0, 0.5, 0.5, 0.5, 0.5, 0, 1, 0};
const ParamID kProgram = 0x50726F67;

TEST_F(Params, DescribedWithTheirNamesStepsAndDefaults) {
  auto plugin = Instance::Create();
  ASSERT_TRUE(plugin);
  ASSERT_EQ(plugin->controller->getParameterCount(), 17);
  for (int i = 0; i < 15; ++i) {
    ParameterInfo info{};
    ASSERT_EQ(plugin->controller->getParameterInfo(i, info), kResultOk);
    EXPECT_EQ(info.id, static_cast<ParamID>(i));
    EXPECT_EQ(FromUtf16(info.title), kNames[i]);
    EXPECT_EQ(FromUtf16(info.units), "");
    EXPECT_EQ(info.stepCount, kSteps[i]) << kNames[i];
    EXPECT_EQ(info.flags, ParameterInfo::kCanAutomate | (kSteps[i] > 0 ? ParameterInfo::kIsList : 0)) << kNames[i];
    EXPECT_DOUBLE_EQ(info.defaultNormalizedValue, kDefaults[i]) << kNames[i];
  }
  ParameterInfo program{};
  ASSERT_EQ(plugin->controller->getParameterInfo(15, program), kResultOk);
  EXPECT_EQ(program.id, kProgram);
  EXPECT_EQ(FromUtf16(program.title), "Program");
  EXPECT_EQ(program.stepCount, 31);
  EXPECT_EQ(program.flags, ParameterInfo::kCanAutomate | ParameterInfo::kIsList | ParameterInfo::kIsProgramChange);
  // The host's bypass switch, with its texts both ways.
  ParameterInfo bypass{};
  ASSERT_EQ(plugin->controller->getParameterInfo(16, bypass), kResultOk);
  EXPECT_EQ(FromUtf16(bypass.title), "Bypass");
  EXPECT_EQ(bypass.stepCount, 1);
  EXPECT_EQ(bypass.flags, ParameterInfo::kCanAutomate | ParameterInfo::kIsList | ParameterInfo::kIsBypass);
  EXPECT_EQ(plugin->ParamText(bypass.id, 1.0), "On");
  EXPECT_EQ(plugin->ParamText(bypass.id, 0.0), "Off");
  EXPECT_EQ(plugin->ParamValueOf(bypass.id, " on "), 1.0);
  EXPECT_EQ(plugin->ParamValueOf(bypass.id, "OFF"), 0.0);
  EXPECT_LT(plugin->ParamValueOf(bypass.id, "maybe"), 0.0);
  EXPECT_EQ(plugin->controller->getParamNormalized(bypass.id), 0.0);
  EXPECT_EQ(plugin->controller->getParameterInfo(17, program), kInvalidArgument);
}

TEST_F(Params, TextsBothWaysAreTheVst2Builds) {
  auto plugin = Instance::Create();
  auto vst2 = testhost::PluginInstance::Create(testhost::SharedModule());
  ASSERT_TRUE(plugin && vst2);
  vst2->Open();
  for (int sync = 0; sync < 2; ++sync) {
    vst2->SetParameter(testhost::kSyncToHost, static_cast<float>(sync));
    plugin->controller->setParamNormalized(testhost::kSyncToHost, sync);
    for (int i = 0; i < 15; ++i) {
      for (float v : {0.0f, 0.1f, 0.25f, 0.4f, 0.5f, 0.7f, 1.0f}) {
        // Both instances in the same state: a shift's text follows "Freq Range".
        vst2->SetParameter(i, v);
        plugin->controller->setParamNormalized(i, v);
        const std::string text = plugin->ParamText(i, v);
        EXPECT_EQ(text, testhost::HostTextOf(i, vst2->ParamDisplay(i))) << kNames[i] << " at " << v;
        // What it shows, it takes back, to the display's resolution.
        const double back = plugin->ParamValueOf(i, text);
        EXPECT_EQ(plugin->ParamText(i, back), text) << kNames[i] << " at " << v;
      }
    }
  }
  for (const auto& entry : std::vector<std::pair<int, std::string>>{
           {testhost::kLink, "On"}, {testhost::kLfoWaveform, "Ramp Dn"}, {testhost::kFreqRange, "5000"},
           {testhost::kVolumeL, "-6 dB"}, {testhost::kFreqMaxL, "+125 Hz"}, {testhost::kMixR, "0.3 wet"},
           {testhost::kMixL, "75:25"}, {testhost::kModeL, "Sideways"}}) {
    const bool taken = vst2->SetParameterText(entry.first, entry.second) == 1;
    const double normalised = plugin->ParamValueOf(entry.first, entry.second);
    EXPECT_EQ(normalised >= 0.0, taken) << entry.second;
    if (taken) {
      EXPECT_EQ(static_cast<float>(normalised), vst2->GetParameter(entry.first)) << entry.second;
    }
  }
  // Typed spellings, with "Freq Range" at 500 Hz.
  plugin->controller->setParamNormalized(testhost::kSyncToHost, 0.0);
  plugin->controller->setParamNormalized(testhost::kFreqRange, 2.0 / 3.0);
  for (const testhost::TypedText& t : testhost::TypedTexts()) {
    const double v = plugin->ParamValueOf(t.param, t.typed);
    ASSERT_GE(v, 0.0) << t.typed;
    EXPECT_EQ(plugin->ParamText(t.param, v), t.shown) << t.typed;
  }
  // The program parameter's texts are the programs' names.
  EXPECT_EQ(plugin->ParamText(kProgram, 5.0 / 31.0), vst2->ProgramNameIndexed(5));
  EXPECT_EQ(plugin->ParamValueOf(kProgram, vst2->ProgramNameIndexed(7)), 7.0 / 31.0);
}

TEST_F(Params, HostValuesAndWrongArguments) {
  auto plugin = Instance::Create();
  ASSERT_TRUE(plugin);
  IEditController* c = plugin->controller;
  EXPECT_EQ(c->normalizedParamToPlain(testhost::kVolumeL, 0.5), 1.0);
  EXPECT_EQ(c->normalizedParamToPlain(testhost::kModeL, 0.4), 1.0);  // rounded to its step as when set
  EXPECT_EQ(c->plainParamToNormalized(testhost::kVolumeL, 4.0), 1.0);
  EXPECT_EQ(c->setParamNormalized(testhost::kFreqMaxL, 0.625), kResultOk);
  EXPECT_EQ(c->getParamNormalized(testhost::kFreqMaxL), 0.625);
  EXPECT_EQ(c->setParamNormalized(testhost::kFreqMaxL, 7.0), kResultOk);  // clamped
  EXPECT_EQ(c->getParamNormalized(testhost::kFreqMaxL), 1.0);
  EXPECT_EQ(c->setParamNormalized(testhost::kFreqMaxL, std::nan("")), kInvalidArgument);
  EXPECT_EQ(c->setParamNormalized(99, 0.5), kInvalidArgument);
  String128 text{};
  EXPECT_EQ(c->getParamStringByValue(99, 0.5, text), kInvalidArgument);
  double parsed = 0.0;
  EXPECT_EQ(c->getParamValueByString(testhost::kMixL, nullptr, parsed), kInvalidArgument);
  EXPECT_EQ(c->normalizedParamToPlain(kProgram, 1.0), 31.0);
}

// The ids a block reported on its output queue, in order.
std::vector<ParamID> Reported(Instance& plugin, int frames = 256, std::thread::id* thread = nullptr) {
  std::vector<float> silence(static_cast<size_t>(frames), 0.0f);
  float* io[2] = {silence.data(), silence.data()};
  std::thread audio([&] { plugin.Process(io, 2, io, 2, frames); });
  if (thread != nullptr) *thread = audio.get_id();
  audio.join();
  std::vector<ParamID> ids;
  for (int i = 0; i < plugin.output.used; ++i) ids.push_back(plugin.output.queues[i].id);
  return ids;
}

TEST_F(Params, WhatAHostsChangeMovesBesidesReachesItThroughTheNextBlock) {
  auto plugin = Instance::Create();
  ASSERT_TRUE(plugin);
  plugin->Start();
  IEditController* c = plugin->controller;
  c->setParamNormalized(testhost::kLink, 0.0);
  c->setParamNormalized(testhost::kVolumeL, 0.25);
  c->setParamNormalized(testhost::kFreqMinL, 0.25);
  Reported(*plugin);
  plugin->handler.Clear();
  // Link on copies every left setting to its partner. The host made the
  // change: nothing answers through its handler, the partners come with
  // the next block.
  ASSERT_EQ(c->setParamNormalized(testhost::kLink, 1.0), kResultOk);
  EXPECT_EQ(c->getParamNormalized(testhost::kVolumeR), 0.25);
  EXPECT_EQ(Reported(*plugin), (std::vector<ParamID>{2, 4, 6, 9, 11}));
  c->setParamNormalized(testhost::kMixR, 0.75);
  EXPECT_EQ(Reported(*plugin), std::vector<ParamID>{3});
  EXPECT_EQ(Reported(*plugin), std::vector<ParamID>{});

  // From the audio thread a partner goes out at the sample it changed.
  plugin->input.Add(testhost::kFreqMaxL, 100, 0.125);
  EXPECT_EQ(Reported(*plugin), std::vector<ParamID>{11});
  ASSERT_EQ(plugin->output.queues[0].points.size(), 1u);
  EXPECT_EQ(plugin->output.queues[0].points[0].first, 100);
  EXPECT_EQ(plugin->output.queues[0].points[0].second, 0.125);

  // A program the host chose: every value changed.
  ASSERT_EQ(c->setParamNormalized(kProgram, 3.0 / 31.0), kResultOk);
  EXPECT_EQ(c->getParamNormalized(kProgram), 3.0 / 31.0);
  EXPECT_EQ(Reported(*plugin).size(), 15u);
  EXPECT_EQ(plugin->handler.Script(), "");
}

}  // namespace
}  // namespace vst3host
