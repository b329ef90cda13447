// Parameters as a CLAP host sees them, against the VST 2.4 build: the same
// names, ranges and defaults, the same display texts for the same values,
// text entry, exact values from host events, and refusals of bad ids.
#include <cmath>
#include <string>

#include "tests/plugin/clap/ClapTestSupport.h"

namespace claphost {
namespace {

using Params = ClapTest;

TEST_F(Params, InfoMatchesTheParameterTable) {
  auto plugin = ClapInstance::Create();
  ASSERT_TRUE(plugin);
  auto vst = Vst2();
  ASSERT_TRUE(vst);
  ASSERT_EQ(plugin->ParamCount(), 16u);
  struct Row { const char* name; double min, max, def; bool stepped; };
  const Row rows[15] = {{"Link L+R", 0, 1, 0, true},     {"Volume L", 0, 4, 1, false},  {"Volume R", 0, 4, 1, false},
                        {"Mix L", 0, 1, 0.5, false},     {"Mix R", 0, 1, 0.5, false},   {"Mode L", 0, 2, 2, true},
                        {"Mode R", 0, 2, 2, true},       {"Freq Range", 0, 3, 2, true}, {"Freq Min L", -1, 1, 0, false},
                        {"Freq Min R", -1, 1, 0, false}, {"Freq Max L", -1, 1, 0, false}, {"Freq Max R", -1, 1, 0, false},
                        {"LFO Waveform", 0, 5, 0, true}, {"LFO Rate", 0, 1, 1, false}, {"Sync to Host", 0, 1, 0, true}};
  for (uint32_t i = 0; i < 15; ++i) {
    SCOPED_TRACE(rows[i].name);
    const clap_param_info_t info = plugin->Info(i);
    EXPECT_EQ(info.id, i);
    EXPECT_STREQ(info.name, rows[i].name);
    EXPECT_EQ(std::string(info.name), vst->ParamName(static_cast<VstInt32>(i)));
    EXPECT_STREQ(info.module, "");
    EXPECT_EQ(info.min_value, rows[i].min);
    EXPECT_EQ(info.max_value, rows[i].max);
    EXPECT_EQ(info.default_value, rows[i].def);
    const uint32_t stepped = CLAP_PARAM_IS_STEPPED | CLAP_PARAM_IS_ENUM;
    EXPECT_EQ(info.flags, CLAP_PARAM_IS_AUTOMATABLE | (rows[i].stepped ? stepped : 0u));
  }
  // The host's bypass switch, with its texts both ways.
  const clap_param_info_t bypass = plugin->Info(15);
  EXPECT_STREQ(bypass.name, "Bypass");
  EXPECT_EQ(bypass.flags, CLAP_PARAM_IS_AUTOMATABLE | CLAP_PARAM_IS_STEPPED | CLAP_PARAM_IS_BYPASS);
  EXPECT_EQ(bypass.max_value, 1.0);
  EXPECT_EQ(plugin->Value(bypass.id), 0.0);
  EXPECT_EQ(plugin->Text(bypass.id, 1.0), "On");
  double on = 0.0;
  EXPECT_TRUE(plugin->TextToValue(bypass.id, "on", &on));
  EXPECT_EQ(on, 1.0);
  EXPECT_FALSE(plugin->TextToValue(bypass.id, "maybe", &on));
  clap_param_info_t info;
  EXPECT_FALSE(plugin->params()->get_info(plugin->plugin(), 16, &info));
  EXPECT_FALSE(plugin->params()->get_info(plugin->plugin(), 0, nullptr));
}

// Every parameter at eleven points of its range, set in both builds, shows
// the VST 2.4 build's display text.
TEST_F(Params, TextsAreTheVst2BuildsForTheSameValue) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  auto vst = Vst2();
  ASSERT_TRUE(vst);
  for (bool sync : {false, true}) {
    plugin->SetValue(testhost::kSyncToHost, sync ? 1.0 : 0.0);
    testhost::SetText(*vst, testhost::kSyncToHost, sync ? "On" : "Off");
    for (uint32_t id = 0; id < 15; ++id) {
      if (id == testhost::kSyncToHost || id == testhost::kLink) continue;  // they would change the others
      const clap_param_info_t info = plugin->Info(id);
      for (int k = 0; k <= 10; ++k) {
        double v = info.min_value + (info.max_value - info.min_value) * k / 10.0;
        if (info.flags & CLAP_PARAM_IS_STEPPED) v = std::floor(v);
        // The VST 2.4 build takes enumerated values by their texts.
        char text[64];
        std::snprintf(text, sizeof text, "%.17g", v);
        const int n = static_cast<int>(v);
        const char* entry = id == testhost::kModeL || id == testhost::kModeR ? testhost::kModeTexts[n]
                            : id == testhost::kFreqRange                     ? testhost::kRangeTexts[n]
                            : id == testhost::kLfoWaveform                   ? testhost::kWaveformTexts[n]
                                                                             : text;
        testhost::SetText(*vst, static_cast<VstInt32>(id), entry);
        plugin->SetValue(id, v);  // some texts depend on other values ("Freq Range")
        const std::string shown = plugin->Text(id, v);
        EXPECT_EQ(shown, testhost::HostTextOf(static_cast<VstInt32>(id), vst->ParamDisplay(static_cast<VstInt32>(id))))
            << info.name << " = " << v << (sync ? " (synced)" : "");
        // What it shows, it takes back, to the display's resolution.
        double back = -99.0;
        EXPECT_TRUE(plugin->TextToValue(id, shown, &back)) << shown;
        EXPECT_EQ(plugin->Text(id, back), shown) << info.name << " = " << v;
      }
    }
  }
  EXPECT_EQ(plugin->Text(testhost::kLfoRate, 1.0), "1/16");
  EXPECT_EQ(plugin->Text(testhost::kVolumeL, 0.0), "-inf dB");
  EXPECT_EQ(plugin->Text(testhost::kVolumeL, 1.0), "0.0 dB");
  double unity = 0.0;
  EXPECT_TRUE(plugin->TextToValue(testhost::kVolumeL, "0.0 dB", &unity));
  EXPECT_EQ(unity, 1.0) << "the default reads back as itself, not as silence";
  plugin->SetValue(testhost::kSyncToHost, 0.0);
  plugin->SetValue(testhost::kFreqRange, 2.0);
  for (const testhost::TypedText& t : testhost::TypedTexts()) {
    double v = -99.0;
    ASSERT_TRUE(plugin->TextToValue(static_cast<uint32_t>(t.param), t.typed, &v)) << t.typed;
    EXPECT_EQ(plugin->Text(static_cast<uint32_t>(t.param), v), t.shown) << t.typed;
  }
  EXPECT_EQ(plugin->Text(testhost::kMixL, 0.25), "75:25");
  EXPECT_EQ(plugin->Text(testhost::kModeL, 1.7), "Real");  // stepped values truncate
  EXPECT_EQ(plugin->Text(15, 0.0), "<failed>");
  EXPECT_EQ(plugin->Text(0, std::nan("")), "<failed>");
  char small[4];
  ASSERT_TRUE(plugin->params()->value_to_text(plugin->plugin(), testhost::kLfoWaveform, 1.0, small, sizeof small));
  EXPECT_STREQ(small, "Tri");  // cut to the buffer, terminated
}

TEST_F(Params, TextEntryAndExactValues) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  double v = -5.0;
  EXPECT_TRUE(plugin->TextToValue(testhost::kLfoWaveform, "Ramp Up", &v));
  EXPECT_EQ(v, 4.0);
  EXPECT_FALSE(plugin->TextToValue(testhost::kLfoWaveform, "Sawtooth", &v));
  plugin->SetValue(testhost::kFreqRange, 2.0);  // 500 Hz
  EXPECT_TRUE(plugin->TextToValue(testhost::kFreqMaxL, "+125.0 Hz", &v));  // a quarter of the range
  EXPECT_EQ(v, 0.5);
  EXPECT_TRUE(plugin->TextToValue(testhost::kVolumeL, "+20 dB", &v));
  EXPECT_EQ(v, 4.0);  // clamped to the range
  EXPECT_FALSE(plugin->TextToValue(99, "1", &v));
  EXPECT_FALSE(plugin->TextToValue(testhost::kVolumeL, "1", nullptr));

