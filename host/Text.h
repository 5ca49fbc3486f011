#pragma once
// Bounded text copies and locale-independent number texts: the host's locale never
// changes the "." decimal point.
#include <cstddef>
#include <cstdint>

namespace tessaron {

// Copies at most destSize - 1 bytes and always terminates; answers the bytes copied.
std::size_t CopyText(char* dest, std::size_t destSize, const char* src);

void FormatFixed(double value, int precision, char* text, std::size_t size);
void FormatInteger(int64_t value, char* text, std::size_t size);

// Leading blanks, optional sign, digits with optional point and exponent; anything that is
// not such a number gives 0.
double ParseDecimal(const char* text);

// Truncation toward zero, saturating at the int32 limits; NaN gives 0.
int32_t TruncateToInt(double value);

}  // namespace tessaron
