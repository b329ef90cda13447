// The texts a host shows for the shifts and the LFO rate: the shift in hertz
// of the selected range with its sign and unit, the rate as the oscillator's
// cycles per second or its sync division; and each text read back through
// effString2Parameter to the value it names.
#include <cmath>
#include <string>

#include "tests/host/HostTestSupport.h"

namespace testhost {
namespace {

using DisplayTexts = HostTest;

// The normalised value of a shift v (-1..1, linear).
float ShiftNormalised(double v) { return static_cast<float>((v + 1.0) / 2.0); }
double ShiftOf(float normalised) { return 2.0 * normalised - 1.0; }

TEST_F(DisplayTexts, ShiftsShowHertzWithSignInEveryRange) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  plugin->SetParameter(kLink, 0.0f);
  struct Case {
    int range;
    double shift;
    const char* text;
  };
  // v = +-0.5 shifts by a quarter of the range, +-1 by all of it.
  const Case cases[] = {
      {0, 0.5, "+1.250 Hz"}, {0, -0.5, "-1.250 Hz"}, {0, 0.0, "0.000 Hz"}, {0, -1.0, "-5.000 Hz"},
      {1, 0.5, "+12.50 Hz"}, {1, -0.5, "-12.50 Hz"}, {1, 0.0, "0.00 Hz"},  {1, 1.0, "+50.00 Hz"},
      {2, 0.5, "+125.0 Hz"}, {2, -0.5, "-125.0 Hz"}, {2, 0.0, "0.0 Hz"},   {2, -1.0, "-500.0 Hz"},
      {3, 0.5, "+1250 Hz"},  {3, -0.5, "-1250 Hz"},  {3, 0.0, "0 Hz"},     {3, 1.0, "+5000 Hz"},
  };
  for (const Case& c : cases) {
    plugin->SetParameter(kFreqRange, static_cast<float>(c.range / 3.0));
    for (Param p : {kFreqMinL, kFreqMinR, kFreqMaxL, kFreqMaxR}) {
      plugin->SetParameter(p, ShiftNormalised(c.shift));
      EXPECT_EQ(plugin->ParamDisplay(p), c.text) << "range " << c.range << ", shift " << c.shift;
    }
  }
  // The range changes the text of a shift that stays where it is.
  plugin->SetParameter(kFreqMaxL, ShiftNormalised(-0.6));
  plugin->SetParameter(kFreqRange, 0.0f);
  EXPECT_EQ(plugin->ParamDisplay(kFreqMaxL), "-1.800 Hz");
  plugin->SetParameter(kFreqRange, 1.0f);
  EXPECT_EQ(plugin->ParamDisplay(kFreqMaxL), "-1800 Hz");
}

// Every shown text reads back to the shift it shows, in its own range; other
// spellings of a shift in hertz are read too, a bare number as before.
TEST_F(DisplayTexts, ShiftTextsReadBack) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  plugin->SetParameter(kLink, 0.0f);
  for (int range = 0; range < 4; ++range) {
    plugin->SetParameter(kFreqRange, static_cast<float>(range / 3.0));
    for (double shift : {-1.0, -0.7, -0.25, 0.0, 0.3, 0.8, 1.0}) {
      plugin->SetParameter(kFreqMaxR, ShiftNormalised(shift));
      const std::string shown = plugin->ParamDisplay(kFreqMaxR);
      plugin->SetParameter(kFreqMaxR, 0.5f);
      ASSERT_EQ(plugin->SetParameterText(kFreqMaxR, shown), 1) << shown;
      EXPECT_EQ(plugin->ParamDisplay(kFreqMaxR), shown) << "range " << range;
      // Within the text's rounding: four digits at full scale.
      EXPECT_NEAR(ShiftOf(plugin->GetParameter(kFreqMaxR)) * std::fabs(ShiftOf(plugin->GetParameter(kFreqMaxR))),
                  shift * std::fabs(shift), 2e-4)
          << shown;
    }
  }

