#include "regctl/duration.h"

#include <charconv>
#include <cmath>

namespace kvl::regctl {

std::optional<std::chrono::milliseconds> ParseDuration(const std::string& text) {
  size_t b = text.find_first_not_of(" \t");
  size_t e = text.find_last_not_of(" \t");
  if (b == std::string::npos) return std::nullopt;
  const std::string t = text.substr(b, e - b + 1);
  size_t unitAt = t.find_first_not_of("0123456789.");
  const std::string number = t.substr(0, unitAt);
  const std::string unit = unitAt == std::string::npos ? "" : t.substr(unitAt);
  double v = 0;
  const auto r =
      std::from_chars(number.data(), number.data() + number.size(), v, std::chars_format::fixed);
  if (number.empty() || r.ec != std::errc() || r.ptr != number.data() + number.size())
    return std::nullopt;
  double ms = 0;
  if (unit == "ms")
    ms = v;
  else if (unit.empty() || unit == "s")
    ms = v * 1000;
  else if (unit == "m" || unit == "min")
    ms = v * 60'000;
  else if (unit == "h")
    ms = v * 3'600'000;
  else
    return std::nullopt;
  if (!(ms >= 0) || ms > 30.0 * 24 * 3'600'000) return std::nullopt;
  return std::chrono::milliseconds(std::llround(ms));
}

}  // namespace kvl::regctl
