// A scripted regulator for regsolo's logic tests: answers the requests of the
// maker's protocol at its address through FakeLink, keeps the state the
// requests change and records every frame it saw.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "serial/fake_link.h"

namespace kvl::test {

struct SoloRegulator {
  uint8_t addr = 5;
  uint8_t format = 7;       // version_KVL reported by CMD_GETNET
  uint16_t number = 12345;  // regulator number in the identify answer
  uint16_t getnetNumber = 4321;
  uint8_t status1 = 0x01;  // identify byte 1 (layout A: regulating)
  uint8_t status4 = 0;
  uint8_t status6 = 0x42;  // identify byte 6 (layout A: external, regulation permitted)
  uint8_t flowHi = 0x00, flowLo = 0x32;
  uint16_t setpoint = 2500;
  uint16_t offset = 700;
  bool acceptValve = true;
  int speedAnswer = -1;               // byte 2 of the speed answer; -1 echoes the request
  int rasreAnswer = -1;               // byte 1 of the mode-memorising answer; -1 echoes
  bool silent = false;                // answers nothing
  bool silentIdent = false;           // answers everything but identify
  std::vector<FakeLink::Bytes> seen;  // every frame addressed to this regulator

  FakeLink::Responder Responder() {
    return [this](int, const FakeLink::Bytes& f) { return Answer(f); };
  }

  std::vector<FakeLink::Bytes> Answer(const FakeLink::Bytes& f) {
    if (f.size() != 10) return {};
    const uint8_t code = f[0];
    if (f[7] != addr && !(code == 2 && f[7] == 0)) return {};
    seen.push_back(f);
    if (silent) return {};
    switch (code) {
      case 1:
        if (silentIdent) return {};
        return {KormastAnswer({1, status1, Hi(number), Lo(number), status4, 0, status6, addr})};
      case 2:
        return {KormastAnswer({2, format, 0, 0, 0, Hi(getnetNumber), Lo(getnetNumber), addr})};
      case 17:
        return {KormastAnswer({17, 0, flowHi, flowLo, Hi(setpoint), Lo(setpoint), 0, addr})};
      case 22: {
        const uint8_t s = speedAnswer < 0 ? f[2] : static_cast<uint8_t>(speedAnswer);
        return {KormastAnswer({22, 0, s, 0, 0, 0, 0, addr})};
      }
      case 24:
        return {KormastAnswer({24, f[1], 0, 0, 0, 0, 0, addr})};
      case 27:  // takes the new address, answers nothing
        addr = f[2];
        return {};
      case 31: {
        const uint8_t r = rasreAnswer < 0 ? f[1] : static_cast<uint8_t>(rasreAnswer);
        return {KormastAnswer({31, r, 0, 0, 0, 0, 0, addr})};
      }
      case 32:
        return {
            KormastAnswer({static_cast<uint8_t>(acceptValve ? 32 : 0), 0, f[2], 0, 0, 0, 0, addr})};
      case 35:
      case 45:
        if (f[3] == 28) offset = static_cast<uint16_t>(f[4] * 256 + f[5]);
        return {KormastAnswer({code, f[1], 0, 0, Hi(offset), Lo(offset), 0, addr})};
      case 37:
        if (f[1] == 0) setpoint = static_cast<uint16_t>(f[2] * 256 + f[3]);
        return {KormastAnswer({37, f[1], Hi(setpoint), Lo(setpoint), 0, 0, 0, addr})};
      default:
        return {};
    }
  }

  // Frames seen with this code.
  std::vector<FakeLink::Bytes> Seen(uint8_t code) const {
    std::vector<FakeLink::Bytes> out;
    for (const auto& f : seen)
      if (f[0] == code) out.push_back(f);
    return out;
  }

  static uint8_t Hi(uint16_t v) { return static_cast<uint8_t>(v >> 8); }
  static uint8_t Lo(uint16_t v) { return static_cast<uint8_t>(v & 0xFF); }
};

}  // namespace kvl::test
