#pragma once
// Bounded text copies and locale-independent number texts: the host's locale never
// changes the "." decimal point.
#include <cstddef>
#include <cstdint>
#include <string>

namespace tessaron {

// The length of the longest prefix of text's first length bytes that is at most maxBytes long
// and ends on a UTF-8 character boundary, so a cut never leaves half a character behind.
std::size_t Utf8PrefixLength(const char* text, std::size_t length, std::size_t maxBytes);

// Cuts text to at most maxBytes bytes, at a character boundary.
inline void CutUtf8(std::string& text, std::size_t maxBytes) {
  text.resize(Utf8PrefixLength(text.data(), text.size(), maxBytes));
}

// Copies at most destSize - 1 bytes, cut at a character boundary, and always terminates;
// answers the bytes copied.
std::size_t CopyText(char* dest, std::size_t destSize, const char* src);

void FormatFixed(double value, int precision, char* text, std::size_t size);
void FormatInteger(int64_t value, char* text, std::size_t size);

// Leading blanks, optional sign, digits with optional point and exponent; anything that is
// not such a number gives 0.
double ParseDecimal(const char* text);

// Truncation toward zero, saturating at the int32 limits; NaN gives 0.
int32_t TruncateToInt(double value);

}  // namespace tessaron
