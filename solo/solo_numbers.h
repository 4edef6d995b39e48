// Numbers typed by the operator into regsolo's edits (setpoints are read by
// commands/setpoint_value.h, as in the network programs).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kvl::solo {

// Decimal value of a text as the C library's atoi reads it: leading blanks, an
// optional sign, digits up to the first other character; 0 when there are none.
// A value beyond int gives INT_MAX or INT_MIN.
int DecimalValue(const std::string& text);

// Whole number: blanks, optional sign, digits, blanks and nothing else; nullopt
// for any other text or a value beyond +-1e9.
std::optional<long> WholeNumber(const std::string& text);

}  // namespace kvl::solo
