#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "plugin/ParamRecord.h"

namespace {

TEST(ParamRecord, StepRoundingOnlyForSteppedKinds) {
  ParamRecord continuous;
  continuous.SetupDouble("c", 0.0, 0.0, 10.0, 1.0, 1.0);
  ParamRecord stepped;
  stepped.type = kTypeEnum;
  stepped.SetupDouble("e", 0.0, 0.0, 10.0, 1.0, 1.0);
  EXPECT_EQ(continuous.type, kTypeDouble);
  EXPECT_EQ(stepped.type, kTypeEnum);
  continuous.SetFromNormalized(0.55);
  stepped.SetFromNormalized(0.55);
  EXPECT_DOUBLE_EQ(continuous.value, 5.5);
  EXPECT_EQ(stepped.value, 6.0);
  continuous.SetFromNormalized(1.2);
  stepped.SetFromNormalized(1.2);
  EXPECT_EQ(continuous.value, 10.0);
  EXPECT_EQ(stepped.value, 10.0);
  continuous.SetFromNormalized(-0.1);  // no lower clamp here
  EXPECT_DOUBLE_EQ(continuous.value, -1.0);
}

TEST(ParamRecord, ShapedNormalisation) {
  ParamRecord p;
  p.SetupDouble("f", 20.0, 20.0, 20000.0, 0.001, 2.0);
  p.value = 20.0;
  EXPECT_EQ(p.NormalizedValue(), 0.0);
  p.value = 20000.0;
  EXPECT_EQ(p.NormalizedValue(), 1.0);
  EXPECT_DOUBLE_EQ(p.NormalizeValue(5015.0), 0.5);
  EXPECT_EQ(p.NormalizeValue(-5.0), 0.0);
  p.SetFromNormalized(0.5);
  EXPECT_DOUBLE_EQ(p.value, 5015.0);
}

TEST(ParamRecord, SetupRules) {
  ParamRecord p;
  p.SetupDouble("x", 5.0, 5.0, 5.0, 1.0, 0.0);
  EXPECT_EQ(p.maximum, 6.0);
  EXPECT_EQ(p.shape, 1.0);
  const double steps[] = {1.0, 0.5, 0.25, 0.01, 0.001, 1e-9};
  const int precisions[] = {0, 1, 2, 2, 3, 6};
  for (int i = 0; i < 6; ++i) {
    p.SetupDouble("x", 0.0, 0.0, 1.0, steps[i], 1.0);
    EXPECT_EQ(p.displayPrecision, precisions[i]) << steps[i];
  }
}

TEST(ParamRecord, FormatValue) {
  ParamRecord p;
  char text[kParamTextSize];
  p.SetupDouble("x", 0.0, -10.0, 10.0, 0.01, 1.0);
  p.FormatValue(3.14159, false, text, true);
  EXPECT_STREQ(text, "3.14");
  p.SetupDouble("x", 0.0, -10.0, 10.0, 1.0, 1.0);
  p.FormatValue(-2.7, false, text, true);
  EXPECT_STREQ(text, "-2");
  p.SetupDouble("x", 0.0, -10.0, 10.0, 0.5, 1.0);
  p.negateDisplay = true;
  p.FormatValue(1.5, false, text, true);
  EXPECT_STREQ(text, "-1.5");
  p.FormatValue(1e300, false, text, true);  // stays inside the text's size
  EXPECT_LT(std::strlen(text), static_cast<size_t>(kParamTextSize));

  ParamRecord onOff;
  onOff.type = kTypeEnum;
  onOff.SetupDouble("s", 0.0, 0.0, 1.0, 1.0, 1.0);
  onOff.AddValueText(0, "Off");
  onOff.AddValueText(1, "On");
  onOff.FormatValue(1.0, false, text, true);
  EXPECT_STREQ(text, "On");
  onOff.FormatValue(1.0, false, text, false);
  EXPECT_STREQ(text, "1");
  onOff.FormatValue(0.9, true, text, true);  // normalised 0.9 is 0.9: truncates to Off
  EXPECT_STREQ(text, "Off");
  std::strcpy(onOff.label, "unit");
  onOff.value = 1.0;
  EXPECT_STREQ(onOff.LabelText(), "");
  onOff.FormatValue(std::nan(""), false, text, true);  // no crash on a NaN
}

TEST(ParamRecord, StoredValuesAreClamped) {
  ParamRecord p;
  p.SetupDouble("x", 0.25, 0.0, 1.0, 0.001, 1.0);
  p.SetClamped(7.0);
  EXPECT_EQ(p.value, 1.0);
  p.SetClamped(-7.0);
  EXPECT_EQ(p.value, 0.0);
  p.SetClamped(std::nan(""));
  EXPECT_EQ(p.value, 0.25);
}

TEST(ParseLeadingNumber, ReadsLikeTheCLibraryWhateverTheLocale) {
  EXPECT_EQ(ParseLeadingNumber("1.5"), 1.5);
  EXPECT_EQ(ParseLeadingNumber("  -0.25dB"), -0.25);
  EXPECT_EQ(ParseLeadingNumber("+3"), 3.0);
  EXPECT_EQ(ParseLeadingNumber("abc"), 0.0);
  EXPECT_EQ(ParseLeadingNumber(""), 0.0);
  EXPECT_EQ(ParseLeadingNumber("1e400"), HUGE_VAL);
  EXPECT_EQ(ParseLeadingNumber("--1"), 0.0);
}

}  // namespace
