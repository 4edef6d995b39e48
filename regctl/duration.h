// Times given on regctl's command line and in profiles: "700ms", "2s", "1.5s",
// "5m", "1h", or a plain number of seconds ("30", "2.5").
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace kvl::regctl {

// Milliseconds, rounded to the nearest; nullopt for anything else (negative
// values, unknown units, garbage) and for more than 30 days.
std::optional<std::chrono::milliseconds> ParseDuration(const std::string& text);

}  // namespace kvl::regctl
