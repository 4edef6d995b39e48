// Regulators on the fake link for the logic tests. The simulator's own device
// model answers, so the logic tests and regsim agree on what a regulator does.
// A test can also keep a regulator silent for chosen requests and force answer
// bytes the model would not give (a refused valve, a speed other than the one
// asked), and it sees every frame a regulator was told.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "protocol/frame.h"
#include "serial/fake_link.h"
#include "sim/device.h"
#include "support/frame_checks.h"

namespace kvl::test {

using Bytes = FakeLink::Bytes;

// A whole Modbus request (function, register and count at the least) with its CRC right.
inline bool IsModbusRequest(const Bytes& f) {
  return f.size() >= 8 && ModbusValid(f);
}

struct FakeRegulator : sim::Device {
  FakeRegulator() {
    addr = 5;
    serial = 12345;
    status1 = 0;  // raw identify status bytes unless a test lets the model compute them
    status6 = 0;
    setpoint = 5000;
    flow = 49.90;
  }

  bool silent = false;            // answers nothing
  std::set<uint8_t> silentCodes;  // "Кормаст-10м" codes or Modbus functions left unanswered
  // Answer bytes the model would not give.
  bool acceptValve = true;                // false: the valve answer has code 0 (refused)
  std::optional<uint8_t> valveStatus;     // byte 3 of the valve answer
  std::optional<uint8_t> speedAnswer;     // speed code answered, whatever was asked
  std::optional<uint8_t> rasreAnswer;     // byte 1 of the mode-memorising answer
  std::optional<uint16_t> takenSetpoint;  // setpoint kept and echoed, whatever was asked
  std::optional<uint16_t> getnetSerial;   // number in the address-report answer

  // What it was told.
  std::vector<Bytes> seen;                     // every frame addressed to it
  std::vector<std::pair<int, int>> coils;      // Modbus coils written: (coil, value)
  std::vector<std::pair<int, int>> registers;  // Modbus registers written: (register, value)

  FakeLink::Responder Responder() {
    return [this](int, const Bytes& f) { return Answer(f); };
  }

  // Frames seen with this "Кормаст-10м" code.
  std::vector<Bytes> Seen(uint8_t code) const {
    std::vector<Bytes> out;
    for (const auto& f : seen)
      if (KormastValid(f) && f[0] == code) out.push_back(f);
    return out;
  }

  std::vector<Bytes> Answer(const Bytes& f) {
    const bool kormast = KormastValid(f);
    if (!kormast && !IsModbusRequest(f)) return {};
    // Every device takes the broadcasts: the address report, and Modbus reads at 0.
    const bool broadcast = kormast ? f[0] == CMD_GETNET && f[7] == 0 : f[1] == 0x03 && f[0] == 0;
    if ((kormast ? f[7] : f[0]) != addr && !broadcast) return {};
    seen.push_back(f);
    const uint8_t code = f[kormast ? 0 : 1];
    if (silent || silentCodes.count(code)) return {};
    if (!kormast) Record(f);

    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    sim::Reply r = kormast ? sim::HandleKormast(
                                 *this, f.data(),
                                 std::chrono::duration_cast<std::chrono::milliseconds>(now).count())
                           : sim::HandleModbus(*this, f.data(), f.size());
    if (r.newAddr) addr = *r.newAddr;
    if (r.newBaud) speed = *r.newBaud;
    if (r.bytes.empty()) return {};
    if (kormast) Force(f, r.bytes);
    if (!kormast && code == 0x06 && f[3] == 6 && speedAnswer && r.bytes[1] == 0x06) {
      r.bytes[5] = *speedAnswer;
      sim::Seal(r.bytes, 1);
    }
    return {r.bytes};
  }

 private:
  void Record(const Bytes& f) {
    const int reg = (f[2] << 8) | f[3];
    if (f[1] == 0x06 && f.size() == 8) registers.push_back({reg, (f[4] << 8) | f[5]});
    if (f[1] == 0x0F && f.size() >= 10)
      for (int i = 0; i < ((f[4] << 8) | f[5]); ++i)
        coils.push_back({reg + i, (f[7 + i / 8] >> (i % 8)) & 1});
  }

  void Force(const Bytes& q, Bytes& a) {
    auto word = [&](int at, uint16_t v) {
      a[at] = static_cast<uint8_t>(v >> 8);
      a[at + 1] = static_cast<uint8_t>(v & 0xFF);
    };
    switch (q[0]) {
      case CMD_GETNET:
        if (getnetSerial) word(5, *getnetSerial);
        break;
      case CMD_VALVE:
        if (!acceptValve) a[0] = 0;
        if (valveStatus) a[3] = *valveStatus;
        break;
      case CMD_SPEED:
        if (speedAnswer) a[2] = *speedAnswer;
        break;
      case CMD_RASRE:
        if (rasreAnswer) a[1] = *rasreAnswer;
        break;
      case CMD_SETPOINT:
        if (q[1] == 0 && takenSetpoint) {
          setpoint = *takenSetpoint;
          word(2, setpoint);
        }
        break;
      default:
        return;
    }
    sim::Seal(a, 0);
  }
};

// Regulators at several addresses on one line. A regulator answers at the
// address it is filed under; the line records the address and the request
// code (Modbus reads of the measure and identify registers as their
// "Кормаст-10м" codes) of every request, in order.
class FakeLine {
 public:
  std::map<int, FakeRegulator> devices;  // by network address
  std::vector<int> asked;
  std::vector<uint8_t> codes;

  FakeLink::Responder Responder() {
    return [this](int, const Bytes& f) { return Answer(f); };
  }

  std::vector<Bytes> Answer(const Bytes& f) {
    int addr = 0;
    if (KormastValid(f)) {
      addr = f[7];
      codes.push_back(f[0]);
    } else if (IsModbusRequest(f)) {
      addr = f[0];
      const int reg = (f[2] << 8) | f[3];
      codes.push_back(reg == 4 ? CMD_MEASURE : reg == 1 ? CMD_IDENT : 0);
    } else {
      return {};
    }
    asked.push_back(addr);
    auto it = devices.find(addr);
    if (it == devices.end()) return {};
    it->second.addr = addr;
    return it->second.Answer(f);
  }
};

}  // namespace kvl::test
