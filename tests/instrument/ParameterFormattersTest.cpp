#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "instrument/ParameterFormatters.h"

namespace tessaron {
namespace {

std::string Formatted(void (*formatter)(double, char*), double value) {
  char text[kFormatterTextSize];
  formatter(value, text);
  return text;
}

TEST(ParameterFormatters, ExactTexts) {
  EXPECT_EQ(Formatted(FormatLevelDb, 0.0), "-oo");
  EXPECT_EQ(Formatted(FormatLevelDb, -1.0), "-oo");
  EXPECT_EQ(Formatted(FormatLevelDb, 0.5), "-6.0");
  EXPECT_EQ(Formatted(FormatLevelDb, 1.0), "0.0");

  EXPECT_EQ(Formatted(FormatBalance, 0.5), "50:50");
  EXPECT_EQ(Formatted(FormatBalance, 0.0), "100:0");
  EXPECT_EQ(Formatted(FormatBalance, 0.25), "75:25");
  EXPECT_EQ(Formatted(FormatBalance, 1.0), "0:100");

  EXPECT_EQ(Formatted(FormatCutoff, 0.0), "8.2");
  EXPECT_EQ(Formatted(FormatCutoff, 0.8), "4186");
  EXPECT_EQ(Formatted(FormatCutoff, 1.0), "19912");

  EXPECT_EQ(Formatted(FormatSyncDivision, 1.0), "2/1");
  EXPECT_EQ(Formatted(FormatSyncDivision, 0.0), "1/64");
  EXPECT_EQ(Formatted(FormatSyncDivision, 0.5), "1/8");
  EXPECT_EQ(Formatted(FormatSyncDivision, 5.0), "2/1");  // clamped into the table
  EXPECT_EQ(SyncDivisionIndex(std::numeric_limits<double>::quiet_NaN()), 0);
}

}  // namespace
}  // namespace tessaron
