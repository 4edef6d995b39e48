#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "solo/solo_numbers.h"

namespace kvl::solo {

namespace {
bool Blank(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}
bool Digit(char c) {
  return c >= '0' && c <= '9';
}
}  // namespace

int DecimalValue(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && Blank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // 64 bits: long is 32 bits on Windows. Beyond int the value stays at its end.
  const int64_t limit = negative ? -static_cast<int64_t>(INT_MIN) : INT_MAX;
  int64_t v = 0;
  for (; i < text.size() && Digit(text[i]); ++i) v = std::min(v * 10 + (text[i] - '0'), limit);
  return static_cast<int>(negative ? -v : v);
}

std::optional<long> WholeNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && Blank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const size_t first = i;
  int64_t v = 0;  // long is 32 bits on Windows: 10 * 1e9 would wrap there
  for (; i < text.size() && Digit(text[i]); ++i) {
    v = v * 10 + (text[i] - '0');
    if (v > 1000000000) return std::nullopt;
  }
  if (i == first) return std::nullopt;
  while (i < text.size() && Blank(text[i])) ++i;
  if (i != text.size()) return std::nullopt;
  return static_cast<long>(negative ? -v : v);
}

}  // namespace kvl::solo
