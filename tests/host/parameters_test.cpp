// Parameters as a host sees them: names, display texts, labels, the 0..1
// mapping through setParameter/getParameter, text entry.
#include <clocale>
#include <string>

#include "tests/host/HostTestSupport.h"

namespace testhost {
namespace {

using Parameters = HostTest;

const char* const kNames[kNumParams] = {
    "Link L+R",   "Volume L",   "Volume R",   "Mix L",        "Mix R",    "Mode L",      "Mode R",      "Freq Range",
    "Freq Min L", "Freq Min R", "Freq Max L", "Freq Max R",   "LFO Waveform", "LFO Rate", "Sync to Host"};

TEST_F(Parameters, NamesAndLabels) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  for (VstInt32 i = 0; i < kNumParams; ++i) {
    EXPECT_EQ(plugin->ParamName(i), kNames[i]) << "parameter " << i;
    // No parameter has a unit label; enumerations show their value text.
    EXPECT_EQ(plugin->ParamLabel(i), "") << "parameter " << i;
  }
}

// The instance starts on factory program 0, "Weird Stereo Phasing".
TEST_F(Parameters, FreshInstanceShowsTheFirstFactoryProgram) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  EXPECT_EQ(plugin->ProgramName(), "Weird Stereo Phasing");
  const char* const expected[kNumParams] = {"On",  "0.0", "0.0", "50:50",    "50:50",   "Input", "Input", "5",
                                            "-5.000 Hz", "-5.000 Hz", "+5.000 Hz", "+5.000 Hz", "Triangle", "0.40 Hz", "Off"};
  for (VstInt32 i = 0; i < kNumParams; ++i) {
    EXPECT_EQ(plugin->ParamDisplay(i), expected[i]) << kNames[i];
  }
}

// Every parameter set to its declared default through the host's 0..1 range.
TEST_F(Parameters, DefaultsDisplay) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  struct Default {
    Param index;
    float normalised;
    const char* display;
  };
  const Default defaults[] = {
      {kLink, 0.0f, "Off"},          {kVolumeL, 0.5f, "0.0"},       {kVolumeR, 0.5f, "0.0"},
      {kMixL, 0.5f, "50:50"},        {kMixR, 0.5f, "50:50"},        {kModeL, 1.0f, "Input"},
      {kModeR, 1.0f, "Input"},       {kFreqRange, 2.0f / 3.0f, "500"}, {kFreqMinL, 0.5f, "0.0 Hz"},
      {kFreqMinR, 0.5f, "0.0 Hz"},   {kFreqMaxL, 0.5f, "0.0 Hz"},   {kFreqMaxR, 0.5f, "0.0 Hz"},
      {kLfoWaveform, 0.0f, "Off"},   {kLfoRate, 1.0f, "40.00 Hz"},  {kSyncToHost, 0.0f, "Off"},
  };
  for (const auto& d : defaults) plugin->SetParameter(d.index, d.normalised);
  for (const auto& d : defaults) {
    EXPECT_EQ(plugin->ParamDisplay(d.index), d.display) << kNames[d.index];
    EXPECT_NEAR(plugin->GetParameter(d.index), d.normalised, 1e-6) << kNames[d.index];
    EXPECT_EQ(plugin->ParamLabel(d.index), "") << kNames[d.index];
  }
}

// Volume and LFO Rate have shape 2: the host's value is the square root of
// the position in the range.
TEST_F(Parameters, ShapeTwoNormalisation) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  plugin->SetParameter(kLink, 0.0f);

  plugin->SetParameter(kVolumeL, 0.5f);  // 0.25 of 0..4 = 1.0
  EXPECT_EQ(plugin->ParamDisplay(kVolumeL), "0.0");
  EXPECT_FLOAT_EQ(plugin->GetParameter(kVolumeL), 0.5f);

  plugin->SetParameter(kVolumeL, 1.0f);  // 4.0
  EXPECT_EQ(plugin->ParamDisplay(kVolumeL), "12.0");
  EXPECT_FLOAT_EQ(plugin->GetParameter(kVolumeL), 1.0f);

  plugin->SetParameter(kVolumeL, 0.25f);  // 0.0625 of 4 = 0.25, -12.04 dB
  EXPECT_EQ(plugin->ParamDisplay(kVolumeL), "-12.0");
  EXPECT_FLOAT_EQ(plugin->GetParameter(kVolumeL), 0.25f);

  plugin->SetParameter(kVolumeL, 0.0f);
  EXPECT_EQ(plugin->ParamDisplay(kVolumeL), "-oo");
  EXPECT_EQ(plugin->GetParameter(kVolumeL), 0.0f);

  // Unlinked, the right channel kept its value.
  EXPECT_EQ(plugin->ParamDisplay(kVolumeR), "0.0");

  plugin->SetParameter(kLfoRate, 0.5f);  // 0.25 -> 10 cycles a second
  EXPECT_EQ(plugin->ParamDisplay(kLfoRate), "10.00 Hz");
  EXPECT_FLOAT_EQ(plugin->GetParameter(kLfoRate), 0.5f);
  plugin->SetParameter(kLfoRate, 0.1f);  // 0.01 -> 0.4 cycles a second
  EXPECT_EQ(plugin->ParamDisplay(kLfoRate), "0.40 Hz");
  EXPECT_NEAR(plugin->GetParameter(kLfoRate), 0.1f, 1e-6);
}

