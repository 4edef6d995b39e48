// Every parser of text the operator types (network addresses, setpoints, the
// zero offset, regsolo's numbers), on any text, against references written here
// that read the digits with 64 bits and saturate, so that a wrap in a 32-bit long
// (Windows) or any other overflow shows as a difference.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

#include "check.h"
#include "commands/setpoint_value.h"
#include "network/net_address.h"
#include "solo/solo_numbers.h"

namespace {

constexpr int64_t kHuge = int64_t{1} << 40;  // beyond every range checked here

bool Space(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}
bool Digit(char c) {
  return c >= '0' && c <= '9';
}

// Sign and leading digits as strtol and atoi read them; the magnitude saturates
// at kHuge. digits: how many were read.
int64_t Leading(const std::string& t, size_t& i, int& digits) {
  while (i < t.size() && Space(t[i])) ++i;
  bool neg = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
  int64_t v = 0;
  digits = 0;
  for (; i < t.size() && Digit(t[i]); ++i, ++digits) v = std::min(v * 10 + (t[i] - '0'), kHuge);
  return neg ? -v : v;
}

int ToInt(int64_t v) {
  return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
}

void CheckLeadingNumbers(const std::string& t) {
  size_t i = 0;
  int digits = 0;
  // strtol stops at a NUL character, as the text ends there for it.
  const std::string cText = t.substr(0, t.find('\0'));
  const int64_t c = Leading(cText, i, digits);
  FUZZ_CHECK(kvl::LeadingNumber(t) == ToInt(c));
  i = 0;
  FUZZ_CHECK(kvl::solo::DecimalValue(t) == ToInt(Leading(t, i, digits)));
}

void CheckNet(const std::string& t) {
  const size_t b = t.find_first_not_of(" \t"), e = t.find_last_not_of(" \t");
  std::optional<int> want;
  if (b == std::string::npos) {
    want = 0;  // an empty field is address 0
  } else {
    int64_t v = 0;
    bool digitsOnly = true;
    for (size_t i = b; i <= e; ++i) {
      if (!Digit(t[i]))
        digitsOnly = false;
      else
        v = std::min(v * 10 + (t[i] - '0'), kHuge);
    }
    if (digitsOnly && v <= kvl::kMaxNet) want = static_cast<int>(v);
  }
  int net = -12345;
  const bool ok = kvl::ParseNet(t, net);
  FUZZ_CHECK(ok == want.has_value());
  FUZZ_CHECK(net == (ok ? *want : -12345));
}

void CheckWholeNumber(const std::string& t) {
  size_t i = 0;
  int digits = 0;
  const int64_t v = Leading(t, i, digits);
  while (i < t.size() && Space(t[i])) ++i;
  const bool whole = digits > 0 && i == t.size() && std::llabs(v) <= 1000000000;
  const std::optional<long> got = kvl::solo::WholeNumber(t);
  FUZZ_CHECK(got.has_value() == whole);
  if (whole) FUZZ_CHECK(*got == v);
}

void CheckSetpoint(const std::string& t) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  size_t b = 0, e = t.size();
  while (b < e && blank(t[b])) ++b;
  while (e > b && blank(t[e - 1])) --e;
  if (e > b && t[e - 1] == '%') --e;
  while (e > b && blank(t[e - 1])) --e;
  std::string s = t.substr(b, e - b);
  if (!s.empty() && s[0] == '+') s.erase(0, 1);
  const bool plain =
      std::all_of(s.begin(), s.end(), [](char c) { return Digit(c) || c == '.' || c == ','; }) &&
      std::count_if(s.begin(), s.end(), Digit) > 0 &&
      std::count_if(s.begin(), s.end(), [](char c) { return c == '.' || c == ','; }) <= 1;
  std::optional<double> want;
  bool range = false;  // beyond what a double holds (some hundred digits): either way
  if (plain) {
    std::replace(s.begin(), s.end(), ',', '.');
    errno = 0;
    const double v = std::strtod(s.c_str(), nullptr);
    range = errno == ERANGE;
    // Rounded half down: a remainder of exactly one half stays down; the raw
    // value must fit the request's 16 bits.
    const double x = v * 100.0;
    const double n = std::trunc(x) + (x - std::trunc(x) > 0.5 ? 1.0 : 0.0);
    if (v >= 0.0 && n <= 65535.0) want = v;
  }
  double percent = -1;
  const bool ok = kvl::ParseSetpoint(t, percent);
  if (!range) FUZZ_CHECK(ok == want.has_value());
  if (!ok) return;
  FUZZ_CHECK(percent >= 0.0 && percent <= 655.355);
  if (!range) FUZZ_CHECK(percent == *want);
  const long long raw = kvl::SetpointRaw(percent);
  const double x = percent * 100.0;
  FUZZ_CHECK(raw >= 0 && raw <= kvl::kMaxSetpointRaw && raw - x >= -0.5 && raw - x < 0.5);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string t(reinterpret_cast<const char*>(data), size);
  CheckLeadingNumbers(t);
  CheckNet(t);
  CheckWholeNumber(t);
  CheckSetpoint(t);
  return 0;
}
