// A small line of regulators for logic tests: answers identify and measure
// requests in both protocols through FakeLink's responder, and refuses frames
// with a wrong check value, as a device would.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "protocol/frame.h"
#include "serial/fake_link.h"

namespace kvl::test {

struct Device {
  uint16_t serial = 12345;
  uint8_t format = 7;
  uint8_t status1 = 0;
  uint8_t status6 = 0;
  uint16_t setpoint = 5000;  // hundredths of a per cent
  uint16_t flowRaw = 4990;   // sign and magnitude, bit 15 the sign
  bool silent = false;
};

class DeviceLine {
 public:
  std::map<int, Device> devices;  // by network address
  std::vector<int> asked;         // addresses of the requests, in order
  std::vector<uint8_t> codes;     // request codes (internal), in order

  FakeLink::Responder Responder() {
    return [this](int, const FakeLink::Bytes& f) { return Answer(f); };
  }

  std::vector<FakeLink::Bytes> Answer(const FakeLink::Bytes& f) {
    if (f.size() == 10 && Sum16(f.data(), 8) == ((f[8] << 8) | f[9])) return Kormast(f);
    if (f.size() == 8 && Crc16(f.data(), 6) == (f[6] | (f[7] << 8))) return Modbus(f);
    return {};
  }

 private:
  static uint8_t Hi(uint16_t v) { return static_cast<uint8_t>(v >> 8); }
  static uint8_t Lo(uint16_t v) { return static_cast<uint8_t>(v & 0xFF); }

  Device* Find(int addr) {
    auto it = devices.find(addr);
    return it == devices.end() || it->second.silent ? nullptr : &it->second;
  }

  std::vector<FakeLink::Bytes> Kormast(const FakeLink::Bytes& f) {
    const int addr = f[7];
    asked.push_back(addr);
    codes.push_back(f[0]);
    Device* d = Find(addr);
    if (!d) return {};
    const uint8_t a = static_cast<uint8_t>(addr);
    switch (f[0]) {
      case CMD_IDENT:
        return {KormastAnswer(
            {1, d->status1, Hi(d->serial), Lo(d->serial), 0, d->format, d->status6, a})};
      case CMD_MEASURE:
        return {KormastAnswer(
            {17, 0, Hi(d->flowRaw), Lo(d->flowRaw), Hi(d->setpoint), Lo(d->setpoint), 0, a})};
      default:
        return {};
    }
  }

  std::vector<FakeLink::Bytes> Modbus(const FakeLink::Bytes& f) {
    const int addr = f[0];
    const int reg = (f[2] << 8) | f[3];
    asked.push_back(addr);
    codes.push_back(reg == 4 ? CMD_MEASURE : reg == 1 ? CMD_IDENT : 0);
    Device* d = Find(addr);
    if (!d || f[1] != 0x03) return {};
    const uint8_t a = static_cast<uint8_t>(addr);
    if (reg == 4)
      return {ModbusAnswer(
          {a, 3, 4, Hi(d->setpoint), Lo(d->setpoint), Hi(d->flowRaw), Lo(d->flowRaw)})};
    if (reg == 1)
      return {ModbusAnswer({a, 3, 6, Hi(d->serial), Lo(d->serial), 0, d->status1, 0, d->status6})};
    return {};
  }
};

}  // namespace kvl::test
