// Request buffer, check values and the answer test of both line protocols.
//
// Every request is built in the maker's 10-byte "Кормаст-10м" frame:
//   byte 0 command code, bytes 1..6 data D1..D6, byte 7 network address,
//   bytes 8..9 16-bit additive sum of bytes 0..7, high byte first.
// With Modbus chosen the frame is rewritten in place into a Modbus RTU request
// (see modbus.h) and the check value becomes the CRC-16, low byte first.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kvl {

// Request codes of the internal frame.
enum : uint8_t {
  CMD_IDENT = 1,      // identify: status, serial number, format byte
  CMD_GETNET = 2,     // broadcast to address 0: the device reports its address
  CMD_MEASURE = 17,   // flow and setpoint
  CMD_SPEED = 22,     // change the device's baud rate
  CMD_KIND = 24,      // device kind (КВЛ/ВПЗ) or mode (regulation/measurement)
  CMD_SETNET = 27,    // change the device's network address
  CMD_RASRE = 31,     // mode memorising ("Разрешение") on/off
  CMD_VALVE = 32,     // valve open/close/regulate
  CMD_DATE = 34,      // firmware date and version
  CMD_ZERO = 35,      // zero setting (zero offset in the single-regulator program)
  CMD_SETPOINT = 37,  // setpoint value or setpoint input choice
  CMD_ZERO6 = 45,     // zero offset of format-6 devices
};

constexpr size_t kFrameSize = 10;  // internal frame length
constexpr size_t kResSize = 512;   // receive buffer size

// The shared request buffer with its lengths and the protocol switch.
// `com` is never cleared: a request sets only the bytes it names.
struct Request {
  std::array<uint8_t, kFrameSize> com{};
  uint32_t wlength = 10;  // bytes of com to send
  uint32_t rlength = 10;  // expected answer length (bound for the receiver)
  uint8_t komand = 0;     // internal code saved by the Modbus translation
  int fmodbuson = 0;      // 0 = "Кормаст-10м", 1 = Modbus
};

// Receive buffer as the program sees it after a transaction.
struct Answer {
  std::array<uint8_t, kResSize> res{};
  int32_t mprob = 0;  // length of the answer that passed the check
};

// 16-bit additive sum of n bytes (unsigned).
uint16_t Sum16(const uint8_t* p, size_t n);
// CRC-16/MODBUS (reflected 0xA001, start 0xFFFF, no final xor).
uint16_t Crc16(const uint8_t* p, size_t n);

// Writes the check value of the protocol over bytes 0..wlen-3 of frame into bytes
// wlen-2 and wlen-1. wlen below 3 or above the frame size does nothing. Returns 1.
int ContrSum(uint8_t* frame, uint32_t wlen, int fmodbuson);
inline int ContrSum(Request& rq) {
  return ContrSum(rq.com.data(), rq.wlength, rq.fmodbuson);
}

// Answer test: 1 when the last two of the rlen bytes of res are the correct check
// value of the first rlen-2 bytes, else 0. rlen below 3 fails; rlen above resSize
// fails. On a Modbus mismatch the diagnostic text is written to *diag when given.
int Response(const uint8_t* res, size_t resSize, uint32_t rlen, int fmodbuson,
             std::string* diag = nullptr);

// Chooses "Кормаст-10м": fmodbuson 0 and both lengths back to 10.
void SelectKormast(Request& rq);
// Chooses Modbus; the lengths are set per request by the translation.
void SelectModbus(Request& rq);

}  // namespace kvl
