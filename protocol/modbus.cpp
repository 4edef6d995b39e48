#include "protocol/modbus.h"

#include <algorithm>

namespace kvl {

namespace {

void Read(Request& rq, uint8_t fn, uint16_t start, uint16_t count) {
  uint8_t* c = rq.com.data();
  c[1] = fn;
  c[2] = static_cast<uint8_t>(start >> 8);
  c[3] = static_cast<uint8_t>(start & 0xFF);
  c[4] = static_cast<uint8_t>(count >> 8);
  c[5] = static_cast<uint8_t>(count & 0xFF);
  rq.wlength = 8;
  rq.rlength = 2u * count + 5u;
}

void WriteRegister(Request& rq, uint16_t reg, uint8_t hi, uint8_t lo) {
  uint8_t* c = rq.com.data();
  c[1] = 0x06;
  c[2] = static_cast<uint8_t>(reg >> 8);
  c[3] = static_cast<uint8_t>(reg & 0xFF);
  c[4] = hi;
  c[5] = lo;
  rq.wlength = 8;
  rq.rlength = 8;
}

void WriteCoils(Request& rq, uint16_t start, uint16_t count, uint8_t bits) {
  uint8_t* c = rq.com.data();
  c[1] = 0x0F;
  c[2] = static_cast<uint8_t>(start >> 8);
  c[3] = static_cast<uint8_t>(start & 0xFF);
  c[4] = static_cast<uint8_t>(count >> 8);
  c[5] = static_cast<uint8_t>(count & 0xFF);
  c[6] = 1;  // one data byte follows
  c[7] = bits;
  rq.wlength = 10;
  rq.rlength = 8;
}

}  // namespace

int PrebrasTuda(Request& rq) {
  uint8_t* c = rq.com.data();
  // Read the internal data bytes before they are overwritten.
  const uint8_t d1 = c[1], d2 = c[2], d3 = c[3], d5 = c[5];
  rq.komand = c[0];
  c[0] = c[7];
  switch (rq.komand) {
    case CMD_IDENT:
      Read(rq, 0x03, 1, 3);
      return 1;
    case CMD_GETNET:
      c[0] = 0;
      Read(rq, 0x03, 0, 2);
      return 1;
    case CMD_MEASURE:
      Read(rq, 0x03, 4, 2);
      return 1;
    case CMD_SPEED:
      WriteRegister(rq, 6, 0, d2);
      return 1;
    case CMD_SETNET:
      WriteRegister(rq, 0, 0, d2);
      return 1;
    case CMD_KIND:
      if (d3 != 0)
        WriteCoils(rq, 5, 1, (d1 >> 2) & 1);
      else
        WriteCoils(rq, 0, 1, d1 & 1);
      return 1;
    case CMD_RASRE:
      WriteCoils(rq, 4, 1, d1);
      return 1;
    case CMD_VALVE:
      WriteCoils(rq, 2, 2, d2);
      return 1;
    case CMD_ZERO:
      WriteCoils(rq, 6, 1, 1);
      return 1;
    case CMD_SETPOINT:
      if (d5 != 0)
        WriteCoils(rq, 1, 1, static_cast<uint8_t>(1 - d1));
      else
        WriteRegister(rq, 4, d2, d3);
      return 1;
    default:
      return 0;
  }
}

int PrebrasBack(const Request& rq, uint8_t* res, size_t resSize) {
  if (resSize < kFrameSize) return 0;
  uint8_t old[kFrameSize + 1] = {};
  std::copy(res, res + std::min(resSize, sizeof old), old);
  res[7] = old[0];
  res[0] = rq.komand;
  switch (rq.komand) {
    case CMD_MEASURE:  // addr, 03, 4, reg4 hi, lo, reg5 hi, lo
      res[2] = old[5];
      res[3] = old[6];
      res[4] = old[3];
      res[5] = old[4];
      return 1;
    case CMD_IDENT:  // addr, 03, 6, reg1, reg2, reg3
      res[2] = old[3];
      res[3] = old[4];
      res[1] = old[6];
      res[6] = old[8];
      res[5] = 7;
      return 1;
    case CMD_GETNET:  // addr, 03, 4, reg0, reg1
      res[7] = old[4];
      return 1;
    case CMD_SPEED:
    case CMD_SETNET:  // echo: addr, 06, reg hi, lo, value hi, lo
      res[2] = old[5];
      return 1;
    case CMD_RASRE:
      res[1] = res[7];
      return 1;
    case CMD_KIND:
    case CMD_VALVE:
    case CMD_ZERO:
    case CMD_SETPOINT:
      return 1;
    default:
      return 0;
  }
}

bool IsModbusException(const uint8_t* res, size_t len) {
  return len == 5 && (res[1] & 0x80);
}

}  // namespace kvl
