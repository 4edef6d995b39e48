#include "protocol/commands.h"

namespace kvl::cmd {

namespace {
inline uint8_t Lo(int v) {
  return static_cast<uint8_t>(v & 0xFF);
}
}  // namespace

uint8_t SpeedCode(int speedIndex) {
  switch (speedIndex) {
    case 0:
      return 0;
    case 2:
      return 1;
    default:
      return 0x0F;
  }
}

int SpeedIndexFromCode(uint8_t code) {
  if (code == 0) return 0;
  if (code == 1) return 2;
  return 1;
}

unsigned BaudOfIndex(int speedIndex) {
  if (speedIndex == 0) return 9600;
  if (speedIndex == 2) return 38400;
  return 19200;
}

int FlowOfAnswer(uint8_t high, uint8_t low) {
  const int magnitude = ((high & 0x7F) << 8) | low;
  return (high & 0x80) ? -magnitude : magnitude;
}

void Ident(Request& r, int net) {
  r.com[0] = CMD_IDENT;
  r.com[7] = Lo(net);
}

void GetNetAt(Request& r, int addr) {
  r.com[0] = CMD_GETNET;
  for (int i = 1; i <= 6; ++i) r.com[i] = 0;
  r.com[7] = Lo(addr);
}

void GetNet(Request& r) {
  GetNetAt(r, 0);
}

void Measure(Request& r, int net) {
  r.com[0] = CMD_MEASURE;
  r.com[7] = Lo(net);
}

void Speed(Request& r, int net, int speedIndex) {
  r.com[0] = CMD_SPEED;
  r.com[2] = SpeedCode(speedIndex);
  r.com[7] = Lo(net);
}

void Kind(Request& r, int net, uint8_t modeByte) {
  r.com[0] = CMD_KIND;
  r.com[1] = modeByte;
  r.com[3] = 0x0F;
  r.com[7] = Lo(net);
}

void Mode(Request& r, int net, uint8_t modeByte) {
  r.com[0] = CMD_KIND;
  r.com[1] = modeByte;
  r.com[3] = 0;
  r.com[7] = Lo(net);
}

void SetNet(Request& r, int net, int newNet) {
  r.com[0] = CMD_SETNET;
  r.com[2] = Lo(newNet);
  r.com[7] = Lo(net);
}

void Rasre(Request& r, int net, uint8_t on) {
  r.com[0] = CMD_RASRE;
  r.com[1] = on;
  r.com[7] = Lo(net);
}

void Valve(Request& r, int net, uint8_t action) {
  r.com[0] = CMD_VALVE;
  r.com[2] = action;
  r.com[7] = Lo(net);
}

void Date(Request& r, int net) {
  r.com[0] = CMD_DATE;
  r.com[1] = 0x24;
  r.com[7] = Lo(net);
}

void Zero(Request& r, int net) {
  r.com[0] = CMD_ZERO;
  r.com[1] = 0x1C;
  r.com[3] = 0x1C;
  r.com[7] = Lo(net);
}

void InputSelect(Request& r, int net, uint8_t analog) {
  r.com[0] = CMD_SETPOINT;
  r.com[1] = analog;
  if (r.fmodbuson) r.com[5] = 0x0F;
  r.com[7] = Lo(net);
}

void Setpoint(Request& r, int net, uint16_t value) {
  r.com[0] = CMD_SETPOINT;
  r.com[1] = 0;
  r.com[2] = static_cast<uint8_t>(value >> 8);
  r.com[3] = static_cast<uint8_t>(value & 0xFF);
  if (r.fmodbuson) r.com[5] = 0;
  r.com[7] = Lo(net);
}

void ClosingFrame(Request& r, int addr) {
  r.com[0] = CMD_IDENT;
  r.com[1] = Lo(addr) == 255 ? 1 : static_cast<uint8_t>(Lo(addr) + 1);
  r.com[7] = Lo(addr);
}

void ZeroOffsetRead(Request& r, int addr, int versionKvl, bool pressure) {
  r.com[0] = versionKvl == 6 ? CMD_ZERO6 : CMD_ZERO;
  r.com[1] = pressure ? 0x00 : 0xFF;
  r.com[3] = 0;
  r.com[6] = 0xFF;
  r.com[7] = Lo(addr);
}

void ZeroOffsetWrite(Request& r, int addr, int versionKvl, bool pressure, uint16_t offset) {
  r.com[0] = versionKvl == 6 ? CMD_ZERO6 : CMD_ZERO;
  r.com[1] = pressure ? 0x00 : 0xFF;
  r.com[3] = 28;
  r.com[4] = static_cast<uint8_t>(offset >> 8);
  r.com[5] = static_cast<uint8_t>(offset & 0xFF);
  r.com[6] = 0;
  r.com[7] = Lo(addr);
}

void SoloKind(Request& r, int addr, uint8_t modeByte) {
  r.com[0] = CMD_KIND;
  r.com[1] = modeByte;
  r.com[7] = Lo(addr);
}

}  // namespace kvl::cmd
