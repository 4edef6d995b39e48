// Network addresses typed by the operator into the network programs' dialogs.
#pragma once

#include <string>

namespace kvl {

// Highest network address a regulator can be given or linked at.
constexpr int kMaxNet = 254;

// Decimal value of the leading digits of a field as strtol reads it (blanks,
// an optional sign, digits up to the first other character); 0 when there are
// none. A value beyond int gives INT_MAX or INT_MIN, on every platform.
int LeadingNumber(const std::string& text);

// An address typed by the operator: blanks around decimal digits, the value
// within 0..kMaxNet; an empty field is address 0. False for anything else.
bool ParseNet(const std::string& text, int& net);

}  // namespace kvl
