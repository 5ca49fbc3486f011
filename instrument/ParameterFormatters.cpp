#include "instrument/ParameterFormatters.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "dsp/PitchToHz.h"

namespace tessaron {
namespace {

constexpr const char* kSyncDivisionNames[kSyncDivisionCount] = {
    "2/1", "1/1.",  "1/1",  "1/2.", "1/2",   "1/4.",  "1/2T", "1/4",   "1/8.",  "1/4T",
    "1/8", "1/16.", "1/8T", "1/16", "1/32.", "1/16T", "1/32", "1/64.", "1/32T", "1/64",
};

// Appends value with a fixed number of decimals; answers the new end.
char* AppendFixed(char* out, char* end, double value, int decimals) {
  auto result = std::to_chars(out, end, value, std::chars_format::fixed, decimals);
  return result.ec == std::errc() ? result.ptr : out;
}

// Formatted numbers are built in a roomy buffer, then cut to the host's text size.
void CopyBounded(char* text, const char* buffer) {
  const std::size_t n = std::min(std::strlen(buffer), std::size_t(kFormatterTextSize - 1));
  std::memcpy(text, buffer, n);
  text[n] = '\0';
}

void WriteFixed(double value, int decimals, char* text) {
  char buffer[400];
  char* end = AppendFixed(buffer, buffer + sizeof(buffer) - 1, value, decimals);
  *end = '\0';
  CopyBounded(text, buffer);
}

}  // namespace

void FormatLevelDb(double value, char* text) {
  if (!(value > 0.0)) {
    std::strcpy(text, "-oo");
    return;
  }
  WriteFixed(20.0 * std::log10(value), 1, text);
}

void FormatBalance(double value, char* text) {
  char buffer[820];
  char* const last = buffer + sizeof(buffer) - 1;
  char* p = AppendFixed(buffer, last, (1.0 - value) * 100.0, 0);
  *p++ = ':';
  p = AppendFixed(p, last, value * 100.0, 0);
  *p = '\0';
  CopyBounded(text, buffer);
}

void FormatCutoff(double value, char* text) {
  const double scaled = std::clamp(std::round(value * kPitchLimit), -1.0 * kPitchLimit, 1.0 * kPitchLimit);
  const double hz = PitchToHz(std::isnan(scaled) ? 0 : static_cast<int32_t>(scaled));
  WriteFixed(hz, hz < 100.0 ? 1 : 0, text);
}

int SyncDivisionIndex(double value) {
  const double i = std::round((1.0 - value) * (kSyncDivisionCount - 1));
  if (std::isnan(i)) return 0;
  return static_cast<int>(std::clamp(i, 0.0, kSyncDivisionCount - 1.0));
}

const char* SyncDivisionName(int index) { return kSyncDivisionNames[std::clamp(index, 0, kSyncDivisionCount - 1)]; }

void FormatSyncDivision(double value, char* text) { std::strcpy(text, SyncDivisionName(SyncDivisionIndex(value))); }

}  // namespace tessaron
