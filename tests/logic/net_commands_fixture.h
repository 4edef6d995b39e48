// One regulator on the fake line for the command and dialog tests: it answers
// every request of the network programs in both protocols as the devices do,
// records what it was told, and can be made silent for chosen requests. The
// rig puts a network program's state on the fake view and the fake line with
// channel 0 linked to it.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "network/net_program.h"
#include "protocol/frame.h"
#include "serial/fake_link.h"
#include "support/fake_view.h"

namespace kvl::test {

using Bytes = FakeLink::Bytes;

struct Regulator {
  int addr = 5;
  uint16_t serial = 12345;
  uint8_t format = 7;
  uint8_t status1 = 0, status6 = 0;
  uint8_t valveStatus = 0;  // byte 3 of a valve answer
  int takenSetpoint = -1;   // setpoint echoed back; -1 echoes the request
  int speedAnswer = -1;     // speed code answered; -1 echoes the request
  uint8_t day = 12, month = 5, year = 15, ver = 3;
  std::set<uint8_t> silentCodes;  // internal codes (or Modbus functions) not answered
  bool silent = false;

  // What the device was told.
  std::vector<Bytes> frames;
  std::vector<std::pair<int, int>> coils;      // (coil, value) in order
  std::vector<std::pair<int, int>> registers;  // (register, value) in order

  const int* modbus = nullptr;  // the program's protocol switch

  FakeLink::Responder Responder() {
    return [this](int, const Bytes& f) { return Answer(f); };
  }

  std::vector<Bytes> Answer(const Bytes& f) {
    frames.push_back(f);
    if (silent) return {};
    if (modbus && *modbus) return Modbus(f);
    return Kormast(f);
  }

 private:
  static uint8_t Hi(int v) { return static_cast<uint8_t>((v >> 8) & 0xFF); }
  static uint8_t Lo(int v) { return static_cast<uint8_t>(v & 0xFF); }

  std::vector<Bytes> Kormast(const Bytes& f) {
    if (f.size() != 10 || Sum16(f.data(), 8) != ((f[8] << 8) | f[9])) return {};
    const uint8_t code = f[0];
    const bool broadcast = code == CMD_GETNET && f[7] == 0;
    if ((f[7] != addr && !broadcast) || silentCodes.count(code)) return {};
    const uint8_t a = Lo(addr);
    std::array<uint8_t, 8> r{f[0], f[1], f[2], f[3], f[4], f[5], f[6], a};
    switch (code) {
      case CMD_IDENT:
        r = {1, status1, Hi(serial), Lo(serial), 0, format, status6, a};
        break;
      case CMD_GETNET:
        r = {2, format, 0, 0, 0, Hi(serial), Lo(serial), a};
        break;
      case CMD_VALVE:
        r[3] = valveStatus;
        break;
      case CMD_SETPOINT:
        if (f[1] == 0 && takenSetpoint >= 0) {
          r[2] = Hi(takenSetpoint);
          r[3] = Lo(takenSetpoint);
        }
        break;
      case CMD_SPEED:
        if (speedAnswer >= 0) r[2] = Lo(speedAnswer);
        break;
      case CMD_SETNET:
        addr = f[2];
        break;
      case CMD_DATE:
        r = {34, 0x24, day, month, year, ver, 0, a};
        break;
      default:
        break;
    }
    return {KormastAnswer(r)};
  }

  std::vector<Bytes> Modbus(const Bytes& f) {
    if (f.size() < 8 || Crc16(f.data(), f.size() - 2) != (f[f.size() - 2] | (f[f.size() - 1] << 8)))
      return {};
    const uint8_t fn = f[1];
    const bool broadcast = fn == 0x03 && f[0] == 0;
    if ((f[0] != addr && !broadcast) || silentCodes.count(fn)) return {};
    const int reg = (f[2] << 8) | f[3];
    const uint8_t a = Lo(addr);
    if (fn == 0x03) {
      const int count = (f[4] << 8) | f[5];
      Bytes r{a, 3, static_cast<uint8_t>(2 * count)};
      for (int i = 0; i < count; ++i) {
        int v = 0;
        switch (reg + i) {
          case 0:
            v = addr;
            break;
          case 1:
            v = serial;
            break;
          case 2:
            v = status1;
            break;
          case 3:
            v = status6;
            break;
          default:
            break;
        }
        r.push_back(Hi(v));
        r.push_back(Lo(v));
      }
      return {ModbusAnswer(r)};
    }
    if (fn == 0x06 && f.size() == 8) {
      const int v = (f[4] << 8) | f[5];
      registers.push_back({reg, v});
      Bytes r(f.begin(), f.begin() + 6);
      if (reg == 6 && speedAnswer >= 0) r[5] = Lo(speedAnswer);
      if (reg == 0) addr = v;
      return {ModbusAnswer(r)};
    }
    if (fn == 0x0F && f.size() == 10) {
      const int count = (f[4] << 8) | f[5];
      for (int i = 0; i < count; ++i) coils.push_back({reg + i, (f[7] >> i) & 1});
      return {ModbusAnswer(Bytes(f.begin(), f.begin() + 6))};
    }
    return {};
  }
};

// Expected frame of the maker's protocol: the 8 given bytes and their sum.
inline Bytes K(std::array<uint8_t, 8> b) {
  return KormastAnswer(b);
}
// Expected Modbus frame: the given bytes and their CRC, low byte first.
inline Bytes M(Bytes b) {
  return ModbusAnswer(std::move(b));
}

struct CmdRig {
  explicit CmdRig(const Variant& v = kNet9)
      : s(v), line(link, s.rq, s.ans, s.log, ui), c{s, link, ui, line} {
    dev.modbus = &s.rq.fmodbuson;
    link.SetResponder(dev.Responder());
    line.settings.attemptMs = 5;  // a silent device costs five short attempts
    line.settings.refusedPauseMs = 1;
    EXPECT_TRUE(link.Open(0, true));
    tagData& d = s.table.Data[0];
    d.net = dev.addr;
    d.svjac = 1;
    d.n_ofqx = dev.serial;
  }

  // Opens the monitor window as the program does.
  void OpenMonitor() {
    s.hCnlWnd = &monitor;
  }
  void Modbus() { SelectModbus(s.rq); }
  tagData& Ch(int ch = 0) { return s.table.Data[ch]; }
  const Bytes& LastFrame() const { return link.written.back().frame; }
  size_t Sent() const { return link.written.size(); }

  NetState s;
  FakeServices ui;
  FakeLink link;
  Regulator dev;
  NetLine line;
  NetContext c;
  FakeDialog monitor{130};
};

}  // namespace kvl::test
