// Numbers typed by the operator into regsolo's edits, and the setpoint rounding.
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

// Number with an optional fraction ("12.5" or "12,5"), blanks around it allowed;
// nullopt for any other text.
std::optional<double> DecimalNumber(const std::string& text);

// Percent value in device units: x = percent * scale, truncated toward zero and
// raised by one when the dropped part exceeds one half. nullopt when x is below
// 0 or the result above 10000 (100 %), the range of the regulators' setpoint.
std::optional<uint16_t> SetpointUnits(double percent, double scale);

}  // namespace kvl::solo
