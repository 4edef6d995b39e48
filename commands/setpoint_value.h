// A setpoint in per cent as the operator types it, and the raw value the
// regulator receives for it (hundredths of a per cent): one reading and one
// rounding for every program and tool.
#pragma once

#include <string>

namespace kvl {

// Largest raw setpoint: the request carries it in 16 bits (655.35 %). A
// regulator may take more than its nominal 100 %.
constexpr long long kMaxSetpointRaw = 65535;

// What the programs say when they refuse a typed setpoint.
constexpr const char* kSetpointRefused = "Задание вне допустимого диапазона(0-655.35%)";

// Raw device value (hundredths of a per cent) of a setpoint in per cent: the
// product truncated toward zero, plus one when the remainder is above one half
// (a remainder of exactly one half stays down).
long long SetpointRaw(double percent);

// Reads a setpoint typed by the operator: blanks around it, a decimal point or
// comma and a trailing "%" are accepted. False for anything that is not a plain
// decimal number, or whose raw value would not fit the request (above 655.35 %).
bool ParseSetpoint(const std::string& text, double& percent);

}  // namespace kvl
