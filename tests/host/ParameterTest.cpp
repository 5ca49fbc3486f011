#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>

#include "instrument/Tessaron.h"
#include "host/IParameter.h"
#include "host/Text.h"

namespace tessaron {
namespace {

std::string Display(const IParameter& p, double value, bool normalized = false) {
  char text[kParamTextSize];
  p.FormatForHost(value, normalized, text, true);
  return text;
}

TEST(IParameter, InitContinuousDerivesPrecisionAndBounds) {
  const double steps[] = {1, 0.1, 0.01, 0.05, 0.005, 0.001, 1e-9};
  const int precisions[] = {0, 1, 2, 2, 3, 3, 6};
  for (int i = 0; i < 7; ++i) {
    IParameter p;
    p.InitContinuous("x", 0, 0, 1, steps[i], 1);
    EXPECT_EQ(p.Precision(), precisions[i]) << "step " << steps[i];
  }
  IParameter raised;
  raised.InitContinuous("x", 2, 2, 2.5, 1, 0);
  EXPECT_DOUBLE_EQ(raised.Max(), 3.0);
  EXPECT_DOUBLE_EQ(raised.Shape(), 1.0);  // shape 0 keeps the previous shape
  EXPECT_EQ(raised.GetType(), IParameter::kTypeContinuous);

  IParameter longName;
  longName.InitContinuous("A name that is much longer than thirty-one characters", 0, 0, 1, 1, 1);
  EXPECT_EQ(std::string(longName.Name()).size(), 31u);
}

TEST(IParameter, NormalisationFollowsShapeAndSnapsOnlyChoices) {
  Tessaron t(nullptr);
  t.SelectProgram(kProgramCount - 1);  // the factory bank's "Init" holds the defaults
  IParameter& cutoff = *t.GetParam(kVcfCutoff);
  EXPECT_NEAR(cutoff.GetNormalized(), 0.64, 1e-12);
  cutoff.SetFromNormalized(0.5);
  EXPECT_NEAR(cutoff.Value(), 0.70710678118654752, 1e-12);  // continuous: not snapped

  IParameter& speed = *t.GetParam(kModSpeed);
  speed.SetFromNormalized(0.5);
  EXPECT_DOUBLE_EQ(speed.Value(), 6.25);

  IParameter& direction = *t.GetParam(kGlideDirection);
  direction.SetFromNormalized(0.4);
  EXPECT_DOUBLE_EQ(direction.Value(), 1.0);
  EXPECT_EQ(Display(direction, direction.Value()), "B");
  direction.SetFromNormalized(0.9);
  EXPECT_DOUBLE_EQ(direction.Value(), 3.0);
  EXPECT_EQ(Display(direction, direction.Value()), "D");

  const IParameter& alternate = *t.GetParam(kWaveAlternate);
  EXPECT_EQ(Display(alternate, alternate.Value()), "Off");
  EXPECT_DOUBLE_EQ(alternate.GetNormalized(), 1.0);
  EXPECT_STREQ(alternate.LabelForHost(), "");

  // Out-of-range normalised inputs are clamped, NaN is refused and the value stays.
  IParameter& bend = *t.GetParam(kBendRange);
  bend.SetFromNormalized(1.7);
  EXPECT_DOUBLE_EQ(bend.Value(), 24.0);
  bend.SetFromNormalized(-3.0);
  EXPECT_DOUBLE_EQ(bend.Value(), -24.0);
  EXPECT_FALSE(bend.SetFromNormalized(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_DOUBLE_EQ(bend.Value(), -24.0);
  EXPECT_EQ(Display(bend, bend.Value()), "-24");
  EXPECT_DOUBLE_EQ(bend.GetNormalized(99.0), 1.0);  // GetNormalized clamps into the range
}

TEST(IParameter, EveryDefaultHasTheDocumentedNormalisedValue) {
  const double expected[kParameterCount] = {
      0.541667, 0.1,      0.5,  0, 0,   0.5, 0.5,   0.5, 0,        0,        1,    0,    0.5,      0,   0.5, 0,   0,
      0,        0,        0.18, 0, 0,   0,   1,     0,   0.64,     0,        0.5,  0,    0,        1,   0.1, 0,   0,
      0,        0.428952, 0,    0, 0,   0.5, 0.5,   0.2, 0.3,      0.087178, 0.35, 0,    0,        0,   0.5, 0.3, 0,
      0,        0,        1,    0, 0.5, 0,   0.125, 0.3, 0.169706, 0.447214, 0.12, 0.04, 0.028284, 0.2, 0.5};
  Tessaron t(nullptr);
  t.SelectProgram(kProgramCount - 1);  // the factory bank's "Init" holds the defaults
  for (int i = 0; i < kParameterCount; ++i) {
    const IParameter& p = *t.GetParam(i);
    EXPECT_NEAR(p.GetNormalized(), expected[i], 5e-7) << i << " " << p.Name();
    EXPECT_DOUBLE_EQ(p.Value(), p.Default()) << i;
  }
}

TEST(IParameter, DisplayTextsAndPlainNumbers) {
  IParameter p;
  p.SetType(IParameter::kTypeChoice);
  p.InitContinuous("c", 0, 0, 2, 1, 1);
  p.AddDisplayText(0, "Zero");
  p.AddDisplayText(1, "");
  p.AddDisplayText(0, "Shadowed");
  EXPECT_EQ(Display(p, 0), "Zero");
  EXPECT_EQ(Display(p, 1), "1");  // an empty text falls through to the number
  EXPECT_EQ(Display(p, 2), "2");
  EXPECT_EQ(Display(p, 0.5, true), "1");  // normalised input, no snapping, truncated

  IParameter tune;
  tune.InitContinuous("t", 0, -7, 7, 0.001, 1);
  EXPECT_EQ(Display(tune, -0.25), "-0.250");
  EXPECT_EQ(Display(tune, 1.0, true), "7.000");
}

TEST(Text, ParseDecimalAcceptsOnlyPlainNumbers) {
  EXPECT_DOUBLE_EQ(ParseDecimal("  -1.5e1"), -15.0);
  EXPECT_DOUBLE_EQ(ParseDecimal("+.5"), 0.5);
  EXPECT_DOUBLE_EQ(ParseDecimal("3 dB"), 3.0);
  EXPECT_DOUBLE_EQ(ParseDecimal("2e"), 2.0);
  EXPECT_DOUBLE_EQ(ParseDecimal("abc"), 0.0);
  EXPECT_DOUBLE_EQ(ParseDecimal("nan"), 0.0);
  EXPECT_DOUBLE_EQ(ParseDecimal("inf"), 0.0);
  EXPECT_DOUBLE_EQ(ParseDecimal(""), 0.0);
  EXPECT_DOUBLE_EQ(ParseDecimal(nullptr), 0.0);
  EXPECT_GT(ParseDecimal("1e999"), 1e300);
  EXPECT_DOUBLE_EQ(ParseDecimal("1e-999"), 0.0);

  char small[4];
  EXPECT_EQ(CopyText(small, sizeof(small), "abcdef"), 3u);
  EXPECT_STREQ(small, "abc");
  // A character straddling the limit is dropped whole, never split.
  const std::pair<const char*, const char*> cuts[] = {
      {"ab\xC3\xA9", "ab"}, {"a\xE2\x82\xAC", "a"}, {"\xF0\x9F\x8E\xB9", ""}, {"\xC3\xA9z", "\xC3\xA9z"}};
  for (const auto& [text, kept] : cuts) {
    EXPECT_EQ(CopyText(small, sizeof(small), text), std::strlen(kept));
    EXPECT_STREQ(small, kept);
  }
  EXPECT_EQ(TruncateToInt(-2.9), -2);
  EXPECT_EQ(TruncateToInt(1e20), std::numeric_limits<int32_t>::max());
}

}  // namespace
}  // namespace tessaron
