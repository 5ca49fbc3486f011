#pragma once
// Display texts of the parameters that are not shown as plain numbers. Each writes into a
// buffer of at least kFormatterTextSize bytes and never depends on the process locale.
#include <cstddef>

namespace tessaron {

constexpr std::size_t kFormatterTextSize = 64;
constexpr int kSyncDivisionCount = 20;

// "-oo" at or below 0, else decibels with one decimal.
void FormatLevelDb(double value, char* text);
// "left:right" in percent, "50:50" in the middle.
void FormatBalance(double value, char* text);
// The filter's cutoff in Hz for a 0..1 setting.
void FormatCutoff(double value, char* text);
// The note division a synced delay time selects.
void FormatSyncDivision(double value, char* text);

// Index into the division names for a 0..1 delay time: higher times give shorter divisions.
int SyncDivisionIndex(double value);
const char* SyncDivisionName(int index);

}  // namespace tessaron
