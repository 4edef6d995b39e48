// The Modbus TCP register map of one regulator (unit id = its address). All
// addresses start at 0; docs/reggate.md has the same table for SCADA people.
//
// Input registers (function 04), read only:
//   0 setpoint, hundredths of a per cent       7-8 age of the last answer in ms,
//   1 flow, hundredths of a per cent, signed       32 bits, high word first;
//   2 status byte 1                                0xFFFFFFFF: never answered
//   3 status byte 2                            9 valve: 0 regulate, 1 open by command,
//   4 serial number                              2 closed by command, 3 open by signal,
//   5 kind: 0 flow (КВЛ), 1 pressure (ВПЗ)       4 closed by signal
//   6 linked: 1 when the last exchange          10 input: 0 digital, 1 analogue
//     answered                                  11 mode: 1 regulation, 0 measurement
//                                               12 alarm: 1 "Авария"
//                                               13 last exchange: 0 answered, 1 silent,
//                                                  2 refused, 3 write failed, 4 port lost
// Holding registers (03 read, 06 and 16 write):
//   0 setpoint (0..65535)  1 valve (0 regulate, 1 open, 2 closed)  2 zero (write 1)
//   3 input (0 digital, 1 analogue)  4 kind (0 flow, 1 pressure)
// Coils (01 read, 05 and 15 write):
//   0 valve open  1 valve closed (writing 0 to either: regulate)  2 zero (write 1)
//   3 analogue input  4 pressure kind
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "lineops/settings.h"
#include "reggate/store.h"

namespace kvl::gate {

constexpr int kInputRegisters = 14;
constexpr int kHoldingRegisters = 5;
constexpr int kCoils = 5;

std::array<uint16_t, kInputRegisters> InputRegisters(const RegulatorState& s,
                                                     SteadyClock::time_point now);
// Holding registers and coils show what the input registers in tell.
using Inputs = std::array<uint16_t, kInputRegisters>;
std::array<uint16_t, kHoldingRegisters> HoldingRegisters(const Inputs& in);
std::array<uint8_t, kCoils> Coils(const Inputs& in);

// What a write asks of the regulator. nullopt with exception set to the Modbus
// exception code (02 no such register or coil, 03 a value it cannot take), or
// with exception 0 when the write asks for nothing (zero := 0).
std::optional<ops::Setting> HoldingWrite(int reg, uint16_t value, int& exception);
std::optional<ops::Setting> CoilWrite(int coil, bool on, int& exception);

}  // namespace kvl::gate
