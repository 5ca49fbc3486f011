#include "host/Text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace tessaron {

std::size_t Utf8PrefixLength(const char* text, std::size_t length, std::size_t maxBytes) {
  if (!text || length <= maxBytes) return text ? length : 0;
  std::size_t n = maxBytes;
  // Back up over continuation bytes (10xxxxxx) to the lead byte of the character that was cut.
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return n;
}

std::size_t CopyText(char* dest, std::size_t destSize, const char* src) {
  if (!dest || destSize == 0) return 0;
  std::size_t n = 0;
  if (src) {
    while (n + 1 < destSize && src[n] != '\0') ++n;
    if (src[n] != '\0') n = Utf8PrefixLength(src, n + 1, n);
    std::memcpy(dest, src, n);
  }
  dest[n] = '\0';
  return n;
}

void FormatFixed(double value, int precision, char* text, std::size_t size) {
  // Wide enough for any double in fixed notation with up to 6 decimals.
  char buffer[400];
  auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof(buffer) - 1, value, std::chars_format::fixed, std::clamp(precision, 0, 6));
  if (ec != std::errc()) end = buffer;
  *end = '\0';
  CopyText(text, size, buffer);
}

void FormatInteger(int64_t value, char* text, std::size_t size) {
  char buffer[32];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof(buffer) - 1, value);
  if (ec != std::errc()) end = buffer;
  *end = '\0';
  CopyText(text, size, buffer);
}

int32_t TruncateToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

double ParseDecimal(const char* text) {
  if (!text) return 0.0;
  const char* p = text;
  while (*p == ' ' || *p == '\t') ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  // Accept only digits, one point and an exponent: "nan", "inf" and hex are not numbers here.
  const char* start = p;
  bool digits = false;
  while (*p >= '0' && *p <= '9') ++p, digits = true;
  if (*p == '.') {
    ++p;
    while (*p >= '0' && *p <= '9') ++p, digits = true;
  }
  if (!digits) return 0.0;
  bool negativeExponent = false;
  if (*p == 'e' || *p == 'E') {
    const char* e = p + 1;
    if (*e == '+' || *e == '-') negativeExponent = *e++ == '-';
    if (*e >= '0' && *e <= '9') {
      while (*e >= '0' && *e <= '9') ++e;
      p = e;
    } else {
      negativeExponent = false;
    }
  }
  double value = 0.0;
  const auto [end, ec] = std::from_chars(start, p, value, std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    value = negativeExponent ? 0.0 : std::numeric_limits<double>::max();
  } else if (ec != std::errc()) {
    value = 0.0;
  }
  (void)end;
  return negative ? -value : value;
}

}  // namespace tessaron