TEST_F(Parameters, LinearContinuousDisplays) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  plugin->SetParameter(kLink, 0.0f);

  plugin->SetParameter(kMixL, 0.0f);
  EXPECT_EQ(plugin->ParamDisplay(kMixL), "Dry");
  plugin->SetParameter(kMixL, 1.0f);
  EXPECT_EQ(plugin->ParamDisplay(kMixL), "Wet");
  plugin->SetParameter(kMixL, 0.25f);
  EXPECT_EQ(plugin->ParamDisplay(kMixL), "75:25");
  EXPECT_FLOAT_EQ(plugin->GetParameter(kMixL), 0.25f);

  // Freq shows the shift in hertz of the selected range, with its sign:
  // -0.6 -> -0.36 of the range.
  plugin->SetParameter(kFreqMaxL, 0.2f);
  EXPECT_EQ(plugin->ParamDisplay(kFreqMaxL), "-1.800 Hz");
  EXPECT_NEAR(plugin->GetParameter(kFreqMaxL), 0.2f, 1e-6);
  plugin->SetParameter(kFreqRange, 1.0f);
  EXPECT_EQ(plugin->ParamDisplay(kFreqMaxL), "-1800 Hz");
  plugin->SetParameter(kFreqMinR, 0.0f);
  EXPECT_EQ(plugin->ParamDisplay(kFreqMinR), "-5000 Hz");
  plugin->SetParameter(kFreqMinR, 0.9f);  // 0.8
  EXPECT_EQ(plugin->ParamDisplay(kFreqMinR), "+3200 Hz");
}

// Enumerations round to the nearest step, halves up, and clamp at the top.
TEST_F(Parameters, EnumerationRounding) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  plugin->SetParameter(kLink, 0.0f);

  struct Case {
    Param index;
    float normalised;
    const char* display;
    float readBack;
  };
  const Case cases[] = {
      {kFreqRange, 0.5f, "500", 2.0f / 3.0f},  // 1.5 rounds up to 2
      {kFreqRange, 0.49f, "50", 1.0f / 3.0f},  // 1.47
      {kFreqRange, 0.17f, "50", 1.0f / 3.0f},  // 0.51
      {kFreqRange, 0.16f, "5", 0.0f},          // 0.48
      {kFreqRange, 1.0f, "5000", 1.0f},
      {kFreqRange, 1.2f, "5000", 1.0f},        // 3.6 -> 4, clamped to 3
      {kModeL, 0.25f, "Real", 0.5f},           // 0.5 rounds up to 1
      {kModeL, 0.24f, "Imag.", 0.0f},
      {kModeR, 0.76f, "Input", 1.0f},
      {kLfoWaveform, 0.5f, "Ramp Dn", 0.6f},   // 2.5 rounds up to 3
      {kLfoWaveform, 0.3f, "Square", 0.4f},
      {kLfoWaveform, 0.85f, "Ramp Up", 0.8f},
      {kLfoWaveform, 1.0f, "S/H", 1.0f},
      {kLfoWaveform, 0.15f, "Triangle", 0.2f},
      {kSyncToHost, 0.5f, "On", 1.0f},
      {kSyncToHost, 0.49f, "Off", 0.0f},
      {kLink, 0.5f, "On", 1.0f},
      {kLink, 0.2f, "Off", 0.0f},
  };
  for (const auto& c : cases) {
    plugin->SetParameter(c.index, c.normalised);
    EXPECT_EQ(plugin->ParamDisplay(c.index), c.display) << kNames[c.index] << " at " << c.normalised;
    EXPECT_NEAR(plugin->GetParameter(c.index), c.readBack, 1e-6) << kNames[c.index] << " at " << c.normalised;
  }
}

TEST_F(Parameters, LfoRateShowsTheDivisionWhileSynced) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  plugin->SetParameter(kLfoRate, 1.0f);
  plugin->SetParameter(kSyncToHost, 1.0f);
  EXPECT_EQ(plugin->ParamDisplay(kLfoRate), "1/16");
  plugin->SetParameter(kLfoRate, 0.0f);
  EXPECT_EQ(plugin->ParamDisplay(kLfoRate), "16/1");
  plugin->SetParameter(kSyncToHost, 0.0f);
  EXPECT_EQ(plugin->ParamDisplay(kLfoRate), "0.00 Hz");
}

TEST_F(Parameters, TextEntryBeyondTheRangeStoresTheLimit) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  plugin->SetParameter(kLink, 0.0f);

  EXPECT_EQ(plugin->SetParameterText(kVolumeL, "10"), 1);
  EXPECT_FLOAT_EQ(plugin->GetParameter(kVolumeL), 1.0f);
  EXPECT_EQ(plugin->ParamDisplay(kVolumeL), "12.0");

  EXPECT_EQ(plugin->SetParameterText(kVolumeL, "-3"), 1);
  EXPECT_EQ(plugin->GetParameter(kVolumeL), 0.0f);
  EXPECT_EQ(plugin->ParamDisplay(kVolumeL), "-oo");

  EXPECT_EQ(plugin->SetParameterText(kFreqMaxR, "7.5"), 1);
  EXPECT_FLOAT_EQ(plugin->GetParameter(kFreqMaxR), 1.0f);
}

