// The command set: for every request, the one place that says which bytes of the
// request buffer it sets. Bytes a request does not name keep what the previous
// request (or its Modbus translation) left there; they are sent and summed.
// Only the low 8 bits of a network address reach byte 7.
#pragma once

#include <cstdint>

#include "protocol/frame.h"

namespace kvl::cmd {

// Speed texts shown to the operator, by speed index.
inline constexpr const char* nUart[3] = {"9600", "19200", "38400"};

// Speed codes of CMD_SPEED by speed index (0 = 9600, 1 = 19200, 2 = 38400).
uint8_t SpeedCode(int speedIndex);
// Speed index given by the code in an answer: 0 -> 0, 1 -> 2, anything else -> 1.
int SpeedIndexFromCode(uint8_t code);
// Baud rate of a speed index: 0 -> 9600, 2 -> 38400, anything else -> 19200.
unsigned BaudOfIndex(int speedIndex);

void Ident(Request& r, int net);                        // 1: byte 7
void GetNet(Request& r);                                // 2: bytes 1..6 = 0, byte 7 = 0
void GetNetAt(Request& r, int addr);                    // 2: bytes 1..6 = 0, byte 7 = addr
void Measure(Request& r, int net);                      // 17: byte 7
void Speed(Request& r, int net, int speedIndex);        // 22: D2 = speed code
void Kind(Request& r, int net, uint8_t modeByte);       // 24: D1 = mode byte, D3 = 0x0F
void Mode(Request& r, int net, uint8_t modeByte);       // 24: D1 = mode byte, D3 = 0
void SetNet(Request& r, int net, int newNet);           // 27: D2 = new address
void Rasre(Request& r, int net, uint8_t on);            // 31: D1 = 1 or 0
void Valve(Request& r, int net, uint8_t action);        // 32: D2 = 0 regulate, 1 open, 2 close
void Date(Request& r, int net);                         // 34: D1 = 0x24
void Zero(Request& r, int net);                         // 35: D1 = D3 = 0x1C
void InputSelect(Request& r, int net, uint8_t analog);  // 37: D1; in Modbus mode D5 = 0x0F
void Setpoint(Request& r, int net, uint16_t value);     // 37: D1 = 0, D2-D3; Modbus: D5 = 0

// Measured flow in hundredths of a per cent from the two bytes of a CMD_MEASURE
// answer (D2-D3): sign and magnitude, bit 15 the sign.
int FlowOfAnswer(uint8_t high, uint8_t low);
// Setpoint in hundredths of a per cent from D4-D5 of a CMD_MEASURE answer.
inline int SetpointOfAnswer(uint8_t high, uint8_t low) {
  return high * 256 + low;
}

// Mode byte of CMD_KIND: bit 2 = works as ВПЗ, bit 0 = regulation.
inline uint8_t KindByte(bool pressure, bool regulation) {
  return static_cast<uint8_t>((pressure ? 4 : 0) | (regulation ? 1 : 0));
}

// Single-regulator program requests.
// Closing frame sent when a connected port is closed: code 1, D1 = address + 1
// (1 for address 255), byte 7 = address.
void ClosingFrame(Request& r, int addr);
// Zero offset read and write; code 45 for format-6 devices, else 35.
// D1 = 0xFF for a flow device, 0 for a pressure device.
void ZeroOffsetRead(Request& r, int addr, int versionKvl, bool pressure);
void ZeroOffsetWrite(Request& r, int addr, int versionKvl, bool pressure, uint16_t offset);
// Device kind of the single-regulator program: D1 = kind byte only.
void SoloKind(Request& r, int addr, uint8_t modeByte);

}  // namespace kvl::cmd
