#include "commands/setpoint_value.h"

#include <charconv>

namespace kvl {

namespace {

constexpr double d_rasx = 100.0;  // per cent to device units

bool IsBlank(char ch) {
  return ch == ' ' || ch == '\t';
}

}  // namespace

long long SetpointRaw(double percent) {
  const double x = percent * d_rasx;
  long long n = static_cast<long long>(x);  // toward zero
  if (x - static_cast<double>(n) > 0.5) ++n;
  return n;
}

bool ParseSetpoint(const std::string& text, double& percent) {
  size_t b = 0, e = text.size();
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  if (e > b && text[e - 1] == '%') --e;
  while (e > b && IsBlank(text[e - 1])) --e;
  std::string s = text.substr(b, e - b);
  if (!s.empty() && s[0] == '+') s.erase(0, 1);
  int digits = 0, points = 0;
  for (char& ch : s) {
    if (ch == ',') ch = '.';
    if (ch == '.')
      ++points;
    else if (ch >= '0' && ch <= '9')
      ++digits;
    else
      return false;  // signs, exponents, letters
  }
  if (digits == 0 || points > 1) return false;
  double v = 0;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::fixed);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return false;
  // Checked before rounding, so that no huge value reaches the conversion.
  if (!(v >= 0.0 && v < 1000.0) || SetpointRaw(v) > kMaxSetpointRaw) return false;
  percent = v;
  return true;
}

}  // namespace kvl