  plugin->SetParameter(kFreqRange, 2.0f / 3.0f);  // 500 Hz
  const struct {
    const char* typed;
    const char* shown;
  } spellings[] = {
      {"125 Hz", "+125.0 Hz"},   {"-125hz", "-125.0 Hz"}, {" +500 HZ ", "+500.0 Hz"},
      {"900 Hz", "+500.0 Hz"},   // beyond the range: its end
      {"-2000 Hz", "-500.0 Hz"}, {"0 Hz", "0.0 Hz"},
      {"-0.5", "-125.0 Hz"},     // no unit: the parameter's own value, as before
      {"0.5", "+125.0 Hz"},
  };
  for (const auto& c : spellings) {
    EXPECT_EQ(plugin->SetParameterText(kFreqMinL, c.typed), 1) << c.typed;
    EXPECT_EQ(plugin->ParamDisplay(kFreqMinL), c.shown) << c.typed;
  }
}

TEST_F(DisplayTexts, LfoRateShowsTheOscillatorsFrequencyAndReadsBack) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  plugin->SetParameter(kSyncToHost, 0.0f);
  // Shape 2: the rate v is the square of the host's value; 40 v cycles a second.
  const struct {
    float normalised;
    const char* text;
  } shown[] = {{1.0f, "40.00 Hz"}, {0.5f, "10.00 Hz"}, {0.1f, "0.40 Hz"}, {0.0f, "0.00 Hz"}};
  for (const auto& s : shown) {
    plugin->SetParameter(kLfoRate, s.normalised);
    EXPECT_EQ(plugin->ParamDisplay(kLfoRate), s.text);
    plugin->SetParameter(kLfoRate, 0.7f);
    ASSERT_EQ(plugin->SetParameterText(kLfoRate, s.text), 1) << s.text;
    EXPECT_NEAR(plugin->GetParameter(kLfoRate), s.normalised, 1e-6) << s.text;
  }
  EXPECT_EQ(plugin->SetParameterText(kLfoRate, "20 hz"), 1);
  EXPECT_EQ(plugin->ParamDisplay(kLfoRate), "20.00 Hz");
  EXPECT_EQ(plugin->SetParameterText(kLfoRate, "0.25"), 1);  // no unit: the rate itself
  EXPECT_EQ(plugin->ParamDisplay(kLfoRate), "10.00 Hz");

  // Synced, the division shows and its name reads back to the same division.
  plugin->SetParameter(kSyncToHost, 1.0f);
  for (const char* division : {"16/1", "2/1.", "1/4", "1/4T", "1/16."}) {
    ASSERT_EQ(plugin->SetParameterText(kLfoRate, division), 1) << division;
    EXPECT_EQ(plugin->ParamDisplay(kLfoRate), division);
  }
}

// Every parameter over a grid: what the display shows, with the unit a user
// adds where the display has none ("-6.0 dB", "500 Hz"), types back to the
// same display (the enumerations' texts as they stand: VST 2.4 matches them
// exactly).
TEST_F(DisplayTexts, EveryShownTextWithItsUnitTypesBack) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  plugin->SetParameter(kLink, 0.0f);
  for (VstInt32 p = 1; p < 15; ++p) {
    if (p == kSyncToHost) continue;  // it would change the LFO rate's text
    for (float v : {0.0f, 0.05f, 0.2f, 0.37f, 0.5f, 0.64f, 0.81f, 0.99f, 1.0f}) {
      plugin->SetParameter(p, v);
      const std::string shown = plugin->ParamDisplay(p);
      for (std::string typed : {HostTextOf(p, shown), shown}) {
        if (typed == shown && (p == kVolumeL || p == kVolumeR)) continue;  // a bare number is a gain
        plugin->SetParameter(p, 0.5f == v ? 0.25f : 0.5f);
        EXPECT_EQ(plugin->SetParameterText(p, typed), 1) << typed;
        EXPECT_EQ(plugin->ParamDisplay(p), shown) << "parameter " << p << " typed as " << typed;
      }
    }
  }
}

}  // namespace
}  // namespace testhost
