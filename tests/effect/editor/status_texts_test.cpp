// The status line names the shift in hertz of the selected range with its
// sign, and the LFO rate as the oscillator's frequency or its division: the
// same texts the host shows.
#include "tests/effect/editor/EditorTestSupport.h"

namespace edtest {
namespace {

using StatusTexts = EditorTest;

TEST_F(StatusTexts, ShiftsAndRateCarryTheirRealValues) {
  Open();
  SetParam(kLink, 0.0f);
  struct Case {
    int range;
    float normalised;  // of the shift: 0.25 is -0.5, 0.75 is +0.5
    const char* text;
  };
  const Case cases[] = {
      {0, 0.75f, "Freq Max L: +1.250 Hz"}, {0, 0.25f, "Freq Max L: -1.250 Hz"}, {0, 0.5f, "Freq Max L: 0.000 Hz"},
      {1, 0.75f, "Freq Max L: +12.50 Hz"}, {1, 0.25f, "Freq Max L: -12.50 Hz"}, {1, 0.5f, "Freq Max L: 0.00 Hz"},
      {2, 0.75f, "Freq Max L: +125.0 Hz"}, {2, 0.25f, "Freq Max L: -125.0 Hz"}, {2, 0.5f, "Freq Max L: 0.0 Hz"},
      {3, 0.75f, "Freq Max L: +1250 Hz"},  {3, 0.25f, "Freq Max L: -1250 Hz"},  {3, 0.5f, "Freq Max L: 0 Hz"},
  };
  for (const Case& c : cases) {
    SetParam(kFreqRange, static_cast<float>(c.range / 3.0));
    SetParam(kFreqMaxL, c.normalised);
    plug->ShowStatusText(kFreqMaxL);
    EXPECT_EQ(StatusText(), c.text);
  }
  SetParam(kFreqRange, 1.0f);
  SetParam(kFreqMinR, 0.2f);  // -0.6: 0.36 of 5000 Hz downward
  plug->ShowStatusText(kFreqMinR);
  EXPECT_EQ(StatusText(), "Freq Min R: -1800 Hz");

  SetParam(kSyncToHost, 0.0f);
  SetParam(kLfoRate, 0.5f);
  plug->ShowStatusText(kLfoRate);
  EXPECT_EQ(StatusText(), "LFO Rate: 10.00 Hz");
  SetParam(kSyncToHost, 1.0f);
  plug->ShowStatusText(kLfoRate);
  EXPECT_EQ(StatusText(), "LFO Rate: 1/2.");  // sqrt(0.25) * 19 = 9.5 rounds to 10
}

}  // namespace
}  // namespace edtest
