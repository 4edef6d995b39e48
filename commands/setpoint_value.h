// A setpoint in per cent as the operator types it, and the raw value the
// regulator receives for it (hundredths of a per cent).
#pragma once

#include <string>

namespace kvl {

// Raw device value (hundredths of a per cent) of a setpoint in per cent: the
// product truncated toward zero, plus one when the remainder is above one half
// (a remainder of exactly one half stays down).
long long SetpointRaw(double percent);

// Reads a setpoint typed by the operator: blanks around it, a decimal point or
// comma and a trailing "%" are accepted. False for anything that is not a plain
// decimal number or lies outside 0..100 %.
bool ParseSetpoint(const std::string& text, double& percent);

}  // namespace kvl