  // Host values are stored exactly; stepped ones truncate; out-of-range ones
  // clamp; non-finite ones and unknown ids change nothing.
  EventList events;
  events.Value(0, testhost::kLfoRate, 0.45);
  events.Value(0, testhost::kVolumeR, 2.2500000000000004);
  events.Value(0, testhost::kModeL, 1.9);
  events.Value(0, testhost::kFreqMinL, -3.0);
  events.Value(0, testhost::kMixL, std::nan(""));
  events.Value(0, testhost::kMixR, INFINITY);
  events.Value(0, 15, 1.0);
  plugin->Flush(&events);
  EXPECT_EQ(plugin->Value(testhost::kLfoRate), 0.45);
  EXPECT_EQ(plugin->Value(testhost::kVolumeR), 2.2500000000000004);
  EXPECT_EQ(plugin->Value(testhost::kModeL), 1.0);
  EXPECT_EQ(plugin->Value(testhost::kFreqMinL), -1.0);
  EXPECT_EQ(plugin->Value(testhost::kMixL), 0.5);
  EXPECT_EQ(plugin->Value(testhost::kMixR), 0.5);
  double out = 0.0;
  EXPECT_FALSE(plugin->params()->get_value(plugin->plugin(), 15, &out));
  EXPECT_FALSE(plugin->params()->get_value(plugin->plugin(), 0, nullptr));
}

}  // namespace
}  // namespace claphost