TEST_F(Parameters, TextEntryReadsTheLeadingNumber) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  plugin->SetParameter(kLink, 0.0f);
  EXPECT_EQ(plugin->SetParameterText(kMixL, "0.25"), 1);
  EXPECT_FLOAT_EQ(plugin->GetParameter(kMixL), 0.25f);
  EXPECT_EQ(plugin->ParamDisplay(kMixL), "75:25");
  // A bare number is the value itself: 2.5 of 0..4, normalised sqrt(2.5 / 4).
  EXPECT_EQ(plugin->SetParameterText(kVolumeL, "2.5"), 1);
  EXPECT_NEAR(plugin->GetParameter(kVolumeL), 0.790569, 1e-5);
  EXPECT_EQ(plugin->ParamDisplay(kVolumeL), "8.0");
  // With its unit, a text means what the display means.
  for (const char* text : {"2.5 dB", "2.5dB", " 2.5 db "}) {
    EXPECT_EQ(plugin->SetParameterText(kVolumeL, text), 1) << text;
    EXPECT_EQ(plugin->ParamDisplay(kVolumeL), "2.5") << text;
  }
  EXPECT_EQ(plugin->SetParameterText(kVolumeL, "-inf dB"), 1);
  EXPECT_EQ(plugin->ParamDisplay(kVolumeL), "-oo");
  EXPECT_EQ(plugin->SetParameterText(kMixL, "Wet"), 1);
  EXPECT_EQ(plugin->ParamDisplay(kMixL), "Wet");
  EXPECT_EQ(plugin->SetParameterText(kMixL, "60:40"), 1);
  EXPECT_EQ(plugin->ParamDisplay(kMixL), "60:40");
  // No step rounding on this path.
  EXPECT_EQ(plugin->SetParameterText(kFreqMinL, "0.1234"), 1);
  EXPECT_NEAR(plugin->GetParameter(kFreqMinL), (0.1234 + 1.0) / 2.0, 1e-6);
}

TEST_F(Parameters, TextEntryOfEnumerationsMatchesValueTextsExactly) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  plugin->SetParameter(kLink, 0.0f);
  plugin->SetParameter(kFreqRange, 0.0f);

  EXPECT_EQ(plugin->SetParameterText(kFreqRange, "5000"), 1);
  EXPECT_EQ(plugin->ParamDisplay(kFreqRange), "5000");
  EXPECT_EQ(plugin->SetParameterText(kFreqRange, "7"), 0);  // not a value text
  EXPECT_EQ(plugin->ParamDisplay(kFreqRange), "5000");

  EXPECT_EQ(plugin->SetParameterText(kModeL, "Real"), 1);
  EXPECT_EQ(plugin->ParamDisplay(kModeL), "Real");
  EXPECT_EQ(plugin->SetParameterText(kModeL, "real"), 0);  // case matters
  EXPECT_EQ(plugin->ParamDisplay(kModeL), "Real");

  EXPECT_EQ(plugin->SetParameterText(kLink, "On"), 1);
  EXPECT_EQ(plugin->ParamDisplay(kLink), "On");
}

TEST_F(Parameters, TextEntryWithBadArguments) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  const std::string before = plugin->ParamDisplay(kMixL);
  EXPECT_EQ(plugin->SetParameterText(15, "0.5"), 0);
  EXPECT_EQ(plugin->SetParameterText(-1, "0.5"), 0);
  // A valid index without text: accepted, nothing changes.
  EXPECT_EQ(plugin->Dispatch(effString2Parameter, kMixL, 0, nullptr), 1);
  EXPECT_EQ(plugin->ParamDisplay(kMixL), before);
}

// Hosts in a German locale must still read and see "1.5", not "1,5".
TEST_F(Parameters, NumbersDoNotFollowTheProcessLocale) {
  const char* const candidates[] = {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "German_Germany.1252", "German"};
  const char* chosen = nullptr;
  for (const char* name : candidates) {
    if (std::setlocale(LC_NUMERIC, name)) {
      chosen = name;
      break;
    }
  }
  if (!chosen) GTEST_SKIP() << "no German locale on this machine";
  struct RestoreLocale {
    ~RestoreLocale() { std::setlocale(LC_NUMERIC, "C"); }
  } restore;

  auto plugin = Running();
  ASSERT_TRUE(plugin);
  plugin->SetParameter(kLink, 0.0f);
  plugin->SetParameter(kVolumeL, 1.0f);
  EXPECT_EQ(plugin->ParamDisplay(kVolumeL), "12.0") << "locale " << chosen;
  EXPECT_EQ(plugin->SetParameterText(kMixL, "0.25"), 1);
  EXPECT_FLOAT_EQ(plugin->GetParameter(kMixL), 0.25f) << "locale " << chosen;
}

}  // namespace
}  // namespace testhost
